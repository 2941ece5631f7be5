#pragma once

// Captures the whole page of the current browser (the page the last match found), the parts
// below the visible area included, as one capture handed to the capture preview. Scrolls the
// page screen by screen, takes a screenshot of the viewport at each step, stitches them and
// puts the page back where it was. Writes "pro2.txt" (measurements, scroll positions) and
// "pro3.txt" (where each piece went) in the working folder. Returns 1 when a capture was
// added, 0 when there is no current browser or its document cannot be read.
int CaptureWholePage();
