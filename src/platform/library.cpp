#include "platform/library.h"

#include <map>

namespace platform {

struct Library {
    LibraryEntry entry;
    int opens = 0;
};

namespace {

// By name; a map, so that a library stays where it is while others come and go.
std::map<std::string, Library, std::less<>> &libraries()
{
    static std::map<std::string, Library, std::less<>> map;
    return map;
}

std::vector<std::string> &calls()
{
    static std::vector<std::string> list;
    return list;
}

} // namespace

void register_library(const LibraryEntry &entry)
{
    Library &lib = libraries()[entry.name];
    lib.entry = entry;
    if (entry.main)
        entry.main->library = &lib;
}

void unregister_library(const std::string &name)
{
    libraries().erase(name);
}

bool library_offered(const std::string &name)
{
    return libraries().count(name) > 0;
}

Library *OpenLibrary(CONST_STRPTR name, int32 version)
{
    calls().push_back(std::string("open ") + name);
    const auto found = libraries().find(std::string_view(name));
    if (found == libraries().end() || found->second.entry.version < version)
        return nullptr;
    Library &lib = found->second;
    if (lib.opens == 0 && lib.entry.open && !lib.entry.open())
        return nullptr;
    ++lib.opens;
    return &lib;
}

Interface *GetInterface(Library *library, CONST_STRPTR name, int32 version)
{
    calls().push_back("get " + library->entry.name);
    if (std::string_view(name) != "main" || version != 1)
        return nullptr;
    return library->entry.main;
}

void DropInterface(Interface *iface)
{
    calls().push_back("drop " + iface->library->entry.name);
}

void CloseLibrary(Library *library)
{
    calls().push_back("close " + library->entry.name);
    if (--library->opens == 0 && library->entry.close)
        library->entry.close();
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
