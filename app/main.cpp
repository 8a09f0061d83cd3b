// quillmere: the window of Quillmere.

#include <QApplication>

#include "app/QuillmereApp.h"

int main(int argc, char** argv) {
  // Takes Qt's own options (such as -platform) out of argc and argv.
  QApplication app(argc, argv);
  quillmere::CQuillmereApp theApp;
  theApp.m_strUpdateServer = QUILLMERE_UPDATE_SERVER_ADDRESS;
  theApp.InitInstance(argc, argv);
  return 0;
}
