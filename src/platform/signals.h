// Signal bits of the main task and the one wait of the program.
//
// Window events and break requests both arrive as bits; Wait() sleeps in the
// toolkit's event loop until one of the asked-for bits is set.
#pragma once

#include "platform/types.h"

namespace platform {

// The break request: Ctrl-C in the terminal, SIGINT, SIGTERM or SIGHUP.
constexpr uint32 SIGBREAKF_CTRL_C = 1u << 12;

// From now on SIGINT, SIGTERM and SIGHUP raise SIGBREAKF_CTRL_C instead of ending
// the process, so that the main loop can end in order.
void install_break_signals();

// Lets the toolkit's event loop take break requests, also while a requester is
// open (it is then cancelled). Called once the display is connected.
void watch_breaks();

// A free signal number for a message port, or -1.
int32 AllocSignal();
void FreeSignal(int32 signum);

// Raises `bits` on the main task.
void Signal(uint32 bits);

// Blocks until at least one bit of `mask` is set, handling the toolkit's events
// meanwhile; returns and clears the bits of `mask` that are set.
uint32 Wait(uint32 mask);

} // namespace platform
