#include "tests/support/MemFileSystem.h"

#include <cerrno>

namespace quillmere::test {

CMemFileSystem::CMemFileSystem() {
  SNode& root = m_mapNodes["/"];
  root.eKind = EFileKind::Folder;
  root.nIno = m_nNextIno++;
}

std::string CMemFileSystem::Clean(const std::string& strPath) {
  std::string str = strPath;
  while (str.size() > 1 && str.back() == '/') str.pop_back();
  return str;
}

std::string CMemFileSystem::Parent(const std::string& strPath) {
  size_t nSlash = strPath.rfind('/');
  if (nSlash == std::string::npos || nSlash == 0) return "/";
  return strPath.substr(0, nSlash);
}

std::string CMemFileSystem::Name(const std::string& strPath) {
  return strPath.substr(strPath.rfind('/') + 1);
}

CMemFileSystem::SNode& CMemFileSystem::AddNodeLocked(const std::string& strPath,
                                                     EFileKind eKind) {
  auto [it, bInserted] = m_mapNodes.try_emplace(strPath);
  if (bInserted) {
    it->second.nIno = m_nNextIno++;
    m_mapNodes[Parent(strPath)].arrChildren.push_back(Name(strPath));
  }
  it->second.eKind = eKind;
  return it->second;
}

void CMemFileSystem::AddFolderLocked(const std::string& strPath) {
  if (strPath == "/" || m_mapNodes.count(strPath) != 0) return;
  AddFolderLocked(Parent(strPath));
  AddNodeLocked(strPath, EFileKind::Folder);
}

void CMemFileSystem::AddFolder(const std::string& strPath) {
  std::lock_guard lock(m_mutex);
  AddFolderLocked(Clean(strPath));
}

void CMemFileSystem::AddFile(const std::string& strPath, const std::string& strContents,
                             SFileTime tWrite, bool bReadOnly) {
  std::lock_guard lock(m_mutex);
  const std::string str = Clean(strPath);
  AddFolderLocked(Parent(str));
  SNode& node = AddNodeLocked(str, EFileKind::File);
  node.strContents = strContents;
  node.tWrite = tWrite;
  node.bReadOnly = bReadOnly;
}

void CMemFileSystem::AddSpecial(const std::string& strPath) {
  std::lock_guard lock(m_mutex);
  const std::string str = Clean(strPath);
  AddFolderLocked(Parent(str));
  AddNodeLocked(str, EFileKind::Special);
}

bool CMemFileSystem::Exists(const std::string& strPath) const {
  std::lock_guard lock(m_mutex);
  return m_mapNodes.count(Clean(strPath)) != 0;
}

std::string CMemFileSystem::Contents(const std::string& strPath) const {
  std::lock_guard lock(m_mutex);
  auto it = m_mapNodes.find(Clean(strPath));
  return it == m_mapNodes.end() ? std::string() : it->second.strContents;
}

SFileTime CMemFileSystem::WriteTime(const std::string& strPath) const {
  std::lock_guard lock(m_mutex);
  auto it = m_mapNodes.find(Clean(strPath));
  return it == m_mapNodes.end() ? SFileTime() : it->second.tWrite;
}

std::vector<std::string> CMemFileSystem::CreatedFolders() const {
  std::lock_guard lock(m_mutex);
  return m_arrCreated;
}

std::vector<std::string> CMemFileSystem::CopiedFiles() const {
  std::lock_guard lock(m_mutex);
  return m_arrCopied;
}

CSysError CMemFileSystem::GetAttributes(const std::string& strPath, SFileAttr* pAttr) {
  std::lock_guard lock(m_mutex);
  auto it = m_mapNodes.find(Clean(strPath));
  if (strPath.empty() || it == m_mapNodes.end()) return CSysError::FromCode(ENOENT);
  const SNode& node = it->second;
  pAttr->eKind = node.eKind;
  pAttr->nSize = static_cast<std::int64_t>(node.strContents.size());
  pAttr->tWrite = node.tWrite;
  pAttr->id = {1, node.nIno};
  return CSysError();
}

CSysError CMemFileSystem::ListFolder(const std::string& strPath, SFolderListing* pListing) {
  std::lock_guard lock(m_mutex);
  pListing->arrEntries.clear();
  auto it = m_mapNodes.find(Clean(strPath));
  if (it == m_mapNodes.end()) return CSysError::FromCode(ENOENT);
  if (it->second.eKind != EFileKind::Folder) return CSysError::FromCode(ENOTDIR);
  pListing->id = {1, it->second.nIno};
  const std::string strBase = Clean(strPath) == "/" ? "" : Clean(strPath);
  for (const std::string& strName : it->second.arrChildren) {
    pListing->arrEntries.push_back({strName, m_mapNodes.at(strBase + "/" + strName).eKind});
  }
  return CSysError();
}

CSysError CMemFileSystem::CreateFolder(const std::string& strPath) {
  std::lock_guard lock(m_mutex);
  const std::string str = Clean(strPath);
  if (m_mapNodes.count(str) != 0) return CSysError::FromCode(EEXIST);
  auto itParent = m_mapNodes.find(Parent(str));
  if (itParent == m_mapNodes.end()) return CSysError::FromCode(ENOENT);
  if (itParent->second.eKind != EFileKind::Folder) return CSysError::FromCode(ENOTDIR);
  AddNodeLocked(str, EFileKind::Folder);
  m_arrCreated.push_back(strPath);
  return CSysError();
}

CSysError CMemFileSystem::CopyFile(const std::string& strSrc, const std::string& strDst,
                                   CopyProgressRoutine pfnProgress, void* pData) {
  SNode src;
  {
    std::lock_guard lock(m_mutex);
    auto it = m_mapNodes.find(Clean(strSrc));
    if (it == m_mapNodes.end()) return CSysError::FromCode(ENOENT);
    src = it->second;
    if (src.eKind == EFileKind::Folder) return CSysError::FromCode(EISDIR);
    if (src.eKind == EFileKind::Special) return CSysError::FromCode(EOPNOTSUPP);
    auto itParent = m_mapNodes.find(Parent(Clean(strDst)));
    if (itParent == m_mapNodes.end()) return CSysError::FromCode(ENOENT);
    if (itParent->second.eKind != EFileKind::Folder) return CSysError::FromCode(ENOTDIR);
    auto itDst = m_mapNodes.find(Clean(strDst));
    if (itDst != m_mapNodes.end()) {
      if (itDst->second.eKind == EFileKind::Folder) return CSysError::FromCode(EISDIR);
      if (itDst->second.bReadOnly) return CSysError::FromCode(EACCES);
    }
  }
  // Progress runs without the lock, as a real copy reports from the copying thread.
  const auto nSize = static_cast<std::int64_t>(src.strContents.size());
  std::int64_t nDone = 0;
  if (pfnProgress(nSize, nDone, pData) == ECopyAnswer::Cancel) return CSysError::FromCode(ECANCELED);
  while (nDone < nSize) {
    nDone = std::min(nSize, nDone + m_nChunk);
    if (pfnProgress(nSize, nDone, pData) == ECopyAnswer::Cancel) {
      return CSysError::FromCode(ECANCELED);
    }
  }
  std::lock_guard lock(m_mutex);
  SNode& dst = AddNodeLocked(Clean(strDst), EFileKind::File);
  dst.strContents = src.strContents;
  dst.tWrite = src.tWrite;
  dst.bReadOnly = src.bReadOnly;
  m_arrCopied.push_back(strDst);
  return CSysError();
}

}  // namespace quillmere::test
