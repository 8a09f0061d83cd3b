#pragma once

#include <string>

namespace quillmere {

// The outcome of a system operation: success, or the errno value it failed with.
// A failed operation hands its error back with the result, so nothing that runs
// afterwards (a log write, a lock) can replace it before it is reported.
class CSysError {
 public:
  CSysError() = default;

  // The error of a call that just failed and left its code in errno.
  static CSysError FromErrno();
  static CSysError FromCode(int nCode) { return CSysError(nCode); }

  bool Ok() const { return m_nCode == 0; }
  explicit operator bool() const { return m_nCode != 0; }  // true when it failed
  int Code() const { return m_nCode; }

  // The system's text for the error, ending with "\r\n" so that a log entry that
  // carries it keeps its two lines. Empty for success.
  std::string Text() const;

 private:
  explicit CSysError(int nCode) : m_nCode(nCode) {}
  int m_nCode = 0;
};

}  // namespace quillmere
