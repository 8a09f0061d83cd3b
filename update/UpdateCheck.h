#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/Http.h"
#include "platform/Profile.h"

namespace quillmere {

// The version service's query, appended to the service's address.
inline constexpr char kUpdateQueryPath[] = "/ver/checkver.php?app=quillmere";
// The profile's section and values of the update check.
inline constexpr char kProfileSection[] = "Default";
inline constexpr char kProfileUid[] = "UID";
inline constexpr char kProfileUpdateRequest[] = "UpdateRequest";
// After a question has been answered the user is not asked again for three days.
inline constexpr std::int64_t kQuestionPause = 259200;
// The service's answer is at most this long; the rest is not read.
inline constexpr std::size_t kAnswerSize = 1024;
// A download larger than this is not a program of ours.
inline constexpr std::uint64_t kMaxDownload = std::uint64_t{256} << 20;
// The replacement script keeps the name it has always had.
inline constexpr char kUpdaterScript[] = "updater.bat";

// What the update check does outside itself. The check's thread calls it; the calls
// never wait for the GUI thread.
class IUpdateHost {
 public:
  virtual ~IUpdateHost() = default;
  // Shows strText with Yes and No (question icon, the application's name as caption)
  // and returns at once. The future becomes true for Yes, false for No; it is left
  // broken when the question is closed without an answer (the window went away).
  virtual std::future<bool> AskYesNo(const std::string& strText) = 0;
  // Starts "/bin/sh strScript" in the folder strDir, detached from this program, so it
  // goes on once the program has ended. Returns whether it started.
  virtual bool StartScript(const std::string& strDir, const std::string& strScript) = 0;
  // Asks the main window to close, as if the user had closed it; does not wait.
  virtual void RequestClose() = 0;
};

// The services one check works with. Held jointly by the window and the check's thread,
// so a thread that is left behind at teardown still finds them.
struct SUpdateServices {
  std::shared_ptr<IHttp> pHttp;
  std::shared_ptr<IProfile> pProfile;
  std::shared_ptr<IClock> pClock;
};

// ---- The rules of the check, as plain functions.

// The query URL: the base URL, "&uid=" and the id in upper-case hexadecimal.
std::string BuildQueryUrl(const std::string& strBaseUrl, std::uint32_t nUid);

// The next field of strAnswer from nPos: the bytes up to the next ";", after which nPos
// is left. Nothing (and nPos unchanged) when no ";" follows: the field is incomplete.
std::optional<std::string> NextField(std::string_view strAnswer, std::size_t& nPos);

// The ask flag of the answer, read as the C library's atoi reads a number, but without
// overflow: whether the number it reads is non-zero.
bool AskFlagSet(std::string_view strField);

// Whether the update question may be shown at tNow, given the time of the last
// decision from the profile (0 when there was none). Both are seconds, low 32 bits; the
// difference is taken as a signed 32-bit number, so a clock set back waits until three
// days after the stored time.
bool QuestionPauseOver(std::uint32_t nNow, std::uint32_t nLastRequest);

// The question asking whether to update from strOwnVersion to strLastVersion.
std::string UpdateQuestionText(const std::string& strOwnVersion, const std::string& strLastVersion);

// The replacement script, for /bin/sh in the program's folder: waits (a bounded time)
// for process nPid to end, renames "Upd" + strExeName over strExeName, starts the new
// program and removes itself. Names are quoted, so any file name works. After a failure
// it starts nothing and removes the download and itself.
std::string UpdaterScriptText(const std::string& strExeName, long nPid);

// The same script for the Windows command interpreter: retries the copy until the old
// program has ended. Names that the interpreter would split are quoted.
std::string WindowsUpdaterScriptText(const std::string& strExeName);

// Whether strHeader (the first bytes of a file) is the ELF header of a program for the
// same class, byte order and machine as strOwnHeader (the running program's own).
bool IsExecutableFor(std::string_view strHeader, std::string_view strOwnHeader);

// ---- One run of the check, on a thread of its own.

// The state of one check: what the version record gave it, the services, the answer and
// the abort flag. Shared by the window and the thread.
class CUpdateCheck {
 public:
  struct SProgram {
    std::string strDir;      // the program's folder, ending with "/"
    std::string strExeName;  // the program's file name
    std::string strVersion;  // its version text
    std::string strAgent;    // the User-Agent of requests
  };

  CUpdateCheck(SProgram program, std::string strQueryUrl, SUpdateServices services,
               IUpdateHost& host);

  // The thread's body: asks the service and, when it says so, asks the user, downloads
  // and starts the replacement. Ends quietly on every failure; never throws.
  void UpdateThreadProc();

  // Stores the program at strUrl beside the running one as "Upd" + name, writes the
  // script, starts it and asks the window to close. Returns false, leaving nothing
  // behind, when the download is refused or fails.
  bool DownloadUpdate(const std::string& strUrl);

  // Writes the replacement script into the program's folder. Returns false when it
  // could not be written completely (nothing is then left).
  bool WriteUpdaterScript();

  // Any thread: the check is to end as soon as it can, and not use the host any more.
  // Returns at once.
  void Abort();
  bool Aborted() const { return m_bAbort; }

  // Whether UpdateThreadProc has returned.
  bool Ended() const;
  // Waits until UpdateThreadProc has returned, at most tWait. Returns whether it had.
  bool WaitEnded(std::chrono::milliseconds tWait);

  // The bytes of the service's answer that were received (at most kAnswerSize).
  std::string m_szBuffer;

 private:
  void Run();
  // Reads the service's answer into m_szBuffer; false when none was received.
  bool FetchAnswer();
  bool AskUser(const std::string& strLastVersion);
  std::uint32_t Now() const;
  void MarkEnded();

  const SProgram m_program;
  const std::string m_strQueryUrl;
  const SUpdateServices m_services;
  std::atomic<bool> m_bAbort{false};

  mutable std::mutex m_mutex;
  std::condition_variable m_cvEnded;
  IUpdateHost* m_pHost;   // guarded by m_mutex; null once aborted
  bool m_bEnded = false;  // guarded by m_mutex
};

}  // namespace quillmere
