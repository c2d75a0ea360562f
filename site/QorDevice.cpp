#include "site/QorDevice.h"

#include "site/DeviceModelName.h"

#include "platform/Clock.h"
#include "platform/OleDateTime.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kSecondsPerDay = 86400.0;

uint32_t TickCount() { return static_cast<uint32_t>(wv::GetClock().NowMs()); }

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

wv::OleDateTime CQorDevice::GetCurrentDeviceTime() const
{
    if (!m_infoValid || !m_clockRead) {
        return wv::OleDateTime(1900, 1, 1, 0, 0, 0);
    }
    const uint32_t elapsed = (TickCount() - m_tickAtRead) / 1000u;
    // Whole seconds on the date-time value, rounded to the second it names.
    const double seconds = std::round(m_clockAtRead * kSecondsPerDay) + static_cast<double>(elapsed);
    return wv::OleDateTime(seconds / kSecondsPerDay);
}

void CQorDevice::TakeClockReading(const wv::OleDateTime& clock)
{
    m_infoValid = true;
    m_clockRead = clock.IsValid();
    m_clockAtRead = clock.GetValue();
    m_tickAtRead = TickCount();
}
