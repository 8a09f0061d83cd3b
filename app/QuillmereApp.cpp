#include "app/QuillmereApp.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include "app/QuillmereDlg.h"

namespace quillmere {

std::string CommandLineConfigPath(int argc, char** argv) {
  std::string strPath;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) strPath += ' ';
    strPath += argv[i];
  }
  return strPath;
}

QString ApplicationNameOf(const QString& strProgramPath) {
  return QFileInfo(strProgramPath).completeBaseName();
}

bool CQuillmereApp::InitInstance(int argc, char** argv) {
  // The profile (per user) is kept under the company key, then the application name;
  // message boxes are captioned with the application name.
  QCoreApplication::setOrganizationName(QString::fromLatin1(kCompanyKey));
  QCoreApplication::setApplicationName(
      ApplicationNameOf(QCoreApplication::applicationFilePath()));
  QGuiApplication::setDesktopFileName(QStringLiteral("quillmere"));

  CQuillmereDlg dlg;
  const std::string strCfgFile = CommandLineConfigPath(argc, argv);
  if (!strCfgFile.empty()) dlg.m_strCfgFile = strCfgFile;
  dlg.m_strUpdateServer = m_strUpdateServer;
  dlg.DoModal();
  return false;
}

}  // namespace quillmere
