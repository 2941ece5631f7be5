#pragma once

#include <QString>
#include <QStringList>

// The editor's most-recently-used file list, kept in the profile under "Recent File List".
class CRecentFileList {
  public:
    explicit CRecentFileList(int size = 4) : size_(size) {}

    void Load();
    void Save() const;
    // Puts the file first; an entry already in the list moves up instead of repeating.
    void Add(const QString& path);
    void Remove(int index);
    const QStringList& files() const { return files_; }
    int size() const { return size_; }

  private:
    int size_;
    QStringList files_;
};
