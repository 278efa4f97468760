// Starting the game, with the launcher's standard streams handed on.
#pragma once

#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

namespace platform {

// Puts /dev/null on any of the three standard streams that the launcher was started
// without (from a desktop, say), before anything else takes their numbers: else
// the next file opened would become the launcher's output, and the game's.
void open_closed_std_streams();

// File handles of the launcher's own streams, duplicated; -1 on failure.
enum class StdStream { input, output, error };
int dup_std_stream(StdStream stream);
void close_handle(int handle);

// Raises this process's soft stack limit to `wanted` where it is lower, as far as the
// hard limit allows; the processes it starts inherit it. The soft limit in force then
// (RLIM_INFINITY for none), or 0 when it could not be read or set.
rlim_t raise_stack_limit(rlim_t wanted);

struct SpawnRequest {
    std::string program;           // a path, run as it is: no shell, no search of PATH
    std::vector<std::string> args; // after the program's own name
    std::string working_dir;
    int in = 0, out = 1, err = 2; // become the program's standard streams
    unsigned long min_stack = 0;  // the program's stack limit is raised to this if lower
    // "NAME=value" entries for the program's environment, over the launcher's own (which
    // stays as it is): one of the same name is replaced.
    std::vector<std::string> environment;
};

// Starts the program in a session of its own, with only its three standard streams
// open, and does not wait for it: it is not the launcher's child, so the launcher
// never leaves it a zombie. Its pid, or -1 with errno set when it could not be
// started, including when it is missing or not an executable.
pid_t spawn_detached(const SpawnRequest &request);

} // namespace platform
