#pragma once
// Runs the built relvanerc program in a scratch directory of its own, with its
// standard output and error captured, for tests of the command line.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace relvane::testing {

// A fresh directory under the system's temporary directory, removed with its
// contents on destruction.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Path() const { return Location; }
    void WriteFile(const std::string& name, const std::string& text) const;
    std::string ReadFile(const std::string& name) const;

private:
    std::string Location;
};

struct ProgramResult {
    bool Ended = false;  // false: killed after the time limit
    int ExitCode = -1;
    std::string Output;
    std::string Errors;
};

// One run of a program, started at once; destruction kills it if it still runs.
class ProgramRun {
public:
    ProgramRun(const std::string& program, const std::vector<std::string>& arguments, const ScratchDirectory& directory);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool Started() const { return Process > 0; }
    // Waits for the program to end, for at most limit.
    ProgramResult Finish(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    const ScratchDirectory& Directory;
    pid_t Process = -1;
};

// Starts relvanerc (the program under test) with arguments and waits for it.
ProgramResult RunRelvanerc(const std::vector<std::string>& arguments, const ScratchDirectory& directory);

}  // namespace relvane::testing
