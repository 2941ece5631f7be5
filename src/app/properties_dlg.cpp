#include "app/properties_dlg.h"

#include "app/profile.h"
#include "app/quillet_app.h"
#include "app/session_lists.h"
#include "capture/capture_options.h"
#include "ids.h"
#include "platform/dialog_units.h"
#include "platform/folders.h"
#include "platform/message_box.h"
#include "ui_properties_dlg.h"

#include <QFile>
#include <QFileDialog>

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace {

constexpr const char* kCaption = "Properties";
const char* const kCacheExtensions[] = {".bmp", ".jpg", ".png"};
const char* const kWebExtensions[] = {".jpg", ".png", ".gif"};
constexpr std::size_t kSaveDirField = sizeof(SettingsRecord::defaultSaveDir) - 1;
constexpr std::size_t kMailServerField = 127;

template <std::size_t N>
void Fill(QListWidget* list, const char* const (&texts)[N]) {
    for (const char* text : texts) list->addItem(text);
    list->setCurrentRow(0);
}

void SelectText(QListWidget* list, const QString& text) {
    const auto found = list->findItems(text, Qt::MatchExactly);
    if (!found.isEmpty()) list->setCurrentItem(found.front());
}

QString SelectedText(QListWidget* list) {
    return list->currentItem() ? list->currentItem()->text() : QString();
}

std::string Local(const QLineEdit* edit) {
    return edit->text().toLocal8Bit().toStdString();
}

template <std::size_t N>
QString FieldString(const char (&field)[N]) {
    return QString::fromLocal8Bit(field, static_cast<qsizetype>(qstrnlen(field, N)));
}

// The owner may always enter and change what it owns; enough to empty a read-only folder.
void MakeOwnerWritable(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        ::chmod(path.c_str(), info.st_mode | S_IRWXU);
    }
}

}  // namespace

std::string CutPrefix(const std::string& prefix) {
    constexpr std::size_t kField = sizeof(SettingsRecord::filePrefix) - 1;
    if (prefix.size() <= kField) return prefix;
    std::size_t end = kField;
    // Back off continuation bytes so the cut falls between characters.
    while (end > 0 && (static_cast<unsigned char>(prefix[end]) & 0xC0) == 0x80) --end;
    return prefix.substr(0, end);
}

void ClearFolderContents(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    MakeOwnerWritable(folder);
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path());
    }
    for (const fs::path& entry : entries) {
        const fs::file_status status = fs::symlink_status(entry, error);
        if (status.type() == fs::file_type::directory) {
            ClearFolderContents(entry.string());
        }
        fs::remove(entry, error);  // a link goes, what it points to stays
    }
}

CPropertiesDlg::CPropertiesDlg(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::PropertiesDlg>()) {
    ui_->setupUi(this);
    setObjectName(QString("id%1").arg(ids::kPropertiesDialog));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
    PlaceControls();
    connect(ui_->id1, &QPushButton::clicked, this, [this] { Apply(); });
    connect(ui_->id2, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->id1032, &QPushButton::clicked, this, &CPropertiesDlg::ClearCache);
    connect(ui_->id1067, &QPushButton::clicked, this, &CPropertiesDlg::LoadSelectedSession);
    connect(ui_->id1084, &QPushButton::clicked, this, &CPropertiesDlg::BrowseHtmlEditor);
    OnInitDialog();
}

CPropertiesDlg::~CPropertiesDlg() = default;

CAListbx* CPropertiesDlg::historyList() const {
    return ui_->id1023;
}

// The form holds dialog units; they become pixels of this dialog's font here.
void CPropertiesDlg::PlaceControls() {
    const QFont dialogFont = font();
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        child->setGeometry(platform::DialogUnitsToPixels(child->geometry(), dialogFont));
    }
    setFixedSize(platform::DialogUnitsToPixels(QSize(459, 248), dialogFont));
}

void CPropertiesDlg::OnInitDialog() {
    CQuilletApp* app = App();
    const SettingsRecord& settings = app->settings;
    mailServer_ = ReadMailServer(app->MailSettingsPath());
    ui_->id1069->setText(QString::fromLocal8Bit(mailServer_.c_str()));

    Fill(ui_->id1006, kThumbnailPercents);
    SelectText(ui_->id1006, FieldString(settings.thumbnailPercent));
    Fill(ui_->id1013, kFileExtensions);
    Fill(ui_->id1017, kCacheExtensions);
    Fill(ui_->id1018, kWebExtensions);

    for (const std::string& line : ReadTextLines(app->HistoryPath())) {
        // Shown as text, kept as the bytes the folder's name is: a name that is not UTF-8
        // must still reach the folder.
        const int row = ui_->id1023->AddString(QFile::decodeName(line.c_str()));
        ui_->id1023->item(row)->setData(Qt::UserRole, QByteArray::fromStdString(line));
    }
    if (ui_->id1023->count() > 0) ui_->id1023->setCurrentRow(0);
    ui_->id1013->setCurrentRow(0);

    ui_->id1009->setChecked(settings.generateThumbnails != 0);
    ui_->id1010->setChecked(settings.captureToClipboard != 0);
    ui_->id1014->setChecked(settings.autoSave != 0);
    ui_->id1007->setChecked(settings.keepAspect != 0);
    ui_->id1051->setChecked(settings.expertMode != 0);
    const CaptureOptions capture = CaptureOptions::Load();
    ui_->id1091->addItem("Off");
    for (int seconds = 1; seconds <= CaptureOptions::kMaxDelaySeconds; ++seconds)
        ui_->id1091->addItem(QString("%1 s").arg(seconds));
    ui_->id1091->setCurrentIndex(capture.delaySeconds);
    ui_->id1092->setChecked(capture.pointer);

    ui_->id1011->setText(FieldString(settings.filePrefix));
    ui_->id1015->setText(FieldString(settings.defaultSaveDir));
    ui_->id1012->setText(QString::number(settings.startingNumber));
    ui_->id1016->setText(QString::number(settings.jpegQuality));
    ui_->id1005->setText(QString::number(settings.thumbHeight));
    ui_->id1004->setText(QString::number(settings.thumbWidth));

    SelectText(ui_->id1013, FieldString(settings.fileExtension));
    const QString editor = profile::ReadString("HTMED");
    if (!editor.isEmpty()) ui_->id1070->setText(editor);
}

bool CPropertiesDlg::Apply() {
    CQuilletApp* app = App();
    // Refused values are caught before anything changes.
    const int width = ParseTypedNumber(Local(ui_->id1004));
    const int height = ParseTypedNumber(Local(ui_->id1005));
    if (width < 1 || width > kMaxThumbSide || height < 1 || height > kMaxThumbSide) {
        platform::ShowMessage("The thumbnail width and height must be numbers from 1 to " +
                                  std::to_string(kMaxThumbSide) + ".",
                              kCaption, platform::MessageIcon::Warning);
        return false;
    }
    const std::string prefix = CutPrefix(Local(ui_->id1011));
    if (prefix.find('/') != std::string::npos) {
        platform::ShowMessage("The prefix names the files: it cannot hold a '/'.", kCaption,
                              platform::MessageIcon::Warning);
        return false;
    }
    const std::string saveDir = Local(ui_->id1015);
    if (saveDir.size() > kSaveDirField) {
        platform::ShowMessage("The save directory's path is longer than " +
                                  std::to_string(kSaveDirField) + " characters.",
                              kCaption, platform::MessageIcon::Warning);
        return false;
    }

    SettingsRecord& settings = app->settings;
    SetTextField(settings.thumbnailPercent, SelectedText(ui_->id1006).toStdString());
    SetTextField(settings.fileExtension, SelectedText(ui_->id1013).toStdString());
    profile::WriteString("CACHEXT", SelectedText(ui_->id1017));
    profile::WriteString("HTMLIMGEXT", SelectedText(ui_->id1018));

    settings.generateThumbnails = ui_->id1009->isChecked() ? 1 : 0;
    settings.expertMode = ui_->id1051->isChecked() ? 1 : 0;
    if (settings.expertMode != 0) app->expertMode = 1;  // unchecking waits for the next start
    settings.captureToClipboard = ui_->id1010->isChecked() ? 1 : 0;
    settings.autoSave = ui_->id1014->isChecked() ? 1 : 0;
    settings.keepAspect = ui_->id1007->isChecked() ? 1 : 0;

    SetTextField(settings.filePrefix, prefix);
    SetTextField(settings.defaultSaveDir, saveDir);
    settings.startingNumber = ParseTypedNumber(Local(ui_->id1012));
    settings.jpegQuality = ParseTypedNumber(Local(ui_->id1016));
    settings.thumbHeight = height;
    settings.thumbWidth = width;
    mailServer_ = Local(ui_->id1069).substr(0, kMailServerField);
    htmlEditor_ = Local(ui_->id1070);

    const bool settingsSaved =
        app->settingsReadOnly == 0 && WriteSettings(app->SettingsPath(), settings);
    const bool mailSaved =
        app->mailSettingsReadOnly == 0 && WriteMailServer(app->MailSettingsPath(), mailServer_);
    profile::WriteString("EMAILSMTP", QString::fromLocal8Bit(mailServer_.c_str()));
    profile::WriteString("HTMED", QString::fromLocal8Bit(htmlEditor_.c_str()));
    CaptureOptions capture;
    capture.delaySeconds = std::max(0, ui_->id1091->currentIndex());
    capture.pointer = ui_->id1092->isChecked();
    capture.Save();
    if (!settingsSaved || !mailSaved) {
        platform::ShowMessage(
            "Quillet cannot write " +
                std::string(!settingsSaved ? (mailSaved ? "quillet.ini"
                                                        : "quillet.ini and "
                                                          "quilletemail.ini")
                                           : "quilletemail.ini") +
                " in " + app->baseFolder +
                ": the options are used for this run, the file keeps its old values.",
            kCaption, platform::MessageIcon::Warning);
    }
    CheckSaveFolder(saveDir);
    return true;
}

void CPropertiesDlg::CheckSaveFolder(const std::string& folder) {
    if (folder.find("//") != std::string::npos) {
        platform::ShowMessage("Invalid Folder", kCaption, platform::MessageIcon::Error);
        return;
    }
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return;
    // The session's own folder comes into being with its first file.
    CQuilletApp* app = App();
    const std::string& session = app->sessionFolder;
    if (folder == session || folder + '/' == session) return;
    const int answer = platform::ShowMessage(
        folder + "\n\nThis path does not exist. Do you want to create it?", kCaption,
        platform::MessageIcon::Question, platform::MessageButtons::YesNo);
    if (answer != platform::kAnswerYes) return;
    platform::MakeFolder(folder);
    if (!std::filesystem::is_directory(folder, error)) {
        platform::ShowMessage("Could not create folder:\n" + folder, kCaption,
                              platform::MessageIcon::Error);
    }
}

void CPropertiesDlg::ClearCache() {
    CQuilletApp* app = App();
    ClearFolderContents(app->cacheFolder);
    platform::MakeFolder(app->cacheFolder);
    platform::MakeFolder(app->cacheThumbnailsFolder);
}

void CPropertiesDlg::BrowseHtmlEditor() {
    QFileDialog dialog(this, "Open", QString::fromLocal8Bit(App()->baseFolder.c_str()));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ReadOnly);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter("Prog Files (*)");
    // Only programs are offered, and the folders that lead to them.
    dialog.setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDot);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    ui_->id1070->setText(dialog.selectedFiles().front());
}

void CPropertiesDlg::LoadSelectedSession() {
    QListWidgetItem* item = ui_->id1023->currentItem();
    if (!item) return;
    if (LoadSession(item->data(Qt::UserRole).toByteArray().toStdString(), this)) {
        ui_->id1015->setText(FieldString(App()->settings.defaultSaveDir));
    }
    raise();
    activateWindow();
}
