#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/SysError.h"

namespace quillmere {

// An unbuffered file: every Write reaches the system at once. Move-only; closes on
// destruction. Not thread-safe: one thread uses one object at a time.
class CFile {
 public:
  CFile() = default;
  ~CFile();
  CFile(CFile&& other) noexcept;
  CFile& operator=(CFile&& other) noexcept;
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Opens an existing regular file for reading. Anything else (a folder, a FIFO, a
  // device) is refused at once rather than read or waited on: EISDIR for a folder,
  // EINVAL for the rest.
  [[nodiscard]] CSysError OpenRead(const std::string& strPath);

  // Creates the file for writing, emptying an existing one (mode 0666 less umask).
  // A FIFO without a reader fails with ENXIO instead of blocking.
  [[nodiscard]] CSysError Create(const std::string& strPath);

  // Creates the file for writing like Create, and gives it exactly the permission bits
  // nMode (the umask does not apply). A link in its place is refused (ELOOP) rather than
  // followed.
  [[nodiscard]] CSysError CreateWithMode(const std::string& strPath, unsigned nMode);

  // Reads from the current position to the end of the file into *pstrData.
  [[nodiscard]] CSysError ReadToEnd(std::string* pstrData);

  // Reads at most nMax bytes from the current position into *pstrData; fewer only at
  // the end of the file.
  [[nodiscard]] CSysError ReadSome(size_t nMax, std::string* pstrData);

  // Writes all of data, looping over short writes; on failure some of it may be written.
  [[nodiscard]] CSysError Write(std::string_view data);

  // Waits until what was written has reached the device.
  [[nodiscard]] CSysError Sync();

  // Closes the file; the result reports a failure the system only noticed now.
  CSysError Close();

  bool IsOpen() const { return m_nFd >= 0; }

 private:
  // Create and CreateWithMode: O_NONBLOCK keeps open() of a FIFO without a reader from
  // waiting (it fails with ENXIO); writes block as usual afterwards.
  CSysError OpenForWriting(const std::string& strPath, int nExtraFlags, unsigned nMode);

  int m_nFd = -1;
};

// Reads a whole regular file (see CFile::OpenRead for what is refused).
[[nodiscard]] CSysError ReadWholeFile(const std::string& strPath, std::string* pstrData);

// Removes a file. Only for files this program has written itself and no longer needs:
// the synchronisation never removes anything.
CSysError RemoveOwnFile(const std::string& strPath);

// The permission bits (0777) of a path, links followed; nothing when it cannot be read.
std::optional<unsigned> PermissionBits(const std::string& strPath);

// Whether this process may create and rename files in strFolder.
bool FolderWritable(const std::string& strFolder);

}  // namespace quillmere
