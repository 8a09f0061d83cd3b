#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/Path.h"
#include "engine/QuillmereJob.h"

namespace quillmere {

namespace {

// Whose turn it is to query an entry's attributes.
enum : std::uint8_t { kFree, kTaken, kReady };

// What the scan needs of one source folder: its listing, which entries pass the
// filter, and the attributes of the files among them. Either thread may query those
// attributes: each entry is claimed by one of them, queried and marked ready.
struct SFolderScan {
  CSysError errList;
  SFolderListing listing;
  std::vector<char> arrPasses;             // per entry: a file (of any kind) that passes
  std::vector<SAttrResult> arrAttr;        // per entry, for regular files that pass
  std::unique_ptr<std::atomic<std::uint8_t>[]> pState;

  void Prepare(const CQuillmereJob& job) {
    const size_t nEntries = listing.arrEntries.size();
    arrPasses.assign(nEntries, 0);
    arrAttr.resize(nEntries);
    pState = std::make_unique<std::atomic<std::uint8_t>[]>(nEntries);
    for (size_t i = 0; i < nEntries; ++i) {
      const SFolderEntry& entry = listing.arrEntries[i];
      arrPasses[i] = entry.eKind != EFileKind::Folder && job.PassesFilter(entry.strName);
      pState[i].store(arrPasses[i] && entry.eKind == EFileKind::File ? kFree : kReady,
                      std::memory_order_relaxed);
    }
  }

  // Claims the free entries from nFrom on (up to a batch, and up to the first one the
  // other thread has), queries them in one call and marks them ready. Returns where
  // the claimed run ended.
  size_t QueryFrom(IFileSystem& fs, const std::string& strFolder, size_t nFrom) {
    constexpr size_t kBatch = 32;
    std::vector<size_t> arrClaimed;
    std::vector<std::string> arrNames;
    size_t i = nFrom;
    for (; i < listing.arrEntries.size() && arrClaimed.size() < kBatch; ++i) {
      std::uint8_t nExpected = kFree;
      if (!pState[i].compare_exchange_strong(nExpected, kTaken, std::memory_order_acq_rel)) {
        if (nExpected == kReady) continue;
        break;  // the other thread is on it
      }
      arrClaimed.push_back(i);
      arrNames.push_back(listing.arrEntries[i].strName);
    }
    if (arrClaimed.empty()) return i;
    std::vector<SAttrResult> arrResults;
    fs.GetAttributesIn(strFolder, arrNames, &arrResults);
    for (size_t k = 0; k < arrClaimed.size(); ++k) {
      arrAttr[arrClaimed[k]] = std::move(arrResults[k]);
      pState[arrClaimed[k]].store(kReady, std::memory_order_release);
      pState[arrClaimed[k]].notify_all();
    }
    return i;
  }

  // The attributes of entry i, querying them here unless the other thread has.
  const SAttrResult& Attributes(IFileSystem& fs, const std::string& strFolder, size_t i) {
    std::uint8_t nState = pState[i].load(std::memory_order_acquire);
    if (nState == kFree) {
      QueryFrom(fs, strFolder, i);
      nState = pState[i].load(std::memory_order_acquire);
    }
    while (nState != kReady) {
      pState[i].wait(nState, std::memory_order_acquire);
      nState = pState[i].load(std::memory_order_acquire);
    }
    return arrAttr[i];
  }
};

bool Contains(const std::vector<SFileId>& arrIds, const SFileId& id) {
  return std::find(arrIds.begin(), arrIds.end(), id) != arrIds.end();
}

}  // namespace

// Walks the source tree on a second thread, listing each folder ahead of the scan and
// querying the attributes of its files until the scan gets there; from then on both
// threads query, each taking what the other has not. It visits folders in exactly the
// order the scan does and decides the same way which ones to enter, so the scan's
// lists, counters and log stay those of a plain walk. It only reads; the scan alone
// decides and writes.
class CQuillmereJob::CScanPrefetcher {
 public:
  CScanPrefetcher(CQuillmereJob& job, const std::string& strRoot) : m_job(job) {
    m_thread = std::thread([this, strRoot] {
      std::vector<SFileId> arrPath;
      Visit(strRoot, &arrPath);
      std::lock_guard lock(m_mutex);
      m_bFinished = true;
      m_cvReady.notify_one();
    });
  }

  ~CScanPrefetcher() { Abandon(); }

  CScanPrefetcher(const CScanPrefetcher&) = delete;
  CScanPrefetcher& operator=(const CScanPrefetcher&) = delete;

  // The next folder of the walk. Once abandoned, the scan lists folders itself.
  std::shared_ptr<SFolderScan> Next(const std::string& strFolder) {
    if (!m_bAbandoned) {
      std::unique_lock lock(m_mutex);
      m_cvReady.wait(lock, [this] { return !m_queue.empty() || m_bFinished; });
      // The walk always produces what the scan asks for; listing directly when it has
      // nothing left only guards against waiting forever.
      if (!m_queue.empty()) {
        std::shared_ptr<SFolderScan> pScan = std::move(m_queue.front());
        m_queue.pop_front();
        m_nQueuedEntries -= pScan->listing.arrEntries.size();
        m_cvRoom.notify_one();
        return pScan;
      }
    }
    auto pScan = std::make_shared<SFolderScan>();
    pScan->errList = m_job.m_fs.ListFolder(strFolder, &pScan->listing);
    if (!pScan->errList) pScan->Prepare(m_job);
    return pScan;
  }

  // Stops the thread; used when the scan leaves the planned walk (a stop request).
  void Abandon() {
    if (m_bAbandoned) return;
    m_bAbandoned = true;
    {
      std::lock_guard lock(m_mutex);  // so that a waiting Push cannot miss it
      m_bQuit = true;
    }
    m_cvRoom.notify_all();
    m_thread.join();
  }

 private:
  // Bounds the memory the walk may run ahead by.
  static constexpr size_t kMaxQueuedEntries = 32 * 1024;

  // Returns false when told to quit.
  bool Visit(const std::string& strFolder, std::vector<SFileId>* pPath) {
    if (m_bQuit) return false;
    auto pScan = std::make_shared<SFolderScan>();
    pScan->errList = m_job.m_fs.ListFolder(strFolder, &pScan->listing);
    const bool bEnter = !pScan->errList && !(pScan->listing.id == m_job.m_idDstRoot) &&
                        !Contains(*pPath, pScan->listing.id);
    if (bEnter) pScan->Prepare(m_job);
    if (!Push(pScan)) return false;
    if (!bEnter) return true;
    // The scan may already be working on this folder; query whatever it has not taken.
    for (size_t i = 0; i < pScan->listing.arrEntries.size();) {
      if (m_bQuit) return false;
      i = std::max(i + 1, pScan->QueryFrom(m_job.m_fs, strFolder, i));
    }
    if (!m_job.m_pCurFolder->m_bProcessSubfolders) return true;
    pPath->push_back(pScan->listing.id);
    for (const SFolderEntry& entry : pScan->listing.arrEntries) {
      if (entry.eKind != EFileKind::Folder) continue;
      if (!Visit(JoinPath(strFolder, entry.strName), pPath)) return false;
    }
    pPath->pop_back();
    return true;
  }

  bool Push(std::shared_ptr<SFolderScan> pScan) {
    std::unique_lock lock(m_mutex);
    m_cvRoom.wait(lock, [this] {
      return m_bQuit || m_queue.empty() || m_nQueuedEntries < kMaxQueuedEntries;
    });
    if (m_bQuit) return false;
    m_nQueuedEntries += pScan->listing.arrEntries.size();
    m_queue.push_back(std::move(pScan));
    m_cvReady.notify_one();
    return true;
  }

  CQuillmereJob& m_job;
  std::mutex m_mutex;
  std::condition_variable m_cvReady;
  std::condition_variable m_cvRoom;
  std::deque<std::shared_ptr<SFolderScan>> m_queue;
  size_t m_nQueuedEntries = 0;
  std::atomic<bool> m_bQuit{false};
  bool m_bFinished = false;
  bool m_bAbandoned = false;  // scan thread only
  std::thread m_thread;
};

bool CQuillmereJob::ScanFolder(const std::string& strFolder) {
  m_arrScanPath.clear();
  SFileAttr attrDstRoot;
  m_idDstRoot.reset();
  if (!m_fs.GetAttributes(m_strDst, &attrDstRoot)) m_idDstRoot = attrDstRoot.id;
  CScanPrefetcher prefetcher(*this, strFolder);
  return ScanOneFolder(strFolder, prefetcher);
}

bool CQuillmereJob::ScanOneFolder(const std::string& strFolder, CScanPrefetcher& prefetcher) {
  const CFolder& folder = *m_pCurFolder;
  const std::string strDstDir = MapToDest(strFolder);
  SFileAttr attrDstDir;
  const bool bDstDirMissing = static_cast<bool>(m_fs.GetAttributes(strDstDir, &attrDstDir));
  bool bAnySelected = false;

  std::shared_ptr<SFolderScan> pScan = prefetcher.Next(strFolder);
  if (pScan->errList) {
    // A folder that cannot be read is a failure, not an empty folder.
    ReportError(strFolder, pScan->errList);
    ++m_nErrors;
    return false;
  }
  if (pScan->listing.id == m_idDstRoot) return false;  // the destination inside the source
  if (Contains(m_arrScanPath, pScan->listing.id)) {
    ReportError(strFolder, CSysError::FromCode(ELOOP));  // a link back to a folder above
    return false;
  }
  m_arrScanPath.push_back(pScan->listing.id);

  // The destination side of every file that may be selected, queried in one go.
  const std::vector<SFolderEntry>& arrEntries = pScan->listing.arrEntries;
  std::vector<SAttrResult> arrDstAttr;
  std::vector<size_t> arrDstIndex(arrEntries.size(), SIZE_MAX);
  if (!bDstDirMissing) {
    std::vector<std::string> arrNames;
    for (size_t i = 0; i < arrEntries.size(); ++i) {
      if (pScan->arrPasses[i] && arrEntries[i].eKind == EFileKind::File) {
        arrDstIndex[i] = arrNames.size();
        arrNames.push_back(arrEntries[i].strName);
      }
    }
    m_fs.GetAttributesIn(strDstDir, arrNames, &arrDstAttr);
  }

  for (size_t i = 0; i < arrEntries.size(); ++i) {
    const SFolderEntry& entry = arrEntries[i];
    const std::string strPath = JoinPath(strFolder, entry.strName);
    SetCurSrc(strPath);
    if (entry.eKind == EFileKind::Folder) {
      if (folder.m_bProcessSubfolders && ScanOneFolder(strPath, prefetcher)) bAnySelected = true;
      continue;
    }
    ++m_nFiles;
    if (pScan->arrPasses[i]) {
      // The same path MapToDest gives, built from the folder's.
      const std::string strDst = JoinPath(strDstDir, entry.strName);
      SetCurDst(strDst);
      SFileAttr attrSrc;
      CSysError errSrc;
      if (entry.eKind == EFileKind::Special) {
        errSrc = CSysError::FromCode(EOPNOTSUPP);  // never opened: it could block or never end
      } else {
        const SAttrResult& result = pScan->Attributes(m_fs, strFolder, i);
        errSrc = result.err;
        attrSrc = result.attr;
      }
      if (!errSrc && attrSrc.eKind == EFileKind::Special) errSrc = CSysError::FromCode(EOPNOTSUPP);
      if (errSrc) {
        ReportError(strPath, errSrc);
        if (entry.eKind != EFileKind::Special) ++m_nErrors;
        continue;
      }
      // A missing destination folder, or a destination file that is missing or
      // unreadable, selects the file; otherwise only a strictly newer source does.
      const bool bSelected = bDstDirMissing || arrDstAttr[arrDstIndex[i]].err ||
                             attrSrc.tWrite > arrDstAttr[arrDstIndex[i]].attr.tWrite;
      if (bSelected) {
        m_arrFiles.push_back(strPath);
        bAnySelected = true;
        ++m_nSelected;
        m_nBytesTotal = m_nBytesTotal + static_cast<double>(attrSrc.nSize);
      }
    }
    if (g_bStop) {
      // The rest of the walk is no longer the planned one; list the way out directly.
      prefetcher.Abandon();
      m_arrScanPath.pop_back();
      return false;
    }
  }
  m_arrScanPath.pop_back();
  if (bDstDirMissing && bAnySelected) m_arrDirs.push_back(strDstDir);
  return bAnySelected;
}

std::string CQuillmereJob::MapToDest(const std::string& strPath) const {
  // The relative part starts after the root and its "/"; the root "/" has it built in.
  const size_t nRootLen = static_cast<size_t>(std::max<std::int32_t>(m_nSrcRootLen, 0));
  const bool bRootEndsWithSlash =
      nRootLen > 0 && nRootLen <= m_strSrc.size() && m_strSrc[nRootLen - 1] == '/';
  const size_t nSkip = nRootLen + (bRootEndsWithSlash ? 0 : 1);
  return JoinPath(m_strDst, strPath.size() > nSkip ? strPath.substr(nSkip) : std::string());
}

bool CQuillmereJob::PassesFilter(const std::string& strName) const {
  const CFolder& folder = *m_pCurFolder;
  for (const std::string& strPattern : folder.m_arrFilters) {
    if (strPattern.empty()) continue;  // an empty piece neither admits nor excludes
    if (MatchPattern(strName, strPattern)) return !folder.m_bInverseFilter;
  }
  return folder.m_bInverseFilter;
}

bool MatchPattern(const std::string& strName, const std::string& strPattern) {
  const size_t nNameLen = strName.size();
  const size_t nPatLen = strPattern.size();
  auto patAt = [&](size_t i) { return i < nPatLen ? strPattern[i] : '\0'; };
  if (nNameLen == 0) return false;

  size_t n = 0;
  size_t p = 0;
  if (patAt(0) == '*') {
    if (nPatLen == 1) return true;
    p = 1;
  } else {
    // The literal head, up to the first "*".
    size_t i = 0;
    while (i < nNameLen && i < nPatLen) {
      if (strName[i] != strPattern[i]) return false;
      ++i;
      if (patAt(i) == '*') break;
    }
    if (patAt(i) == '*' && i + 1 == nPatLen) return true;
    if (i == nNameLen) return i == nPatLen;
    if (i == nPatLen) return false;
    n = i;
    p = i + 1;
  }

  // Each piece after a "*": find its first character, then see how far it agrees.
  for (;;) {
    const char c = strPattern[p];  // literal, even when it is "*"
    while (n < nNameLen && strName[n] != c) ++n;
    if (n == nNameLen) return false;
    size_t k = 0;
    while (n + k < nNameLen && p + k < nPatLen && strName[n + k] == strPattern[p + k]) ++k;
    if (n + k == nNameLen) {
      return p + k == nPatLen || (patAt(p + k) == '*' && p + k + 1 == nPatLen);
    }
    if (patAt(p + k) == '*') {
      n += k;
      p += k + 1;
      if (p == nPatLen) return true;
    } else {
      ++n;
    }
  }
}

}  // namespace quillmere
