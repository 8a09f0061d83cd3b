#pragma once

#include <functional>
#include <optional>

#include <QString>

class QWidget;

namespace quillmere {

// The file-open dialog. GUI thread only. A test queues results with SetNextResult so
// no dialog is shown.
class CFileChooser {
 public:
  // Shows the dialog, starting at strInitial. A name typed without a suffix gets
  // strDefaultSuffix; the file need not exist yet. Returns the full path chosen, or
  // nothing when the user cancelled.
  static std::optional<QString> GetOpenFileName(QWidget* pParent, const QString& strInitial,
                                                const QString& strDefaultSuffix);

  // Tests: the result of the next dialog (nothing = cancelled), in the order queued.
  static void SetNextResult(std::optional<QString> strPath);
  // Tests: sees the initial name of each dialog as it comes.
  static void SetObserver(std::function<void(const QString& strInitial)> observer);
  static void Reset();
};

}  // namespace quillmere
