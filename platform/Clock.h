#pragma once

#include <cstdint>

namespace quillmere {

// The wall clock, as a service so that tests can step it.
class IClock {
 public:
  virtual ~IClock() = default;
  // Whole seconds since 1970-01-01 00:00 UTC. Any thread.
  virtual std::int64_t Now() = 0;
};

IClock& SystemClock();

}  // namespace quillmere
