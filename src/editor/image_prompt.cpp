#include "editor/image_prompt.h"

#include "app/quillet_app.h"
#include "editor/main_frame.h"

#include "image/raster.h"

#include <QDir>

#include <iterator>

namespace {

constexpr ImageFilterRow kRows[] = {
    {-1, true, true, "Supported files",
     "*.bmp;*.gif;*.jpg;*.jpeg;*.png;*.ico;*.tif;*.tiff;*.tga;*.pcx;*.wbmp;*.wmf;*.emf;*.j2k;*.jp2;"
     "*.jbg"},
    {0, true, true, "BMP files", "*.bmp"},
    {1, true, true, "GIF files", "*.gif"},
    {2, true, true, "JPG files", "*.jpg;*.jpeg"},
    {3, true, true, "PNG files", "*.png"},
    {4, true, true, "ICO files", "*.ico"},
    {5, true, true, "TIF files", "*.tif;*.tiff"},
    {6, true, true, "TGA files", "*.tga"},
    {7, true, true, "PCX files", "*.pcx"},
};

ImagePromptHook& Hook() {
    static ImagePromptHook hook;
    return hook;
}

// Qt's filter text: the patterns separated by blanks inside parentheses.
QString FilterText(const ImageFilterRow& row) {
    return QString("%1 (%2)").arg(row.description, QString(row.pattern).replace(';', ' '));
}

bool RunDialog(ImagePromptRequest& request) {
    QWidget* owner = App() ? App()->mainFrame() : nullptr;
    QFileDialog dialog(owner, request.title, request.startFolder);
    dialog.setObjectName("ImagePrompt");
    dialog.setOptions(request.options);
    dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(request.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(request.filters);
    dialog.selectNameFilter(request.filters.value(request.selectedFilter));
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    request.fileName = dialog.selectedFiles().first();
    request.selectedFilter = static_cast<int>(request.filters.indexOf(dialog.selectedNameFilter()));
    return true;
}

}  // namespace

const ImageFilterRow* ImageFilterRows(int* count) {
    *count = static_cast<int>(std::size(kRows));
    return kRows;
}

const ImageFilterRow* ImageFilterRowOf(int type) {
    for (const ImageFilterRow& row : kRows) {
        if (row.type == type) return &row;
    }
    return nullptr;
}

QString ImageTypeExtension(int type) {
    const ImageFilterRow* row = ImageFilterRowOf(type);
    if (!row || type < 0) return {};
    return QString(row->pattern).section(';', 0, 0).mid(1);
}

void SetImagePromptHook(ImagePromptHook hook) {
    Hook() = std::move(hook);
}

bool PromptImageFile(QString& fileName, QFileDialog::Options flags, bool open, int& type) {
    ImagePromptRequest request;
    request.fileName = fileName;
    // Read-only files are never offered for writing; overwriting asks first.
    request.options = flags | QFileDialog::DontUseNativeDialog;
    request.open = open;
    request.title = open ? "Open image file" : "Save image file";
    if (open && App()) {
        request.startFolder =
            QString::fromStdString(App()->sessionUsed ? App()->sessionFolder : App()->binFolder);
    }
    const int wanted = type == kNoImageType ? static_cast<int>(kTypeJpeg) : type;
    std::vector<int> rowTypes;
    for (const ImageFilterRow& row : kRows) {
        if (open ? !row.open : !row.save) continue;
        if (row.type == wanted) request.selectedFilter = static_cast<int>(rowTypes.size());
        request.filters << FilterText(row);
        rowTypes.push_back(row.type);
    }
    if (const ImageFilterRow* row = ImageFilterRowOf(wanted))
        request.defaultSuffix = QString(row->pattern).section(';', 0, 0).mid(2);
    request.type = wanted;

    const bool ok = Hook() ? Hook()(request) : RunDialog(request);
    if (!ok) return false;
    fileName = request.fileName;
    if (request.selectedFilter >= 0 && request.selectedFilter < static_cast<int>(rowTypes.size()))
        type = rowTypes[static_cast<size_t>(request.selectedFilter)];
    return true;
}
