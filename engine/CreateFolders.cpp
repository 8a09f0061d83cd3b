#include <algorithm>
#include <string>

#include "engine/QuillmereJob.h"

namespace quillmere {

bool CQuillmereJob::CreateFolders() {
  WriteLog("-----------------------------Create Folders:-----------");
  for (const std::string& strDir : m_arrDirs) WriteLog(strDir);
  SortFoldersByLength();
  if (m_bTestMode) return true;
  // A stop request does not cut this short: the copy step that follows reacts to it.
  for (const std::string& strDir : m_arrDirs) {
    if (CSysError err = m_fs.CreateFolder(strDir)) ReportError(strDir, err);
  }
  return true;
}

void CQuillmereJob::SortFoldersByLength() {
  // By length alone and stable, so paths of equal length keep the scan's order; a
  // parent, being a prefix, always comes before what lies below it.
  std::stable_sort(m_arrDirs.begin(), m_arrDirs.end(),
                   [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
}

}  // namespace quillmere
