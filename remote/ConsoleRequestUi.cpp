#include "remote/ConsoleRequestUi.h"

namespace relvane::remote {

void ConsoleRequestUi::ShowErrorBox(const std::string& text) {
    const std::lock_guard guard(Lock);
    Errors << text << std::endl;
}

void ConsoleRequestUi::Complete(const RequestOutcome& outcome) {
    {
        const std::lock_guard guard(Lock);
        Outcome = outcome;
    }
    Completed.notify_all();
}

RequestOutcome ConsoleRequestUi::WaitForCompletion() {
    std::unique_lock guard(Lock);
    Completed.wait(guard, [this] { return Outcome.has_value(); });
    return *Outcome;
}

}  // namespace relvane::remote
