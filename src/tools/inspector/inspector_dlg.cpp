#include "tools/inspector/inspector_dlg.h"

#include "ui_inspector_dlg.h"

#include "platform/dialog_units.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kAttributeColumnWidth = 100;
constexpr int kValueColumnWidth = 1500;
constexpr int kValueColumn = 1;
constexpr int kLabelMargin = 16;  // the margins of an item and a gap

// Info tips: a value wider than the part of its cell in view shows whole in a tooltip.
class CInfoTipDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data().toString();
        const int visible = option.rect.intersected(view->viewport()->rect()).width();
        if (!text.isEmpty() && option.fontMetrics.horizontalAdvance(text) + 8 > visible) {
            QToolTip::showText(event->globalPos(), text, view);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
};

}  // namespace

const QStringList& CInspectorDlg::ClassNames() {
    static const QStringList names = [] {
        QStringList list = {"Button",
                            "Static",
                            "Edit",
                            "ComboBox",
                            "ListBox",
                            "Scrollbar",
                            "toolbarwindow32",
                            "msctls_updown32",
                            "msctls_progress32",
                            "msctls_trackbar32",
                            "msctls_hotkey32",
                            "SysListView32",
                            "SysTreeView32",
                            "SysTabControl32",
                            "SysAnimate32",
                            "Richedit",
                            "SysDateTimePick32",
                            "SysMonthCal32",
                            "SysIPAddress32",
                            "SysPager32",
                            "ComboBoxEx32",
                            "msctls_statusbar32",
                            "ReBarWindow32",
                            "SysHeader32",
                            "Dialog Box (#32770)",
                            "MDIClient",
                            "ComboLBox",
                            "Menu (#32768)",
                            "Desktop (#32769)",
                            "Icon Title (#32772)",
                            "tooltips_class32",
                            "Task Switcher (#32771)"};
        // A sorted combo box: QComboBox keeps the order it is given.
        std::stable_sort(list.begin(), list.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        return list;
    }();
    return names;
}

CInspectorDlg::CInspectorDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::CInspectorDlg>()) {
    ui_->setupUi(this);
    resize(platform::DialogUnitsToPixels(QSize(186, 228), font()));
    ui_->id1057->addItems(ClassNames());
    ui_->id1057->setCurrentIndex(-1);

    QTreeWidget* rows = ui_->id1056;
    rows->setItemDelegate(new CInfoTipDelegate(rows));
    QHeaderView* header = rows->header();
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setEnabled(false);
    // Wider than its 100 pixels where the font needs it, so every attribute reads in full.
    int labelWidth = kAttributeColumnWidth;
    for (int attribute : inspector::kRowAttributes) {
        const QString label = inspector::AttributeLabel(attribute);
        labelWidth =
            std::max(labelWidth, rows->fontMetrics().horizontalAdvance(label) + kLabelMargin);
    }
    rows->setColumnWidth(0, labelWidth);
    rows->setColumnWidth(kValueColumn, kValueColumnWidth);
    for (int attribute : inspector::kRowAttributes) {
        auto* item =
            new QTreeWidgetItem(rows, QStringList{inspector::AttributeLabel(attribute), QString()});
        item->setData(0, Qt::UserRole, attribute);
    }

    MoveToTopRight();
    Refresh(false);
}

CInspectorDlg::~CInspectorDlg() = default;

void CInspectorDlg::Refresh(bool force) {
    const auto facts = inspector::CollectWindowFacts(platform::WindowAtPoint(point_));
    if (!force && inspector::CacheOf(facts) == cached_) return;
    ShowFacts(facts);
}

void CInspectorDlg::ShowWindowInfo(platform::XWindow window) {
    ShowFacts(inspector::CollectWindowFacts(window));
}

void CInspectorDlg::ShowFacts(const std::optional<inspector::WindowFacts>& facts) {
    cached_ = inspector::CacheOf(facts);
    if (facts) {
        setWindowTitle("Quillet - " +
                       (facts->caption.isEmpty() ? facts->className : facts->caption));
    } else {
        setWindowTitle("Quillet");
    }
    QTreeWidget* rows = ui_->id1056;
    for (int row = 0; row < inspector::kRowCount; ++row) {
        const int attribute = inspector::kRowAttributes[row];
        const QString value =
            attribute < 0 ? QString() : inspector::RowValue(attribute, facts, point_);
        QTreeWidgetItem* item = rows->topLevelItem(row);
        if (item->text(kValueColumn) != value) item->setText(kValueColumn, value);
    }
    SelectClass(facts ? facts->className : QString());
    ui_->id1057->setEnabled(facts.has_value());
}

// The first entry beginning with the class name, as a combo box's own prefix search finds it.
void CInspectorDlg::SelectClass(const QString& className) {
    QComboBox* classes = ui_->id1057;
    int found = -1;
    if (!className.isEmpty()) {
        for (int i = 0; i < classes->count() && found < 0; ++i) {
            if (classes->itemText(i).startsWith(className, Qt::CaseInsensitive)) found = i;
        }
    }
    classes->setCurrentIndex(found);
}

void CInspectorDlg::MoveToTopRight() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    const int width = std::max(frameGeometry().width(), this->width());
    const QPoint corner(area.left() + area.width() - width, area.top());
    if (pos() != corner) move(corner);
}

// The frame's width is known only once the window manager has framed the window.
void CInspectorDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (placedOnce_) return;
    placedOnce_ = true;
    MoveToTopRight();
    for (int delay : {50, 200, 500, 1000})
        QTimer::singleShot(delay, this, &CInspectorDlg::MoveToTopRight);
}
