#pragma once

// Command, control and resource ids of Quillet. Each subsystem keeps its ids in its own block.

namespace ids {

// --- Application, coordinator window and tray ------------------------------------------------
inline constexpr int kProgramIcon = 128;       // program icon, main frame, tool bar
inline constexpr int kDocumentTemplate = 129;  // editor's document type
inline constexpr int kTrayMenu = 133;          // tray menu and tray icon id
inline constexpr int kAboutDialog = 100;
inline constexpr int kStringAppTitle = 57344;

inline constexpr int kCmdStart = 32771;
inline constexpr int kCmdExit = 32772;
inline constexpr int kCmdAbout = 32773;
inline constexpr int kCmdRectangle = 32775;
inline constexpr int kCmdWindowClient = 32776;
inline constexpr int kCmdProperties = 32785;
inline constexpr int kCmdScreen = 32802;

inline constexpr int kTrayCallbackMessage = 32769;

// Properties dialog and its controls.
inline constexpr int kPropertiesDialog = 138;
inline constexpr int kPropThumbWidth = 1004, kPropThumbHeight = 1005, kPropPercent = 1006;
inline constexpr int kPropKeepAspect = 1007, kPropGenerateThumbnails = 1009;
inline constexpr int kPropClipboard = 1010, kPropPrefix = 1011, kPropStartingNumber = 1012;
inline constexpr int kPropFileExtension = 1013, kPropAutoSave = 1014, kPropSaveDir = 1015;
inline constexpr int kPropJpegQuality = 1016, kPropCacheExtension = 1017;
inline constexpr int kPropWebExtension = 1018, kPropHistory = 1023, kPropClearCache = 1032;
inline constexpr int kPropExpertMode = 1051, kPropLoadSession = 1067, kPropMailServer = 1069;
inline constexpr int kPropHtmlEditor = 1070, kPropBrowse = 1084;
inline constexpr int kPropCaptureDelay = 1091, kPropCapturePointer = 1092;

// Framework commands of the editor.
inline constexpr int kCmdFileNew = 57600;
inline constexpr int kCmdFileOpen = 57601;
inline constexpr int kCmdFileSave = 57603;
inline constexpr int kCmdFilePrint = 57607;
inline constexpr int kCmdAppAbout = 57664;
inline constexpr int kCmdEditCut = 57635;
inline constexpr int kCmdEditCopy = 57634;
inline constexpr int kCmdEditPaste = 57637;

// --- Capture workspace: preview window, capture list, drop list ------------------------------
inline constexpr int kPreviewDialog = 203;
inline constexpr int kCaptureListDialog = 204;
inline constexpr int kDropListDialog = 230;
inline constexpr int kWorkspaceMenu = 133;  // sub-menus 3 "Edit1", 4 "Other", 5 "Send", 6 "Fun"
inline constexpr int kSubMenuEdit1 = 3;
inline constexpr int kSubMenuOther = 4;
inline constexpr int kSubMenuSend = 5;
inline constexpr int kSubMenuFun = 6;

// Skin pictures and button strips (res/skins).
inline constexpr int kSkinPreview = 218;  // the preview and both lists
inline constexpr int kStripSendTo = 219;
inline constexpr int kStripFunctions = 220;
inline constexpr int kStripSlideArrow = 229;  // also the panel's slide button
inline constexpr int kStripDropListOk = 231;
inline constexpr int kStripDropListClear = 232;
inline constexpr int kStripDropListSlide = 233;

// Controls of the preview (203).
inline constexpr int kPreviewSendTo = 1000;
inline constexpr int kPreviewDropListButton = 1001;
inline constexpr int kPreviewGalleryButton = 1002;
inline constexpr int kPreviewInfoText = 1003;
inline constexpr int kPreviewImageArea = 1073;
inline constexpr int kPreviewFunctions = 1074;
// Controls of the capture list (204) and the drop list (230).
inline constexpr int kListRows = 1023;
inline constexpr int kDropListOk = 1;
inline constexpr int kDropListClear = 1032;

// Commands of the preview's menus.
inline constexpr int kCmdDelete = 32819;
inline constexpr int kCmdCopy = 32821;
inline constexpr int kCmdPaste = 32824;
inline constexpr int kCmdOtherClipboardViewer = 32825;
inline constexpr int kCmdOtherOpenFile = 32826;
inline constexpr int kCmdToWorkspace = 32827;
inline constexpr int kCmdToExplorer = 32828;
inline constexpr int kCmdCopyToClipboard = 32829;
inline constexpr int kCmdPasteFromClipboard = 32830;
inline constexpr int kCmdDeleteCapture = 32831;
inline constexpr int kCmdOpenFile = 32833;
inline constexpr int kCmdClipboardViewer = 32834;
inline constexpr int kCmdToHtmlEditor = 32837;
inline constexpr int kCmdMailRecipient = 57612;
// --- End of capture workspace ----------------------------------------------------------------

// --- File encryption: Encrypt/Decrypt dialog ---------------------------------------------------
inline constexpr int kEncryptDecryptDialog = 195;
inline constexpr int kEncryptDecryptFileName = 1058;  // edit: the file chosen with Browse
inline constexpr int kEncryptDecryptBrowse = 1000;
inline constexpr int kEncryptDecryptEncrypt = 1017;  // radio buttons
inline constexpr int kEncryptDecryptDecrypt = 1018;
inline constexpr int kEncryptDecryptPassword = 1059;  // edit
inline constexpr int kEncryptDecryptOk = 1;
inline constexpr int kEncryptDecryptCancel = 2;
// --- End of file encryption ------------------------------------------------------------------

}  // namespace ids

// --- Floating control panel -------------------------------------------------------------------
namespace ids {
inline constexpr int kPanelDesktop = 1000;
inline constexpr int kPanelSlice = 1001;
inline constexpr int kPanelHelp = 1002;
inline constexpr int kPanelWindow = 1003;
inline constexpr int kPanelIcons = 1004;
inline constexpr int kPanelOptions = 1005;
inline constexpr int kPanelSlide = 1071;
inline constexpr int kPanelOk = 1;
inline constexpr int kPanelCancel = 2;

inline constexpr int kSubMenuWindow = 1;  // of menu 133
inline constexpr int kSubMenuIcons = 2;
inline constexpr int kCmdPickWindow = 32809;
inline constexpr int kCmdPickClient = 32810;
inline constexpr int kCmdPickControl = 32811;
inline constexpr int kCmdPickDropdown = 32812;
inline constexpr int kCmdWholePage = 32813;
inline constexpr int kCmdPageSource = 32814;
inline constexpr int kCmdSystemIcons = 32815;
inline constexpr int kCmdExtractIcon = 32816;
inline constexpr int kCmdPickTest = 32817;
}  // namespace ids

// --- Window inspector ------------------------------------------------------------------------
namespace ids {
inline constexpr int kInspectorDialog = 193;
inline constexpr int kInspectorRows = 1056;   // list view: "Attribute" and "Value"
inline constexpr int kInspectorClass = 1057;  // combo box of class names
}  // namespace ids

// --- Image editor: documents, views, frames, operation dialogs, HTML preview ------------------
namespace ids {
inline constexpr int kHintImageChanged = 1025;  // views: the image or the zoom changed
inline constexpr int kMsgRefreshViews = 0x401;  // view: refresh every view of the document

// Framework commands of the editor's menus.
inline constexpr int kCmdFileClose = 57602;
inline constexpr int kCmdFileSaveAs = 57604;
inline constexpr int kCmdFilePrintSetup = 57606;
inline constexpr int kCmdFilePrintDirect = 57608;
inline constexpr int kCmdFilePrintPreview = 57609;
inline constexpr int kCmdFileMru1 = 57616;  // up to 57619
inline constexpr int kCmdAppExit = 57665;
inline constexpr int kCmdEditUndo = 57643;
inline constexpr int kCmdEditRedo = 57644;
inline constexpr int kCmdWindowArrange = 57649;
inline constexpr int kCmdWindowCascade = 57650;
inline constexpr int kCmdWindowTile = 57651;
inline constexpr int kCmdViewToolBar = 59392;
inline constexpr int kCmdViewStatusBar = 59393;

// The Image and HTML menus.
inline constexpr int kCmdCrop = 32778;
inline constexpr int kCmdLighten = 32788;
inline constexpr int kCmdDarken = 32789;
inline constexpr int kCmdZoomIn = 32790;
inline constexpr int kCmdZoomOut = 32791;
inline constexpr int kCmdReplicate = 32792;
inline constexpr int kCmdMirror = 32794;
inline constexpr int kCmdRotateRight = 32795;
inline constexpr int kCmdRotateLeft = 32796;
inline constexpr int kCmdColorsReduce = 32799;
inline constexpr int kCmdColorsIncrease = 32800;
inline constexpr int kCmdInformation = 32801;
inline constexpr int kCmdGreyscale = 32803;
inline constexpr int kCmdEncryption = 32805;
inline constexpr int kCmdResize = 32808;
inline constexpr int kCmdImageAsHtml = 32822;
inline constexpr int kCmdThumbnailGallery = 32823;
inline constexpr int kCmdAnnotate = 32836;

// The Annotate menu and tool bar: the tools in their order (Select .. Solid redaction box), the
// palette's colours, the chooser, the three widths, and the commands on the marks.
inline constexpr int kHintAnnotationsChanged = 1026;  // views: the marks changed, not the picture
inline constexpr int kCmdAnnotateToolFirst = 32900;   // up to 32911
inline constexpr int kCmdAnnotateColorFirst = 32920;  // up to 32927
inline constexpr int kCmdAnnotateColorOther = 32928;
inline constexpr int kCmdAnnotateWidthFirst = 32930;  // up to 32932
inline constexpr int kCmdDeleteAnnotation = 32935;
inline constexpr int kCmdApplyAnnotations = 32936;

// Operation dialogs and their controls.
inline constexpr int kIncreaseDepthDialog = 142;
inline constexpr int kDecreaseDepthDialog = 143;
inline constexpr int kRotateDialog = 144;
inline constexpr int kInformationDialog = 174;
inline constexpr int kResizeDialog = 197;
inline constexpr int kAnnotateDialog = 235;
inline constexpr int kHtmlPreviewDialog = 150;
inline constexpr int kDepthChoice1 = 1017;  // radio buttons of both colour depth dialogs
inline constexpr int kDepthChoice2 = 1018;
inline constexpr int kDepthChoice3 = 1019;
inline constexpr int kRotate90 = 1034;
inline constexpr int kRotate180 = 1035;
inline constexpr int kRotate270 = 1036;
inline constexpr int kInformationText = 1033;
inline constexpr int kResizeWidth = 1062;
inline constexpr int kResizeHeight = 1063;
inline constexpr int kResizeKeepAspect = 1064;
inline constexpr int kResizeFast = 1008;
inline constexpr int kResizeFactor = 1065;
inline constexpr int kAnnotateFont = 1081;
inline constexpr int kAnnotateText = 1082;
inline constexpr int kAnnotateDate = 1083;
inline constexpr int kAnnotateTime = 1084;
inline constexpr int kHtmlPreviewButton = 1000;
inline constexpr int kHtmlPreviewPane = 0xE900;
}  // namespace ids
// --- End of image editor -----------------------------------------------------------------------

// --- Icon tools: the icon window ---------------------------------------------------------------
namespace ids {
inline constexpr int kIconDialog = 181;
inline constexpr int kSkinIcons = 207;
inline constexpr int kStripIconsBrowse = 221;
inline constexpr int kStripIconsClose = 228;  // the panel's exit strip
inline constexpr int kIconsClose = 2;
inline constexpr int kIconsSystemList = 1044;
inline constexpr int kIconsFileList = 1045;
inline constexpr int kIconsPath = 1048;
inline constexpr int kIconsReport = 1075;
inline constexpr int kIconsBrowse = 1076;
}  // namespace ids
