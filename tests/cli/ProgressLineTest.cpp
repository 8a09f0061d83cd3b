#include <string>

#include <gtest/gtest.h>

#include "cli/ProgressLine.h"
#include "engine/QuillmereJob.h"

namespace quillmere {
namespace {

size_t Chars(const std::string& str) {
  size_t n = 0;
  for (char c : str) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

TEST(ProgressLineTest, FitsTheTerminalAndKeepsThePathsEnd) {
  SStatusSnapshot snap;
  snap.nPhase = PHASE_COPY;
  snap.strCurSrc = "/home/ann/Bilder/Grüße aus München/Überraschung-2026.jpg";
  snap.nFiles = 12;
  snap.nDone = 3;
  snap.dBytesTotal = 100.0;
  snap.dBytesDone = 50.0;
  snap.tCopyStart = 100;
  snap.tNow = 110;

  const std::string strWide = ProgressLine(snap, 200);
  EXPECT_EQ(strWide,
            "Copying [##########----------]  50 % left 10 sec "
            "Files-12 Selected-0 Done-3 Errors-0 " + snap.strCurSrc);

  for (int nColumns : {120, 100, 90, 70, 40, 5}) {
    SCOPED_TRACE(nColumns);
    const std::string strLine = ProgressLine(snap, nColumns);
    EXPECT_LE(Chars(strLine), static_cast<size_t>(nColumns));
    // Never a broken UTF-8 sequence at the cut.
    EXPECT_NE(static_cast<unsigned char>(strLine[strLine.size() - 1]) & 0xC0, 0xC0u);
  }
  const std::string strNarrow = ProgressLine(snap, 120);  // room for part of the path
  const std::string strTail = "...us München/Überraschung-2026.jpg";
  ASSERT_GE(strNarrow.size(), strTail.size());
  EXPECT_EQ(strNarrow.substr(strNarrow.size() - strTail.size()), strTail);

  snap.nPhase = PHASE_SCAN;
  EXPECT_EQ(ProgressLine(snap, 200),
            "Building file list... Files-12 Selected-0 Errors-0 " + snap.strCurSrc);
  snap.nPhase = PHASE_DONE;
  EXPECT_EQ(ProgressLine(snap, 200), "");
}

}  // namespace
}  // namespace quillmere
