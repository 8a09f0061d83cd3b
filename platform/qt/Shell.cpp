#include "platform/qt/Shell.h"

#include <utility>

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace quillmere {

namespace {

std::function<void(const QString&)>& OpenHook() {
  static std::function<void(const QString&)> s_hook;
  return s_hook;
}

}  // namespace

bool CShell::OpenDocument(const std::string& strPath) {
  if (strPath.empty()) return false;
  const QString strAbsolute = QFileInfo(QFile::decodeName(strPath.c_str())).absoluteFilePath();
  if (OpenHook()) {
    OpenHook()(strAbsolute);
    return true;
  }
  // A file URL goes to the handler for the file's type, so an executable is shown,
  // never started.
  return QDesktopServices::openUrl(QUrl::fromLocalFile(strAbsolute));
}

void CShell::SetOpenHook(std::function<void(const QString&)> hook) { OpenHook() = std::move(hook); }

}  // namespace quillmere
