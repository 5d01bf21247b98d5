#include "tests/app/child_process.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

ChildProcess startProcess(const std::vector<std::string>& argv, const std::string& directory,
                          const std::string& outputPrefix)
{
    ChildProcess child;
    child.stdoutPath = outputPrefix + ".stdout";
    child.stderrPath = outputPrefix + ".stderr";
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    std::fflush(nullptr);
    child.pid = fork();
    if (child.pid < 0) {
        std::perror("fork");
        std::abort();
    }
    if (child.pid == 0) {
        const int out = open(child.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(child.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(directory.c_str()) != 0)
            _exit(126);
        execv(args[0], args.data());
        std::perror(args[0]);
        _exit(127);
    }
    return child;
}

bool waitForExit(ChildProcess& child, double seconds, int& status)
{
    const int polls = static_cast<int>(seconds / 0.02) + 1;
    for (int i = 0; i < polls; ++i) {
        const pid_t done = waitpid(child.pid, &status, WNOHANG);
        if (done == child.pid) {
            child.pid = -1;
            return true;
        }
        sleepSeconds(0.02);
    }
    return false;
}

void stopProcess(ChildProcess& child)
{
    if (child.pid <= 0)
        return;
    kill(child.pid, SIGKILL);
    int status = 0;
    waitpid(child.pid, &status, 0);
    child.pid = -1;
}

long cpuTicks(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return -1;
    // The command name in parentheses may hold spaces: count fields after its ')'.
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    long utime = -1, stime = -1;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::atol(field.c_str());
        if (i == 15) {
            stime = std::atol(field.c_str());
            break;
        }
    }
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void sleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}
