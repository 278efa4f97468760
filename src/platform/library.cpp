#include "platform/library.h"

#include "platform/display.h"

#include <cstring>
#include <map>

namespace platform {

struct Library {
    const char *name;
    bool is_display; // opening it connects to the display; the others need that connection
    int opens = 0;
    int interfaces = 0;
    Interface main{this};
};

namespace {

Library libraries[] = {
    {"intuition.library", true}, {"requester.class", false}, {"window.class", false},
    {"layout.gadget", false},    {"space.gadget", false},    {"button.gadget", false},
    {"clicktab.gadget", false},  {"chooser.gadget", false},  {"checkbox.gadget", false},
    {"bevel.image", false},      {"bitmap.image", false},
};

std::map<std::string, testing::LibraryFault> &faults()
{
    static std::map<std::string, testing::LibraryFault> map;
    return map;
}

std::vector<std::string> &calls()
{
    static std::vector<std::string> list;
    return list;
}

bool has_fault(const char *name, testing::LibraryFault fault)
{
    const auto it = faults().find(name);
    return it != faults().end() && it->second == fault;
}

Library *find_library(CONST_STRPTR name)
{
    for (Library &lib : libraries)
        if (std::strcmp(lib.name, name) == 0)
            return &lib;
    return nullptr;
}

} // namespace

Library *OpenLibrary(CONST_STRPTR name, int32 version)
{
    calls().push_back(std::string("open ") + name);
    Library *lib = find_library(name);
    if (!lib || has_fault(name, testing::LibraryFault::missing))
        return nullptr;
    const int32 available =
        has_fault(name, testing::LibraryFault::too_old) ? 50 : PLATFORM_LIBRARY_VERSION;
    if (version > available)
        return nullptr;
    if (lib->is_display ? !display_connect() : !display_connected())
        return nullptr;
    if (!lib->is_display)
        display_connect(); // held until the class is closed
    ++lib->opens;
    return lib;
}

Interface *GetInterface(Library *library, CONST_STRPTR name, int32 version)
{
    calls().push_back(std::string("get ") + library->name);
    if (std::strcmp(name, "main") != 0 || version != 1 ||
        has_fault(library->name, testing::LibraryFault::no_interface))
        return nullptr;
    ++library->interfaces;
    return &library->main;
}

void DropInterface(Interface *iface)
{
    calls().push_back(std::string("drop ") + iface->library->name);
    --iface->library->interfaces;
}

void CloseLibrary(Library *library)
{
    calls().push_back(std::string("close ") + library->name);
    --library->opens;
    display_disconnect();
}

void testing::set_library_fault(const std::string &name, LibraryFault fault)
{
    faults()[name] = fault;
}

void testing::clear_library_faults()
{
    faults().clear();
}

const std::vector<std::string> &testing::library_calls()
{
    return calls();
}

void testing::clear_library_calls()
{
    calls().clear();
}

} // namespace platform
