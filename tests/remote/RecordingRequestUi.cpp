#include "RecordingRequestUi.h"

namespace relvane::testing {

void RecordingRequestUi::ShowErrorBox(const std::string& text) {
    const std::lock_guard guard(Lock);
    Boxes.push_back(text);
}

void RecordingRequestUi::Complete(const remote::RequestOutcome& outcome) {
    {
        const std::lock_guard guard(Lock);
        Outcome = outcome;
        ++CompletionCount;
    }
    Completed.notify_all();
}

std::optional<remote::RequestOutcome> RecordingRequestUi::WaitForOutcome(std::chrono::milliseconds limit) {
    std::unique_lock guard(Lock);
    Completed.wait_for(guard, limit, [this] { return Outcome.has_value(); });
    return Outcome;
}

std::vector<std::string> RecordingRequestUi::ErrorBoxes() {
    const std::lock_guard guard(Lock);
    return Boxes;
}

int RecordingRequestUi::Completions() {
    const std::lock_guard guard(Lock);
    return CompletionCount;
}

}  // namespace relvane::testing
