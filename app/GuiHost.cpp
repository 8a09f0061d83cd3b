#include "app/GuiHost.h"

#include <chrono>
#include <utility>

#include <QCoreApplication>
#include <QMessageBox>

#include "app/QuillmereDlg.h"
#include "engine/QuillmereJob.h"
#include "platform/qt/MessageBox.h"
#include "platform/qt/Shell.h"

namespace quillmere {

namespace {

constexpr std::chrono::milliseconds kAnswerPoll{10};

CMessageBox::SBox AppBox(const std::string& strText, EMsgIcon eIcon, EMsgButtons eButtons) {
  return {QCoreApplication::applicationName(), QString::fromStdString(strText), eIcon, eButtons};
}

}  // namespace

CGuiHost::CGuiHost(CQuillmereDlg& dlg) : m_dlg(dlg), m_idGui(std::this_thread::get_id()) {}

void CGuiHost::ShowMessage(const std::string& strText, EMsgIcon eIcon) {
  CMessageBox::Show(&m_dlg, AppBox(strText, eIcon, EMsgButtons::Ok));
}

bool CGuiHost::AskYesNo(const std::string& strText) {
  if (OnGuiThread()) {
    return CMessageBox::Show(&m_dlg, AppBox(strText, EMsgIcon::None, EMsgButtons::YesNo)) ==
           EMsgAnswer::Yes;
  }
  auto pQuestion = std::make_shared<SQuestion>();
  pQuestion->strText = strText;
  std::unique_lock lock(m_mutex);
  m_arrRequests.push_back({ERequest::Question, std::string(), pQuestion});
  while (!pQuestion->bAnswered) {
    if (g_bStop) {
      pQuestion->bAbandoned = true;
      return false;
    }
    m_cvAnswer.wait_for(lock, kAnswerPoll);
  }
  return pQuestion->bYes;
}

void CGuiHost::OpenDocument(const std::string& strPath) {
  if (OnGuiThread()) {
    CShell::OpenDocument(strPath);
    return;
  }
  Queue({ERequest::OpenDocument, strPath, nullptr});
}

void CGuiHost::FocusClose() {
  if (OnGuiThread()) {
    m_dlg.OnFocusClose();
    return;
  }
  Queue({ERequest::FocusClose, std::string(), nullptr});
}

void CGuiHost::RequestClose() {
  if (OnGuiThread()) {
    m_dlg.close();
    return;
  }
  Queue({ERequest::RequestClose, std::string(), nullptr});
}

void CGuiHost::Queue(SRequest request) {
  std::lock_guard lock(m_mutex);
  m_arrRequests.push_back(std::move(request));
}

void CGuiHost::DeliverRequests(EDeliver eDeliver) {
  std::vector<SRequest> arrRequests;
  std::vector<QPointer<QMessageBox>> arrAbandonedBoxes;
  {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_arrOpen, [&arrAbandonedBoxes](const std::shared_ptr<SQuestion>& pQuestion) {
      if (pQuestion->bAbandoned) arrAbandonedBoxes.push_back(pQuestion->pBox);
      return pQuestion->bAnswered || pQuestion->bAbandoned;
    });
    if (eDeliver == EDeliver::All) {
      arrRequests.swap(m_arrRequests);
    } else {
      std::erase_if(m_arrRequests, [&arrRequests](SRequest& request) {
        if (request.eKind != ERequest::OpenDocument) return false;
        arrRequests.push_back(std::move(request));
        return true;
      });
    }
  }
  // Outside the lock: closing a box answers it, which takes the lock, and a box or a
  // close runs the event loop while the worker may need the lock.
  // Questions the worker has given up: their boxes close, and nothing follows.
  for (const QPointer<QMessageBox>& pBox : arrAbandonedBoxes) {
    if (pBox) pBox->done(QMessageBox::No);
  }
  for (SRequest& request : arrRequests) {
    switch (request.eKind) {
      case ERequest::Question: OpenQuestion(request.pQuestion); break;
      case ERequest::OpenDocument: CShell::OpenDocument(request.strPath); break;
      case ERequest::FocusClose: m_dlg.OnFocusClose(); break;
      case ERequest::RequestClose: m_dlg.close(); break;
    }
  }
}

void CGuiHost::OpenQuestion(const std::shared_ptr<SQuestion>& pQuestion) {
  {
    std::lock_guard lock(m_mutex);
    if (pQuestion->bAbandoned) return;
  }
  m_arrOpen.push_back(pQuestion);
  pQuestion->pBox = CMessageBox::Open(
      &m_dlg, AppBox(pQuestion->strText, EMsgIcon::None, EMsgButtons::YesNo),
      [this, pQuestion](EMsgAnswer eAnswer) {
        std::lock_guard lock(m_mutex);
        pQuestion->bYes = eAnswer == EMsgAnswer::Yes;
        pQuestion->bAnswered = true;
        m_cvAnswer.notify_all();
      });
}

}  // namespace quillmere
