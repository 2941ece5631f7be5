#include "editor/bogus_doc.h"

#include "export/send_to.h"
#include "ids.h"
#include "platform/message_box.h"

namespace {
constexpr const char* kCaption = "Quillet";
}

CBogusDoc::CBogusDoc() = default;
CBogusDoc::~CBogusDoc() = default;

bool CBogusDoc::OnOpenDocument(const std::string& path) {
    const int type = RasterTypeFromPath(path);
    if (type < 0) return false;
    auto image = std::make_unique<CRaster>();
    if (!image->Load(path.c_str(), static_cast<uint32_t>(type)) || !image->IsValid()) {
        // A file that cannot be opened leaves no error text: the caller says what failed.
        if (*image->GetLastError()) platform::ShowMessage(image->GetLastError(), kCaption);
        image_.reset();
        return false;
    }
    image_ = std::move(image);
    title_ = pathName_ = path;
    return true;
}

bool CBogusDoc::OnSaveDocument(const std::string& path) {
    const int type = RasterTypeFromPath(path);
    if (!image_ || type < 0) return false;
    if (!image_->Save(path.c_str(), static_cast<uint32_t>(type))) {
        const char* error =
            *image_->GetLastError() ? image_->GetLastError() : "Cannot write the file.";
        platform::ShowMessage(error, kCaption);
        return false;
    }
    return true;
}

// Mail sends the document's picture as an attachment; without a picture the preview answers.
bool CBogusDoc::onCommand(int id) {
    if (id != ids::kCmdMailRecipient || !image_) return false;
    MailImage(title_, *image_);
    return true;
}
