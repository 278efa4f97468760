// Game controllers as the keyboard. SDL2's game-controller API, loaded once the window
// shows and a pad's device is attached, is read on a timer (SDL itself then watches for
// pads that come and go); each press reaches the widget that has the keyboard's focus
// as the key that does the same there, so that every keyboard path of the window, its
// pop-up lists and its dialogs serves the pad as well.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QAbstractButton;
class QWidget;

namespace platform {

// What is printed on the buttons of a pad's family that confirm and go back (A and B on
// an Xbox pad, Cross and Circle on a PlayStation one, A and B on a Nintendo one, where
// they sit the other way round), and on its Start and Back (Select) buttons.
struct PadGlyphs {
    const char *confirm, *cancel, *start, *back;
};

struct PadTarget {
    QWidget *window = nullptr;        // the main window: up and down step through it in Tab order
    QAbstractButton *start = nullptr; // what Start presses in the main window; may be null
    QAbstractButton *back = nullptr;  // what Back (Select) presses there; may be null
    // Where B takes the focus in the main window while `edited` says the window's values
    // differ from those it opened with (B then never ends the launcher); may be null.
    QAbstractButton *quit = nullptr;
    std::function<bool()> edited;
    // A pad came or went: the glyphs of the pad in use, or null once none is left.
    std::function<void(const PadGlyphs *)> changed;
};

class Gamepads : public QObject {
  public:
    using Clock = std::chrono::steady_clock;

    // Starts reading the pads for target.window, as a child of it; null, silently, when
    // SDL2 cannot be loaded or its controller subsystem does not start. While udev lists
    // no pad's device, it only waits for udev to announce one, and SDL is not loaded.
    static Gamepads *start(PadTarget target);
    ~Gamepads() override;
    Gamepads(const Gamepads &) = delete;
    Gamepads &operator=(const Gamepads &) = delete;

    // Handles what the pads did since the last call and repeats a direction held, as
    // at `now`; the number of pads connected, or -1 while SDL is not loaded.
    int poll(Clock::time_point now);

  private:
    bool read_pads(); // loads SDL and reads the pads from now on
    struct State;
    explicit Gamepads(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

namespace testing {
// The library the pads are read through from now on; libSDL2's by default.
void set_gamepad_library(const std::string &name);
// Whether SDL is started at once, as if udev listed a pad's device (for virtual pads).
void assume_pad_attached(bool assume);
} // namespace testing

} // namespace platform
