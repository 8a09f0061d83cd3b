// Whole runs over the in-memory file system, with faults and stops injected where the
// test says. The log is a real file, read back byte for byte.

#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/QuillmereJob.h"
#include "platform/File.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/MemFileSystem.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/StepClock.h"
#include "tests/support/TempDir.h"

namespace quillmere {
namespace {

const std::string kFolders = "-----------------------------Create Folders:-----------\r\n";
const std::string kFiles = "-----------------------------Copy Files-----------\r\n";

std::string Error(const std::string& strText, const std::string& strPath) {
  return "----------------ERROR: " + strText + "\r\n     PATH=" + strPath + "\r\n";
}

const SFileTime kOld{1'600'000'000, 0};
const SFileTime kNew{1'650'000'000, 500};

class RunJobTest : public ::testing::Test {
 protected:
  void AddPair(const std::string& strFrom, const std::string& strTo,
               std::vector<std::string> arrFilters = {"*"}, bool bSubfolders = true) {
    auto pFolder = std::make_unique<CFolder>();
    pFolder->m_strCopyFrom = strFrom;
    pFolder->m_strCopyTo = strTo;
    pFolder->m_arrFilters = std::move(arrFilters);
    pFolder->m_bProcessSubfolders = bSubfolders;
    m_job.m_arrFolders.push_back(std::move(pFolder));
  }

  // Runs with logging on and returns the log.
  std::string RunLogged() {
    m_job.m_bCreateLog = true;
    m_job.m_strLogFile = m_dir.Sub("log.txt");
    m_job.RunJob();
    return Log();
  }

  std::string Log() const {
    std::string strLog;
    EXPECT_FALSE(ReadWholeFile(m_dir.Sub("log.txt"), &strLog));
    return strLog;
  }

  void ExpectCounters(int nFiles, int nSelected, int nDone, int nErrors) const {
    EXPECT_EQ(m_job.m_nFiles, nFiles);
    EXPECT_EQ(m_job.m_nSelected, nSelected);
    EXPECT_EQ(m_job.m_nDone, nDone);
    EXPECT_EQ(m_job.m_nErrors, nErrors);
  }

  void SetUp() override { m_mem.AddFolder("/dst"); }
  void TearDown() override { g_bStop = false; }

  test::CScopedTempDir m_dir;
  test::CMemFileSystem m_mem;
  test::CFaultFileSystem m_fault{m_mem};
  test::CRecordingHost m_host;
  test::CStepClock m_clock;
  CQuillmereJob m_job{m_host, m_fault, m_clock};
};

TEST_F(RunJobTest, SelectsByTimeAndWritesTheLogInScanOrder) {
  // Listing order is the order added, deliberately not alphabetical.
  m_mem.AddFile("/src/notes.txt", "new notes", kNew);
  m_mem.AddFile("/dst/notes.txt", "old notes", kOld);
  m_mem.AddFile("/src/Photos/a.jpg", "jpeg", kOld);
  m_mem.AddFile("/src/same.txt", "same time, other size", kOld);
  m_mem.AddFile("/dst/same.txt", "x", kOld);
  m_mem.AddFile("/src/kept.txt", "source", kOld);
  m_mem.AddFile("/dst/kept.txt", "destination is newer", kNew);
  m_mem.AddFile("/src/b.txt", "one ns newer", {kOld.nSec, 1});
  m_mem.AddFile("/dst/b.txt", "old b", kOld);
  AddPair("/src", "/dst");
  AddPair("/missing", "/dst");

  const std::string strLog = RunLogged();

  EXPECT_EQ(strLog, kFolders + "/dst/Photos\r\n" + kFiles + "/dst/notes.txt\r\n" +
                        "/dst/Photos/a.jpg\r\n/dst/b.txt\r\n" +
                        Error("No such file or directory", "/missing") +
                        "Files-5 Selected-3 Done-3 Errors-1 \r\n");
  ExpectCounters(5, 3, 3, 1);
  EXPECT_EQ(m_mem.CreatedFolders(), std::vector<std::string>{"/dst/Photos"});
  EXPECT_EQ(m_mem.Contents("/dst/notes.txt"), "new notes");
  EXPECT_EQ(m_mem.WriteTime("/dst/notes.txt"), kNew);
  EXPECT_EQ(m_mem.Contents("/dst/same.txt"), "x");
  EXPECT_EQ(m_mem.Contents("/dst/kept.txt"), "destination is newer");
  EXPECT_EQ(m_job.m_nPhase, PHASE_DONE);
  EXPECT_FALSE(m_job.m_bRunning);
  EXPECT_EQ(m_host.FocusRequests(), 1);
  EXPECT_EQ(m_host.CloseRequests(), 0);
}

TEST_F(RunJobTest, CreatesMissingFoldersParentsFirstAndOnlyWhereFilesGo) {
  m_mem.AddFile("/src/a/bb/x.txt", "x", kOld);
  m_mem.AddFile("/src/a/y.txt", "y", kOld);
  m_mem.AddFile("/src/zz/z.txt", "z", kOld);
  m_mem.AddFolder("/src/empty");
  m_mem.AddFile("/src/filtered/only.tmp", "t", kOld);
  AddPair("/src", "/dst", {"*.txt"});

  const std::string strLog = RunLogged();

  // Listed as the scan leaves them (children first), created shortest first.
  EXPECT_EQ(strLog, kFolders + "/dst/a/bb\r\n/dst/a\r\n/dst/zz\r\n" + kFiles +
                        "/dst/a/bb/x.txt\r\n/dst/a/y.txt\r\n/dst/zz/z.txt\r\n" +
                        "Files-4 Selected-3 Done-3 Errors-0 \r\n");
  EXPECT_EQ(m_mem.CreatedFolders(), (std::vector<std::string>{"/dst/a", "/dst/zz", "/dst/a/bb"}));
  EXPECT_FALSE(m_mem.Exists("/dst/empty"));
  EXPECT_FALSE(m_mem.Exists("/dst/filtered"));
}

TEST_F(RunJobTest, WithoutSubfoldersOnlyTheTopFolderCounts) {
  m_mem.AddFile("/src/top.txt", "t", kOld);
  m_mem.AddFile("/src/sub/deep.txt", "d", kOld);
  AddPair("/src", "/dst", {"*"}, false);
  RunLogged();
  ExpectCounters(1, 1, 1, 0);
  EXPECT_TRUE(m_mem.CreatedFolders().empty());
}

TEST_F(RunJobTest, TestModeListsWhatWouldBeDoneAndChangesNothing) {
  m_mem.AddFile("/src/new/a.txt", "a", kNew);
  m_mem.AddFile("/src/b.txt", "b", kNew);
  AddPair("/src", "/dst");
  m_fault.ForbidChanges();
  m_job.m_bTestMode = true;

  const std::string strLog = RunLogged();

  EXPECT_EQ(strLog, kFolders + "/dst/new\r\n" + kFiles + "/dst/new/a.txt\r\n/dst/b.txt\r\n" +
                        "Files-2 Selected-2 Done-0 Errors-0 \r\n");
  EXPECT_EQ(m_job.m_nBytesDone, 0.0);
  EXPECT_EQ(g_dFileBytes, 0.0);
}

TEST_F(RunJobTest, FailuresAreLoggedAndOnlyCopyFailuresCounted) {
  m_mem.AddFile("/src/locked/a.txt", "a", kOld);        // its folder cannot be created
  m_mem.AddFile("/src/big.txt", "0123456789abcdef", kOld);  // the disk fills up mid-file
  m_mem.AddFile("/src/c.txt", "c", kOld);               // still copied afterwards
  m_mem.AddFile("/dst/big.txt", "older big", kOld);
  m_mem.AddFile("/src/big.txt", "0123456789abcdef", kNew);
  m_fault.FailCreate("/dst/locked", EACCES);
  m_fault.FailCopyAfter("/dst/big.txt", 8, ENOSPC);
  AddPair("/src", "/dst");

  const std::string strLog = RunLogged();

  EXPECT_EQ(strLog, kFolders + "/dst/locked\r\n" + Error("Permission denied", "/dst/locked") +
                        kFiles + Error("No such file or directory", "/dst/locked/a.txt") +
                        Error("No space left on device", "/dst/big.txt") + "/dst/c.txt\r\n" +
                        "Files-3 Selected-3 Done-1 Errors-2 \r\n");
  EXPECT_EQ(m_mem.Contents("/dst/big.txt"), "older big");
}

TEST_F(RunJobTest, UnreadableSourcesAreReportedAndCounted) {
  m_mem.AddFile("/src/secret.txt", "s", kOld);
  m_mem.AddFile("/src/closed/x.txt", "x", kOld);
  m_mem.AddSpecial("/src/pipe");
  m_mem.AddFile("/src/ok.txt", "ok", kOld);
  m_mem.AddFile("/notafolder", "f", kOld);
  m_fault.FailAttributes("/src/secret.txt", EACCES);
  m_fault.FailList("/src/closed", EACCES);
  AddPair("/src", "/dst");
  AddPair("/notafolder", "/dst");
  AddPair("/src", "");

  const std::string strLog = RunLogged();

  // The special file is counted as found but never opened, and is no copy failure.
  EXPECT_EQ(strLog, Error("Permission denied", "/src/secret.txt") +
                        Error("Permission denied", "/src/closed") +
                        Error("Operation not supported", "/src/pipe") + kFolders + kFiles +
                        "/dst/ok.txt\r\n" + Error("Not a directory", "/notafolder") +
                        Error("No such file or directory", "") +
                        "Files-3 Selected-1 Done-1 Errors-4 \r\n");
}

TEST_F(RunJobTest, DestinationInsideTheSourceIsNotScanned) {
  m_mem.AddFile("/data/a.txt", "a", kOld);
  m_mem.AddFile("/data/backup/a.txt", "a", kOld);
  m_mem.AddFile("/data/backup/extra.txt", "e", kOld);
  AddPair("/data", "/data/backup");
  RunLogged();
  ExpectCounters(1, 0, 0, 0);
  EXPECT_FALSE(m_mem.Exists("/data/backup/backup"));
}

TEST_F(RunJobTest, StopDuringScanEndsEachFolderAtItsNextFile) {
  m_mem.AddFile("/src/a/f1.txt", "1", kNew);
  m_mem.AddFile("/dst/a/f1.txt", "old 1", kOld);
  m_mem.AddFile("/src/a/f2.txt", "2", kNew);
  m_mem.AddFile("/src/g1.txt", "g", kNew);
  m_mem.AddFile("/src/b/h1.txt", "h", kNew);
  m_fault.StopOnAttributes("/dst/a/f1.txt");
  AddPair("/src", "/dst");
  AddPair("/src", "/dst");  // never reached

  const std::string strLog = RunLogged();

  // f1 ends the scan of a; the root goes on to its next file g1 and ends there. The
  // copy step then cancels its first file and stops.
  EXPECT_EQ(m_job.m_arrFiles, (std::vector<std::string>{"/src/a/f1.txt", "/src/g1.txt"}));
  EXPECT_EQ(strLog, kFolders + kFiles + Error("Operation canceled", "/dst/a/f1.txt") +
                        "Files-2 Selected-2 Done-0 Errors-1 \r\n");
  EXPECT_EQ(m_mem.Contents("/dst/a/f1.txt"), "old 1");
  EXPECT_EQ(m_host.FocusRequests(), 0);
  EXPECT_EQ(m_job.m_nPhase, PHASE_DONE);
}

TEST_F(RunJobTest, StopDuringFolderCreationStillCreatesThemAll) {
  m_mem.AddFile("/src/p/a.txt", "a", kOld);
  m_mem.AddFile("/src/q/b.txt", "b", kOld);
  m_fault.StopOnCreate("/dst/p");
  AddPair("/src", "/dst");

  const std::string strLog = RunLogged();

  EXPECT_EQ(m_mem.CreatedFolders(), (std::vector<std::string>{"/dst/p", "/dst/q"}));
  EXPECT_EQ(strLog, kFolders + "/dst/p\r\n/dst/q\r\n" + kFiles +
                        Error("Operation canceled", "/dst/p/a.txt") +
                        "Files-2 Selected-2 Done-0 Errors-1 \r\n");
  EXPECT_FALSE(m_mem.Exists("/dst/p/a.txt"));
}

TEST_F(RunJobTest, StopMidFileCancelsItAndEndsTheStep) {
  m_mem.SetChunkSize(4);
  m_mem.AddFile("/src/a.txt", "aaaa", kOld);
  m_mem.AddFile("/src/big.txt", "0123456789abcdefghij", kNew);
  m_mem.AddFile("/dst/big.txt", "older", kOld);
  m_mem.AddFile("/src/c.txt", "c", kOld);
  // a.txt reports at 0 and 4; big.txt at 0, 4, 8: stop there.
  m_fault.StopAtProgressReport(5);
  AddPair("/src", "/dst");

  const std::string strLog = RunLogged();

  EXPECT_EQ(strLog, kFolders + kFiles + "/dst/a.txt\r\n" + Error("Operation canceled", "/dst/big.txt") +
                        "Files-3 Selected-3 Done-1 Errors-1 \r\n");
  EXPECT_EQ(m_mem.Contents("/dst/big.txt"), "older");
  EXPECT_EQ(m_job.m_nBytesDone, 4.0);
  EXPECT_FALSE(m_mem.Exists("/dst/c.txt"));
}

TEST_F(RunJobTest, StopBetweenPairsSkipsTheRestButStillClosesWithAutoExit) {
  m_mem.AddFile("/src/kept.txt", "k", kOld);
  m_mem.AddFile("/dst/kept.txt", "k", kNew);
  m_mem.AddFile("/src2/x.txt", "x", kOld);
  m_fault.StopOnAttributes("/dst/kept.txt");
  AddPair("/src", "/dst");
  AddPair("/src2", "/dst");
  m_job.m_bAutoExit = true;
  bool bRunningAtClose = true;
  m_host.m_onRequestClose = [&] { bRunningAtClose = m_job.m_bRunning; };

  const std::string strLog = RunLogged();

  EXPECT_EQ(strLog, kFolders + kFiles + "Files-1 Selected-0 Done-0 Errors-0 \r\n");
  EXPECT_FALSE(m_mem.Exists("/dst/x.txt"));
  EXPECT_EQ(m_host.FocusRequests(), 0);
  EXPECT_EQ(m_host.CloseRequests(), 1);
  EXPECT_FALSE(bRunningAtClose);  // the close never meets a run that is still active
}

TEST_F(RunJobTest, NoPairsGiveTheSummaryAlone) {
  EXPECT_EQ(RunLogged(), "Files-0 Selected-0 Done-0 Errors-0 \r\n");
  EXPECT_EQ(m_job.m_nPhase, PHASE_DONE);
}

TEST_F(RunJobTest, ShowLogOpensTheFinishedLog) {
  m_mem.AddFile("/src/a.txt", "a", kOld);
  AddPair("/src", "/dst");
  m_job.m_bShowLog = true;
  std::string strLogWhenOpened;
  m_host.m_onOpenDocument = [&](const std::string& strPath) {
    EXPECT_FALSE(ReadWholeFile(strPath, &strLogWhenOpened));
  };
  const std::string strLog = RunLogged();
  EXPECT_EQ(m_host.Opened(), std::vector<std::string>{m_dir.Sub("log.txt")});
  EXPECT_EQ(strLogWhenOpened, strLog);
}

TEST_F(RunJobTest, LogThatCannotBeCreatedAsksAndNoRunsNothing) {
  m_mem.AddFile("/src/a.txt", "a", kOld);
  AddPair("/src", "/dst");
  m_job.m_bCreateLog = true;
  m_job.m_strLogFile = m_dir.Sub("missing/log.txt");
  m_host.SetNextAnswer(false);

  m_job.RunJob();

  EXPECT_EQ(m_host.Questions(), std::vector<std::string>{"Can not create Log file continue ?"});
  EXPECT_EQ(m_job.m_nPhase, PHASE_IDLE);
  EXPECT_FALSE(m_job.m_bRunning);
  EXPECT_FALSE(m_mem.Exists("/dst/a.txt"));
  EXPECT_EQ(m_host.FocusRequests(), 0);
}

TEST_F(RunJobTest, LogThatCannotBeCreatedAnsweredYesRunsWithoutLog) {
  m_mem.AddFile("/src/a.txt", "a", kOld);
  AddPair("/src", "/dst");
  m_job.m_bCreateLog = true;
  m_job.m_bShowLog = true;
  m_job.m_strLogFile = m_dir.Sub("missing/log.txt");
  m_host.SetNextAnswer(true);

  m_job.RunJob();

  EXPECT_TRUE(m_mem.Exists("/dst/a.txt"));
  EXPECT_FALSE(m_job.m_bCreateLog);
  EXPECT_TRUE(m_host.Opened().empty());
}

TEST_F(RunJobTest, FailingLogWritesTurnLoggingOffAndTheRunGoesOn) {
  m_mem.AddFile("/src/a/x.txt", "x", kOld);
  m_mem.AddFile("/src/b.txt", "b", kOld);
  AddPair("/src", "/dst");
  m_job.m_bCreateLog = true;
  m_job.m_bShowLog = true;
  m_job.m_strLogFile = "/dev/full";  // every write fails with ENOSPC

  m_job.RunJob();

  ExpectCounters(2, 2, 2, 0);
  EXPECT_TRUE(m_mem.Exists("/dst/a/x.txt"));
  EXPECT_FALSE(m_job.m_fileLog.IsOpen());
  EXPECT_TRUE(m_host.Opened().empty());  // no half-written log is shown
}

TEST_F(RunJobTest, ASecondRunStartsFromZeroAndReplacesTheLog) {
  m_mem.AddFile("/src/a.txt", "a", kOld);
  AddPair("/src", "/dst");
  RunLogged();
  ExpectCounters(1, 1, 1, 0);
  const std::string strLog = RunLogged();
  ExpectCounters(1, 0, 0, 0);
  EXPECT_EQ(strLog, kFolders + kFiles + "Files-1 Selected-0 Done-0 Errors-0 \r\n");
}

}  // namespace
}  // namespace quillmere
