#pragma once
// Helpers of the tests that run a site's connections against the instrument simulator.

#include "comm/TkLink.h"
#include "platform/SerialDevice.h"
#include "site/QorConnection.h"
#include "site/QorSite.h"
#include "tests/comm/CommTestSupport.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <string>

namespace wvtest {

// The link of the site's first open connection, or null.
inline CTkLink* OpenLinkOf(const CQorSite* site)
{
    for (int i = 0; site != nullptr && i < site->GetConnectionCount(); ++i) {
        if (CTkLink* link = site->GetConnection(i)->GetLink()) {
            return link;
        }
    }
    return nullptr;
}

// Waits (in real time, at most 10 s) until the simulator has sampled the rate the open
// link's port is set to, so every frame is heard at the rate it was sent at.
inline void SimSeesLinkRate(const wv::sim::InstrumentSim& sim, const CQorSite* site)
{
    CTkLink* link = OpenLinkOf(site);
    wv::SerialFormat format;
    if (link == nullptr || !link->IsOpen() || link->Transport()->Port() == nullptr ||
        link->Transport()->Port()->Device().GetFormat(format) != 0 || !sim.IsRunning()) {
        return;
    }
    commtest::SimulatorHearsRate(sim, format.baud, 10000);
}

// Adds a direct connection at 9600 baud on COM number comNumber to the site and puts it
// in the tree under the site's item.
inline CQorConnection& AddDirectConnection(CQorSite& site, CSiteTree* tree, const std::string& name, int comNumber,
                                           bool network)
{
    CConnectionInfo info;
    info.name = name;
    info.kind = kConnectionDirect;
    info.port = static_cast<uint8_t>(comNumber - 1);
    info.baud = 9600;
    EXPECT_EQ(site.AddConnection(info, network), kAppOk);
    CQorConnection* connection = site.GetConnection(site.GetConnectionCount() - 1);
    connection->AddToTree(tree, site.GetTreeItem(), kTreeLast);
    return *connection;
}

} // namespace wvtest
