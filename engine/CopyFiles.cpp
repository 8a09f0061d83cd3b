#include <string>

#include "engine/QuillmereJob.h"

namespace quillmere {

namespace {

// Called after every chunk: publishes the bytes for the panel and answers a stop
// request. Stores one value and reads one flag; nothing else on this path.
ECopyAnswer CopyProgress(std::int64_t /*nTotalSize*/, std::int64_t nTransferred, void* /*pData*/) {
  g_dFileBytes.store(static_cast<double>(nTransferred), std::memory_order_relaxed);
  return g_bStop.load(std::memory_order_relaxed) ? ECopyAnswer::Cancel : ECopyAnswer::Continue;
}

}  // namespace

bool CQuillmereJob::CopyFiles() {
  WriteLog("-----------------------------Copy Files-----------");
  const size_t nFiles = m_arrFiles.size();
  if (!m_bTestMode) {
    // Lets the file system open the next files while one is copied. The list and the
    // roots stay as they are until this step ends.
    m_fs.ExpectCopies(nFiles, [this](size_t i, std::string* pstrSrc, std::string* pstrDst) {
      *pstrSrc = m_arrFiles[i];
      *pstrDst = MapToDest(m_arrFiles[i]);
    });
  }
  struct SEndCopies {
    IFileSystem& fs;
    ~SEndCopies() { fs.EndCopies(); }
  } endCopies{m_fs};

  for (size_t i = 0; i < nFiles; ++i) {
    const std::string& strSrc = m_arrFiles[i];
    const std::string strDst = MapToDest(strSrc);
    SetCurrent(strSrc, strDst);
    if (m_bTestMode) {
      WriteLog(strDst);
    } else {
      // Each file's count starts from nothing, not from the last failed copy's.
      g_dFileBytes = 0.0;
      if (CSysError err = m_fs.CopyFile(strSrc, strDst, &CopyProgress, nullptr)) {
        ReportError(strDst, err);
        ++m_nErrors;
      } else {
        m_nBytesDone = m_nBytesDone + g_dFileBytes;
        g_dFileBytes = 0.0;
        ++m_nDone;
        WriteLog(strDst);
      }
    }
    if (g_bStop) return true;
  }
  return true;
}

}  // namespace quillmere
