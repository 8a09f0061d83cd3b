#include "engine/Path.h"

namespace quillmere {

std::string NormalizeRoot(const std::string& strPath) {
  std::string strResult;
  strResult.reserve(strPath.size());
  for (char c : strPath) {
    if (c == '/' && !strResult.empty() && strResult.back() == '/') continue;
    strResult += c;
  }
  while (strResult.size() > 1 && strResult.back() == '/') strResult.pop_back();
  return strResult;
}

std::string JoinPath(const std::string& strFolder, const std::string& strName) {
  std::string strResult;
  strResult.reserve(strFolder.size() + 1 + strName.size());
  strResult = strFolder;
  if (!strResult.empty() && strResult.back() != '/') strResult += '/';
  strResult += strName;
  return strResult;
}

}  // namespace quillmere
