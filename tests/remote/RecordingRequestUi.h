#pragma once
// A RequestUi for tests: records every error box and the outcome, and lets
// the test wait for the completion with a time limit. Safe to call from any
// thread (one lock guards everything).

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "remote/RequestUi.h"

namespace relvane::testing {

class RecordingRequestUi : public remote::RequestUi {
public:
    void ShowErrorBox(const std::string& text) override;
    void Complete(const remote::RequestOutcome& outcome) override;

    // The outcome, or nullopt when the request has not completed within limit.
    std::optional<remote::RequestOutcome> WaitForOutcome(std::chrono::milliseconds limit = std::chrono::seconds(10));
    std::vector<std::string> ErrorBoxes();
    int Completions();

private:
    std::mutex Lock;
    std::condition_variable Completed;
    std::vector<std::string> Boxes;
    std::optional<remote::RequestOutcome> Outcome;
    int CompletionCount = 0;
};

}  // namespace relvane::testing
