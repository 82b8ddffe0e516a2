#include "relay/RemoteControlService.h"

#include <string>

#include "shared/PlatformSockets.h"
#include "shared/PortField.h"

namespace relvane {

RemoteControlPacket ServeRemoteControl(const RemoteControlPacket& request, WindowOperations& window) {
    RemoteControlPacket reply = request;
    if (request.IsQuery()) {
        window.ShowLog("Remote Control Query");
        // No name lookup: a host name answers as 255.255.255.255.
        reply.TargetAddress = InetAddr(window.ReadServerText());
        reply.TargetPort = PortFieldValue(window.ReadPortText());
    } else {
        window.ShowLog("Remote Controle Set ");
        window.SetTargetFields(request.TargetPort, FormatDottedQuad(request.TargetAddress));
    }
    return reply;
}

}  // namespace relvane
