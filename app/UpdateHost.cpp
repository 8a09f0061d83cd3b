#include "app/UpdateHost.h"

#include <memory>

#include <QCoreApplication>
#include <QMetaObject>
#include <QWidget>

#include "platform/Process.h"
#include "platform/qt/MessageBox.h"

namespace quillmere {

std::future<bool> CGuiUpdateHost::AskYesNo(const std::string& strText) {
  auto pAnswer = std::make_shared<std::promise<bool>>();
  std::future<bool> answer = pAnswer->get_future();
  // Line ends are "\r\n" in the question; a label on this system wants "\n" alone.
  QString strShown = QString::fromStdString(strText);
  strShown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QWidget* pWnd = &m_wndMain;
  // When the window goes before the box is answered, the promise goes with the box and
  // the future reports that no answer came.
  QMetaObject::invokeMethod(
      pWnd,
      [pWnd, strShown, pAnswer] {
        CMessageBox::Open(
            pWnd,
            {QCoreApplication::applicationName(), strShown, EMsgIcon::Question, EMsgButtons::YesNo},
            [pAnswer](EMsgAnswer eAnswer) { pAnswer->set_value(eAnswer == EMsgAnswer::Yes); });
      },
      Qt::QueuedConnection);
  return answer;
}

bool CGuiUpdateHost::StartScript(const std::string& strDir, const std::string& strScript) {
  return StartDetached("/bin/sh", {strScript}, strDir).Ok();
}

void CGuiUpdateHost::RequestClose() {
  QWidget* pWnd = &m_wndMain;
  QMetaObject::invokeMethod(
      pWnd, [pWnd] { pWnd->close(); }, Qt::QueuedConnection);
}

}  // namespace quillmere
