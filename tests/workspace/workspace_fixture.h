#pragma once

#include "app/quillet_app.h"
#include "capture/naming.h"
#include "platform/message_box.h"
#include "support/fresh_layout.h"
#include "support/temp_folder.h"
#include "support/x11_input.h"
#include "workspace/capture_preview_dlg.h"
#include "workspace/preview_image.h"

#include <QDir>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A fresh folder layout in the application object, the messages shown, and a capture preview
// created as the panel creates it (hidden), beside a panel rectangle near the screen's corner.
struct WorkspaceFixture : ::testing::Test {
    void SetUp() override {
        UseFreshLayout(home, 1);
        platform::SetMessageBoxRecorder([this](const platform::MessageBoxCall& call) {
            messages.push_back(call.text);
            return platform::kAnswerOk;
        });
        preview = std::make_unique<CCapturePreviewDlg>();
        App()->previewHidden = 1;
    }
    void TearDown() override {
        preview.reset();
        platform::SetMessageBoxRecorder(nullptr);
    }

    // A screen capture as the capture engine hands it over: the next IT/TT names, the bitmap,
    // then its thumbnail.
    void Capture(const QImage& bitmap) {
        const naming::CaptureNames names = naming::NextScreenCapture();
        preview->AddCaptureBitmap(bitmap, names.image);
        preview->SetThumbnail(bitmap, bitmap.size(), names.thumbnail);
    }

    static QImage Solid(int width, int height, QRgb colour) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    }

    // Slides the preview out beside the panel rectangle and waits until it stands there.
    void SlideOut() {
        preview->ToggleSlide();
        ASSERT_TRUE(testx11::PumpUntil([this] { return !preview->slide().IsRunning(); }));
        const QPoint target(
            App()->panelRect.left() - preview->WindowWidth() + preview->WindowWidth() % 10,
            App()->panelRect.top());
        ASSERT_TRUE(testx11::PumpUntil([&] {
            return preview->isVisible() &&
                   testx11::WindowScreenRect(preview->winId()).topLeft() == target;
        }));
        testx11::Pump(100);
    }

    // The preview's image area as the screen shows it.
    QImage ImageAreaOnScreen() {
        QWidget* area = preview->imageArea();
        return testx11::GrabScreen(QRect(area->mapToGlobal(QPoint(0, 0)), area->size()));
    }

    int CountMessages(const std::string& text) const {
        int count = 0;
        for (const std::string& message : messages) count += message == text;
        return count;
    }

    TempFolder home;
    std::vector<std::string> messages;
    std::unique_ptr<CCapturePreviewDlg> preview;
};
