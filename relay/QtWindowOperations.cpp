#include "relay/QtWindowOperations.h"

#include <QString>

#include "relay/UiThreadInvoker.h"
#include "relay/Un_Proxy.h"

namespace relvane {
namespace {

// One write per line, so lines from different threads never interleave
// (stdio locks the stream for each call); flushed at once so that a reader
// of a pipe sees each line as it happens.
void WriteLine(std::FILE* stream, const std::string& text) {
    const std::string line = text + '\n';
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

}  // namespace

QtWindowOperations::QtWindowOperations(TFrm_Relvane& window, UiThreadInvoker& invoker,
                                       std::optional<HeadlessConsole> headless)
    : Window(window), Invoker(invoker), Headless(headless) {}

std::string QtWindowOperations::ReadServerText() {
    std::string text;
    Invoker.Run([&] { text = Window.ServerText().toStdString(); });
    return text;
}

std::string QtWindowOperations::ReadPortText() {
    std::string text;
    Invoker.Run([&] { text = Window.PortText().toStdString(); });
    return text;
}

void QtWindowOperations::AddComboBox(const std::string& text) {
    Invoker.Run([&] { Window.AddComboBox(QString::fromStdString(text)); });
}

void QtWindowOperations::SetTargetFields(uint16_t port, const std::string& addressText) {
    Invoker.Run([&] { Window.SetTargetFields(port, QString::fromStdString(addressText)); });
}

void QtWindowOperations::ShowLog(const std::string& line) {
    // Echoed on the UI thread, so the console shows the lines in log order.
    Invoker.Run([&] {
        Window.AppendLogLine(QString::fromStdString(line));
        if (Headless) WriteLine(Headless->LogStream, line);
    });
}

void QtWindowOperations::ShowErrorBox(const std::string& text) {
    if (Headless) return WriteLine(Headless->ErrorStream, text);
    // The box runs a nested event loop that a program end may interrupt
    // after this caller has been released: the work keeps its own copy.
    Invoker.Run([&window = Window, message = QString::fromStdString(text)] { window.ShowErrorBox(message); });
}

}  // namespace relvane
