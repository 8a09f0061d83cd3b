#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "update/UpdateCheck.h"

namespace quillmere {

// The four numbers of a program version.
using VersionWords = std::array<unsigned, 4>;

// The version text: the four numbers joined by points, or "Undef" without a version.
std::string FormatVersion(const std::optional<VersionWords>& version);

// The version compiled into this program, if any.
std::optional<VersionWords> CompiledVersion();

// Where the program lies and which version it is, and the one update check of this run.
// Owned by the main window; built and destroyed on the GUI thread.
class CProgramVersion {
 public:
  // The running program's own file and the compiled-in version.
  CProgramVersion();
  // A given program path and version text.
  CProgramVersion(const std::string& strProgramPath, std::string strVersion);
  // Stops a check that still runs, without waiting for the network or a question box.
  ~CProgramVersion();
  CProgramVersion(const CProgramVersion&) = delete;
  CProgramVersion& operator=(const CProgramVersion&) = delete;

  // Reads the version compiled into the program; keeps "Undef" when there is none.
  void LoadVersion();

  // GUI thread, once: takes the installation id from the profile (creating it on the
  // first start), builds the query URL from strBaseUrl and starts the check's thread,
  // whose requests carry strAgent (the application's name). host must stay valid until
  // StopUpdateCheck has returned.
  void StartUpdateCheck(const std::string& strBaseUrl, const std::string& strAgent,
                        SUpdateServices services, IUpdateHost& host);

  // GUI thread: asks a running check to end and waits for it at most tWait. A check that
  // is still busy after that (a file write that hangs) is left to finish on its own: it
  // no longer uses the host and owns everything else it touches.
  void StopUpdateCheck(std::chrono::milliseconds tWait = std::chrono::seconds(2));

  // Whether a check was started and has not ended yet.
  bool UpdateCheckRunning() const;

  std::string m_strQueryUrl;  // empty until the check starts
  std::string m_strVersion = "Undef";
  std::string m_strDir;      // the program's folder, ending with "/"
  std::string m_strExeName;  // the program's file name, without folder
  std::uint32_t m_nUid = 0;  // the installation id sent with the query

 private:
  std::thread m_hThread;
  std::shared_ptr<CUpdateCheck> m_pCheck;
};

}  // namespace quillmere
