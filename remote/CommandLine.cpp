#include "remote/CommandLine.h"

#include "remote/ConsoleRequestUi.h"
#include "remote/RequestPool.h"
#include "shared/PlatformSockets.h"
#include "shared/PortField.h"

namespace relvane::remote {
namespace {

CommandLine Invalid(std::string problem) {
    CommandLine command;
    command.Requested = CommandLine::Action::Invalid;
    command.Problem = std::move(problem);
    return command;
}

std::string TargetText(const Ipv4Bytes& address, uint16_t port) {
    return FormatDottedQuad(address) + " " + std::to_string(port);
}

int RunRequest(const CommandLine& command, std::ostream& output, std::ostream& errors,
               const std::string& settingsPath) {
    const RemoteSettings settings = RemoteSettings::Load(settingsPath);
    const bool isQuery = command.Requested == CommandLine::Action::Query;
    const Ipv4Bytes targetAddress = isQuery ? Ipv4Bytes{} : InetAddr(command.AddressText);
    const uint16_t targetPort = isQuery ? 0 : PortFieldValue(command.PortText);

    ConsoleRequestUi ui(errors);
    RequestPool requests;
    requests.Start(ui, settings.ProxyAddress, isQuery ? 1 : 0, targetAddress, targetPort);
    const RequestOutcome outcome = ui.WaitForCompletion();
    requests.AbandonAll();

    if (!outcome.Answered) {
        errors << (isQuery ? QueryFailedText : SetFailedText) << std::endl;
        return ExitNotAnswered;
    }
    output << TargetText(outcome.TargetAddress, outcome.TargetPort) << std::endl;
    return ExitAnswered;
}

}  // namespace

CommandLine CommandLine::Parse(const std::vector<std::string>& arguments) {
    CommandLine command;
    if (arguments.empty()) return command;
    const std::string& verb = arguments[0];
    if (verb == "--help" || verb == "-h") {
        if (arguments.size() != 1) return Invalid("--help takes no arguments");
        command.Requested = Action::Help;
    } else if (verb == "query") {
        if (arguments.size() != 1) return Invalid("query takes no arguments");
        command.Requested = Action::Query;
    } else if (verb == "set") {
        if (arguments.size() != 3) return Invalid("set takes ADDRESS and PORT");
        command.Requested = Action::Set;
        command.AddressText = arguments[1];
        command.PortText = arguments[2];
    } else {
        return Invalid("unknown command \"" + verb + "\"");
    }
    return command;
}

std::string CommandLineUsage() {
    return "Usage: relvanerc                    open the window\n"
           "       relvanerc query              print the relay's game server as \"ADDRESS PORT\"\n"
           "       relvanerc set ADDRESS PORT   make the relay forward to ADDRESS PORT\n"
           "       relvanerc --help             print this text\n"
           "\n"
           "The relay asked is ProxyHost, port ProxyPort, from section [Proxy] of\n"
           "./relvanerc.ini (default 127.0.0.1 port 26000).\n"
           "ADDRESS is a dotted IPv4 address; names are not looked up, and anything\n"
           "else is sent as 255.255.255.255. PORT is a decimal number; an empty or\n"
           "unreadable one gives 26000, and only its low 16 bits count.\n"
           "A set prints the target it sent once the relay has confirmed it.\n"
           "\n"
           "Exit status: 0 the relay answered, 1 it did not (the reason on standard\n"
           "error, after two seconds when nothing answers), 2 bad arguments.\n";
}

int RunCommandLine(const CommandLine& command, std::ostream& output, std::ostream& errors,
                   const std::string& settingsPath) {
    switch (command.Requested) {
    case CommandLine::Action::Help:
        output << CommandLineUsage();
        return ExitAnswered;
    case CommandLine::Action::Query:
    case CommandLine::Action::Set:
        return RunRequest(command, output, errors, settingsPath);
    case CommandLine::Action::Window:
    case CommandLine::Action::Invalid:
        break;
    }
    errors << "relvanerc: " << (command.Problem.empty() ? "no command" : command.Problem) << "\n"
           << CommandLineUsage();
    return ExitBadArguments;
}

}  // namespace relvane::remote
