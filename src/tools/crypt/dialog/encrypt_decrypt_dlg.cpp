#include "tools/crypt/dialog/encrypt_decrypt_dlg.h"

#include "ui_encrypt_decrypt_dlg.h"

#include "platform/dialog_units.h"
#include "tools/crypt/wipe.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStringList>

namespace {

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

CEncryptDecryptDlg::CEncryptDecryptDlg(const QString& sessionFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::CEncryptDecryptDlg>()),
      sessionFolder(sessionFolder) {
    ui->setupUi(this);
    setFixedSize(
        platform::DialogUnitsToPixels(QSize(186, 127), font()).expandedTo(minimumSizeHint()));

    ui->id1017->setChecked(true);
    ui->id1059->setText(kDefaultPassword);

    connect(ui->id1000, &QPushButton::clicked, this, &CEncryptDecryptDlg::OnBrowse);
    connect(ui->id1, &QPushButton::clicked, this, &CEncryptDecryptDlg::OnOK);
    connect(ui->id2, &QPushButton::clicked, this, &QDialog::reject);
    engine.SetBusyHandler([](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
}

CEncryptDecryptDlg::~CEncryptDecryptDlg() = default;

void CEncryptDecryptDlg::OnBrowse() {
    QFileDialog prompt(this, QString(), QDir(sessionFolder).absolutePath(), "All Files (*)");
    prompt.setAcceptMode(QFileDialog::AcceptOpen);
    prompt.setFileMode(QFileDialog::ExistingFile);
    if (prompt.exec() != QDialog::Accepted) return;
    const QStringList chosen = prompt.selectedFiles();
    if (chosen.isEmpty()) return;
    filePath = chosen.first();
    ui->id1058->setText(filePath);
}

// Only the path chosen with Browse counts; text typed into the file name box is not read.
void CEncryptDecryptDlg::OnOK() {
    const bool decrypt = !ui->id1017->isChecked();
    const std::string input = LocalPath(filePath);
    engine.SetDecrypt(decrypt);
    std::string password = ui->id1059->text().toStdString();
    engine.SetPassword(password);
    filecrypt::Wipe(password);
    engine.ProcessFile(input, filecrypt::OutputPathFor(input, decrypt));
    accept();
}
