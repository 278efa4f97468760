// The window toolkit: a window object holding a tree of groups, gadgets and
// pictures, opened as a desktop window whose input arrives as event words on a
// signal bit of the main task.
//
// Objects are made inside out: each group takes its finished children, the window
// takes its group. A constructor that gets a null child fails as a whole (and
// disposes the children it got), so a failure anywhere surfaces as a null window.
#pragma once

#include "platform/library.h"
#include "platform/types.h"

#include <string>
#include <vector>

namespace platform {

struct Object;  // a window, group, gadget or picture
struct Window;  // an open window, as long as it is open
struct Picture; // see picture.h

// Event words of WindowHandleInput: the class in the upper half, for a gadget event
// the gadget's identifier in the lower half.
constexpr uint32 WMHI_LASTMSG = 0;
constexpr uint32 WMHI_CLASSMASK = 0xFFFF0000;
constexpr uint32 WMHI_GADGETMASK = 0xFFFF;
constexpr uint32 WMHI_CLOSEWINDOW = 0x10000;
constexpr uint32 WMHI_GADGETUP = 0x20000;

struct WindowAttrs {
    CONST_STRPTR title = "";
    CONST_STRPTR about = nullptr;       // a line about the program, shown on request
    CONST_STRPTR description = nullptr; // what the window is for, read out by screen readers
    CONST_STRPTR icon = nullptr;        // the window's icon: a picture built into the program
    Object *layout = nullptr;           // the window's contents; owned by the window from now on
    // The button that Return presses when the focus is not on another button (which
    // Return presses itself); drawn as the default. -1: none.
    int32 default_gadget = -1;
    // The button that a game controller's Back (Select) presses. -1: none.
    int32 back_gadget = -1;
    // Where a game controller's B takes the focus, instead of closing the window, while
    // the window's values differ from those it opened with. -1: B always closes it.
    int32 quit_gadget = -1;
    // A line under the window's contents, shown while a game controller is connected;
    // "{confirm}", "{cancel}", "{start}" and "{back}" become the names printed on that
    // pad's buttons. Null: no line.
    CONST_STRPTR pad_hint = nullptr;
};

// One child of a group.
struct Child {
    Object *object;
    // In a labelled group: the text of the row's label column; null makes the child
    // span the whole row.
    CONST_STRPTR label = nullptr;
    // Share of the group's spare room; -1 for the toolkit's default, 0 for none.
    int weight = -1;
};

struct GroupAttrs {
    bool horizontal = false;
    CONST_STRPTR frame_title = nullptr; // a frame around the group, with this title
    bool labelled = false;              // rows carry a label column
    bool align_left = false;            // children keep their size, left and centred
};

// The window's classes ("window.class", "layout.gadget", "button.gadget", ...), each
// with its constructor in its interface and the other entries null.
struct ClassIFace : Interface {
    // A window object, not yet open, or null. It owns `layout` even when it fails.
    Object *(*NewWindowObject)(const WindowAttrs &attrs) = nullptr;
    Object *(*NewGroup)(const GroupAttrs &attrs, const std::vector<Child> &children) = nullptr;
    Object *(*NewSpace)() = nullptr;
    // A push button. An underscore in `text` marks the next letter as its shortcut
    // (Alt and the letter). With a picture, the button shows it instead of the text
    // and is at least `min_size` pixels square. Takes the picture.
    Object *(*NewButton)(uint32 id, CONST_STRPTR text, Picture *picture, int32 min_size) = nullptr;
    // A pop-up list of `labels` (ended by a null entry), with `selected` chosen.
    Object *(*NewChooser)(uint32 id, CONST_STRPTR const *labels, uint32 selected) = nullptr;
    Object *(*NewCheckBox)(uint32 id, CONST_STRPTR text) = nullptr;
    // A picture shown as it is (not a gadget). Takes the picture; null without one.
    Object *(*NewImage)(Picture *picture) = nullptr;
};

// A read-only, left-aligned line of text; it reports nothing. (The string gadget is
// always there: it is no library of its own.)
Object *NewTextField(uint32 id);

// A gadget's hint: shown when the pointer rests on it, and read out after its name by
// screen readers.
void SetGadgetHint(Object *gadget, CONST_STRPTR hint);
// What screen readers call a gadget or a picture, instead of its text (a picture has
// none, a chooser's is its value).
void SetGadgetName(Object *gadget, CONST_STRPTR name);

// Adds `row` to the labelled group that holds `after`, right after `after`'s row and
// next to it in the Tab order, also while the window is open; the group takes it.
// False, with the row disposed, when `after` is in no labelled group of the window.
bool AddGroupRow(Object *window_object, Object *after, const Child &row);

// Disposes an object and everything in it; closes its window if it is open.
void DisposeObject(Object *object);

// Attributes of gadgets.
enum class Attr {
    GA_Selected,      // check box: 1 when checked
    GA_Disabled,      // any gadget: 1 when it takes no input
    CHOOSER_Selected, // chooser: the index of the chosen entry
};

// Reads an attribute into `storage`; 0 when the object has no such attribute.
uint32 GetAttr(Attr attr, Object *object, uint32 *storage);

// The label of a chooser's entry `index`; empty past the last entry or for any other object.
std::string GetChooserLabel(Object *chooser, uint32 index);

// Sets an attribute; the gadget is redrawn at once when `window` is open.
void RefreshSetGadgetAttrs(Object *gadget, Window *window, Attr attr, uint32 value);
// Sets the text of a text field.
void RefreshSetGadgetText(Object *gadget, Window *window, CONST_STRPTR text);

// Opens the window centred on the screen and activates it; null on failure.
Window *WindowOpen(Object *window_object);

// The signal bit on which the window's input is announced, 0 while it is not open.
uint32 WindowSignalMask(Object *window_object);

// The next event word of the window, or WMHI_LASTMSG when none is left.
uint32 WindowHandleInput(Object *window_object, uint16 *code);

namespace testing {
// Queues an event word on the window, as the user's input would.
void post_window_event(Object *window_object, uint32 event);
// Reads the window's game controllers now, as its timer does, on a clock `later_ms`
// ahead of the real one: the number of pads connected, or -1 while no pad is read (the
// window has not been painted yet, no pad's device is attached, or SDL did not start).
int poll_gamepads(Object *window_object, int later_ms = 0);
} // namespace testing

} // namespace platform
