#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "engine/QuillmereJob.h"
#include "tests/support/RecordingHost.h"

namespace quillmere {
namespace {

TEST(QuillmereJobTest, StartsIdleWithDefaultNames) {
  g_bStop = true;
  g_dFileBytes = 12.0;
  test::CRecordingHost host;
  CQuillmereJob job(host);
  EXPECT_EQ(job.m_nPhase, PHASE_IDLE);
  EXPECT_FALSE(job.m_bRunning);
  EXPECT_EQ(job.m_strCfgFile, "QuillmereCfg.txt");
  EXPECT_EQ(job.m_strLogFile, "QuillmereLog.txt");
  EXPECT_FALSE(job.m_fileLog.IsOpen());
  // A new job starts without a stale stop request or byte count.
  EXPECT_FALSE(g_bStop);
  EXPECT_EQ(g_dFileBytes, 0.0);
}

TEST(QuillmereJobTest, FreeFoldersEmptiesTheListAndForgetsTheCurrentPair) {
  test::CRecordingHost host;
  CQuillmereJob job(host);
  job.FreeFolders();  // on an empty list: nothing to do
  EXPECT_TRUE(job.m_arrFolders.empty());

  job.m_arrFolders.push_back(std::make_unique<CFolder>());
  job.m_pCurFolder = job.m_arrFolders.back().get();
  job.FreeFolders();
  EXPECT_TRUE(job.m_arrFolders.empty());
  EXPECT_EQ(job.m_pCurFolder, nullptr);
}

// The panel must never pair one file's source with another file's destination.
TEST(QuillmereJobTest, CurrentPathsAreReadAsAPair) {
  test::CRecordingHost host;
  CQuillmereJob job(host);
  job.SetCurrent("src0", "dst0");
  std::atomic<bool> bDone{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) {
      std::string strN = std::to_string(i) + std::string(static_cast<size_t>(i % 64), 'x');
      job.SetCurrent("src" + strN, "dst" + strN);
    }
    bDone = true;
  });
  int nMismatches = 0;
  while (!bDone) {
    std::string strSrc;
    std::string strDst;
    job.CopyCurrent(&strSrc, &strDst);
    if (strSrc.substr(3) != strDst.substr(3)) ++nMismatches;
  }
  writer.join();
  EXPECT_EQ(nMismatches, 0);
}

}  // namespace
}  // namespace quillmere
