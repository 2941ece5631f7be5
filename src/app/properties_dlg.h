#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class PropertiesDlg;
}
class CAListbx;
class QLineEdit;
class QListWidget;
class QCheckBox;

// The options page: the settings record, the HTML editor, the mail server, the extensions, the
// sessions history with loading of an older session, and emptying the capture cache. "APPLY"
// saves everything and keeps the dialog open; "Cancel" ends it.
class CPropertiesDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CPropertiesDlg(QWidget* parent = nullptr);
    ~CPropertiesDlg() override;

    // Takes every field into the settings and saves them; false (after saying why) when a value
    // is refused, the old values then stay.
    bool Apply();
    void ClearCache();
    void BrowseHtmlEditor();
    void LoadSelectedSession();

    CAListbx* historyList() const;

  private:
    void OnInitDialog();
    void PlaceControls();
    void CheckSaveFolder(const std::string& folder);

    std::unique_ptr<Ui::PropertiesDlg> ui_;
    std::string mailServer_;
    std::string htmlEditor_;
};

// Removes everything inside `folder` (read-only entries too); a symbolic link is removed, never
// followed. The folder itself stays.
void ClearFolderContents(const std::string& folder);

// A prefix cut to the 31 bytes of its field without splitting a character.
std::string CutPrefix(const std::string& prefix);
