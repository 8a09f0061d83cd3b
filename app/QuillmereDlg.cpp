#include "app/QuillmereDlg.h"

#include <chrono>
#include <string>
#include <system_error>

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>

#include "app/DialogUnits.h"
#include "platform/CurlHttp.h"
#include "platform/qt/FileChooser.h"
#include "platform/qt/MessageBox.h"
#include "platform/qt/SettingsProfile.h"
#include "platform/qt/Shell.h"
#include "ui/StatusPaint.h"
#include "ui/StatusText.h"

namespace quillmere {

namespace {

constexpr int kRefreshMs = 100;
constexpr std::chrono::milliseconds kStopPoll{10};
// The file chooser has always been handed at most this many bytes of the path.
constexpr size_t kMaxInitialName = 259;

// The window's layout in dialog units, in tab order.
enum class EControl { Button, DefaultButton, EditBox, Panel, Label, CheckBox };
struct SControlTemplate {
  int nId;
  const char* pszName;
  EControl eKind;
  const char* pszCaption;
  int x, y, cx, cy;
};
constexpr int kClientWidth = 471;
constexpr int kClientHeight = 138;
constexpr SControlTemplate kControls[] = {
    {IDC_RUN, "IDC_RUN", EControl::Button, "RUN", 203, 7, 47, 17},
    {IDOK, "IDOK", EControl::DefaultButton, "Close", 258, 7, 46, 17},
    {IDC_CFGFILE, "IDC_CFGFILE", EControl::EditBox, "", 15, 26, 448, 16},
    {IDC_SELECT, "IDC_SELECT", EControl::Button, "Select", 95, 7, 47, 17},
    {IDC_STATUS, "IDC_STATUS", EControl::Panel, "", 15, 50, 448, 82},
    {IDC_EDIT, "IDC_EDIT", EControl::Button, "Edit", 149, 7, 47, 17},
    {-1, "IDC_STATIC", EControl::Label, "Configuration file:", 23, 14, 61, 8},
    {IDC_TESTMODE, "IDC_TESTMODE", EControl::CheckBox, "Test Mode", 311, 15, 49, 10},
};

// The first nMax bytes of strText, not cutting a UTF-8 character in two.
std::string CutToBytes(const std::string& strText, size_t nMax) {
  if (strText.size() <= nMax) return strText;
  size_t nEnd = nMax;
  while (nEnd > 0 && (static_cast<unsigned char>(strText[nEnd]) & 0xC0) == 0x80) --nEnd;
  return strText.substr(0, nEnd);
}

QIcon LoadMainIcon() {
  QIcon icon;
  for (int nSize : {16, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/%1/quillmere.png").arg(nSize), QSize(nSize, nSize));
  }
  return icon;
}

}  // namespace

CStatusPanel::CStatusPanel(CQuillmereDlg& dlg, QWidget* pParent) : QWidget(pParent), m_dlg(dlg) {
  // Every paint covers the whole area.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CStatusPanel::paintEvent(QPaintEvent* /*pEvent*/) {
  QPainter painter(this);
  m_dlg.DrawStatus(painter, rect());
}

CQuillmereDlg::CQuillmereDlg(IFileSystem& fs, IClock& clock)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      detail::SGuiHostHolder(*this),
      CQuillmereJob(m_guiHost, fs, clock),
      m_hIcon(LoadMainIcon()) {
  setObjectName(QStringLiteral("IDD_MAIN"));
  setWindowTitle(QStringLiteral("Quillmere"));
  setSizeGripEnabled(false);

  const SDialogUnits units = SDialogUnits::FromFont(font());
  setFixedSize(units.ToPixels(0, 0, kClientWidth, kClientHeight).size());

  QWidget* pPrevious = nullptr;
  for (const SControlTemplate& control : kControls) {
    QWidget* pWidget = nullptr;
    const QString strCaption = QString::fromLatin1(control.pszCaption);
    switch (control.eKind) {
      case EControl::Button:
      case EControl::DefaultButton: {
        auto* pButton = new QPushButton(strCaption, this);
        pButton->setAutoDefault(true);
        pButton->setDefault(control.eKind == EControl::DefaultButton);
        pWidget = pButton;
        break;
      }
      case EControl::EditBox: pWidget = new QLineEdit(this); break;
      case EControl::Panel:
        pWidget = new CStatusPanel(*this, this);
        pWidget->setFocusPolicy(Qt::NoFocus);
        break;
      case EControl::Label: {
        auto* pLabel = new QLabel(strCaption, this);
        pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        pWidget = pLabel;
        break;
      }
      case EControl::CheckBox: pWidget = new QCheckBox(strCaption, this); break;
    }
    pWidget->setObjectName(QString::fromLatin1(control.pszName));
    pWidget->setProperty("controlId", control.nId);
    pWidget->setGeometry(units.ToPixels(control.x, control.y, control.cx, control.cy));
    if (pWidget->focusPolicy() != Qt::NoFocus) {
      if (pPrevious) setTabOrder(pPrevious, pWidget);
      pPrevious = pWidget;
    }
  }
  m_pRun = findChild<QPushButton*>(QStringLiteral("IDC_RUN"));
  m_pOk = findChild<QPushButton*>(QStringLiteral("IDOK"));
  m_pCfgFile = findChild<QLineEdit*>(QStringLiteral("IDC_CFGFILE"));
  m_pSelect = findChild<QPushButton*>(QStringLiteral("IDC_SELECT"));
  m_pStatus = findChild<CStatusPanel*>(QStringLiteral("IDC_STATUS"));
  m_pEdit = findChild<QPushButton*>(QStringLiteral("IDC_EDIT"));
  m_pTestMode = findChild<QCheckBox*>(QStringLiteral("IDC_TESTMODE"));

  connect(m_pRun, &QPushButton::clicked, this, [this] { OnRun(); });
  connect(m_pOk, &QPushButton::clicked, this, [this] { accept(); });
  connect(m_pSelect, &QPushButton::clicked, this, [this] { OnSelect(); });
  connect(m_pEdit, &QPushButton::clicked, this, [this] { OnEdit(); });
  auto* pHelp = new QShortcut(QKeySequence::HelpContents, this);
  connect(pHelp, &QShortcut::activated, this, [this] { OnHelp(); });

  m_pTimerRefresh = new QTimer(this);
  m_pTimerRefresh->setObjectName(QString::number(TIMER_REFRESH));
  m_pTimerRefresh->setInterval(kRefreshMs);
  connect(m_pTimerRefresh, &QTimer::timeout, this, [this] { OnTimer(); });
}

CQuillmereDlg::~CQuillmereDlg() {
  // First, while the window that its question and close request go to still exists.
  m_version.StopUpdateCheck();
  // Normally ConfirmStop has waited already; never leave a worker on a destroyed job.
  if (m_bRunning) g_bStop = true;
  JoinWorker();
  OnDestroy();
}

int CQuillmereDlg::DoModal() {
  OnInitDialog();
  return exec();
}

bool CQuillmereDlg::OnInitDialog() {
  DoDataExchange(EExchange::ToControls);
  setWindowIcon(m_hIcon);
  // Errors are reported before the window is shown; a failing file starts nothing.
  if (LoadConfig() && m_bAutoRun) OnRun();
  DoDataExchange(EExchange::ToControls);
  // After any automatic start.
  StartUpdateCheck();
  (m_pRun->isEnabled() ? m_pRun : m_pOk)->setFocus();
  return true;
}

void CQuillmereDlg::DoDataExchange(EExchange eDirection) {
  if (eDirection == EExchange::ToControls) {
    m_pCfgFile->setText(QFile::decodeName(m_strCfgFile.c_str()));
    m_pTestMode->setChecked(m_bTestMode);
  } else {
    m_strCfgFile = QFile::encodeName(m_pCfgFile->text()).toStdString();
    m_bTestMode = m_pTestMode->isChecked();
  }
}

void CQuillmereDlg::OnRun() {
  // The job holds one run: reloading would delete the pairs the worker is using.
  if (m_bRunning) return;
  JoinWorker();  // an earlier run's thread, past its last step
  DoDataExchange(EExchange::FromControls);
  if (!LoadConfig()) return;
  // Set before the thread starts, so a close in the meantime is asked about.
  m_bRunning = true;
  try {
    m_worker = std::thread(WorkerThreadProc, this);
    EnableRunControls(false);
  } catch (const std::system_error&) {
    m_bRunning = false;
  }
  m_pTimerRefresh->start();  // restarts an armed timer rather than adding one
}

void CQuillmereDlg::OnSelect() {
  DoDataExchange(EExchange::FromControls);
  const QString strInitial = QFile::decodeName(CutToBytes(m_strCfgFile, kMaxInitialName).c_str());
  const std::optional<QString> strChosen =
      CFileChooser::GetOpenFileName(this, strInitial, QStringLiteral("txt"));
  if (!strChosen) return;
  // Loaded at the next RUN, not now.
  m_strCfgFile = QFile::encodeName(*strChosen).toStdString();
  DoDataExchange(EExchange::ToControls);
}

void CQuillmereDlg::OnEdit() {
  // The path held, not what has been typed into the box since.
  CShell::OpenDocument(m_strCfgFile);
}

QString CQuillmereDlg::FindHelpPage() {
  const QDir dirProgram(QCoreApplication::applicationDirPath());
  const QString arrCandidates[] = {
      dirProgram.filePath(QStringLiteral("quillmere.html")),
      dirProgram.filePath(QStringLiteral(QUILLMERE_DOC_FROM_BIN "/quillmere.html")),
  };
  for (const QString& strPath : arrCandidates) {
    if (QFileInfo(strPath).isFile()) return QDir::cleanPath(strPath);
  }
  return QString();
}

void CQuillmereDlg::OnHelp() {
  const QString strPage = FindHelpPage();
  QString strProblem;
  if (strPage.isEmpty()) {
    strProblem = QStringLiteral("Can not find the help page quillmere.html");
  } else if (!CShell::OpenDocument(QFile::encodeName(strPage).toStdString())) {
    // Say where the page is, so it can be opened by hand.
    strProblem = QStringLiteral("Can not open the help page ") + strPage;
  }
  if (!strProblem.isEmpty()) {
    CMessageBox::Show(this, {QCoreApplication::applicationName(), strProblem, EMsgIcon::Error,
                             EMsgButtons::Ok});
  }
}

bool CQuillmereDlg::ConfirmStop() {
  // A close that arrives while the question is open waits for its answer.
  if (m_bAskingToStop) return false;
  if (m_bRunning) {
    m_bAskingToStop = true;
    const EMsgAnswer eAnswer = CMessageBox::Show(
        this, {QStringLiteral("Warnibg"),
               QStringLiteral("Pellquist is running, are you sure you want to stop and exit ?"),
               EMsgIcon::Warning, EMsgButtons::YesNo});
    m_bAskingToStop = false;
    if (eAnswer != EMsgAnswer::Yes) return false;
    g_bStop = true;
    // No events are handled while waiting, so no handler runs again meanwhile. The
    // worker never waits for this thread once the stop is raised; the panel goes on
    // being painted.
    for (int nPolls = 1; m_bRunning; ++nPolls) {
      std::this_thread::sleep_for(kStopPoll);
      if (nPolls % (kRefreshMs / kStopPoll.count()) == 0) m_pStatus->repaint();
    }
    JoinWorker();
    // The log the run has shown, and no question box left behind.
    m_guiHost.DeliverRequests(CGuiHost::EDeliver::DocumentsOnly);
  }
  m_pTimerRefresh->stop();
  return true;
}

void CQuillmereDlg::OnOK() {
  if (!ConfirmStop()) return;
  DoDataExchange(EExchange::FromControls);
  QDialog::accept();
}

void CQuillmereDlg::OnCancel() {
  if (!ConfirmStop()) return;
  QDialog::reject();
}

void CQuillmereDlg::accept() { OnOK(); }

void CQuillmereDlg::reject() { OnCancel(); }

void CQuillmereDlg::closeEvent(QCloseEvent* pEvent) {
  if (!ConfirmStop()) {
    pEvent->ignore();
    return;
  }
  // As the window frame's close has always done: on to Cancel, which checks again.
  OnCancel();
  pEvent->accept();
}

void CQuillmereDlg::OnTimer() {
  if (!m_bRunning && m_worker.joinable()) {
    JoinWorker();
    EnableRunControls(true);
  }
  m_guiHost.DeliverRequests();
  m_pStatus->update();
}

void CQuillmereDlg::DrawStatus(QPainter& painter, const QRect& rcPanel) {
  PaintStatusView(painter, rcPanel, ComputeStatusView(TakeStatusSnapshot(*this, m_clock.Now())));
}

void CQuillmereDlg::OnFocusClose() { m_pOk->setFocus(); }

void CQuillmereDlg::OnDestroy() { FreeFolders(); }

void CQuillmereDlg::StartUpdateCheck() {
  std::string strServer = m_strUpdateServer;
  while (!strServer.empty() && strServer.back() == '/') strServer.pop_back();
  if (strServer.empty()) return;
  if (!m_pHttp) m_pHttp = std::make_shared<CCurlHttp>();
  if (!m_pProfile) m_pProfile = std::make_shared<CSettingsProfile>();
  // The system clock lives as long as the process; the check may outlive the window.
  std::shared_ptr<IClock> pClock(&SystemClock(), [](IClock*) {});
  m_version.StartUpdateCheck(strServer + kUpdateQueryPath,
                             QCoreApplication::applicationName().toStdString(),
                             {m_pHttp, m_pProfile, std::move(pClock)}, m_updateHost);
}

void CQuillmereDlg::JoinWorker() {
  if (m_worker.joinable()) m_worker.join();
}

void CQuillmereDlg::EnableRunControls(bool bEnable) {
  m_pRun->setEnabled(bEnable);
  m_pTestMode->setEnabled(bEnable);
}

}  // namespace quillmere
