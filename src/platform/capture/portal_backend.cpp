#include "platform/capture/portal_backend.h"

#include "platform/capture/screencopy_backend.h"
#include "platform/capture/upscale_recovery.h"
#include "platform/capture/wayland_connection.h"

#include <dbus/dbus.h>
#include <png.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform::capture {

namespace {

constexpr int kPortalTimeoutMs = 30000;
constexpr off_t kMaxFileBytes = off_t(1) << 30;
constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// One request at a time in this program...
std::mutex g_portalMutex;

// ...and among this user's programs: a lock file in the user's runtime folder.
class UserLock {
  public:
    UserLock() {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime || !*runtime) return;
        const std::string path = std::string(runtime) + "/quillet-portal-screenshot.lock";
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ >= 0) flock(fd_, LOCK_EX);
    }
    ~UserLock() {
        if (fd_ >= 0) close(fd_);
    }
    UserLock(const UserLock&) = delete;
    UserLock& operator=(const UserLock&) = delete;

  private:
    int fd_ = -1;
};

struct BusError {
    DBusError error;
    BusError() { dbus_error_init(&error); }
    ~BusError() { dbus_error_free(&error); }
    bool Set() const { return dbus_error_is_set(&error); }
};

void AppendEntry(DBusMessageIter& dict, const char* key, int type, const void* value) {
    DBusMessageIter entry, variant;
    const char signature[2] = {static_cast<char>(type), 0};
    dbus_message_iter_open_container(&dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant);
    dbus_message_iter_append_basic(&variant, type, value);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(&dict, &entry);
}

// The Response signal's code and its "uri" result.
bool ReadResponse(DBusMessage* message, uint32_t& code, std::string& uri) {
    DBusMessageIter args;
    if (!dbus_message_iter_init(message, &args) ||
        dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_UINT32)
        return false;
    dbus_message_iter_get_basic(&args, &code);
    if (!dbus_message_iter_next(&args) || dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_ARRAY)
        return true;
    DBusMessageIter dict;
    dbus_message_iter_recurse(&args, &dict);
    for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&dict)) {
        DBusMessageIter entry, variant;
        dbus_message_iter_recurse(&dict, &entry);
        if (dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING) continue;
        const char* key = nullptr;
        dbus_message_iter_get_basic(&entry, &key);
        if (!dbus_message_iter_next(&entry) ||
            dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_VARIANT)
            continue;
        dbus_message_iter_recurse(&entry, &variant);
        if (std::strcmp(key, "uri") == 0 &&
            dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_STRING) {
            const char* value = nullptr;
            dbus_message_iter_get_basic(&variant, &value);
            uri = value ? value : "";
        }
    }
    return true;
}

// A file:// URI's path, its %XX escapes decoded; empty for anything else.
std::string FilePath(const std::string& uri) {
    constexpr std::string_view scheme = "file://";
    if (uri.compare(0, scheme.size(), scheme) != 0) return {};
    std::string path;
    for (std::size_t i = scheme.size(); i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() &&
            std::isxdigit(static_cast<unsigned char>(uri[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
            path += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    return path.empty() || path[0] != '/' ? std::string() : path;
}

}  // namespace

bool PortalScreenshot(std::string& path, std::string& error, int timeoutMs) {
    BusError failure;
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &failure.error);
    if (!bus) {
        error = "there is no D-Bus session bus to reach the desktop portal";
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    struct Closer {
        DBusConnection* bus;
        ~Closer() {
            dbus_connection_close(bus);
            dbus_connection_unref(bus);
        }
    } closer{bus};

    // The portal answers on a request object whose path it derives from our name and a token.
    static std::atomic<unsigned> counter{0};
    const std::string token =
        "quillet" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    std::string sender = dbus_bus_get_unique_name(bus) ? dbus_bus_get_unique_name(bus) : "";
    if (!sender.empty() && sender[0] == ':') sender.erase(0, 1);
    std::replace(sender.begin(), sender.end(), '.', '_');
    std::string request = std::string(kPortalPath) + "/request/" + sender + "/" + token;
    const auto watch = [&](const std::string& objectPath) {
        const std::string rule =
            "type='signal',interface='org.freedesktop.portal.Request',member='Response',path='" +
            objectPath + "'";
        dbus_bus_add_match(bus, rule.c_str(), nullptr);
    };
    watch(request);

    DBusMessage* call = dbus_message_new_method_call(
        kPortal, kPortalPath, "org.freedesktop.portal.Screenshot", "Screenshot");
    if (!call) {
        error = "out of memory";
        return false;
    }
    DBusMessageIter args, dict;
    const char* parent = "";
    dbus_message_iter_init_append(call, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &parent);
    dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &dict);
    const char* tokenText = token.c_str();
    AppendEntry(dict, "handle_token", DBUS_TYPE_STRING, &tokenText);
    const dbus_bool_t no = FALSE;
    AppendEntry(dict, "interactive", DBUS_TYPE_BOOLEAN, &no);
    dbus_message_iter_close_container(&args, &dict);

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(bus, call, timeoutMs, &failure.error);
    dbus_message_unref(call);
    if (!reply) {
        const char* name = failure.Set() ? failure.error.name : "";
        if (std::strcmp(name, DBUS_ERROR_SERVICE_UNKNOWN) == 0)
            error = "no desktop portal runs in this session";
        else if (std::strcmp(name, DBUS_ERROR_UNKNOWN_METHOD) == 0 ||
                 std::strcmp(name, DBUS_ERROR_UNKNOWN_INTERFACE) == 0)
            error = "the desktop portal offers no screenshots";
        else
            error = std::string("the desktop portal refused the screenshot (") +
                    (failure.Set() ? failure.error.message : "no answer") + ")";
        return false;
    }
    const char* handle = nullptr;
    if (dbus_message_get_args(reply, nullptr, DBUS_TYPE_OBJECT_PATH, &handle, DBUS_TYPE_INVALID) &&
        handle && request != handle) {
        request = handle;  // portals older than the token scheme name their own object
        watch(request);
    }
    dbus_message_unref(reply);

    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            // Withdrawn, so that the portal does not go on with it.
            if (DBusMessage* close = dbus_message_new_method_call(
                    kPortal, request.c_str(), "org.freedesktop.portal.Request", "Close")) {
                dbus_connection_send(bus, close, nullptr);
                dbus_connection_flush(bus);
                dbus_message_unref(close);
            }
            error = "the desktop portal did not answer in time";
            return false;
        }
        if (!dbus_connection_read_write(bus, static_cast<int>(std::min<long long>(left, 1000)))) {
            error = "the connection to the desktop portal broke";
            return false;
        }
        while (DBusMessage* message = dbus_connection_pop_message(bus)) {
            const bool ours =
                dbus_message_is_signal(message, "org.freedesktop.portal.Request", "Response") &&
                dbus_message_has_path(message, request.c_str());
            uint32_t code = 2;
            std::string uri;
            const bool read = ours && ReadResponse(message, code, uri);
            dbus_message_unref(message);
            if (!ours) continue;
            if (!read) {
                error = "the desktop portal's answer could not be read";
                return false;
            }
            if (code == 1) {
                error = "the screenshot was refused: the desktop asked and it was not allowed";
                return false;
            }
            if (code != 0) {
                error = "the desktop portal could not take the screenshot";
                return false;
            }
            path = FilePath(uri);
            if (path.empty()) {
                error = "the desktop portal returned no file (" + uri + ")";
                return false;
            }
            return true;
        }
    }
}

bool ReadPngFile(const std::string& path, Picture& picture, std::string& error) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxFileBytes) {
        error = "the screenshot file " + path + " is missing or not a plain file";
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = "the screenshot file " + path + " is no PNG picture";
        return false;
    }
    image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB in memory on this machine's byte order
    if (!picture.Reset(static_cast<int>(std::min<png_uint_32>(image.width, INT_MAX)),
                       static_cast<int>(std::min<png_uint_32>(image.height, INT_MAX)))) {
        png_image_free(&image);
        error = "the screenshot is too large";
        return false;
    }
    if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
        error = std::string("the screenshot file cannot be read (") + image.message + ")";
        png_image_free(&image);
        return false;
    }
    for (uint32_t& pixel : picture.pixels) pixel |= 0xFF000000u;
    return true;
}

bool MapToOutputs(const Picture& shot, const std::vector<Output>& outputs, Picture& desktop,
                  std::string& error) {
    int width = 0, height = 0;
    if (!OutputsExtent(outputs, width, height)) {
        desktop = shot;
        return true;
    }
    int minX = INT_MAX, minY = INT_MAX, maxX = INT_MIN;
    for (const Output& o : outputs) {
        minX = std::min(minX, o.logicalX);
        minY = std::min(minY, o.logicalY);
        maxX = std::max(maxX, o.logicalX + o.logicalWidth);
    }
    // The portal's picture holds the logical layout at one factor for all outputs.
    const double factor = double(shot.width) / std::max(maxX - minX, 1);
    if (!desktop.Reset(width, height)) {
        error = "the desktop is too large to capture";
        return false;
    }
    for (const Output& o : outputs) {
        const double originX = (o.logicalX - minX) * factor, originY = (o.logicalY - minY) * factor;
        const double step = factor / (o.scale > 0 ? o.scale : 1.0);
        // An output at half the picture's scale, smoothed up: its own pixels where they can be
        // brought back.
        Picture own;
        const auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-6; };
        if (std::abs(step - 2) < 1e-6 && whole(originX) && whole(originY) &&
            RecoverFromDoubled(shot, int(std::lround(originX)), int(std::lround(originY)), o.width,
                               o.height, own) != Recovery::kNone) {
            for (int y = 0; y < o.height; ++y) {
                const int py = o.y + y;
                if (py < 0 || py >= desktop.height) continue;
                for (int x = std::max(0, -o.x); x < o.width && o.x + x < desktop.width; ++x)
                    desktop.Row(py)[o.x + x] = own.Row(y)[x];
            }
            continue;
        }
        std::vector<int> columns(std::size_t(std::max(o.width, 0)));
        for (int x = 0; x < o.width; ++x)
            columns[x] = std::clamp(int(std::floor(originX + (x + 0.5) * step)), 0, shot.width - 1);
        for (int y = 0; y < o.height; ++y) {
            const int py = o.y + y;
            if (py < 0 || py >= desktop.height) continue;
            const int sy =
                std::clamp(int(std::floor(originY + (y + 0.5) * step)), 0, shot.height - 1);
            const uint32_t* in = shot.Row(sy);
            uint32_t* out = desktop.Row(py);
            for (int x = 0; x < o.width; ++x) {
                const int px = o.x + x;
                if (px >= 0 && px < desktop.width) out[px] = in[columns[x]];
            }
        }
    }
    return true;
}

PortalBackend::PortalBackend(std::shared_ptr<WaylandConnection> wayland)
    : wayland_(std::move(wayland)) {}

std::vector<Output> PortalBackend::Outputs() {
    if (wayland_) return wayland_->Outputs();
    if (lastWidth_ <= 0) return {};
    Output whole;
    whole.width = whole.logicalWidth = lastWidth_;
    whole.height = whole.logicalHeight = lastHeight_;
    return {whole};
}

bool PortalBackend::DesktopSize(int& width, int& height) {
    return OutputsExtent(Outputs(), width, height);
}

bool PortalBackend::ReadArea(int x, int y, int width, int height, const RowSink& sink,
                             std::string& error) {
    Picture desktop;
    if (!Desktop(desktop, error)) return false;
    return ReadAreaOf(desktop, x, y, width, height, sink, error);
}

bool PortalBackend::Desktop(Picture& picture, std::string& error) {
    Picture shot;
    {
        const std::lock_guard<std::mutex> inProgram(g_portalMutex);
        const UserLock inSession;
        std::string path;
        if (!PortalScreenshot(path, error, kPortalTimeoutMs)) return false;
        const bool read = ReadPngFile(path, shot, error);
        struct stat info {};
        if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
        if (!read) return false;
    }
    lastWidth_ = shot.width;
    lastHeight_ = shot.height;
    return MapToOutputs(shot, wayland_ ? wayland_->Outputs() : std::vector<Output>{}, picture,
                        error);
}

}  // namespace platform::capture
