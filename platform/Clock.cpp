#include "platform/Clock.h"

#include <ctime>

namespace quillmere {

namespace {

class CSystemClock final : public IClock {
 public:
  std::int64_t Now() override { return static_cast<std::int64_t>(std::time(nullptr)); }
};

}  // namespace

IClock& SystemClock() {
  static CSystemClock s_clock;
  return s_clock;
}

}  // namespace quillmere
