#pragma once

#include <memory>
#include <string>
#include <thread>

#include <QDialog>
#include <QIcon>
#include <QTimer>
#include <QWidget>

#include "app/GuiHost.h"
#include "app/UpdateHost.h"
#include "engine/QuillmereJob.h"
#include "platform/Http.h"
#include "platform/Profile.h"
#include "update/ProgramVersion.h"

class QCheckBox;
class QCloseEvent;
class QLineEdit;
class QPainter;
class QPaintEvent;
class QPushButton;

namespace quillmere {

// Identifiers of the main window and its controls. Each control carries its id in the
// "controlId" property and its name as objectName.
enum : int {
  IDOK = 1,
  IDC_RUN = 1000,
  IDC_CFGFILE = 1001,
  IDC_SELECT = 1002,
  IDC_STATUS = 1003,
  IDC_EDIT = 1004,
  IDC_TESTMODE = 1006,
  TIMER_REFRESH = 101,  // objectName of the refresh timer
};

class CQuillmereDlg;

// The area of the status panel. It draws nothing of its own: the dialog paints it.
class CStatusPanel final : public QWidget {
 public:
  CStatusPanel(CQuillmereDlg& dlg, QWidget* pParent);

 protected:
  void paintEvent(QPaintEvent* pEvent) override;

 private:
  CQuillmereDlg& m_dlg;
};

namespace detail {
// Base of the dialog that holds its host, so the host exists before the job state that
// is given it.
struct SGuiHostHolder {
  explicit SGuiHostHolder(CQuillmereDlg& dlg) : m_guiHost(dlg) {}
  CGuiHost m_guiHost;
};
}  // namespace detail

// The main window: the configuration file box with Select and Edit, RUN, Close, the
// Test Mode box and the status panel. It is the job state too, so every member of the
// job is a member of the window. All its operations run on the GUI thread; the worker
// reaches the window only through the host (CGuiHost).
class CQuillmereDlg final : public QDialog,
                            private detail::SGuiHostHolder,
                            public CQuillmereJob {
  Q_OBJECT

 public:
  // fs and clock must outlive the window.
  explicit CQuillmereDlg(IFileSystem& fs = RealFileSystem(), IClock& clock = SystemClock());
  // Ends the update check without waiting for the network or its question, stops and
  // waits for a run that is still active, then deletes the folder pairs.
  ~CQuillmereDlg() override;

  // Initialises the window and runs it modally; returns once it has closed.
  int DoModal();
  // Icon, first configuration load, automatic start and the update check, before the
  // window is shown. Returns true.
  bool OnInitDialog();

  enum class EExchange { ToControls, FromControls };
  // Binds the configuration file box to m_strCfgFile and the Test Mode box to
  // m_bTestMode, in the direction given.
  void DoDataExchange(EExchange eDirection);

  // RUN: reloads the configuration and, when that works, starts the worker and the
  // refresh timer. Ignored while a run is active.
  void OnRun();
  void OnSelect();
  void OnEdit();
  void OnHelp();
  // Every way of closing passes here. During a run the user is asked; on Yes the run is
  // stopped and waited for. Returns whether closing may go on.
  bool ConfirmStop();
  void OnOK();
  void OnCancel();
  // The refresh tick: carries out the worker's requests and repaints the panel.
  void OnTimer();
  // Paints the status panel into rcPanel from the job state as it is now.
  void DrawStatus(QPainter& painter, const QRect& rcPanel);
  // Moves the keyboard focus to Close.
  void OnFocusClose();

  // The help page shown by F1, or an empty text when it cannot be found.
  static QString FindHelpPage();

  // Asks the version service, on a thread of its own, whether another release exists.
  // Does nothing without a service address.
  void StartUpdateCheck();

  // Where the program lies, its version, and this start's update check.
  CProgramVersion m_version;
  // The version service: scheme, host and optional port; empty for no update check.
  std::string m_strUpdateServer;
  // The per-user profile and the HTTP client of the update check: QSettings and libcurl
  // unless a test sets others before the window is initialised.
  std::shared_ptr<IProfile> m_pProfile;
  std::shared_ptr<IHttp> m_pHttp;

 public slots:
  void accept() override;
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* pEvent) override;

 private:
  void OnDestroy();
  void JoinWorker();
  void EnableRunControls(bool bEnable);

  QIcon m_hIcon;
  QPushButton* m_pRun = nullptr;
  QPushButton* m_pOk = nullptr;
  QLineEdit* m_pCfgFile = nullptr;
  QPushButton* m_pSelect = nullptr;
  CStatusPanel* m_pStatus = nullptr;
  QPushButton* m_pEdit = nullptr;
  QCheckBox* m_pTestMode = nullptr;
  QTimer* m_pTimerRefresh = nullptr;
  CGuiUpdateHost m_updateHost{*this};  // used by m_version's check until it is stopped
  std::thread m_worker;          // the run's thread, joined once it has cleared m_bRunning
  bool m_bAskingToStop = false;  // the stop question is open
};

}  // namespace quillmere
