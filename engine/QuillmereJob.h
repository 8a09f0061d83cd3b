#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/Folder.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"

namespace quillmere {

// Codes of m_nPhase.
enum : int {
  PHASE_IDLE = 0,  // no run since the program started
  PHASE_SCAN = 1,  // a pair's file list is being built
  PHASE_COPY = 2,  // folders are being created and files copied
  PHASE_DONE = 3,  // the run has ended, finished or stopped
};

// Process-wide: a stop of the active run was requested; raised by the GUI thread,
// cleared by the worker when a run starts.
extern std::atomic<bool> g_bStop;
// Process-wide: bytes of the file now being copied that have been transferred.
extern std::atomic<double> g_dFileBytes;

// The whole state of a synchronisation job, free of any GUI. The main window derives
// from it, so the same members serve the dialog, the terminal front end and the tests.
//
// Threads: the loader and the option members belong to the GUI thread and are only
// read during a run. The worker writes the counters, the phase, the byte values and
// the current-item strings; the GUI reads them for display, so they are atomic, and
// the two strings are guarded by m_csCurrent (held for the assignment or copy only).
class CQuillmereJob {
 public:
  // host, fs and clock must outlive the job.
  explicit CQuillmereJob(IHost& host, IFileSystem& fs = RealFileSystem(),
                         IClock& clock = SystemClock());
  virtual ~CQuillmereJob();
  CQuillmereJob(const CQuillmereJob&) = delete;
  CQuillmereJob& operator=(const CQuillmereJob&) = delete;

  // Reads m_strCfgFile into the folder pairs and the run options. Returns false after
  // telling the user why in a message box; the pairs appended before the failing line
  // stay, but no run may start on them. GUI thread only, never during a run.
  bool LoadConfig();

  // Deletes every folder pair; the one place where pairs are deleted.
  void FreeFolders();

  // One whole run over the loaded pairs; worker thread only, one run at a time. Sets
  // m_bRunning first and clears it on every way out; the host is only asked to close
  // after that. Whoever started the thread joins it before destroying the job.
  int RunJob();

  // Walks one source folder (and, when the pair asks for it, everything below it),
  // counting files and listing what to copy and which destination folders to create.
  // Returns whether a file was selected in or below it; false after a stop.
  bool ScanFolder(const std::string& strFolder);
  // The destination path of a path below the current source root.
  std::string MapToDest(const std::string& strPath) const;
  // Whether a file name takes part in the current pair.
  bool PassesFilter(const std::string& strName) const;
  // Logs, sorts and (unless in test mode) creates the folders listed by the scan.
  bool CreateFolders();
  // Stable sort of m_arrDirs, shortest path first, so parents come before children.
  void SortFoldersByLength();
  // Copies (or in test mode lists) the files listed by the scan.
  bool CopyFiles();

  // One line of the log, while logging is on. A failed write turns logging off for
  // the rest of the run.
  void WriteLog(const std::string& strLine);
  // The two-line ERROR entry for a failed operation on strPath, while logging is on.
  void ReportError(const std::string& strPath, const CSysError& err);

  // The current-item strings, each change made under one hold of m_csCurrent.
  void SetCurSrc(const std::string& strSrc);
  void SetCurDst(const std::string& strDst);
  void SetCurrent(const std::string& strSrc, const std::string& strDst);
  void CopyCurrent(std::string* pstrSrc, std::string* pstrDst) const;

  std::atomic<bool> m_bRunning{false};
  std::atomic<std::int32_t> m_nFiles{0};     // files found by the scan, all pairs
  std::atomic<std::int32_t> m_nSelected{0};  // files chosen for copying, all pairs
  std::atomic<std::int32_t> m_nDone{0};      // files copied, all pairs
  std::atomic<std::int32_t> m_nErrors{0};    // errors counted in the run
  bool m_bCreateLog = false;
  bool m_bShowLog = false;
  bool m_bAutoRun = false;
  bool m_bAutoExit = false;
  std::string m_strCfgFile = "QuillmereCfg.txt";
  std::string m_strLogFile = "QuillmereLog.txt";
  CFile m_fileLog;                           // open only while a run writes the log
  mutable std::mutex m_csCurrent;            // guards m_strCurSrc and m_strCurDst
  const CFolder* m_pCurFolder = nullptr;     // the pair being loaded or processed
  std::string m_strCurSrc;                   // entry being scanned, or file being copied
  std::string m_strCurDst;                   // its destination path
  std::atomic<int> m_nPhase{PHASE_IDLE};
  std::vector<std::unique_ptr<CFolder>> m_arrFolders;  // pairs in file order
  std::atomic<double> m_nBytesTotal{0.0};    // bytes counted by the scan of the pair
  std::atomic<double> m_nBytesDone{0.0};     // bytes of the pair's finished copies
  std::atomic<std::int64_t> m_tCopyStart{0}; // seconds since 1970 when copying began
  std::vector<std::string> m_arrFiles;       // source files to copy (worker only)
  std::vector<std::string> m_arrDirs;        // destination folders to create (worker only)
  std::string m_strDst;                      // destination root of the pair (worker only)
  std::string m_strSrc;                      // source root of the pair (worker only)
  std::int32_t m_nSrcRootLen = 0;            // length of m_strSrc (worker only)
  std::atomic<bool> m_bTestMode{false};      // the Test Mode box

 protected:
  IHost& m_host;
  IFileSystem& m_fs;
  IClock& m_clock;

 private:
  class CScanPrefetcher;
  bool ScanOneFolder(const std::string& strFolder, CScanPrefetcher& prefetcher);

  std::optional<SFileId> m_idDstRoot;        // never scanned as source (worker only)
  std::vector<SFileId> m_arrScanPath;        // folders being scanned, root first (worker only)
};

// The counters of a run as the log's summary line and the panel show them:
// "Files-%d Selected-%d Done-%d Errors-%d ", with the blank at the end.
std::string SummaryText(std::int32_t nFiles, std::int32_t nSelected, std::int32_t nDone,
                        std::int32_t nErrors);

// The worker thread's entry: runs pJob->RunJob().
int WorkerThreadProc(CQuillmereJob* pJob);

// Whether a file name matches one pattern: "*" stands for any run of characters, every
// other byte for itself, case included. A "*" right after a "*" is taken literally.
bool MatchPattern(const std::string& strName, const std::string& strPattern);

}  // namespace quillmere
