#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Clock.h"

namespace quillmere::test {

// A clock that stands still until a test moves it.
class CStepClock : public IClock {
 public:
  explicit CStepClock(std::int64_t tStart = 1'700'000'000) : m_tNow(tStart) {}
  std::int64_t Now() override { return m_tNow; }
  void Tick(std::int64_t nSeconds) { m_tNow += nSeconds; }

 private:
  std::atomic<std::int64_t> m_tNow;
};

}  // namespace quillmere::test
