#include "platform/qt/FileChooser.h"

#include <utility>

#include <QFileDialog>

namespace quillmere {

namespace {

std::deque<std::optional<QString>>& NextResults() {
  static std::deque<std::optional<QString>> s_arrResults;
  return s_arrResults;
}

std::function<void(const QString&)>& Observer() {
  static std::function<void(const QString&)> s_observer;
  return s_observer;
}

}  // namespace

std::optional<QString> CFileChooser::GetOpenFileName(QWidget* pParent, const QString& strInitial,
                                                     const QString& strDefaultSuffix) {
  if (Observer()) Observer()(strInitial);
  if (!NextResults().empty()) {
    std::optional<QString> strResult = std::move(NextResults().front());
    NextResults().pop_front();
    return strResult;
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
  NextResults().push_back(std::move(strPath));
}

void CFileChooser::SetObserver(std::function<void(const QString&)> observer) {
  Observer() = std::move(observer);
}

void CFileChooser::Reset() {
  NextResults().clear();
  Observer() = nullptr;
}

}  // namespace quillmere
