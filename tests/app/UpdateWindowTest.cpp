// The main window's update check against a version service on 127.0.0.1, with the real
// HTTP client: what is refused leaves the program's folder as it was and the window
// open; the question goes through the window; closing the window ends the check
// without waiting for the network or the question.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <QMessageBox>
#include <QTest>

#include "app/QuillmereDlg.h"
#include "platform/qt/MessageBox.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/update/UpdateFakes.h"

namespace quillmere {
namespace {

using test::CLoopbackHttpServer;
using test::CMemProfile;
using test::CScopedTempDir;
using test::FolderNames;
using test::SCannedReply;

SCannedReply Reply(int nStatus, std::string strBody) {
  SCannedReply reply;
  reply.nStatus = nStatus;
  reply.strBody = std::move(strBody);
  return reply;
}

// A window whose program is "prog" in a folder of its own, with a job that loads, a
// profile in memory and the service on a loopback server.
struct SUpdateWindow {
  SUpdateWindow() {
    ::mkdir(strAppDir.c_str(), 0777);
    strElfHeader = test::OwnElfHeader();
    if (strElfHeader.empty()) qFatal("cannot read this program's header");
    test::WriteFile(strAppDir + "/prog", strElfHeader + "the running program");
    ::mkdir(dir.Sub("src").c_str(), 0777);
    ::mkdir(dir.Sub("dst").c_str(), 0777);
    dlg.m_strCfgFile = dir.Sub("QuillmereCfg.txt");
    test::WriteFile(dlg.m_strCfgFile,
                    "COPYFROM=" + dir.Sub("src") + "\nCOPYTO=" + dir.Sub("dst") + "\n");
    dlg.m_strUpdateServer = server.BaseUrl();
    dlg.m_pProfile = pProfile;
    dlg.m_version.m_strDir = strAppDir + "/";
    dlg.m_version.m_strExeName = "prog";
    dlg.m_version.m_strVersion = "1.0.0.0";
  }

  void Answer(const std::string& strAskFlag, const std::string& strUrl) {
    server.ServePath("/ver/checkver.php",
                     Reply(200, "LastVer;2.0.0.0;" + strAskFlag + ";" + strUrl + ";"));
  }
  bool Downloaded() const {
    const std::vector<std::string> arrTargets = server.Targets();
    return std::find(arrTargets.begin(), arrTargets.end(), "/new/prog") != arrTargets.end();
  }

  CLoopbackHttpServer server;
  CScopedTempDir dir;
  const std::string strAppDir = dir.Sub("app");
  std::string strElfHeader;
  std::shared_ptr<CMemProfile> pProfile = std::make_shared<CMemProfile>();
  CQuillmereDlg dlg;
};

class TestUpdateWindow : public QObject {
  Q_OBJECT

 private:
  std::vector<CMessageBox::SBox> m_arrBoxes;

 private slots:
  void init() {
    m_arrBoxes.clear();
    CMessageBox::Reset();
    CMessageBox::SetObserver([this](const CMessageBox::SBox& box) { m_arrBoxes.push_back(box); });
  }

  void refusedDownloadLeavesFolderAndWindow_data() {
    QTest::addColumn<QString>("strCase");
    QTest::newRow("short body") << "short";
    QTest::newRow("not a program") << "page";
    QTest::newRow("404") << "404";
    QTest::newRow("not an http URL") << "ftp";
  }
  void refusedDownloadLeavesFolderAndWindow() {
    QFETCH(QString, strCase);
    SUpdateWindow window;
    CQuillmereDlg& dlg = window.dlg;
    const std::string strProgram = window.strElfHeader + "the new program";
    std::string strUrl = window.server.BaseUrl() + "/new/prog";
    if (strCase == "short") {
      SCannedReply reply = Reply(200, strProgram);
      reply.eLength = test::EContentLength::Declared;
      reply.nDeclaredLength = strProgram.size() + 1000;
      window.server.Serve("/new/prog", reply);
    } else if (strCase == "page") {
      window.server.Serve("/new/prog", Reply(200, "<html><body>Moved away</body></html>"));
    } else if (strCase == "404") {
      window.server.Serve("/new/prog", Reply(404, strProgram));
    } else {
      strUrl = "ftp://127.0.0.1:" + std::to_string(window.server.Port()) + "/new/prog";
    }
    window.Answer("0", strUrl);

    dlg.OnInitDialog();
    dlg.show();
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.m_version.UpdateCheckRunning(), 60000);
    // A close request would have been posted before the check ended.
    QCoreApplication::processEvents();
    QVERIFY(dlg.isVisible());
    QCOMPARE(FolderNames(window.strAppDir), std::vector<std::string>{"prog"});
    QCOMPARE(window.Downloaded(), strCase != "ftp");
    QVERIFY(m_arrBoxes.empty());
  }

  void questionIsAskedInTheWindow_data() {
    QTest::addColumn<bool>("bYes");
    QTest::newRow("No") << false;
    QTest::newRow("Yes") << true;
  }
  void questionIsAskedInTheWindow() {
    QFETCH(bool, bYes);
    SUpdateWindow window;
    CQuillmereDlg& dlg = window.dlg;
    window.Answer("1", window.server.BaseUrl() + "/new/prog");
    window.server.Serve("/new/prog", Reply(404, "gone"));
    CMessageBox::SetNextAnswer(bYes ? EMsgAnswer::Yes : EMsgAnswer::No);

    dlg.OnInitDialog();
    dlg.show();
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.m_version.UpdateCheckRunning(), 60000);
    QCOMPARE(m_arrBoxes.size(), size_t(1));
    QCOMPARE(m_arrBoxes[0].strCaption, QCoreApplication::applicationName());
    QCOMPARE(m_arrBoxes[0].strText,
             QStringLiteral("There is a new version available !\n\nYour version: 1.0.0.0\n"
                            "Last version:2.0.0.0\n\nWhould you like to update now ?"));
    QCOMPARE(m_arrBoxes[0].eIcon, EMsgIcon::Question);
    QCOMPARE(m_arrBoxes[0].eButtons, EMsgButtons::YesNo);
    QCOMPARE(window.Downloaded(), bYes);
    QVERIFY(window.pProfile->Find(kProfileUpdateRequest).has_value());
    QCoreApplication::processEvents();
    QVERIFY(dlg.isVisible());
    QCOMPARE(FolderNames(window.strAppDir), std::vector<std::string>{"prog"});
  }

  // Closing the window while the check waits for a slow service or for the user.
  void closingEndsTheCheckWithoutWaiting_data() {
    QTest::addColumn<bool>("bQuestion");
    QTest::newRow("waiting for the service") << false;
    QTest::newRow("question open") << true;
  }
  void closingEndsTheCheckWithoutWaiting() {
    QFETCH(bool, bQuestion);
    auto pWindow = std::make_unique<SUpdateWindow>();
    CQuillmereDlg& dlg = pWindow->dlg;
    const char* pszQuestionStart = "There is a new version available !";
    if (bQuestion) {
      pWindow->Answer("1", pWindow->server.BaseUrl() + "/new/prog");
    } else {
      SCannedReply slow =
          Reply(200, "LastVer;2.0.0.0;0;" + pWindow->server.BaseUrl() + "/new/prog;");
      slow.tDelay = std::chrono::minutes(10);
      pWindow->server.ServePath("/ver/checkver.php", slow);
    }
    pWindow->server.Serve("/new/prog", Reply(200, pWindow->strElfHeader + "new"));

    dlg.OnInitDialog();
    dlg.show();
    if (bQuestion) {
      // A real box: nothing answers it.
      QTRY_VERIFY_WITH_TIMEOUT(
          [&] {
            for (QMessageBox* pBox : dlg.findChildren<QMessageBox*>()) {
              if (pBox->isVisible() && pBox->text().startsWith(QLatin1String(pszQuestionStart))) {
                return true;
              }
            }
            return false;
          }(),
          60000);
    } else {
      QVERIFY(pWindow->server.WaitForRequest("/ver/checkver.php", std::chrono::seconds(60)));
    }
    QVERIFY(dlg.m_version.UpdateCheckRunning());
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(!dlg.isVisible());

    const std::shared_ptr<CMemProfile> pProfile = pWindow->pProfile;
    const std::string strAppDir = pWindow->strAppDir;
    // Teardown: a check that went on would wait ten minutes for the service, or for ever
    // for the question, and hold up this test until its time runs out.
    pWindow->dlg.m_version.StopUpdateCheck(std::chrono::minutes(5));
    QVERIFY(!pWindow->dlg.m_version.UpdateCheckRunning());
    QCOMPARE(FolderNames(strAppDir), std::vector<std::string>{"prog"});
    pWindow.reset();
    // No decision was made, so none is recorded.
    QVERIFY(!pProfile->Find(kProfileUpdateRequest).has_value());
  }
};

}  // namespace
}  // namespace quillmere

QTEST_MAIN(quillmere::TestUpdateWindow)
#include "UpdateWindowTest.moc"
