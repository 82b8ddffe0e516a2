#pragma once
// What a remote-control request may ask of the program that started it: the
// window, or the command line. A request has no other way to the user.

#include <cstdint>
#include <string>

#include "shared/SocketAddress.h"

namespace relvane::remote {

// A finished request, as its completion handler sees it. Every request has
// its own; requests that overlap never share one.
struct RequestOutcome {
    int32_t IsQuery = 0;  // non-zero: a query; zero: a set
    bool Answered = false;
    Ipv4Bytes TargetAddress{};  // network order
    uint16_t TargetPort = 0;
};

// How a program reports a request that got no answer.
inline constexpr char QueryFailedText[] = "Error : Couldn't query the proxy server";
inline constexpr char SetFailedText[] = "Error : Couldn't configure the proxy server";

class RequestUi {
public:
    virtual ~RequestUi() = default;

    // Shows an error box and returns once it has been dismissed. Called on the
    // thread that constructs the request (its set-up) and on the request's own
    // thread (its run); the implementation hands the latter over to the UI.
    virtual void ShowErrorBox(const std::string& text) = 0;

    // The completion handler: called once per request, on the request's own
    // thread after its run; the implementation hands it over to the UI and
    // returns when it has been handled. The request is released afterwards.
    virtual void Complete(const RequestOutcome& outcome) = 0;
};

}  // namespace relvane::remote
