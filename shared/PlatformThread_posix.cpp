#include "PlatformThread.h"

#include <pthread.h>

#include <memory>
#include <utility>

namespace relvane {
namespace {

void* RunBody(void* argument) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    (*body)();
    return nullptr;
}

}  // namespace

PlatformThread::~PlatformThread() { Join(); }

PlatformThread::PlatformThread(PlatformThread&& other) noexcept
    : Native(other.Native), Started(std::exchange(other.Started, false)) {}

PlatformThread& PlatformThread::operator=(PlatformThread&& other) noexcept {
    if (this != &other) {
        Join();
        Native = other.Native;
        Started = std::exchange(other.Started, false);
    }
    return *this;
}

PlatformThread PlatformThread::Start(std::function<void()> body, size_t stackBytes) {
    PlatformThread thread;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    auto* argument = new std::function<void()>(std::move(body));
    pthread_t native;
    if (pthread_create(&native, &attributes, RunBody, argument) == 0) {
        thread.Native = static_cast<unsigned long>(native);
        thread.Started = true;
    } else {
        delete argument;
    }
    pthread_attr_destroy(&attributes);
    return thread;
}

void PlatformThread::Join() {
    if (!std::exchange(Started, false)) return;
    pthread_join(static_cast<pthread_t>(Native), nullptr);
}

}  // namespace relvane
