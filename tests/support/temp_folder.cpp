#include "support/temp_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

TempFolder::TempFolder() {
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/quillet-test.XXXXXX";
    path_ = QString::fromLocal8Bit(mkdtemp(pattern.data()));
}

TempFolder::~TempFolder() {
    if (!path_.isEmpty()) QDir(path_).removeRecursively();
}

QByteArray TempFolder::Read(const QString& name) const {
    QFile file(File(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TempFolder::Write(const QString& name, const QByteArray& bytes) const {
    QFile file(File(name));
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

bool TempFolder::Exists(const QString& name) const {
    return QFileInfo::exists(File(name));
}

CurrentFolder::CurrentFolder(const QString& path) : previous_(QDir::currentPath()) {
    QDir::setCurrent(path);
}

CurrentFolder::~CurrentFolder() {
    QDir::setCurrent(previous_);
}
