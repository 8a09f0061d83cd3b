#pragma once

#include <cstdint>
#include <string>

namespace quillmere {

// The per-user profile: small integer values by section and key, kept between runs.
// Implementations may be called from any thread.
class IProfile {
 public:
  virtual ~IProfile() = default;
  // The stored value, or 0 when it is missing or cannot be read.
  virtual std::uint32_t GetInt(const std::string& strSection, const std::string& strKey) = 0;
  // Stores the value; a failure is not reported.
  virtual void WriteInt(const std::string& strSection, const std::string& strKey,
                        std::uint32_t nValue) = 0;
};

}  // namespace quillmere
