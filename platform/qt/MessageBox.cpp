#include "platform/qt/MessageBox.h"

#include <memory>
#include <optional>
#include <utility>

#include <QMessageBox>

#include "platform/qt/QueuedAnswers.h"

namespace quillmere {

namespace {

CQueuedAnswers<CMessageBox::SBox, EMsgAnswer>& TestAnswers() {
  static CQueuedAnswers<CMessageBox::SBox, EMsgAnswer> s_answers;
  return s_answers;
}

QMessageBox::Icon ToQtIcon(EMsgIcon eIcon) {
  switch (eIcon) {
    case EMsgIcon::Error: return QMessageBox::Critical;
    case EMsgIcon::Warning: return QMessageBox::Warning;
    case EMsgIcon::Question: return QMessageBox::Question;
    case EMsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox* MakeBox(QWidget* pParent, const CMessageBox::SBox& box) {
  const QMessageBox::StandardButtons buttons = box.eButtons == EMsgButtons::YesNo
                                                   ? QMessageBox::Yes | QMessageBox::No
                                                   : QMessageBox::StandardButtons(QMessageBox::Ok);
  auto* pBox = new QMessageBox(ToQtIcon(box.eIcon), box.strCaption, box.strText, buttons, pParent);
  // Texts may carry paths and system messages: never interpret them as markup.
  pBox->setTextFormat(Qt::PlainText);
  pBox->setEscapeButton(box.eButtons == EMsgButtons::YesNo ? QMessageBox::No : QMessageBox::Ok);
  return pBox;
}

EMsgAnswer ToAnswer(int nResult) {
  switch (nResult) {
    case QMessageBox::Yes: return EMsgAnswer::Yes;
    case QMessageBox::Ok: return EMsgAnswer::Ok;
    default: return EMsgAnswer::No;
  }
}

}  // namespace

EMsgAnswer CMessageBox::Show(QWidget* pParent, const SBox& box) {
  if (std::optional<EMsgAnswer> eQueued = TestAnswers().Take(box)) return *eQueued;
  const std::unique_ptr<QMessageBox> pBox(MakeBox(pParent, box));
  return ToAnswer(pBox->exec());
}

QMessageBox* CMessageBox::Open(QWidget* pParent, const SBox& box,
                               std::function<void(EMsgAnswer)> onAnswer) {
  if (std::optional<EMsgAnswer> eQueued = TestAnswers().Take(box)) {
    onAnswer(*eQueued);
    return nullptr;
  }
  QMessageBox* pBox = MakeBox(pParent, box);
  pBox->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(pBox, &QMessageBox::finished, pBox,
                   [onAnswer = std::move(onAnswer)](int nResult) { onAnswer(ToAnswer(nResult)); });
  pBox->open();
  return pBox;
}

void CMessageBox::SetNextAnswer(EMsgAnswer eAnswer) { TestAnswers().Queue(eAnswer); }

void CMessageBox::SetObserver(std::function<void(const SBox&)> observer) {
  TestAnswers().SetObserver(std::move(observer));
}

void CMessageBox::Reset() { TestAnswers().Reset(); }

}  // namespace quillmere
