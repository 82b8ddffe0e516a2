#pragma once
// The window operations of the relay's main window, as the engine sees them.
// Every operation is handed to the UI thread through the invoker and the
// calling endpoint waits for it; once the invoker is closed they return at
// once (reads then give empty texts).
//
// Headless (no display): every log line is also written to LogStream, one
// per line, as it is appended; error boxes go to ErrorStream instead of the
// screen and return at once, since nobody could dismiss them.

#include <cstdio>
#include <optional>
#include <string>

#include "relay/WindowOperations.h"

namespace relvane {

class TFrm_Relvane;
class UiThreadInvoker;

struct HeadlessConsole {
    std::FILE* LogStream = stdout;
    std::FILE* ErrorStream = stderr;
};

class QtWindowOperations final : public WindowOperations {
public:
    QtWindowOperations(TFrm_Relvane& window, UiThreadInvoker& invoker, std::optional<HeadlessConsole> headless);

    // Any thread.
    std::string ReadServerText() override;
    std::string ReadPortText() override;
    void AddComboBox(const std::string& text) override;
    void SetTargetFields(uint16_t port, const std::string& addressText) override;
    void ShowLog(const std::string& line) override;
    void ShowErrorBox(const std::string& text) override;

private:
    TFrm_Relvane& Window;
    UiThreadInvoker& Invoker;
    const std::optional<HeadlessConsole> Headless;
};

}  // namespace relvane
