#include "platform/x11_windows.h"

#include <QGuiApplication>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>

namespace platform {

namespace {

// Replies and errors are malloc'ed by xcb.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t* Connection() {
    auto* app = qGuiApp;
    if (!app) return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Reads a reply; an error (the window is gone) gives null and is dropped here.
template <typename T, typename Cookie, typename Fetch>
Reply<T> Take(xcb_connection_t* c, Cookie cookie, Fetch fetch) {
    xcb_generic_error_t* error = nullptr;
    Reply<T> reply(fetch(c, cookie, &error));
    std::free(error);
    return reply;
}

// Atoms looked up once; a name the server has never heard of cannot name a property.
xcb_atom_t AtomOf(xcb_connection_t* c, const char* name) {
    static std::unordered_map<std::string, xcb_atom_t> known;
    auto it = known.find(name);
    if (it != known.end()) return it->second;
    auto reply = Take<xcb_intern_atom_reply_t>(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name),
        xcb_intern_atom_reply);
    const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    if (atom != XCB_ATOM_NONE) known.emplace(name, atom);
    return atom;
}

QString AtomName(xcb_connection_t* c, xcb_atom_t atom) {
    static std::unordered_map<xcb_atom_t, QString> names;
    auto it = names.find(atom);
    if (it != names.end()) return it->second;
    auto reply =
        Take<xcb_get_atom_name_reply_t>(c, xcb_get_atom_name(c, atom), xcb_get_atom_name_reply);
    if (!reply) return QString();
    const QString name = QString::fromLatin1(xcb_get_atom_name_name(reply.get()),
                                             xcb_get_atom_name_name_length(reply.get()));
    names.emplace(atom, name);
    return name;
}

Reply<xcb_get_property_reply_t> GetProperty(xcb_connection_t* c, XWindow window, const char* name,
                                            uint32_t longLength) {
    const xcb_atom_t atom = AtomOf(c, name);
    if (atom == XCB_ATOM_NONE) return nullptr;
    auto reply = Take<xcb_get_property_reply_t>(
        c,
        xcb_get_property(c, 0, static_cast<xcb_window_t>(window), atom, XCB_GET_PROPERTY_TYPE_ANY,
                         0, longLength),
        xcb_get_property_reply);
    if (reply && reply->type == XCB_ATOM_NONE) return nullptr;
    return reply;
}

QByteArray PropertyBytes(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 8) return QByteArray();
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                      xcb_get_property_value_length(reply));
}

std::vector<xcb_window_t> Children(xcb_connection_t* c, XWindow window, xcb_window_t* parent) {
    auto reply = Take<xcb_query_tree_reply_t>(
        c, xcb_query_tree(c, static_cast<xcb_window_t>(window)), xcb_query_tree_reply);
    if (!reply) return {};
    if (parent) *parent = reply->parent;
    const xcb_window_t* first = xcb_query_tree_children(reply.get());
    return std::vector<xcb_window_t>(first, first + xcb_query_tree_children_length(reply.get()));
}

bool ParentOf(xcb_connection_t* c, XWindow window, xcb_window_t* parent) {
    auto reply = Take<xcb_query_tree_reply_t>(
        c, xcb_query_tree(c, static_cast<xcb_window_t>(window)), xcb_query_tree_reply);
    if (!reply) return false;
    *parent = reply->parent;
    return true;
}

bool HasWmState(xcb_connection_t* c, XWindow window) {
    return GetProperty(c, window, "WM_STATE", 0) != nullptr;
}

bool InputShapeHolds(xcb_connection_t* c, xcb_window_t window, QPoint inside) {
    auto reply = Take<xcb_shape_get_rectangles_reply_t>(
        c, xcb_shape_get_rectangles(c, window, XCB_SHAPE_SK_INPUT), xcb_shape_get_rectangles_reply);
    if (!reply) return true;  // no shape extension: the whole window takes input
    const xcb_rectangle_t* r = xcb_shape_get_rectangles_rectangles(reply.get());
    const int count = xcb_shape_get_rectangles_rectangles_length(reply.get());
    for (int i = 0; i < count; ++i) {
        if (QRect(r[i].x, r[i].y, r[i].width, r[i].height).contains(inside)) return true;
    }
    return false;
}

// The topmost viewable InputOutput child of `window` below `skipFrom` in the stacking order whose
// input area holds `local` (the point in `window`'s coordinates).
xcb_window_t InputOutputChildAt(xcb_connection_t* c, XWindow window, xcb_window_t skipFrom,
                                QPoint local) {
    const std::vector<xcb_window_t> children = Children(c, window, nullptr);
    bool below = false;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (!below) {
            below = *it == skipFrom;
            continue;
        }
        auto attributes = Take<xcb_get_window_attributes_reply_t>(
            c, xcb_get_window_attributes(c, *it), xcb_get_window_attributes_reply);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;
        auto geometry =
            Take<xcb_get_geometry_reply_t>(c, xcb_get_geometry(c, *it), xcb_get_geometry_reply);
        if (!geometry) continue;
        const int b = geometry->border_width;
        const QRect outer(geometry->x, geometry->y, geometry->width + 2 * b,
                          geometry->height + 2 * b);
        if (!outer.contains(local)) continue;
        if (InputShapeHolds(c, *it, local - QPoint(geometry->x + b, geometry->y + b))) return *it;
    }
    return XCB_WINDOW_NONE;
}

// The child of `window` that takes input at the screen point, InputOnly windows looked through.
xcb_window_t ChildAt(xcb_connection_t* c, xcb_window_t root, XWindow window, QPoint point) {
    auto reply = Take<xcb_translate_coordinates_reply_t>(
        c,
        xcb_translate_coordinates(c, root, static_cast<xcb_window_t>(window),
                                  static_cast<int16_t>(point.x()), static_cast<int16_t>(point.y())),
        xcb_translate_coordinates_reply);
    if (!reply || reply->child == XCB_WINDOW_NONE) return XCB_WINDOW_NONE;
    auto attributes = Take<xcb_get_window_attributes_reply_t>(
        c, xcb_get_window_attributes(c, reply->child), xcb_get_window_attributes_reply);
    if (!attributes) return XCB_WINDOW_NONE;
    if (attributes->_class != XCB_WINDOW_CLASS_INPUT_ONLY) return reply->child;
    return InputOutputChildAt(c, window, reply->child, QPoint(reply->dst_x, reply->dst_y));
}

}  // namespace

XWindow RootWindowId() {
    xcb_connection_t* c = Connection();
    if (!c) return 0;
    // Qt's connection has one screen per display connection in practice; take the first.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    return screen ? screen->root : 0;
}

XWindow WindowAtPoint(QPoint point) {
    xcb_connection_t* c = Connection();
    const XWindow root = RootWindowId();
    if (!c || !root) return 0;
    std::vector<xcb_window_t> path;
    XWindow current = root;
    while (path.size() < 64) {
        const xcb_window_t child = ChildAt(c, static_cast<xcb_window_t>(root), current, point);
        if (child == XCB_WINDOW_NONE) break;
        path.push_back(child);
        current = child;
    }
    if (path.empty()) return root;
    for (xcb_window_t w : path) {
        if (HasWmState(c, w)) return current;
    }
    // Not inside a client: the point is on a frame's decorations, or on an unmanaged window.
    const XWindow client = ClientInFrame(path.front());
    return client ? client : current;
}

XWindow ClientInFrame(XWindow frame) {
    xcb_connection_t* c = Connection();
    if (!c || !frame) return 0;
    std::deque<XWindow> queue{frame};
    for (int visited = 0; !queue.empty() && visited < 256; ++visited) {
        const XWindow w = queue.front();
        queue.pop_front();
        if (HasWmState(c, w)) return w;
        for (xcb_window_t child : Children(c, w, nullptr)) queue.push_back(child);
    }
    return 0;
}

XWindow ManagedClientOf(XWindow window) {
    xcb_connection_t* c = Connection();
    const XWindow root = RootWindowId();
    if (!c) return 0;
    for (XWindow w = window; w && w != root;) {
        if (HasWmState(c, w)) return w;
        xcb_window_t parent = XCB_WINDOW_NONE;
        if (!ParentOf(c, w, &parent)) return 0;
        w = parent;
    }
    return 0;
}

XWindow TopLevelOf(XWindow window) {
    xcb_connection_t* c = Connection();
    const XWindow root = RootWindowId();
    if (!c || !window || window == root) return 0;
    if (const XWindow client = ManagedClientOf(window)) return client;
    for (XWindow w = window;;) {
        xcb_window_t parent = XCB_WINDOW_NONE;
        if (!ParentOf(c, w, &parent) || parent == XCB_WINDOW_NONE) return 0;
        if (parent == root) return w;
        w = parent;
    }
}

std::optional<XWindowState> WindowStateOf(XWindow window) {
    xcb_connection_t* c = Connection();
    const XWindow root = RootWindowId();
    if (!c || !window) return std::nullopt;
    const auto w = static_cast<xcb_window_t>(window);
    // Sent together, read together: one round trip.
    const auto attributesCookie = xcb_get_window_attributes(c, w);
    const auto geometryCookie = xcb_get_geometry(c, w);
    const auto treeCookie = xcb_query_tree(c, w);
    const auto originCookie =
        xcb_translate_coordinates(c, w, static_cast<xcb_window_t>(root), 0, 0);
    auto attributes = Take<xcb_get_window_attributes_reply_t>(c, attributesCookie,
                                                              xcb_get_window_attributes_reply);
    auto geometry = Take<xcb_get_geometry_reply_t>(c, geometryCookie, xcb_get_geometry_reply);
    auto tree = Take<xcb_query_tree_reply_t>(c, treeCookie, xcb_query_tree_reply);
    auto origin =
        Take<xcb_translate_coordinates_reply_t>(c, originCookie, xcb_translate_coordinates_reply);
    if (!attributes || !geometry || !tree || !origin) return std::nullopt;
    XWindowState state;
    state.parent = tree->parent;
    state.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    state.overrideRedirect = attributes->override_redirect != 0;
    state.inputOnly = attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY;
    state.area = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    state.borderWidth = geometry->border_width;
    return state;
}

std::optional<QString> WmClass(XWindow window) {
    xcb_connection_t* c = Connection();
    if (!c) return std::nullopt;
    auto reply = GetProperty(c, window, "WM_CLASS", 256);
    if (!reply) return std::nullopt;
    const QByteArray bytes = PropertyBytes(reply.get());
    const int end = bytes.indexOf('\0');  // "instance\0class\0"
    if (end < 0) return QString();
    QByteArray klass = bytes.mid(end + 1);
    const int classEnd = klass.indexOf('\0');
    if (classEnd >= 0) klass.truncate(classEnd);
    return QString::fromLatin1(klass);
}

QString WindowText(XWindow window) {
    xcb_connection_t* c = Connection();
    if (!c) return QString();
    if (auto name = GetProperty(c, window, "_NET_WM_NAME", 1024))
        return QString::fromUtf8(PropertyBytes(name.get()));
    if (auto name = GetProperty(c, window, "WM_NAME", 1024)) {
        const QByteArray bytes = PropertyBytes(name.get());
        return name->type == AtomOf(c, "UTF8_STRING") ? QString::fromUtf8(bytes)
                                                      : QString::fromLatin1(bytes);
    }
    return QString();
}

XWindow TransientOwner(XWindow window) {
    xcb_connection_t* c = Connection();
    if (!c) return 0;
    auto reply = GetProperty(c, window, "WM_TRANSIENT_FOR", 1);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) return 0;
    return *static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
}

bool HasProperty(XWindow window, const char* name) {
    xcb_connection_t* c = Connection();
    return c && GetProperty(c, window, name, 0) != nullptr;
}

std::vector<QString> AtomListProperty(XWindow window, const char* name) {
    xcb_connection_t* c = Connection();
    if (!c) return {};
    auto reply = GetProperty(c, window, name, 64);
    if (!reply || reply->format != 32) return {};
    const auto* atoms = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    std::vector<QString> names;
    for (int i = 0; i < count; ++i) names.push_back(AtomName(c, atoms[i]));
    return names;
}

std::optional<FrameExtents> FrameExtentsOf(XWindow window) {
    xcb_connection_t* c = Connection();
    if (!c) return std::nullopt;
    auto reply = GetProperty(c, window, "_NET_FRAME_EXTENTS", 4);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 16)
        return std::nullopt;
    const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return FrameExtents{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                        static_cast<int>(v[3])};
}

std::optional<std::vector<XPropertyEntry>> WindowProperties(XWindow window) {
    xcb_connection_t* c = Connection();
    if (!c) return std::nullopt;
    const auto w = static_cast<xcb_window_t>(window);
    auto list =
        Take<xcb_list_properties_reply_t>(c, xcb_list_properties(c, w), xcb_list_properties_reply);
    if (!list) return std::nullopt;
    const xcb_atom_t* atoms = xcb_list_properties_atoms(list.get());
    const int count = xcb_list_properties_atoms_length(list.get());
    // All first items asked for at once, then read in order.
    std::vector<xcb_get_property_cookie_t> cookies;
    for (int i = 0; i < count; ++i)
        cookies.push_back(xcb_get_property(c, 0, w, atoms[i], XCB_GET_PROPERTY_TYPE_ANY, 0, 1));
    std::vector<XPropertyEntry> entries;
    for (int i = 0; i < count; ++i) {
        auto reply = Take<xcb_get_property_reply_t>(c, cookies[i], xcb_get_property_reply);
        if (!reply) continue;  // deleted meanwhile
        XPropertyEntry entry{AtomName(c, atoms[i]), 0};
        const int length = xcb_get_property_value_length(reply.get());
        const auto* value = static_cast<const unsigned char*>(xcb_get_property_value(reply.get()));
        if (reply->format == 8) {
            entry.value = static_cast<uint32_t>(length) + reply->bytes_after;
        } else if (reply->format == 16 && length >= 2) {
            uint16_t item;
            std::memcpy(&item, value, 2);
            entry.value = item;
        } else if (reply->format == 32 && length >= 4) {
            std::memcpy(&entry.value, value, 4);
        }
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace platform
