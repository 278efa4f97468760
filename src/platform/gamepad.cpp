#include "platform/gamepad.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <SDL.h>
#include <dlfcn.h>
#include <libudev.h>
#include <map>
#include <optional>
#include <string_view>
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

// Changed only through namespace testing, for virtual pads and a missing SDL. The name
// is made on first use, not by a constructor at start-up.
std::string &library_name()
{
    static std::string name = "libSDL2-2.0.so.0";
    return name;
}
bool pad_assumed = false;

template <class T, T *(*Unref)(T *)> struct Unreffer {
    void operator()(T *object) const { Unref(object); }
};
using Udev = std::unique_ptr<udev, Unreffer<udev, udev_unref>>;
using UdevMonitor = std::unique_ptr<udev_monitor, Unreffer<udev_monitor, udev_monitor_unref>>;
using UdevEnumerate =
    std::unique_ptr<udev_enumerate, Unreffer<udev_enumerate, udev_enumerate_unref>>;
using UdevDevice = std::unique_ptr<udev_device, Unreffer<udev_device, udev_device_unref>>;

// Input devices as udev classes them: whether one is a joystick or a gamepad
// (ID_INPUT_JOYSTICK, by which SDL tells them apart too), and news of those that come.
// The kernel makes such a device for every pad it drives, also for those that SDL then
// reads through hidraw. SDL, and the sound libraries it brings that never unload, are
// loaded only for a player who has a pad.
class PadDevices {
  public:
    PadDevices(QObject *parent, std::function<void()> pad_added) : udev_(udev_new())
    {
        if (udev_)
            monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
        if (!monitor_ ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "input", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_.get()) < 0)
            return;
        notifier_ =
            new QSocketNotifier(udev_monitor_get_fd(monitor_.get()), QSocketNotifier::Read, parent);
        QObject::connect(notifier_, &QSocketNotifier::activated, parent,
                         [this, added = std::move(pad_added)] {
                             const UdevDevice device(udev_monitor_receive_device(monitor_.get()));
                             if (device && is_pad(device.get()))
                                 added();
                         });
    }
    ~PadDevices() { delete notifier_; }
    PadDevices(const PadDevices &) = delete;
    PadDevices &operator=(const PadDevices &) = delete;

    // False where udev cannot be asked (no udev in a container, say).
    bool watching() const { return notifier_ != nullptr; }

    bool any_attached() const
    {
        const UdevEnumerate found(udev_ ? udev_enumerate_new(udev_.get()) : nullptr);
        return found && udev_enumerate_add_match_subsystem(found.get(), "input") >= 0 &&
               udev_enumerate_add_match_property(found.get(), "ID_INPUT_JOYSTICK", "1") >= 0 &&
               udev_enumerate_scan_devices(found.get()) >= 0 &&
               udev_enumerate_get_list_entry(found.get()) != nullptr;
    }

  private:
    static bool is_pad(udev_device *device)
    {
        const char *action = udev_device_get_action(device);
        const char *joystick = udev_device_get_property_value(device, "ID_INPUT_JOYSTICK");
        return action && std::string_view(action) == "add" && joystick &&
               std::string_view(joystick) == "1";
    }

    Udev udev_;
    UdevMonitor monitor_;
    QSocketNotifier *notifier_ = nullptr;
};

// libSDL2, opened once the window shows, and the functions of it that are used. It is
// optional: without it there are no pads. Kept in memory once loaded: SDL may leave
// threads of its own behind.
struct Sdl {
    explicit Sdl(const std::string &name)
        : library(dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE))
    {
    }
    ~Sdl()
    {
        if (library)
            dlclose(library);
    }
    Sdl(const Sdl &) = delete;
    Sdl &operator=(const Sdl &) = delete;

    // Whether the library opened and every function was found.
    bool complete()
    {
        return find("SDL_SetHintWithPriority", set_hint) &&
               find("SDL_InitSubSystem", init_subsystem) &&
               find("SDL_QuitSubSystem", quit_subsystem) && find("SDL_PollEvent", poll_event) &&
               find("SDL_GameControllerOpen", open) && find("SDL_GameControllerClose", close) &&
               find("SDL_GameControllerGetJoystick", joystick) &&
               find("SDL_JoystickInstanceID", instance_id) &&
               find("SDL_GameControllerGetType", type);
    }
    template <class F> bool find(const char *name, F &function) const
    {
        function = library ? reinterpret_cast<F>(dlsym(library, name)) : nullptr;
        return function != nullptr;
    }

    void *library;
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
    std::unique_ptr<Sdl> sdl; // null until a pad's device is attached
    std::unique_ptr<PadDevices> devices;
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
    if (input <= PadInput::Right) // a direction, which repeats while held
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
    auto sdl = std::make_unique<Sdl>(library_name());
    if (!sdl->complete())
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
    State &s = *pads->state_;
    s.devices = std::make_unique<PadDevices>(pads, [pads] {
        // Once out of the notifier's own handler, which goes with the watch.
        QTimer::singleShot(0, pads, [pads] {
            if (!pads->read_pads())
                pads->deleteLater(); // SDL cannot read them: no pads for this run
        });
    });
    // Where udev cannot tell, SDL looks for itself.
    if (!pad_assumed && s.devices->watching() && !s.devices->any_attached())
        return pads;
    if (pads->read_pads())
        return pads;
    delete pads;
    return nullptr;
}

bool Gamepads::read_pads()
{
    State &s = *state_;
    if (s.sdl)
        return true;
    if (!(s.sdl = start_sdl()))
        return false;
    s.devices.reset(); // SDL watches for pads from now on
    s.timer->start(POLL_IDLE);
    poll(Clock::now()); // the pads already there
    return true;
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

void testing::assume_pad_attached(bool assume)
{
    pad_assumed = assume;
}

} // namespace platform
