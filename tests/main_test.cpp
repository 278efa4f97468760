// Start-up, the main loop and shut-down, with the window module replaced by a fake
// and the real libraries on Qt's offscreen display.
#include "fake_gui.h"
#include "platform/signals.h"
#include "test_support.h"

#include <csignal>

int launcher_main(); // the program's entry point, renamed for this test

namespace {

namespace pt = platform::testing;
using platform::MemKind;
using platform::SIGBREAKF_CTRL_C;
using Calls = std::vector<std::string>;

const std::string MESSY = "junk before any section\n[A]\nk   =  v\n", SAVED = "[A]\n\n\tk = v\n";
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
        pt::set_requester_hook([this](std::string_view, std::string_view body) {
            messages.emplace_back(body);
            return true;
        });
        fake_gui = FakeGui{};
    }
    void TearDown() override
    {
        pt::set_requester_hook(nullptr);
        pt::set_program_dir(std::nullopt);
    }

    // Runs the program on the messy file, with any faults injected for this run only;
    // returns what it printed on standard output.
    std::string run()
    {
        write_file(dir / "Karthos.prefs", MESSY);
        pt::clear_library_calls();
        messages.clear();
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(launcher_main(), 0);
        pt::clear_library_faults();
        pt::set_alloc_fault(nullptr);
        return ::testing::internal::GetCapturedStdout();
    }
    std::string prefs() const { return read_file(dir / "Karthos.prefs"); }

    TempDir dir;
    std::vector<std::string> messages;
};

TEST_F(MainTest, RunsInOrderAndSavesWhenTheWindowAsksToQuit)
{
    fake_gui.on_init = [] { platform::Signal(fake_gui.window_bit); };
    EXPECT_EQ(run(), "");
    EXPECT_EQ(fake_gui.calls, (Calls{"preinit", "init", "handler", "shut"}));
    EXPECT_EQ(pt::library_calls(), ALL);
    EXPECT_EQ(prefs(), SAVED);
    EXPECT_TRUE(messages.empty());
}

// Whatever step fails: no loop, no save, what was obtained released once, interfaces first,
// and the failure told once (on standard output until the requester is open).
TEST_F(MainTest, EachFailingStepLeavesNoLoopNoSaveAndReleasesWhatItGot)
{
    using enum pt::LibraryFault;
    const std::string I = "intuition.library", R = "requester.class",
                      NO_I = "Unable to open 'intuition.library', version 51+",
                      NO_R = "Unable to open 'requester.class', version 51+",
                      NO_INTERFACE = "Unable to obtain the main interface for ";
    const std::tuple<std::string, pt::LibraryFault, Calls, std::string> cases[] = {
        {I, missing, {oI}, NO_I},
        {I, too_old, {oI}, NO_I},
        {I, no_interface, {oI, gI, cI}, NO_INTERFACE + I},
        {R, missing, {oI, gI, oR, dI, cI}, NO_R},
        {R, too_old, {oI, gI, oR, dI, cI}, NO_R},
        {R, no_interface, {oI, gI, oR, gR, dI, cI, cR}, NO_INTERFACE + R},
        {"memory", {}, ALL, "Out of memory"},
        {"window", {}, ALL, ""}};
    for (const auto &[at, fault, library_calls, told] : cases) {
        SCOPED_TRACE(at + " " + std::to_string(static_cast<int>(fault)));
        fake_gui = FakeGui{.init_result = at != "window"};
        if (at == "memory")
            pt::set_alloc_fault([](MemKind kind, std::size_t) { return kind == MemKind::list; });
        else if (at != "window")
            pt::set_library_fault(at, fault);
        EXPECT_EQ(run(), at == "memory" ? "" : told);
        EXPECT_EQ(pt::library_calls(), library_calls);
        EXPECT_EQ(messages, at == "memory" ? Calls{told} : Calls{});
        EXPECT_EQ(fake_gui.calls, (at == "window" ? WINDOW_OPENED : Calls{"preinit", "shut"}));
        EXPECT_EQ(prefs(), MESSY);
    }
}

TEST_F(MainTest, BreakAloneOrFromSigintSigtermOrSighupEndsTheLoopWithTheSave)
{
    for (int sig : {0, SIGINT, SIGTERM, SIGHUP}) { // 0: the break request alone
        fake_gui = FakeGui{.on_init = [sig] {
            sig ? static_cast<void>(std::raise(sig)) : platform::Signal(SIGBREAKF_CTRL_C);
        }};
        run();
        EXPECT_EQ(fake_gui.calls, WINDOW_OPENED) << sig;
        EXPECT_EQ(prefs(), SAVED) << sig;
    }
}

TEST_F(MainTest, WindowSignalWithoutEventsWaitsAgainAndABreakWithEventsHandlesThemThenEnds)
{
    fake_gui.on_init = [] { platform::Signal(fake_gui.window_bit); };
    fake_gui.on_handler = [](uint32) { // never asks to quit; the second pass has a break too
        if (fake_gui.handler_sigs.size() == 1)
            platform::Signal(SIGBREAKF_CTRL_C | fake_gui.window_bit);
        return false;
    };
    run();
    EXPECT_EQ(fake_gui.handler_sigs,
              (std::vector<uint32>{fake_gui.window_bit, SIGBREAKF_CTRL_C | fake_gui.window_bit}));
    EXPECT_EQ(prefs(), SAVED);
}

} // namespace
