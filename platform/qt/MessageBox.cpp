#include "platform/qt/MessageBox.h"

#include <optional>
#include <utility>

#include <QMessageBox>

namespace quillmere {

namespace {

std::deque<EMsgAnswer>& NextAnswers() {
  static std::deque<EMsgAnswer> s_arrAnswers;
  return s_arrAnswers;
}

std::function<void(const CMessageBox::SBox&)>& Observer() {
  static std::function<void(const CMessageBox::SBox&)> s_observer;
  return s_observer;
}

// Reports the box to the observer and takes a queued answer, if there is one.
std::optional<EMsgAnswer> Announce(const CMessageBox::SBox& box) {
  if (Observer()) Observer()(box);
  if (NextAnswers().empty()) return std::nullopt;
  const EMsgAnswer eAnswer = NextAnswers().front();
  NextAnswers().pop_front();
  return eAnswer;
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
  if (std::optional<EMsgAnswer> eQueued = Announce(box)) return *eQueued;
  QMessageBox* pBox = MakeBox(pParent, box);
  const int nResult = pBox->exec();
  delete pBox;
  return ToAnswer(nResult);
}

QMessageBox* CMessageBox::Open(QWidget* pParent, const SBox& box,
                               std::function<void(EMsgAnswer)> onAnswer) {
  if (std::optional<EMsgAnswer> eQueued = Announce(box)) {
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

void CMessageBox::SetNextAnswer(EMsgAnswer eAnswer) { NextAnswers().push_back(eAnswer); }

void CMessageBox::SetObserver(std::function<void(const SBox&)> observer) {
  Observer() = std::move(observer);
}

void CMessageBox::Reset() {
  NextAnswers().clear();
  Observer() = nullptr;
}

}  // namespace quillmere
