#include "platform/FileSystem.h"

namespace quillmere {

// One query per name: right for any file system, if not the fastest.
void IFileSystem::GetAttributesIn(const std::string& strFolder,
                                  const std::vector<std::string>& arrNames,
                                  std::vector<SAttrResult>* pResults) {
  pResults->resize(arrNames.size());
  const std::string strPrefix =
      strFolder.empty() || strFolder.back() == '/' ? strFolder : strFolder + "/";
  for (size_t i = 0; i < arrNames.size(); ++i) {
    (*pResults)[i].err = GetAttributes(strPrefix + arrNames[i], &(*pResults)[i].attr);
  }
}

}  // namespace quillmere
