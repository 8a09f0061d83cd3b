#include <cerrno>
#include <string>

#include "engine/Path.h"
#include "engine/QuillmereJob.h"

namespace quillmere {

namespace {

// A pair's folder must exist and be a folder; anything else fails the pair.
CSysError CheckFolder(IFileSystem& fs, const std::string& strPath) {
  SFileAttr attr;
  if (CSysError err = fs.GetAttributes(strPath, &attr)) return err;
  if (attr.eKind != EFileKind::Folder) return CSysError::FromCode(ENOTDIR);
  return CSysError();
}

}  // namespace

int CQuillmereJob::RunJob() {
  m_bRunning = true;
  g_bStop = false;

  if (m_bCreateLog) {
    if (m_fileLog.Create(m_strLogFile)) {
      if (!m_host.AskYesNo("Can not create Log file continue ?")) {
        m_bRunning = false;
        return 0;
      }
      m_bCreateLog = false;
    }
  }

  m_nPhase = PHASE_SCAN;
  m_nDone = 0;
  m_nErrors = 0;
  m_nFiles = 0;
  m_nSelected = 0;

  for (size_t i = 0; i < m_arrFolders.size(); ++i) {
    const CFolder& folder = *m_arrFolders[i];
    m_pCurFolder = &folder;
    m_strSrc = NormalizeRoot(folder.m_strCopyFrom);
    m_strDst = NormalizeRoot(folder.m_strCopyTo);
    m_nSrcRootLen = static_cast<std::int32_t>(m_strSrc.size());
    m_arrFiles.clear();
    m_arrDirs.clear();

    // Reported as configured, so the user finds the line in the file.
    if (CSysError err = CheckFolder(m_fs, m_strSrc)) {
      ReportError(folder.m_strCopyFrom, err);
      ++m_nErrors;
    } else if (CSysError errDst = CheckFolder(m_fs, m_strDst)) {
      ReportError(folder.m_strCopyTo, errDst);
      ++m_nErrors;
    } else {
      m_nBytesTotal = 0.0;
      m_nPhase = PHASE_SCAN;
      g_dFileBytes = 0.0;
      m_nBytesDone = 0.0;
      ScanFolder(m_strSrc);
      m_nPhase = PHASE_COPY;
      CreateFolders();
      m_tCopyStart = m_clock.Now();
      CopyFiles();
    }
    if (g_bStop) break;
  }

  if (m_bCreateLog) {
    WriteLog(SummaryText(m_nFiles, m_nSelected, m_nDone, m_nErrors));
    const bool bLogComplete = m_bCreateLog && !m_fileLog.Close();
    if (bLogComplete && m_bShowLog) m_host.OpenDocument(m_strLogFile);
  }
  m_fileLog.Close();  // also when a failed write turned logging off

  if (!g_bStop) m_host.FocusClose();
  m_nPhase = PHASE_DONE;
  const bool bAutoExit = m_bAutoExit;
  m_bRunning = false;
  // Only now: a close handled while the run was still active would ask to stop it.
  if (bAutoExit) m_host.RequestClose();
  return 0;
}

int WorkerThreadProc(CQuillmereJob* pJob) { return pJob->RunJob(); }

}  // namespace quillmere
