#pragma once

#include <string>
#include <vector>

class CLumoDoc;
class QWidget;

// The session's file lists ("SESSION.MRU" in the session folder for images, in its thumbnails
// folder for thumbnails) and the loading of an older session from the history.

// Every line of a text file, whatever its length, each cut at its first carriage return or line
// feed. A missing file gives no lines.
std::vector<std::string> ReadTextLines(const std::string& path);

// Puts a successful save of one of the document's own files into the session list of its folder
// kind (0 images, 1 thumbnails): a document's first save appends a line that it then owns, later
// saves rewrite that line. A document being reopened from a list changes nothing.
void RecordSavedImage(CLumoDoc& doc, const std::string& path, int folderKind);

// Copies the scratch list over the list through a temporary file that takes its place: 0 done,
// -1 when the scratch list cannot be read, -2 when the list cannot be replaced.
int CopyListBack(const std::string& scratchPath, const std::string& listPath);

// Makes an older session of the history the current one and reopens every image of its list as a
// new numbered document, saved into that session under the current naming rules. False when the
// entry is empty or refused (not an existing folder); the session is then unchanged. The editor
// is raised; `keepAbove` (the dialog that asked) stays above it.
bool LoadSession(const std::string& sessionFolder, QWidget* keepAbove = nullptr);
