#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QPointer>

#include "platform/Host.h"

class QMessageBox;

namespace quillmere {

class CQuillmereDlg;

// The main window as the engine's host.
//
// The worker never calls into Qt and never waits for the GUI thread: what it asks of
// the window is queued here, and the GUI thread carries it out on its next refresh tick
// (DeliverRequests). A question is the one request the worker waits for, in short steps,
// and it gives up with No as soon as a stop is requested, so the GUI thread may wait for
// the worker at any time without a deadlock.
class CGuiHost final : public IHost {
 public:
  // Created on the GUI thread; dlg must outlive the host.
  explicit CGuiHost(CQuillmereDlg& dlg);

  // GUI thread (the configuration loader): a modal box with OK.
  void ShowMessage(const std::string& strText, EMsgIcon eIcon) override;
  // Any thread. On the worker: queues the question and waits for the answer; No when a
  // stop is requested meanwhile (the box is then closed without effect).
  bool AskYesNo(const std::string& strText) override;
  // Any thread; from the worker, carried out on the next tick.
  void OpenDocument(const std::string& strPath) override;
  void FocusClose() override;
  void RequestClose() override;

  enum class EDeliver { All, DocumentsOnly };
  // GUI thread: carries out what the worker asked for since the last call, in order,
  // and closes question boxes that the worker has given up on.
  void DeliverRequests(EDeliver eDeliver = EDeliver::All);

 private:
  struct SQuestion {
    std::string strText;
    bool bAnswered = false;  // guarded by m_mutex
    bool bYes = false;       // guarded by m_mutex
    bool bAbandoned = false; // guarded by m_mutex
    QPointer<QMessageBox> pBox;  // GUI thread only
  };
  enum class ERequest { Question, OpenDocument, FocusClose, RequestClose };
  struct SRequest {
    ERequest eKind;
    std::string strPath;
    std::shared_ptr<SQuestion> pQuestion;
  };

  bool OnGuiThread() const { return std::this_thread::get_id() == m_idGui; }
  void Queue(SRequest request);
  void OpenQuestion(const std::shared_ptr<SQuestion>& pQuestion);

  CQuillmereDlg& m_dlg;
  const std::thread::id m_idGui;
  std::mutex m_mutex;
  std::condition_variable m_cvAnswer;
  std::vector<SRequest> m_arrRequests;                   // guarded by m_mutex
  std::vector<std::shared_ptr<SQuestion>> m_arrOpen;     // GUI thread only
};

}  // namespace quillmere
