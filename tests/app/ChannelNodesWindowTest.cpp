// The channels of found devices in the window, against the instrument simulator: a sonde
// with a sensor of every parameter kind and a level logger, each refreshed, their
// parameters listed under "Parameters" with their labels and icons.

#include "tests/app/AppFixture.h"

#include "app/CommandIds.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"
// Qt's "slots" keyword would rename a field of the simulator's device records.
#pragma push_macro("slots")
#undef slots
#include "tools/instrument-sim/ProfilingDevices.h"
#pragma pop_macro("slots")

#include <QAction>
#include <QMenu>

#include <memory>
#include <string>
#include <vector>

namespace {

using wvtest::AppFixture;

constexpr uint16_t kSonde = 2002;
constexpr uint16_t kLogger = 1001;

class ChannelNodesWindowTest : public AppFixture {
protected:
    void SetUp() override
    {
        sim.AddDevice(kSonde, 30, "Sonde", 9600);
        sim.AddDevice(kLogger, 25, "Level", 9600);
        sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) { wv::sim::SetUpFullSonde(d); });
        sim.WithDevice(kLogger, [](wv::sim::SimDevice& d) { wv::sim::SetUpLevelLogger(d); });
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        app_->GetPreferences().expandOnFind = 0;
        UseSimulatorPump(sim);
    }

    // Selects the device and refreshes it from its context menu; its parameters' item is
    // then expanded.
    void RefreshAndExpand(CQorDevice& device)
    {
        Tree().SelectItem(device.GetTreeItem());
        Pump();
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        QAction* refresh = menu->findChild<QAction*>(QString::number(wvcmd::kTreeRefresh));
        ASSERT_NE(refresh, nullptr);
        refresh->trigger();
        ASSERT_NE(device.GetChannelsItem(), kNoTreeItem);
        Tree().ItemOf(device.GetTreeItem())->setExpanded(true);
        Tree().ItemOf(device.GetChannelsItem())->setExpanded(true);
        Pump();
    }

    // Every child of the parameters' item shows an icon.
    bool ChildrenHaveIcons(TreeItem item)
    {
        for (TreeItem child = Tree().GetChildItem(item); child != kNoTreeItem; child = Tree().GetNextSiblingItem(child)) {
            if (Tree().ItemOf(child)->icon(0).isNull()) {
                return false;
            }
        }
        return true;
    }

    CTkLink* OpenLink() { return wvtest::OpenLinkOf(app_ != nullptr ? Doc().GetSite() : nullptr); }

    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
    static constexpr uint32_t kIdleStepMs = 1000;
    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        return options;
    }

    wv::ManualClock clock{1000000};
    wv::sim::InstrumentSim sim{OnClock(clock)};
    commtest::SimulatorEventClock pacedClock{clock, sim, [this] { return OpenLink(); }, kIdleStepMs};
    wv::ScopedClock useClock{pacedClock};
    int port = 0;
};

TEST_F(ChannelNodesWindowTest, TheParametersOfBothFamiliesShowTheirLabelsAndIcons)
{
    CQorConnection& connection = wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), "Bench", port, true);
    Tree().FindDevices(connection);
    ASSERT_EQ(connection.GetDeviceCount(), 2);
    CQorDevice* sonde = nullptr;
    CQorDevice* logger = nullptr;
    for (int i = 0; i < connection.GetDeviceCount(); ++i) {
        CQorDevice* device = connection.GetDevice(i);
        (device->GetAddress() == kSonde ? sonde : logger) = device;
    }
    ASSERT_NE(sonde, nullptr);
    ASSERT_NE(logger, nullptr);

    RefreshAndExpand(*sonde);
    // No message box: the capped sensor's reminder that its cap expires in 45 days is the
    // cap warning.
    for (const SiteMessage& m : messages) {
        ADD_FAILURE() << m.textId << " " << m.detail;
    }
    messages.clear();
    ASSERT_EQ(capWarnings.size(), 1u);
    EXPECT_NE(capWarnings[0].text.find("cap expires in 45 days"), std::string::npos) << capWarnings[0].text;
    EXPECT_EQ(ChildTexts(sonde->GetChannelsItem()),
              (std::vector<std::string>{"Temperature", "Depth", "Barometric", "P1 : pH", "P1 : ORP",
                                        "P2 : Dissolved Oxygen", "P3 : Ammonium", "P3 : Nitrate", "P4 : Chloride",
                                        "P4 : Conductivity", "Turbidity", "Turbidity Wiper",
                                        "P3 : Korvant Dissolved Oxygen", "P1 : Korvant Dissolved Oxygen"}));
    EXPECT_TRUE(ChildrenHaveIcons(sonde->GetChannelsItem()));

    RefreshAndExpand(*logger);
    EXPECT_TRUE(messages.empty());
    const std::vector<std::string> loggerTexts = ChildTexts(logger->GetChannelsItem());
    ASSERT_EQ(loggerTexts.size(), 2u);
    EXPECT_EQ(loggerTexts[0].rfind("Temperature - ", 0), 0u) << loggerTexts[0];
    EXPECT_TRUE(ChildrenHaveIcons(logger->GetChannelsItem()));
}

} // namespace
