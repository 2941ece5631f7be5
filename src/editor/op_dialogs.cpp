#include "editor/op_dialogs.h"

#include "ui_annotate_dlg.h"
#include "ui_decrease_depth_dlg.h"
#include "ui_increase_depth_dlg.h"
#include "ui_information_dlg.h"
#include "ui_resize_dlg.h"
#include "ui_rotate_dlg.h"

#include "platform/dialog_units.h"

#include <QColorDialog>
#include <QEvent>
#include <QFontDialog>

#include <cstdio>

namespace {

constexpr Qt::WindowFlags kDialogFlags =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// The dialog's size in dialog units, grown where the fonts need more.
void SizeDialog(QDialog& dialog, int width, int height) {
    dialog.resize(platform::DialogUnitsToPixels(QSize(width, height), dialog.font())
                      .expandedTo(dialog.minimumSizeHint()));
}

QString FormatFloat(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    return QString::fromLatin1(text);
}

}  // namespace

unsigned ReadUnsigned(const QString& text) {
    unsigned value = 0;
    int i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + static_cast<unsigned>(text[i].unicode() - '0');
    return value;
}

// --- Increase Color Depth
// -------------------------------------------------------------------------

CIncreaseDepthDlg::CIncreaseDepthDlg(int bits, QWidget* parent)
    : QDialog(parent, kDialogFlags), bits(bits), ui(std::make_unique<Ui::CIncreaseDepthDlg>()) {
    ui->setupUi(this);
    SizeDialog(*this, 186, 142);
    (bits == 4 ? ui->id1017 : bits == 8 ? ui->id1018 : ui->id1019)->setChecked(true);
    connect(ui->id1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->id2, &QPushButton::clicked, this, &QDialog::reject);
}

CIncreaseDepthDlg::~CIncreaseDepthDlg() = default;

void CIncreaseDepthDlg::accept() {
    bits = ui->id1017->isChecked() ? 4 : ui->id1018->isChecked() ? 8 : 24;
    QDialog::accept();
}

// --- Decrease Color Depth
// -------------------------------------------------------------------------

CDecreaseDepthDlg::CDecreaseDepthDlg(int bits, QWidget* parent)
    : QDialog(parent, kDialogFlags), bits(bits), ui(std::make_unique<Ui::CDecreaseDepthDlg>()) {
    ui->setupUi(this);
    SizeDialog(*this, 186, 142);
    (bits == 8 ? ui->id1017 : bits == 4 ? ui->id1018 : ui->id1019)->setChecked(true);
    connect(ui->id1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->id2, &QPushButton::clicked, this, &QDialog::reject);
}

CDecreaseDepthDlg::~CDecreaseDepthDlg() = default;

void CDecreaseDepthDlg::accept() {
    bits = ui->id1017->isChecked() ? 8 : ui->id1018->isChecked() ? 4 : 1;
    method = 1;
    diffusion = 1;
    QDialog::accept();
}

// --- Rotate -------------------------------------------------------------------------------------

CRotateDlg::CRotateDlg(QWidget* parent)
    : QDialog(parent, kDialogFlags), ui(std::make_unique<Ui::CRotateDlg>()) {
    ui->setupUi(this);
    SizeDialog(*this, 186, 92);
    ui->id1034->setChecked(true);
    connect(ui->id1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->id2, &QPushButton::clicked, this, &QDialog::reject);
}

CRotateDlg::~CRotateDlg() = default;

int CRotateDlg::QuarterTurns() const {
    return ui->id1036->isChecked() ? 3 : ui->id1035->isChecked() ? 2 : 1;
}

// --- Information --------------------------------------------------------------------------------

CInformationDlg::CInformationDlg(const QString& text, QWidget* parent)
    : QDialog(parent, kDialogFlags), ui(std::make_unique<Ui::CInformationDlg>()) {
    ui->setupUi(this);
    SizeDialog(*this, 186, 92);
    // The edit shows the lines as the text breaks them ("\r\n").
    ui->id1033->setPlainText(QString(text).remove('\r'));
    connect(ui->id1, &QPushButton::clicked, this, &QDialog::accept);
}

CInformationDlg::~CInformationDlg() = default;

// --- Resize -------------------------------------------------------------------------------------

CResizeDlg::CResizeDlg(unsigned width, unsigned height, QWidget* parent)
    : QDialog(parent, kDialogFlags),
      width(width),
      height(height),
      ui(std::make_unique<Ui::CResizeDlg>()),
      currentWidth(static_cast<float>(width)),
      currentHeight(static_cast<float>(height)),
      startWidth(static_cast<float>(width)),
      startHeight(static_cast<float>(height)) {
    ui->setupUi(this);
    SizeDialog(*this, 186, 92);
    ui->id1062->setText(QString::number(width));
    ui->id1063->setText(QString::number(height));
    ui->id1065->setText(FormatFloat(factor));
    ui->id1064->setChecked(true);
    ui->id1008->setChecked(true);
    // The other size follows as the user types, so the proportion holds however the dialog is
    // closed (Enter included), not only when a field loses the focus.
    connect(ui->id1062, &QLineEdit::textChanged, this, [this] { OnWidthEdited(); });
    connect(ui->id1063, &QLineEdit::textChanged, this, [this] { OnHeightEdited(); });
    connect(ui->id1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->id2, &QPushButton::clicked, this, &QDialog::reject);
}

CResizeDlg::~CResizeDlg() = default;

void CResizeDlg::ShowFactor(float newWidth) {
    factor = newWidth / startWidth;
    SetField(ui->id1065, FormatFloat(factor));
}

void CResizeDlg::SetField(QLineEdit* field, const QString& text) {
    following_ = true;
    field->setText(text);
    following_ = false;
}

// An unchecked "Maintain Aspect Ratio" lets the two sizes go their own ways. A size of 0 (a
// field emptied while typing) changes nothing else, so the proportion survives it.
void CResizeDlg::OnWidthEdited() {
    if (following_) return;
    lastEdited_ = ui->id1062;
    const float w = static_cast<float>(ReadUnsigned(ui->id1062->text()));
    if (!ui->id1064->isChecked()) {
        currentWidth = w;
        ShowFactor(w);
        return;
    }
    if (w > 0.0f && currentWidth > 0.0f) {
        const float h = currentHeight * w / currentWidth;
        SetField(ui->id1063, QString::number(static_cast<unsigned>(h)));
        currentWidth = w;
        currentHeight = h;
        ShowFactor(w);
    }
}

void CResizeDlg::OnHeightEdited() {
    if (following_) return;
    lastEdited_ = ui->id1063;
    const float h = static_cast<float>(ReadUnsigned(ui->id1063->text()));
    if (!ui->id1064->isChecked()) {
        currentHeight = h;
        return;
    }
    if (h > 0.0f && currentWidth > 0.0f && currentHeight > 0.0f) {
        const float w = currentWidth * h / currentHeight;
        SetField(ui->id1062, QString::number(static_cast<unsigned>(w)));
        currentWidth = w;
        currentHeight = h;
        ShowFactor(w);
    }
}

void CResizeDlg::accept() {
    // Once more from the field typed last, whatever happened to the fields meanwhile.
    if (lastEdited_ == ui->id1062) OnWidthEdited();
    if (lastEdited_ == ui->id1063) OnHeightEdited();
    width = ReadUnsigned(ui->id1062->text());
    height = ReadUnsigned(ui->id1063->text());
    fast = ui->id1008->isChecked();
    QDialog::accept();
}

// --- Annotate -----------------------------------------------------------------------------------

CAnnotateDlg::CAnnotateDlg(const QString& text, const QFont& font, const QColor& color,
                           QWidget* parent)
    : QDialog(parent, kDialogFlags),
      text(text),
      font(font),
      color(color),
      ui(std::make_unique<Ui::CAnnotateDlg>()) {
    ui->setupUi(this);
    SizeDialog(*this, 186, 92);
    ui->id1082->setText(text);
    ShowColor();
    connect(ui->id1081, &QPushButton::clicked, this, &CAnnotateDlg::OnFont);
    connect(ui->colorButton, &QPushButton::clicked, this, &CAnnotateDlg::OnColor);
    connect(ui->id1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->id2, &QPushButton::clicked, this, &QDialog::reject);
}

CAnnotateDlg::~CAnnotateDlg() = default;

void CAnnotateDlg::OnFont() {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font, this, "Font");
    if (ok) font = chosen;
}

// The font dialog has no colour: the colour is chosen beside it.
void CAnnotateDlg::OnColor() {
    const QColor chosen = QColorDialog::getColor(color, this, "Color");
    if (chosen.isValid()) color = chosen;
    ShowColor();
}

void CAnnotateDlg::ShowColor() {
    ui->colorButton->setStyleSheet(QString("QPushButton { color: %1; }").arg(color.name()));
}

void CAnnotateDlg::accept() {
    text = ui->id1082->text();
    includeDate = ui->id1083->isChecked();
    includeTime = ui->id1084->isChecked();
    QDialog::accept();
}
