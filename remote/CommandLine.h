#pragma once
// relvanerc's command line, for scripts. Without arguments the program opens
// its window; otherwise it performs one request through the same request code
// and ends:
//   relvanerc query              prints the relay's target as "ADDRESS PORT"
//   relvanerc set ADDRESS PORT   gives the relay a new target; prints the
//                                target sent as "ADDRESS PORT"
//   relvanerc --help             prints the usage
// The relay is the settings file's ProxyAddress. ADDRESS goes through the
// dotted-quad conversion like the window's address field (no name lookup: a
// host name is sent as 255.255.255.255), PORT through the port-field rule.
// Exit status: 0 answered (or help), 1 not answered, 2 bad arguments.

#include <ostream>
#include <string>
#include <vector>

#include "remote/RemoteSettings.h"

namespace relvane::remote {

inline constexpr int ExitAnswered = 0;
inline constexpr int ExitNotAnswered = 1;
inline constexpr int ExitBadArguments = 2;

struct CommandLine {
    enum class Action { Window, Help, Query, Set, Invalid };

    Action Requested = Action::Window;
    std::string AddressText;  // set only
    std::string PortText;     // set only
    std::string Problem;      // Invalid only: what is wrong, for the user

    // arguments: without the program name.
    static CommandLine Parse(const std::vector<std::string>& arguments);
};

std::string CommandLineUsage();

// Runs Help, Query, Set or Invalid (not Window) and returns the exit status.
// Results go to output, error texts and usage mistakes to errors.
int RunCommandLine(const CommandLine& command, std::ostream& output, std::ostream& errors,
                   const std::string& settingsPath = RemoteSettingsFile);

}  // namespace relvane::remote
