#pragma once

#include "app/quillet_app.h"
#include "editor/child_frame.h"
#include "editor/doc_template.h"
#include "editor/lumo_doc.h"
#include "editor/lumo_view.h"
#include "editor/main_frame.h"
#include "image/raster.h"
#include "platform/message_box.h"
#include "support/temp_folder.h"
#include "support/x11_input.h"

#include <QAction>
#include <QDir>
#include <QMdiArea>
#include <QSettings>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A session layout in a fresh folder, an editor main frame of known size on the screen, and the
// messages shown (answered with `answer`).
struct EditorFixture : ::testing::Test {
    void SetUp() override {
        CQuilletApp* app = App();
        const std::string base = home.path().toStdString() + "/";
        app->baseFolder = base;
        app->binFolder = base + "bin/";
        app->SetSessionPaths(3);
        app->sessionUsed = 0;
        app->EnsureSessionFolders();
        app->settings = SettingsRecord{};
        app->documentCounter = app->documentCount = 0;
        app->quitting = 0;
        // The recent-file list goes into the test's own profile.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.File(".config"));
        app->recentFiles.Load();
        platform::SetMessageBoxRecorder([this](const platform::MessageBoxCall& call) {
            messages.push_back(call.text);
            return answer;
        });
        frame = std::make_unique<CMainFrame>();
        ASSERT_TRUE(frame->Create());
        frame->setGeometry(40, 40, 640, 480);
        frame->show();
        ASSERT_TRUE(testx11::PumpUntil(
            [this] { return frame->isVisible() && frame->size() == QSize(640, 480); }));
        testx11::Pump(50);
    }
    void TearDown() override {
        frame.reset();
        platform::SetMessageBoxRecorder(nullptr);
    }

    // A 24-bit picture whose pixel (x, y), counted from the top, is (x, y, 77) modulo 256.
    static std::unique_ptr<CRaster> Gradient(uint32_t width, uint32_t height) {
        auto image = std::make_unique<CRaster>(width, height, 24);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                RGBQUAD c;
                c.rgbRed = static_cast<uint8_t>(x);
                c.rgbGreen = static_cast<uint8_t>(y);
                c.rgbBlue = 77;
                image->SetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(height - 1 - y),
                                     c);
            }
        }
        return image;
    }

    // A document window holding the picture, refreshed as an opened file is.
    CLumoDoc* NewDocument(std::unique_ptr<CRaster> image, const char* title = "picture") {
        CLumoDoc* doc = frame->docTemplate()->CreateDocument();
        doc->image = std::move(image);
        doc->SetTitle(title);
        doc->UpdateAllViews(1025);
        testx11::Pump(50);
        return doc;
    }

    CLumoView* ViewOf(CLumoDoc* doc) const { return frame->docTemplate()->FrameOf(doc)->view(); }

    // Runs a command through the main frame as the menus do, on the document's window.
    bool Command(CLumoDoc* doc, int id) {
        frame->mdiArea()->setActiveSubWindow(frame->docTemplate()->FrameOf(doc));
        return frame->onCommand(id);
    }

    TempFolder home;
    std::unique_ptr<CMainFrame> frame;
    std::vector<std::string> messages;
    int answer = platform::kAnswerOk;
};
