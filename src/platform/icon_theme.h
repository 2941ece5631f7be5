#pragma once

// The desktop's icon theme, in place of the system's own list of icons.

#include <QImage>
#include <QString>
#include <QStringList>

namespace platform {

// The standard icon names of freedesktop icon themes, in the order they are listed.
const QStringList& StandardIconNames();

// Gives the program an icon theme where it has none (common outside the big desktops): the first
// installed of a few well-known themes, searched in the desktop's data folders.
void EnsureIconTheme();

// The standard names whose icon the current theme provides, in the standard order.
QStringList ThemeIconNames();

// The theme's icon of that name as a picture of exactly side x side device pixels (ARGB,
// premultiplied); null when the theme has none.
QImage ThemeIconPicture(const QString& name, int side);

}  // namespace platform
