#pragma once

#include <QString>

#include <map>
#include <memory>
#include <string>
#include <vector>

class CLumoDoc;
class CChildFrame;
class QMdiArea;

// The editor's document template: it makes a document with its child frame and view inside the
// main frame, keeps the open documents, and the workspace table of numbered documents.
class CDocTemplate {
  public:
    explicit CDocTemplate(QMdiArea* area);
    ~CDocTemplate();
    CDocTemplate(const CDocTemplate&) = delete;
    CDocTemplate& operator=(const CDocTemplate&) = delete;

    // A new document with its frame and view, shown; null when the frame cannot be made.
    CLumoDoc* CreateDocument();
    // Opens a file as a new document (File Open, dropped files, recent files); null on failure.
    CLumoDoc* OpenDocumentFile(const QString& path);
    // The same for a path given as the bytes the system names the file by.
    CLumoDoc* OpenDocumentPath(const std::string& file);
    // The open document of a file, whichever name leads to it; null when it is not open.
    CLumoDoc* FindOpenFile(const std::string& path) const;
    // Called by a frame that is going away: the document goes with it.
    void CloseDocument(CLumoDoc* doc);
    // The document's frame, or null.
    CChildFrame* FrameOf(const CLumoDoc* doc) const;

    std::vector<CLumoDoc*> documents() const;
    // Offers to save every modified document at once; false when the user cancels or a save fails.
    bool SaveAllModified();
    // Closes every document window without asking.
    void CloseAllDocuments();

    // The workspace table: documents by their workspace number (1 .. the document count).
    CLumoDoc* WorkspaceDocument(int index) const;
    void SetWorkspaceDocument(int index, CLumoDoc* doc);
    // Forgets a document that is being destroyed.
    void ForgetWorkspaceDocument(const CLumoDoc* doc);

  private:
    QMdiArea* area_;
    std::vector<std::unique_ptr<CLumoDoc>> documentList_;
    std::map<int, CLumoDoc*> workspace_;
};

// The application's template (null before the editor exists).
CDocTemplate* DocTemplate();

// A new numbered workspace document "Image-%d" (File New, To Workspace, loaded sessions): the
// document counter and count go up first. Null (after "bad document1\n") when the frame fails.
CLumoDoc* NewWorkspaceDocument();
// File Open: the image prompt, then the chosen file as a document.
void OpenImageFileCommand();
