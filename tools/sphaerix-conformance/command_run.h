#pragma once

#include <functional>
#include <string>
#include <vector>

#include "conformance/case_list.h"

// Running another rasterizer once per case: its command line, the processes and what
// became of them.

// The placeholders of --run's COMMAND, in the order --help lists them.
extern const char* const commandPlaceholders[12];

// "{color}" or "{depth}" when `command` lacks it, else "".
std::string missingPlaceholder(const std::string& command);

// `command` with every placeholder replaced: the view values as the shortest decimals
// that read back to the same floats, the paths quoted for the shell where they need it.
std::string expandCommand(const std::string& command, const ConformanceCase& c, const std::string& texture,
    const std::string& colorPath, const std::string& depthPath);

struct CommandOutcome {
    std::string startError; // why the shell could not be started; "" when it was
    bool timedOut = false;
    int exitStatus = -1; // when it exited
    int signal = 0;      // when a signal ended it
    double seconds = 0.0;
    std::string errorTail; // the last lines of its standard error, " / " between them
};

struct CommandJob {
    std::string command;            // run as /bin/sh -c COMMAND
    std::string outputFile, errorFile; // its standard output and error
};

// Runs the jobs, at most `parallel` at once, each in a process group of its own so that
// a time limit of `timeout` seconds stops every process it started. `finished(index,
// outcome)` is called for each job as it ends, one call at a time, from one thread other
// than the caller's, while the other jobs go on; runCommands returns after the last call.
// An interrupt (SIGINT, SIGTERM, SIGHUP) stops every running command's process group, as
// the terminal would have had they not had groups of their own, and returns false; the
// jobs not yet ended are not reported.
bool runCommands(const std::vector<CommandJob>& jobs, int parallel, double timeout,
    const std::function<void(std::size_t, const CommandOutcome&)>& finished);

// What went wrong for an ERROR line ("the command exited with status 2"), or "" when it
// exited with status 0; the end of its standard error follows.
std::string commandProblem(const CommandOutcome& outcome, double timeout);

// The last `count` non-empty lines of a file, each cut to a readable length.
std::string lastLines(const std::string& path, int count);
