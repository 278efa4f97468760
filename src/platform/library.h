// Shared libraries and classes of the platform, opened by name and minimum version,
// each with its "main" interface.
//
// On this host the libraries are parts of the program itself: "intuition.library"
// is the connection to the desktop's display, "requester.class" the message box, and
// the window's gadget and image classes the widgets of the toolkit. Opening
// "intuition.library" fails, without ending the program, when no display can be
// reached.
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

namespace platform {

struct Library;

struct Interface {
    Library *library;
};

// The version that every library of this platform has.
constexpr int32 PLATFORM_LIBRARY_VERSION = 53;

// The library, or null when none of that name and at least that version can be opened.
Library *OpenLibrary(CONST_STRPTR name, int32 version);
// The library's interface of that name and version, or null.
Interface *GetInterface(Library *library, CONST_STRPTR name, int32 version);
void DropInterface(Interface *iface);
void CloseLibrary(Library *library);

namespace testing {
enum class LibraryFault { missing, too_old, no_interface };
// Makes the library `name` fail to open in that way until cleared.
void set_library_fault(const std::string &name, LibraryFault fault);
void clear_library_faults();

// Every open, interface, drop and close since the last clear, as
// "open intuition.library", "get intuition.library", "drop intuition.library",
// "close intuition.library".
const std::vector<std::string> &library_calls();
void clear_library_calls();
} // namespace testing

} // namespace platform
