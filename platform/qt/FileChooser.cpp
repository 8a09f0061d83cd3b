#include "platform/qt/FileChooser.h"

#include <utility>

#include <QFileDialog>

#include "platform/qt/QueuedAnswers.h"

namespace quillmere {

namespace {

// Requests are the initial names; an answer is a chosen path, or nothing for Cancel.
CQueuedAnswers<QString, std::optional<QString>>& TestAnswers() {
  static CQueuedAnswers<QString, std::optional<QString>> s_answers;
  return s_answers;
}

}  // namespace

std::optional<QString> CFileChooser::GetOpenFileName(QWidget* pParent, const QString& strInitial,
                                                     const QString& strDefaultSuffix) {
  if (std::optional<std::optional<QString>> strQueued = TestAnswers().Take(strInitial)) {
    return *strQueued;
  }
  QFileDialog dialog(pParent);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(strDefaultSuffix);
  if (!strInitial.isEmpty()) dialog.selectFile(strInitial);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

void CFileChooser::SetNextResult(std::optional<QString> strPath) {
  TestAnswers().Queue(std::move(strPath));
}

void CFileChooser::SetObserver(std::function<void(const QString&)> observer) {
  TestAnswers().SetObserver(std::move(observer));
}

void CFileChooser::Reset() { TestAnswers().Reset(); }

}  // namespace quillmere
