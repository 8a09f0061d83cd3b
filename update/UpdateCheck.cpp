#include "update/UpdateCheck.h"

#include <cstdio>
#include <utility>

#include <unistd.h>

#include "platform/File.h"

namespace quillmere {

namespace {

constexpr char kAnswerKeyword[] = "LastVer";
// The query is small; a service that takes longer than this is not waited for.
constexpr std::chrono::seconds kQueryTimeout{30};
// How often the thread looks at the abort flag while a question is open.
constexpr std::chrono::milliseconds kAnswerPoll{10};
// Bytes of the ELF header that tell class, byte order, type and machine.
constexpr std::size_t kElfHeaderSize = 20;

// A word for /bin/sh that stands for exactly strText.
std::string ShellQuote(const std::string& strText) {
  std::string strQuoted = "'";
  for (char c : strText) {
    if (c == '\'') {
      strQuoted += "'\\''";
    } else {
      strQuoted += c;
    }
  }
  return strQuoted + "'";
}

// A name for the Windows command interpreter: unchanged unless the interpreter would
// split it or read part of it as a command.
std::string CmdQuote(const std::string& strName) {
  std::string strEscaped;
  bool bQuote = false;
  for (char c : strName) {
    if (c == '%') {
      strEscaped += "%%";  // a batch file reads a single % as the start of a variable
      continue;
    }
    if (std::string_view(" \t&()[]{}^=;!'+,`~").find(c) != std::string_view::npos) {
      bQuote = true;
    }
    strEscaped += c;
  }
  return bQuote ? "\"" + strEscaped + "\"" : strEscaped;
}

unsigned ElfHalfWord(std::string_view strHeader, std::size_t nOffset) {
  const auto lo = static_cast<unsigned char>(strHeader[nOffset]);
  const auto hi = static_cast<unsigned char>(strHeader[nOffset + 1]);
  // Byte 5 of the identification: 1 little-endian, 2 big-endian.
  return strHeader[5] == 2 ? (lo << 8u) | hi : (hi << 8u) | lo;
}

}  // namespace

std::string BuildQueryUrl(const std::string& strBaseUrl, std::uint32_t nUid) {
  char szUid[16];
  std::snprintf(szUid, sizeof szUid, "%X", static_cast<unsigned>(nUid));
  return strBaseUrl + "&uid=" + szUid;
}

std::optional<std::string> NextField(std::string_view strAnswer, std::size_t& nPos) {
  if (nPos > strAnswer.size()) return std::nullopt;
  const std::size_t nEnd = strAnswer.find(';', nPos);
  if (nEnd == std::string_view::npos) return std::nullopt;
  std::string strField(strAnswer.substr(nPos, nEnd - nPos));
  nPos = nEnd + 1;
  return strField;
}

bool AskFlagSet(std::string_view strField) {
  std::size_t i = 0;
  while (i < strField.size() &&
         std::string_view(" \t\n\v\f\r").find(strField[i]) != std::string_view::npos) {
    ++i;
  }
  if (i < strField.size() && (strField[i] == '+' || strField[i] == '-')) ++i;
  // Only zero or not matters, so the digits are never added up and cannot overflow.
  for (; i < strField.size() && strField[i] >= '0' && strField[i] <= '9'; ++i) {
    if (strField[i] != '0') return true;
  }
  return false;
}

bool QuestionPauseOver(std::uint32_t nNow, std::uint32_t nLastRequest) {
  // Never asked yet. Taken apart so that it holds after 2038 too, when the low 32 bits
  // of the clock read as a negative number.
  if (nLastRequest == 0) return true;
  const auto nElapsed = static_cast<std::int32_t>(nNow - nLastRequest);
  return nElapsed >= kQuestionPause;
}

std::string UpdateQuestionText(const std::string& strOwnVersion,
                               const std::string& strLastVersion) {
  return "There is a new version available !\r\n\r\nYour version: " + strOwnVersion +
         "\r\nLast version:" + strLastVersion + "\r\n\r\nWhould you like to update now ?";
}

std::string UpdaterScriptText(const std::string& strExeName, long nPid) {
  // @NAME@ marks where a value goes; the values are inserted in one pass, so a file name
  // that contains such a mark stays as it is.
  constexpr std::string_view kTemplate =
      R"(#!/bin/sh
# Written by the program in this folder: once the program has ended, puts its
# downloaded new version in place, starts it and removes this script.
tries=0
while kill -0 @PID@ 2>/dev/null; do
  tries=$((tries + 1))
  if [ "$tries" -gt 600 ]; then
    rm -f -- @UPD@ @SELF@
    exit 1
  fi
  sleep 0.5 2>/dev/null || sleep 1
done
if ! mv -f -- @UPD@ @EXE@; then
  rm -f -- @UPD@ @SELF@
  exit 1
fi
./@EXE@ &
rm -f -- @SELF@
)";
  const std::pair<std::string_view, std::string> arrValues[] = {
      {"@PID@", std::to_string(nPid)},
      {"@UPD@", ShellQuote("Upd" + strExeName)},
      {"@EXE@", ShellQuote(strExeName)},
      {"@SELF@", ShellQuote(kUpdaterScript)},
  };
  std::string strScript;
  for (std::size_t i = 0; i < kTemplate.size();) {
    bool bReplaced = false;
    for (const auto& [strMark, strValue] : arrValues) {
      if (kTemplate.substr(i, strMark.size()) == strMark) {
        strScript += strValue;
        i += strMark.size();
        bReplaced = true;
        break;
      }
    }
    if (!bReplaced) strScript += kTemplate[i++];
  }
  return strScript;
}

std::string WindowsUpdaterScriptText(const std::string& strExeName) {
  const std::string strUpd = CmdQuote("Upd" + strExeName);
  const std::string strExe = CmdQuote(strExeName);
  return ":start\r\ncopy  " + strUpd + " " + strExe +
         "\r\nif not %errorlevel% == 0 goto start\r\ndel " + strUpd + "\r\n" + strExe +
         "\r\ndel updater.bat";
}

bool IsExecutableFor(std::string_view strHeader, std::string_view strOwnHeader) {
  if (strHeader.size() < kElfHeaderSize || strOwnHeader.size() < kElfHeaderSize) return false;
  constexpr std::string_view kMagic(
      "\x7F"
      "ELF",
      4);
  if (strHeader.substr(0, 4) != kMagic || strOwnHeader.substr(0, 4) != kMagic) return false;
  // Class (32/64 bit) and byte order.
  if (strHeader[4] != strOwnHeader[4] || strHeader[5] != strOwnHeader[5]) return false;
  const unsigned nType = ElfHalfWord(strHeader, 16);
  constexpr unsigned kExec = 2, kDyn = 3;  // a program, or a position-independent one
  if (nType != kExec && nType != kDyn) return false;
  return ElfHalfWord(strHeader, 18) == ElfHalfWord(strOwnHeader, 18);
}

CUpdateCheck::CUpdateCheck(SProgram program, std::string strQueryUrl, SUpdateServices services,
                           IUpdateHost& host)
    : m_program(std::move(program)),
      m_strQueryUrl(std::move(strQueryUrl)),
      m_services(std::move(services)),
      m_pHost(&host) {}

void CUpdateCheck::UpdateThreadProc() {
  try {
    Run();
  } catch (...) {
    // Out of memory, for example: the check ends, the program goes on.
  }
  MarkEnded();
}

void CUpdateCheck::Run() {
  if (!FetchAnswer()) return;
  std::size_t nPos = 0;
  const std::optional<std::string> strKeyword = NextField(m_szBuffer, nPos);
  if (!strKeyword || *strKeyword != kAnswerKeyword) return;
  const std::optional<std::string> strLastVersion = NextField(m_szBuffer, nPos);
  if (!strLastVersion || *strLastVersion == m_program.strVersion) return;  // up to date
  const std::optional<std::string> strAskFlag = NextField(m_szBuffer, nPos);
  const std::optional<std::string> strUrl = NextField(m_szBuffer, nPos);
  if (!strAskFlag || !strUrl) return;
  // A program that cannot be replaced is not offered a new version.
  if (m_program.strDir.empty() || !FolderWritable(m_program.strDir)) return;

  const std::uint32_t nNow = Now();
  if (AskFlagSet(*strAskFlag)) {
    if (!QuestionPauseOver(nNow,
                           m_services.pProfile->GetInt(kProfileSection, kProfileUpdateRequest))) {
      return;
    }
    const bool bYes = AskUser(*strLastVersion);
    if (m_bAbort) return;  // the window went away; nothing is decided
    if (!bYes) {
      m_services.pProfile->WriteInt(kProfileSection, kProfileUpdateRequest, nNow);
      return;
    }
  }
  // Also after Yes: a download that fails is not offered again for three days.
  m_services.pProfile->WriteInt(kProfileSection, kProfileUpdateRequest, nNow);
  DownloadUpdate(*strUrl);
}

bool CUpdateCheck::FetchAnswer() {
  std::string strAnswer;
  bool bCut = false;
  SHttpRequest request;
  request.strUrl = m_strQueryUrl;
  request.strAgent = m_program.strAgent;
  request.tTotal = kQueryTimeout;
  request.pAbort = &m_bAbort;
  request.onBody = [&](std::string_view piece) {
    const std::size_t nRoom = kAnswerSize - strAnswer.size();
    strAnswer.append(piece.substr(0, nRoom));
    // The first kAnswerSize bytes are all that is read of a longer answer.
    bCut = piece.size() > nRoom;
    return !bCut;
  };
  const SHttpResult result = m_services.pHttp->Get(request);
  const bool bReceived = result.eOutcome == EHttpOutcome::Completed ||
                         (result.eOutcome == EHttpOutcome::Refused && bCut);
  if (bReceived) m_szBuffer = std::move(strAnswer);
  return bReceived;
}

bool CUpdateCheck::AskUser(const std::string& strLastVersion) {
  std::future<bool> answer;
  {
    std::lock_guard lock(m_mutex);
    if (!m_pHost) return false;
    answer = m_pHost->AskYesNo(UpdateQuestionText(m_program.strVersion, strLastVersion));
  }
  while (answer.wait_for(kAnswerPoll) != std::future_status::ready) {
    if (m_bAbort) return false;
  }
  try {
    return answer.get();
  } catch (const std::future_error&) {
    return false;  // closed without an answer
  }
}

bool CUpdateCheck::DownloadUpdate(const std::string& strUrl) {
  // The running program's own header says which programs can run here.
  const std::string strOwnPath = m_program.strDir + m_program.strExeName;
  std::string strOwnHeader;
  CFile own;
  if (own.OpenRead(strOwnPath) || own.ReadSome(kElfHeaderSize, &strOwnHeader)) return false;
  own.Close();
  const std::optional<unsigned> nMode = PermissionBits(strOwnPath);
  if (!nMode) return false;

  const std::string strDownload = m_program.strDir + "Upd" + m_program.strExeName;
  CFile file;
  if (file.CreateWithMode(strDownload, *nMode)) return false;

  std::optional<std::uint64_t> nDeclared;
  std::uint64_t nReceived = 0;
  std::string strHeader;
  bool bWriteFailed = false;
  SHttpRequest request;
  request.strUrl = strUrl;
  request.strAgent = m_program.strAgent;
  request.pAbort = &m_bAbort;
  request.onHead = [&](const SHttpHead& head) {
    if (head.nStatus != 200 || !head.nContentLength) return false;
    if (*head.nContentLength < 2 || *head.nContentLength > kMaxDownload) return false;
    nDeclared = head.nContentLength;
    return true;
  };
  request.onBody = [&](std::string_view piece) {
    if (!nDeclared || piece.size() > *nDeclared - nReceived) return false;  // more than declared
    if (file.Write(piece)) {
      bWriteFailed = true;
      return false;
    }
    nReceived += piece.size();
    if (strHeader.size() < kElfHeaderSize) {
      strHeader.append(piece.substr(0, kElfHeaderSize - strHeader.size()));
    }
    return true;
  };
  const SHttpResult result = m_services.pHttp->Get(request);
  // Only a complete program of this platform may take the running one's place.
  bool bKeep = result.eOutcome == EHttpOutcome::Completed && nDeclared && nReceived == *nDeclared &&
               !bWriteFailed && IsExecutableFor(strHeader, strOwnHeader);
  if (bKeep && file.Sync()) bKeep = false;
  if (file.Close()) bKeep = false;
  if (!bKeep || !WriteUpdaterScript()) {
    RemoveOwnFile(strDownload);
    return false;
  }

  const std::string strScript = m_program.strDir + kUpdaterScript;
  std::lock_guard lock(m_mutex);
  // The window has gone meanwhile, or the script will not start: nothing is replaced.
  if (!m_pHost || !m_pHost->StartScript(m_program.strDir, kUpdaterScript)) {
    RemoveOwnFile(strScript);
    RemoveOwnFile(strDownload);
    return false;
  }
  m_pHost->RequestClose();
  return true;
}

bool CUpdateCheck::WriteUpdaterScript() {
  const std::string strScript = m_program.strDir + kUpdaterScript;
  CFile file;
  if (file.Create(strScript)) return false;
#ifdef _WIN32
  const std::string strText = WindowsUpdaterScriptText(m_program.strExeName);
#else
  const std::string strText =
      UpdaterScriptText(m_program.strExeName, static_cast<long>(::getpid()));
#endif
  const bool bWritten = !file.Write(strText) && !file.Close();
  if (!bWritten) RemoveOwnFile(strScript);
  return bWritten;
}

void CUpdateCheck::Abort() {
  m_bAbort = true;
  std::lock_guard lock(m_mutex);
  m_pHost = nullptr;
}

bool CUpdateCheck::Ended() const {
  std::lock_guard lock(m_mutex);
  return m_bEnded;
}

bool CUpdateCheck::WaitEnded(std::chrono::milliseconds tWait) {
  std::unique_lock lock(m_mutex);
  return m_cvEnded.wait_for(lock, tWait, [this] { return m_bEnded; });
}

void CUpdateCheck::MarkEnded() {
  std::lock_guard lock(m_mutex);
  m_bEnded = true;
  m_cvEnded.notify_all();
}

std::uint32_t CUpdateCheck::Now() const {
  // Low 32 bits, as the profile keeps them.
  return static_cast<std::uint32_t>(m_services.pClock->Now());
}

}  // namespace quillmere
