#include "RecordingWindow.h"

#include <algorithm>

namespace relvane::testing {

std::string RecordingWindow::ReadServerText() {
    std::lock_guard lock(Lock);
    return Server;
}

std::string RecordingWindow::ReadPortText() {
    std::lock_guard lock(Lock);
    return Port;
}

void RecordingWindow::AddComboBox(const std::string& text) {
    std::lock_guard lock(Lock);
    HistoryEntries.Add(text);
}

void RecordingWindow::SetTargetFields(uint16_t port, const std::string& addressText) {
    std::lock_guard lock(Lock);
    Port = std::to_string(port);
    Server = addressText;
}

void RecordingWindow::ShowLog(const std::string& line) {
    std::lock_guard lock(Lock);
    LogLines.push_back(line);
    Changed.notify_all();
}

void RecordingWindow::ShowErrorBox(const std::string& text) {
    std::lock_guard lock(Lock);
    Boxes.push_back(text);
    Changed.notify_all();
}

void RecordingWindow::SetTarget(const std::string& serverText, const std::string& portText) {
    std::lock_guard lock(Lock);
    Server = serverText;
    Port = portText;
}

std::string RecordingWindow::ServerText() { return ReadServerText(); }
std::string RecordingWindow::PortText() { return ReadPortText(); }

std::vector<std::string> RecordingWindow::History() {
    std::lock_guard lock(Lock);
    return HistoryEntries.Items();
}

std::vector<std::string> RecordingWindow::Lines() {
    std::lock_guard lock(Lock);
    return LogLines;
}

std::vector<std::string> RecordingWindow::ErrorBoxes() {
    std::lock_guard lock(Lock);
    return Boxes;
}

std::optional<std::string> RecordingWindow::WaitForLine(const std::string& prefix, std::chrono::milliseconds limit,
                                                        size_t from) {
    std::unique_lock lock(Lock);
    std::optional<std::string> found;
    Changed.wait_for(lock, limit, [&] {
        for (size_t i = from; i < LogLines.size(); ++i)
            if (LogLines[i].rfind(prefix, 0) == 0) {
                found = LogLines[i];
                return true;
            }
        return false;
    });
    return found;
}

size_t RecordingWindow::LineCount() {
    std::lock_guard lock(Lock);
    return LogLines.size();
}

bool RecordingWindow::HasLine(const std::string& line) {
    std::lock_guard lock(Lock);
    return std::find(LogLines.begin(), LogLines.end(), line) != LogLines.end();
}

}  // namespace relvane::testing
