#include "ui/StatusText.h"

#include <cmath>
#include <cstdio>

#include "engine/QuillmereJob.h"

namespace quillmere {

namespace {

std::string Counters(const SStatusSnapshot& snap, bool bWithDone) {
  if (bWithDone) return SummaryText(snap.nFiles, snap.nSelected, snap.nDone, snap.nErrors);
  char szBuffer[128];
  std::snprintf(szBuffer, sizeof szBuffer, "Files-%d Selected-%d Errors-%d ", snap.nFiles,
                snap.nSelected, snap.nErrors);
  return szBuffer;
}

}  // namespace

SStatusSnapshot TakeStatusSnapshot(const CQuillmereJob& job, std::int64_t tNow) {
  SStatusSnapshot snap;
  snap.nPhase = job.m_nPhase;
  job.CopyCurrent(&snap.strCurSrc, &snap.strCurDst);
  snap.nFiles = job.m_nFiles;
  snap.nSelected = job.m_nSelected;
  snap.nDone = job.m_nDone;
  snap.nErrors = job.m_nErrors;
  snap.dBytesTotal = job.m_nBytesTotal;
  snap.dBytesDone = job.m_nBytesDone;
  snap.dFileBytes = g_dFileBytes;
  snap.tCopyStart = job.m_tCopyStart;
  snap.tNow = tNow;
  return snap;
}

double DoneFraction(const SStatusSnapshot& snap) {
  if (snap.dBytesTotal == 0.0) return 0.0;
  return (snap.dBytesDone + snap.dFileBytes) / snap.dBytesTotal;
}

SStatusView ComputeStatusView(const SStatusSnapshot& snap) {
  SStatusView view;
  switch (snap.nPhase) {
    case PHASE_IDLE:
      view.arrLines = {"Select and Edit config file and Run to start", "F1 for Help"};
      break;
    case PHASE_SCAN:
      view.arrLines = {"Building file list...", "Path:" + snap.strCurSrc,
                       "Path:" + snap.strCurDst, Counters(snap, false)};
      break;
    case PHASE_COPY: {
      const double dFraction = DoneFraction(snap);
      char szBytes[160];
      std::snprintf(szBytes, sizeof szBytes, "Copying %.0f bytes Time remain %s", snap.dFileBytes,
                    FormatRemainingTime(snap.tNow - snap.tCopyStart, dFraction).c_str());
      view.arrLines = {"Copying files", "From:" + snap.strCurSrc, "  To:" + snap.strCurDst,
                       szBytes, Counters(snap, true)};
      // Files that grew after the scan can push the share past the whole.
      view.dFraction = std::isfinite(dFraction) ? std::fmin(std::fmax(dFraction, 0.0), 1.0) : 0.0;
      view.bBar = true;
      view.strPercent = std::to_string(static_cast<int>(view.dFraction * 100.0)) + " % ";
      break;
    }
    default:
      view.arrLines = {"Done: " + Counters(snap, true)};
      view.bSummary = true;
      view.bErrors = snap.nErrors != 0;
      break;
  }
  return view;
}

std::string FormatRemainingTime(std::int64_t nElapsed, double dFraction) {
  if (nElapsed < 0 || !(dFraction > 0.0) || dFraction > 1.0) return std::string();
  // Product first, then the quotient, as the estimate has always been computed.
  const double dRemaining = static_cast<double>(nElapsed) * (1.0 - dFraction) / dFraction;
  if (!std::isfinite(dRemaining) || dRemaining >= 9.2e18) return std::string();
  const auto nRemaining = static_cast<std::int64_t>(dRemaining);
  const std::int64_t nHours = nRemaining / 3600;
  const std::int64_t nMinutes = (nRemaining / 60) % 60;
  const std::int64_t nSeconds = nRemaining % 60;
  char szBuffer[64];
  if (nHours != 0) {
    std::snprintf(szBuffer, sizeof szBuffer, "%lld hr %lld min ", static_cast<long long>(nHours),
                  static_cast<long long>(nMinutes));
  } else if (nMinutes != 0) {
    std::snprintf(szBuffer, sizeof szBuffer, "%lld min ", static_cast<long long>(nMinutes));
  } else {
    std::snprintf(szBuffer, sizeof szBuffer, "%lld sec", static_cast<long long>(nSeconds));
  }
  return szBuffer;
}

}  // namespace quillmere
