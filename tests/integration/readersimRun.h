// Runs the readersim program through the shell, its output in files in the
// work directory, for the tests that drive it as a whole program. The
// including target defines READERSIM_BINARY and INTEGRATION_WORK_DIR.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/unit/loopback.h"

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

inline std::string outputBase(const std::string& tag)
{
    return std::string(INTEGRATION_WORK_DIR) + "/readersim_" + tag;
}

// Runs readersim with args through the shell, its output in files named
// after tag in the build directory, and returns its exit code and output.
inline RunResult runReadersim(const std::string& args, const std::string& tag)
{
    const std::string base = outputBase(tag);
    const std::string cmd = std::string("\"") + READERSIM_BINARY + "\" " + args + " >\"" + base +
                            ".out\" 2>\"" + base + ".err\"; echo $? >\"" + base + ".rc\"";
    std::remove((base + ".rc").c_str());
    std::remove((base + ".out").c_str());  // a running test reads it while it grows
    const int status = std::system(cmd.c_str());
    RunResult r;
    if (status != -1) {
        const std::string rc = readFile(base + ".rc");
        if (!rc.empty())
            r.exitCode = std::atoi(rc.c_str());
    }
    r.out = readFile(base + ".out");
    r.err = readFile(base + ".err");
    return r;
}

inline bool hasLine(const std::string& output, const std::string& line)
{
    std::istringstream in(output);
    std::string l;
    while (std::getline(in, l))
        if (l == line)
            return true;
    return false;
}

inline bool hasLinePrefix(const std::string& output, const std::string& prefix)
{
    std::istringstream in(output);
    std::string l;
    while (std::getline(in, l))
        if (l.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

// Runs readersim on a thread of its own. Its output file is gone before
// this returns, so a test that waits for a line never reads an older run's.
inline std::thread startReadersim(const std::string& args, const std::string& tag, RunResult* result)
{
    std::remove((outputBase(tag) + ".out").c_str());
    return std::thread([args, tag, result] { *result = runReadersim(args, tag); });
}

// The first line of a running program's output that starts with prefix
// (about five seconds at most), or "" if none comes.
inline std::string awaitOutputLine(const std::string& tag, const std::string& prefix)
{
    std::string found;
    eventually([&] {
        std::istringstream in(readFile(outputBase(tag) + ".out"));
        std::string l;
        while (std::getline(in, l)) {
            if (l.compare(0, prefix.size(), prefix) == 0 && !l.empty()) {
                found = l;
                return true;
            }
        }
        return false;
    });
    return found;
}

// The port in "... bind=IP:PORT ..." of the start line.
inline uint16_t boundPort(const std::string& startLine)
{
    const size_t at = startLine.find(" bind=");
    if (at == std::string::npos)
        return 0;
    const size_t colon = startLine.find(':', at);
    return colon == std::string::npos ? 0 : uint16_t(std::atoi(startLine.c_str() + colon + 1));
}

