#include "app/about_dlg.h"

#include "ids.h"
#include "platform/dialog_units.h"
#include "ui_about_dlg.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::AboutDlg>()) {
    ui_->setupUi(this);
    setObjectName(QString("id%1").arg(ids::kAboutDialog));
    setMinimumSize(platform::DialogUnitsToPixels(QSize(235, 55), font()));
}

CAboutDlg::~CAboutDlg() = default;
