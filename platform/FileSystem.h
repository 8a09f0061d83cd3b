#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/SysError.h"

namespace quillmere {

// What a path names, links followed.
enum class EFileKind {
  File,     // a regular file
  Folder,   // a directory
  Special,  // a FIFO, socket or device: never opened by a copy
};

// Identity of a file system object, to notice a folder met twice.
struct SFileId {
  std::uint64_t nDev = 0;
  std::uint64_t nIno = 0;
  bool operator==(const SFileId&) const = default;
};

// A last-write time with nanoseconds.
struct SFileTime {
  std::int64_t nSec = 0;
  std::int64_t nNsec = 0;
  auto operator<=>(const SFileTime&) const = default;
};

struct SFileAttr {
  EFileKind eKind = EFileKind::File;
  std::int64_t nSize = 0;
  SFileTime tWrite;
  SFileId id;
};

struct SFolderEntry {
  std::string strName;
  // Links are followed: a link to a folder is a Folder. An entry whose kind cannot be
  // told (a broken link) is a File, so that querying it reports the failure.
  EFileKind eKind = EFileKind::File;
};

struct SFolderListing {
  SFileId id;                           // the listed folder itself
  std::vector<SFolderEntry> arrEntries; // in the order the file system returns them
};

// The outcome of one attribute query.
struct SAttrResult {
  CSysError err;
  SFileAttr attr;
};

// The answer of a copy-progress routine.
enum class ECopyAnswer { Continue, Cancel };

// Called on the copying thread before the first byte and after every chunk, with the
// file's size and the bytes transferred so far.
using CopyProgressRoutine = ECopyAnswer (*)(std::int64_t nTotalSize,
                                            std::int64_t nTransferred, void* pData);

// Tells the i-th of the announced copies: its source and its destination.
using CopyListFunction =
    std::function<void(size_t nIndex, std::string* pstrSrc, std::string* pstrDst)>;

// The file services the engine uses. There is deliberately no way to delete or
// truncate anything through it. Implementations are safe to call from several threads
// at once.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // Attributes of strPath, links followed. ENOENT when it does not exist (a broken
  // link included).
  [[nodiscard]] virtual CSysError GetAttributes(const std::string& strPath,
                                                SFileAttr* pAttr) = 0;

  // The attributes of the entries arrNames of strFolder, one result per name, each as
  // GetAttributes(strFolder + "/" + name) would give it, but cheaper for many names.
  virtual void GetAttributesIn(const std::string& strFolder,
                               const std::vector<std::string>& arrNames,
                               std::vector<SAttrResult>* pResults);

  // Every entry of the folder but "." and "..", read completely before returning.
  // Fails (ENOTDIR, EACCES, ...) when strPath is no folder or cannot be read.
  [[nodiscard]] virtual CSysError ListFolder(const std::string& strPath,
                                             SFolderListing* pListing) = 0;

  // Creates one folder level. Fails with EEXIST when something has the name already,
  // ENOENT when the parent is missing.
  [[nodiscard]] virtual CSysError CreateFolder(const std::string& strPath) = 0;

  // Copies a regular file over strDst, replacing an older copy, with the source's
  // permission bits and last-write time. The older copy stays intact until the new one
  // is complete; on any failure, and when pfnProgress answers Cancel (ECANCELED), no
  // partly written file is left and the older copy survives. A destination without any
  // write permission bit is refused with EACCES.
  [[nodiscard]] virtual CSysError CopyFile(const std::string& strSrc,
                                           const std::string& strDst,
                                           CopyProgressRoutine pfnProgress, void* pData) = 0;

  // Announces the copies this thread will make next, in order, so that they may be
  // prepared ahead (files opened) on another thread while one is being copied. Each is
  // still made by CopyFile; a CopyFile of anything else, or EndCopies, drops what was
  // prepared. fnCopy is called from another thread until EndCopies returns, so what it
  // reads must not change meanwhile. Doing nothing is a correct implementation.
  virtual void ExpectCopies(size_t /*nCount*/, CopyListFunction /*fnCopy*/) {}
  virtual void EndCopies() {}
};

// The real file system of this machine.
IFileSystem& RealFileSystem();

// Where a copy is written before it takes its name.
enum class ETempFiles {
  UnnamedWherePossible,  // a file without a name, where the file system has them
  Named,                 // always a hidden ".quillmere-*.tmp" file beside the destination
};

// A file system like RealFileSystem() with the given choice; for tests of both ways.
std::unique_ptr<IFileSystem> MakePosixFileSystem(ETempFiles eTempFiles);

}  // namespace quillmere
