#include "platform/SysError.h"

#include <cerrno>
#include <cstring>

namespace quillmere {

CSysError CSysError::FromErrno() {
  // A failing call that forgot errno must still read as a failure.
  return CSysError(errno != 0 ? errno : EIO);
}

namespace {

// strerror_r comes in two flavours; overloads pick whichever the C library has.
[[maybe_unused]] const char* PickText(int nResult, const char* pszBuffer) {
  return nResult == 0 ? pszBuffer : nullptr;
}
[[maybe_unused]] const char* PickText(const char* pszResult, const char*) {
  return pszResult;
}

}  // namespace

std::string CSysError::Text() const {
  if (m_nCode == 0) return std::string();
  char szBuffer[256] = {};
  const char* pszText = PickText(strerror_r(m_nCode, szBuffer, sizeof szBuffer), szBuffer);
  std::string strText = pszText != nullptr && *pszText != '\0'
                            ? std::string(pszText)
                            : "Unknown error " + std::to_string(m_nCode);
  strText += "\r\n";
  return strText;
}

}  // namespace quillmere
