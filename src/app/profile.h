#pragma once

#include <QString>

// The program's text values in the user's profile: organisation "Norvane Software",
// application "Quillet", section "Quillet".
namespace profile {

inline constexpr const char* kOrganisation = "Norvane Software";
inline constexpr const char* kApplication = "Quillet";
inline constexpr const char* kSection = "Quillet";

QString ReadString(const QString& key, const QString& fallback = QString());
void WriteString(const QString& key, const QString& value);

// Start-up: the cache and web image extensions get their defaults when missing or empty.
void EnsureExtensionDefaults();

}  // namespace profile
