// relvane: the relay program. Without a display it runs headless on Qt's
// offscreen platform: log lines go to standard output and error boxes to
// standard error. SIGINT and SIGTERM end it as closing the window does.

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "relay/Un_Proxy.h"

namespace {

// The self-pipe: the signal handler may only write to it; the UI thread
// reads it through a socket notifier and closes the window.
int SignalPipe[2] = {-1, -1};

void OnEndSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(SignalPipe[1], &byte, 1);
}

bool InstallEndSignals() {
    if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

bool HasDisplay() { return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr; }

}  // namespace

int main(int argc, char* argv[]) {
    const bool headless = !HasDisplay();
    if (headless) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The window keeps its pixel sizes on every screen, unless the user asks
    // for scaling.
    ::setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 0);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Relvane 0.95"));
    // The controls are placed for Arial and the log for MS Sans Serif; hosts
    // without them get fonts of about the same widths.
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                                         QStringLiteral("DejaVu Sans Condensed")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed")});

    const bool signalsInstalled = InstallEndSignals();

    relvane::RelayWindowOptions options;
    if (headless) options.Headless = relvane::HeadlessConsole{stdout, stderr};
    relvane::TFrm_Relvane window(options);

    std::unique_ptr<QSocketNotifier> endSignals;
    if (signalsInstalled) {
        endSignals = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
        QObject::connect(endSignals.get(), &QSocketNotifier::activated, &window, [&window] {
            char bytes[16];
            while (::read(SignalPipe[0], bytes, sizeof bytes) > 0) {
            }
            window.close();
            QApplication::quit();
        });
    }
    window.show();
    return QApplication::exec();
}
