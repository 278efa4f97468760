// Libraries of the platform, opened by name and minimum version, each with its
// "main" interface: the table of the library's functions, through which the program
// calls it.
//
// Names in src/platform/: a service that the program calls by the original
// platform's name keeps that name (OpenLibrary, GetInterface, Wait, Signal,
// GetAttr, and the NewObject-style constructors NewButton, NewGroup, ...); all
// else is plain snake_case.
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

namespace platform {

struct Library;

// What every interface starts with: the library that handed it out. The functions
// follow, in the interface type of each library (IntuitionIFace, RequesterIFace,
// ClassIFace).
struct Interface {
    Library *library = nullptr;
};

// A library as the platform offers it. `open` runs when it is opened while not yet
// open, `close` when the last opener closes it; either may be null.
struct LibraryEntry {
    std::string name;
    int32 version;
    bool (*open)();
    void (*close)();
    Interface *main; // null: the library has no "main" interface
};

// Offers a library to OpenLibrary, in place of any of the same name.
void register_library(const LibraryEntry &entry);
// Takes a library away (one that is not open): OpenLibrary no longer finds it.
void unregister_library(const std::string &name);
bool library_offered(const std::string &name);

// The library, or null when none of that name and at least that version can be opened.
Library *OpenLibrary(CONST_STRPTR name, int32 version);
// The library's interface of that name and version, or null.
Interface *GetInterface(Library *library, CONST_STRPTR name, int32 version);
void DropInterface(Interface *iface);
void CloseLibrary(Library *library);

namespace testing {
// Every open, interface, drop and close since the last clear, as
// "open intuition.library", "get intuition.library", "drop intuition.library",
// "close intuition.library".
const std::vector<std::string> &library_calls();
void clear_library_calls();
} // namespace testing

} // namespace platform
