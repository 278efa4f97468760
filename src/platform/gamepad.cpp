#include "platform/gamepad.h"

#include "platform/dynlib.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <SDL.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sys/inotify.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

using Clock = Gamepads::Clock;
using std::chrono::milliseconds;

constexpr milliseconds REPEAT_DELAY{400}, REPEAT_INTERVAL{100};
// SDL needs polling, for hot-plug too: often while a pad is there, seldom otherwise.
constexpr milliseconds POLL_CONNECTED{16}, POLL_IDLE{250};
// Half a tilt: a resting or brushed stick moves nothing.
constexpr Sint16 STICK_DEAD_ZONE = 16384;

std::string &library_name()
{
    static std::string name = "libSDL2-2.0.so.0";
    return name;
}

// Where the kernel lists the input devices, and where their nodes appear.
struct DeviceDirs {
    std::string sys = "/sys/class/input", dev = "/dev/input";
};
DeviceDirs &device_dirs()
{
    static DeviceDirs dirs;
    return dirs;
}

// Whether an attached input device has a joystick's or a gamepad's buttons (the key
// codes from BTN_JOYSTICK to BTN_THUMBR, by which SDL tells them apart too). Read from
// sysfs, which needs no access to the devices: SDL, and the sound libraries it brings
// that never unload, are loaded only for a player who has a pad.
bool pad_device_attached()
{
    constexpr unsigned FIRST = 0x120, LAST = 0x13e, WORD_BITS = sizeof(long) * 8;
    std::error_code ec; // a device that goes while it is read ends the walk, not the program
    for (std::filesystem::directory_iterator device(device_dirs().sys, ec), end;
         !ec && device != end; device.increment(ec)) {
        // The kernel's longs in hexadecimal, the highest first.
        std::ifstream caps(device->path() / "capabilities" / "key");
        std::vector<unsigned long> words;
        for (std::string word; words.size() < 64 && caps >> word;)
            words.push_back(std::strtoul(word.c_str(), nullptr, 16));
        for (unsigned code = FIRST; code <= LAST; ++code)
            if (code / WORD_BITS < words.size() &&
                (words[words.size() - 1 - code / WORD_BITS] >> (code % WORD_BITS) & 1))
                return true;
    }
    return false;
}

// Wakes the loop when a device node comes or changes (inotify on the device directory),
// for as long as it lives: no timer runs while no pad is there.
class DeviceWatch {
  public:
    DeviceWatch(QObject *parent, std::function<void()> changed)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (fd_ < 0 || inotify_add_watch(fd_, device_dirs().dev.c_str(),
                                         IN_CREATE | IN_ATTRIB | IN_MOVED_TO) < 0)
            return;
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, parent);
        QObject::connect(notifier_, &QSocketNotifier::activated, parent,
                         [this, changed = std::move(changed)] {
                             char events[4096];
                             while (read(fd_, events, sizeof events) > 0) {
                             }
                             changed();
                         });
    }
    ~DeviceWatch()
    {
        delete notifier_;
        if (fd_ >= 0)
            close(fd_);
    }
    DeviceWatch(const DeviceWatch &) = delete;
    DeviceWatch &operator=(const DeviceWatch &) = delete;

    bool watching() const { return notifier_ != nullptr; }

  private:
    int fd_;
    QSocketNotifier *notifier_ = nullptr;
};

// libSDL2, opened when the pads are first looked for; the functions of it that are used.
// Kept in memory once loaded: SDL may leave threads of its own behind.
struct Sdl {
    explicit Sdl(const std::string &name)
        : library(name.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE)
    {
    }
    // Whether every function was found.
    bool complete()
    {
        return library.find("SDL_SetHintWithPriority", set_hint) &&
               library.find("SDL_InitSubSystem", init_subsystem) &&
               library.find("SDL_QuitSubSystem", quit_subsystem) &&
               library.find("SDL_PollEvent", poll_event) &&
               library.find("SDL_GameControllerOpen", open) &&
               library.find("SDL_GameControllerClose", close) &&
               library.find("SDL_GameControllerGetJoystick", joystick) &&
               library.find("SDL_JoystickInstanceID", instance_id) &&
               library.find("SDL_GameControllerGetType", type);
    }

    DynamicLibrary library;
    decltype(&SDL_SetHintWithPriority) set_hint = nullptr;
    decltype(&SDL_InitSubSystem) init_subsystem = nullptr;
    decltype(&SDL_QuitSubSystem) quit_subsystem = nullptr;
    decltype(&SDL_PollEvent) poll_event = nullptr;
    decltype(&SDL_GameControllerOpen) open = nullptr;
    decltype(&SDL_GameControllerClose) close = nullptr;
    decltype(&SDL_GameControllerGetJoystick) joystick = nullptr;
    decltype(&SDL_JoystickInstanceID) instance_id = nullptr;
    decltype(&SDL_GameControllerGetType) type = nullptr;
};

std::unique_ptr<Sdl> load_sdl(const std::string &name)
{
    auto sdl = std::make_unique<Sdl>(name);
    return sdl->complete() ? std::move(sdl) : nullptr;
}

// A family of pads: the names on its buttons, and whether its confirm button is the east
// one (Nintendo's, whose players expect A, on the east, to confirm and B to go back).
struct PadFamily {
    PadGlyphs glyphs;
    bool east_confirms = false;
};

const PadFamily &family_of(SDL_GameControllerType type)
{
    // Pads since the Xbox One, and handhelds, show Menu as ☰ and View as ⧉.
    static const PadFamily xbox360{{"A", "B", "Start", "Back"}},
        xbox{{"A", "B", "\u2630", "\u29c9"}}, ps3{{"Cross", "Circle", "Start", "Select"}},
        ps4{{"Cross", "Circle", "Options", "Share"}}, ps5{{"Cross", "Circle", "Options", "Create"}},
        nintendo{{"A", "B", "+", "\u2212"}, true};
    switch (type) {
    case SDL_CONTROLLER_TYPE_XBOX360:
        return xbox360;
    case SDL_CONTROLLER_TYPE_PS3:
        return ps3;
    case SDL_CONTROLLER_TYPE_PS4:
        return ps4;
    case SDL_CONTROLLER_TYPE_PS5:
        return ps5;
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_PRO:
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_LEFT:
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_RIGHT:
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_PAIR:
        return nintendo;
    default:
        return xbox;
    }
}

enum class PadInput { Up, Down, Left, Right, Accept, Cancel, Start, Back };

// Where the keyboard's keys go now: into the open pop-up list, else to the focus of the
// modal dialog or of the active window. Null while another program is in front.
QWidget *key_receiver()
{
    QWidget *top = QApplication::activePopupWidget();
    if (!top && QApplication::activeWindow())
        top = QApplication::activeModalWidget();
    if (!top)
        top = QApplication::activeWindow();
    if (!top)
        return nullptr;
    return top->focusWidget() ? top->focusWidget() : top;
}

void send_key(QWidget *receiver, int key)
{
    const QPointer<QWidget> to(receiver);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    if (to) // a key can close its dialog
        QCoreApplication::sendEvent(to, &release);
}

void click(QAbstractButton *button)
{
    if (button && button->isEnabled())
        button->click();
}

// The key that does in the focused widget what the pad's input means. In the main
// window up and down step through the controls (Tab, Backtab) and A presses or ticks
// (Space); in the lists and dialogs they move and pick (arrows, Return). Left and right
// change a chooser's value.
void act(const PadTarget &target, PadInput input)
{
    QWidget *receiver = key_receiver();
    if (!receiver)
        return;
    // As after a key: the focus ring shows from the first press on.
    receiver->window()->setAttribute(Qt::WA_KeyboardFocusChange);
    receiver->update();
    const bool popup = QApplication::activePopupWidget() != nullptr;
    const bool main = !popup && receiver->window() == target.window;
    const bool chooser = !popup && qobject_cast<QComboBox *>(receiver);
    switch (input) {
    case PadInput::Up:
        return send_key(receiver, main ? Qt::Key_Backtab : Qt::Key_Up);
    case PadInput::Down:
        return send_key(receiver, main ? Qt::Key_Tab : Qt::Key_Down);
    case PadInput::Left:
        return send_key(receiver, chooser ? Qt::Key_Up : Qt::Key_Left);
    case PadInput::Right:
        return send_key(receiver, chooser ? Qt::Key_Down : Qt::Key_Right);
    case PadInput::Accept:
        return send_key(receiver, main ? Qt::Key_Space : Qt::Key_Return);
    case PadInput::Cancel:
        // Closes a list or a message; at the window, it ends the launcher only when
        // nothing would be lost, else it leads to Quit.
        if (main && target.quit && target.edited && target.edited())
            return target.quit->setFocus(Qt::TabFocusReason);
        return send_key(receiver, Qt::Key_Escape);
    case PadInput::Start:
        return main ? click(target.start) : void();
    case PadInput::Back:
        return main ? click(target.back) : void();
    }
}

std::optional<PadInput> input_of_button(Uint8 button, const PadFamily &family)
{
    switch (button) {
    case SDL_CONTROLLER_BUTTON_DPAD_UP:
        return PadInput::Up;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
        return PadInput::Down;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
        return PadInput::Left;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
        return PadInput::Right;
    case SDL_CONTROLLER_BUTTON_A: // the south button
        return family.east_confirms ? PadInput::Cancel : PadInput::Accept;
    case SDL_CONTROLLER_BUTTON_B: // the east button
        return family.east_confirms ? PadInput::Accept : PadInput::Cancel;
    case SDL_CONTROLLER_BUTTON_START:
        return PadInput::Start;
    case SDL_CONTROLLER_BUTTON_BACK:
        return PadInput::Back;
    default:
        return std::nullopt;
    }
}

bool is_direction(PadInput input)
{
    return input <= PadInput::Right;
}

struct Pad {
    SDL_GameController *controller;
    SDL_GameControllerType type;
    int stick[2] = {0, 0}; // the left stick's direction on x and y: -1, 0 or 1
};

// A direction held, by a button of the D-pad or by the stick's axis (AXIS_SOURCE + axis).
struct Held {
    SDL_JoystickID pad;
    int source;
    PadInput input;
    Clock::time_point next;
};
constexpr int AXIS_SOURCE = 0x100;

} // namespace

struct Gamepads::State {
    std::unique_ptr<Sdl> sdl; // null until a pad may be there
    std::unique_ptr<DeviceWatch> watch;
    PadTarget target;
    std::map<SDL_JoystickID, Pad> pads;
    std::optional<SDL_JoystickID> in_use; // whose glyphs the hint shows
    std::optional<Held> held;
    QTimer *timer = nullptr;
    bool polling = false; // a key whose handler runs an event loop must not poll again

    void handle(const SDL_Event &event, Clock::time_point now);
    void add(int device_index);
    void remove(SDL_JoystickID id);
    void use(std::optional<SDL_JoystickID> id);
    void button(SDL_JoystickID id, Uint8 button, bool down, Clock::time_point now);
    void axis(SDL_JoystickID id, Uint8 axis, Sint16 value, Clock::time_point now);
    void press(SDL_JoystickID id, int source, PadInput input, Clock::time_point now);
    void release(SDL_JoystickID id, int source);
};

void Gamepads::State::handle(const SDL_Event &event, Clock::time_point now)
{
    switch (event.type) {
    case SDL_CONTROLLERDEVICEADDED:
        return add(event.cdevice.which);
    case SDL_CONTROLLERDEVICEREMOVED:
        return remove(event.cdevice.which);
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        return button(event.cbutton.which, event.cbutton.button,
                      event.type == SDL_CONTROLLERBUTTONDOWN, now);
    case SDL_CONTROLLERAXISMOTION:
        return axis(event.caxis.which, event.caxis.axis, event.caxis.value, now);
    default:
        return;
    }
}

void Gamepads::State::add(int device_index)
{
    SDL_GameController *controller = sdl->open(device_index);
    if (!controller)
        return;
    const SDL_JoystickID id = sdl->instance_id(sdl->joystick(controller));
    if (pads.count(id)) { // announced twice: at start-up and as it came
        sdl->close(controller);
        return;
    }
    pads.emplace(id, Pad{controller, sdl->type(controller)});
    use(id);
}

void Gamepads::State::remove(SDL_JoystickID id)
{
    const auto pad = pads.find(id);
    if (pad == pads.end())
        return;
    sdl->close(pad->second.controller);
    pads.erase(pad);
    if (held && held->pad == id)
        held.reset();
    if (in_use == id)
        use(pads.empty() ? std::nullopt : std::optional(pads.begin()->first));
}

void Gamepads::State::use(std::optional<SDL_JoystickID> id)
{
    in_use = id;
    if (target.changed)
        target.changed(id ? &family_of(pads.at(*id).type).glyphs : nullptr);
}

void Gamepads::State::button(SDL_JoystickID id, Uint8 button, bool down, Clock::time_point now)
{
    const auto pad = pads.find(id);
    if (pad == pads.end())
        return;
    const std::optional<PadInput> input = input_of_button(button, family_of(pad->second.type));
    if (!input)
        return;
    if (!down)
        return release(id, button);
    if (in_use != id)
        use(id);
    press(id, button, *input, now);
}

void Gamepads::State::axis(SDL_JoystickID id, Uint8 axis, Sint16 value, Clock::time_point now)
{
    const auto pad = pads.find(id);
    if (pad == pads.end() ||
        (axis != SDL_CONTROLLER_AXIS_LEFTX && axis != SDL_CONTROLLER_AXIS_LEFTY))
        return;
    const int direction = value <= -STICK_DEAD_ZONE ? -1 : value >= STICK_DEAD_ZONE ? 1 : 0;
    int &was = pad->second.stick[axis];
    if (direction == was)
        return;
    was = direction;
    release(id, AXIS_SOURCE + axis);
    if (direction == 0)
        return;
    const bool x = axis == SDL_CONTROLLER_AXIS_LEFTX;
    const PadInput input = x ? (direction < 0 ? PadInput::Left : PadInput::Right)
                             : (direction < 0 ? PadInput::Up : PadInput::Down);
    press(id, AXIS_SOURCE + axis, input, now);
}

void Gamepads::State::press(SDL_JoystickID id, int source, PadInput input, Clock::time_point now)
{
    if (is_direction(input))
        held = Held{id, source, input, now + REPEAT_DELAY};
    act(target, input);
}

void Gamepads::State::release(SDL_JoystickID id, int source)
{
    if (held && held->pad == id && held->source == source)
        held.reset();
}

namespace {

// SDL with its controller subsystem started, or null.
std::unique_ptr<Sdl> start_sdl()
{
    std::unique_ptr<Sdl> sdl = load_sdl(library_name());
    if (!sdl)
        return nullptr;
    // Breaks are the launcher's to handle; and A is the south button on every pad, as
    // the pad's family takes it.
    sdl->set_hint(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
    sdl->set_hint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0", SDL_HINT_OVERRIDE);
    if (sdl->init_subsystem(SDL_INIT_GAMECONTROLLER) != 0)
        return nullptr;
    return sdl;
}

} // namespace

Gamepads *Gamepads::start(PadTarget target)
{
    auto state = std::make_unique<State>();
    state->target = std::move(target);
    auto *pads = new Gamepads(std::move(state));
    if (pad_device_attached() ? pads->read_pads() : pads->wait_for_device())
        return pads;
    delete pads;
    return nullptr;
}

bool Gamepads::read_pads()
{
    if (state_->sdl)
        return true;
    state_->watch.reset();
    if (!(state_->sdl = start_sdl()))
        return false;
    state_->timer->start(POLL_IDLE);
    poll(Clock::now()); // the pads already there
    return true;
}

bool Gamepads::wait_for_device()
{
    state_->watch = std::make_unique<DeviceWatch>(this, [this] {
        if (pad_device_attached()) // once out of the watch's own handler, which goes
            QTimer::singleShot(0, this, [this] {
                if (!read_pads())
                    deleteLater(); // SDL cannot read them: no pads for this run
            });
    });
    return state_->watch->watching();
}

Gamepads::Gamepads(std::unique_ptr<State> state)
    : QObject(state->target.window), state_(std::move(state))
{
    state_->timer = new QTimer(this);
    connect(state_->timer, &QTimer::timeout, this, [this] { poll(Clock::now()); });
}

Gamepads::~Gamepads()
{
    if (!state_->sdl)
        return;
    for (const auto &[id, pad] : state_->pads) state_->sdl->close(pad.controller);
    state_->sdl->quit_subsystem(SDL_INIT_GAMECONTROLLER);
}

int Gamepads::poll(Clock::time_point now)
{
    State &s = *state_;
    if (!s.sdl)
        return -1;
    if (s.polling)
        return static_cast<int>(s.pads.size());
    s.polling = true;
    for (SDL_Event event; s.sdl->poll_event(&event);) s.handle(event, now);
    if (s.held && now >= s.held->next) {
        s.held->next = now + REPEAT_INTERVAL;
        act(s.target, s.held->input);
    }
    s.polling = false;
    const milliseconds interval = s.pads.empty() ? POLL_IDLE : POLL_CONNECTED;
    if (s.timer->intervalAsDuration() != interval)
        s.timer->setInterval(interval);
    return static_cast<int>(s.pads.size());
}

void testing::set_gamepad_library(const std::string &name)
{
    library_name() = name;
}

void testing::set_input_device_dirs(const std::string &sys, const std::string &dev)
{
    device_dirs() = {sys, dev};
}

} // namespace platform
