// The real program updates itself: it asks a version service on 127.0.0.1, downloads
// the new program, writes the replacement script, starts it and closes; the script puts
// the new file in place and starts it. The program is a build of the window that asks
// this loopback service; it runs from a copy in a temporary folder, on the offscreen
// platform and with a profile of its own.
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/Wait.h"

extern char** environ;

namespace quillmere {
namespace {

using test::CLoopbackHttpServer;
using test::CScopedTempDir;
using test::FolderNames;
using test::WaitFor;
using namespace std::chrono_literals;

bool Exists(const std::string& strPath) { return ::access(strPath.c_str(), F_OK) == 0; }

// The program, started in strWorkDir with this process's environment plus mapEnv.
class CProgramRun {
 public:
  CProgramRun(const std::string& strProgram, const std::vector<std::string>& arrArgs,
              const std::string& strWorkDir, const std::map<std::string, std::string>& mapEnv) {
    std::map<std::string, std::string> mapAll;
    for (char** pp = environ; *pp; ++pp) {
      const std::string strVar = *pp;
      const std::size_t nEq = strVar.find('=');
      if (nEq != std::string::npos) mapAll[strVar.substr(0, nEq)] = strVar.substr(nEq + 1);
    }
    for (const auto& [strName, strValue] : mapEnv) mapAll[strName] = strValue;
    std::vector<std::string> arrEnv;
    for (const auto& [strName, strValue] : mapAll) arrEnv.push_back(strName + "=" + strValue);

    std::vector<char*> arrArgv{const_cast<char*>(strProgram.c_str())};
    for (const std::string& strArg : arrArgs) arrArgv.push_back(const_cast<char*>(strArg.c_str()));
    arrArgv.push_back(nullptr);
    std::vector<char*> arrEnvp;
    for (std::string& strVar : arrEnv) arrEnvp.push_back(strVar.data());
    arrEnvp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, strWorkDir.c_str());
    m_nSpawnError =
        posix_spawn(&m_pid, strProgram.c_str(), &actions, nullptr, arrArgv.data(), arrEnvp.data());
    posix_spawn_file_actions_destroy(&actions);
  }
  // A program that is still running is ended, so no test leaves one behind.
  ~CProgramRun() {
    if (Running()) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }

  bool Started() const { return m_nSpawnError == 0; }
  bool Running() {
    if (!Started() || m_nStatus) return false;
    int nStatus = 0;
    if (::waitpid(m_pid, &nStatus, WNOHANG) == m_pid) m_nStatus = nStatus;
    return !m_nStatus;
  }
  // The exit code once the program has ended by itself within tTimeout.
  std::optional<int> WaitExit(std::chrono::seconds tTimeout) {
    if (!WaitFor([this] { return !Running(); }, tTimeout) || !m_nStatus) return std::nullopt;
    if (!WIFEXITED(*m_nStatus)) return std::nullopt;
    return WEXITSTATUS(*m_nStatus);
  }

 private:
  pid_t m_pid = -1;
  int m_nSpawnError = 0;
  std::optional<int> m_nStatus;
};

TEST(SelfUpdate, ProgramReplacesItselfWithTheNewReleaseAndStartsIt) {
  CLoopbackHttpServer server(QUILLMERE_TEST_UPDATE_PORT);
  ASSERT_TRUE(server.Ok()) << "port " << QUILLMERE_TEST_UPDATE_PORT << " is taken; configure "
                           << "another with -DQUILLMERE_TEST_UPDATE_PORT=...";
  CScopedTempDir tmp;
  const std::string strAppDir = tmp.Sub("app");
  const std::string strJobDir = tmp.Sub("my job");
  for (const std::string& strDir : {strAppDir, strJobDir, strJobDir + "/src", strJobDir + "/dst"}) {
    ASSERT_EQ(::mkdir(strDir.c_str(), 0777), 0);
  }
  std::filesystem::copy_file(QUILLMERE_LOOPBACK_APP_PATH, strAppDir + "/quillmere");
  ::chmod((strAppDir + "/quillmere").c_str(), 0755);
  test::WriteFile(strJobDir + "/QuillmereCfg.txt", "COPYFROM=src\nCOPYTO=dst\n");
  const std::string strNewProgram = test::ReadFile(QUILLMERE_NEW_PROGRAM_PATH);

  test::SCannedReply answer;
  answer.strBody = "LastVer;9.9.9.9;0;" + server.BaseUrl() + "/new/quillmere;";
  server.ServePath("/ver/checkver.php", answer);
  test::SCannedReply download;
  download.strBody = strNewProgram;
  server.Serve("/new/quillmere", download);

  CProgramRun run(strAppDir + "/quillmere", {"QuillmereCfg.txt"}, strJobDir,
                  {{"QT_QPA_PLATFORM", "offscreen"},
                   {"XDG_CONFIG_HOME", tmp.Sub("profile")},
                   {"no_proxy", "127.0.0.1,localhost"},
                   {"NO_PROXY", "127.0.0.1,localhost"}});
  ASSERT_TRUE(run.Started());
  // The window closes by itself once the script has started.
  EXPECT_EQ(run.WaitExit(120s), 0);

  EXPECT_TRUE(WaitFor([&] { return Exists(strAppDir + "/started-mark"); }, 60s))
      << "the new program was not started";
  EXPECT_TRUE(WaitFor([&] { return !Exists(strAppDir + "/updater.bat"); }, 60s));
  EXPECT_EQ(test::ReadFile(strAppDir + "/started-mark"), "started as ./quillmere\n");
  EXPECT_EQ(test::ReadFile(strAppDir + "/quillmere"), strNewProgram);
  EXPECT_EQ(FolderNames(strAppDir), (std::vector<std::string>{"quillmere", "started-mark"}));

  const std::vector<std::string> arrTargets = server.Targets();
  ASSERT_EQ(arrTargets.size(), 2u);
  EXPECT_EQ(arrTargets[0].rfind("/ver/checkver.php?app=quillmere&uid=", 0), 0u) << arrTargets[0];
  EXPECT_EQ(arrTargets[1], "/new/quillmere");
  EXPECT_EQ(server.UserAgents()[0], "quillmere");
  // The installation id and the time of the decision are in the profile.
  const std::string strProfile = test::ReadFile(tmp.Sub("profile/Brantlow/quillmere.conf"));
  EXPECT_NE(strProfile.find("[Default]"), std::string::npos) << strProfile;
  EXPECT_NE(strProfile.find("UID="), std::string::npos) << strProfile;
  EXPECT_NE(strProfile.find("UpdateRequest="), std::string::npos) << strProfile;
}

}  // namespace
}  // namespace quillmere
