#include "platform/qt/SettingsProfile.h"

#include <QSettings>
#include <QString>
#include <QVariant>

namespace quillmere {

namespace {

QString KeyOf(const std::string& strSection, const std::string& strKey) {
  return QString::fromStdString(strSection) + QLatin1Char('/') + QString::fromStdString(strKey);
}

}  // namespace

std::uint32_t CSettingsProfile::GetInt(const std::string& strSection, const std::string& strKey) {
  const QSettings settings;
  bool bOk = false;
  const uint nValue = settings.value(KeyOf(strSection, strKey)).toUInt(&bOk);
  return bOk ? nValue : 0;
}

void CSettingsProfile::WriteInt(const std::string& strSection, const std::string& strKey,
                                std::uint32_t nValue) {
  QSettings settings;
  settings.setValue(KeyOf(strSection, strKey), static_cast<uint>(nValue));
}

}  // namespace quillmere
