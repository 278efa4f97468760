// The platform's display and requester for a run without a window: messages go to
// standard error.
#include "platform/display.h"
#include "platform/requester.h"

#include <cstdio>
#include <string>

namespace platform {

namespace {

bool print_error(CONST_STRPTR, CONST_STRPTR body, CONST_STRPTR)
{
    std::string line = body; // the message, then its reason, on one line
    if (const auto eol = line.find('\n'); eol != std::string::npos)
        line.replace(eol, 1, ": ");
    std::fprintf(stderr, "KTLaunch: %s\n", line.c_str());
    return true;
}

} // namespace

void install_console_libraries()
{
    static IntuitionIFace console;
    console.connected = [] { return true; };
    static RequesterIFace requester;
    requester.show = print_error;
    register_library({"intuition.library", 53, nullptr, nullptr, &console});
    register_library({"requester.class", 53, nullptr, nullptr, &requester});
}

} // namespace platform
