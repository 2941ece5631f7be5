#include "app/profile.h"

#include <QSettings>

namespace profile {

namespace {
QString SectionKey(const QString& key) {
    return QString(kSection) + '/' + key;
}
}  // namespace

QString ReadString(const QString& key, const QString& fallback) {
    QSettings settings(kOrganisation, kApplication);
    return settings.value(SectionKey(key), fallback).toString();
}

void WriteString(const QString& key, const QString& value) {
    QSettings settings(kOrganisation, kApplication);
    settings.setValue(SectionKey(key), value);
}

void EnsureExtensionDefaults() {
    if (ReadString("CACHEXT").isEmpty()) WriteString("CACHEXT", ".bmp");
    if (ReadString("HTMLIMGEXT").isEmpty()) WriteString("HTMLIMGEXT", ".jpg");
}

}  // namespace profile
