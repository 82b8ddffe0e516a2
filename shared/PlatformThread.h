#pragma once
// A joinable thread with a chosen stack size (std::thread offers no way to
// set one). The relay runs one thread per connection; the platform default
// stack would make hundreds of them costly for what each needs.

#include <cstddef>
#include <functional>

namespace relvane {

class PlatformThread {
public:
    PlatformThread() = default;
    ~PlatformThread();  // joins a thread that was not joined yet
    PlatformThread(PlatformThread&& other) noexcept;
    PlatformThread& operator=(PlatformThread&& other) noexcept;
    PlatformThread(const PlatformThread&) = delete;
    PlatformThread& operator=(const PlatformThread&) = delete;

    // Returns a thread that is not joinable when the platform refuses one.
    static PlatformThread Start(std::function<void()> body, size_t stackBytes);

    bool Joinable() const { return Started; }
    void Join();

private:
    unsigned long Native = 0;
    bool Started = false;
};

}  // namespace relvane
