#pragma once

#include <cstdio>
#include <string>

#include <sys/wait.h>

// A shell command run to its end: its exit code (-1 when it did not exit normally or could not
// start) and everything it wrote to standard output.
struct CommandRun
{
    int exitCode = -1;
    std::string out;
};

inline CommandRun RunCommand(const std::string &command)
{
    CommandRun run;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        run.out.append(chunk, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
