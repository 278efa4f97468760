// The window by game controller: SDL's virtual pads walk it as a player would.
#include "platform/gamepad.h"
#include "virtual_pad.h"
#include "window_support.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <cmath>

namespace {

using namespace platform;
namespace pt = platform::testing;

constexpr int UP = SDL_CONTROLLER_BUTTON_DPAD_UP, DOWN = SDL_CONTROLLER_BUTTON_DPAD_DOWN,
              RIGHT = SDL_CONTROLLER_BUTTON_DPAD_RIGHT, A = SDL_CONTROLLER_BUTTON_A,
              B = SDL_CONTROLLER_BUTTON_B, START = SDL_CONTROLLER_BUTTON_START,
              STICK_Y = 0x100 + SDL_CONTROLLER_AXIS_LEFTY;

class GamepadTest : public WindowTest {
  protected:
    // For the whole run: SDL starts its controller subsystem once per process.
    static void SetUpTestSuite()
    {
        setenv("SDL_JOYSTICK_DISABLE_UDEV", "1", 1); // no real device in the way
        SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    }
    void SetUp() override
    {
        WindowTest::SetUp();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); // the pads of earlier tests
        pt::assume_pad_attached(true);                  // udev does not list virtual pads
    }
    void TearDown() override
    {
        pt::set_gamepad_library("libSDL2-2.0.so.0");
        pt::assume_pad_attached(false);
        WindowTest::TearDown();
    }

    // The window on `file`, shown, active and painted: the pads it reads (-1: none).
    int open_window(const char *file)
    {
        EXPECT_TRUE(WindowTest::open_window(file));
        EXPECT_TRUE(QTest::qWaitForWindowActive(window()));
        QCoreApplication::processEvents();
        return poll();
    }
    static int poll(int later_ms = 0) { return pt::poll_gamepads(obj[OID_WIN_MAIN], later_ms); }

    // `pad` moves `control` to `value` and back.
    static void tap(VirtualPad &pad, int control, int value = 1)
    {
        for (int now : {value, 0}) pad.set(control, now), poll();
    }
    // The same, the window's events handled, and `in_list` tapped in a mode list that opens.
    static BOOL press(VirtualPad &pad, int control, int value = 1,
                      const std::vector<int> &in_list = {})
    {
        QTimer list;
        QObject::connect(&list, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || QApplication::activeWindow() != dialog)
                return;
            list.stop();
            for (int button : in_list) tap(pad, button);
            if (dialog->isVisible()) // the pad left it open
                dialog->reject();
        });
        list.start(1);
        tap(pad, control, value);
        const BOOL quit = gui_handler(wsig[WID_MAIN]);
        window()->activateWindow(); // as the window manager does
        EXPECT_TRUE(QTest::qWaitForWindowActive(window()));
        return quit;
    }

    static int focus()
    {
        const QWidget *focused = QApplication::focusWidget();
        const QString name = focused ? focused->objectName() : QString();
        return name.startsWith("gadget") ? name.mid(6).toInt() : -1;
    }
    static std::string shown() { return window()->findChild<QLineEdit *>()->text().toStdString(); }
    static std::string hint()
    {
        const auto *label = window()->findChild<QLabel *>("PadHint");
        return label->isVisible() ? label->text().toStdString() : "(hidden)";
    }
};

// Software mode first: the focus starts on Save & Launch, the screen-mode button is off.
TEST_F(GamepadTest, APadWalksTheWholeWindowPicksAModeAndSavesAndLaunches)
{
    VirtualPad pad(0x045e, 0x028e); // an Xbox 360 pad
    ASSERT_EQ(open_window("[Config]\nVideocard = Software\n[Warp3D]\nSize = 1024x768/32:60\n"), 1);
    EXPECT_EQ(hint(), "D-pad: move  A: select  B: back  Start: save & launch  Back: save & quit");
    const std::string soft = "640x480 16Bit", big = "1024x768 32Bit 60.00 Hz",
                      small = "800x600 32Bit 60.00 Hz";
    const struct {
        int control, value;
        std::vector<int> in_list;
        int focus;
        std::string shown;
    } steps[] = {
        {UP, 1, {}, OID_GFX_SHOWFPS, soft},
        {A, 1, {}, OID_GFX_SHOWFPS, soft}, // ticked
        {UP, 1, {}, OID_GFX_WINDOWED, soft},
        {UP, 1, {}, OID_VSYNC, soft},
        {UP, 1, {}, OID_GFX_MODE, soft},
        {RIGHT, 1, {}, OID_GFX_MODE, big}, // to Vexel
        {UP, 1, {}, OID_SCREENSEL, big},
        {A, 1, {DOWN, B}, OID_SCREENSEL, big}, // cancelled
        {A, 1, {DOWN, A}, OID_SCREENSEL, small},
        {STICK_Y, 12000, {}, OID_SCREENSEL, small}, // within the dead zone
        {STICK_Y, 32767, {}, OID_GFX_MODE, small},
        {B, 1, {}, OID_QUIT, small}, // changed: to Quit rather than out
        {B, 1, {}, OID_QUIT, small},
    };
    for (const auto &step : steps) {
        EXPECT_FALSE(press(pad, step.control, step.value, step.in_list));
        EXPECT_EQ(focus(), step.focus);
        EXPECT_EQ(shown(), step.shown);
    }
    // Held, a direction moves once, then again after 400 ms and every 100 ms.
    pad.set(UP, 1);
    for (const auto &[later_ms, focused] : {std::pair{0, OID_SAVE_QUIT},
                                            {350, OID_SAVE_QUIT},
                                            {450, OID_SAVE_LAUNCH},
                                            {600, OID_GFX_SHOWFPS}}) {
        poll(later_ms);
        EXPECT_EQ(focus(), focused) << later_ms;
    }
    pad.set(UP, 0);
    EXPECT_TRUE(press(pad, START));
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Unable to launch Karthos\nKarthosDemo: "
                                                       "No such file or directory"});
    EXPECT_EQ(read_file(prefs()), "[Config]\n\n\tVideocard = Vexel\n\tWindowed = 0\n"
                                  "\tSyncToScreen = 0\n\tShowFPS = 1\n\n[Warp3D]\n\n"
                                  "\tSize = 800x600/32:60.00\n");
}

// Pads come and go; the hint names the last one's buttons, readable; Nintendo's A confirms.
TEST_F(GamepadTest, PadsConnectedMidRunWorkAndTheHintNamesTheirButtons)
{
    ASSERT_EQ(open_window("[Config]\nVideocard = Vexel\n"), 0);
    EXPECT_EQ(hint(), "(hidden)");
    auto ps4 = std::make_unique<VirtualPad>(0x054c, 0x09cc);
    EXPECT_EQ(poll(), 1);
    const std::string ps = "D-pad: move  Cross: select  Circle: back  Options: save & launch  "
                           "Share: save & quit",
                      nintendo =
                          "D-pad: move  A: select  B: back  +: save & launch  \u2212: save & quit";
    EXPECT_EQ(hint(), ps);
    // Its contrast on the window, as WCAG 2 reckons it (its alpha blended in): at least 4.5.
    const auto *label = window()->findChild<QLabel *>("PadHint");
    for (const QPalette &palette :
         {QPalette(), QPalette(QColor(0x35, 0x35, 0x35), QColor(0x2b, 0x2b, 0x2b))}) {
        window()->setPalette(palette);
        const QColor fg = label->palette().color(label->foregroundRole()),
                     bg = label->palette().color(QPalette::Window);
        const auto luminance = [&](double a) {
            return 0.05 + 0.2126 * std::pow(fg.redF() * a + bg.redF() * (1 - a), 2.2) +
                   0.7152 * std::pow(fg.greenF() * a + bg.greenF() * (1 - a), 2.2) +
                   0.0722 * std::pow(fg.blueF() * a + bg.blueF() * (1 - a), 2.2);
        };
        const double text = luminance(fg.alphaF()), ground = luminance(0);
        EXPECT_GE(std::max(text, ground) / std::min(text, ground), 4.5);
    }
    auto switch_pro = std::make_unique<VirtualPad>(0x057e, 0x2009);
    EXPECT_EQ(poll(), 2);
    EXPECT_EQ(hint(), nintendo);
    EXPECT_FALSE(press(*ps4, DOWN));
    EXPECT_EQ(hint(), ps);
    EXPECT_EQ(focus(), OID_SAVE_QUIT);
    ps4.reset();
    EXPECT_EQ(poll(), 1);
    EXPECT_EQ(hint(), nintendo);
    EXPECT_TRUE(press(*switch_pro, A)); // the south button, B on it: nothing changed, so out
    EXPECT_TRUE(press(*switch_pro, B)); // the east button, A on it: presses Save & Quit
    EXPECT_EQ(read_back(), "[Config]\n\n\tVideocard = Vexel\n\tWindowed = 0\n"
                           "\tSyncToScreen = 0\n\tShowFPS = 0\n\n[Warp3D]\n\n"
                           "\tSize = 640x480/16\n");
    switch_pro.reset();
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(hint(), "(hidden)");
}

// No SDL, a library that is not SDL, or no pad's device listed by udev (SDL is not started).
TEST_F(GamepadTest, WithoutAPadsDeviceOrSdlTheWindowWorksAndPadsAreIgnored)
{
    VirtualPad pad(0x045e, 0x028e);
    for (const char *library : {"libKTLaunch-missing.so.0", "libc.so.6", ""}) {
        SCOPED_TRACE(library);
        if (!*library && fs::exists("/dev/input/js0"))
            continue; // this machine has a joystick
        pt::set_gamepad_library(*library ? library : "libSDL2-2.0.so.0");
        pt::assume_pad_attached(*library);
        ASSERT_EQ(open_window("[Config]\nVideocard = Vexel\n"), -1);
        EXPECT_EQ(hint(), "(hidden)");
        EXPECT_FALSE(press(pad, DOWN));
        EXPECT_EQ(focus(), OID_SAVE_LAUNCH);
    }
}

} // namespace
