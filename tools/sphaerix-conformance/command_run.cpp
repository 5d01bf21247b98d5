#include "tools/sphaerix-conformance/command_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "inspect/exact_number.h"

extern char** environ;

const char* const commandPlaceholders[12] = {"{name}", "{width}", "{height}", "{az}", "{ax}", "{panx}", "{pany}",
    "{zoom}", "{texture}", "{color}", "{depth}", "{rules}"};

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t interrupted = 0;

void noteInterrupt(int)
{
    interrupted = 1;
}

// Interrupts are noted while the commands run, and the old handlers put back after.
struct InterruptWatch {
    static constexpr int signals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction before[3];
    InterruptWatch()
    {
        interrupted = 0;
        struct sigaction note {};
        note.sa_handler = noteInterrupt;
        sigemptyset(&note.sa_mask);
        for (int k = 0; k < 3; ++k)
            sigaction(signals[k], &note, &before[k]);
    }
    ~InterruptWatch()
    {
        for (int k = 0; k < 3; ++k)
            sigaction(signals[k], &before[k], nullptr);
    }
};

// Single quotes unless the path is plainly safe for the shell as it stands.
std::string shellWord(const std::string& text)
{
    if (!text.empty() &&
        text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./+,:=") ==
            std::string::npos)
        return text;
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Running {
    std::size_t index;
    pid_t pid;
    Clock::time_point start;
    bool timedOut = false;
};

// The finished jobs, handed to the one thread that reports them.
struct Finished {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<std::pair<std::size_t, CommandOutcome>> queue;
    bool closed = false;
};

CommandOutcome start(const CommandJob& job, Running& r)
{
    CommandOutcome outcome;
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, job.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, job.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // Its own process group (so that one kill reaches all it starts), default signals.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const char* argv[] = {"/bin/sh", "-c", job.command.c_str(), nullptr};
    r.start = Clock::now();
    const int error = posix_spawn(&r.pid, "/bin/sh", &files, &attributes, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        outcome.startError = std::string("cannot start /bin/sh: ") + std::strerror(error);
    return outcome;
}

// Whether the job has ended (its process waited for), filling `outcome`.
bool ended(Running& r, double timeout, CommandOutcome& outcome)
{
    siginfo_t info{};
    // Seen ended but not yet waited for: its process-group id cannot be taken by another
    // process, so the kill below reaches only what it left behind.
    if (waitid(P_PID, id_t(r.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == r.pid) {
        kill(-r.pid, SIGKILL);
        int status = 0;
        waitpid(r.pid, &status, 0);
        outcome.seconds = std::chrono::duration<double>(Clock::now() - r.start).count();
        outcome.timedOut = r.timedOut;
        if (WIFEXITED(status))
            outcome.exitStatus = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            outcome.signal = WTERMSIG(status);
        return true;
    }
    if (!r.timedOut && std::chrono::duration<double>(Clock::now() - r.start).count() > timeout) {
        r.timedOut = true;
        kill(-r.pid, SIGKILL);
    }
    return false;
}

} // namespace

std::string missingPlaceholder(const std::string& command)
{
    for (const char* placeholder : {"{color}", "{depth}"})
        if (command.find(placeholder) == std::string::npos)
            return placeholder;
    return "";
}

std::string expandCommand(const std::string& command, const ConformanceCase& c, const std::string& texture,
    const std::string& colorPath, const std::string& depthPath)
{
    const std::string values[12] = {c.name, std::to_string(c.width), std::to_string(c.height),
        exactText(c.angleZ), exactText(c.angleX), exactText(c.panX), exactText(c.panY), exactText(c.zoom),
        shellWord(texture), shellWord(colorPath), shellWord(depthPath), formatRules(c.rules)};
    std::string out;
    for (std::size_t at = 0; at < command.size();) {
        bool replaced = false;
        for (int k = 0; k < 12 && !replaced; ++k)
            if (command.compare(at, std::strlen(commandPlaceholders[k]), commandPlaceholders[k]) == 0) {
                out += values[k];
                at += std::strlen(commandPlaceholders[k]);
                replaced = true;
            }
        if (!replaced)
            out += command[at++];
    }
    return out;
}

bool runCommands(const std::vector<CommandJob>& jobs, int parallel, double timeout,
    const std::function<void(std::size_t, const CommandOutcome&)>& finished)
{
    const InterruptWatch watch;
    Finished done;
    std::thread reporter([&] {
        for (;;) {
            std::unique_lock<std::mutex> hold(done.lock);
            done.ready.wait(hold, [&] { return done.closed || !done.queue.empty(); });
            if (done.queue.empty() || interrupted)
                return;
            auto [index, outcome] = done.queue.front();
            done.queue.pop_front();
            hold.unlock();
            finished(index, outcome);
        }
    });
    auto hand = [&](std::size_t index, CommandOutcome outcome) {
        outcome.errorTail = lastLines(jobs[index].errorFile, 3);
        std::lock_guard<std::mutex> hold(done.lock);
        done.queue.emplace_back(index, outcome);
        done.ready.notify_one();
    };
    std::vector<Running> running;
    std::size_t next = 0;
    while ((next < jobs.size() || !running.empty()) && !interrupted) {
        while (next < jobs.size() && int(running.size()) < parallel) {
            Running r{next, 0, {}};
            const CommandOutcome outcome = start(jobs[next], r);
            if (!outcome.startError.empty())
                hand(next, outcome);
            else
                running.push_back(r);
            ++next;
        }
        bool any = false;
        for (std::size_t k = 0; k < running.size();) {
            CommandOutcome outcome;
            if (ended(running[k], timeout, outcome)) {
                hand(running[k].index, outcome);
                running.erase(running.begin() + long(k));
                any = true;
            } else {
                ++k;
            }
        }
        if (!any)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (const Running& r : running) {
        kill(-r.pid, SIGKILL);
        waitpid(r.pid, nullptr, 0);
    }
    {
        std::lock_guard<std::mutex> hold(done.lock);
        done.closed = true;
        done.ready.notify_one();
    }
    reporter.join();
    return !interrupted;
}

std::string commandProblem(const CommandOutcome& o, double timeout)
{
    if (!o.startError.empty())
        return o.startError;
    if (o.timedOut)
        return "the command did not finish within " + exactText(float(timeout)) + " s and was stopped";
    if (o.signal != 0)
        return "the command was ended by signal " + std::to_string(o.signal) + " (" + strsignal(o.signal) + ")";
    if (o.exitStatus == 0)
        return "";
    std::string text = "the command exited with status " + std::to_string(o.exitStatus);
    // The shell reports a child ended by signal N as 128 + N, and a command it cannot
    // find or run as 127 or 126.
    if (o.exitStatus > 128 && o.exitStatus < 128 + 65)
        text += std::string(" (signal ") + std::to_string(o.exitStatus - 128) + ", " + strsignal(o.exitStatus - 128) + ")";
    else if (o.exitStatus == 127)
        text += " (not found)";
    else if (o.exitStatus == 126)
        text += " (cannot be run)";
    return text;
}

std::string lastLines(const std::string& path, int count)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    // Only the end of a long file is read; its first line there may be cut.
    const std::streamoff size = in.tellg();
    in.seekg(size > 65536 ? size - 65536 : 0);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        std::string clean;
        for (char c : line)
            if (static_cast<unsigned char>(c) >= 32 || c == '\t')
                clean += c == '\t' ? ' ' : c;
        if (clean.find_first_not_of(' ') == std::string::npos)
            continue;
        if (clean.size() > 200)
            clean = clean.substr(0, 200) + "...";
        lines.push_back(clean);
        if (int(lines.size()) > count)
            lines.erase(lines.begin());
    }
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : " / ") + line;
    return text;
}
