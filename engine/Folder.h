#pragma once

#include <string>
#include <vector>

namespace quillmere {

// One folder pair as the configuration file described it. The loader fills every
// field when it creates the record; nothing changes it afterwards.
class CFolder {
 public:
  std::string m_strCopyFrom;               // source folder (COPYFROM in force)
  std::string m_strCopyTo;                 // destination folder (the COPYTO value)
  std::vector<std::string> m_arrFilters;   // at least one pattern, possibly empty ones
  bool m_bProcessSubfolders = true;        // off only for PROCESSSUBFOLDERS=FALSE
  bool m_bInverseFilter = false;           // on only for INVERSEFILTER=TRUE

  // Fills m_arrFilters from a FILTER value: one pattern per ";"-separated piece, in
  // written order, untrimmed; k semicolons always give k + 1 patterns.
  void SplitFilter(const std::string& strFilter);
};

}  // namespace quillmere
