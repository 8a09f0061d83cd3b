// quillmere-cli: runs a Quillmere job from a terminal or a scheduler, on the same
// engine as the window.

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "cli/ProgressLine.h"
#include "cli/TerminalHost.h"
#include "engine/QuillmereJob.h"
#include "platform/Clock.h"
#include "ui/StatusText.h"

namespace quillmere {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitErrors = 1;
constexpr int kExitNotRun = 2;
constexpr int kExitStopped = 130;

const char kUsage[] =
    "Usage: quillmere-cli [--test-mode] [--yes] [CONFIG]\n"
    "\n"
    "Brings destination folders up to date from source folders, as the configuration\n"
    "file CONFIG (default: QuillmereCfg.txt in the working folder) describes. Nothing in a\n"
    "destination is ever deleted.\n"
    "\n"
    "  --test-mode  list what would be created and copied in the log; change nothing\n"
    "  --yes        continue without a log when the log file cannot be created and\n"
    "               there is no terminal to ask\n"
    "  --help       show this text\n"
    "\n"
    "Exit status: 0 no errors, 1 errors were counted, 2 the job did not run,\n"
    "130 stopped by Ctrl+C or SIGTERM (a second Ctrl+C ends the program at once).\n";

void OnStopSignal(int) { g_bStop = true; }

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // The first signal asks the run to stop cleanly; a second one ends the program.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int TerminalColumns() {
  struct winsize ws {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

int Run(int argc, char** argv) {
  bool bTestMode = false;
  bool bYes = false;
  std::string strConfig;
  bool bHaveConfig = false;
  bool bOptionsEnded = false;  // after "--" every argument is a file name
  for (int i = 1; i < argc; ++i) {
    const std::string strArg = argv[i];
    const bool bOption = !bOptionsEnded && strArg.size() > 1 && strArg[0] == '-';
    if (bOption && (strArg == "--help" || strArg == "-h")) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    } else if (bOption && strArg == "--test-mode") {
      bTestMode = true;
    } else if (bOption && strArg == "--yes") {
      bYes = true;
    } else if (bOption && strArg == "--") {
      bOptionsEnded = true;
    } else if (bOption) {
      std::fprintf(stderr, "quillmere-cli: unknown option %s\n\n%s", strArg.c_str(), kUsage);
      return kExitNotRun;
    } else if (bHaveConfig) {
      std::fprintf(stderr, "quillmere-cli: only one configuration file can be given\n");
      return kExitNotRun;
    } else {
      strConfig = strArg;
      bHaveConfig = true;
    }
  }

  CTerminalHost host(bYes);
  CQuillmereJob job(host);
  if (bHaveConfig) job.m_strCfgFile = strConfig;
  job.m_bTestMode = bTestMode;
  if (!job.LoadConfig()) return kExitNotRun;

  InstallStopHandlers();
  const bool bShowProgress = ::isatty(STDERR_FILENO);
  // Set before the thread starts, so that nothing can see the run as not yet begun.
  job.m_bRunning = true;
  std::mutex mutexDone;
  std::condition_variable cvDone;
  bool bDone = false;
  std::thread worker([&] {
    WorkerThreadProc(&job);
    std::lock_guard lock(mutexDone);
    bDone = true;
    cvDone.notify_one();
  });
  bool bLineShown = false;
  for (;;) {
    {
      // Wakes at once when the run ends, so a short job ends the program at once too.
      std::unique_lock lock(mutexDone);
      if (cvDone.wait_for(lock, std::chrono::milliseconds(100), [&] { return bDone; })) break;
    }
    if (!bShowProgress || host.Asking()) continue;
    const std::string strLine =
        ProgressLine(TakeStatusSnapshot(job, SystemClock().Now()), TerminalColumns() - 1);
    std::fprintf(stderr, "\r%s\033[K", strLine.c_str());
    std::fflush(stderr);
    bLineShown = true;
  }
  worker.join();
  if (bLineShown) std::fputs("\r\033[K", stderr);

  if (host.Declined()) {
    if (!::isatty(STDIN_FILENO)) {
      std::fprintf(stderr,
                   "quillmere-cli: Can not create Log file continue ? No (--yes goes on without "
                   "a log)\n");
    }
    return kExitNotRun;
  }
  std::printf("Done: %s\n",
              SummaryText(job.m_nFiles, job.m_nSelected, job.m_nDone, job.m_nErrors).c_str());
  const std::string strLog = host.OpenedDocument();
  if (!strLog.empty()) std::printf("%s\n", strLog.c_str());
  std::fflush(stdout);
  if (g_bStop) return kExitStopped;
  return job.m_nErrors != 0 ? kExitErrors : kExitOk;
}

}  // namespace
}  // namespace quillmere

int main(int argc, char** argv) { return quillmere::Run(argc, argv); }
