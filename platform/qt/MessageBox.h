#pragma once

#include <functional>

#include <QString>

#include "platform/Host.h"

class QMessageBox;
class QWidget;

namespace quillmere {

enum class EMsgButtons { Ok, YesNo };
enum class EMsgAnswer { Ok, Yes, No };

// The window's message boxes, always plain text. GUI thread only.
//
// A test queues answers with SetNextAnswer; a box that finds an answer waiting is not
// shown but answered at once, so no test ever blocks on one. Every box, shown or
// answered from the queue, is reported to the observer first.
class CMessageBox {
 public:
  struct SBox {
    QString strCaption;
    QString strText;
    EMsgIcon eIcon = EMsgIcon::None;
    EMsgButtons eButtons = EMsgButtons::Ok;
  };

  // A modal box; returns once the user has answered. Escape answers No (or Ok).
  static EMsgAnswer Show(QWidget* pParent, const SBox& box);

  // A window-modal box that returns at once; onAnswer runs on the GUI thread when the
  // box is answered (before Open returns, when the answer was queued). Returns the box,
  // deleted when it closes, or nullptr when the answer came from the queue. Closing it
  // with done(QMessageBox::No) answers No.
  static QMessageBox* Open(QWidget* pParent, const SBox& box,
                           std::function<void(EMsgAnswer)> onAnswer);

  // Tests: the answer of the next box, in the order queued.
  static void SetNextAnswer(EMsgAnswer eAnswer);
  // Tests: sees each box as it comes; an empty function removes the observer.
  static void SetObserver(std::function<void(const SBox&)> observer);
  // Tests: forgets queued answers and the observer.
  static void Reset();
};

}  // namespace quillmere
