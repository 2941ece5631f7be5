#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

// The inspector's decoding tables and the rules that turn style words and hit-test codes into
// names. Plain C++: the tables are data, laid out as the inspector's documentation lists them.
namespace inspector {

// A named style value. It applies to a style word when the word ANDed with the mask (when the
// mask is non-zero, else with the value) equals the value; a value of 0 without a mask applies
// to every word.
struct StyleName {
    const char* name;
    std::uint32_t value;
    std::uint32_t mask = 0;
};

enum class StyleKind { Style, ByMessage };

struct ControlStyleName {
    const char* className;
    StyleKind kind;
    StyleName style;
};

struct ControlClass {
    const char* name;
    const char* alias;      // a class whose styles are decoded as well, or null
    std::uint32_t message;  // the message answering the extended control style, or 0
};

struct HitTestName {
    const char* name;
    int code;
};

std::span<const StyleName> ClassStyleNames();
std::span<const StyleName> WindowStyleNames();
std::span<const StyleName> ExtendedStyleNames();
std::span<const ControlClass> ControlClasses();
std::span<const ControlStyleName> ControlStyleNames();
std::span<const HitTestName> HitTestNames();

// Window style bits the inspector builds from what the display knows of a window.
inline constexpr std::uint32_t WS_POPUP = 0x80000000;
inline constexpr std::uint32_t WS_CHILD = 0x40000000;
inline constexpr std::uint32_t WS_MINIMIZE = 0x20000000;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
inline constexpr std::uint32_t WS_MAXIMIZE = 0x1000000;
inline constexpr std::uint32_t WS_CAPTION = 0xC00000;
inline constexpr std::uint32_t WS_SYSMENU = 0x80000;
inline constexpr std::uint32_t WS_THICKFRAME = 0x40000;
inline constexpr std::uint32_t WS_EX_DLGMODALFRAME = 1;
inline constexpr std::uint32_t WS_EX_TOPMOST = 8;
inline constexpr std::uint32_t WS_EX_ACCEPTFILES = 0x10;
inline constexpr std::uint32_t WS_EX_TOOLWINDOW = 0x80;
inline constexpr std::uint32_t WS_EX_APPWINDOW = 0x40000;

// Hit-test codes the inspector computes.
inline constexpr int HTNOWHERE = 0;
inline constexpr int HTCLIENT = 1;
inline constexpr int HTCAPTION = 2;
inline constexpr int HTLEFT = 10;
inline constexpr int HTRIGHT = 11;
inline constexpr int HTTOP = 12;
inline constexpr int HTTOPLEFT = 13;
inline constexpr int HTTOPRIGHT = 14;
inline constexpr int HTBOTTOM = 15;
inline constexpr int HTBOTTOMLEFT = 16;
inline constexpr int HTBOTTOMRIGHT = 17;
inline constexpr int HTBORDER = 18;

bool Applies(const StyleName& entry, std::uint32_t style);

// The names of the entries that apply, in table order, joined with ", ".
std::string DecodeStyle(std::span<const StyleName> table, std::uint32_t style);

// Answers a control's extended-style message (both parameters 0).
using MessageSender = std::function<std::uint32_t(std::uint32_t message)>;

// The control-specific styles of a class: its own style entries, its alias's control styles,
// then its by-message entries decoded from the message's answer. Empty for other classes.
std::string DecodeControlStyles(std::string_view className, std::uint32_t style,
                                const MessageSender& send);

// The table searched from its last entry, so a code with two names gets the later one; empty
// for a code the table does not know.
std::string HitTestCodeName(int code);

}  // namespace inspector
