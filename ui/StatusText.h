#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillmere {

class CQuillmereJob;

// The job state the status display shows, copied at one moment so that everything
// drawn from it fits together.
struct SStatusSnapshot {
  int nPhase = 0;
  std::string strCurSrc;
  std::string strCurDst;
  std::int32_t nFiles = 0;
  std::int32_t nSelected = 0;
  std::int32_t nDone = 0;
  std::int32_t nErrors = 0;
  double dBytesTotal = 0.0;
  double dBytesDone = 0.0;
  double dFileBytes = 0.0;
  std::int64_t tCopyStart = 0;
  std::int64_t tNow = 0;
};

// Reads the job state as the display thread may while a run changes it.
SStatusSnapshot TakeStatusSnapshot(const CQuillmereJob& job, std::int64_t tNow);

// What the status display shows, line by line, before anything is drawn.
struct SStatusView {
  std::vector<std::string> arrLines;  // from the top, one text per 20-pixel line
  bool bBar = false;                  // a progress bar below the lines
  double dFraction = 0.0;             // share of the bar that is done, 0..1
  std::string strPercent;             // the text on the bar, e.g. "42 % "
  bool bSummary = false;              // arrLines[0] is the coloured summary line
  bool bErrors = false;               // the summary counted errors
};

SStatusView ComputeStatusView(const SStatusSnapshot& snap);

// The share of the pair's bytes that is done: 0 while nothing is known.
double DoneFraction(const SStatusSnapshot& snap);

// How long copying the pair will still take, as "1 hr 5 min ", "5 min " or "42 sec",
// from the seconds since copying began and the share done. Empty when no estimate can
// be made: nothing done yet, more done than counted, a clock set back, or a value out
// of range.
std::string FormatRemainingTime(std::int64_t nElapsed, double dFraction);

}  // namespace quillmere
