// Whole runs on the real disk, in a temporary folder.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/QuillmereJob.h"
#include "platform/File.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

namespace quillmere {
namespace {

const std::string kFolders = "-----------------------------Create Folders:-----------\r\n";
const std::string kFiles = "-----------------------------Copy Files-----------\r\n";

void SetTime(const std::string& strPath, std::int64_t nSec, long nNsec = 0) {
  const struct timespec times[2] = {{nSec, nNsec}, {nSec, nNsec}};
  ASSERT_EQ(::utimensat(AT_FDCWD, strPath.c_str(), times, 0), 0) << strPath;
}

void MakeFolder(const std::string& strPath) { ASSERT_EQ(::mkdir(strPath.c_str(), 0777), 0); }

class RunJobDiskTest : public ::testing::Test {
 protected:
  std::string Run(IFileSystem& fs, const std::string& strConfig, bool bTestMode = false) {
    test::WriteFile(m_dir.Sub("cfg.txt"), strConfig + "CREATELOG=TRUE\r\nLOGFILE=" +
                                              m_dir.Sub("log.txt") + "\r\n");
    CQuillmereJob job(m_host, fs);
    job.m_strCfgFile = m_dir.Sub("cfg.txt");
    EXPECT_TRUE(job.LoadConfig());
    job.m_bTestMode = bTestMode;
    job.RunJob();
    m_nDone = job.m_nDone;
    m_nErrors = job.m_nErrors;
    return test::ReadFile(m_dir.Sub("log.txt"));
  }

  void TearDown() override { g_bStop = false; }

  test::CScopedTempDir m_dir;
  test::CRecordingHost m_host;
  int m_nDone = 0;
  int m_nErrors = 0;
};

TEST_F(RunJobDiskTest, CopiesATreeAndASecondRunChangesNothing) {
  const std::string strSrc = m_dir.Sub("src");
  const std::string strDst = m_dir.Sub("dst");
  MakeFolder(strSrc);
  MakeFolder(strSrc + "/sub");
  MakeFolder(strDst);
  test::WriteFile(strSrc + "/sub/a.txt", "alpha");
  test::WriteFile(strSrc + "/.dotfile", "dot");
  SetTime(strSrc + "/sub/a.txt", 1'650'000'000, 987654321);
  const std::string strConfig = "COPYFROM=" + strSrc + "\r\nCOPYTO=" + strDst + "\r\n";

  const std::string strLog = Run(RealFileSystem(), strConfig);

  // The file system decides the listing order: either file may come first.
  const std::string strHead = kFolders + strDst + "/sub\r\n" + kFiles;
  const std::string strA = strDst + "/sub/a.txt\r\n";
  const std::string strDot = strDst + "/.dotfile\r\n";
  const std::string strSummary = "Files-2 Selected-2 Done-2 Errors-0 \r\n";
  EXPECT_TRUE(strLog == strHead + strA + strDot + strSummary ||
              strLog == strHead + strDot + strA + strSummary)
      << strLog;
  EXPECT_EQ(test::ReadFile(strDst + "/sub/a.txt"), "alpha");
  EXPECT_EQ(test::ReadFile(strDst + "/.dotfile"), "dot");
  struct stat st {};
  ASSERT_EQ(::stat((strDst + "/sub/a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_nsec, 987654321);

  // Up to date now: nothing may be created or copied.
  test::CFaultFileSystem noChanges(RealFileSystem());
  noChanges.ForbidChanges();
  EXPECT_EQ(Run(noChanges, strConfig), kFolders + kFiles + "Files-2 Selected-0 Done-0 Errors-0 \r\n");
}

TEST_F(RunJobDiskTest, TestModeTouchesNothing) {
  const std::string strSrc = m_dir.Sub("src");
  MakeFolder(strSrc);
  MakeFolder(strSrc + "/new");
  MakeFolder(m_dir.Sub("dst"));
  test::WriteFile(strSrc + "/new/a.txt", "a");
  test::CFaultFileSystem noChanges(RealFileSystem());
  noChanges.ForbidChanges();

  const std::string strLog =
      Run(noChanges, "COPYFROM=" + strSrc + "\r\nCOPYTO=" + m_dir.Sub("dst") + "\r\n", true);

  EXPECT_EQ(strLog, kFolders + m_dir.Sub("dst/new") + "\r\n" + kFiles + m_dir.Sub("dst/new/a.txt") +
                        "\r\nFiles-1 Selected-1 Done-0 Errors-0 \r\n");
  EXPECT_NE(::access(m_dir.Sub("dst/new").c_str(), F_OK), 0);
}

TEST_F(RunJobDiskTest, RootsInAnyFormLandUnderTheRightNames) {
  MakeFolder(m_dir.Sub("src"));
  MakeFolder(m_dir.Sub("src/in"));
  MakeFolder(m_dir.Sub("dst"));
  test::WriteFile(m_dir.Sub("src/in/f.txt"), "f");
  test::CScopedChdir chdir(m_dir.Path());

  // Doubled and trailing slashes, and a relative destination.
  const std::string strLog =
      Run(RealFileSystem(), "COPYFROM=" + m_dir.Path() + "//src///\r\nCOPYTO=dst/\r\n");

  EXPECT_EQ(strLog, kFolders + "dst/in\r\n" + kFiles + "dst/in/f.txt\r\n" +
                        "Files-1 Selected-1 Done-1 Errors-0 \r\n");
  EXPECT_EQ(test::ReadFile(m_dir.Sub("dst/in/f.txt")), "f");
}

TEST_F(RunJobDiskTest, LinkLoopsAndTheDestinationInsideTheSourceAreNotWalked) {
  const std::string strSrc = m_dir.Sub("src");
  MakeFolder(strSrc);
  MakeFolder(strSrc + "/a");
  MakeFolder(strSrc + "/backup");
  test::WriteFile(strSrc + "/a/f.txt", "f");
  ASSERT_EQ(::symlink("..", (strSrc + "/a/up").c_str()), 0);

  const std::string strLog =
      Run(RealFileSystem(), "COPYFROM=" + strSrc + "\r\nCOPYTO=" + strSrc + "/backup\r\n");

  EXPECT_EQ(strLog, "----------------ERROR: Too many levels of symbolic links\r\n     PATH=" + strSrc +
                        "/a/up\r\n" + kFolders + strSrc + "/backup/a\r\n" + kFiles + strSrc +
                        "/backup/a/f.txt\r\nFiles-1 Selected-1 Done-1 Errors-0 \r\n");
}

TEST_F(RunJobDiskTest, ReadOnlyDestinationFilesAreRefusedAndKept) {
  MakeFolder(m_dir.Sub("src"));
  MakeFolder(m_dir.Sub("dst"));
  test::WriteFile(m_dir.Sub("src/a.txt"), "new");
  test::WriteFile(m_dir.Sub("dst/a.txt"), "protected");
  SetTime(m_dir.Sub("dst/a.txt"), 1'000'000'000);
  ASSERT_EQ(::chmod(m_dir.Sub("dst/a.txt").c_str(), 0444), 0);

  const std::string strLog = Run(
      RealFileSystem(), "COPYFROM=" + m_dir.Sub("src") + "\r\nCOPYTO=" + m_dir.Sub("dst") + "\r\n");

  EXPECT_EQ(strLog, kFolders + kFiles + "----------------ERROR: Permission denied\r\n     PATH=" +
                        m_dir.Sub("dst/a.txt") + "\r\nFiles-1 Selected-1 Done-0 Errors-1 \r\n");
  EXPECT_EQ(test::ReadFile(m_dir.Sub("dst/a.txt")), "protected");
}

}  // namespace
}  // namespace quillmere
