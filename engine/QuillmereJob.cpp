#include "engine/QuillmereJob.h"

namespace quillmere {

std::atomic<bool> g_bStop{false};
std::atomic<double> g_dFileBytes{0.0};

CQuillmereJob::CQuillmereJob(IHost& host, IFileSystem& fs, IClock& clock)
    : m_host(host), m_fs(fs), m_clock(clock) {
  g_bStop = false;
  g_dFileBytes = 0.0;
}

CQuillmereJob::~CQuillmereJob() = default;

void CQuillmereJob::FreeFolders() {
  // The current pair points into the list; it must not outlive it.
  m_pCurFolder = nullptr;
  m_arrFolders.clear();
  m_arrFolders.shrink_to_fit();
}

void CQuillmereJob::SetCurSrc(const std::string& strSrc) {
  std::lock_guard lock(m_csCurrent);
  m_strCurSrc = strSrc;
}

void CQuillmereJob::SetCurDst(const std::string& strDst) {
  std::lock_guard lock(m_csCurrent);
  m_strCurDst = strDst;
}

void CQuillmereJob::SetCurrent(const std::string& strSrc, const std::string& strDst) {
  std::lock_guard lock(m_csCurrent);
  m_strCurSrc = strSrc;
  m_strCurDst = strDst;
}

void CQuillmereJob::CopyCurrent(std::string* pstrSrc, std::string* pstrDst) const {
  std::lock_guard lock(m_csCurrent);
  *pstrSrc = m_strCurSrc;
  *pstrDst = m_strCurDst;
}

}  // namespace quillmere
