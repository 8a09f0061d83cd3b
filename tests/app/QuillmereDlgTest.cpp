// The main window on the offscreen platform: layout, run control, closing, the
// worker's question and the panel's colours. Message boxes, the file chooser and the
// desktop's "open" go through their test hooks, so nothing here waits for a person.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/QuillmereApp.h"
#include "app/QuillmereDlg.h"
#include "engine/QuillmereJob.h"
#include "platform/qt/FileChooser.h"
#include "platform/qt/MessageBox.h"
#include "platform/qt/Shell.h"
#include "tests/support/MemFileSystem.h"
#include "tests/support/StepClock.h"
#include "tests/support/TempDir.h"

namespace quillmere {
namespace {

using test::CScopedTempDir;

const char kStopQuestion[] = "Pellquist is running, are you sure you want to stop and exit ?";
const char kLogQuestion[] = "Can not create Log file continue ?";
const SFileTime kOld{1'600'000'000, 0};

// An in-memory file system whose copies hold until the test opens the gate; a copy
// waiting at the gate keeps reporting progress, so a stop cancels it.
class CGateFileSystem : public test::CMemFileSystem {
 public:
  CSysError CopyFile(const std::string& strSrc, const std::string& strDst,
                     CopyProgressRoutine pfnProgress, void* pData) override {
    m_bCopying = true;
    while (!m_bOpen) {
      if (pfnProgress(1, 0, pData) == ECopyAnswer::Cancel) {
        if (m_onCancel) m_onCancel();
        return CSysError::FromCode(ECANCELED);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return CMemFileSystem::CopyFile(strSrc, strDst, pfnProgress, pData);
  }

  std::atomic<bool> m_bOpen{false};
  std::atomic<bool> m_bCopying{false};
  std::function<void()> m_onCancel;  // runs on the worker; set before the run
};

template <typename T>
T* Control(const CQuillmereDlg& dlg, const char* pszName) {
  T* pControl = dlg.findChild<T*>(QString::fromLatin1(pszName));
  if (!pControl) qFatal("no control %s", pszName);
  return pControl;
}

QTimer* RefreshTimer(const CQuillmereDlg& dlg) {
  return dlg.findChild<QTimer*>(QString::number(TIMER_REFRESH));
}

// Counts the paint events of a widget.
class CPaintCounter : public QObject {
 public:
  explicit CPaintCounter(QWidget* pWidget) { pWidget->installEventFilter(this); }
  int Count() const { return m_nPaints; }

 protected:
  bool eventFilter(QObject* /*pWatched*/, QEvent* pEvent) override {
    if (pEvent->type() == QEvent::Paint) ++m_nPaints;
    return false;
  }

 private:
  int m_nPaints = 0;
};

// The visible box of the window with this text, if any.
QMessageBox* OpenBox(const CQuillmereDlg& dlg, const char* pszText) {
  for (QMessageBox* pBox : dlg.findChildren<QMessageBox*>()) {
    if (pBox->isVisible() && pBox->text() == QString::fromLatin1(pszText)) return pBox;
  }
  return nullptr;
}

// A window over the gate file system, with one pair /src -> /dst holding one file, and
// a configuration file that names the pair after strOptions.
struct SGateWindow {
  explicit SGateWindow(const std::string& strOptions = std::string()) {
    fs.AddFile("/src/a.txt", "hello", kOld);
    fs.AddFolder("/dst");
    dlg.m_strCfgFile = dir.Sub("QuillmereCfg.txt");
    test::WriteFile(dlg.m_strCfgFile, strOptions + "COPYFROM=/src\r\nCOPYTO=/dst\r\n");
  }

  CScopedTempDir dir;
  test::CStepClock clock;
  CGateFileSystem fs;
  CQuillmereDlg dlg{fs, clock};
};

class TestQuillmereDlg : public QObject {
  Q_OBJECT

 private:
  std::vector<CMessageBox::SBox> m_arrBoxes;
  std::vector<QString> m_arrOpened;

  int BoxesWithText(const char* pszText) const {
    int n = 0;
    for (const CMessageBox::SBox& box : m_arrBoxes) n += box.strText == QLatin1String(pszText);
    return n;
  }

 private slots:
  void init() {
    g_bStop = false;
    m_arrBoxes.clear();
    m_arrOpened.clear();
    CMessageBox::Reset();
    CMessageBox::SetObserver([this](const CMessageBox::SBox& box) { m_arrBoxes.push_back(box); });
    CFileChooser::Reset();
    CShell::SetOpenHook([this](const QString& strPath) { m_arrOpened.push_back(strPath); });
  }

  void layout() {
    SGateWindow window;
    CQuillmereDlg& dlg = window.dlg;
    dlg.OnInitDialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    QCOMPARE(dlg.windowTitle(), QStringLiteral("Quillmere"));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    QVERIFY(!(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    struct SExpected {
      const char* pszName;
      int nId;
      const char* pszCaption;
    };
    const SExpected kExpected[] = {
        {"IDC_RUN", 1000, "RUN"},      {"IDOK", 1, "Close"},    {"IDC_SELECT", 1002, "Select"},
        {"IDC_EDIT", 1004, "Edit"},    {"IDC_TESTMODE", 1006, "Test Mode"},
    };
    for (const SExpected& control : kExpected) {
      auto* pButton = Control<QAbstractButton>(dlg, control.pszName);
      QCOMPARE(pButton->property("controlId").toInt(), control.nId);
      QCOMPARE(pButton->text(), QString::fromLatin1(control.pszCaption));
    }
    QCOMPARE(Control<QLineEdit>(dlg, "IDC_CFGFILE")->property("controlId").toInt(), 1001);
    QCOMPARE(Control<QWidget>(dlg, "IDC_STATUS")->property("controlId").toInt(), 1003);
    QVERIFY(dlg.findChild<QLabel*>(QStringLiteral("IDC_STATIC")) != nullptr);

    // Tab order, and the focus on RUN at the start.
    QCOMPARE(dlg.focusWidget(), Control<QWidget>(dlg, "IDC_RUN"));
    QStringList arrOrder;
    QWidget* pWidget = Control<QWidget>(dlg, "IDC_RUN");
    do {
      if (pWidget->focusPolicy() & Qt::TabFocus) arrOrder << pWidget->objectName();
      pWidget = pWidget->nextInFocusChain();
    } while (pWidget != Control<QWidget>(dlg, "IDC_RUN"));
    QCOMPARE(arrOrder, (QStringList{"IDC_RUN", "IDOK", "IDC_CFGFILE", "IDC_SELECT", "IDC_EDIT",
                                    "IDC_TESTMODE"}));
    // Close is the default button wherever the focus is not on another button.
    Control<QWidget>(dlg, "IDC_CFGFILE")->setFocus();
    QVERIFY(Control<QPushButton>(dlg, "IDOK")->isDefault());

    // Geometry: one row of buttons, the box and the panel below it at the same width,
    // the window's proportions, and room for the panel's six lines.
    const QRect rcSelect = Control<QWidget>(dlg, "IDC_SELECT")->geometry();
    const QRect rcEdit = Control<QWidget>(dlg, "IDC_EDIT")->geometry();
    const QRect rcRun = Control<QWidget>(dlg, "IDC_RUN")->geometry();
    const QRect rcOk = Control<QWidget>(dlg, "IDOK")->geometry();
    const QRect rcBox = Control<QWidget>(dlg, "IDC_CFGFILE")->geometry();
    const QRect rcStatus = Control<QWidget>(dlg, "IDC_STATUS")->geometry();
    const QRect rcLabel = dlg.findChild<QLabel*>(QStringLiteral("IDC_STATIC"))->geometry();
    const QRect rcTest = Control<QWidget>(dlg, "IDC_TESTMODE")->geometry();
    // Edges are rounded one by one, so equal widths may differ by a pixel.
    for (const QRect& rc : {rcEdit, rcRun, rcOk}) {
      QCOMPARE(rc.top(), rcSelect.top());
      QCOMPARE(rc.height(), rcSelect.height());
    }
    QVERIFY(qAbs(rcEdit.width() - rcSelect.width()) <= 1);
    QVERIFY(qAbs(rcRun.width() - rcSelect.width()) <= 1);
    QVERIFY(rcOk.width() <= rcRun.width());  // one unit narrower
    QVERIFY(rcLabel.right() < rcSelect.left());
    QVERIFY(rcSelect.right() < rcEdit.left() && rcEdit.right() < rcRun.left());
    QVERIFY(rcRun.right() < rcOk.left() && rcOk.right() < rcTest.left());
    QVERIFY(rcSelect.bottom() < rcBox.top() && rcBox.bottom() < rcStatus.top());
    QCOMPARE(rcBox.left(), rcStatus.left());
    QCOMPARE(rcBox.right(), rcStatus.right());
    QVERIFY(rcStatus.height() >= 6 * 20);
    for (const QRect& rc : {rcSelect, rcEdit, rcRun, rcOk, rcBox, rcStatus, rcLabel, rcTest}) {
      QVERIFY(dlg.rect().contains(rc));
    }
    const double dAspect = double(dlg.width()) / dlg.height();
    QVERIFY(qAbs(dAspect - 471.0 / 138.0) < 0.1);
  }

  void failingConfigurationStartsNothing() {
    CScopedTempDir dir;
    CQuillmereDlg dlg;
    dlg.m_strCfgFile = dir.Sub("missing.txt");
    CMessageBox::SetNextAnswer(EMsgAnswer::Ok);
    dlg.OnInitDialog();
    dlg.show();
    CMessageBox::SetNextAnswer(EMsgAnswer::Ok);
    QTest::mouseClick(Control<QPushButton>(dlg, "IDC_RUN"), Qt::LeftButton);

    QCOMPARE(BoxesWithText("Can not open config file"), 2);
    QCOMPARE(m_arrBoxes.back().strCaption, QCoreApplication::applicationName());
    QVERIFY(!dlg.m_bRunning);
    QVERIFY(!RefreshTimer(dlg)->isActive());
    QVERIFY(Control<QPushButton>(dlg, "IDC_RUN")->isEnabled());
    QCOMPARE(dlg.m_nPhase.load(), int(PHASE_IDLE));
  }

  void runEndsInSummary_data() {
    QTest::addColumn<bool>("bMissingSource");
    QTest::addColumn<QRgb>("rgbSummary");
    QTest::newRow("no errors: green") << false << qRgb(0, 128, 0);
    QTest::newRow("missing source: dark red") << true << qRgb(160, 0, 0);
  }
  void runEndsInSummary() {
    QFETCH(bool, bMissingSource);
    QFETCH(QRgb, rgbSummary);
    CScopedTempDir dir;
    ::mkdir(dir.Sub("src").c_str(), 0777);
    ::mkdir(dir.Sub("dst").c_str(), 0777);
    test::WriteFile(dir.Sub("src/a.txt"), "alpha");
    test::WriteFile(dir.Sub("src/b.txt"), "beta");
    const std::string strSource = bMissingSource ? dir.Sub("nowhere") : dir.Sub("src");
    CQuillmereDlg dlg;
    dlg.m_strCfgFile = dir.Sub("QuillmereCfg.txt");
    test::WriteFile(dlg.m_strCfgFile, "COPYFROM=" + strSource + "\nCOPYTO=" + dir.Sub("dst") + "\n");
    dlg.OnInitDialog();
    dlg.show();
    auto* pRun = Control<QPushButton>(dlg, "IDC_RUN");

    // Twice: the second run reloads the file and counts afresh.
    for (int nRun = 1; nRun <= 2; ++nRun) {
      QTest::mouseClick(pRun, Qt::LeftButton);
      QVERIFY(RefreshTimer(dlg)->isActive());
      QTRY_VERIFY(dlg.m_nPhase == PHASE_DONE && pRun->isEnabled());
      QCOMPARE(dlg.m_nFiles.load(), bMissingSource ? 0 : 2);
      QCOMPARE(dlg.m_nErrors.load(), bMissingSource ? 1 : 0);
    }
    QTRY_COMPARE(dlg.focusWidget(), Control<QWidget>(dlg, "IDOK"));
    if (!bMissingSource) QCOMPARE(test::ReadFile(dir.Sub("dst/b.txt")), std::string("beta"));

    const QImage image = Control<QWidget>(dlg, "IDC_STATUS")->grab().toImage();
    const QRgb rgbOther = rgbSummary == qRgb(0, 128, 0) ? qRgb(160, 0, 0) : qRgb(0, 128, 0);
    int nSummary = 0;
    int nOther = 0;
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < image.width(); ++x) {
        nSummary += image.pixel(x, y) == rgbSummary;
        nOther += image.pixel(x, y) == rgbOther;
      }
    }
    QVERIFY(nSummary > 100);
    QCOMPARE(nOther, 0);
    QCOMPARE(image.pixel(image.width() - 1, 10), qRgb(192, 192, 192));
    for (int y = 20; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) QCOMPARE(image.pixel(x, y), qRgb(192, 192, 192));
    }
  }

  void closeDuringRunAnsweredNo() {
    SGateWindow window;
    CQuillmereDlg& dlg = window.dlg;
    CGateFileSystem& fs = window.fs;
    dlg.OnInitDialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::mouseClick(Control<QPushButton>(dlg, "IDC_RUN"), Qt::LeftButton);
    QVERIFY(!Control<QWidget>(dlg, "IDC_RUN")->isEnabled());
    QVERIFY(!Control<QWidget>(dlg, "IDC_TESTMODE")->isEnabled());
    QTRY_VERIFY(fs.m_bCopying);
    // The refresh timer repaints the panel while nothing else happens to the window.
    const CPaintCounter paints(Control<QWidget>(dlg, "IDC_STATUS"));
    QTRY_VERIFY(paints.Count() >= 3);

    CMessageBox::SetNextAnswer(EMsgAnswer::No);
    dlg.close();
    QCOMPARE(BoxesWithText(kStopQuestion), 1);
    QCOMPARE(m_arrBoxes.back().strCaption, QStringLiteral("Warnibg"));
    QCOMPARE(m_arrBoxes.back().eIcon, EMsgIcon::Warning);
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.m_bRunning);
    QVERIFY(RefreshTimer(dlg)->isActive());

    // The run goes on to its normal end; the window stays.
    fs.m_bOpen = true;
    QTRY_VERIFY(dlg.m_nPhase == PHASE_DONE && !dlg.m_bRunning);
    QCOMPARE(dlg.m_nDone.load(), 1);
    QVERIFY(fs.Exists("/dst/a.txt"));
    QTest::qWait(150);
    QVERIFY(dlg.isVisible());

    // Closing now asks nothing.
    dlg.close();
    QCOMPARE(BoxesWithText(kStopQuestion), 1);
    QVERIFY(!dlg.isVisible());
  }

  void closeDuringRunAnsweredYes_data() {
    QTest::addColumn<QString>("strHow");
    QTest::addColumn<int>("nResult");
    QTest::newRow("title-bar close") << "close" << int(QDialog::Rejected);
    QTest::newRow("Escape") << "escape" << int(QDialog::Rejected);
    QTest::newRow("Close button") << "button" << int(QDialog::Accepted);
  }
  void closeDuringRunAnsweredYes() {
    QFETCH(QString, strHow);
    QFETCH(int, nResult);
    SGateWindow window;
    CQuillmereDlg& dlg = window.dlg;
    CGateFileSystem& fs = window.fs;
    // Whether the pairs were still there when the worker saw the stop.
    std::atomic<bool> bPairsAtStop{false};
    fs.m_onCancel = [&] { bPairsAtStop = !dlg.m_arrFolders.empty() && dlg.m_pCurFolder; };
    dlg.OnInitDialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::mouseClick(Control<QPushButton>(dlg, "IDC_RUN"), Qt::LeftButton);
    QTRY_VERIFY(fs.m_bCopying);

    CMessageBox::SetNextAnswer(EMsgAnswer::Yes);
    if (strHow == "close") {
      dlg.close();
    } else if (strHow == "escape") {
      QTest::keyClick(&dlg, Qt::Key_Escape);
    } else {
      QTest::mouseClick(Control<QPushButton>(dlg, "IDOK"), Qt::LeftButton);
    }

    // Asked once: the second pass through the stop check asks nothing.
    QCOMPARE(BoxesWithText(kStopQuestion), 1);
    QVERIFY(!dlg.m_bRunning);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), nResult);
    QVERIFY(!RefreshTimer(dlg)->isActive());
    QVERIFY(bPairsAtStop);
    QVERIFY(!fs.Exists("/dst/a.txt"));
    QCOMPARE(dlg.m_nPhase.load(), int(PHASE_DONE));
  }

  void logQuestion_data() {
    QTest::addColumn<QString>("strEnd");
    QTest::newRow("answered Yes: runs without a log") << "yes";
    QTest::newRow("answered No: nothing runs") << "no";
    QTest::newRow("stop while the worker waits") << "stop";
  }
  void logQuestion() {
    QFETCH(QString, strEnd);
    SGateWindow window("CREATELOG=TRUE\r\nLOGFILE=no/such/folder/log.txt\r\n");
    CQuillmereDlg& dlg = window.dlg;
    CGateFileSystem& fs = window.fs;
    fs.m_bOpen = true;
    dlg.OnInitDialog();
    dlg.show();
    QTest::mouseClick(Control<QPushButton>(dlg, "IDC_RUN"), Qt::LeftButton);
    // A real box this time: the worker waits for it.
    QTRY_VERIFY(OpenBox(dlg, kLogQuestion) != nullptr);
    QMessageBox* pBox = OpenBox(dlg, kLogQuestion);
    QCOMPARE(pBox->windowTitle(), QCoreApplication::applicationName());
    QVERIFY(dlg.m_bRunning);

    if (strEnd == "yes") {
      QTest::mouseClick(pBox->button(QMessageBox::Yes), Qt::LeftButton);
      QTRY_VERIFY(dlg.m_nPhase == PHASE_DONE && !dlg.m_bRunning);
      QVERIFY(fs.Exists("/dst/a.txt"));
      QVERIFY(dlg.isVisible());
    } else if (strEnd == "no") {
      QTest::mouseClick(pBox->button(QMessageBox::No), Qt::LeftButton);
      QTRY_VERIFY(!dlg.m_bRunning);
      QCOMPARE(dlg.m_nPhase.load(), int(PHASE_IDLE));
      QVERIFY(!fs.Exists("/dst/a.txt"));
      QTest::qWait(150);
      QVERIFY(dlg.isVisible());
    } else {
      // The stop must not wait for the question: the worker gives it up.
      CMessageBox::SetNextAnswer(EMsgAnswer::Yes);
      dlg.close();
      QVERIFY(!dlg.m_bRunning);
      QVERIFY(!dlg.isVisible());
      QTRY_VERIFY(OpenBox(dlg, kLogQuestion) == nullptr);
      QVERIFY(!fs.Exists("/dst/a.txt"));
      QCOMPARE(dlg.m_nPhase.load(), int(PHASE_IDLE));
    }
    QCOMPARE(BoxesWithText(kLogQuestion), 1);
  }

  void autoRunAndAutoExitCloseByThemselves() {
    SGateWindow window("AUTORUN=TRUE\r\nAUTOEXIT=TRUE\r\n");
    CQuillmereDlg& dlg = window.dlg;
    CGateFileSystem& fs = window.fs;
    fs.m_bOpen = true;
    // Ends a window that does not close by itself, so the failure is reported.
    QTimer::singleShot(30000, &dlg, [&dlg] { dlg.done(99); });
    const int nResult = dlg.DoModal();
    QCOMPARE(nResult, int(QDialog::Rejected));
    QVERIFY(fs.Exists("/dst/a.txt"));
    QVERIFY(m_arrBoxes.empty());
  }

  // The real program, unattended and without a display, on a configuration whose path has
  // a blank in it.
  void unattendedProgramExitsWithZero() {
    CScopedTempDir dir;
    ::mkdir(dir.Sub("my jobs").c_str(), 0777);
    ::mkdir(dir.Sub("src").c_str(), 0777);
    ::mkdir(dir.Sub("dst").c_str(), 0777);
    test::WriteFile(dir.Sub("src/a.txt"), "alpha");
    const std::string strCfg = dir.Sub("my jobs/job.txt");
    test::WriteFile(strCfg, "AUTORUN=TRUE\nAUTOEXIT=TRUE\nCREATELOG=TRUE\nLOGFILE=" +
                                dir.Sub("log.txt") + "\nCOPYFROM=" + dir.Sub("src") +
                                "\nCOPYTO=" + dir.Sub("dst") + "\n");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Qt's own option is taken out of the command line before the path is read from it.
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir.Sub("config")));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUILLMERE_APP_PATH),
                  {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                   QString::fromStdString(strCfg)});
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(test::ReadFile(dir.Sub("dst/a.txt")), std::string("alpha"));
    QVERIFY(test::ReadFile(dir.Sub("log.txt")).find("Files-1 Selected-1 Done-1 Errors-0 ") !=
            std::string::npos);
  }

  void commandLine_data() {
    QTest::addColumn<QStringList>("arrArgs");
    QTest::addColumn<QString>("strPath");
    QTest::newRow("none") << QStringList{} << "";
    QTest::newRow("one path") << QStringList{"job.txt"} << "job.txt";
    QTest::newRow("a path split at its blanks") << QStringList{"My", "Jobs/a.txt"}
                                                << "My Jobs/a.txt";
    QTest::newRow("quotes stay") << QStringList{"\"a b.txt\""} << "\"a b.txt\"";
    QTest::newRow("trailing blank kept") << QStringList{"a.txt "} << "a.txt ";
  }
  void commandLine() {
    QFETCH(QStringList, arrArgs);
    QFETCH(QString, strPath);
    std::vector<QByteArray> arrBytes{QByteArray("quillmere")};
    for (const QString& strArg : arrArgs) arrBytes.push_back(strArg.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& bytes : arrBytes) argv.push_back(bytes.data());
    QCOMPARE(QString::fromStdString(CommandLineConfigPath(int(argv.size()), argv.data())), strPath);
    QCOMPARE(ApplicationNameOf(QStringLiteral("/opt/tools/quillmere")), QStringLiteral("quillmere"));
    QCOMPARE(ApplicationNameOf(QStringLiteral("/opt/tools/quillmere.bin")), QStringLiteral("quillmere"));
  }

  void selectAndEdit() {
    CScopedTempDir dir;
    CQuillmereDlg dlg;
    auto* pBox = Control<QLineEdit>(dlg, "IDC_CFGFILE");
    dlg.DoDataExchange(CQuillmereDlg::EExchange::ToControls);
    QCOMPARE(pBox->text(), QStringLiteral("QuillmereCfg.txt"));  // the default
    dlg.m_strCfgFile = dir.Sub("held.txt");
    dlg.DoDataExchange(CQuillmereDlg::EExchange::ToControls);
    dlg.show();
    pBox->clear();
    QTest::keyClicks(pBox, QStringLiteral("typed.txt"));

    // Edit opens the path held, not the one typed since.
    QTest::mouseClick(Control<QPushButton>(dlg, "IDC_EDIT"), Qt::LeftButton);
    QCOMPARE(m_arrOpened, (std::vector<QString>{QString::fromStdString(dir.Sub("held.txt"))}));

    // Select reads the box first; cancelling it keeps the typed path for Edit.
    QString strInitial;
    CFileChooser::SetObserver([&strInitial](const QString& strName) { strInitial = strName; });
    CFileChooser::SetNextResult(std::nullopt);
    QTest::mouseClick(Control<QPushButton>(dlg, "IDC_SELECT"), Qt::LeftButton);
    QCOMPARE(strInitial, QStringLiteral("typed.txt"));
    QTest::mouseClick(Control<QPushButton>(dlg, "IDC_EDIT"), Qt::LeftButton);
    QCOMPARE(m_arrOpened.back(), QFileInfo(QStringLiteral("typed.txt")).absoluteFilePath());

    // A chosen file shows in the box and is not loaded yet.
    CFileChooser::SetNextResult(QString::fromStdString(dir.Sub("chosen.txt")));
    QTest::mouseClick(Control<QPushButton>(dlg, "IDC_SELECT"), Qt::LeftButton);
    QCOMPARE(pBox->text(), QString::fromStdString(dir.Sub("chosen.txt")));
    QCOMPARE(dlg.m_strCfgFile, dir.Sub("chosen.txt"));
    QVERIFY(m_arrBoxes.empty());
  }

  void helpKeyOpensTheHelpPage() {
    CQuillmereDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::keyClick(&dlg, Qt::Key_F1);
    QCOMPARE(m_arrOpened.size(), size_t(1));
    QVERIFY(m_arrOpened[0].endsWith(QStringLiteral("/quillmere.html")));
    QVERIFY(QFileInfo(m_arrOpened[0]).isFile());
  }
};

}  // namespace
}  // namespace quillmere

QTEST_MAIN(quillmere::TestQuillmereDlg)
#include "QuillmereDlgTest.moc"
