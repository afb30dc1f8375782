// The program's errors: one base type, so that a command, the command line and the
// windows' guard catch every expected failure in one place and show what() as it is.
#pragma once

#include <stdexcept>
#include <string>

namespace vornax {

// Every failure the program expects (a file it cannot read or write, a file that is not
// what its reader expects, a missing catalogue); what() is the message the user sees.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Input/output failure; the message names the file and the system's reason.
class FileError : public Error {
 public:
  using Error::Error;
};

// A file whose content does not fit its format (short, damaged, wrong signature).
// The message names the file and, for a short file, the offset where reading stopped.
class FormatError : public Error {
 public:
  using Error::Error;
};

// spgr2.dat is missing: the windows show the message and end, since no calculation can
// run without it.
class CatalogueMissing : public Error {
 public:
  CatalogueMissing() : Error("The file SPGR2.Dat was not found") {}
};

}  // namespace vornax
