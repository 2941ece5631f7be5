#pragma once

#include "tools/crypt/file_crypt.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <string>

namespace Ui {
class CEncryptDecryptDlg;
}

// Picks a file, encrypts or decrypts it with a password and writes the result beside it as
// "E_name" or "D_name".
class CEncryptDecryptDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr const char* kDefaultPassword = "Pell-Q-Dor";

    // sessionFolder: where Browse starts (the current session folder).
    explicit CEncryptDecryptDlg(const QString& sessionFolder, QWidget* parent = nullptr);
    ~CEncryptDecryptDlg() override;

    // The file chosen with Browse; empty until one is chosen.
    const QString& FilePath() const { return filePath; }

  private:
    void OnBrowse();
    void OnOK();

    std::unique_ptr<Ui::CEncryptDecryptDlg> ui;
    QString sessionFolder;
    QString filePath;
    filecrypt::FileCrypt engine;
};
