#pragma once

#include <QSize>

#include <string>

class CCaptureRecord;
class CLumoDoc;
class CRaster;

// The actions that hand a capture on: into the editor's workspace, to the browser or an HTML
// editor as a one-image page, and to mail.

inline constexpr const char* kNoCaptureMessage = "No Image has been captured!";
inline constexpr const char* kNoEditorMessage = "No editor has been defined.\n";

// JPEG holds true colour only: saves a 24-bit copy with transparency flattened onto the picture's
// background colour.
bool SaveJpegCopy(const CRaster& image, const std::string& path);

// Opens the capture as a new numbered workspace document, writes it into the session and leaves
// its thumbnail to the view's next paint. Null when nothing was sent.
CLumoDoc* SendToWorkspace(const CCaptureRecord* record);

// The workspace thumbnail's size for a picture: the picture's own when it fits the box, otherwise
// the picture fitted into the box with its aspect ratio.
QSize WorkspaceThumbnailSize(int imageWidth, int imageHeight, int boxWidth, int boxHeight);
// Makes the document's workspace thumbnail and writes it as JPEG to its thumbnail path.
void MakeWorkspaceThumbnail(CLumoDoc& doc);

// The capture in a web format (its own file, or a JPEG beside it) and the page path beside it.
// False, with the capture's error shown, when its picture cannot be had.
bool MakeWebImage(const CCaptureRecord& record, std::string& webImagePath, std::string& pagePath);
// The page with the picture's size, opened in the browser.
bool SendToExplorer(const CCaptureRecord* record, std::string& webImagePath, std::string& pagePath);
// The page without size, handed to the HTML editor of the profile value "HTMED".
bool SendToHtmlEditor(const CCaptureRecord* record, std::string& webImagePath,
                      std::string& pagePath);

// Whether a mail composer can be started.
bool MailAvailable();
// The attachment's file name: the title's file-name part, with the image type's extension added
// unless it ends with it already.
std::string MailAttachmentName(const std::string& title, int imageType);
// Writes the picture to a private temporary folder (kept until the program ends, since the
// composer reads it later) and asks the mail composer for a message with it attached.
bool MailImage(const std::string& title, const CRaster& image);
