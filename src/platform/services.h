// The desktop's services that the launcher offers as settings: switcheroo-control,
// which knows the graphics cards and the environment that selects each, and Feral's
// GameMode, which tunes the system while a registered game runs. Both are optional and
// are asked over D-Bus; one that does not answer within 2 s counts as absent.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

struct Gpu {
    std::string name;
    std::vector<std::string> environment; // "NAME=value" entries that select it
    bool is_default = false;
};

// The graphics cards, the default one first; empty without the service.
std::vector<Gpu> list_gpus();

struct ServiceAnswers {
    // The graphics cards as list_gpus gives them, once the service answered.
    void (*gpus)(const std::vector<Gpu> &gpus) = nullptr;
    // GameMode runs, or the bus starts it on demand; may come twice.
    void (*game_mode)() = nullptr;
};

// Asks both services once the window has been painted, without waiting for them: each
// answer reaches its function from the main loop's wait, and none comes for a service
// that is absent or slow.
void AskServicesAfterFirstPaint(Object *window_object, const ServiceAnswers &answers);

enum class GameModeResult { registered, absent, refused };
// Registers the running process `pid` with GameMode, for as long as it runs. `why` gets
// the daemon's reason when it refuses.
GameModeResult register_with_game_mode(pid_t pid, std::string *why);

} // namespace platform
