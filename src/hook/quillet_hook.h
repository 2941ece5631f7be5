#pragma once

// QuilletHook: follows the mouse anywhere on the X display while the user picks a window.
// While a hook is set, every pointer move and every press and release of the left button
// (after the button mapping) anywhere on the display is sent to the target window as a
// ClientMessage without data, whose type is the atom of one of the three names below.
// The receiver reads the pointer position itself.

#ifdef __cplusplus
extern "C" {
#endif

// The names of the three messages: the protocol between the library and the program.
#define QUILLET_UWM_MOUSEMOVE_NAME "UWM_MOUSEMOVE_MSG-44E531B1_14D3_11d5_A025_006067718D04"
#define QUILLET_UWM_LBUTTONDN_NAME "UWM_LBUTTONDN_MSG-44E531B1_14D3_11d5_A025_006067718D05"
#define QUILLET_UWM_LBUTTONUP_NAME "UWM_LBUTTONUP_MSG-44E531B1_14D3_11d5_A025_006067718D06"

// Starts following the mouse for `target` (an X window id). Returns 0 and changes nothing while
// a hook of any process is set on the display, for target 0, when the X server lacks
// XInput 2.2, or when the listener cannot start; non-zero once the hook is set.
int setMyHook(unsigned long target);

// Stops the hook this process set for `target`. Returns 0 for target 0, for any other target,
// or in a process that set no hook; non-zero once the hook is gone.
int clearMyHook(unsigned long target);

#ifdef __cplusplus
}
#endif
