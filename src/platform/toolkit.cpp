// The toolkit as the platform's libraries, each with the table of its functions.
#include "platform/display.h"
#include "platform/qt_private.h"
#include "platform/requester.h"
#include "platform/translate.h"

#include <array>

namespace platform {

namespace {

constexpr int32 TOOLKIT_VERSION = 53;

// The classes live on the display: they open only while it is connected, and keep
// it connected until they are closed.
bool hold_display()
{
    return display_connected() && display_connect();
}

// A library already on offer under that name (a test's stand-in) stays.
void offer(const LibraryEntry &entry)
{
    if (!library_offered(entry.name))
        register_library(entry);
}

} // namespace

void install_toolkit_libraries()
{
    static IntuitionIFace intuition;
    intuition.connected = display_connected;
    intuition.pump_events = display_pump_events;
    static RequesterIFace requester;
    requester.show = show_error_requester;
    requester.translate = translated;
    offer({"intuition.library", TOOLKIT_VERSION, display_connect, display_disconnect, &intuition});
    offer({"requester.class", TOOLKIT_VERSION, hold_display, display_disconnect, &requester});

    // One row per class: its name and the constructor its interface carries.
    static const struct {
        const char *name;
        void (*fill)(ClassIFace &iface);
    } rows[] = {
        {"window.class", [](ClassIFace &i) { i.NewWindowObject = NewWindowObject; }},
        {"layout.gadget", [](ClassIFace &i) { i.NewGroup = NewGroup; }},
        {"space.gadget", [](ClassIFace &i) { i.NewSpace = NewSpace; }},
        {"button.gadget", [](ClassIFace &i) { i.NewButton = NewButton; }},
        {"clicktab.gadget", [](ClassIFace &) {}}, // this window has no tabs
        {"chooser.gadget", [](ClassIFace &i) { i.NewChooser = NewChooser; }},
        {"checkbox.gadget", [](ClassIFace &i) { i.NewCheckBox = NewCheckBox; }},
        {"bevel.image", [](ClassIFace &) {}}, // group frames draw themselves
        {"bitmap.image", [](ClassIFace &i) { i.NewImage = NewImage; }},
    };
    static std::array<ClassIFace, std::size(rows)> classes;
    for (std::size_t i = 0; i < classes.size(); ++i) {
        rows[i].fill(classes[i]);
        offer({rows[i].name, TOOLKIT_VERSION, hold_display, display_disconnect, &classes[i]});
    }
}

} // namespace platform
