#include <string>

#include "engine/QuillmereJob.h"

namespace quillmere {

void CQuillmereJob::WriteLog(const std::string& strLine) {
  if (!m_bCreateLog) return;
  std::string strBytes;
  strBytes.reserve(strLine.size() + 2);
  strBytes = strLine;
  strBytes += "\r\n";
  // One write per line, so the file on disk is complete up to the last line written.
  if (m_fileLog.Write(strBytes)) {
    // A full or vanished disk: keep the run going, without a log.
    m_bCreateLog = false;
    m_fileLog.Close();
  }
}

void CQuillmereJob::ReportError(const std::string& strPath, const CSysError& err) {
  if (!m_bCreateLog) return;
  // The system's text ends with CR LF, so the entry takes two lines.
  WriteLog("----------------ERROR: " + err.Text() + "     PATH=" + strPath);
}

std::string SummaryText(std::int32_t nFiles, std::int32_t nSelected, std::int32_t nDone,
                        std::int32_t nErrors) {
  return "Files-" + std::to_string(nFiles) + " Selected-" + std::to_string(nSelected) +
         " Done-" + std::to_string(nDone) + " Errors-" + std::to_string(nErrors) + " ";
}

}  // namespace quillmere
