// The window toolkit: a window object holding a tree of groups, gadgets and
// pictures, opened as a desktop window whose input arrives as event words on a
// signal bit of the main task.
#pragma once

#include "platform/types.h"

namespace platform {

struct Object; // a window, group, gadget or picture
struct Window; // an open window

// Event words of WindowHandleInput: the class in the upper half, for a gadget event
// the gadget's identifier in the lower half.
constexpr uint32 WMHI_LASTMSG = 0;
constexpr uint32 WMHI_CLASSMASK = 0xFFFF0000;
constexpr uint32 WMHI_GADGETMASK = 0xFFFF;
constexpr uint32 WMHI_CLOSEWINDOW = 0x10000;
constexpr uint32 WMHI_GADGETUP = 0x20000;

struct WindowAttrs {
    CONST_STRPTR title = "";
    CONST_STRPTR about = nullptr; // a line about the program, shown on request
    Object *layout = nullptr;     // the window's contents; owned by the window from now on
};

// A window object, not yet open, or null. It owns `layout` even when it fails.
Object *NewWindowObject(const WindowAttrs &attrs);

// A vertical group of `children`, or null (then the children are disposed).
Object *NewVGroup(Object *const *children, int count);

// Disposes an object and everything in it; closes its window if it is open.
void DisposeObject(Object *object);

// Opens the window centred on the screen and activates it; null on failure.
Window *WindowOpen(Object *window_object);

// The signal bit on which the window's input is announced, 0 while it is not open.
uint32 WindowSignalMask(Object *window_object);

// The next event word of the window, or WMHI_LASTMSG when none is left.
uint32 WindowHandleInput(Object *window_object, uint16 *code);

namespace testing {
// Queues an event word on the window, as the user's input would.
void post_window_event(Object *window_object, uint32 event);
} // namespace testing

} // namespace platform
