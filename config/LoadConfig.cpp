#include <memory>
#include <string>
#include <utility>

#include "engine/QuillmereJob.h"
#include "platform/File.h"

namespace quillmere {

namespace {

constexpr const char* kMsgCannotOpen = "Can not open config file";
constexpr const char* kMsgNoSource =
    "Config File ERROR\r\n COPYFROM are not specified or specified befory COPYTO !";

// What is in force for the pairs that later COPYTO lines create.
struct CPairSettings {
  std::string strFilter = "*";
  std::string strCopyFrom;
  bool bInverseFilter = false;
  bool bProcessSubfolders = true;
};

enum class ELineResult { Ok, UnknownKey, NoSource };

}  // namespace

// Keys and values are matched byte for byte: no trimming, no case folding. A line
// ends at CR, CR LF or a lone LF; the file's last byte ends a line too.
bool CQuillmereJob::LoadConfig() {
  FreeFolders();

  std::string strData;
  if (ReadWholeFile(m_strCfgFile, &strData)) {
    m_host.ShowMessage(kMsgCannotOpen, EMsgIcon::None);
    return false;
  }

  m_strLogFile = "QuillmereLog.txt";
  m_bCreateLog = false;
  m_bShowLog = false;
  m_bAutoRun = false;
  m_bAutoExit = false;
  m_pCurFolder = nullptr;

  CPairSettings settings;
  auto actOnLine = [&](const std::string& strKey, const std::string& strValue) {
    if (strKey == "FILTER") {
      settings.strFilter = strValue;
    } else if (strKey == "INVERSEFILTER") {
      settings.bInverseFilter = strValue == "TRUE";
    } else if (strKey == "CREATELOG") {
      m_bCreateLog = strValue == "TRUE";
    } else if (strKey == "LOGFILE") {
      m_strLogFile = strValue;
    } else if (strKey == "SHOWLOG") {
      m_bShowLog = strValue == "TRUE";
    } else if (strKey == "AUTORUN") {
      m_bAutoRun = strValue == "TRUE";
    } else if (strKey == "AUTOEXIT") {
      m_bAutoExit = strValue == "TRUE";
    } else if (strKey == "PROCESSSUBFOLDERS") {
      settings.bProcessSubfolders = strValue != "FALSE";
    } else if (strKey == "COPYFROM") {
      settings.strCopyFrom = strValue;
    } else if (strKey == "COPYTO") {
      // An empty destination is accepted here; the run reports it as missing.
      if (settings.strCopyFrom.empty()) return ELineResult::NoSource;
      auto pFolder = std::make_unique<CFolder>();
      pFolder->m_bInverseFilter = settings.bInverseFilter;
      pFolder->m_bProcessSubfolders = settings.bProcessSubfolders;
      pFolder->SplitFilter(settings.strFilter);
      pFolder->m_strCopyFrom = settings.strCopyFrom;
      pFolder->m_strCopyTo = strValue;
      m_pCurFolder = pFolder.get();
      m_arrFolders.push_back(std::move(pFolder));
    } else {
      return ELineResult::UnknownKey;
    }
    return ELineResult::Ok;
  };

  std::string strKey;
  std::string strValue;
  int nLine = 0;
  const size_t nLength = strData.size();
  for (size_t i = 0; i < nLength; ++i) {
    const char c = strData[i];
    const bool bLineEnd = c == '\r' || c == '\n';
    if (bLineEnd || i == nLength - 1) {
      // The last byte belongs to the value even when it is "=".
      if (!bLineEnd) strValue += c;
      ++nLine;
      if (c == '\r' && i + 1 < nLength && strData[i + 1] == '\n') ++i;
      switch (actOnLine(strKey, strValue)) {
        case ELineResult::Ok:
          break;
        case ELineResult::UnknownKey:
          m_host.ShowMessage("Config file error line " + std::to_string(nLine), EMsgIcon::None);
          return false;
        case ELineResult::NoSource:
          m_host.ShowMessage(kMsgNoSource, EMsgIcon::Error);
          return false;
      }
      strKey.clear();
      strValue.clear();
    } else if (c == '=') {
      // Every "=" separates: the key is the text between the last two of them.
      strKey = std::move(strValue);
      strValue.clear();
    } else {
      strValue += c;
    }
  }
  return true;
}

}  // namespace quillmere
