#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/QuillmereJob.h"
#include "ui/StatusText.h"

namespace quillmere {
namespace {

TEST(FormatRemainingTimeTest, Table) {
  struct SRow {
    const char* pszName;
    std::int64_t nElapsed;
    double dFraction;
    const char* pszText;
  };
  const double kNan = std::numeric_limits<double>::quiet_NaN();
  const SRow kRows[] = {
      {"all_done", 500, 1.0, "0 sec"},
      {"first_second", 0, 0.3, "0 sec"},
      {"one_minute", 60, 0.5, "1 min "},
      {"five_minutes", 100, 0.25, "5 min "},
      {"seconds_only", 59, 0.5, "59 sec"},
      {"one_hour", 3600, 0.5, "1 hr 0 min "},
      {"hour_and_minute", 3700, 0.5, "1 hr 1 min "},
      {"half_day", 45000, 0.5, "12 hr 30 min "},
      {"hours_not_wrapped", 90000, 0.5, "25 hr 0 min "},
      {"truncated_not_rounded", 1, 0.4, "1 sec"},
      {"nothing_done_yet", 10, 0.0, ""},
      {"more_than_counted", 10, 1.5, ""},
      {"clock_set_back", -5, 0.5, ""},
      {"not_a_number", 10, kNan, ""},
      {"out_of_range", std::numeric_limits<std::int64_t>::max(), 1e-300, ""},
  };
  for (const SRow& row : kRows) {
    SCOPED_TRACE(row.pszName);
    EXPECT_EQ(FormatRemainingTime(row.nElapsed, row.dFraction), row.pszText);
  }
}

TEST(StatusViewTest, LinesOfEachPhase) {
  SStatusSnapshot snap;
  snap.strCurSrc = "/src/a.txt";
  snap.strCurDst = "/dst/a.txt";
  snap.nFiles = 25;
  snap.nSelected = 2;
  snap.nDone = 1;
  snap.nErrors = 0;
  snap.dBytesTotal = 1000.0;
  snap.dBytesDone = 400.0;
  snap.dFileBytes = 20.0;
  snap.tCopyStart = 1000;
  snap.tNow = 1020;  // 20 s for 42 %: 27.6 s left

  struct SRow {
    int nPhase;
    std::vector<std::string> arrLines;
  };
  const SRow kRows[] = {
      {PHASE_IDLE, {"Select and Edit config file and Run to start", "F1 for Help"}},
      {PHASE_SCAN,
       {"Building file list...", "Path:/src/a.txt", "Path:/dst/a.txt",
        "Files-25 Selected-2 Errors-0 "}},
      {PHASE_COPY,
       {"Copying files", "From:/src/a.txt", "  To:/dst/a.txt",
        "Copying 20 bytes Time remain 27 sec", "Files-25 Selected-2 Done-1 Errors-0 "}},
      {PHASE_DONE, {"Done: Files-25 Selected-2 Done-1 Errors-0 "}},
  };
  for (const SRow& row : kRows) {
    SCOPED_TRACE(row.nPhase);
    snap.nPhase = row.nPhase;
    const SStatusView view = ComputeStatusView(snap);
    EXPECT_EQ(view.arrLines, row.arrLines);
    EXPECT_EQ(view.bBar, row.nPhase == PHASE_COPY);
    EXPECT_EQ(view.bSummary, row.nPhase == PHASE_DONE);
  }
  snap.nPhase = PHASE_COPY;
  EXPECT_EQ(ComputeStatusView(snap).strPercent, "42 % ");
}

TEST(StatusViewTest, BarIsClampedAndTruncated) {
  struct SRow {
    const char* pszName;
    double dTotal;
    double dDone;
    double dFraction;
    const char* pszPercent;
  };
  const SRow kRows[] = {
      {"nothing_to_copy", 0.0, 0.0, 0.0, "0 % "},
      {"almost", 1000.0, 999.0, 0.999, "99 % "},
      {"all", 1000.0, 1000.0, 1.0, "100 % "},
      {"grew_after_scan", 1000.0, 1500.0, 1.0, "100 % "},
  };
  for (const SRow& row : kRows) {
    SCOPED_TRACE(row.pszName);
    SStatusSnapshot snap;
    snap.nPhase = PHASE_COPY;
    snap.dBytesTotal = row.dTotal;
    snap.dBytesDone = row.dDone;
    const SStatusView view = ComputeStatusView(snap);
    EXPECT_DOUBLE_EQ(view.dFraction, row.dFraction);
    EXPECT_EQ(view.strPercent, row.pszPercent);
  }
}

TEST(StatusViewTest, SummaryTellsWhetherErrorsWereCounted) {
  SStatusSnapshot snap;
  snap.nPhase = PHASE_DONE;
  EXPECT_FALSE(ComputeStatusView(snap).bErrors);
  snap.nErrors = 1;
  EXPECT_TRUE(ComputeStatusView(snap).bErrors);
}

}  // namespace
}  // namespace quillmere
