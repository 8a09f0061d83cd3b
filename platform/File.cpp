#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quillmere {

CFile::~CFile() { Close(); }

CFile::CFile(CFile&& other) noexcept : m_nFd(std::exchange(other.m_nFd, -1)) {}

CFile& CFile::operator=(CFile&& other) noexcept {
  if (this != &other) {
    Close();
    m_nFd = std::exchange(other.m_nFd, -1);
  }
  return *this;
}

CSysError CFile::OpenRead(const std::string& strPath) {
  Close();
  // O_NONBLOCK keeps open() of a FIFO from waiting for a writer; a regular file
  // ignores it.
  int nFd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (nFd < 0) return CSysError::FromErrno();
  struct stat st {};
  if (::fstat(nFd, &st) != 0) {
    CSysError err = CSysError::FromErrno();
    ::close(nFd);
    return err;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(nFd);
    return CSysError::FromCode(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  }
  m_nFd = nFd;
  return CSysError();
}

CSysError CFile::Create(const std::string& strPath) { return OpenForWriting(strPath, 0, 0666); }

CSysError CFile::CreateWithMode(const std::string& strPath, unsigned nMode) {
  if (CSysError err = OpenForWriting(strPath, O_NOFOLLOW, 0600)) return err;
  // Also for a file that existed already; the umask reduced the mode of a new one.
  if (::fchmod(m_nFd, static_cast<mode_t>(nMode & 07777)) != 0) {
    CSysError err = CSysError::FromErrno();
    Close();
    return err;
  }
  return CSysError();
}

CSysError CFile::OpenForWriting(const std::string& strPath, int nExtraFlags, unsigned nMode) {
  Close();
  int nFd = ::open(strPath.c_str(),
                   O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | nExtraFlags,
                   static_cast<mode_t>(nMode));
  if (nFd < 0) return CSysError::FromErrno();
  // Back to blocking writes, so that a slow device never yields EAGAIN mid-line.
  int nFlags = ::fcntl(nFd, F_GETFL);
  if (nFlags >= 0) ::fcntl(nFd, F_SETFL, nFlags & ~O_NONBLOCK);
  m_nFd = nFd;
  return CSysError();
}

CSysError CFile::ReadToEnd(std::string* pstrData) {
  pstrData->clear();
  if (m_nFd < 0) return CSysError::FromCode(EBADF);
  struct stat st {};
  if (::fstat(m_nFd, &st) == 0 && st.st_size > 0) {
    pstrData->reserve(static_cast<size_t>(st.st_size));
  }
  // Read to the end rather than trusting the size: the file may change meanwhile.
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(m_nFd, buffer, sizeof buffer);
    if (n == 0) return CSysError();
    if (n < 0) {
      if (errno == EINTR) continue;
      return CSysError::FromErrno();
    }
    pstrData->append(buffer, static_cast<size_t>(n));
  }
}

CSysError CFile::ReadSome(size_t nMax, std::string* pstrData) {
  pstrData->clear();
  if (m_nFd < 0) return CSysError::FromCode(EBADF);
  pstrData->resize(nMax);
  size_t nHave = 0;
  while (nHave < nMax) {
    ssize_t n = ::read(m_nFd, pstrData->data() + nHave, nMax - nHave);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      pstrData->clear();
      return CSysError::FromErrno();
    }
    nHave += static_cast<size_t>(n);
  }
  pstrData->resize(nHave);
  return CSysError();
}

CSysError CFile::Write(std::string_view data) {
  if (m_nFd < 0) return CSysError::FromCode(EBADF);
  while (!data.empty()) {
    ssize_t n = ::write(m_nFd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return CSysError::FromErrno();
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return CSysError();
}

CSysError CFile::Sync() {
  if (m_nFd < 0) return CSysError::FromCode(EBADF);
  return ::fsync(m_nFd) == 0 ? CSysError() : CSysError::FromErrno();
}

CSysError CFile::Close() {
  if (m_nFd < 0) return CSysError();
  int nFd = std::exchange(m_nFd, -1);
  // Linux releases the descriptor even when close() fails, so it is never retried.
  if (::close(nFd) != 0 && errno != EINTR) return CSysError::FromErrno();
  return CSysError();
}

CSysError ReadWholeFile(const std::string& strPath, std::string* pstrData) {
  CFile file;
  if (CSysError err = file.OpenRead(strPath)) return err;
  return file.ReadToEnd(pstrData);
}

CSysError RemoveOwnFile(const std::string& strPath) {
  return ::unlink(strPath.c_str()) == 0 ? CSysError() : CSysError::FromErrno();
}

std::optional<unsigned> PermissionBits(const std::string& strPath) {
  struct stat st {};
  if (::stat(strPath.c_str(), &st) != 0) return std::nullopt;
  return static_cast<unsigned>(st.st_mode & 0777);
}

bool FolderWritable(const std::string& strFolder) {
  return ::access(strFolder.empty() ? "." : strFolder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace quillmere
