#pragma once

#include <QFileDialog>
#include <QString>

#include <functional>

// The image type filters of the editor's open and save prompts.
struct ImageFilterRow {
    int type;  // image type id; -1 for every supported file
    bool open;
    bool save;
    const char* description;
    const char* pattern;
};

// The filter table, in the order the prompts list it.
const ImageFilterRow* ImageFilterRows(int* count);
// The row of an image type, or null when the type has none.
const ImageFilterRow* ImageFilterRowOf(int type);
// The type's extension with its dot (".jpg" for JPEG): the first pattern without its "*";
// empty for a type without a row.
QString ImageTypeExtension(int type);

// One open or save prompt. `fileName` and `type` go in and, on OK, come back with the choice.
struct ImagePromptRequest {
    QString fileName;
    QFileDialog::Options options;
    bool open = true;
    int type = -1;
    QString title;
    QString startFolder;  // empty: where the dialog chooses
    QStringList filters;  // "description (patterns)" per row enabled for the mode
    int selectedFilter = 0;
    QString defaultSuffix;
};

// The type a caller gives when it has none: the prompt then preselects JPEG.
inline constexpr int kNoImageType = -2;

// Shows the system file dialog for an image (title "Open image file" or "Save image file").
// Returns true only for OK, with the chosen file and the chosen row's type.
bool PromptImageFile(QString& fileName, QFileDialog::Options flags, bool open, int& type);

// Tests answer the prompt themselves: the hook sees the prepared request and gives the answer.
using ImagePromptHook = std::function<bool(ImagePromptRequest&)>;
void SetImagePromptHook(ImagePromptHook hook);
