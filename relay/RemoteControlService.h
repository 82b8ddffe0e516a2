#pragma once
// The relay's answer to a remote-control request: a query reads the target
// fields of the window, a set writes them. The reply is built here; the
// listener that received the request sends it.

#include "relay/WindowOperations.h"
#include "shared/RemoteControlPacket.h"

namespace relvane {

// Logs the request's line and returns the reply: a query's with the current
// target, a set's equal to the request.
RemoteControlPacket ServeRemoteControl(const RemoteControlPacket& request, WindowOperations& window);

}  // namespace relvane
