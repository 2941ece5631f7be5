#pragma once

// Captures the whole page of the current browser (the page the last match found), the parts
// below the visible area included, as one capture handed to the capture preview, row for row
// in device pixels at any page zoom and screen scale. Scrolls the page screen by screen, takes a
// screenshot of the viewport once each scroll has been painted, places it by the scroll position
// the page reports, and puts the page back where it was. A page taller than a picture can hold
// stops at that height, and the user is told. Escape, pressed while the capture runs, cancels it
// after the piece under way. Writes "pro2.txt" (measurements, scroll positions) and "pro3.txt"
// (where each piece went) in the working folder. Returns 1 when a capture was added, 0 when there
// is no current browser, its document cannot be read or the capture was cancelled.
int CaptureWholePage();
