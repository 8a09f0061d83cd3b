#include "platform/Process.h"

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace quillmere {

std::string OwnProgramPath() {
  char szPath[PATH_MAX];
  const ssize_t nLength = readlink("/proc/self/exe", szPath, sizeof(szPath));
  if (nLength <= 0 || static_cast<size_t>(nLength) >= sizeof(szPath)) return std::string();
  return std::string(szPath, static_cast<size_t>(nLength));
}

namespace {

// Frees the spawn attributes and file actions on every way out.
struct SSpawnSetup {
  SSpawnSetup() {
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_init(&actions);
  }
  ~SSpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
  SSpawnSetup(const SSpawnSetup&) = delete;
  SSpawnSetup& operator=(const SSpawnSetup&) = delete;

  posix_spawnattr_t attr;
  posix_spawn_file_actions_t actions;
};

}  // namespace

CSysError StartDetached(const std::string& strProgram, const std::vector<std::string>& arrArgs,
                        const std::string& strWorkDir) {
  std::vector<char*> arrArgv;
  arrArgv.push_back(const_cast<char*>(strProgram.c_str()));
  for (const std::string& strArg : arrArgs) arrArgv.push_back(const_cast<char*>(strArg.c_str()));
  arrArgv.push_back(nullptr);

  SSpawnSetup setup;
  // Its own session: closing the terminal this program was started from, or a signal
  // to this program's process group, does not end it.
  if (int nErr = posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSID)) {
    return CSysError::FromCode(nErr);
  }
  if (int nErr = posix_spawn_file_actions_addchdir_np(&setup.actions, strWorkDir.c_str())) {
    return CSysError::FromCode(nErr);
  }
  if (int nErr = posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null",
                                                  O_RDONLY, 0)) {
    return CSysError::FromCode(nErr);
  }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Descriptors that libraries opened without close-on-exec (a display connection, a
  // socket) stay with this program.
  if (int nErr = posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1)) {
    return CSysError::FromCode(nErr);
  }
#endif
  pid_t pid = 0;
  return CSysError::FromCode(
      posix_spawn(&pid, strProgram.c_str(), &setup.actions, &setup.attr, arrArgv.data(), environ));
}

}  // namespace quillmere
