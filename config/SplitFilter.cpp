#include "engine/Folder.h"

namespace quillmere {

void CFolder::SplitFilter(const std::string& strFilter) {
  std::string strPiece;
  for (char c : strFilter) {
    if (c == ';') {
      m_arrFilters.push_back(std::move(strPiece));
      strPiece.clear();
    } else {
      strPiece += c;
    }
  }
  m_arrFilters.push_back(std::move(strPiece));
}

}  // namespace quillmere
