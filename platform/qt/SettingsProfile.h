#pragma once

#include "platform/Profile.h"

namespace quillmere {

// The per-user profile in QSettings, under the organisation and application names of
// the running application (set before the first use). Sections are QSettings groups.
// Any thread: each call uses a QSettings object of its own.
class CSettingsProfile final : public IProfile {
 public:
  std::uint32_t GetInt(const std::string& strSection, const std::string& strKey) override;
  void WriteInt(const std::string& strSection, const std::string& strKey,
                std::uint32_t nValue) override;
};

}  // namespace quillmere
