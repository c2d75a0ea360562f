#include "site/QorDevice.h"

#include "comm/TkSession.h"
#include "comm/protocol/TkResultCodes.h"
#include "platform/Clock.h"
#include "resources/StringTable.h"
#include "site/DeviceModelName.h"
#include "site/SiteFrame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The computer's tick count in milliseconds; 64 bits, so an estimate stays right however
// long the program runs.
uint64_t TickCount() { return wv::GetClock().NowMs(); }

bool IsSondeType(uint8_t type) { return type >= 30 && type <= 40; }

} // namespace

int CQorDevice::SetLinks(CQorView* connection, CLegacyInstrument* legacy, CTkSession* session,
                         const FoundDeviceRecord& record)
{
    if (connection != nullptr) {
        SetParent(connection);
    }
    if (legacy != nullptr) {
        m_legacy = legacy;
    }
    if (session != nullptr) {
        m_session = session;
    }
    m_info.address = record.address;
    m_info.deviceType = record.deviceType;
    std::memcpy(m_info.name, record.name, sizeof(m_info.name));
    m_info.name[sizeof(m_info.name) - 1] = '\0';
    return 0;
}

void CQorDevice::AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter)
{
    InsertTreeItem(tree, parentItem, insertAfter, GetIconIndex(), GetLabel(), true);
}

ViewId CQorDevice::GetViewId(TreeItem item) const
{
    if (item == kNoTreeItem) {
        return ViewId::None;
    }
    if (item == GetTreeItem()) {
        return ViewId::Device;
    }
    if (item == m_testsItem) {
        return ViewId::TestList;
    }
    if (item == m_channelsItem) {
        return ViewId::ChannelList;
    }
    return ViewId::None;
}

void CQorDevice::RefreshTreeItem()
{
    if (GetTreeItem() == kNoTreeItem || GetTree() == nullptr) {
        return;
    }
    GetTree()->SetItemText(GetTreeItem(), GetLabel());
    GetTree()->Repaint();
}

NodeType CQorDevice::GetNodeType() const { return NodeType::Device; }

void CQorDevice::UpdateTreeItem(bool hasChildren) { ReinsertTreeItem(hasChildren, GetIconIndex(), GetLabel()); }

std::string CQorDevice::GetLabel() const
{
    char address[16];
    std::snprintf(address, sizeof(address), "%6.0d : ", static_cast<int>(m_info.address));
    return address + GetDeviceModelName(m_info.deviceType) + " - " + GetName();
}

int CQorDevice::GetIconIndex() const { return GetDeviceFamilyCode(m_info.deviceType); }

AppErrorCode CQorDevice::GetNextScheduledStart(wv::OleDateTime& start, uint8_t& testNumber) const
{
    (void)start;
    (void)testNumber;
    return kAppErrNoScheduledTest;
}

std::string CQorDevice::GetName() const { return DeviceInfoName(m_info); }

AppErrorCode CQorDevice::ReadDeviceInfo(std::span<uint8_t> definedTests, uint8_t* definedCount)
{
    if (m_session == nullptr) {
        return kAppErrNoAnswer;
    }
    DeviceInfoRecord info;
    int result = m_session->TalkTo(m_info.address, m_info.deviceType);
    if (result == 0) {
        result = m_session->GetDeviceInfo(&info, definedTests, nullptr);
    }
    if (result != 0) {
        // The link's "no reply after all resends" is the device not answering too.
        if (result == -1 || result == kTkErrNoReply) {
            return kAppErrNoAnswer;
        }
        return result == kTkErrLineLost ? kAppErrLineLost : result;
    }
    m_info = info;
    if (definedCount != nullptr) {
        *definedCount = static_cast<uint8_t>(std::min<size_t>(info.slotCount, definedTests.size()));
    }
    // A device that runs on an almost empty battery may report a clock that stopped.
    if (!HasExternalPower() && GetBatteryPercent() <= 5) {
        return kAppErrPowerLow;
    }
    m_clockAtRead = info.deviceClock;
    m_clockAtRead.hundredths = 0;
    m_tickAtRead = TickCount();
    m_clockRead = true;
    RefreshTreeItem();
    return kAppOk;
}

AppErrorCode CQorDevice::ExpandDeviceInfo()
{
    if (m_infoValid) {
        return kAppOk;
    }
    CSiteFrame* frame = GetMainFrame();
    if (frame != nullptr) {
        frame->SetStatusText(GetResString(kStrRetrievingDeviceInfo));
    }
    AppErrorCode result = kAppOk;
    {
        CBusyGuard busy(frame);
        result = ReadDeviceInfo(m_definedTests, &m_definedTestCount);
        if (result != kAppOk && result != kAppErrLineLost) {
            if (frame != nullptr) {
                SiteMessage message;
                message.textId = kStrDeviceInfoUnavailable;
                message.captionId = kStrExpandDevice;
                message.icon = MessageIcon::Error;
                frame->ShowMessage(message);
            }
        } else {
            // A lost line still leaves what was read; the caller drops the connection.
            m_infoValid = true;
        }
    }
    if (frame != nullptr) {
        frame->SetStatusText("");
    }
    return result;
}

bool CQorDevice::HasExternalPower() const
{
    const float minimum = IsSondeType(m_info.deviceType) && m_info.hardwareVersion >= 3.0 ? 6.8f : 4.4f;
    return m_info.supplyVoltage >= minimum;
}

bool CQorDevice::EstimateClock(DeviceTime& now) const
{
    if (!m_infoValid || !m_clockRead) {
        return false;
    }
    const uint64_t elapsedMs = TickCount() - m_tickAtRead;
    // Beyond 100 years the date would leave every range a device clock has.
    const auto seconds = static_cast<uint32_t>(std::min<uint64_t>(elapsedMs / 1000, 100ull * 366 * 86400));
    WideDuration elapsed;
    elapsed.days = seconds / 86400;
    elapsed.hours = seconds / 3600 % 24;
    elapsed.minutes = seconds / 60 % 60;
    elapsed.seconds = seconds % 60;
    now = m_clockAtRead;
    AddLongDuration(now, elapsed);
    return true;
}

wv::OleDateTime CQorDevice::GetCurrentDeviceTime() const
{
    DeviceTime now;
    if (!EstimateClock(now)) {
        return wv::OleDateTime(1900, 1, 1, 0, 0, 0);
    }
    wv::OleDateTime value;
    return DeviceTimeToOleDateTime(now, value);
}

std::string CQorDevice::GetClockText() const
{
    DeviceTime now;
    if (!EstimateClock(now)) {
        return {};
    }
    char text[48];
    std::snprintf(text, sizeof(text), "%u-%02u-%02u  %02u:%02u:%02u", static_cast<unsigned>(now.year),
                  static_cast<unsigned>(now.month), static_cast<unsigned>(now.day), static_cast<unsigned>(now.hour),
                  static_cast<unsigned>(now.minute), static_cast<unsigned>(now.second));
    return text;
}

void CQorDevice::TakeClockReading(const wv::OleDateTime& clock)
{
    m_infoValid = true;
    m_clockRead = clock.IsValid() && OleDateTimeToDeviceTime(clock, m_clockAtRead);
    m_clockAtRead.hundredths = 0;
    m_tickAtRead = TickCount();
}
