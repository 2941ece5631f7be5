#pragma once

#include <QImage>
#include <QRect>

#include <string>

// Grabs an area of a window as it shows on the screen and hands it to the capture preview as a
// new capture with its thumbnail (the current thumbnail path). An empty rect means the whole
// window; otherwise rect is in the window's coordinates. `number` is the capture's counter value.
// Returns 1 only when this routine wrote a file itself, which no caller asks for.
int GrabWindowArea(const std::string& imagePath, unsigned long window, const QRect& rect,
                   int number);

// Grabs a picked window as it shows on the screen (with its decorations when `withFrame`): its
// top-level window is raised into the above band for the copy and taken out of it afterwards.
// Only the part on the screen is copied; nothing when no part is. `number` is the capture's
// counter value.
void GrabWindow(const std::string& imagePath, unsigned long window, int number, bool withFrame);

// Hands a grabbed bitmap to the capture preview: AddCaptureBitmap, then SetThumbnail.
void HandCaptureToPreview(const QImage& bitmap, const std::string& imagePath);

// Takes a snapshot of the whole screen into the application's frozen screen. Reports the
// bitmap failures in message boxes; the capture goes on with whatever the snapshot holds.
void FreezeScreen();
