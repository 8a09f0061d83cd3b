#pragma once

#include <string>

#include "ui/StatusText.h"

namespace quillmere {

// The status display squeezed into one terminal line of at most nColumns characters
// (UTF-8 counted by character): the phase, a bar with the percentage and the time
// left while copying, the counters, and as much of the current path as fits, its end
// kept. Empty when there is nothing to show.
std::string ProgressLine(const SStatusSnapshot& snap, int nColumns);

}  // namespace quillmere
