#pragma once

#include "app/command_target.h"

#include "editor/annotation/annotation_tools.h"
#include "editor/lumo_doc.h"

#include <QMainWindow>

#include <memory>

class CDocTemplate;
class CLumoView;
class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QTimer;

// The image editor's main frame: the MDI area, the tool bar and the status bar. It starts hidden
// and closing it only hides it until the program is quitting.
class CMainFrame : public QMainWindow, public CCommandTarget {
    Q_OBJECT

  public:
    static constexpr int kToolBarId = 0xE800;
    static constexpr int kStatusBarId = 0xE801;
    static constexpr int kAnnotateBarId = 0xE802;

    CMainFrame();
    ~CMainFrame() override;

    // Builds the tool bar and the status bar; false when either could not be made.
    bool Create();

    bool onCommand(int id) override;
    // What a command's menu item and tool bar button show now.
    CommandState QueryCommand(int id) const;
    // Brings every menu item and tool bar button up to date.
    void UpdateCommandUI();

    QMdiArea* mdiArea() const { return mdiArea_; }
    CDocTemplate* docTemplate() const { return docTemplate_.get(); }
    // The document and view of the active document window, or null.
    CLumoDoc* ActiveDocument() const;
    CLumoView* ActiveView() const;
    // The action of a menu command, for tests and for the menus' own use.
    QAction* MenuAction(int id) const;
    // Shows a text in the status bar's message pane.
    void SetMessageText(const QString& text);
    // The annotation tool, colours and widths the document windows draw with.
    const CAnnotationToolbox& toolbox() const { return toolbox_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    bool CreateToolBar();
    bool CreateAnnotateToolBar();
    // The Annotate menu's and tool bar's own commands (tools, colours, widths).
    bool OnAnnotateCommand(int id);
    CommandState QueryAnnotateCommand(int id) const;
    // The tool whose colour and width the choices show: the selected mark's, else the chosen one.
    AnnotationTool ChoiceTool() const;
    void SaveToolSettings(AnnotationTool tool);
    bool CreateStatusBar();
    void CreateMenus();
    void FillRecentFiles();
    void FillWindowList();
    bool OnFrameCommand(int id);
    void UpdateKeyboardIndicators();

    QMdiArea* mdiArea_ = nullptr;
    QLabel* messagePane_ = nullptr;
    QLabel* capsIndicator_ = nullptr;
    QLabel* numIndicator_ = nullptr;
    QLabel* scrollIndicator_ = nullptr;
    QTimer* indicatorTimer_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QAction* recentAnchor_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    std::unique_ptr<CDocTemplate> docTemplate_;
    CAnnotationToolbox toolbox_;
};
