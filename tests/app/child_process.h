#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A program started by the tests, with its own working directory and its standard output
// and error in files, so that a failure can show what it printed.
struct ChildProcess {
    pid_t pid = -1;
    std::string stdoutPath;
    std::string stderrPath;
};

// Starts `argv` (argv[0] is the path) in `directory`. Aborts the test run if fork fails.
ChildProcess startProcess(const std::vector<std::string>& argv, const std::string& directory,
                          const std::string& outputPrefix);

// Waits up to `seconds` for the process to end. True with the raw wait status when it has.
bool waitForExit(ChildProcess& child, double seconds, int& status);

// Ends a process that is still running (SIGKILL) and reaps it; nothing if it has ended.
void stopProcess(ChildProcess& child);

// User plus system time of the whole process, all threads, in clock ticks; -1 if unknown.
long cpuTicks(pid_t pid);

std::string readFile(const std::string& path);

void sleepSeconds(double seconds);
