#include "hook/quillet_hook.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

// The hook of a display is recorded on the display itself: a selection owned by a window of the
// listener's own connection, with the target's id in a property of that window. The X server
// drops the ownership when the listener's connection closes, so the record dies with the process
// that set it, however that process ends.

#define QUILLET_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr char kRecordName[] = "_QUILLET_MOUSE_HOOK";
constexpr char kTargetProperty[] = "_QUILLET_MOUSE_HOOK_TARGET";
constexpr uint8_t kLeftButton = 1;

struct Hook {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_window_t recordWindow = 0;
    xcb_window_t target = 0;
    uint8_t inputOpcode = 0;
    xcb_atom_t moveMessage = 0;
    xcb_atom_t downMessage = 0;
    xcb_atom_t upMessage = 0;
    std::vector<uint8_t> buttonMap;  // logical button of each physical button
    int stopFd = -1;
    std::thread listener;

    ~Hook() {
        if (connection) xcb_disconnect(connection);
        if (stopFd >= 0) close(stopFd);
    }
};

// The hook this process set; guarded by the lock (no destructor runs on it at unload).
pthread_mutex_t hookLock = PTHREAD_MUTEX_INITIALIZER;
Hook* installed = nullptr;

struct Locked {
    Locked() { pthread_mutex_lock(&hookLock); }
    ~Locked() { pthread_mutex_unlock(&hookLock); }
};

xcb_atom_t Intern(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

bool HasRawEventsDuringGrabs(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_input_id);
    if (!extension || !extension->present) return false;
    xcb_input_xi_query_version_reply_t* reply =
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr);
    const bool ok = reply && (reply->major_version > 2 ||
                              (reply->major_version == 2 && reply->minor_version >= 2));
    free(reply);
    return ok;
}

void ReadButtonMap(Hook& hook) {
    xcb_get_pointer_mapping_reply_t* reply = xcb_get_pointer_mapping_reply(
        hook.connection, xcb_get_pointer_mapping(hook.connection), nullptr);
    hook.buttonMap.clear();
    if (reply) {
        const uint8_t* map = xcb_get_pointer_mapping_map(reply);
        hook.buttonMap.assign(map, map + xcb_get_pointer_mapping_map_length(reply));
    }
    free(reply);
}

uint8_t LogicalButton(const Hook& hook, uint32_t physical) {
    if (physical == 0 || physical > hook.buttonMap.size()) return uint8_t(physical);
    return hook.buttonMap[physical - 1];
}

// A raw motion counts as a move only when it moves the pointer: a wheel may report its scrolling
// as motion on scroll axes alone.
bool MovesPointer(const xcb_input_raw_motion_event_t* event) {
    if (xcb_input_raw_button_press_valuator_mask_length(event) < 1) return false;
    return (xcb_input_raw_button_press_valuator_mask(event)[0] & 0x3u) != 0;
}

// Sent without waiting for anything: an error (the target just died) comes back as an event
// that the listener ignores.
void Post(const Hook& hook, xcb_atom_t message) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = hook.target;
    event.type = message;
    char wire[32];
    static_assert(sizeof(event) == sizeof(wire));
    memcpy(wire, &event, sizeof(wire));
    xcb_send_event(hook.connection, 0, hook.target, XCB_EVENT_MASK_NO_EVENT, wire);
}

void HandleEvent(Hook& hook, const xcb_generic_event_t* event) {
    const uint8_t type = event->response_type & 0x7F;
    if (type == XCB_MAPPING_NOTIFY) {
        const auto* mapping = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
        if (mapping->request == XCB_MAPPING_POINTER) ReadButtonMap(hook);
        return;
    }
    if (type != XCB_GE_GENERIC) return;
    const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
    if (generic->extension != hook.inputOpcode) return;
    const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
    switch (generic->event_type) {
        case XCB_INPUT_RAW_MOTION:
            if (MovesPointer(raw)) Post(hook, hook.moveMessage);
            break;
        case XCB_INPUT_RAW_BUTTON_PRESS:
            if (LogicalButton(hook, raw->detail) == kLeftButton) Post(hook, hook.downMessage);
            break;
        case XCB_INPUT_RAW_BUTTON_RELEASE:
            if (LogicalButton(hook, raw->detail) == kLeftButton) Post(hook, hook.upMessage);
            break;
        default:
            break;
    }
}

void Listen(Hook* hook) {
    pollfd fds[2] = {{xcb_get_file_descriptor(hook->connection), POLLIN, 0},
                     {hook->stopFd, POLLIN, 0}};
    while (true) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(hook->connection)) {
            HandleEvent(*hook, event);
            free(event);
        }
        if (xcb_connection_has_error(hook->connection)) return;
        // Flushing the messages may read events off the socket into xcb's queue; the socket
        // would then stay quiet about them, and a button's release would wait for the next event.
        xcb_flush(hook->connection);
        if (xcb_generic_event_t* event = xcb_poll_for_queued_event(hook->connection)) {
            HandleEvent(*hook, event);
            free(event);
            continue;
        }
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
    }
}

bool Checked(xcb_connection_t* c, xcb_void_cookie_t cookie) {
    xcb_generic_error_t* error = xcb_request_check(c, cookie);
    free(error);
    return error == nullptr;
}

// Takes the display's record for this hook unless someone holds it. The server is grabbed so
// that two processes racing for it cannot both win.
bool TakeRecord(Hook& hook, xcb_atom_t record) {
    xcb_connection_t* c = hook.connection;
    xcb_grab_server(c);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, record), nullptr);
    const bool free_ = owner && owner->owner == XCB_WINDOW_NONE;
    free(owner);
    if (free_) xcb_set_selection_owner(c, hook.recordWindow, record, XCB_CURRENT_TIME);
    xcb_ungrab_server(c);
    if (!free_) return false;
    owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, record), nullptr);
    const bool ours = owner && owner->owner == hook.recordWindow;
    free(owner);
    return ours;
}

// Connects, records the hook on the display and asks for the raw pointer events.
bool Prepare(Hook& hook) {
    int screenNumber = 0;
    hook.connection = xcb_connect(nullptr, &screenNumber);
    xcb_connection_t* c = hook.connection;
    if (xcb_connection_has_error(c) || !HasRawEventsDuringGrabs(c)) return false;
    hook.inputOpcode = xcb_get_extension_data(c, &xcb_input_id)->major_opcode;

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
    if (!screens.rem) return false;
    hook.root = screens.data->root;

    const xcb_atom_t record = Intern(c, kRecordName);
    const xcb_atom_t targetProperty = Intern(c, kTargetProperty);
    hook.moveMessage = Intern(c, QUILLET_UWM_MOUSEMOVE_NAME);
    hook.downMessage = Intern(c, QUILLET_UWM_LBUTTONDN_NAME);
    hook.upMessage = Intern(c, QUILLET_UWM_LBUTTONUP_NAME);
    if (!record || !targetProperty || !hook.moveMessage || !hook.downMessage || !hook.upMessage) {
        return false;
    }

    hook.recordWindow = xcb_generate_id(c);
    if (!Checked(c, xcb_create_window_checked(c, 0, hook.recordWindow, hook.root, -1, -1, 1, 1, 0,
                                              XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0,
                                              nullptr))) {
        return false;
    }
    const uint32_t target = hook.target;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, hook.recordWindow, targetProperty,
                        XCB_ATOM_WINDOW, 32, 1, &target);
    if (!TakeRecord(hook, record)) return false;

    struct {
        xcb_input_event_mask_t head;
        uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
               XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE};
    if (!Checked(c, xcb_input_xi_select_events_checked(c, hook.root, 1, &mask.head))) {
        return false;
    }
    ReadButtonMap(hook);
    hook.stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return hook.stopFd >= 0;
}

void Stop(Hook* hook) {
    const uint64_t one = 1;
    if (write(hook->stopFd, &one, sizeof(one)) < 0) {
        // An eventfd write fails only on counter overflow, which one write cannot reach.
    }
    if (hook->listener.joinable()) hook->listener.join();
    delete hook;  // closing the connection releases the display's record
}

}  // namespace

QUILLET_EXPORT int setMyHook(unsigned long target) {
    Locked lock;
    if (installed || target == 0 || target > UINT32_MAX) return 0;
    auto* hook = new Hook;
    hook->target = xcb_window_t(target);
    if (!Prepare(*hook)) {
        delete hook;
        return 0;
    }
    try {
        hook->listener = std::thread(Listen, hook);
    } catch (const std::system_error&) {
        delete hook;
        return 0;
    }
    installed = hook;
    return 1;
}

QUILLET_EXPORT int clearMyHook(unsigned long target) {
    Locked lock;
    if (target == 0 || !installed || installed->target != target) return 0;
    Stop(installed);
    installed = nullptr;
    return 1;
}

// Unloading the library (or the program's end) stops a hook that is still set.
__attribute__((destructor)) static void ClearHookAtUnload() {
    Locked lock;
    if (!installed) return;
    Stop(installed);
    installed = nullptr;
}
