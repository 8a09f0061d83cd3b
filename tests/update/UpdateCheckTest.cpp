// The version record, the answer of the version service, the question's pause, the
// download and the replacement script. HTTP, the profile, the clock and the window are
// fakes; files are real, in a temporary folder.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/File.h"
#include "platform/Process.h"
#include "tests/support/StepClock.h"
#include "tests/support/TempDir.h"
#include "tests/support/Wait.h"
#include "tests/update/UpdateFakes.h"
#include "update/ProgramVersion.h"
#include "update/UpdateCheck.h"

namespace quillmere {
namespace {

using test::CCannedHttp;
using test::CMemProfile;
using test::CRecordingUpdateHost;
using test::CScopedTempDir;
using test::CStepClock;
using test::FolderNames;
using test::OwnElfHeader;
using test::WaitFor;
using EAnswer = CRecordingUpdateHost::EAnswer;

constexpr char kQueryUrl[] = "http://versions.test/ver/checkver.php?app=quillmere&uid=1";
constexpr char kNewUrl[] = "http://versions.test/new/prog";
constexpr std::int64_t kNow = 1'700'000'000;
// How long a script run by /bin/sh may take before its test gives up.
constexpr std::chrono::seconds kScriptTimeout{60};

// ---- The version record

TEST(ProgramVersion, SplitsItsPathIntoFolderAndName) {
  struct SRow {
    const char* pszName;
    const char* pszPath;
    const char* pszDir;
    const char* pszExe;
  };
  const SRow arrRows[] = {
      {"folder and name", "/opt/tools/prog", "/opt/tools/", "prog"},
      {"name with dots", "/opt/tools/prog.v2.bin", "/opt/tools/", "prog.v2.bin"},
      {"root folder", "/prog", "/", "prog"},
      {"no folder", "prog", "", "prog"},
      {"unknown path", "", "", ""},
  };
  for (const SRow& row : arrRows) {
    SCOPED_TRACE(row.pszName);
    const CProgramVersion version(row.pszPath, "1.0.0.0");
    EXPECT_EQ(version.m_strDir, row.pszDir);
    EXPECT_EQ(version.m_strExeName, row.pszExe);
    EXPECT_EQ(version.m_strDir + version.m_strExeName, row.pszPath);
  }
}

TEST(ProgramVersion, FormatsFourNumbersOrUndef) {
  EXPECT_EQ(FormatVersion(VersionWords{1, 2, 1, 1}), "1.2.1.1");
  EXPECT_EQ(FormatVersion(VersionWords{65535, 0, 10, 7}), "65535.0.10.7");
  EXPECT_EQ(FormatVersion(std::nullopt), "Undef");
}

TEST(ProgramVersion, TheRunningProgramKnowsItsFileAndVersion) {
  const CProgramVersion version;
  EXPECT_EQ(version.m_strDir + version.m_strExeName, OwnProgramPath());
  EXPECT_EQ(version.m_strDir.back(), '/');
  // The build compiles the project's version in.
  EXPECT_EQ(version.m_strVersion, FormatVersion(CompiledVersion()));
  EXPECT_NE(version.m_strVersion, "Undef");
}

// ---- The rules

TEST(UpdateRules, QueryUrlCarriesTheIdInUpperCaseHex) {
  EXPECT_EQ(BuildQueryUrl("http://h/ver/checkver.php?app=quillmere", 0x00ABCDEF),
            "http://h/ver/checkver.php?app=quillmere&uid=ABCDEF");
  EXPECT_EQ(BuildQueryUrl("b", 0xFFFFFFFF), "b&uid=FFFFFFFF");
  // Percent signs in the base stay as they are: it is never used as a format.
  EXPECT_EQ(BuildQueryUrl("http://h/%s%n?a=%d", 1), "http://h/%s%n?a=%d&uid=1");
}

TEST(UpdateRules, QuestionText) {
  EXPECT_EQ(UpdateQuestionText("1.0.0.0", "1.2.0.0"),
            "There is a new version available !\r\n\r\nYour version: 1.0.0.0\r\n"
            "Last version:1.2.0.0\r\n\r\nWhould you like to update now ?");
}

TEST(UpdateRules, RecognisesProgramsOfThisMachineOnly) {
  const std::string strOwn = OwnElfHeader();
  ASSERT_GE(strOwn.size(), 20u);
  auto patched = [&](std::size_t nOffset, char c) {
    std::string strHeader = strOwn;
    strHeader[nOffset] = c;
    return strHeader;
  };
  struct SRow {
    const char* pszName;
    std::string strHeader;
    bool bAccepted;
  };
  const bool bLittle = strOwn[5] == 1;
  const SRow arrRows[] = {
      {"a program like this one", strOwn, true},
      {"another class (32/64 bit)", patched(4, strOwn[4] == 1 ? 2 : 1), false},
      {"another byte order", patched(5, bLittle ? 2 : 1), false},
      {"another machine",
       patched(bLittle ? 18 : 19, static_cast<char>(strOwn[bLittle ? 18 : 19] ^ 0x40)), false},
      {"an object file, not a program", patched(bLittle ? 16 : 17, 1), false},
      {"a Windows program", "MZ" + std::string(62, '\0'), false},
      {"a web page", "<!DOCTYPE html><html><body>Not found</body></html>", false},
      {"a header cut short", strOwn.substr(0, 19), false},
  };
  for (const SRow& row : arrRows) {
    SCOPED_TRACE(row.pszName);
    EXPECT_EQ(IsExecutableFor(row.strHeader, strOwn), row.bAccepted);
  }
  EXPECT_FALSE(IsExecutableFor(strOwn, "#!/bin/sh\necho not a program\n"));
}

TEST(UpdateRules, ShellScriptQuotesNamesAndWaitsForTheProgram) {
  const std::string strPlain = UpdaterScriptText("prog", 4242);
  EXPECT_EQ(strPlain.rfind("#!/bin/sh\n", 0), 0u);
  EXPECT_NE(strPlain.find("while kill -0 4242 2>/dev/null; do\n"), std::string::npos);
  EXPECT_NE(strPlain.find("if ! mv -f -- 'Updprog' 'prog'; then\n"), std::string::npos);
  EXPECT_NE(strPlain.find("./'prog' &\nrm -f -- 'updater.bat'\n"), std::string::npos);
  // A blank stays inside the word; a single quote ends it, is escaped, and it goes on.
  const std::string strOdd = UpdaterScriptText("it's my prog", 1);
  EXPECT_NE(strOdd.find("mv -f -- 'Updit'\\''s my prog' 'it'\\''s my prog'"), std::string::npos)
      << strOdd;
}

TEST(UpdateRules, WindowsScriptText) {
  EXPECT_EQ(WindowsUpdaterScriptText("prog.exe"),
            ":start\r\ncopy  Updprog.exe prog.exe\r\nif not %errorlevel% == 0 goto start\r\n"
            "del Updprog.exe\r\nprog.exe\r\ndel updater.bat");
  // Names the interpreter would split are quoted, so the copy can succeed.
  EXPECT_EQ(WindowsUpdaterScriptText("my prog.exe"),
            ":start\r\ncopy  \"Updmy prog.exe\" \"my prog.exe\"\r\n"
            "if not %errorlevel% == 0 goto start\r\ndel \"Updmy prog.exe\"\r\n"
            "\"my prog.exe\"\r\ndel updater.bat");
  EXPECT_EQ(WindowsUpdaterScriptText("a&b.exe"),
            ":start\r\ncopy  \"Upda&b.exe\" \"a&b.exe\"\r\nif not %errorlevel% == 0 goto start\r\n"
            "del \"Upda&b.exe\"\r\n\"a&b.exe\"\r\ndel updater.bat");
}

// ---- One check against canned answers

class UpdateCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strOwnHeader = OwnElfHeader();
    ASSERT_FALSE(m_strOwnHeader.empty());
    m_strDir = m_tmp.Path() + "/";
    test::WriteFile(m_strDir + "prog", m_strOwnHeader + "the running program");
    ASSERT_EQ(::chmod((m_strDir + "prog").c_str(), 0750), 0);
  }

  std::unique_ptr<CUpdateCheck> MakeCheck(IUpdateHost& host,
                                          const std::string& strVersion = "1.0.0.0") {
    return std::make_unique<CUpdateCheck>(
        CUpdateCheck::SProgram{m_strDir, "prog", strVersion, "prog"}, kQueryUrl,
        SUpdateServices{m_pHttp, m_pProfile, m_pClock}, host);
  }

  // The answer of the service, and a new program at kNewUrl.
  void Answer(const std::string& strAnswer) {
    m_pHttp->Set(kQueryUrl, CCannedHttp::Body(strAnswer));
    m_pHttp->Set(kNewUrl, CCannedHttp::Body(NewProgram()));
  }
  std::string NewProgram() const { return m_strOwnHeader + "the new program"; }

  bool Downloaded() const {
    const std::vector<std::string> arrUrls = m_pHttp->Urls();
    return std::find(arrUrls.begin(), arrUrls.end(), kNewUrl) != arrUrls.end();
  }

  CScopedTempDir m_tmp;
  std::string m_strDir;
  std::string m_strOwnHeader;
  std::shared_ptr<CCannedHttp> m_pHttp = std::make_shared<CCannedHttp>();
  std::shared_ptr<CMemProfile> m_pProfile = std::make_shared<CMemProfile>();
  std::shared_ptr<CStepClock> m_pClock = std::make_shared<CStepClock>(kNow);
};

TEST_F(UpdateCheckTest, ActsOnTheServiceAnswer) {
  const std::string strUrlField = std::string(kNewUrl) + ";";
  // The download URL's ";" lies beyond the first 1024 bytes.
  const std::string strCutAnswer =
      "LastVer;2.0.0.0;0;" + std::string(kNewUrl) + "?" + std::string(1100, 'p') + ";";
  enum class EDoes { Nothing, Asks, Downloads };
  struct SRow {
    const char* pszName;
    std::optional<std::string> strAnswer;  // nothing: the service cannot be reached
    const char* pszOwnVersion;
    EDoes eDoes;
  };
  const SRow arrRows[] = {
      {"no service", std::nullopt, "1.0.0.0", EDoes::Nothing},
      {"empty answer", "", "1.0.0.0", EDoes::Nothing},
      {"keyword in other case", "lastver;2.0.0.0;0;" + strUrlField, "1.0.0.0", EDoes::Nothing},
      {"blank before keyword", " LastVer;2.0.0.0;0;" + strUrlField, "1.0.0.0", EDoes::Nothing},
      {"line end before keyword", "\r\nLastVer;2.0.0.0;0;" + strUrlField, "1.0.0.0",
       EDoes::Nothing},
      {"web page", "<html><body>Not Found</body></html>", "1.0.0.0", EDoes::Nothing},
      {"same version", "LastVer;1.0.0.0;1;" + strUrlField, "1.0.0.0", EDoes::Nothing},
      {"same version and blank", "LastVer;1.0.0.0 ;1;" + strUrlField, "1.0.0.0", EDoes::Asks},
      {"older version", "LastVer;0.9.0.0;1;" + strUrlField, "1.0.0.0", EDoes::Asks},
      {"own version undefined", "LastVer;1.0.0.0;1;" + strUrlField, "Undef", EDoes::Asks},
      {"ask flag 0", "LastVer;2.0.0.0;0;" + strUrlField, "1.0.0.0", EDoes::Downloads},
      {"ask flag -0", "LastVer;2.0.0.0;-0;" + strUrlField, "1.0.0.0", EDoes::Downloads},
      {"ask flag not a number", "LastVer;2.0.0.0;yes;" + strUrlField, "1.0.0.0", EDoes::Downloads},
      {"ask flag empty", "LastVer;2.0.0.0;;" + strUrlField, "1.0.0.0", EDoes::Downloads},
      {"ask flag with blank and sign", "LastVer;2.0.0.0; +7;" + strUrlField, "1.0.0.0",
       EDoes::Asks},
      {"ask flag beyond 32 bits", "LastVer;2.0.0.0;4294967296;" + strUrlField, "1.0.0.0",
       EDoes::Asks},
      {"bytes after the fourth field", "LastVer;2.0.0.0;0;" + strUrlField + "more;", "1.0.0.0",
       EDoes::Downloads},
      {"last ; missing", "LastVer;2.0.0.0;0;" + std::string(kNewUrl), "1.0.0.0", EDoes::Nothing},
      {"third field unended", "LastVer;2.0.0.0;0", "1.0.0.0", EDoes::Nothing},
      {"longer than 1024 bytes", "LastVer;2.0.0.0;0;" + strUrlField + std::string(3000, 'x'),
       "1.0.0.0", EDoes::Downloads},
      {"field cut at 1024 bytes", strCutAnswer, "1.0.0.0", EDoes::Nothing},
  };
  for (const SRow& row : arrRows) {
    SCOPED_TRACE(row.pszName);
    m_pHttp = std::make_shared<CCannedHttp>();
    m_pProfile = std::make_shared<CMemProfile>();
    if (row.strAnswer) Answer(*row.strAnswer);
    CRecordingUpdateHost host(EAnswer::No);
    std::unique_ptr<CUpdateCheck> pCheck = MakeCheck(host, row.pszOwnVersion);
    pCheck->UpdateThreadProc();

    EXPECT_TRUE(pCheck->Ended());
    EXPECT_EQ(host.Questions().size(), row.eDoes == EDoes::Asks ? 1u : 0u);
    EXPECT_EQ(Downloaded(), row.eDoes == EDoes::Downloads);
    EXPECT_EQ(host.CloseRequests(), row.eDoes == EDoes::Downloads ? 1 : 0);
    // A decision is recorded whenever one was made.
    EXPECT_EQ(m_pProfile->Find(kProfileUpdateRequest).has_value(), row.eDoes != EDoes::Nothing);
    EXPECT_LE(pCheck->m_szBuffer.size(), kAnswerSize);
    if (row.strAnswer) {
      ASSERT_FALSE(m_pHttp->Urls().empty());
      EXPECT_EQ(m_pHttp->Urls().front(), kQueryUrl);
      EXPECT_EQ(m_pHttp->Agents().front(), "prog");
    }
    RemoveOwnFile(m_strDir + "Updprog");
    RemoveOwnFile(m_strDir + kUpdaterScript);
  }
}

TEST_F(UpdateCheckTest, QuestionNamesBothVersions) {
  Answer("LastVer;2.1.0.7;1;" + std::string(kNewUrl) + ";");
  CRecordingUpdateHost host(EAnswer::No);
  MakeCheck(host, "1.0.0.0")->UpdateThreadProc();
  ASSERT_EQ(host.Questions().size(), 1u);
  EXPECT_EQ(host.Questions()[0], UpdateQuestionText("1.0.0.0", "2.1.0.7"));
}

TEST_F(UpdateCheckTest, QuestionWaitsThreeDaysAfterADecision) {
  struct SRow {
    const char* pszName;
    std::int64_t tNow;
    std::optional<std::uint32_t> nLastRequest;
    bool bAsked;
  };
  const SRow arrRows[] = {
      {"never asked", kNow, std::nullopt, true},
      {"asked a day ago", kNow, kNow - 86400, false},
      {"one second short of three days", kNow, kNow - 259199, false},
      {"exactly three days", kNow, kNow - 259200, true},
      {"long ago", kNow, 1000, true},
      {"clock set back an hour", kNow, kNow + 3600, false},
      {"clock set back beyond three days", kNow, kNow + 400000, false},
      // Low 32 bits of the clock past 2^31.
      {"after 2038, never asked", 0x9000'0000LL, std::nullopt, true},
      {"after 2038, asked a day ago", 0x9000'0000LL, 0x9000'0000u - 86400, false},
      {"across 2^32, four days on", 0x1'0000'1000LL,
       static_cast<std::uint32_t>(0x1'0000'1000LL - 4 * 86400), true},
  };
  for (const SRow& row : arrRows) {
    SCOPED_TRACE(row.pszName);
    m_pProfile = std::make_shared<CMemProfile>();
    m_pClock = std::make_shared<CStepClock>(row.tNow);
    if (row.nLastRequest)
      m_pProfile->WriteInt(kProfileSection, kProfileUpdateRequest, *row.nLastRequest);
    Answer("LastVer;2.0.0.0;1;" + std::string(kNewUrl) + ";");
    CRecordingUpdateHost host(EAnswer::No);
    MakeCheck(host)->UpdateThreadProc();
    EXPECT_EQ(host.Questions().size(), row.bAsked ? 1u : 0u);
    // No records the decision; an unasked check leaves the stored time alone.
    const std::optional<std::uint32_t> nStored = m_pProfile->Find(kProfileUpdateRequest);
    EXPECT_EQ(nStored,
              row.bAsked ? std::optional(static_cast<std::uint32_t>(row.tNow)) : row.nLastRequest);
    EXPECT_FALSE(Downloaded());
  }
}

TEST_F(UpdateCheckTest, YesRecordsTheDecisionBeforeTheDownload) {
  Answer("LastVer;2.0.0.0;1;" + std::string(kNewUrl) + ";");
  m_pHttp->Set(kNewUrl, CCannedHttp::Body("not found", 404));
  CRecordingUpdateHost host(EAnswer::Yes);
  MakeCheck(host)->UpdateThreadProc();
  EXPECT_EQ(host.Questions().size(), 1u);
  EXPECT_TRUE(Downloaded());
  // The download failed, and the question waits three days all the same.
  EXPECT_EQ(m_pProfile->Find(kProfileUpdateRequest), static_cast<std::uint32_t>(kNow));
  EXPECT_EQ(host.CloseRequests(), 0);
}

TEST_F(UpdateCheckTest, CompleteDownloadIsStoredAndTheScriptStarted) {
  // What an earlier attempt left behind is replaced.
  test::WriteFile(m_strDir + "Updprog", "old download, longer than the new one ...........");
  test::WriteFile(m_strDir + kUpdaterScript, "old script");
  Answer("LastVer;2.0.0.0;0;" + std::string(kNewUrl) + ";");
  CCannedHttp::SResponse response = CCannedHttp::Body("");
  // The body arrives in pieces, the header split across them.
  const std::string strNew = NewProgram();
  response.head.nContentLength = strNew.size();
  response.arrPieces = {strNew.substr(0, 3), strNew.substr(3, 14), strNew.substr(17)};
  m_pHttp->Set(kNewUrl, response);
  CRecordingUpdateHost host;
  MakeCheck(host)->UpdateThreadProc();

  EXPECT_EQ(FolderNames(m_strDir), (std::vector<std::string>{"Updprog", "prog", kUpdaterScript}));
  EXPECT_EQ(test::ReadFile(m_strDir + "Updprog"), strNew);
  EXPECT_EQ(PermissionBits(m_strDir + "Updprog"), 0750u);  // runs as the old one did
  EXPECT_EQ(test::ReadFile(m_strDir + kUpdaterScript),
            UpdaterScriptText("prog", static_cast<long>(::getpid())));
  EXPECT_EQ(test::ReadFile(m_strDir + "prog"), m_strOwnHeader + "the running program");
  EXPECT_EQ(host.Started(), std::vector<std::string>{m_strDir + kUpdaterScript});
  EXPECT_EQ(host.CloseRequests(), 1);
}

TEST_F(UpdateCheckTest, RefusedDownloadsLeaveNothingBehind) {
  const std::string strNew = NewProgram();
  auto response = [](long nStatus, std::optional<std::uint64_t> nLength,
                     std::vector<std::string> arrPieces,
                     EHttpOutcome eOutcome = EHttpOutcome::Completed) {
    CCannedHttp::SResponse r;
    r.eOutcome = eOutcome;
    r.head = {nStatus, nLength};
    r.arrPieces = std::move(arrPieces);
    return r;
  };
  std::string strOtherMachine = strNew;
  strOtherMachine[18] = static_cast<char>(strOtherMachine[18] ^ 0x40);
  struct SRow {
    const char* pszName;
    CCannedHttp::SResponse download;
  };
  const SRow arrRows[] = {
      {"short body", response(200, 1000, {strNew}, EHttpOutcome::Failed)},
      {"short body the transport missed", response(200, strNew.size() + 1, {strNew})},
      {"more than declared", response(200, 10, {strNew})},
      {"not a program", CCannedHttp::Body("<html><body>Moved</body></html>")},
      {"program for another machine", CCannedHttp::Body(strOtherMachine)},
      {"404 carrying a program", CCannedHttp::Body(strNew, 404)},
      {"no Content-Length", response(200, std::nullopt, {strNew})},
      {"declared length 1", response(200, 1, {"\x7F"})},
      {"declared length 0", response(200, 0, {})},
      {"beyond 256 MiB", response(200, kMaxDownload + 1, {strNew})},
      {"transfer broken off", response(200, strNew.size(), {strNew}, EHttpOutcome::Failed)},
  };
  for (const SRow& row : arrRows) {
    SCOPED_TRACE(row.pszName);
    m_pHttp = std::make_shared<CCannedHttp>();
    Answer("LastVer;2.0.0.0;0;" + std::string(kNewUrl) + ";");
    m_pHttp->Set(kNewUrl, row.download);
    CRecordingUpdateHost host;
    MakeCheck(host)->UpdateThreadProc();
    EXPECT_TRUE(Downloaded());
    EXPECT_EQ(FolderNames(m_strDir), std::vector<std::string>{"prog"});
    EXPECT_TRUE(host.Started().empty());
    EXPECT_EQ(host.CloseRequests(), 0);
  }
}

TEST_F(UpdateCheckTest, ScriptThatCannotStartLeavesNothingAndKeepsTheWindow) {
  Answer("LastVer;2.0.0.0;0;" + std::string(kNewUrl) + ";");
  CRecordingUpdateHost host;
  host.m_bStartWorks = false;
  MakeCheck(host)->UpdateThreadProc();
  EXPECT_EQ(host.Started().size(), 1u);
  EXPECT_EQ(FolderNames(m_strDir), std::vector<std::string>{"prog"});
  EXPECT_EQ(host.CloseRequests(), 0);
}

TEST_F(UpdateCheckTest, UnansweredQuestionEndsAtTeardownWithoutADecision) {
  Answer("LastVer;2.0.0.0;1;" + std::string(kNewUrl) + ";");
  CRecordingUpdateHost host(EAnswer::Never);
  std::unique_ptr<CUpdateCheck> pCheck = MakeCheck(host);
  std::thread thread([&] { pCheck->UpdateThreadProc(); });
  while (host.Questions().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  pCheck->Abort();
  thread.join();
  EXPECT_TRUE(pCheck->Ended());
  EXPECT_FALSE(m_pProfile->Find(kProfileUpdateRequest).has_value());
  EXPECT_FALSE(Downloaded());
  EXPECT_EQ(FolderNames(m_strDir), std::vector<std::string>{"prog"});
}

// ---- The check as the window starts and ends it

TEST_F(UpdateCheckTest, InstallationIdIsMadeOnceAndSentWithEveryQuery) {
  const std::string strBase = "http://versions.test/ver/checkver.php?app=quillmere";
  m_pClock = std::make_shared<CStepClock>(0x1'00AB'CDEFLL);  // low 32 bits: 00ABCDEF
  CRecordingUpdateHost host;
  {
    CProgramVersion version(m_strDir + "prog", "1.0.0.0");
    version.StartUpdateCheck(strBase, "prog", {m_pHttp, m_pProfile, m_pClock}, host);
    EXPECT_EQ(version.m_nUid, 0x00ABCDEFu);
    EXPECT_EQ(version.m_strQueryUrl, strBase + "&uid=ABCDEF");
  }
  EXPECT_EQ(m_pProfile->Find(kProfileUid), 0x00ABCDEFu);
  m_pClock->Tick(1000);
  {
    CProgramVersion version(m_strDir + "prog", "1.0.0.0");
    version.StartUpdateCheck(strBase, "prog", {m_pHttp, m_pProfile, m_pClock}, host);
    EXPECT_EQ(version.m_strQueryUrl, strBase + "&uid=ABCDEF");
  }
  // A stored 0 counts as missing.
  m_pProfile->WriteInt(kProfileSection, kProfileUid, 0);
  {
    CProgramVersion version(m_strDir + "prog", "1.0.0.0");
    version.StartUpdateCheck(strBase, "prog", {m_pHttp, m_pProfile, m_pClock}, host);
    EXPECT_EQ(version.m_nUid, 0x00ABD1D7u);
  }
  EXPECT_EQ(m_pProfile->Find(kProfileUid), 0x00ABD1D7u);
}

TEST_F(UpdateCheckTest, TeardownDoesNotWaitForTheNetwork) {
  const std::string strBase = "http://versions.test/ver/checkver.php?app=quillmere";
  m_pHttp->Hang(BuildQueryUrl(strBase, static_cast<std::uint32_t>(kNow)));
  CRecordingUpdateHost host;
  auto pVersion = std::make_unique<CProgramVersion>(m_strDir + "prog", "1.0.0.0");
  pVersion->StartUpdateCheck(strBase, "prog", {m_pHttp, m_pProfile, m_pClock}, host);
  while (!m_pHttp->m_bHanging) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(pVersion->UpdateCheckRunning());
  pVersion->StopUpdateCheck();
  EXPECT_FALSE(pVersion->UpdateCheckRunning());
  pVersion.reset();
  EXPECT_TRUE(host.Questions().empty());
}

// ---- The replacement script, run by /bin/sh

class UpdaterScriptTest : public ::testing::TestWithParam<const char*> {};

// A stand-in for a program: a shell script that leaves a mark in its folder.
std::string MarkingProgram(const std::string& strMark) {
  // Written under another name first, so the mark never shows half written.
  return "#!/bin/sh\necho " + strMark + " > mark.tmp && mv mark.tmp started-mark\n";
}

TEST_P(UpdaterScriptTest, ReplacesTheProgramOnceItHasEndedAndStartsIt) {
  const std::string strExe = GetParam();
  CScopedTempDir tmp;
  const std::string strDir = tmp.Path() + "/";
  test::WriteFile(strDir + strExe, MarkingProgram("old"));
  test::WriteFile(strDir + "Upd" + strExe, MarkingProgram("new"));
  ASSERT_EQ(::chmod((strDir + "Upd" + strExe).c_str(), 0755), 0);

  // The old program: a child that runs until it is told to end.
  const pid_t pidOld = ::fork();
  ASSERT_GE(pidOld, 0);
  if (pidOld == 0) {
    ::pause();
    ::_exit(0);
  }
  test::WriteFile(strDir + kUpdaterScript, UpdaterScriptText(strExe, pidOld));
  ASSERT_TRUE(StartDetached("/bin/sh", {kUpdaterScript}, strDir).Ok());

  // While it runs, its file stays.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(test::ReadFile(strDir + strExe), MarkingProgram("old"));
  ::kill(pidOld, SIGTERM);
  ::waitpid(pidOld, nullptr, 0);

  ASSERT_TRUE(WaitFor([&] { return ::access((strDir + "started-mark").c_str(), F_OK) == 0; },
                      kScriptTimeout));
  ASSERT_TRUE(WaitFor([&] { return ::access((strDir + kUpdaterScript).c_str(), F_OK) != 0; },
                      kScriptTimeout));
  EXPECT_EQ(test::ReadFile(strDir + "started-mark"), "new\n");
  EXPECT_EQ(test::ReadFile(strDir + strExe), MarkingProgram("new"));
  EXPECT_EQ(FolderNames(strDir), (std::vector<std::string>{strExe, "started-mark"}));
}

INSTANTIATE_TEST_SUITE_P(Names, UpdaterScriptTest,
                         ::testing::Values("prog", "my prog", "it's \"quoted\" $HOME `x`",
                                           "-starts-with-dash", "a @EXE@ mark"),
                         [](const auto& param) {
                           std::string strName;
                           for (char c : std::string(param.param)) {
                             strName += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return strName + std::to_string(param.index);
                         });

TEST(UpdaterScript, StartsNothingWhenTheNewProgramCannotBePutInPlace) {
  CScopedTempDir tmp;
  const std::string strDir = tmp.Path() + "/";
  test::WriteFile(strDir + "prog", MarkingProgram("old"));
  ASSERT_EQ(::chmod((strDir + "prog").c_str(), 0755), 0);
  // No downloaded file, and the old program has ended already.
  const pid_t pidGone = ::fork();
  if (pidGone == 0) ::_exit(0);
  ::waitpid(pidGone, nullptr, 0);
  test::WriteFile(strDir + kUpdaterScript, UpdaterScriptText("prog", pidGone));
  ASSERT_TRUE(StartDetached("/bin/sh", {kUpdaterScript}, strDir).Ok());

  ASSERT_TRUE(WaitFor([&] { return ::access((strDir + kUpdaterScript).c_str(), F_OK) != 0; },
                      kScriptTimeout));
  EXPECT_EQ(FolderNames(strDir), std::vector<std::string>{"prog"});
  EXPECT_EQ(test::ReadFile(strDir + "prog"), MarkingProgram("old"));
}

}  // namespace
}  // namespace quillmere
