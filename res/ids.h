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

// Framework commands of the editor.
inline constexpr int kCmdFileNew = 57600;
inline constexpr int kCmdFileOpen = 57601;
inline constexpr int kCmdFileSave = 57603;
inline constexpr int kCmdFilePrint = 57607;
inline constexpr int kCmdAppAbout = 57664;
inline constexpr int kCmdEditCut = 57635;
inline constexpr int kCmdEditCopy = 57634;
inline constexpr int kCmdEditPaste = 57637;

}  // namespace ids
