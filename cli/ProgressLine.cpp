#include "cli/ProgressLine.h"

#include <cstdio>

#include "engine/QuillmereJob.h"

namespace quillmere {

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t CountChars(const std::string& str) {
  size_t n = 0;
  for (char c : str) n += IsContinuationByte(c) ? 0 : 1;
  return n;
}

// The last nChars characters of str, with "..." in front when it had to be cut.
std::string Tail(const std::string& str, size_t nChars) {
  if (CountChars(str) <= nChars) return str;
  if (nChars <= 3) return std::string(nChars, '.');
  size_t nKeep = nChars - 3;
  size_t nPos = str.size();
  while (nPos > 0 && nKeep > 0) {
    --nPos;
    if (!IsContinuationByte(str[nPos])) --nKeep;
  }
  return "..." + str.substr(nPos);
}

// The first nChars characters of str.
std::string Head(const std::string& str, size_t nChars) {
  size_t nPos = 0;
  size_t nCount = 0;
  while (nPos < str.size()) {
    if (!IsContinuationByte(str[nPos])) {
      if (nCount == nChars) break;
      ++nCount;
    }
    ++nPos;
  }
  return str.substr(0, nPos);
}

}  // namespace

std::string ProgressLine(const SStatusSnapshot& snap, int nColumns) {
  if (nColumns <= 0) return std::string();
  if (snap.nPhase != PHASE_SCAN && snap.nPhase != PHASE_COPY) return std::string();
  const SStatusView view = ComputeStatusView(snap);
  std::string strFront;
  if (snap.nPhase == PHASE_SCAN) {
    strFront = view.arrLines[0] + " " + view.arrLines[3];  // phase and counters
  } else {
    constexpr int kBarWidth = 20;
    const int nFilled = static_cast<int>(view.dFraction * kBarWidth);
    const std::string strLeft =
        FormatRemainingTime(snap.tNow - snap.tCopyStart, DoneFraction(snap));
    char szBuffer[64];
    std::snprintf(szBuffer, sizeof szBuffer, "] %3d %% ", static_cast<int>(view.dFraction * 100.0));
    strFront = "Copying [" + std::string(static_cast<size_t>(nFilled), '#') +
               std::string(static_cast<size_t>(kBarWidth - nFilled), '-') + szBuffer +
               (strLeft.empty() ? "" : "left " + strLeft + " ") + view.arrLines[4];
  }
  const std::string& strPath = snap.strCurSrc;
  const size_t nWidth = static_cast<size_t>(nColumns);
  const size_t nFront = CountChars(strFront);
  if (nFront >= nWidth) return Head(strFront, nWidth);
  return strFront + Tail(strPath, nWidth - nFront);
}

}  // namespace quillmere
