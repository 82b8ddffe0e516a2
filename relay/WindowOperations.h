#pragma once
// What the relay engine may ask of the main window. The engine has no other
// way to the window. Each call is carried out on the UI thread while the
// calling endpoint thread waits; called on the UI thread itself (as while a
// listener is set up during start-up) it runs at once.

#include <cstdint>
#include <string>

namespace relvane {

class WindowOperations {
public:
    virtual ~WindowOperations() = default;

    // The current text of the server field (ED_Address).
    virtual std::string ReadServerText() = 0;
    // The current text of the port field (ED_RemotePort), blanks included.
    virtual std::string ReadPortText() = 0;
    // History insertion for a server text.
    virtual void AddComboBox(const std::string& text) = 0;
    // Writes the port's decimal text into the port field, then the address
    // text into the server field; the history list is not changed.
    virtual void SetTargetFields(uint16_t port, const std::string& addressText) = 0;
    // Appends a line to the log (ShowLog).
    virtual void ShowLog(const std::string& line) = 0;
    // A modal error box; returns when it has been dismissed.
    virtual void ShowErrorBox(const std::string& text) = 0;
};

}  // namespace relvane
