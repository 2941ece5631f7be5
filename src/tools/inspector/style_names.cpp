#include "tools/inspector/style_names.h"

#include <cctype>
#include <iterator>

namespace inspector {

namespace {

constexpr StyleName kClassStyles[] = {
    {"CS_VREDRAW", 1},
    {"CS_HREDRAW", 2},
    {"CS_DBLCLKS", 8},
    {"CS_OWNDC", 0x20},
    {"CS_CLASSDC", 0x40},
    {"CS_PARENTDC", 0x80},
    {"CS_NOCLOSE", 0x200},
    {"CS_SAVEBITS", 0x800},
    {"CS_BYTEALIGNCLIENT", 0x1000},
    {"CS_BYTEALIGNWINDOW", 0x2000},
    {"CS_GLOBALCLASS", 0x4000},
    {"CS_IME", 0x10000},
};

// WS_MINIMIZEBOX and WS_MAXIMIZEBOX share their bits with WS_GROUP and WS_TABSTOP.
constexpr StyleName kWindowStyles[] = {
    {"WS_OVERLAPPED", 0},           {"WS_POPUP", 0x80000000},       {"WS_CHILD", 0x40000000},
    {"WS_MINIMIZE", 0x20000000},    {"WS_VISIBLE", 0x10000000},     {"WS_DISABLED", 0x8000000},
    {"WS_CLIPSIBLINGS", 0x4000000}, {"WS_CLIPCHILDREN", 0x2000000}, {"WS_MAXIMIZE", 0x1000000},
    {"WS_CAPTION", 0xC00000},       {"WS_BORDER", 0x800000},        {"WS_DLGFRAME", 0x400000},
    {"WS_VSCROLL", 0x200000},       {"WS_HSCROLL", 0x100000},       {"WS_SYSMENU", 0x80000},
    {"WS_THICKFRAME", 0x40000},     {"WS_GROUP", 0x20000},          {"WS_TABSTOP", 0x10000},
    {"WS_MINIMIZEBOX", 0x20000},    {"WS_MAXIMIZEBOX", 0x10000},
};

constexpr StyleName kExtendedStyles[] = {
    {"WS_EX_DLGMODALFRAME", 1},   {"WS_EX_NOPARENTNOTIFY", 4},      {"WS_EX_TOPMOST", 8},
    {"WS_EX_ACCEPTFILES", 0x10},  {"WS_EX_TRANSPARENT", 0x20},      {"WS_EX_MDICHILD", 0x40},
    {"WS_EX_TOOLWINDOW", 0x80},   {"WS_EX_WINDOWEDGE", 0x100},      {"WS_EX_CLIENTEDGE", 0x200},
    {"WS_EX_CONTEXTHELP", 0x400}, {"WS_EX_RIGHT", 0x1000},          {"WS_EX_LEFT", 0},
    {"WS_EX_RTLREADING", 0x2000}, {"WS_EX_LTRREADING", 0},          {"WS_EX_LEFTSCROLLBAR", 0x4000},
    {"WS_EX_RIGHTSCROLLBAR", 0},  {"WS_EX_CONTROLPARENT", 0x10000}, {"WS_EX_STATICEDGE", 0x20000},
    {"WS_EX_APPWINDOW", 0x40000},
};

constexpr ControlClass kControlClasses[] = {
    {"Button", nullptr, 0},
    {"Static", nullptr, 0},
    {"Edit", nullptr, 0},
    {"ComboBox", nullptr, 0},
    {"ListBox", nullptr, 0},
    {"Scrollbar", nullptr, 0},
    {"ComboLBox", "ListBox", 0},
    {"toolbarwindow32", "CommonControl", 0x455},  // the toolbar's extended style
    {"msctls_updown32", nullptr, 0},
    {"msctls_progress32", nullptr, 0},
    {"msctls_trackbar32", nullptr, 0},
    {"msctls_hotkey32", nullptr, 0},
    {"SysListView32", nullptr, 0x1037},  // the list view's extended style
    {"SysTreeView32", nullptr, 0},
    {"SysTabControl32", nullptr, 0x1335},  // the tab control's extended style
    {"SysAnimate32", nullptr, 0},
    {"Richedit", "Edit", 0x43B},  // the rich edit's event mask
    {"SysDateTimePick32", nullptr, 0},
    {"SysMonthCal32", nullptr, 0},
    {"SysIPAddress32", nullptr, 0},
    {"SysPager32", nullptr, 0},
    {"ComboBoxEx32", "ComboBox", 0x409},  // the extended combo box's extended style
    {"msctls_statusbar32", "CommonControl", 0},
    {"ReBarWindow32", nullptr, 0},
    {"SysHeader32", nullptr, 0},
    {"DialogBox", nullptr, 0},
    {"MDIClient", nullptr, 0},
    {"tooltips_class32", nullptr, 0},
};

// Grouped by class; a class's entries form one contiguous block.
constexpr ControlStyleName kControlStyles[] = {
    {"Button", StyleKind::Style, {"BS_PUSHBUTTON", 0, 0xF}},
    {"Button", StyleKind::Style, {"BS_DEFPUSHBUTTON", 1, 0xF}},
    {"Button", StyleKind::Style, {"BS_CHECKBOX", 2, 0xF}},
    {"Button", StyleKind::Style, {"BS_AUTOCHECKBOX", 3, 0xF}},
    {"Button", StyleKind::Style, {"BS_RADIOBUTTON", 4, 0xF}},
    {"Button", StyleKind::Style, {"BS_3STATE", 5, 0xF}},
    {"Button", StyleKind::Style, {"BS_AUTO3STATE", 6, 0xF}},
    {"Button", StyleKind::Style, {"BS_GROUPBOX", 7, 0xF}},
    {"Button", StyleKind::Style, {"BS_USERBUTTON", 8, 0xF}},
    {"Button", StyleKind::Style, {"BS_AUTORADIOBUTTON", 9, 0xF}},
    {"Button", StyleKind::Style, {"BS_OWNERDRAW", 0xB, 0xF}},
    {"Button", StyleKind::Style, {"BS_LEFTTEXT", 0x20}},
    {"Button", StyleKind::Style, {"BS_TEXT", 0}},
    {"Button", StyleKind::Style, {"BS_ICON", 0x40}},
    {"Button", StyleKind::Style, {"BS_BITMAP", 0x80}},
    {"Button", StyleKind::Style, {"BS_LEFT", 0x100}},
    {"Button", StyleKind::Style, {"BS_RIGHT", 0x200}},
    {"Button", StyleKind::Style, {"BS_CENTER", 0x300}},
    {"Button", StyleKind::Style, {"BS_TOP", 0x400}},
    {"Button", StyleKind::Style, {"BS_BOTTOM", 0x800}},
    {"Button", StyleKind::Style, {"BS_VCENTER", 0xC00}},
    {"Button", StyleKind::Style, {"BS_PUSHLIKE", 0x1000}},
    {"Button", StyleKind::Style, {"BS_MULTILINE", 0x2000}},
    {"Button", StyleKind::Style, {"BS_NOTIFY", 0x4000}},
    {"Button", StyleKind::Style, {"BS_FLAT", 0x8000}},
    {"Button", StyleKind::Style, {"BS_RIGHTBUTTON", 0x20}},
    {"Static", StyleKind::Style, {"SS_LEFT", 0, 0x1F}},
    {"Static", StyleKind::Style, {"SS_CENTER", 1, 0x1F}},
    {"Static", StyleKind::Style, {"SS_RIGHT", 2, 0x1F}},
    {"Static", StyleKind::Style, {"SS_ICON", 3, 0x1F}},
    {"Static", StyleKind::Style, {"SS_BLACKRECT", 4, 0x1F}},
    {"Static", StyleKind::Style, {"SS_GRAYRECT", 5, 0x1F}},
    {"Static", StyleKind::Style, {"SS_WHITERECT", 6, 0x1F}},
    {"Static", StyleKind::Style, {"SS_BLACKFRAME", 7, 0x1F}},
    {"Static", StyleKind::Style, {"SS_GRAYFRAME", 8, 0x1F}},
    {"Static", StyleKind::Style, {"SS_WHITEFRAME", 9, 0x1F}},
    {"Static", StyleKind::Style, {"SS_USERITEM", 0xA, 0x1F}},
    {"Static", StyleKind::Style, {"SS_SIMPLE", 0xB, 0x1F}},
    {"Static", StyleKind::Style, {"SS_LEFTNOWORDWRAP", 0xC, 0x1F}},
    {"Static", StyleKind::Style, {"SS_OWNERDRAW", 0xD, 0x1F}},
    {"Static", StyleKind::Style, {"SS_BITMAP", 0xE, 0x1F}},
    {"Static", StyleKind::Style, {"SS_ENHMETAFILE", 0xF, 0x1F}},
    {"Static", StyleKind::Style, {"SS_ETCHEDHORZ", 0x10, 0x1F}},
    {"Static", StyleKind::Style, {"SS_ETCHEDVERT", 0x11, 0x1F}},
    {"Static", StyleKind::Style, {"SS_ETCHEDFRAME", 0x12, 0x1F}},
    {"Static", StyleKind::Style, {"SS_NOPREFIX", 0x80}},
    {"Static", StyleKind::Style, {"SS_NOTIFY", 0x100}},
    {"Static", StyleKind::Style, {"SS_CENTERIMAGE", 0x200}},
    {"Static", StyleKind::Style, {"SS_RIGHTJUST", 0x400}},
    {"Static", StyleKind::Style, {"SS_REALSIZEIMAGE", 0x800}},
    {"Static", StyleKind::Style, {"SS_SUNKEN", 0x1000}},
    {"Static", StyleKind::Style, {"SS_ENDELLIPSIS", 0x4000, 0xC000}},
    {"Static", StyleKind::Style, {"SS_PATHELLIPSIS", 0x8000, 0xC000}},
    {"Static", StyleKind::Style, {"SS_WORDELLIPSIS", 0xC000, 0xC000}},
    {"Edit", StyleKind::Style, {"ES_LEFT", 0, 3}},
    {"Edit", StyleKind::Style, {"ES_CENTER", 1, 3}},
    {"Edit", StyleKind::Style, {"ES_RIGHT", 2, 3}},
    {"Edit", StyleKind::Style, {"ES_MULTILINE", 4}},
    {"Edit", StyleKind::Style, {"ES_UPPERCASE", 8}},
    {"Edit", StyleKind::Style, {"ES_LOWERCASE", 0x10}},
    {"Edit", StyleKind::Style, {"ES_PASSWORD", 0x20}},
    {"Edit", StyleKind::Style, {"ES_AUTOVSCROLL", 0x40}},
    {"Edit", StyleKind::Style, {"ES_AUTOHSCROLL", 0x80}},
    {"Edit", StyleKind::Style, {"ES_NOHIDESEL", 0x100}},
    {"Edit", StyleKind::Style, {"ES_OEMCONVERT", 0x400}},
    {"Edit", StyleKind::Style, {"ES_READONLY", 0x800}},
    {"Edit", StyleKind::Style, {"ES_WANTRETURN", 0x1000}},
    {"Edit", StyleKind::Style, {"ES_NUMBER", 0x2000}},
    {"ComboBox", StyleKind::Style, {"CBS_SIMPLE", 1, 0xF}},
    {"ComboBox", StyleKind::Style, {"CBS_DROPDOWN", 2, 0xF}},
    {"ComboBox", StyleKind::Style, {"CBS_DROPDOWNLIST", 3, 0xF}},
    {"ComboBox", StyleKind::Style, {"CBS_OWNERDRAWFIXED", 0x10}},
    {"ComboBox", StyleKind::Style, {"CBS_OWNERDRAWVARIABLE", 0x20}},
    {"ComboBox", StyleKind::Style, {"CBS_AUTOHSCROLL", 0x40}},
    {"ComboBox", StyleKind::Style, {"CBS_OEMCONVERT", 0x80}},
    {"ComboBox", StyleKind::Style, {"CBS_SORT", 0x100}},
    {"ComboBox", StyleKind::Style, {"CBS_HASSTRINGS", 0x200}},
    {"ComboBox", StyleKind::Style, {"CBS_NOINTEGRALHEIGHT", 0x400}},
    {"ComboBox", StyleKind::Style, {"CBS_DISABLENOSCROLL", 0x800}},
    {"ComboBox", StyleKind::Style, {"CBS_UPPERCASE", 0x2000}},
    {"ComboBox", StyleKind::Style, {"CBS_LOWERCASE", 0x4000}},
    {"ListBox", StyleKind::Style, {"LBS_NOTIFY", 1}},
    {"ListBox", StyleKind::Style, {"LBS_SORT", 2}},
    {"ListBox", StyleKind::Style, {"LBS_NOREDRAW", 4}},
    {"ListBox", StyleKind::Style, {"LBS_MULTIPLESEL", 8}},
    {"ListBox", StyleKind::Style, {"LBS_OWNERDRAWFIXED", 0x10}},
    {"ListBox", StyleKind::Style, {"LBS_OWNERDRAWVARIABLE", 0x20}},
    {"ListBox", StyleKind::Style, {"LBS_HASSTRINGS", 0x40}},
    {"ListBox", StyleKind::Style, {"LBS_USETABSTOPS", 0x80}},
    {"ListBox", StyleKind::Style, {"LBS_NOINTEGRALHEIGHT", 0x100}},
    {"ListBox", StyleKind::Style, {"LBS_MULTICOLUMN", 0x200}},
    {"ListBox", StyleKind::Style, {"LBS_WANTKEYBOARDINPUT", 0x400}},
    {"ListBox", StyleKind::Style, {"LBS_EXTENDEDSEL", 0x800}},
    {"ListBox", StyleKind::Style, {"LBS_DISABLENOSCROLL", 0x1000}},
    {"ListBox", StyleKind::Style, {"LBS_NODATA", 0x2000}},
    {"ListBox", StyleKind::Style, {"LBS_NOSEL", 0x4000}},
    {"ListBox", StyleKind::Style, {"LBS_STANDARD", 0xA00003}},
    {"Scrollbar", StyleKind::Style, {"SBS_HORZ", 0, 1}},
    {"Scrollbar", StyleKind::Style, {"SBS_VERT", 1, 1}},
    {"Scrollbar", StyleKind::Style, {"SBS_TOPALIGN", 2}},
    {"Scrollbar", StyleKind::Style, {"SBS_LEFTALIGN", 2}},
    {"Scrollbar", StyleKind::Style, {"SBS_BOTTOMALIGN", 4}},
    {"Scrollbar", StyleKind::Style, {"SBS_RIGHTALIGN", 4}},
    {"Scrollbar", StyleKind::Style, {"SBS_SIZEBOXTOPLEFTALIGN", 2}},
    {"Scrollbar", StyleKind::Style, {"SBS_SIZEBOXBOTTOMRIGHTALIGN", 4}},
    {"Scrollbar", StyleKind::Style, {"SBS_SIZEBOX", 8}},
    {"Scrollbar", StyleKind::Style, {"SBS_SIZEGRIP", 0x10}},
    {"toolbarwindow32", StyleKind::Style, {"TBSTYLE_AUTOSIZE", 0x10}},
    {"toolbarwindow32", StyleKind::Style, {"TBSTYLE_NOPREFIX", 0x20}},
    {"toolbarwindow32", StyleKind::Style, {"TBSTYLE_TOOLTIPS", 0x100}},
    {"toolbarwindow32", StyleKind::Style, {"TBSTYLE_WRAPABLE", 0x200}},
    {"toolbarwindow32", StyleKind::Style, {"TBSTYLE_ALTDRAG", 0x400}},
    {"toolbarwindow32", StyleKind::Style, {"TBSTYLE_FLAT", 0x800}},
    {"toolbarwindow32", StyleKind::Style, {"TBSTYLE_LIST", 0x1000}},
    {"toolbarwindow32", StyleKind::Style, {"TBSTYLE_CUSTOMERASE", 0x2000}},
    {"toolbarwindow32", StyleKind::Style, {"TBSTYLE_REGISTERDROP", 0x4000}},
    {"toolbarwindow32", StyleKind::Style, {"TBSTYLE_TRANSPARENT", 0x8000}},
    {"toolbarwindow32", StyleKind::ByMessage, {"TBSTYLE_EX_DRAWDDARROWS", 1}},
    {"CommonControl", StyleKind::Style, {"CCS_TOP", 1}},
    {"CommonControl", StyleKind::Style, {"CCS_NOMOVEY", 2}},
    {"CommonControl", StyleKind::Style, {"CCS_BOTTOM", 3}},
    {"CommonControl", StyleKind::Style, {"CCS_NORESIZE", 4}},
    {"CommonControl", StyleKind::Style, {"CCS_NOPARENTALIGN", 8}},
    {"CommonControl", StyleKind::Style, {"CCS_ADJUSTABLE", 0x20}},
    {"CommonControl", StyleKind::Style, {"CCS_NODIVIDER", 0x40}},
    {"CommonControl", StyleKind::Style, {"CCS_VERT", 0x80}},
    {"msctls_updown32", StyleKind::Style, {"UDS_WRAP", 1}},
    {"msctls_updown32", StyleKind::Style, {"UDS_SETBUDDYINT", 2}},
    {"msctls_updown32", StyleKind::Style, {"UDS_ALIGNRIGHT", 4}},
    {"msctls_updown32", StyleKind::Style, {"UDS_ALIGNLEFT", 8}},
    {"msctls_updown32", StyleKind::Style, {"UDS_AUTOBUDDY", 0x10}},
    {"msctls_updown32", StyleKind::Style, {"UDS_ARROWKEYS", 0x20}},
    {"msctls_updown32", StyleKind::Style, {"UDS_HORZ", 0x40}},
    {"msctls_updown32", StyleKind::Style, {"UDS_NOTHOUSANDS", 0x80}},
    {"msctls_updown32", StyleKind::Style, {"UDS_HOTTRACK", 0x100}},
    {"msctls_progress32", StyleKind::Style, {"PBS_SMOOTH", 1}},
    {"msctls_progress32", StyleKind::Style, {"PBS_VERTICAL", 4}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_AUTOTICKS", 1}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_VERT", 2}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_HORZ", 0}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_TOP", 4}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_BOTTOM", 0}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_LEFT", 4}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_RIGHT", 0}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_BOTH", 8}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_NOTICKS", 0x10}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_ENABLESELRANGE", 0x20}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_FIXEDLENGTH", 0x40}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_NOTHUMB", 0x80}},
    {"msctls_trackbar32", StyleKind::Style, {"TBS_TOOLTIPS", 0x100}},
    {"SysListView32", StyleKind::Style, {"LVS_ICON", 0, 3}},
    {"SysListView32", StyleKind::Style, {"LVS_REPORT", 1, 3}},
    {"SysListView32", StyleKind::Style, {"LVS_SMALLICON", 2, 3}},
    {"SysListView32", StyleKind::Style, {"LVS_LIST", 3, 3}},
    {"SysListView32", StyleKind::Style, {"LVS_SINGLESEL", 4}},
    {"SysListView32", StyleKind::Style, {"LVS_SHOWSELALWAYS", 8}},
    {"SysListView32", StyleKind::Style, {"LVS_SORTASCENDING", 0x10}},
    {"SysListView32", StyleKind::Style, {"LVS_SORTDESCENDING", 0x20}},
    {"SysListView32", StyleKind::Style, {"LVS_SHAREIMAGELISTS", 0x40}},
    {"SysListView32", StyleKind::Style, {"LVS_NOLABELWRAP", 0x80}},
    {"SysListView32", StyleKind::Style, {"LVS_AUTOARRANGE", 0x100}},
    {"SysListView32", StyleKind::Style, {"LVS_EDITLABELS", 0x200}},
    {"SysListView32", StyleKind::Style, {"LVS_OWNERDATA", 0x1000}},
    {"SysListView32", StyleKind::Style, {"LVS_NOSCROLL", 0x2000}},
    {"SysListView32", StyleKind::Style, {"LVS_ALIGNTOP", 0, 0xC00}},
    {"SysListView32", StyleKind::Style, {"LVS_ALIGNLEFT", 0x800, 0xC00}},
    {"SysListView32", StyleKind::Style, {"LVS_OWNERDRAWFIXED", 0x400}},
    {"SysListView32", StyleKind::Style, {"LVS_NOCOLUMNHEADER", 0x4000}},
    {"SysListView32", StyleKind::Style, {"LVS_NOSORTHEADER", 0x8000}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_GRIDLINES", 1}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_SUBITEMIMAGES", 2}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_CHECKBOXES", 4}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_TRACKSELECT", 8}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_HEADERDRAGDROP", 0x10}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_FULLROWSELECT", 0x20}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_ONECLICKACTIVATE", 0x40}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_TWOCLICKACTIVATE", 0x80}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_FLATSB", 0x100}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_REGIONAL", 0x200}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_INFOTIP", 0x400}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_UNDERLINEHOT", 0x800}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_UNDERLINECOLD", 0x1000}},
    {"SysListView32", StyleKind::ByMessage, {"LVS_EX_MULTIWORKAREAS", 0x2000}},
    {"SysTreeView32", StyleKind::Style, {"TVS_HASBUTTONS", 1}},
    {"SysTreeView32", StyleKind::Style, {"TVS_HASLINES", 2}},
    {"SysTreeView32", StyleKind::Style, {"TVS_LINESATROOT", 4}},
    {"SysTreeView32", StyleKind::Style, {"TVS_EDITLABELS", 8}},
    {"SysTreeView32", StyleKind::Style, {"TVS_DISABLEDRAGDROP", 0x10}},
    {"SysTreeView32", StyleKind::Style, {"TVS_SHOWSELALWAYS", 0x20}},
    {"SysTreeView32", StyleKind::Style, {"TVS_RTLREADING", 0x40}},
    {"SysTreeView32", StyleKind::Style, {"TVS_NOTOOLTIPS", 0x80}},
    {"SysTreeView32", StyleKind::Style, {"TVS_CHECKBOXES", 0x100}},
    {"SysTreeView32", StyleKind::Style, {"TVS_TRACKSELECT", 0x200}},
    {"SysTreeView32", StyleKind::Style, {"TVS_SINGLEEXPAND", 0x400}},
    {"SysTreeView32", StyleKind::Style, {"TVS_INFOTIP", 0x800}},
    {"SysTreeView32", StyleKind::Style, {"TVS_FULLROWSELECT", 0x1000}},
    {"SysTreeView32", StyleKind::Style, {"TVS_NOSCROLL", 0x2000}},
    {"SysTreeView32", StyleKind::Style, {"TVS_NONEVENHEIGHT", 0x4000}},
    {"SysTabControl32", StyleKind::Style, {"TCS_SCROLLOPPOSITE", 1}},
    {"SysTabControl32", StyleKind::Style, {"TCS_BOTTOM", 2}},
    {"SysTabControl32", StyleKind::Style, {"TCS_RIGHT", 2}},
    {"SysTabControl32", StyleKind::Style, {"TCS_MULTISELECT", 4}},
    {"SysTabControl32", StyleKind::Style, {"TCS_FLATBUTTONS", 8}},
    {"SysTabControl32", StyleKind::Style, {"TCS_FORCEICONLEFT", 0x10}},
    {"SysTabControl32", StyleKind::Style, {"TCS_FORCELABELLEFT", 0x20}},
    {"SysTabControl32", StyleKind::Style, {"TCS_HOTTRACK", 0x40}},
    {"SysTabControl32", StyleKind::Style, {"TCS_VERTICAL", 0x80}},
    {"SysTabControl32", StyleKind::Style, {"TCS_TABS", 0}},
    {"SysTabControl32", StyleKind::Style, {"TCS_BUTTONS", 0x100}},
    {"SysTabControl32", StyleKind::Style, {"TCS_SINGLELINE", 0}},
    {"SysTabControl32", StyleKind::Style, {"TCS_MULTILINE", 0x200}},
    {"SysTabControl32", StyleKind::Style, {"TCS_RIGHTJUSTIFY", 0}},
    {"SysTabControl32", StyleKind::Style, {"TCS_FIXEDWIDTH", 0x400}},
    {"SysTabControl32", StyleKind::Style, {"TCS_RAGGEDRIGHT", 0x800}},
    {"SysTabControl32", StyleKind::Style, {"TCS_FOCUSONBUTTONDOWN", 0x1000}},
    {"SysTabControl32", StyleKind::Style, {"TCS_OWNERDRAWFIXED", 0x2000}},
    {"SysTabControl32", StyleKind::Style, {"TCS_TOOLTIPS", 0x4000}},
    {"SysTabControl32", StyleKind::Style, {"TCS_FOCUSNEVER", 0x8000}},
    {"SysTabControl32", StyleKind::ByMessage, {"TCS_EX_FLATSEPARATORS", 1}},
    {"SysTabControl32", StyleKind::ByMessage, {"TCS_EX_REGISTERDROP", 2}},
    {"SysAnimate32", StyleKind::Style, {"ACS_CENTER", 1}},
    {"SysAnimate32", StyleKind::Style, {"ACS_TRANSPARENT", 2}},
    {"SysAnimate32", StyleKind::Style, {"ACS_AUTOPLAY", 4}},
    {"SysAnimate32", StyleKind::Style, {"ACS_TIMER", 8}},
    {"Richedit", StyleKind::Style, {"ES_SAVESEL", 0x8000}},
    {"Richedit", StyleKind::Style, {"ES_SUNKEN", 0x4000}},
    {"Richedit", StyleKind::Style, {"ES_DISABLENOSCROLL", 0x2000}},
    {"Richedit", StyleKind::Style, {"ES_SELECTIONBAR", 0x1000000}},
    {"Richedit", StyleKind::Style, {"ES_NOOLEDRAGDROP", 8}},
    {"Richedit", StyleKind::ByMessage, {"ENM_NONE", 0, 1}},
    {"Richedit", StyleKind::ByMessage, {"ENM_CHANGE", 1}},
    {"Richedit", StyleKind::ByMessage, {"ENM_UPDATE", 2}},
    {"Richedit", StyleKind::ByMessage, {"ENM_SCROLL", 4}},
    {"Richedit", StyleKind::ByMessage, {"ENM_KEYEVENTS", 0x10000}},
    {"Richedit", StyleKind::ByMessage, {"ENM_MOUSEEVENTS", 0x20000}},
    {"Richedit", StyleKind::ByMessage, {"ENM_REQUESTRESIZE", 0x40000}},
    {"Richedit", StyleKind::ByMessage, {"ENM_SELCHANGE", 0x80000}},
    {"Richedit", StyleKind::ByMessage, {"ENM_DROPFILES", 0x100000}},
    {"Richedit", StyleKind::ByMessage, {"ENM_PROTECTED", 0x200000}},
    {"Richedit", StyleKind::ByMessage, {"ENM_CORRECTTEXT", 0x400000}},
    {"Richedit", StyleKind::ByMessage, {"ENM_SCROLLEVENTS", 8}},
    {"Richedit", StyleKind::ByMessage, {"ENM_DRAGDROPDONE", 0x10}},
    {"Richedit", StyleKind::ByMessage, {"ENM_IMECHANGE", 0x800000}},
    {"Richedit", StyleKind::ByMessage, {"ENM_LANGCHANGE", 0x1000000}},
    {"Richedit", StyleKind::ByMessage, {"ENM_OBJECTPOSITIONS", 0x2000000}},
    {"Richedit", StyleKind::ByMessage, {"ENM_LINK", 0x4000000}},
    {"SysDateTimePick32", StyleKind::Style, {"DTS_UPDOWN", 1}},
    {"SysDateTimePick32", StyleKind::Style, {"DTS_SHOWNONE", 2}},
    {"SysDateTimePick32", StyleKind::Style, {"DTS_SHORTDATEFORMAT", 0, 4}},
    {"SysDateTimePick32", StyleKind::Style, {"DTS_LONGDATEFORMAT", 4, 4}},
    {"SysDateTimePick32", StyleKind::Style, {"DTS_TIMEFORMAT", 9}},
    {"SysDateTimePick32", StyleKind::Style, {"DTS_APPCANPARSE", 0x10}},
    {"SysDateTimePick32", StyleKind::Style, {"DTS_RIGHTALIGN", 0x20}},
    {"SysMonthCal32", StyleKind::Style, {"MCS_DAYSTATE", 1}},
    {"SysMonthCal32", StyleKind::Style, {"MCS_MULTISELECT", 2}},
    {"SysMonthCal32", StyleKind::Style, {"MCS_WEEKNUMBERS", 4}},
    {"SysMonthCal32", StyleKind::Style, {"MCS_NOTODAYCIRCLE", 8}},
    {"SysMonthCal32", StyleKind::Style, {"MCS_NOTODAY", 0x10}},
    {"SysPager32", StyleKind::Style, {"PGS_VERT", 0, 1}},
    {"SysPager32", StyleKind::Style, {"PGS_HORZ", 1, 1}},
    {"SysPager32", StyleKind::Style, {"PGS_AUTOSCROLL", 2}},
    {"SysPager32", StyleKind::Style, {"PGS_DRAGNDROP", 4}},
    {"ComboBoxEx32", StyleKind::ByMessage, {"CBES_EX_NOEDITIMAGE", 1}},
    {"ComboBoxEx32", StyleKind::ByMessage, {"CBES_EX_NOEDITIMAGEINDENT", 2}},
    {"ComboBoxEx32", StyleKind::ByMessage, {"CBES_EX_PATHWORDBREAKPROC", 4}},
    {"ComboBoxEx32", StyleKind::ByMessage, {"CBES_EX_NOSIZELIMIT", 8}},
    {"ComboBoxEx32", StyleKind::ByMessage, {"CBES_EX_CASESENSITIVE", 0x10}},
    {"msctls_statusbar32", StyleKind::Style, {"SBARS_SIZEGRIP", 0x100}},
    {"ReBarWindow32", StyleKind::Style, {"RBBS_BREAK", 1}},
    {"ReBarWindow32", StyleKind::Style, {"RBBS_FIXEDSIZE", 2}},
    {"ReBarWindow32", StyleKind::Style, {"RBBS_CHILDEDGE", 4}},
    {"ReBarWindow32", StyleKind::Style, {"RBBS_HIDDEN", 8}},
    {"ReBarWindow32", StyleKind::Style, {"RBBS_NOVERT", 0x10}},
    {"ReBarWindow32", StyleKind::Style, {"RBBS_FIXEDBMP", 0x20}},
    {"ReBarWindow32", StyleKind::Style, {"RBBS_VARIABLEHEIGHT", 0x40}},
    {"ReBarWindow32", StyleKind::Style, {"RBBS_GRIPPERALWAYS", 0x80}},
    {"ReBarWindow32", StyleKind::Style, {"RBBS_NOGRIPPER", 0x100}},
    {"SysHeader32", StyleKind::Style, {"HDS_HORZ", 0, 1}},
    {"SysHeader32", StyleKind::Style, {"HDS_VERT", 1, 1}},
    {"SysHeader32", StyleKind::Style, {"HDS_BUTTONS", 2}},
    {"SysHeader32", StyleKind::Style, {"HDS_HOTTRACK", 4}},
    {"SysHeader32", StyleKind::Style, {"HDS_HIDDEN", 8}},
    {"SysHeader32", StyleKind::Style, {"HDS_DRAGDROP", 0x40}},
    {"SysHeader32", StyleKind::Style, {"HDS_FULLDRAG", 0x80}},
    // Dialog styles: a dialog is looked up as "Dialog Box (#32770)", so these never match.
    {"DialogBox", StyleKind::Style, {"DS_ABSALIGN", 1}},
    {"DialogBox", StyleKind::Style, {"DS_SYSMODAL", 2}},
    {"DialogBox", StyleKind::Style, {"DS_LOCALEDIT", 0x20}},
    {"DialogBox", StyleKind::Style, {"DS_SETFONT", 0x40}},
    {"DialogBox", StyleKind::Style, {"DS_MODALFRAME", 0x80}},
    {"DialogBox", StyleKind::Style, {"DS_NOIDLEMSG", 0x100}},
    {"DialogBox", StyleKind::Style, {"DS_SETFOREGROUND", 0x200}},
    {"DialogBox", StyleKind::Style, {"DS_3DLOOK", 4}},
    {"DialogBox", StyleKind::Style, {"DS_FIXEDSYS", 8}},
    {"DialogBox", StyleKind::Style, {"DS_NOFAILCREATE", 0x10}},
    {"DialogBox", StyleKind::Style, {"DS_CONTROL", 0x400}},
    {"DialogBox", StyleKind::Style, {"DS_CENTER", 0x800}},
    {"DialogBox", StyleKind::Style, {"DS_CENTERMOUSE", 0x1000}},
    {"DialogBox", StyleKind::Style, {"DS_CONTEXTHELP", 0x2000}},
    {"tooltips_class32", StyleKind::Style, {"TTS_ALWAYSTIP", 1}},
    {"tooltips_class32", StyleKind::Style, {"TTS_NOPREFIX", 2}},
    {"tooltips_class32", StyleKind::Style, {"TTS_NOANIMATE", 0x10}},
    {"tooltips_class32", StyleKind::Style, {"TTS_NOFADE", 0x20}},
    {"tooltips_class32", StyleKind::Style, {"TTS_BALLOON", 0x40}},
};

static_assert(std::size(kControlClasses) == 28);
static_assert(std::size(kControlStyles) == 289 + 14);  // the controls' entries and the dialog's

constexpr HitTestName kHitTests[] = {
    {"HTERROR", -2},       {"HTTRANSPARENT", -1}, {"HTNOWHERE", 0}, {"HTCLIENT", 1},
    {"HTCAPTION", 2},      {"HTSYSMENU", 3},      {"HTGROWBOX", 4}, {"HTSIZE", 4},
    {"HTMENU", 5},         {"HTHSCROLL", 6},      {"HTVSCROLL", 7}, {"HTMINBUTTON", 8},
    {"HTMAXBUTTON", 9},    {"HTLEFT", 10},        {"HTRIGHT", 11},  {"HTTOP", 12},
    {"HTTOPLEFT", 13},     {"HTTOPRIGHT", 14},    {"HTBOTTOM", 15}, {"HTBOTTOMLEFT", 16},
    {"HTBOTTOMRIGHT", 17}, {"HTBORDER", 18},      {"HTREDUCE", 8},  {"HTZOOM", 9},
    {"HTSIZEFIRST", 10},   {"HTSIZELAST", 17},    {"HTOBJECT", 19}, {"HTCLOSE", 20},
    {"HTHELP", 21},
};

bool SameClass(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

void Append(std::string& list, std::string_view part) {
    if (part.empty()) return;
    if (!list.empty()) list += ", ";
    list += part;
}

// The contiguous block of entries of the first entry naming the class.
std::span<const ControlStyleName> ClassBlock(std::string_view className) {
    const std::span<const ControlStyleName> all(kControlStyles);
    std::size_t first = 0;
    while (first < all.size() && !SameClass(all[first].className, className)) ++first;
    std::size_t end = first;
    while (end < all.size() && SameClass(all[end].className, className)) ++end;
    return all.subspan(first, end - first);
}

std::string DecodeBlock(std::span<const ControlStyleName> block, StyleKind kind,
                        std::uint32_t word) {
    std::string names;
    for (const ControlStyleName& entry : block) {
        if (entry.kind == kind && Applies(entry.style, word)) Append(names, entry.style.name);
    }
    return names;
}

const ControlClass* FindControlClass(std::string_view className) {
    for (const ControlClass& entry : kControlClasses) {
        if (SameClass(entry.name, className)) return &entry;
    }
    return nullptr;
}

}  // namespace

std::span<const StyleName> ClassStyleNames() {
    return kClassStyles;
}
std::span<const StyleName> WindowStyleNames() {
    return kWindowStyles;
}
std::span<const StyleName> ExtendedStyleNames() {
    return kExtendedStyles;
}
std::span<const ControlClass> ControlClasses() {
    return kControlClasses;
}
std::span<const ControlStyleName> ControlStyleNames() {
    return kControlStyles;
}
std::span<const HitTestName> HitTestNames() {
    return kHitTests;
}

bool Applies(const StyleName& entry, std::uint32_t style) {
    return (style & (entry.mask ? entry.mask : entry.value)) == entry.value;
}

std::string DecodeStyle(std::span<const StyleName> table, std::uint32_t style) {
    std::string names;
    for (const StyleName& entry : table) {
        if (Applies(entry, style)) Append(names, entry.name);
    }
    return names;
}

std::string DecodeControlStyles(std::string_view className, std::uint32_t style,
                                const MessageSender& send) {
    const std::span<const ControlStyleName> block = ClassBlock(className);
    std::string result = DecodeBlock(block, StyleKind::Style, style);
    const ControlClass* control = FindControlClass(className);
    if (!control) return result;
    if (control->alias) Append(result, DecodeControlStyles(control->alias, style, send));
    if (control->message && send)
        Append(result, DecodeBlock(block, StyleKind::ByMessage, send(control->message)));
    return result;
}

std::string HitTestCodeName(int code) {
    const std::span<const HitTestName> table(kHitTests);
    for (auto it = table.rbegin(); it != table.rend(); ++it) {
        if (it->code == code) return it->name;
    }
    return std::string();
}

}  // namespace inspector
