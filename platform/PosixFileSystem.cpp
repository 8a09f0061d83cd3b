#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

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

std::string FolderOf(const std::string& strPath) {
  size_t nSlash = strPath.rfind('/');
  if (nSlash == std::string::npos) return ".";
  if (nSlash == 0) return "/";
  return strPath.substr(0, nSlash);
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
  }
}

}  // namespace

void IFileSystem::GetAttributesIn(const std::string& strFolder,
                                  const std::vector<std::string>& arrNames,
                                  std::vector<SAttrResult>* pResults) {
  pResults->resize(arrNames.size());
  const std::string strPrefix =
      strFolder.empty() || strFolder.back() == '/' ? strFolder : strFolder + "/";
  for (size_t i = 0; i < arrNames.size(); ++i) {
    (*pResults)[i].err = GetAttributes(strPrefix + arrNames[i], &(*pResults)[i].attr);
  }
}

namespace {

class CPosixFileSystem final : public IFileSystem {
 public:
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
    // O_NONBLOCK: a FIFO that slipped in is refused below instead of waited on.
    CFd fdIn(::open(strSrc.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fdIn.Get() < 0) return CSysError::FromErrno();
    struct stat stIn {};
    if (::fstat(fdIn.Get(), &stIn) != 0) return CSysError::FromErrno();
    if (S_ISDIR(stIn.st_mode)) return CSysError::FromCode(EISDIR);
    if (!S_ISREG(stIn.st_mode)) return CSysError::FromCode(EOPNOTSUPP);

    struct stat stOut {};
    if (::stat(strDst.c_str(), &stOut) == 0) {
      if (S_ISDIR(stOut.st_mode)) return CSysError::FromCode(EISDIR);
      // A read-only copy is the owner's decision; root must not override it either.
      if ((stOut.st_mode & 0222) == 0) return CSysError::FromCode(EACCES);
    }

    // The new copy is built beside the old one and renamed over it once complete, so
    // a failure, a cancel or a crash never leaves a partial file under the real name.
    const std::string strFolder = FolderOf(strDst);
    std::string strTemp;
    int nOutFd = -1;
    for (int nTry = 0; nTry < 100 && nOutFd < 0; ++nTry) {
      strTemp = strFolder + (strFolder.back() == '/' ? "" : "/") + ".quillmere-" +
                std::to_string(::getpid()) + "-" + std::to_string(g_nTempCounter++) + ".tmp";
      nOutFd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
      if (nOutFd < 0 && errno != EEXIST) return CSysError::FromErrno();
    }
    if (nOutFd < 0) return CSysError::FromCode(EEXIST);
    CFd fdOut(nOutFd);

    CSysError err = CopyContents(fdIn.Get(), fdOut.Get(), static_cast<std::int64_t>(stIn.st_size),
                                 pfnProgress, pData);
    if (!err && ::fchmod(fdOut.Get(), stIn.st_mode & 0777) != 0) err = CSysError::FromErrno();
    if (!err) {
      const struct timespec times[2] = {stIn.st_atim, stIn.st_mtim};
      if (::futimens(fdOut.Get(), times) != 0) err = CSysError::FromErrno();
    }
    if (!err && ::close(fdOut.Release()) != 0) err = CSysError::FromErrno();
    if (!err && ::rename(strTemp.c_str(), strDst.c_str()) != 0) err = CSysError::FromErrno();
    if (err) ::unlink(strTemp.c_str());
    return err;
  }
};

}  // namespace

IFileSystem& RealFileSystem() {
  static CPosixFileSystem s_fs;
  return s_fs;
}

}  // namespace quillmere
