#include "core/replace_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace vornax {

namespace {

std::string failure(const std::filesystem::path& target, int error) {
  return "cannot write " + target.string() + ": " + std::strerror(error);
}

// Every byte to `fd`, then to the disk; the errno of the first failure, or 0.
int write_all(int fd, std::string_view bytes, bool sync) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  if (sync && ::fsync(fd) != 0 && errno != EINVAL) return errno;
  return 0;
}

std::optional<std::string> write_directly(const std::filesystem::path& target,
                                          std::string_view bytes) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return failure(target, errno);
  int error = write_all(fd, bytes, false);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) return failure(target, error);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> replace_file_contents(const std::filesystem::path& target,
                                                 std::string_view bytes) {
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    if (S_ISDIR(old.st_mode)) return failure(target, EISDIR);
    return write_directly(target, bytes);
  }

  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return failure(target, errno);
  // mkstemp makes the file private; the result gets the old file's mode, else the
  // mode a new file would have.
  mode_t mode = old.st_mode & 07777;
  if (!exists) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  int error = ::fchmod(fd, mode) != 0 ? errno : 0;
  if (error == 0) error = write_all(fd, bytes, true);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return failure(target, error);
  }
  return std::nullopt;
}

}  // namespace vornax
