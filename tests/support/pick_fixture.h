#pragma once

#include "capture/pick_dlg.h"
#include "support/temp_folder.h"

#include <QImage>
#include <QPoint>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The picking balloon now on the screen, or null.
CPickDlg* RunningPick();

// The whole program started in a fresh working folder with its message boxes recorded, running
// picks as a user would.
struct PickFixture : ::testing::Test {
    void SetUp() override;
    void TearDown() override;

    // Runs a pick; `user` acts once the balloon holds its grabs (or, in Dropdown mode, has
    // hooked). A pick still running `endTimeoutMs` later is a failure and is ended.
    void Pick(int mode, const std::function<void(CPickDlg&)>& user, int endTimeoutMs = 8000);
    // A left click at a point, after moving there in two steps.
    static void ClickAt(QPoint point);
    // Capture n as its cache file holds it; null when the file does not come.
    QImage Capture(int n);

    TempFolder home;
    std::unique_ptr<CurrentFolder> folder;
    std::vector<std::string> messages;
};
