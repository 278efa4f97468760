// The platform's display and requester for a run without a window: messages go to
// standard error, and to a message box where a display answers.
#include "platform/display.h"
#include "platform/qt_private.h"
#include "platform/requester.h"
#include "platform/translate.h"

#include <QGuiApplication>
#include <cstdio>
#include <string>

namespace platform {

namespace {

bool print_error(CONST_STRPTR title, CONST_STRPTR body, CONST_STRPTR button)
{
    std::string line = body; // the message, then its reason, on one line
    if (const auto eol = line.find('\n'); eol != std::string::npos)
        line.replace(eol, 1, ": ");
    std::fprintf(stderr, "KTLaunch: %s\n", line.c_str());
    std::fflush(stderr);
    // Started from a game library or a menu, the player sees no terminal: where a display
    // answers, the message shows in a message box as well.
    if (display_connect()) {
        const QString platform = QGuiApplication::platformName();
        if (platform != "offscreen" && platform != "minimal") // else nobody could answer it
            show_error_requester(title, body, button);
        display_disconnect();
    }
    return true;
}

} // namespace

void install_console_libraries()
{
    static IntuitionIFace console;
    console.connected = [] { return true; };
    static RequesterIFace requester;
    requester.show = print_error;
    requester.translate = translated;
    register_library({"intuition.library", 53, nullptr, nullptr, &console});
    register_library({"requester.class", 53, nullptr, nullptr, &requester});
}

} // namespace platform
