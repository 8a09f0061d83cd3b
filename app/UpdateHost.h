#pragma once

#include "update/UpdateCheck.h"

class QWidget;

namespace quillmere {

// The main window as the update check's host. The check's thread calls it; each call
// posts its work to the GUI thread and returns at once. The window must outlive the
// check's use of the host (CProgramVersion::StopUpdateCheck ends that use).
class CGuiUpdateHost final : public IUpdateHost {
 public:
  explicit CGuiUpdateHost(QWidget& wndMain) : m_wndMain(wndMain) {}

  // A window-modal question on the main window.
  std::future<bool> AskYesNo(const std::string& strText) override;
  bool StartScript(const std::string& strDir, const std::string& strScript) override;
  // Closes the main window through its close handling, which asks first during a run.
  void RequestClose() override;

 private:
  QWidget& m_wndMain;
};

}  // namespace quillmere
