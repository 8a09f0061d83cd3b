// quillmere-cli as a user or a scheduler runs it: a child process with its own
// standard streams, checked by its exit status, its output and the folders it leaves.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/File.h"
#include "tests/support/TempDir.h"

namespace quillmere {
namespace {

bool Exists(const std::string& strPath) { return ::access(strPath.c_str(), F_OK) == 0; }

// The names of the temporary copies in a folder.
std::vector<std::string> TempFiles(const std::string& strFolder) {
  std::vector<std::string> arrNames;
  if (DIR* pDir = ::opendir(strFolder.c_str())) {
    while (const dirent* p = ::readdir(pDir)) {
      std::string strName = p->d_name;
      if (strName.rfind(".quillmere-", 0) == 0) arrNames.push_back(strName);
    }
    ::closedir(pDir);
  }
  return arrNames;
}

class CliTest : public ::testing::Test {
 protected:
  // Starts quillmere-cli in the test folder with stdin from /dev/null.
  pid_t Start(const std::vector<std::string>& arrArgs) {
    const std::string strOut = m_dir.Sub("stdout");
    const std::string strErr = m_dir.Sub("stderr");
    pid_t pid = ::fork();
    if (pid == 0) {
      int fdIn = ::open("/dev/null", O_RDONLY);
      int fdOut = ::open(strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int fdErr = ::open(strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fdIn < 0 || fdOut < 0 || fdErr < 0 || ::chdir(m_dir.Path().c_str()) != 0) _exit(127);
      ::dup2(fdIn, 0);
      ::dup2(fdOut, 1);
      ::dup2(fdErr, 2);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(QUILLMERE_CLI_PATH));
      for (const std::string& str : arrArgs) argv.push_back(const_cast<char*>(str.c_str()));
      argv.push_back(nullptr);
      ::execv(QUILLMERE_CLI_PATH, argv.data());
      _exit(127);
    }
    return pid;
  }

  // Waits for the child; returns its exit status, or 128 + signal.
  static int Wait(pid_t pid) {
    int nStatus = 0;
    if (::waitpid(pid, &nStatus, 0) != pid) return -1;
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
  }

  int Run(const std::vector<std::string>& arrArgs) { return Wait(Start(arrArgs)); }
  std::string Out() { return test::ReadFile(m_dir.Sub("stdout")); }
  std::string Err() { return test::ReadFile(m_dir.Sub("stderr")); }

  void Folder(const std::string& strName) {
    ASSERT_EQ(::mkdir(m_dir.Sub(strName).c_str(), 0777), 0);
  }
  void Config(const std::string& strName, const std::string& strText) {
    test::WriteFile(m_dir.Sub(strName), strText);
  }

  // Whether the child holds a file open in dst (the new copy, named or not) that has
  // received part of the big file's bytes.
  bool WritingIntoDst(pid_t pid) {
    const std::string strFds = "/proc/" + std::to_string(pid) + "/fd";
    const std::string strPrefix = m_dir.Sub("dst") + "/";
    bool bFound = false;
    if (DIR* pDir = ::opendir(strFds.c_str())) {
      while (const dirent* p = ::readdir(pDir)) {
        const std::string strFd = strFds + "/" + p->d_name;
        char szTarget[4096];
        ssize_t n = ::readlink(strFd.c_str(), szTarget, sizeof szTarget - 1);
        if (n <= 0) continue;
        szTarget[n] = '\0';
        struct stat st {};
        if (std::string(szTarget).rfind(strPrefix, 0) == 0 && ::stat(strFd.c_str(), &st) == 0 &&
            st.st_size > 0 && st.st_size < 256 * 1024 * 1024) {
          bFound = true;
        }
      }
      ::closedir(pDir);
    }
    return bFound;
  }

  // Starts a copy of a large file over an older copy and returns once the child is
  // frozen in the middle of it; -1 when every try finished too fast to catch, 0 when
  // the disk has no room for it.
  pid_t StartFrozenMidCopy() {
    // The big file and its partial copy need room; a nearly full disk cannot show this.
    struct statvfs fs {};
    if (::statvfs(m_dir.Path().c_str(), &fs) == 0 &&
        static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize < 1024ULL * 1024 * 1024) {
      return 0;
    }
    Folder("src");
    Folder("dst");
    std::string strBig(256 * 1024 * 1024, 'n');
    test::WriteFile(m_dir.Sub("src/big.bin"), strBig);
    test::WriteFile(m_dir.Sub("dst/big.bin"), "the older copy");
    const struct timespec times[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    ::utimensat(AT_FDCWD, m_dir.Sub("dst/big.bin").c_str(), times, 0);
    Config("cfg.txt", "COPYFROM=src\nCOPYTO=dst\n");
    for (int nTry = 0; nTry < 5; ++nTry) {
      pid_t pid = Start({"cfg.txt"});
      const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (std::chrono::steady_clock::now() < tEnd) {
        if (WritingIntoDst(pid)) {
          ::kill(pid, SIGSTOP);
          if (WritingIntoDst(pid)) return pid;  // caught in the middle of the file
          ::kill(pid, SIGCONT);
          break;
        }
        int nStatus = 0;
        if (::waitpid(pid, &nStatus, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      Wait(pid);
      // Make the copy necessary again for the next try.
      test::WriteFile(m_dir.Sub("dst/big.bin"), "the older copy");
      ::utimensat(AT_FDCWD, m_dir.Sub("dst/big.bin").c_str(), times, 0);
    }
    return -1;
  }

  test::CScopedTempDir m_dir;
};

TEST_F(CliTest, ExitStatusAndOutputTellWhatHappened) {
  Folder("src");
  Folder("dst");
  test::WriteFile(m_dir.Sub("src/a.txt"), "a");
  struct SRow {
    const char* pszName;
    std::string strConfig;  // written to QuillmereCfg.txt unless empty
    std::vector<std::string> arrArgs;
    int nStatus;
    std::string strOut;
    std::string strErr;
  };
  const std::string kDone = "Done: Files-1 Selected-1 Done-1 Errors-0 \n";
  const SRow kRows[] = {
      {"missing_config", "", {"nothing.txt"}, 2, "", "Can not open config file\n"},
      {"bad_line", "COPYFROM=src\r\nCOPYTO =dst\r\n", {}, 2, "", "Config file error line 2\n"},
      {"no_source", "COPYTO=dst\r\n", {}, 2, "",
       "Config File ERROR\n COPYFROM are not specified or specified befory COPYTO !\n"},
      {"test_mode_copies_nothing", "COPYFROM=src\nCOPYTO=dst\n", {"--test-mode"}, 0,
       "Done: Files-1 Selected-1 Done-0 Errors-0 \n", ""},
      {"default_config_copies", "COPYFROM=src\nCOPYTO=dst\n", {}, 0, kDone, ""},
      {"up_to_date", "COPYFROM=src\nCOPYTO=dst\n", {}, 0,
       "Done: Files-1 Selected-0 Done-0 Errors-0 \n", ""},
      {"errors_counted", "COPYFROM=missing\nCOPYTO=dst\n", {}, 1,
       "Done: Files-0 Selected-0 Done-0 Errors-1 \n", ""},
      {"log_not_creatable_no", "COPYFROM=src\nCOPYTO=dst\nCREATELOG=TRUE\nLOGFILE=no/log.txt\n",
       {}, 2, "", "quillmere-cli: Can not create Log file continue ? No (--yes goes on without a log)\n"},
      {"log_not_creatable_yes", "COPYFROM=src\nCOPYTO=dst\nCREATELOG=TRUE\nLOGFILE=no/log.txt\n",
       {"--yes"}, 0, "Done: Files-1 Selected-0 Done-0 Errors-0 \n", ""},
      {"show_log_prints_its_path",
       "COPYFROM=src\nCOPYTO=dst\nCREATELOG=TRUE\nLOGFILE=run.log\nSHOWLOG=TRUE\n", {}, 0,
       "Done: Files-1 Selected-0 Done-0 Errors-0 \nrun.log\n", ""},
      {"unknown_option", "", {"--fast"}, 2, "", ""},
  };
  for (const SRow& row : kRows) {
    SCOPED_TRACE(row.pszName);
    if (!row.strConfig.empty()) Config("QuillmereCfg.txt", row.strConfig);
    EXPECT_EQ(Run(row.arrArgs), row.nStatus);
    EXPECT_EQ(Out(), row.strOut);
    if (row.nStatus != 2 || !row.strErr.empty()) {
      EXPECT_EQ(Err(), row.strErr);
    }
    if (std::string(row.pszName) == "test_mode_copies_nothing") {
      EXPECT_FALSE(Exists(m_dir.Sub("dst/a.txt")));
    }
  }
  EXPECT_EQ(test::ReadFile(m_dir.Sub("dst/a.txt")), "a");
}

TEST_F(CliTest, SigtermStopsCleanlyAndKeepsTheOlderCopy) {
  const pid_t pid = StartFrozenMidCopy();
  if (pid == 0) GTEST_SKIP() << "less than 1 GiB free for the big file";
  ASSERT_GT(pid, 0) << "the copy always finished before it could be caught";
  ::kill(pid, SIGTERM);
  ::kill(pid, SIGCONT);
  EXPECT_EQ(Wait(pid), 130);
  EXPECT_EQ(Out(), "Done: Files-1 Selected-1 Done-0 Errors-1 \n");
  EXPECT_EQ(test::ReadFile(m_dir.Sub("dst/big.bin")), "the older copy");
  EXPECT_TRUE(TempFiles(m_dir.Sub("dst")).empty());
}

TEST_F(CliTest, KilledMidCopyLeavesTheOlderCopyIntact) {
  const pid_t pid = StartFrozenMidCopy();
  if (pid == 0) GTEST_SKIP() << "less than 1 GiB free for the big file";
  ASSERT_GT(pid, 0) << "the copy always finished before it could be caught";
  ::kill(pid, SIGKILL);
  EXPECT_EQ(Wait(pid), 128 + SIGKILL);
  // Nothing but the temporary file may hold part of the new contents.
  EXPECT_EQ(test::ReadFile(m_dir.Sub("dst/big.bin")), "the older copy");
  struct stat st {};
  ASSERT_EQ(::stat(m_dir.Sub("dst/big.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1'000'000'000);
}

}  // namespace
}  // namespace quillmere
