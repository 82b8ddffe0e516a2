#pragma once
// A plain implementation of the window operations for engine tests: it holds
// the two target fields and the history list, and records every log line and
// error box. Safe to call from any thread (one lock guards everything).

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "relay/WindowOperations.h"
#include "shared/History.h"

namespace relvane::testing {

class RecordingWindow : public WindowOperations {
public:
    std::string ReadServerText() override;
    std::string ReadPortText() override;
    void AddComboBox(const std::string& text) override;
    void SetTargetFields(uint16_t port, const std::string& addressText) override;
    void ShowLog(const std::string& line) override;
    void ShowErrorBox(const std::string& text) override;

    void SetTarget(const std::string& serverText, const std::string& portText);
    std::string ServerText();
    std::string PortText();
    std::vector<std::string> History();
    std::vector<std::string> Lines();
    std::vector<std::string> ErrorBoxes();

    // Waits until a log line starting with prefix appears at index >= from;
    // returns the line, or nullopt after the time limit.
    std::optional<std::string> WaitForLine(const std::string& prefix,
                                           std::chrono::milliseconds limit = std::chrono::seconds(10),
                                           size_t from = 0);
    size_t LineCount();
    bool HasLine(const std::string& line);

private:
    std::mutex Lock;
    std::condition_variable Changed;
    std::string Server;
    std::string Port = "26000";
    HistoryList HistoryEntries;
    std::vector<std::string> LogLines;
    std::vector<std::string> Boxes;
};

}  // namespace relvane::testing
