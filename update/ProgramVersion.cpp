#include "update/ProgramVersion.h"

#include <system_error>
#include <utility>

#include "platform/Process.h"

namespace quillmere {

std::string FormatVersion(const std::optional<VersionWords>& version) {
  if (!version) return "Undef";
  const VersionWords& words = *version;
  return std::to_string(words[0]) + "." + std::to_string(words[1]) + "." +
         std::to_string(words[2]) + "." + std::to_string(words[3]);
}

std::optional<VersionWords> CompiledVersion() {
#ifdef QUILLMERE_VERSION_WORDS
  return VersionWords{QUILLMERE_VERSION_WORDS};
#else
  return std::nullopt;
#endif
}

CProgramVersion::CProgramVersion() : CProgramVersion(OwnProgramPath(), "Undef") { LoadVersion(); }

CProgramVersion::CProgramVersion(const std::string& strProgramPath, std::string strVersion)
    : m_strVersion(std::move(strVersion)) {
  const std::size_t nSlash = strProgramPath.rfind('/');
  const std::size_t nNameStart = nSlash == std::string::npos ? 0 : nSlash + 1;
  m_strDir = strProgramPath.substr(0, nNameStart);
  m_strExeName = strProgramPath.substr(nNameStart);
}

CProgramVersion::~CProgramVersion() { StopUpdateCheck(); }

void CProgramVersion::LoadVersion() { m_strVersion = FormatVersion(CompiledVersion()); }

void CProgramVersion::StartUpdateCheck(const std::string& strBaseUrl, const std::string& strAgent,
                                       SUpdateServices services, IUpdateHost& host) {
  if (m_pCheck) return;  // once per start
  m_nUid = services.pProfile->GetInt(kProfileSection, kProfileUid);
  if (m_nUid == 0) {
    m_nUid = static_cast<std::uint32_t>(services.pClock->Now());
    services.pProfile->WriteInt(kProfileSection, kProfileUid, m_nUid);
  }
  m_strQueryUrl = BuildQueryUrl(strBaseUrl, m_nUid);

  // The thread works on copies, so it never reads this object.
  CUpdateCheck::SProgram program{m_strDir, m_strExeName, m_strVersion, strAgent};
  m_pCheck =
      std::make_shared<CUpdateCheck>(std::move(program), m_strQueryUrl, std::move(services), host);
  try {
    m_hThread = std::thread([pCheck = m_pCheck] { pCheck->UpdateThreadProc(); });
  } catch (const std::system_error&) {
    m_pCheck.reset();  // no check this time; the program goes on
  }
}

void CProgramVersion::StopUpdateCheck(std::chrono::milliseconds tWait) {
  if (!m_pCheck) return;
  m_pCheck->Abort();
  if (m_hThread.joinable()) {
    if (m_pCheck->WaitEnded(tWait)) {
      m_hThread.join();
    } else {
      m_hThread.detach();  // it holds its own share of everything it still uses
    }
  }
}

bool CProgramVersion::UpdateCheckRunning() const { return m_pCheck && !m_pCheck->Ended(); }

}  // namespace quillmere
