#pragma once

#include <QByteArray>
#include <QString>

// A fresh folder under /tmp for one test, removed afterwards.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const QString& path() const { return path_; }
    QString File(const QString& name) const { return path_ + '/' + name; }
    QByteArray Read(const QString& name) const;
    void Write(const QString& name, const QByteArray& bytes) const;
    bool Exists(const QString& name) const;

  private:
    QString path_;
};

// Makes the test's own working folder current for its lifetime, restoring the old one after.
class CurrentFolder {
  public:
    explicit CurrentFolder(const QString& path);
    ~CurrentFolder();

  private:
    QString previous_;
};
