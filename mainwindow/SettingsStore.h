#pragma once

#include <QLatin1String>

// The main window's settings store (QSettings organisation and application).
inline constexpr QLatin1String kSettingsOrganisation("Marrowby");
inline constexpr QLatin1String kSettingsApplication("Framewright");
