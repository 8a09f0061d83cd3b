#pragma once

#include <string>
#include <vector>

#include "platform/SysError.h"

namespace quillmere {

// The full path of the running program's file, links resolved; empty when the system
// cannot tell.
std::string OwnProgramPath();

// Starts strProgram with arrArgs (argv[1...]) in the folder strWorkDir, in a session of
// its own with standard input from /dev/null, and does not wait for it: it goes on
// running after this process has ended. Fails when the program cannot be started.
// Any thread.
[[nodiscard]] CSysError StartDetached(const std::string& strProgram,
                                      const std::vector<std::string>& arrArgs,
                                      const std::string& strWorkDir);

}  // namespace quillmere
