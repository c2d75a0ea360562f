// The device side of the commands every current-generation device answers: identify (2),
// to the broadcast address during a search or to its own address, and the baud change (40).
// Later command groups install their handlers from InstallStandardHandlers too.

#include "tools/instrument-sim/InstrumentSim.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/LegacyCommands.h"
#include "tools/instrument-sim/MfgCommands.h"
#include "tools/instrument-sim/TestCommands.h"

namespace wv::sim {

namespace {

// Name field: 16 characters at most, then zeros (17 bytes in all).
constexpr size_t kNameField = 17;

SimReply Identify(SimDevice& device, const SimRequest& request)
{
    if (request.broadcast) {
        // The body lists the addresses found so far, four bytes each, most significant byte
        // first and never byte-swapped. A device on that list keeps quiet so the others can
        // be heard. A trailing partial address is ignored.
        for (size_t at = 0; at + 4 <= request.body.size(); at += 4) {
            uint32_t listed = (uint32_t{request.body[at]} << 24) | (uint32_t{request.body[at + 1]} << 16) |
                              (uint32_t{request.body[at + 2]} << 8) | uint32_t{request.body[at + 3]};
            if (listed == device.Address()) {
                ++device.MutableCounters().identifySuppressed;
                return SimReply::None();
            }
        }
    }
    ++device.MutableCounters().identifyAnswered;
    TkBodyWriter w;
    w.U32(device.Address()).Text(device.Name(), kNameField).U32(device.Type());
    return SimReply::Answer(w.Take(), kTkIdentifyLayout);
}

SimReply SetBaud(SimDevice& device, const SimRequest& request)
{
    uint32_t baud = request.body.size() == 1 ? BaudForCode(request.body[0]) : 0;
    if (baud != 0) {
        device.SetListeningBaud(baud);
        ++device.MutableCounters().baudChanges;
    }
    // A broadcast is never answered (several devices would collide, and the host expects
    // nothing). An addressed request is answered at the rate it came in at; an unknown code
    // gets the unknown-command status.
    if (request.broadcast) {
        return SimReply::None();
    }
    return baud != 0 ? SimReply::Answer() : SimReply::Status(kStatusUnknownCommand);
}

} // namespace

void InstallStandardHandlers(SimDevice& device)
{
    device.SetHandler(kTkCmdIdentify, Identify);
    device.SetHandler(kTkCmdSetBaud, SetBaud);
    // An older-generation device speaks its own command set only.
    if (IsLegacySimType(device.Type())) {
        InstallLegacyCommands(device);
        return;
    }
    InstallFileCommands(device);
    InstallDeviceCommands(device);
    InstallTestCommands(device);
    InstallChannelCommands(device);
    InstallMfgCommands(device);
}

} // namespace wv::sim
