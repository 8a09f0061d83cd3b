#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace quillmere::test {

// An in-memory file system: folders list their entries in the order they were added
// (not sorted), times are exact to the nanosecond, and every folder created and file
// copied is recorded in order. Paths are absolute; a trailing "/" is ignored.
class CMemFileSystem : public IFileSystem {
 public:
  CMemFileSystem();

  // Adds a folder, and its missing parents.
  void AddFolder(const std::string& strPath);
  // Adds or replaces a file (and its missing parent folders).
  void AddFile(const std::string& strPath, const std::string& strContents, SFileTime tWrite,
               bool bReadOnly = false);
  // Adds a FIFO-like entry that no copy may open.
  void AddSpecial(const std::string& strPath);

  bool Exists(const std::string& strPath) const;
  std::string Contents(const std::string& strPath) const;
  SFileTime WriteTime(const std::string& strPath) const;
  std::vector<std::string> CreatedFolders() const;
  std::vector<std::string> CopiedFiles() const;  // destinations of successful copies
  // Bytes moved between two progress reports of a copy.
  void SetChunkSize(std::int64_t nBytes) { m_nChunk = nBytes; }

  CSysError GetAttributes(const std::string& strPath, SFileAttr* pAttr) override;
  CSysError ListFolder(const std::string& strPath, SFolderListing* pListing) override;
  CSysError CreateFolder(const std::string& strPath) override;
  CSysError CopyFile(const std::string& strSrc, const std::string& strDst,
                     CopyProgressRoutine pfnProgress, void* pData) override;

 private:
  struct SNode {
    EFileKind eKind = EFileKind::File;
    std::string strContents;
    SFileTime tWrite;
    bool bReadOnly = false;
    std::uint64_t nIno = 0;
    std::vector<std::string> arrChildren;  // names, in the order added
  };

  static std::string Clean(const std::string& strPath);
  static std::string Parent(const std::string& strPath);
  static std::string Name(const std::string& strPath);
  // Adds a node under an existing folder parent; caller holds the lock.
  SNode& AddNodeLocked(const std::string& strPath, EFileKind eKind);
  void AddFolderLocked(const std::string& strPath);

  mutable std::mutex m_mutex;
  std::map<std::string, SNode> m_mapNodes;
  std::uint64_t m_nNextIno = 1;
  std::int64_t m_nChunk = 4;
  std::vector<std::string> m_arrCreated;
  std::vector<std::string> m_arrCopied;
};

}  // namespace quillmere::test
