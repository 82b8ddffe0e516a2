#include "ProgramRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace relvane::testing {
namespace {

constexpr char OutputFile[] = "stdout.txt";
constexpr char ErrorsFile[] = "stderr.txt";

}  // namespace

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "relvanerc-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    Location = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(Location, ignored);
}

void ScratchDirectory::WriteFile(const std::string& name, const std::string& text) const {
    std::ofstream(Location + "/" + name, std::ios::binary) << text;
}

std::string ScratchDirectory::ReadFile(const std::string& name) const {
    std::ifstream file(Location + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

ProgramRun::ProgramRun(const std::string& program, const std::vector<std::string>& arguments,
                       const ScratchDirectory& directory)
    : Directory(directory) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const std::string outputPath = directory.Path() + "/" + OutputFile;
    const std::string errorsPath = directory.Path() + "/" + ErrorsFile;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.Path().c_str());
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&Process, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) Process = -1;
    posix_spawn_file_actions_destroy(&actions);
}

ProgramRun::~ProgramRun() {
    if (Process <= 0) return;
    kill(Process, SIGKILL);
    waitpid(Process, nullptr, 0);
}

ProgramResult ProgramRun::Finish(std::chrono::milliseconds limit) {
    ProgramResult result;
    if (Process <= 0) return result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(Process, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) return result;  // killed by the destructor
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Process = -1;
    result.Ended = true;
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Output = Directory.ReadFile(OutputFile);
    result.Errors = Directory.ReadFile(ErrorsFile);
    return result;
}

ProgramResult RunRelvanerc(const std::vector<std::string>& arguments, const ScratchDirectory& directory) {
    ProgramRun run(RELVANERC_PATH, arguments, directory);
    return run.Finish();
}

}  // namespace relvane::testing
