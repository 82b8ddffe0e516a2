#pragma once
// The command line's RequestUi: error boxes become lines on the error stream
// and return at once; the completion is kept for the waiting main thread.

#include <condition_variable>
#include <mutex>
#include <optional>
#include <ostream>

#include "remote/RequestUi.h"

namespace relvane::remote {

class ConsoleRequestUi final : public RequestUi {
public:
    explicit ConsoleRequestUi(std::ostream& errors) : Errors(errors) {}

    // Safe to call from any thread.
    void ShowErrorBox(const std::string& text) override;
    // Safe to call from any thread.
    void Complete(const RequestOutcome& outcome) override;

    // Blocks until Complete has been called, then returns its outcome.
    RequestOutcome WaitForCompletion();

private:
    std::ostream& Errors;
    // Guards Errors and Outcome.
    std::mutex Lock;
    std::condition_variable Completed;
    std::optional<RequestOutcome> Outcome;
};

}  // namespace relvane::remote
