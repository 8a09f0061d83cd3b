#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "platform/FileSystem.h"

namespace quillmere {

namespace {

EFileKind KindOf(mode_t nMode) {
  if (S_ISREG(nMode)) return EFileKind::File;
  if (S_ISDIR(nMode)) return EFileKind::Folder;
  return EFileKind::Special;
}

void FillAttr(const struct stat& st, SFileAttr* pAttr) {
  pAttr->eKind = KindOf(st.st_mode);
  pAttr->nSize = static_cast<std::int64_t>(st.st_size);
  pAttr->tWrite = {static_cast<std::int64_t>(st.st_mtim.tv_sec),
                   static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
  pAttr->id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// Closes a descriptor when the scope ends.
class CFd {
 public:
  explicit CFd(int nFd) : m_nFd(nFd) {}
  ~CFd() {
    if (m_nFd >= 0) ::close(m_nFd);
  }
  CFd(const CFd&) = delete;
  CFd& operator=(const CFd&) = delete;
  CFd(CFd&& other) noexcept : m_nFd(other.Release()) {}
  int Get() const { return m_nFd; }
  int Release() {
    int nFd = m_nFd;
    m_nFd = -1;
    return nFd;
  }

 private:
  int m_nFd;
};

// Big enough that a large file moves in few system calls, small enough that progress
// is reported many times a second even on fast disks.
constexpr size_t kCopyChunk = 16 * 1024 * 1024;
constexpr size_t kFallbackBuffer = 1024 * 1024;

std::atomic<unsigned> g_nTempCounter{0};

// The process's file creation mask, read without changing it (umask() would, for a
// moment, for every thread). Nothing is known without /proc.
std::optional<mode_t> CreationMask() {
  static const std::optional<mode_t> s_mask = []() -> std::optional<mode_t> {
    FILE* pFile = std::fopen("/proc/self/status", "re");
    if (pFile == nullptr) return std::nullopt;
    std::optional<mode_t> mask;
    char szLine[256];
    while (std::fgets(szLine, sizeof szLine, pFile) != nullptr) {
      unsigned nMask = 0;
      if (std::sscanf(szLine, "Umask: %o", &nMask) == 1) mask = static_cast<mode_t>(nMask);
    }
    std::fclose(pFile);
    return mask;
  }();
  return s_mask;
}

pid_t ProcessId() {
  static const pid_t s_pid = ::getpid();
  return s_pid;
}

// Refuses to replace what the owner did not let us write: a folder, or a file without
// any write permission bit. Root is refused too: a read-only copy is its owner's choice.
CSysError CheckReplaceable(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return CSysError::FromCode(EISDIR);
  if ((st.st_mode & 0222) == 0) return CSysError::FromCode(EACCES);
  return CSysError();
}

// How a file without a name gets one: 0 not known yet, 1 by its descriptor (needs a
// capability), 2 through /proc, -1 not at all, so files are created with a name.
std::atomic<int> g_nLinkMethod{0};

// The file a new copy is written to before it takes its real name in a destination
// folder: a file without any name where the file system allows it (nothing is left
// behind even by a killed run), else a hidden ".quillmere-*.tmp" file that is removed
// when it never becomes the real file. Works relative to the open folder, so the
// folder's path is walked once.
class CTempOutput {
 public:
  CTempOutput() = default;
  CTempOutput(const CTempOutput&) = delete;
  CTempOutput& operator=(const CTempOutput&) = delete;
  ~CTempOutput() {
    if (m_nFd >= 0) ::close(m_nFd);
    if (!m_strTempName.empty()) ::unlinkat(m_nFolderFd, m_strTempName.c_str(), 0);
  }

  // Opens the folder (O_PATH), for one or several outputs in it.
  static CSysError OpenFolder(const std::string& strFolder, std::shared_ptr<CFd>* ppFolder) {
    const int nFd = ::open(strFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (nFd < 0) return CSysError::FromErrno();
    *ppFolder = std::make_shared<CFd>(nFd);
    return CSysError();
  }

  // Creates the file in the folder with nMode where the creation mask lets it through
  // (ModeIsSet() tells), else with 0600 for the caller to set. With bUnnamedOnly it
  // fails with EOPNOTSUPP rather than create a named file.
  CSysError Open(std::shared_ptr<CFd> pFolder, mode_t nMode, ETempFiles eTempFiles,
                 bool bUnnamedOnly = false) {
    m_pFolder = std::move(pFolder);
    m_nFolderFd = m_pFolder->Get();
    const std::optional<mode_t> mask = CreationMask();
    m_bModeSet = mask && (nMode & *mask) == 0;
    m_nCreateMode = m_bModeSet ? nMode : 0600;
    if (eTempFiles == ETempFiles::UnnamedWherePossible && g_nLinkMethod.load() >= 0) {
      m_nFd = ::openat(m_nFolderFd, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, m_nCreateMode);
      if (m_nFd >= 0) return CSysError();
      // Only "not supported here" leads on to a named file.
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return CSysError::FromErrno();
      }
    }
    if (bUnnamedOnly) return CSysError::FromCode(EOPNOTSUPP);
    return CreateNamed();
  }

  int Fd() const { return m_nFd; }
  bool ModeIsSet() const { return m_bModeSet; }
  // True when the file could not be given a name because this system cannot link a
  // file without one: write it again with Open, which then creates a named file.
  bool Unnameable() const { return m_bUnnameable; }

  // Gives the complete file the name strName in the folder, replacing an older copy
  // only where CheckReplaceable allows it.
  CSysError Publish(const std::string& strName) {
    if (m_strTempName.empty()) {
      // Without a name: a new file is linked to its name directly.
      CSysError err = LinkTo(strName);
      if (!err) return CloseFile();
      if (err.Code() != EEXIST) return err;
      if (CSysError errCheck = CheckExisting(strName)) return errCheck;
      for (int nTry = 0; nTry < 100 && m_strTempName.empty(); ++nTry) {
        std::string strTemp = NextTempName();
        err = LinkTo(strTemp);
        if (!err) m_strTempName = std::move(strTemp);
        else if (err.Code() != EEXIST) return err;
      }
      if (m_strTempName.empty()) return CSysError::FromCode(EEXIST);
      if (CSysError errClose = CloseFile()) return errClose;
    } else {
      if (CSysError err = CloseFile()) return err;
      // Most copies are new files: taking a free name needs no look at it first.
      if (::renameat2(m_nFolderFd, m_strTempName.c_str(), m_nFolderFd, strName.c_str(),
                      RENAME_NOREPLACE) == 0) {
        m_strTempName.clear();
        return CSysError();
      }
      if (errno != EEXIST && errno != EINVAL && errno != ENOSYS) return CSysError::FromErrno();
      if (CSysError err = CheckExisting(strName)) return err;
    }
    if (::renameat(m_nFolderFd, m_strTempName.c_str(), m_nFolderFd, strName.c_str()) != 0) {
      return CSysError::FromErrno();
    }
    m_strTempName.clear();
    return CSysError();
  }

 private:
  static std::string NextTempName() {
    return ".quillmere-" + std::to_string(ProcessId()) + "-" +
           std::to_string(g_nTempCounter++) + ".tmp";
  }

  CSysError CreateNamed() {
    for (int nTry = 0; nTry < 100; ++nTry) {
      std::string strTemp = NextTempName();
      m_nFd = ::openat(m_nFolderFd, strTemp.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, m_nCreateMode);
      if (m_nFd >= 0) {
        m_strTempName = std::move(strTemp);
        return CSysError();
      }
      if (errno != EEXIST) return CSysError::FromErrno();
    }
    return CSysError::FromCode(EEXIST);
  }

  CSysError CheckExisting(const std::string& strName) {
    struct stat st {};
    if (::fstatat(m_nFolderFd, strName.c_str(), &st, 0) != 0) return CSysError();
    return CheckReplaceable(st);
  }

  // A late write error (a full disk on a network file system) shows up at closing.
  CSysError CloseFile() {
    const int nFd = m_nFd;
    m_nFd = -1;
    if (::close(nFd) != 0 && errno != EINTR) return CSysError::FromErrno();
    return CSysError();
  }

  CSysError LinkTo(const std::string& strName) {
    const int nMethod = g_nLinkMethod.load();
    if (nMethod <= 1) {
      if (::linkat(m_nFd, "", m_nFolderFd, strName.c_str(), AT_EMPTY_PATH) == 0) {
        g_nLinkMethod = 1;
        return CSysError();
      }
      if (errno != ENOENT && errno != EPERM) return CSysError::FromErrno();
    }
    char szProc[64];
    std::snprintf(szProc, sizeof szProc, "/proc/self/fd/%d", m_nFd);
    if (::linkat(AT_FDCWD, szProc, m_nFolderFd, strName.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      g_nLinkMethod = 2;
      return CSysError();
    }
    CSysError err = CSysError::FromErrno();
    if (err.Code() == ENOENT || err.Code() == EPERM) {
      g_nLinkMethod = -1;
      m_bUnnameable = true;
    }
    return err;
  }

  std::shared_ptr<CFd> m_pFolder;
  int m_nFolderFd = -1;
  int m_nFd = -1;
  std::string m_strTempName;  // empty while the file has no name, or has its real one
  mode_t m_nCreateMode = 0600;
  bool m_bModeSet = false;
  bool m_bUnnameable = false;
};

// The folder part and the name part of a path ("a/b" gives "a" and "b").
std::pair<std::string, std::string> SplitPath(const std::string& strPath) {
  const size_t nSlash = strPath.rfind('/');
  if (nSlash == std::string::npos) return {".", strPath};
  return {nSlash == 0 ? "/" : strPath.substr(0, nSlash), strPath.substr(nSlash + 1)};
}

// Copies the rest of fdIn into fdOut with read and write, for file systems where the
// kernel cannot copy between the two.
CSysError CopyByReadWrite(int fdIn, int fdOut, std::int64_t nTotal, std::int64_t* pnDone,
                          CopyProgressRoutine pfnProgress, void* pData) {
  static thread_local std::unique_ptr<char[]> s_pBuffer;
  if (!s_pBuffer) s_pBuffer = std::make_unique<char[]>(kFallbackBuffer);
  for (;;) {
    ssize_t nRead = ::read(fdIn, s_pBuffer.get(), kFallbackBuffer);
    if (nRead == 0) return CSysError();
    if (nRead < 0) {
      if (errno == EINTR) continue;
      return CSysError::FromErrno();
    }
    const char* p = s_pBuffer.get();
    size_t nLeft = static_cast<size_t>(nRead);
    while (nLeft > 0) {
      ssize_t nWritten = ::write(fdOut, p, nLeft);
      if (nWritten < 0) {
        if (errno == EINTR) continue;
        return CSysError::FromErrno();
      }
      p += nWritten;
      nLeft -= static_cast<size_t>(nWritten);
    }
    *pnDone += nRead;
    if (pfnProgress(nTotal, *pnDone, pData) == ECopyAnswer::Cancel) {
      return CSysError::FromCode(ECANCELED);
    }
  }
}

// Copies fdIn into fdOut in the kernel where it can, falling back to read/write.
CSysError CopyContents(int fdIn, int fdOut, std::int64_t nTotal, CopyProgressRoutine pfnProgress,
                       void* pData) {
  std::int64_t nDone = 0;
  if (pfnProgress(nTotal, nDone, pData) == ECopyAnswer::Cancel) {
    return CSysError::FromCode(ECANCELED);
  }
  for (;;) {
    ssize_t n = ::copy_file_range(fdIn, nullptr, fdOut, nullptr, kCopyChunk, 0);
    if (n == 0) return CSysError();
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EXDEV || errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS) {
        // Both offsets stand where the kernel copy stopped, so read/write goes on there.
        return CopyByReadWrite(fdIn, fdOut, nTotal, &nDone, pfnProgress, pData);
      }
      return CSysError::FromErrno();
    }
    nDone += n;
    if (pfnProgress(nTotal, nDone, pData) == ECopyAnswer::Cancel) {
      return CSysError::FromCode(ECANCELED);
    }
    // The size seen at opening is the copy: one call less for every small file. A file
    // that grows meanwhile gets a newer time and is copied again by the next run.
    if (nDone >= nTotal) return CSysError();
  }
}


// Everything a copy needs before its first byte: the source open, its attributes,
// the destination folder open and, where possible, the output file made.
struct SPreparedCopy {
  std::string strSrc;
  std::string strDst;
  std::string strName;                 // the destination's name in its folder
  CSysError err;                       // the first failure; the copy reports it
  std::unique_ptr<CFd> pIn;
  struct stat stIn {};
  std::shared_ptr<CFd> pFolder;
  std::unique_ptr<CTempOutput> pOut;   // null: made by the copy itself
};

// Opens and checks what copying strSrc to strDst needs, in the order a copy meets the
// failures. pLastFolder, when given, holds the folder of the previous copy for reuse.
// bUnnamedOutputOnly leaves the output to the copy unless it can be a file without a
// name, so that nothing visible is made ahead of time.
void PrepareCopy(const std::string& strSrc, const std::string& strDst, ETempFiles eTempFiles,
                 std::pair<std::string, std::shared_ptr<CFd>>* pLastFolder,
                 SPreparedCopy* pCopy, bool bUnnamedOutputOnly = false) {
  pCopy->strSrc = strSrc;
  pCopy->strDst = strDst;
  // O_NONBLOCK: a FIFO that slipped in is refused below instead of waited on.
  const int nIn = ::open(strSrc.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (nIn < 0) {
    pCopy->err = CSysError::FromErrno();
    return;
  }
  pCopy->pIn = std::make_unique<CFd>(nIn);
  if (::fstat(nIn, &pCopy->stIn) != 0) {
    pCopy->err = CSysError::FromErrno();
    return;
  }
  if (S_ISDIR(pCopy->stIn.st_mode)) {
    pCopy->err = CSysError::FromCode(EISDIR);
    return;
  }
  if (!S_ISREG(pCopy->stIn.st_mode)) {
    pCopy->err = CSysError::FromCode(EOPNOTSUPP);
    return;
  }
  // A large copy is not started only to be refused at the end.
  if (static_cast<size_t>(pCopy->stIn.st_size) > kCopyChunk) {
    struct stat stOut {};
    if (::stat(strDst.c_str(), &stOut) == 0) {
      if ((pCopy->err = CheckReplaceable(stOut))) return;
    }
  }
  auto [strFolder, strName] = SplitPath(strDst);
  if (strName.empty()) {
    pCopy->err = CSysError::FromCode(EISDIR);
    return;
  }
  pCopy->strName = std::move(strName);
  if (pLastFolder != nullptr && pLastFolder->second && pLastFolder->first == strFolder) {
    pCopy->pFolder = pLastFolder->second;
  } else {
    if ((pCopy->err = CTempOutput::OpenFolder(strFolder, &pCopy->pFolder))) return;
    if (pLastFolder != nullptr) *pLastFolder = {strFolder, pCopy->pFolder};
  }
  if (!bUnnamedOutputOnly) return;
  auto pOut = std::make_unique<CTempOutput>();
  if (!pOut->Open(pCopy->pFolder, pCopy->stIn.st_mode & 0777, eTempFiles, true)) {
    pCopy->pOut = std::move(pOut);
  }
}

// Prepares the announced copies on a thread of its own, a few ahead of the one being
// copied, so that opening files overlaps with moving bytes. Only the bytes of one file
// at a time are copied; what is prepared ahead is invisible (open files, outputs
// without a name) and simply closed when the copies end early.
class CCopyPreparer {
 public:
  CCopyPreparer(size_t nCount, CopyListFunction fnCopy, ETempFiles eTempFiles)
      : m_nCount(nCount), m_fnCopy(std::move(fnCopy)), m_eTempFiles(eTempFiles) {
    m_thread = std::thread([this] { Run(); });
  }

  ~CCopyPreparer() {
    {
      std::lock_guard lock(m_mutex);
      m_bQuit = true;
    }
    m_cv.notify_all();
    m_thread.join();
  }

  CCopyPreparer(const CCopyPreparer&) = delete;
  CCopyPreparer& operator=(const CCopyPreparer&) = delete;

  // The next prepared copy if it is the one asked for; null otherwise.
  std::unique_ptr<SPreparedCopy> Take(const std::string& strSrc, const std::string& strDst) {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return !m_queue.empty() || m_bDone; });
    if (m_queue.empty()) return nullptr;
    std::unique_ptr<SPreparedCopy> pCopy = std::move(m_queue.front());
    m_queue.pop_front();
    m_cv.notify_all();
    if (pCopy->strSrc != strSrc || pCopy->strDst != strDst) return nullptr;
    return pCopy;
  }

 private:
  // Enough to hide the opening of small files, few enough to hold few descriptors.
  static constexpr size_t kAhead = 8;

  void Run() {
    std::pair<std::string, std::shared_ptr<CFd>> lastFolder;
    std::string strSrc;
    std::string strDst;
    for (size_t i = 0; i < m_nCount; ++i) {
      {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_bQuit || m_queue.size() < kAhead; });
        if (m_bQuit) break;
      }
      m_fnCopy(i, &strSrc, &strDst);
      auto pCopy = std::make_unique<SPreparedCopy>();
      PrepareCopy(strSrc, strDst, m_eTempFiles, &lastFolder, pCopy.get(), true);
      std::lock_guard lock(m_mutex);
      m_queue.push_back(std::move(pCopy));
      m_cv.notify_all();
    }
    std::lock_guard lock(m_mutex);
    m_bDone = true;
    m_cv.notify_all();
  }

  const size_t m_nCount;
  const CopyListFunction m_fnCopy;
  const ETempFiles m_eTempFiles;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::unique_ptr<SPreparedCopy>> m_queue;
  bool m_bQuit = false;
  bool m_bDone = false;
  std::thread m_thread;
};

class CPosixFileSystem final : public IFileSystem {
 public:
  explicit CPosixFileSystem(ETempFiles eTempFiles) : m_eTempFiles(eTempFiles) {}

  // Relative to the open folder, so the kernel walks the folder's path once, not once
  // per name: most of the cost of a scan of many small files.
  void GetAttributesIn(const std::string& strFolder, const std::vector<std::string>& arrNames,
                       std::vector<SAttrResult>* pResults) override {
    pResults->resize(arrNames.size());
    CFd fd(::open(strFolder.empty() ? "." : strFolder.c_str(),
                  O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() < 0) {
      IFileSystem::GetAttributesIn(strFolder, arrNames, pResults);
      return;
    }
    for (size_t i = 0; i < arrNames.size(); ++i) {
      struct stat st {};
      SAttrResult& result = (*pResults)[i];
      if (::fstatat(fd.Get(), arrNames[i].c_str(), &st, 0) != 0) {
        result.err = CSysError::FromErrno();
      } else {
        result.err = CSysError();
        FillAttr(st, &result.attr);
      }
    }
  }

  CSysError GetAttributes(const std::string& strPath, SFileAttr* pAttr) override {
    struct stat st {};
    if (::stat(strPath.c_str(), &st) != 0) return CSysError::FromErrno();
    FillAttr(st, pAttr);
    return CSysError();
  }

  CSysError ListFolder(const std::string& strPath, SFolderListing* pListing) override {
    pListing->arrEntries.clear();
    CFd fd(::open(strPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
    if (fd.Get() < 0) return CSysError::FromErrno();
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return CSysError::FromErrno();
    pListing->id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    DIR* pDir = ::fdopendir(fd.Get());
    if (pDir == nullptr) return CSysError::FromErrno();
    fd.Release();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(pDir, ::closedir);
    for (;;) {
      errno = 0;
      const struct dirent* pEntry = ::readdir(pDir);
      if (pEntry == nullptr) {
        if (errno != 0) return CSysError::FromErrno();
        break;
      }
      const char* pszName = pEntry->d_name;
      if (pszName[0] == '.' && (pszName[1] == '\0' || (pszName[1] == '.' && pszName[2] == '\0'))) {
        continue;
      }
      EFileKind eKind = EFileKind::File;
      switch (pEntry->d_type) {
        case DT_REG:
          break;
        case DT_DIR:
          eKind = EFileKind::Folder;
          break;
        case DT_FIFO:
        case DT_SOCK:
        case DT_CHR:
        case DT_BLK:
          eKind = EFileKind::Special;
          break;
        default: {  // a link, or a file system that does not say: follow it
          struct stat stEntry {};
          if (::fstatat(::dirfd(pDir), pszName, &stEntry, 0) == 0) eKind = KindOf(stEntry.st_mode);
          break;
        }
      }
      pListing->arrEntries.push_back({pszName, eKind});
    }
    return CSysError();
  }

  CSysError CreateFolder(const std::string& strPath) override {
    if (::mkdir(strPath.c_str(), 0777) != 0) return CSysError::FromErrno();
    return CSysError();
  }

  CSysError CopyFile(const std::string& strSrc, const std::string& strDst,
                     CopyProgressRoutine pfnProgress, void* pData) override {
    std::unique_ptr<SPreparedCopy> pCopy = TakePrepared(strSrc, strDst);
    if (!pCopy) {
      pCopy = std::make_unique<SPreparedCopy>();
      PrepareCopy(strSrc, strDst, m_eTempFiles, nullptr, pCopy.get());
    }
    if (pCopy->err) return pCopy->err;

    // The new copy is written beside the old one and takes the real name once it is
    // complete, so a failure, a cancel or a crash never leaves a partial file under
    // that name and the older copy survives until then.
    const int nIn = pCopy->pIn->Get();
    const struct stat& stIn = pCopy->stIn;
    const mode_t nMode = stIn.st_mode & 0777;  // never setuid, setgid or sticky
    for (;;) {
      if (!pCopy->pOut) {
        pCopy->pOut = std::make_unique<CTempOutput>();
        if (CSysError err = pCopy->pOut->Open(pCopy->pFolder, nMode, m_eTempFiles)) return err;
      }
      CTempOutput& out = *pCopy->pOut;
      CSysError err =
          CopyContents(nIn, out.Fd(), static_cast<std::int64_t>(stIn.st_size), pfnProgress, pData);
      if (!err && !out.ModeIsSet() && ::fchmod(out.Fd(), nMode) != 0) err = CSysError::FromErrno();
      if (!err) {
        const struct timespec times[2] = {stIn.st_atim, stIn.st_mtim};
        if (::futimens(out.Fd(), times) != 0) err = CSysError::FromErrno();
      }
      if (!err) err = out.Publish(pCopy->strName);
      if (err && out.Unnameable() && ::lseek(nIn, 0, SEEK_SET) == 0) {
        pCopy->pOut.reset();  // once more, into a named file
        continue;
      }
      return err;
    }
  }

  void ExpectCopies(size_t nCount, CopyListFunction fnCopy) override {
    EndCopies();
    std::lock_guard lock(m_mutexPreparer);
    m_pPreparer = std::make_unique<CCopyPreparer>(nCount, std::move(fnCopy), m_eTempFiles);
    m_idPreparerOwner = std::this_thread::get_id();
  }

  void EndCopies() override {
    std::unique_ptr<CCopyPreparer> pPreparer;
    {
      std::lock_guard lock(m_mutexPreparer);
      if (m_idPreparerOwner != std::this_thread::get_id()) return;
      pPreparer = std::move(m_pPreparer);
      m_idPreparerOwner = std::thread::id();
    }
  }

 private:
  // The prepared copy of strSrc to strDst from the announced list, or null when there
  // is none (then the copy prepares itself, as ever).
  std::unique_ptr<SPreparedCopy> TakePrepared(const std::string& strSrc,
                                              const std::string& strDst) {
    std::lock_guard lock(m_mutexPreparer);
    if (!m_pPreparer || m_idPreparerOwner != std::this_thread::get_id()) return nullptr;
    std::unique_ptr<SPreparedCopy> pCopy = m_pPreparer->Take(strSrc, strDst);
    if (!pCopy) m_pPreparer.reset();  // off the announced list: stop preparing
    return pCopy;
  }

  const ETempFiles m_eTempFiles;
  std::mutex m_mutexPreparer;
  std::unique_ptr<CCopyPreparer> m_pPreparer;
  std::thread::id m_idPreparerOwner;  // the thread whose copies are being prepared
};

}  // namespace

IFileSystem& RealFileSystem() {
  static CPosixFileSystem s_fs(ETempFiles::UnnamedWherePossible);
  return s_fs;
}

std::unique_ptr<IFileSystem> MakePosixFileSystem(ETempFiles eTempFiles) {
  return std::make_unique<CPosixFileSystem>(eTempFiles);
}

}  // namespace quillmere
