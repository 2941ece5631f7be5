#include "platform/capture/x11_backend.h"

#include "platform/x11_grab.h"

#include <X11/Xlib.h>

namespace platform::capture {

namespace {

class X11Backend : public Backend {
  public:
    X11Backend(std::function<Display*()> display, Display* own)
        : display_(std::move(display)), own_(own) {}
    ~X11Backend() override {
        if (own_) XCloseDisplay(own_);
    }
    const char* Name() const override { return "x11"; }

    std::vector<Output> Outputs() override {
        std::vector<Output> outputs;
        for (const MonitorArea& area : MonitorAreas(Connection())) {
            Output output;
            output.x = output.logicalX = area.x;
            output.y = output.logicalY = area.y;
            output.width = output.logicalWidth = area.width;
            output.height = output.logicalHeight = area.height;
            outputs.push_back(output);
        }
        return outputs;
    }

    bool DesktopSize(int& width, int& height) override {
        return RootSize(Connection(), width, height);
    }

    bool ReadArea(int x, int y, int width, int height, const RowSink& sink,
                  std::string& error) override {
        if (ReadRootArea(Connection(), x, y, width, height, sink)) return true;
        error = "the X server did not hand over the screen's pixels";
        return false;
    }

  private:
    Display* Connection() {
        if (display_) {
            if (Display* display = display_()) return display;
        }
        if (!own_) own_ = XOpenDisplay(nullptr);
        return own_;
    }

    std::function<Display*()> display_;
    Display* own_ = nullptr;
};

}  // namespace

std::unique_ptr<Backend> OpenX11Backend(std::function<Display*()> display, std::string& error) {
    Display* given = display ? display() : nullptr;
    Display* own = given ? nullptr : XOpenDisplay(nullptr);
    if (!given && !own) {
        error = "no X display";
        return nullptr;
    }
    return std::make_unique<X11Backend>(std::move(display), own);
}

}  // namespace platform::capture
