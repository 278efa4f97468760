// Start-up, the main loop and shut-down, with a fake window module and requester class.
#include "gui.h"
#include "platform/signals.h"
#include "test_support.h"

#include <functional>

int launcher_main(int argc, char **argv); // the program's entry point, renamed for this test

// The window module, driven and watched without a window.
struct FakeGui {
    bool init_result = true;
    // Answers gui_handler; by default the window asks to quit.
    std::function<BOOL(uint32 gotsigs)> on_handler = [](uint32) { return true; };
    std::vector<std::string> calls;   // "preinit", "init", "handler", "shut" in order
    std::vector<uint32> handler_sigs; // gotsigs of each gui_handler call
} fake_gui;

Object *obj[NUM_OBJECTS];
Window *win[NUM_WINDOWS];
uint32 wsig[NUM_WINDOWS];
uint32 gui_sigs = 0;

void gui_preinit()
{
    fake_gui.calls.push_back("preinit");
}

// An open window signals once, so that the loop makes a first pass.
BOOL gui_init()
{
    fake_gui.calls.push_back("init");
    if (!fake_gui.init_result)
        return false;
    wsig[WID_MAIN] = 1u << platform::AllocSignal();
    gui_sigs |= wsig[WID_MAIN];
    platform::Signal(wsig[WID_MAIN]);
    return true;
}

void gui_shut()
{
    fake_gui.calls.push_back("shut");
}

BOOL gui_handler(uint32 gotsigs)
{
    fake_gui.calls.push_back("handler");
    fake_gui.handler_sigs.push_back(gotsigs);
    return fake_gui.on_handler(gotsigs);
}

BOOL launch_game() // starting the game is tried end to end, with the real window module
{
    return false;
}

namespace {

namespace pt = platform::testing;
using platform::MemKind;
using platform::SIGBREAKF_CTRL_C;
using Calls = std::vector<std::string>;

const std::string MESSY = "junk before any section\n[A]\nk   =  v\n";
// What is done with the display (I) and the requester class (R).
const std::string oI = "open intuition.library", gI = "get intuition.library",
                  dI = "drop intuition.library", cI = "close intuition.library",
                  oR = "open requester.class", gR = "get requester.class",
                  dR = "drop requester.class", cR = "close requester.class";
const Calls ALL = {oI, gI, oR, gR, dI, cI, dR, cR};
const Calls WINDOW_OPENED = {"preinit", "init", "shut"};

class MainTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        pt::set_program_dir(dir.path().string());
        fake_gui = FakeGui{};
    }
    void TearDown() override { pt::set_program_dir(std::nullopt); }

    // Runs the program on the messy file; returns what it printed on standard output.
    std::string run()
    {
        write_file(dir / "Karthos.prefs", MESSY);
        pt::clear_library_calls();
        log.clear();
        IIntuition = nullptr; // as the program starts: nothing open
        IRequester = nullptr;
        ::testing::internal::CaptureStdout();
        char name[] = "KTLaunch", *argv[] = {name, nullptr};
        EXPECT_EQ(launcher_main(1, argv), 0);
        pt::set_alloc_fault(nullptr);
        return ::testing::internal::GetCapturedStdout();
    }
    std::string prefs() const { return read_file(dir / "Karthos.prefs"); }

    TempDir dir;
    MessageLog log; // offers its requester class before the program looks for one
};

// Interfaces released first; told once, on standard output until the requester is open.
TEST_F(MainTest, EachFailingStepLeavesNoLoopNoSaveAndReleasesWhatItGot)
{
    platform::install_toolkit_libraries();
    const std::string I = "intuition.library", R = "requester.class",
                      NO_INTERFACE = "Unable to obtain the main interface for ";
    platform::RequesterIFace *const requester = IRequester; // the stand-in
    // Too old (missing: end to end, and gui_test's missing class), interface-less; memory; window.
    enum Fault { too_old, no_interface, memory, window };
    const std::tuple<std::string, Fault, Calls, std::string> cases[] = {
        {I, too_old, {oI}, "Unable to open 'intuition.library', version 51+"},
        {I, no_interface, {oI, gI, cI}, NO_INTERFACE + I},
        {R, too_old, {oI, gI, oR, dI, cI}, "Unable to open 'requester.class', version 51+"},
        {R, no_interface, {oI, gI, oR, gR, dI, cI, cR}, NO_INTERFACE + R},
        {"", memory, ALL, "Out of memory"},
        {"", window, ALL, ""}};
    for (const auto &[name, fault, library_calls, told] : cases) {
        SCOPED_TRACE(name + " " + std::to_string(fault));
        fake_gui = FakeGui{.init_result = fault != window};
        if (fault == memory)
            pt::set_alloc_fault([](MemKind kind, std::size_t) { return kind == MemKind::list; });
        if (fault == too_old || fault == no_interface)
            platform::register_library(
                {name, fault == too_old ? 50 : 53, name == I ? platform::display_connect : nullptr,
                 name == I ? platform::display_disconnect : nullptr, nullptr});
        EXPECT_EQ(run(), fault == memory || fault == window ? "" : told);
        EXPECT_EQ(pt::library_calls(), library_calls);
        EXPECT_EQ(log.messages(), fault == memory ? Calls{told} : Calls{});
        EXPECT_EQ(fake_gui.calls, (fault == window ? WINDOW_OPENED : Calls{"preinit", "shut"}));
        EXPECT_EQ(prefs(), MESSY);
        platform::unregister_library(I); // the real display again, and the stand-in requester
        platform::register_library({R, 53, nullptr, nullptr, requester});
        platform::install_toolkit_libraries();
    }
}

TEST_F(MainTest, WindowSignalWithoutEventsWaitsAgainAndABreakWithEventsHandlesThemThenEnds)
{
    fake_gui.on_handler = [](uint32) { // never asks to quit; the second pass has a break too
        if (fake_gui.handler_sigs.size() == 1)
            platform::Signal(SIGBREAKF_CTRL_C | wsig[WID_MAIN]);
        return false;
    };
    run();
    EXPECT_EQ(fake_gui.handler_sigs,
              (std::vector<uint32>{wsig[WID_MAIN], SIGBREAKF_CTRL_C | wsig[WID_MAIN]}));
}

} // namespace
