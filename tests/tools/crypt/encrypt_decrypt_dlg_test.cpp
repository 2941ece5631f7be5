#include "tools/crypt/dialog/encrypt_decrypt_dlg.h"

#include "ids.h"
#include "platform/message_box.h"
#include "crypt_test_support.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

void StartApplication() {
    static int argc = 1;
    static char name[] = "crypt_tests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance()) return;
    // The file prompt must be Qt's own, so the tests can answer it.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    new QApplication(argc, argv);
}

template <typename T>
T* Control(QWidget& dialog, int id) {
    return dialog.findChild<T*>(QString("id%1").arg(id));
}

class EncryptDecryptDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
            GTEST_SKIP() << "needs a display (scripts/with-display)";
        StartApplication();
        platform::SetMessageBoxRecorder([this](const platform::MessageBoxCall& call) {
            messages.push_back(call.text);
            return platform::kAnswerOk;
        });
        fs::create_directories(dir.File("bin/session3"));
    }
    void TearDown() override { platform::SetMessageBoxRecorder({}); }

    // Clicks Browse and answers the file prompt with path; returns the folder it started in.
    QString Browse(CEncryptDecryptDlg& dialog, const QString& path) {
        QString startFolder;
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* prompt = qobject_cast<QFileDialog*>(modal);
            if (prompt) {
                timer.stop();
                startFolder = prompt->directory().absolutePath();
                // Typed into the prompt's name box, as a user would.
                auto* name = prompt->findChild<QLineEdit*>("fileNameEdit");
                if (name)
                    name->setText(path);
                else
                    prompt->selectFile(path);
                static_cast<QDialog*>(prompt)->accept();  // QFileDialog::accept checks the choice
            } else if (++ticks > 250 && modal && modal != &dialog) {
                modal->close();
            }
        });
        timer.start(20);
        QTest::mouseClick(Control<QPushButton>(dialog, ids::kEncryptDecryptBrowse), Qt::LeftButton);
        return startFolder;
    }

    // Runs the whole dialog on one file: Browse, the mode, the default password, OK.
    void RunOn(const std::string& name, bool decrypt) {
        CEncryptDecryptDlg dialog(QString::fromStdString(dir.File("bin/session3")));
        dialog.show();
        Browse(dialog, QString::fromStdString(dir.File(name)));
        if (decrypt)
            QTest::mouseClick(Control<QRadioButton>(dialog, ids::kEncryptDecryptDecrypt),
                              Qt::LeftButton);
        QTest::mouseClick(Control<QPushButton>(dialog, ids::kEncryptDecryptOk), Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }

    TempDir dir;
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(EncryptDecryptDlgTest, ControlsAndStartingValues) {
    CEncryptDecryptDlg dialog("bin");
    EXPECT_EQ(dialog.windowTitle(), "Encrypt/Decrypt");
    ASSERT_NE(Control<QLineEdit>(dialog, ids::kEncryptDecryptFileName), nullptr);
    EXPECT_TRUE(Control<QLineEdit>(dialog, ids::kEncryptDecryptFileName)->text().isEmpty());
    EXPECT_EQ(Control<QPushButton>(dialog, ids::kEncryptDecryptBrowse)->text(), "Browse");
    EXPECT_TRUE(Control<QRadioButton>(dialog, ids::kEncryptDecryptEncrypt)->isChecked());
    EXPECT_EQ(Control<QRadioButton>(dialog, ids::kEncryptDecryptEncrypt)->text(), "Encrypt");
    EXPECT_FALSE(Control<QRadioButton>(dialog, ids::kEncryptDecryptDecrypt)->isChecked());
    EXPECT_EQ(Control<QRadioButton>(dialog, ids::kEncryptDecryptDecrypt)->text(), "Decrypt");
    QLineEdit* password = Control<QLineEdit>(dialog, ids::kEncryptDecryptPassword);
    EXPECT_EQ(password->text(), "Pell-Q-Dor");
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
    QPushButton* ok = Control<QPushButton>(dialog, ids::kEncryptDecryptOk);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(Control<QPushButton>(dialog, ids::kEncryptDecryptCancel)->text(), "Cancel");
}

TEST_F(EncryptDecryptDlgTest, BrowseStartsInTheSessionFolder) {
    WriteFile(dir.File("bin/session3/picture.bmp"), Pattern(10));
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path);
    CEncryptDecryptDlg dialog("bin/session3/");
    dialog.show();
    const QString chosen = QString::fromStdString(dir.File("bin/session3/picture.bmp"));
    const QString startFolder = Browse(dialog, chosen);
    fs::current_path(previous);
    EXPECT_EQ(startFolder.toStdString(), dir.File("bin/session3"));
    EXPECT_EQ(dialog.FilePath().toStdString(), chosen.toStdString());
    EXPECT_EQ(Control<QLineEdit>(dialog, ids::kEncryptDecryptFileName)->text().toStdString(),
              chosen.toStdString());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(EncryptDecryptDlgTest, RoundTripWithTheDefaultPassword) {
    const Bytes plain = Pattern(1234);
    WriteFile(dir.File("report.doc"), plain);
    RunOn("report.doc", false);
    EXPECT_EQ(fs::file_size(dir.File("E_report.doc")), 32u + 1240u);
    RunOn("E_report.doc", true);
    Bytes expected = plain;
    expected.resize(1240, 0);
    EXPECT_EQ(ReadFile(dir.File("D_E_report.doc")), expected);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1],
              "FileCrypt: File " + dir.File("E_report.doc") + " Successfully Decrypted!");

    // Decrypting a file that was never encrypted fails, and the dialog closes all the same.
    RunOn("report.doc", true);
    EXPECT_EQ(messages.back(), "FileCrypt ERROR: File " + dir.File("report.doc") +
                                   " cannot be Correctly Decrypted!");
    EXPECT_FALSE(fs::exists(dir.File("D_report.doc")));
}

TEST_F(EncryptDecryptDlgTest, OnlyTheBrowsedFileCounts) {
    WriteFile(dir.File("typed"), Pattern(16));
    CEncryptDecryptDlg dialog(QString::fromStdString(dir.path));
    dialog.show();
    Control<QLineEdit>(dialog, ids::kEncryptDecryptFileName)
        ->setText(QString::fromStdString(dir.File("typed")));
    QTest::mouseClick(Control<QPushButton>(dialog, ids::kEncryptDecryptOk), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "FileCrypt ERROR: Cannot open File !");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(fs::exists(dir.File("E_typed")));
}

TEST_F(EncryptDecryptDlgTest, CancelTouchesNothing) {
    WriteFile(dir.File("keep"), Pattern(16));
    CEncryptDecryptDlg dialog(QString::fromStdString(dir.path));
    dialog.show();
    Browse(dialog, QString::fromStdString(dir.File("keep")));
    QTest::mouseClick(Control<QPushButton>(dialog, ids::kEncryptDecryptCancel), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(fs::exists(dir.File("E_keep")));
}
