#include <sys/stat.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/QuillmereJob.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

namespace quillmere {
namespace {

using test::CRecordingHost;
using Message = CRecordingHost::SMessage;

const Message kCannotOpen{"Can not open config file", EMsgIcon::None};
const Message kNoSource{
    "Config File ERROR\r\n COPYFROM are not specified or specified befory COPYTO !",
    EMsgIcon::Error};
Message LineError(int nLine) {
  return {"Config file error line " + std::to_string(nLine), EMsgIcon::None};
}

struct SPair {
  std::string strFrom;
  std::string strTo;
  std::vector<std::string> arrFilters;
  bool bSubfolders;
  bool bInverse;
};

struct SOptions {
  bool bCreateLog = false;
  bool bShowLog = false;
  bool bAutoRun = false;
  bool bAutoExit = false;
  std::string strLogFile = "QuillmereLog.txt";
};

// What the job holds before each load, so that a row shows whether the load reset
// the options or left them alone.
const SOptions kStale{true, true, true, true, "stale.txt"};

enum class EInput { Bytes, Missing, Folder, Fifo };

struct SCase {
  const char* pszName;
  std::string strBytes;
  bool bResult;
  std::optional<Message> message;
  std::vector<SPair> arrPairs;
  SOptions options;
  EInput eInput = EInput::Bytes;
};

const std::vector<std::string> kStar{"*"};

const SCase kCases[] = {
    {"worked_example",
     "FILTER=*.doc;*.txt\r\nCOPYFROM=C:\\Data\r\nCOPYTO=D:\\Backup\\Data\r\n"
     "PROCESSSUBFOLDERS=FALSE\r\nCOPYTO=E:\\Copy\r\nCREATELOG=TRUE\r\nShowlog=TRUE\r\n",
     false, LineError(7),
     {{"C:\\Data", "D:\\Backup\\Data", {"*.doc", "*.txt"}, true, false},
      {"C:\\Data", "E:\\Copy", {"*.doc", "*.txt"}, false, false}},
     {true, false, false, false, "QuillmereLog.txt"}},
    {"empty_file", "", true, std::nullopt, {}, {}},
    {"every_option_set",
     "CREATELOG=TRUE\r\nSHOWLOG=TRUE\r\nAUTORUN=TRUE\r\nAUTOEXIT=TRUE\r\nLOGFILE=/var/log/q.txt",
     true, std::nullopt, {}, {true, true, true, true, "/var/log/q.txt"}},
    {"last_line_without_line_end", "COPYFROM=/src\r\nCOPYTO=/dst", true, std::nullopt,
     {{"/src", "/dst", kStar, true, false}}, {}},
    {"crlf_at_end_adds_no_line", "COPYFROM=/src\r\nCOPYTO=/dst\r\n", true, std::nullopt,
     {{"/src", "/dst", kStar, true, false}}, {}},
    {"empty_line_at_end_fails", "COPYFROM=/src\r\nCOPYTO=/dst\r\n\r\n", false, LineError(3),
     {{"/src", "/dst", kStar, true, false}}, {}},
    {"lone_lf_ends_lines", "COPYFROM=/src\nCOPYTO=/dst\nCREATELOG=TRUE\n", true, std::nullopt,
     {{"/src", "/dst", kStar, true, false}}, {true, false, false, false, "QuillmereLog.txt"}},
    {"lone_cr_ends_lines", "COPYFROM=/src\rCOPYTO=/dst", true, std::nullopt,
     {{"/src", "/dst", kStar, true, false}}, {}},
    {"lf_then_cr_is_two_line_ends", "COPYFROM=/src\n\rCOPYTO=/dst", false, LineError(2), {}, {}},
    {"blank_before_equals_is_part_of_key", "CREATELOG =TRUE", false, LineError(1), {}, {}},
    {"blank_after_value_is_part_of_value", "CREATELOG=TRUE \r\nSHOWLOG= TRUE", true,
     std::nullopt, {}, {}},
    {"blanks_kept_in_paths", "COPYFROM= /my src \r\nCOPYTO=/my dst ", true, std::nullopt,
     {{" /my src ", "/my dst ", kStar, true, false}}, {}},
    {"equals_in_logfile_value_fails", "LOGFILE=/a=b", false, LineError(1), {}, {}},
    {"key_between_last_two_equals", "x=LOGFILE=/tmp/log.txt", true, std::nullopt, {},
     {false, false, false, false, "/tmp/log.txt"}},
    {"last_byte_equals_goes_into_value", "LOGFILE=", false, LineError(1), {}, {}},
    {"empty_logfile_with_line_end", "LOGFILE=\r\n", true, std::nullopt, {},
     {false, false, false, false, ""}},
    {"lower_case_values_do_not_match",
     "PROCESSSUBFOLDERS=false\r\nINVERSEFILTER=true\r\nCREATELOG=true\r\n"
     "COPYFROM=/src\r\nCOPYTO=/dst",
     true, std::nullopt, {{"/src", "/dst", kStar, true, false}}, {}},
    {"empty_subfolders_value_means_on",
     "PROCESSSUBFOLDERS=FALSE\r\nPROCESSSUBFOLDERS=\r\nCOPYFROM=/s\r\nCOPYTO=/d", true,
     std::nullopt, {{"/s", "/d", kStar, true, false}}, {}},
    {"filters_keep_empty_pieces",
     "COPYFROM=/s\r\nFILTER=\r\nCOPYTO=/d1\r\nFILTER=*.a;;*.b\r\nCOPYTO=/d2\r\n"
     "FILTER=;;\r\nCOPYTO=/d3\r\nFILTER=*.a;\r\nCOPYTO=/d4",
     true, std::nullopt,
     {{"/s", "/d1", {""}, true, false},
      {"/s", "/d2", {"*.a", "", "*.b"}, true, false},
      {"/s", "/d3", {"", "", ""}, true, false},
      {"/s", "/d4", {"*.a", ""}, true, false}},
     {}},
    {"settings_carry_over_between_pairs",
     "FILTER=*.txt\r\nINVERSEFILTER=TRUE\r\nCOPYFROM=/s1\r\nCOPYTO=/d1\r\nCOPYTO=/d2\r\n"
     "PROCESSSUBFOLDERS=FALSE\r\nINVERSEFILTER=no\r\nCOPYFROM=/s2\r\nCOPYTO=/d3",
     true, std::nullopt,
     {{"/s1", "/d1", {"*.txt"}, true, true},
      {"/s1", "/d2", {"*.txt"}, true, true},
      {"/s2", "/d3", {"*.txt"}, false, false}},
     {}},
    {"copyto_before_copyfrom", "CREATELOG=TRUE\r\nCOPYTO=/dst\r\nCOPYFROM=/src", false,
     kNoSource, {}, {true, false, false, false, "QuillmereLog.txt"}},
    {"copyfrom_emptied_again",
     "COPYFROM=/src\r\nCOPYTO=/d1\r\nCOPYFROM=\r\nCOPYTO=/d2\r\n", false, kNoSource,
     {{"/src", "/d1", kStar, true, false}}, {}},
    {"empty_copyto_makes_a_pair", "COPYFROM=/src\r\nCOPYTO=\r\n", true, std::nullopt,
     {{"/src", "", kStar, true, false}}, {}},
    {"blank_line_in_the_middle", "COPYFROM=/src\r\nCOPYTO=/dst\r\n\r\nCREATELOG=TRUE\r\n",
     false, LineError(3), {{"/src", "/dst", kStar, true, false}}, {}},
    {"line_without_equals", "CREATELOG=TRUE\r\nCREATELOG\r\n", false, LineError(2), {},
     {true, false, false, false, "QuillmereLog.txt"}},
    {"last_occurrence_wins", "CREATELOG=TRUE\r\nLOGFILE=a\r\nCREATELOG=no\r\nLOGFILE=b", true,
     std::nullopt, {}, {false, false, false, false, "b"}},
    {"missing_file", "", false, kCannotOpen, {}, kStale, EInput::Missing},
    {"folder_as_file", "", false, kCannotOpen, {}, kStale, EInput::Folder},
    {"fifo_as_file", "", false, kCannotOpen, {}, kStale, EInput::Fifo},
};

// Names the row instead of dumping its bytes.
void PrintTo(const SCase& row, std::ostream* pOut) { *pOut << row.pszName; }

class LoadConfigTest : public ::testing::TestWithParam<SCase> {};

TEST_P(LoadConfigTest, LoadsAsTheFileSays) {
  const SCase& row = GetParam();
  test::CScopedTempDir dir;
  std::string strPath = dir.Sub("cfg.txt");
  switch (row.eInput) {
    case EInput::Bytes:
      test::WriteFile(strPath, row.strBytes);
      break;
    case EInput::Missing:
      break;
    case EInput::Folder:
      ASSERT_EQ(::mkdir(strPath.c_str(), 0777), 0);
      break;
    case EInput::Fifo:  // opening it must not wait for a writer
      ASSERT_EQ(::mkfifo(strPath.c_str(), 0666), 0);
      break;
  }

  CRecordingHost host;
  CQuillmereJob job(host);
  // Leave a pair and non-default options from an earlier load behind.
  job.m_strCfgFile = dir.Sub("earlier.txt");
  test::WriteFile(job.m_strCfgFile, "COPYFROM=/old\r\nCOPYTO=/old2");
  ASSERT_TRUE(job.LoadConfig());
  job.m_bCreateLog = kStale.bCreateLog;
  job.m_bShowLog = kStale.bShowLog;
  job.m_bAutoRun = kStale.bAutoRun;
  job.m_bAutoExit = kStale.bAutoExit;
  job.m_strLogFile = kStale.strLogFile;

  job.m_strCfgFile = strPath;
  EXPECT_EQ(job.LoadConfig(), row.bResult);

  std::vector<Message> arrExpected;
  if (row.message) arrExpected.push_back(*row.message);
  EXPECT_EQ(host.Messages(), arrExpected);

  ASSERT_EQ(job.m_arrFolders.size(), row.arrPairs.size());
  for (size_t i = 0; i < row.arrPairs.size(); ++i) {
    SCOPED_TRACE("pair " + std::to_string(i + 1));
    const CFolder& folder = *job.m_arrFolders[i];
    const SPair& pair = row.arrPairs[i];
    EXPECT_EQ(folder.m_strCopyFrom, pair.strFrom);
    EXPECT_EQ(folder.m_strCopyTo, pair.strTo);
    EXPECT_EQ(folder.m_arrFilters, pair.arrFilters);
    EXPECT_EQ(folder.m_bProcessSubfolders, pair.bSubfolders);
    EXPECT_EQ(folder.m_bInverseFilter, pair.bInverse);
  }
  // The current pair is the last one appended, and never one that was deleted.
  const CFolder* pLast = job.m_arrFolders.empty() ? nullptr : job.m_arrFolders.back().get();
  EXPECT_EQ(job.m_pCurFolder, pLast);

  EXPECT_EQ(job.m_bCreateLog, row.options.bCreateLog);
  EXPECT_EQ(job.m_bShowLog, row.options.bShowLog);
  EXPECT_EQ(job.m_bAutoRun, row.options.bAutoRun);
  EXPECT_EQ(job.m_bAutoExit, row.options.bAutoExit);
  EXPECT_EQ(job.m_strLogFile, row.options.strLogFile);
}

INSTANTIATE_TEST_SUITE_P(Rows, LoadConfigTest, ::testing::ValuesIn(kCases),
                         [](const auto& rowInfo) { return std::string(rowInfo.param.pszName); });

TEST(LoadConfigPathTest, DefaultNameIsFoundInTheWorkingFolder) {
  test::CScopedTempDir dir;
  test::WriteFile(dir.Sub("QuillmereCfg.txt"), "COPYFROM=src\r\nCOPYTO=dst");
  test::CScopedChdir chdir(dir.Path());

  CRecordingHost host;
  CQuillmereJob job(host);
  ASSERT_EQ(job.m_strCfgFile, "QuillmereCfg.txt");
  EXPECT_TRUE(job.LoadConfig());
  EXPECT_TRUE(host.Messages().empty());
  ASSERT_EQ(job.m_arrFolders.size(), 1u);
  EXPECT_EQ(job.m_arrFolders[0]->m_strCopyFrom, "src");
}

TEST(LoadConfigPathTest, EditsTakeEffectAtTheNextLoad) {
  test::CScopedTempDir dir;
  CRecordingHost host;
  CQuillmereJob job(host);
  job.m_strCfgFile = dir.Sub("cfg.txt");

  test::WriteFile(job.m_strCfgFile, "COPYFROM=/a\r\nCOPYTO=/b\r\nCOPYTO=/c");
  ASSERT_TRUE(job.LoadConfig());
  ASSERT_EQ(job.m_arrFolders.size(), 2u);

  test::WriteFile(job.m_strCfgFile, "COPYFROM=/x\r\nCOPYTO=/y");
  ASSERT_TRUE(job.LoadConfig());
  ASSERT_EQ(job.m_arrFolders.size(), 1u);
  EXPECT_EQ(job.m_arrFolders[0]->m_strCopyFrom, "/x");
  EXPECT_EQ(job.m_pCurFolder, job.m_arrFolders[0].get());
}

}  // namespace
}  // namespace quillmere
