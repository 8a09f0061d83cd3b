#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/FileSystem.h"

namespace quillmere::test {

// Forwards to another file system, failing or stopping where a test has set a switch.
// Switches are set before the run; the counters may be read afterwards.
class CFaultFileSystem : public IFileSystem {
 public:
  explicit CFaultFileSystem(IFileSystem& base) : m_base(base) {}

  // Querying or listing strPath fails with nErrno.
  void FailAttributes(const std::string& strPath, int nErrno) { m_mapFailAttr[strPath] = nErrno; }
  void FailList(const std::string& strPath, int nErrno) { m_mapFailList[strPath] = nErrno; }
  // Creating the folder strPath fails with nErrno.
  void FailCreate(const std::string& strPath, int nErrno) { m_mapFailCreate[strPath] = nErrno; }
  // The copy to strDst fails with nErrno once nBytes have been transferred (the base
  // file system cancels it, so its clean-up runs).
  void FailCopyAfter(const std::string& strDst, std::int64_t nBytes, int nErrno) {
    m_mapFailCopy[strDst] = {nBytes, nErrno};
  }
  // g_bStop is raised at the nReport-th progress report of all copies (1 = the first).
  void StopAtProgressReport(int nReport) { m_nStopAtReport = nReport; }
  // g_bStop is raised when strPath's attributes are queried, or strPath is created.
  // Source files are queried ahead of the scan on another thread, so a destination
  // path is the one to name for a stop at a known point of the scan.
  void StopOnAttributes(const std::string& strPath) { m_strStopOnAttr = strPath; }
  void StopOnCreate(const std::string& strPath) { m_strStopOnCreate = strPath; }
  // Any create or copy fails the test: for runs that must change nothing.
  void ForbidChanges() { m_bForbidChanges = true; }

  int ProgressReports() const;

  CSysError GetAttributes(const std::string& strPath, SFileAttr* pAttr) override;
  CSysError ListFolder(const std::string& strPath, SFolderListing* pListing) override;
  CSysError CreateFolder(const std::string& strPath) override;
  CSysError CopyFile(const std::string& strSrc, const std::string& strDst,
                     CopyProgressRoutine pfnProgress, void* pData) override;
  void ExpectCopies(size_t nCount, CopyListFunction fnCopy) override {
    m_base.ExpectCopies(nCount, std::move(fnCopy));
  }
  void EndCopies() override { m_base.EndCopies(); }

 private:
  struct SCopyFault {
    std::int64_t nBytes;
    int nErrno;
  };
  struct SProgressContext;
  static ECopyAnswer OnProgress(std::int64_t nTotal, std::int64_t nDone, void* pData);

  IFileSystem& m_base;
  std::map<std::string, int> m_mapFailAttr;
  std::map<std::string, int> m_mapFailList;
  std::map<std::string, int> m_mapFailCreate;
  std::map<std::string, SCopyFault> m_mapFailCopy;
  int m_nStopAtReport = 0;
  std::string m_strStopOnAttr;
  std::string m_strStopOnCreate;
  bool m_bForbidChanges = false;
  mutable std::mutex m_mutex;
  int m_nReports = 0;
};

}  // namespace quillmere::test
