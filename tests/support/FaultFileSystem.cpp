#include "tests/support/FaultFileSystem.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "engine/QuillmereJob.h"

namespace quillmere::test {

struct CFaultFileSystem::SProgressContext {
  CFaultFileSystem* pThis;
  CopyProgressRoutine pfnOriginal;
  void* pOriginalData;
  const SCopyFault* pFault;
  bool bFaulted = false;
};

int CFaultFileSystem::ProgressReports() const {
  std::lock_guard lock(m_mutex);
  return m_nReports;
}

CSysError CFaultFileSystem::GetAttributes(const std::string& strPath, SFileAttr* pAttr) {
  if (!m_strStopOnAttr.empty() && strPath == m_strStopOnAttr) g_bStop = true;
  if (auto it = m_mapFailAttr.find(strPath); it != m_mapFailAttr.end()) {
    return CSysError::FromCode(it->second);
  }
  return m_base.GetAttributes(strPath, pAttr);
}

CSysError CFaultFileSystem::ListFolder(const std::string& strPath, SFolderListing* pListing) {
  if (auto it = m_mapFailList.find(strPath); it != m_mapFailList.end()) {
    return CSysError::FromCode(it->second);
  }
  return m_base.ListFolder(strPath, pListing);
}

CSysError CFaultFileSystem::CreateFolder(const std::string& strPath) {
  if (m_bForbidChanges) ADD_FAILURE() << "folder created: " << strPath;
  if (!m_strStopOnCreate.empty() && strPath == m_strStopOnCreate) g_bStop = true;
  if (auto it = m_mapFailCreate.find(strPath); it != m_mapFailCreate.end()) {
    return CSysError::FromCode(it->second);
  }
  return m_base.CreateFolder(strPath);
}

ECopyAnswer CFaultFileSystem::OnProgress(std::int64_t nTotal, std::int64_t nDone, void* pData) {
  auto* pContext = static_cast<SProgressContext*>(pData);
  CFaultFileSystem* pThis = pContext->pThis;
  {
    std::lock_guard lock(pThis->m_mutex);
    ++pThis->m_nReports;
    if (pThis->m_nReports == pThis->m_nStopAtReport) g_bStop = true;
  }
  if (pContext->pFault != nullptr && nDone >= pContext->pFault->nBytes) {
    pContext->bFaulted = true;
    return ECopyAnswer::Cancel;
  }
  return pContext->pfnOriginal(nTotal, nDone, pContext->pOriginalData);
}

CSysError CFaultFileSystem::CopyFile(const std::string& strSrc, const std::string& strDst,
                                     CopyProgressRoutine pfnProgress, void* pData) {
  if (m_bForbidChanges) ADD_FAILURE() << "file copied: " << strDst;
  auto it = m_mapFailCopy.find(strDst);
  SProgressContext context{this, pfnProgress, pData,
                           it == m_mapFailCopy.end() ? nullptr : &it->second};
  CSysError err = m_base.CopyFile(strSrc, strDst, &OnProgress, &context);
  if (context.bFaulted) return CSysError::FromCode(context.pFault->nErrno);
  return err;
}

}  // namespace quillmere::test
