// The firmware upgrade wizard's parts that need no device line: the progress callback's
// phases and the status text painted on the upgrade page.

#include "wizards/UpgradeWizFirm.h"

#include "resources/StringTable.h"

#include <QImage>
#include <QProgressBar>

#include <gtest/gtest.h>

namespace {

int Bar(CUpgradeWizFirmSheet& wiz, int id) { return wiz.UpgradePage().ItemAs<QProgressBar>(id)->value(); }

TEST(UpgradeWizFirmCallback, PhasesMoveTheirOwnBarClampedAndLaterPhasesAreIgnored)
{
    CUpgradeWizFirmSheet wiz(nullptr);
    CUpgradeWizFirmCllbk callback(wiz.UpgradePage());
    // Before any phase has begun nothing moves.
    EXPECT_EQ(callback.Progress(40), 0);
    EXPECT_EQ(Bar(wiz, kIdFirmTransferBar), 0);

    struct Step {
        bool begin;          // Begin before the progress
        intptr_t position;
        int transfer;        // the bars afterwards
        int program;
    };
    const Step steps[] = {
        {true, 30, 30, 0},   {false, -5, 0, 0},   {false, 250, 100, 0},
        {true, 40, 100, 40}, {false, 1000, 100, 100},
        {true, 7, 100, 100}, // a third phase changes nothing
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.position);
        if (s.begin) {
            callback.Begin(0);
        }
        EXPECT_EQ(callback.Progress(s.position), 0);
        EXPECT_EQ(Bar(wiz, kIdFirmTransferBar), s.transfer);
        EXPECT_EQ(Bar(wiz, kIdFirmProgramBar), s.program);
    }
    EXPECT_EQ(callback.GetPhase(), 3);
}

TEST(UpgradeWizFirmCallback, TheStatusTextFollowsTheUpgradeStatus)
{
    CUpgradeWizFirmSheet wiz(nullptr);
    EXPECT_EQ(wiz.GetUpgradeStatus(), kFirmStatusFailed);
    const struct {
        int status;
        const char* text;
    } cases[] = {
        {kFirmStatusReady, "Press \"Upgrade Firmware\" to begin upgrade."},
        {kFirmStatusUpgrading, "Upgrading..."},
        {kFirmStatusDone, "Upgrade Successful!"},
        {kFirmStatusFailed, "Upgrade Failed!"},
    };
    for (const auto& c : cases) {
        wiz.SetUpgradeStatus(c.status);
        EXPECT_EQ(GetResString(wiz.UpgradePage().StatusTextId()), c.text);
    }
}

TEST(UpgradeWizFirmFiles, EachFamilyHasItsVersionFileAndHistory)
{
    const struct {
        int type;
        const char* version;
        const char* history;
    } cases[] = {
        {21, "Firmware/tavotk.ver", "Firmware/FirmHist.txt"},
        {25, "Firmware/tavotk.ver", "Firmware/FirmHist.txt"},
        {30, "Firmware/wqos.ver", "Firmware/FirmHist9K.txt"},
        {40, "Firmware/wqos.ver", "Firmware/FirmHist9K.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(FirmwareVersionFile(c.type), c.version) << c.type;
        EXPECT_STREQ(FirmwareHistoryFile(c.type), c.history) << c.type;
    }
}

} // namespace
