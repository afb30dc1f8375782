// Profile files built byte by byte (binary) or line by line (text) in the tests, from
// the formats' documented layouts, never by our own writers.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vornax::test {

struct Bytes {
  std::string b;
  explicit Bytes(size_t size, char fill = '\0') : b(size, fill) {}
  template <class T>
  Bytes& put(size_t offset, T v) {
    if (b.size() < offset + sizeof v) b.resize(offset + sizeof v, '\0');
    std::memcpy(b.data() + offset, &v, sizeof v);
    return *this;
  }
  Bytes& text(size_t offset, const std::string& t) {
    if (b.size() < offset + t.size()) b.resize(offset + t.size(), '\0');
    b.replace(offset, t.size(), t);
    return *this;
  }
  template <class T>
  Bytes& append(const std::vector<T>& values) {
    for (T v : values) put(b.size(), v);
    return *this;
  }
};

// RAW2: anode Cu, Kα pair, ratio 0.5, start 10, step 0.02, the given flags and range
// header length, intensities as float32.
inline std::string raw2_fixture(const std::vector<float>& counts, int16_t header_len = 60,
                                int16_t flags = 0, float start = 10.0f, float step = 0.02f) {
  Bytes f(316);
  f.text(0, "RAW2").text(8, "Quartz").text(188, "Cu");
  f.put<float>(190, 1.54056f).put<float>(194, 1.54439f).put<float>(198, 0.5f);
  f.put<int16_t>(256, header_len).put<int16_t>(258, static_cast<int16_t>(counts.size()));
  f.put<int16_t>(264, flags).put<float>(268, step).put<float>(272, start);
  if (header_len > 60) f.b.resize(316 + (header_len - 60), '\x7f');  // range header tail
  f.append(counts);
  return f.b;
}

// RAW (first version): count at 4, step 12, mode 16, start 24, sample 40, λ1 72, λ2 76.
inline std::string raw_fixture(const std::vector<float>& counts, int32_t mode = 0) {
  Bytes f(156);
  f.text(0, "RAW ").put<int32_t>(4, static_cast<int32_t>(counts.size()));
  f.put<float>(12, 0.05f).put<int32_t>(16, mode).put<float>(24, 20.0f);
  f.text(40, "Old scan").put<float>(72, 1.78897f).put<float>(76, 1.79285f);
  f.append(counts);
  return f.b;
}

// RAW1: a 1016-byte header, `extra` bytes of extra header, the intensities, then a
// second range's header that must not be read as intensities.
inline std::string raw1_fixture(const std::vector<float>& counts, int32_t half = 0,
                                int32_t extra = 8) {
  Bytes f(1016);
  f.text(0, "RAW1").text(330, "Corundum").text(608, "Co\0\0");
  f.put<double>(616, 1.7902).put<double>(624, 1.78897).put<double>(632, 1.79285);
  f.put<int32_t>(716, static_cast<int32_t>(counts.size())).put<double>(728, 30.0);
  f.put<int32_t>(880, half).put<double>(888, 0.01).put<int32_t>(968, extra);
  f.b.resize(1016 + static_cast<size_t>(extra > 0 ? extra : 0), '\x55');
  f.append(counts);
  Bytes second(304, '\x33');
  second.put<int32_t>(0, 304);
  f.b += second.b;
  return f.b;
}

// Philips RD: version "V3" or "V5", "RD", anode code, Kα pair, start 5, step 0.05.
inline std::string rd_fixture(const std::string& version, const std::vector<int16_t>& words,
                              uint8_t anode = 0, double lambda2 = 1.54439, uint8_t half = 0) {
  const size_t data = version == "V5" ? 822 : 250;
  Bytes f(data, '\x11');
  f.text(0, version + "RD").put<uint8_t>(85, anode);
  f.put<double>(94, 1.54056).put<double>(102, lambda2).put<double>(110, 0.5);
  f.put<uint8_t>(120, half).text(146, "  Silicon powder     ");
  f.put<double>(214, 0.05).put<double>(222, 5.0).put<double>(230, 5.0 + 0.05 * (words.size() - 1));
  f.append(words);
  return f.b;
}

inline std::string crlf(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

}  // namespace vornax::test
