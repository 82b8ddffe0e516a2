// relvanerc: the remote client. Without arguments it opens its window; with a
// command it performs one request on the command line (see CommandLine.h).

#include <QApplication>
#include <QFont>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "remote/CommandLine.h"
#include "remote/Un_Remote.h"

namespace {

bool HasDisplay() { return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr; }

int RunWindow(int argc, char** argv) {
    // Without a display the window runs on the offscreen platform, and its
    // error boxes, which nobody could dismiss, go to standard error.
    const bool headless = !HasDisplay();
    if (headless) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window is laid out in pixels and is not rescaled for the screen's resolution.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_HIGHDPI_SCALING")) qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication application(argc, argv);
    // The name the desktop shows for the program; the window keeps its own caption.
    QApplication::setApplicationName("Relvane Remote Client 0.95");
    // The controls are sized for Arial; hosts without it get a font of the
    // same widths, or at least a narrow one, so the captions still fit.
    QFont::insertSubstitutions("Arial", {"Liberation Sans", "Arimo", "DejaVu Sans Condensed"});

    relvane::remote::TFrm_RelvaneRemote::ErrorBoxHook toStandardError;
    if (headless) toStandardError = [](const QString& text) { std::cerr << text.toStdString() << std::endl; };
    relvane::remote::TFrm_RelvaneRemote window(toStandardError);
    window.show();
    return application.exec();
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto command = relvane::remote::CommandLine::Parse(arguments);
    if (command.Requested != relvane::remote::CommandLine::Action::Window)
        return relvane::remote::RunCommandLine(command, std::cout, std::cerr);
    return RunWindow(argc, argv);
}
