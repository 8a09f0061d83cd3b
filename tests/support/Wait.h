#pragma once

#include <chrono>
#include <thread>

namespace quillmere::test {

// Waits until pred() holds, looking every 10 ms, at most tTimeout; returns whether it
// held. For things another process or thread does; never for how fast it is done.
template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds tTimeout) {
  const auto tEnd = std::chrono::steady_clock::now() + tTimeout;
  while (std::chrono::steady_clock::now() < tEnd) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return pred();
}

}  // namespace quillmere::test
