// Signal bits of the main task and the one wait of the program.
//
// Window events and break requests both arrive as bits; Wait() sleeps, in the
// display's event pump while one is open, until one of the asked-for bits is set.
#pragma once

#include "platform/types.h"

namespace platform {

// The break request: Ctrl-C in the terminal, SIGINT, SIGTERM or SIGHUP.
constexpr uint32 SIGBREAKF_CTRL_C = 1u << 12;

// From now on SIGINT, SIGTERM and SIGHUP raise SIGBREAKF_CTRL_C instead of ending
// the process, so that the main loop can end in order.
void install_break_signals();

// The read end of the pipe that a break request writes to, for an event loop to
// watch; -1 before install_break_signals.
int break_request_fd();
// Takes the break requests that arrived; true when one is pending.
bool take_break_requests();

// What Wait runs while a display is open, instead of sleeping: it handles the
// display's events until at least one has come (or a break request, which also
// wakes it). Null: Wait sleeps until a break.
using EventPump = void (*)();
void set_event_pump(EventPump pump);

// A free signal number for a message port, or -1.
int32 AllocSignal();
void FreeSignal(int32 signum);

// Raises `bits` on the main task.
void Signal(uint32 bits);

// Blocks until at least one bit of `mask` is set, handling the toolkit's events
// meanwhile; returns and clears the bits of `mask` that are set.
uint32 Wait(uint32 mask);

} // namespace platform
