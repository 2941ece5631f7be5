#include "app/recent_file_list.h"

#include "app/profile.h"

#include <QSettings>

namespace {
constexpr const char* kGroup = "Recent File List";
}

void CRecentFileList::Load() {
    QSettings settings(profile::kOrganisation, profile::kApplication);
    settings.beginGroup(kGroup);
    files_.clear();
    for (int i = 1; i <= size_; ++i) {
        const QString file = settings.value(QString("File%1").arg(i)).toString();
        if (!file.isEmpty()) files_ << file;
    }
}

void CRecentFileList::Save() const {
    QSettings settings(profile::kOrganisation, profile::kApplication);
    settings.beginGroup(kGroup);
    settings.remove("");
    for (int i = 0; i < files_.size(); ++i)
        settings.setValue(QString("File%1").arg(i + 1), files_[i]);
}

void CRecentFileList::Add(const QString& path) {
    files_.removeAll(path);
    files_.prepend(path);
    while (files_.size() > size_) files_.removeLast();
}

void CRecentFileList::Remove(int index) {
    if (index >= 0 && index < files_.size()) files_.removeAt(index);
}
