#include "cli/TerminalHost.h"

#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "engine/QuillmereJob.h"

namespace quillmere {

std::string TerminalText(const std::string& strText) {
  std::string strResult;
  for (size_t i = 0; i < strText.size(); ++i) {
    if (strText[i] == '\r' && i + 1 < strText.size() && strText[i + 1] == '\n') continue;
    strResult += strText[i];
  }
  return strResult;
}

void CTerminalHost::ShowMessage(const std::string& strText, EMsgIcon /*eIcon*/) {
  std::fprintf(stderr, "%s\n", TerminalText(strText).c_str());
}

namespace {

// Reads one answer line from the terminal, giving up (No) once a stop is requested so
// that the run never hangs on an unanswered question.
bool ReadYes() {
  std::string strLine;
  for (;;) {
    if (g_bStop) return false;
    struct pollfd pfd = {STDIN_FILENO, POLLIN, 0};
    int nReady = ::poll(&pfd, 1, 100);
    if (nReady <= 0) continue;
    char c = 0;
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n <= 0) return false;  // end of input counts as No
    if (c == '\n') break;
    strLine += c;
  }
  size_t nStart = 0;
  while (nStart < strLine.size() && std::isspace(static_cast<unsigned char>(strLine[nStart]))) {
    ++nStart;
  }
  return nStart < strLine.size() && (strLine[nStart] == 'y' || strLine[nStart] == 'Y');
}

}  // namespace

bool CTerminalHost::AskYesNo(const std::string& strText) {
  bool bYes = m_bAssumeYes;
  if (::isatty(STDIN_FILENO)) {
    m_bAsking = true;
    std::fprintf(stderr, "\r\033[K%s [y/N] ", TerminalText(strText).c_str());
    std::fflush(stderr);
    bYes = ReadYes();
    m_bAsking = false;
  }
  if (!bYes) m_bDeclined = true;
  return bYes;
}

void CTerminalHost::OpenDocument(const std::string& strPath) {
  std::lock_guard lock(m_mutex);
  m_strOpened = strPath;
}

std::string CTerminalHost::OpenedDocument() const {
  std::lock_guard lock(m_mutex);
  return m_strOpened;
}

}  // namespace quillmere
