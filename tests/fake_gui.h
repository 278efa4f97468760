// A stand-in for the window module, driven and watched without a window.
#pragma once

#include "gui.h"

#include <functional>
#include <string>
#include <vector>

struct FakeGui {
    bool init_result = true;
    // Answers gui_handler; by default the window asks to quit.
    std::function<BOOL(uint32 gotsigs)> on_handler = [](uint32) { return true; };

    std::vector<std::string> calls;   // "preinit", "init", "handler", "shut" in order
    std::vector<uint32> handler_sigs; // gotsigs of each gui_handler call
};

extern FakeGui fake_gui;
