// Start-up, the main loop and shut-down, with the window module replaced by a fake
// and the real libraries on Qt's offscreen display.
#include "fake_gui.h"
#include "platform/library.h"
#include "platform/signals.h"
#include "test_support.h"

#include <csignal>

int launcher_main(); // the program's entry point, renamed for this test

namespace {

using platform::SIGBREAKF_CTRL_C;
using platform::testing::LibraryFault;

const std::string MESSY = "junk before any section\n[A]\nk   =  v\n";
const std::string NORMALISED = "[A]\n\n\tk = v\n";

const std::vector<std::string> ALL_LIBRARY_CALLS = {
    "open intuition.library", "get intuition.library",  "open requester.class",
    "get requester.class",    "drop intuition.library", "close intuition.library",
    "drop requester.class",   "close requester.class"};

class MainTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        platform::testing::set_program_dir(dir.path().string());
        write_file(dir / "Karthos.prefs", MESSY);
        fake_gui = FakeGui{};
        platform::testing::clear_library_faults();
        platform::testing::clear_library_calls();
        platform::testing::set_requester_hook([this](std::string_view, std::string_view body) {
            messages.emplace_back(body);
            return true;
        });
    }
    void TearDown() override
    {
        platform::testing::set_requester_hook(nullptr);
        platform::testing::set_alloc_fault(nullptr);
        platform::testing::clear_library_faults();
        platform::testing::set_program_dir(std::nullopt);
    }

    // Runs the program; returns what it printed on standard output.
    std::string run()
    {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(launcher_main(), 0);
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
    EXPECT_EQ(fake_gui.calls, (std::vector<std::string>{"preinit", "init", "handler", "shut"}));
    EXPECT_EQ(platform::testing::library_calls(), ALL_LIBRARY_CALLS);
    EXPECT_EQ(prefs(), NORMALISED);
    EXPECT_TRUE(messages.empty());
}

struct InitFailure {
    const char *name;
    std::function<void()> inject;
    std::vector<std::string> library_calls;
    std::string printed;
    std::vector<std::string> shown;
    std::vector<std::string> gui_calls;
};

class InitFailureTest : public MainTest, public ::testing::WithParamInterface<InitFailure> {};

// Whatever step fails: no loop, no save, everything obtained released exactly once,
// interfaces before their libraries, and the failure told once.
TEST_P(InitFailureTest, LeavesNoLoopNoSaveAndReleasesWhatItGot)
{
    const InitFailure &failure = GetParam();
    fake_gui.on_handler = [](uint32) -> BOOL {
        ADD_FAILURE() << "the loop ran";
        return true;
    };
    failure.inject();
    EXPECT_EQ(run(), failure.printed);
    EXPECT_EQ(platform::testing::library_calls(), failure.library_calls);
    EXPECT_EQ(messages, failure.shown);
    EXPECT_EQ(fake_gui.calls, failure.gui_calls);
    EXPECT_EQ(prefs(), MESSY);
}

const std::vector<std::string> NO_WINDOW = {"preinit", "shut"};
const std::vector<std::string> WINDOW_FAILED = {"preinit", "init", "shut"};

INSTANTIATE_TEST_SUITE_P(
    EachStep, InitFailureTest,
    ::testing::Values(
        InitFailure{"IntuitionMissing",
                    [] {
                        platform::testing::set_library_fault("intuition.library",
                                                             LibraryFault::missing);
                    },
                    {"open intuition.library"},
                    "Unable to open 'intuition.library', version 51+",
                    {},
                    NO_WINDOW},
        InitFailure{"IntuitionTooOld",
                    [] {
                        platform::testing::set_library_fault("intuition.library",
                                                             LibraryFault::too_old);
                    },
                    {"open intuition.library"},
                    "Unable to open 'intuition.library', version 51+",
                    {},
                    NO_WINDOW},
        InitFailure{"IntuitionWithoutInterface",
                    [] {
                        platform::testing::set_library_fault("intuition.library",
                                                             LibraryFault::no_interface);
                    },
                    {"open intuition.library", "get intuition.library", "close intuition.library"},
                    "Unable to obtain the main interface for intuition.library",
                    {},
                    NO_WINDOW},
        InitFailure{
            "RequesterMissing",
            [] { platform::testing::set_library_fault("requester.class", LibraryFault::missing); },
            {"open intuition.library", "get intuition.library", "open requester.class",
             "drop intuition.library", "close intuition.library"},
            "Unable to open 'requester.class', version 51+",
            {},
            NO_WINDOW},
        InitFailure{
            "RequesterTooOld",
            [] { platform::testing::set_library_fault("requester.class", LibraryFault::too_old); },
            {"open intuition.library", "get intuition.library", "open requester.class",
             "drop intuition.library", "close intuition.library"},
            "Unable to open 'requester.class', version 51+",
            {},
            NO_WINDOW},
        InitFailure{"RequesterWithoutInterface",
                    [] {
                        platform::testing::set_library_fault("requester.class",
                                                             LibraryFault::no_interface);
                    },
                    {"open intuition.library", "get intuition.library", "open requester.class",
                     "get requester.class", "drop intuition.library", "close intuition.library",
                     "close requester.class"},
                    "Unable to obtain the main interface for requester.class",
                    {},
                    NO_WINDOW},
        InitFailure{"NoMemoryForTheStore",
                    [] {
                        platform::testing::set_alloc_fault([](platform::MemKind kind, std::size_t) {
                            return kind == platform::MemKind::list;
                        });
                    },
                    ALL_LIBRARY_CALLS,
                    "",
                    {"Out of memory"},
                    NO_WINDOW},
        InitFailure{"WindowFails",
                    [] { fake_gui.init_result = false; },
                    ALL_LIBRARY_CALLS,
                    "",
                    {},
                    WINDOW_FAILED}),
    [](const auto &test) { return std::string(test.param.name); });

TEST_F(MainTest, BreakAloneEndsTheLoopAndSaves)
{
    fake_gui.on_init = [] { platform::Signal(SIGBREAKF_CTRL_C); };
    run();
    EXPECT_EQ(fake_gui.calls, (std::vector<std::string>{"preinit", "init", "shut"}));
    EXPECT_EQ(prefs(), NORMALISED);
}

TEST_F(MainTest, BreakWithWindowEventsHandlesThemThenEnds)
{
    fake_gui.on_init = [] { platform::Signal(SIGBREAKF_CTRL_C | fake_gui.window_bit); };
    fake_gui.on_handler = [](uint32) { return false; }; // the window does not ask to quit
    run();
    EXPECT_EQ(fake_gui.handler_sigs, std::vector<uint32>{SIGBREAKF_CTRL_C | fake_gui.window_bit});
    EXPECT_EQ(prefs(), NORMALISED);
}

TEST_F(MainTest, WindowSignalWithoutEventsWaitsAgain)
{
    fake_gui.on_init = [] { platform::Signal(fake_gui.window_bit); };
    fake_gui.on_handler = [](uint32) {
        if (fake_gui.handler_sigs.size() == 1) { // nothing was pending: keep going
            platform::Signal(fake_gui.window_bit);
            return false;
        }
        return true;
    };
    run();
    EXPECT_EQ(fake_gui.handler_sigs.size(), 2u);
    EXPECT_EQ(prefs(), NORMALISED);
}

class BreakSignalTest : public MainTest, public ::testing::WithParamInterface<int> {};

TEST_P(BreakSignalTest, EndsTheLoopWithTheSave)
{
    static int sig;
    sig = GetParam();
    fake_gui.on_init = [] { std::raise(sig); };
    fake_gui.on_handler = [](uint32) -> BOOL {
        ADD_FAILURE() << "no window event was sent";
        return true;
    };
    run();
    EXPECT_EQ(fake_gui.calls, (std::vector<std::string>{"preinit", "init", "shut"}));
    EXPECT_EQ(prefs(), NORMALISED);
}

INSTANTIATE_TEST_SUITE_P(IntTermHup, BreakSignalTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

} // namespace
