#include "site/QorTest.h"

#include "resources/StringTable.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"

#include "comm/TkSession.h"
#include "comm/protocol/TkResultCodes.h"
#include "foundation/Text.h"
#include "platform/OleDateTime.h"
#include "platform/ProgramHome.h"
#include "site/DefaultCallback.h"
#include "site/SiteFrame.h"
#include "site/WVDoc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

// The started-on time can name a file: a real date and time of day.
bool IsUsableTime(const DeviceTime& t)
{
    return IsValidDate(t.month, t.day, t.year) && t.hour < 24 && t.minute < 60 && t.second < 60;
}

// "Extracting test data...block n of m".
std::string BlockText(unsigned long block, unsigned long total)
{
    std::string text(GetResString(kStrExtractingTestData));
    for (const unsigned long value : {block, total}) {
        const size_t at = text.find("%lu");
        if (at != std::string::npos) {
            text.replace(at, 3, std::to_string(value));
        }
    }
    return text;
}

} // namespace

void CGetTestDataCallback::OnStart(unsigned long blocks)
{
    m_total = blocks;
    if (m_frame != nullptr) {
        m_frame->SetStatusText(BlockText(1, m_total));
    }
}

int CGetTestDataCallback::OnBlock(unsigned long block)
{
    const unsigned long percent = m_total == 0 ? 100 : std::min<unsigned long>(block * 100 / m_total, 100);
    if (m_frame == nullptr) {
        return 0;
    }
    m_frame->SetStatusText(BlockText(block, m_total));
    m_frame->SetProgress(static_cast<int>(percent));
    return m_frame->IsCancelRequested() ? 1 : 0;
}

void CGetTestDataCallback::OnEnd()
{
    if (m_frame != nullptr) {
        m_frame->SetStatusText("");
        m_frame->SetProgress(0);
    }
}

CQorTest::~CQorTest() = default;

CQorChannel* CQorTest::GetChannel(uint8_t parameterId) const
{
    for (const NodeOwner<CQorChannel>& channel : m_channels) {
        if (channel == nullptr) {
            break;
        }
        if (channel->GetParameterId() == parameterId) {
            return channel.get();
        }
    }
    return nullptr;
}

AppErrorCode CQorTest::Init(CQorDevice* device, CLegacyInstrument* legacy, CTkSession* session,
                            const TestDefinitionRecord& record)
{
    if (device != nullptr) {
        m_device = device;
        SetParent(device);
    }
    if (legacy != nullptr) {
        m_legacy = legacy;
    }
    if (session != nullptr) {
        m_session = session;
    }
    m_record = record;
    // An undefined test has no channels to read.
    m_channelsRead = record.state == kTestStateUndefined;
    return kAppOk;
}

AppErrorCode CQorTest::ReadDefinition()
{
    static constexpr AppErrorMapEntry kMap[] = {
        {0, kAppOk},
        {kTkErrOpen, kAppErrNoAnswer},
        {-1, kAppErrNoAnswer},
        {kTkErrNoReply, kAppErrNoAnswer},
        {kTkErrLineLost, kAppErrLineLost},
        {kTkErrLinkBusy, kTkErrLinkBusy},
    };
    if (m_session == nullptr) {
        return MapProtocolCode(kTkErrNoLink, kMap, kAppErrReadTest);
    }
    const DeviceTime definedOn = m_record.definedOn;
    int result = 0;
    if (m_device != nullptr) {
        result = m_session->TalkTo(m_device->GetAddress(), m_device->GetDeviceType());
    }
    TestDefinitionRecord record;
    if (result == 0) {
        result = m_session->GetTestDefinition(m_record.testId, &record, nullptr);
    }
    if (result == 0) {
        // The reply does not carry the defined-on time: the node's stands.
        record.definedOn = definedOn;
        m_record = record;
    } else if (result != kTkErrTestNotOnDevice && result != kTkErrLinkBusy) {
        SetTestName(m_record, std::string(GetResString(kStrTestInError)));
        m_record.state = kTestStateUndefined;
    }
    return MapProtocolCode(result, kMap, kAppErrReadTest);
}

AppErrorCode CQorTest::WriteDefinition(TestDefinitionRecord record, RelayDefinitionRecord relays)
{
    (void)relays; // relays belong to a logger family that gets no node
    static constexpr AppErrorMapEntry kMap[] = {
        {5002, kAppErrTestRefused}, {5024, kAppErrTestRefused}, {kTkErrOpen, kAppErrNoAnswer},
        {-1, kAppErrNoAnswer}, {kTkErrNoReply, kAppErrNoAnswer}, {5025, kAppErrTestRunning},
        {5026, kAppErrTestNumber}, {5027, kAppErrClockNotSet}, {5028, kAppErrTestType},
        {5029, kAppErrTestStart}, {5030, kAppErrTestChannel}, {5049, kAppErrTestChannel},
        {5050, kAppErrTestChannel}, {5052, kAppErrTestChannel}, {5031, kAppErrTestDateTime},
        {5032, kAppErrTestDateTime}, {5033, kAppErrTestInterval}, {5034, kAppErrTestInterval},
        {5051, kAppErrTestInterval}, {5048, kAppErrTestChannelCount}, {kTkErrLineLost, kAppErrLineLost},
    };
    int result = kTkErrNoLink;
    if (m_session != nullptr) {
        result = m_device != nullptr ? m_session->TalkTo(m_device->GetAddress(), m_device->GetDeviceType()) : 0;
        if (result == 0) {
            result = m_session->DeleteTest(record.testId, nullptr);
        }
        if (result == 0) {
            CDefaultCallback callback;
            result = m_session->SetTestDefinition(&record, &callback);
        }
        if (result == 0) {
            const DeviceTime kept = record.definedOn;
            if (m_device != nullptr) {
                const wv::OleDateTime now = m_device->GetCurrentDeviceTime();
                record.definedOn = DeviceTime{static_cast<uint16_t>(now.GetYear()),
                                              static_cast<uint8_t>(now.GetMonth()),
                                              static_cast<uint8_t>(now.GetDay()),
                                              static_cast<uint8_t>(now.GetHour()),
                                              static_cast<uint8_t>(now.GetMinute()),
                                              static_cast<uint8_t>(now.GetSecond()),
                                              kept.hundredths};
            }
            m_record = record;
        }
    }
    RefreshTreeItem();
    if (auto* doc = dynamic_cast<CWVDoc*>(GetNodeWatcher())) {
        doc->UpdateOtherViews();
    }
    return MapProtocolCode(result, kMap);
}

AppErrorCode CQorTest::StartTest()
{
    static constexpr AppErrorMapEntry kMap[] = {
        {5002, kAppErrStartTest},       {5024, kAppErrStartTest},   {kTkErrOpen, kAppErrNoAnswer},
        {-1, kAppErrNoAnswer},          {kTkErrNoReply, kAppErrNoAnswer}, {5026, kAppErrTestNumber},
        {5027, kAppErrClockNotSet},     {5035, kAppErrMemoryFailure}, {kTkErrLineLost, kAppErrLineLost},
    };
    int result = kTkErrNoLink;
    if (m_session != nullptr) {
        result = m_device != nullptr ? m_session->TalkTo(m_device->GetAddress(), m_device->GetDeviceType()) : 0;
        if (result == 0) {
            result = m_session->StartTest(m_record.testId, nullptr);
        }
    }
    m_record.sampleCount = 1;
    return MapProtocolCode(result, kMap);
}

AppErrorCode CQorTest::StopTest()
{
    static constexpr AppErrorMapEntry kMap[] = {
        {0, kAppOk},
        {kTkErrOpen, kAppErrNoAnswer},
        {-1, kAppErrNoAnswer},
        {kTkErrNoReply, kAppErrNoAnswer},
        {5036, kAppErrNoRunningTest},
        {kTkErrLineLost, kAppErrLineLost},
        {kTkErrLinkBusy, kTkErrLinkBusy},
    };
    int result = kTkErrNoLink;
    if (m_session != nullptr) {
        result = m_device != nullptr ? m_session->TalkTo(m_device->GetAddress(), m_device->GetDeviceType()) : 0;
        if (result == 0) {
            const uint8_t running = m_device != nullptr ? m_device->GetRunningTestId() : m_record.testId;
            result = m_session->StopTest(running, nullptr);
        }
    }
    return MapProtocolCode(result, kMap, kAppErrStopTest);
}

std::string CQorTest::ExtractedFileName() const
{
    // The name up to its terminating zero, as the device keeps it (Windows-1252): every
    // character a file name cannot or should not hold becomes a hyphen, so no folder part
    // or control character comes from the device.
    std::string name(m_record.name, strnlen(m_record.name, kTestNameSize - 1));
    for (char& c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos) {
            c = '-';
        }
    }
    // Dot names alone would name a folder; they get hyphens too.
    if (name == "." || name == "..") {
        name.assign(name.size(), '-');
    }
    const DeviceTime& t = m_record.startTime;
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "SN%5.5u %4.4d-%2.2d-%2.2d %2.2d%2.2d%2.2d ",
                  static_cast<unsigned>(m_device != nullptr ? m_device->GetAddress() : 0), t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return prefix + Cp1252ToUtf8(name) + ".bin";
}

AppErrorCode CQorTest::MakeDataFileName(std::string& path) const
{
    path.clear();
    if (m_record.state < kTestStateRunning || m_record.state > kTestStateAbended || !IsUsableTime(m_record.startTime)) {
        return kAppErrNoTestData;
    }
    const std::filesystem::path folder = wv::EnsureProgramFolder("Data");
    if (folder.empty()) {
        return kAppErrLocalTestFile;
    }
    path = (folder / ExtractedFileName()).string();
    return kAppOk;
}

AppErrorCode CQorTest::DownloadData(std::string& path)
{
    static constexpr AppErrorMapEntry kMap[] = {
        {0, kAppOk},
        {kTkErrOpen, kAppErrNoAnswer},
        {-1, kAppErrNoAnswer},
        {kTkErrNoReply, kAppErrNoAnswer},
        {kTkErrLegacyNoData, kAppErrNoTestData},
        {5044, kAppErrDeviceTimeout},
        {5045, kAppErrDownloadInterrupted},
        {kTkErrCancelled, kAppErrDownloadCancelled},
        {5069, kAppErrDownloadTruncated},
        {kTkErrLineLost, kAppErrLineLost},
        {kTkErrLinkBusy, kTkErrLinkBusy},
        {kTkErrFileOpen, kAppErrLocalTestFile},
        {kTkErrFileSeek, kAppErrLocalTestFile},
        {kTkErrFileRead, kAppErrLocalTestFile},
        {kTkErrFileWrite, kAppErrLocalTestFile},
    };
    path.clear();
    const AppErrorCode read = ReadDefinition();
    if (read != kAppOk) {
        return read;
    }
    std::string target;
    const AppErrorCode named = MakeDataFileName(target);
    if (named != kAppOk) {
        return named;
    }
    int result = m_device != nullptr ? m_session->TalkTo(m_device->GetAddress(), m_device->GetDeviceType()) : 0;
    if (result == 0) {
        CGetTestDataCallback callback(GetMainFrame());
        result = m_session->DownloadTestData(m_record.testId, target, &callback);
    }
    if (result == 0) {
        path = target;
    }
    return MapProtocolCode(result, kMap, kAppErrDownload);
}

void CQorTest::AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter)
{
    InsertTreeItem(tree, parentItem, insertAfter, GetIconIndex(), GetLabel(), false);
}

ViewId CQorTest::GetViewId(TreeItem item) const
{
    return item != kNoTreeItem && item == GetTreeItem() ? ViewId::Test : ViewId::None;
}

void CQorTest::RefreshTreeItem()
{
    if (GetTreeItem() == kNoTreeItem || GetTree() == nullptr) {
        return;
    }
    GetTree()->SetItemText(GetTreeItem(), GetLabel());
    GetTree()->SetItemImage(GetTreeItem(), GetIconIndex());
    GetTree()->Repaint();
}

NodeType CQorTest::GetNodeType() const { return NodeType::Test; }

std::string CQorTest::GetLabel() const { return GetIdText() + " : " + GetScheduleTypeText() + " - " + GetName(); }

int CQorTest::GetIconIndex() const
{
    switch (m_record.state) {
    case kTestStatePendingManual: return 6;
    case kTestStatePendingScheduled: return 9;
    case kTestStateRunning: return 8;
    case kTestStateComplete: return 10;
    default: return 5;
    }
}

std::string CQorTest::GetIdText() const
{
    if (m_record.state == kTestStateUndefined) {
        return {};
    }
    char text[8];
    std::snprintf(text, sizeof text, m_record.testId > 9 ? "%d" : "  %d", static_cast<int>(m_record.testId));
    return text;
}

std::string CQorTest::GetScheduleTypeText() const
{
    if (m_record.state == kTestStateUndefined) {
        return std::string(GetResString(kStrUnknown));
    }
    switch (m_record.scheduleType) {
    case 1: return std::string(GetResString(kStrScheduleLinear));
    case 2: return std::string(GetResString(kStrScheduleLog));
    case 3: return std::string(GetResString(kStrScheduleEvent));
    case 4: return std::string(GetResString(kStrScheduleLinearAverage));
    default: return std::string(GetResString(kStrScheduleError));
    }
}

AppErrorCode CQorTest::GetScheduledStart(DeviceTime& start) const
{
    if (m_record.state != kTestStatePendingScheduled) {
        return kAppErrNoStartTime;
    }
    start = m_record.scheduledStart;
    return kAppOk;
}

AppErrorCode CQorTest::GetStartTime(DeviceTime& start) const
{
    if (m_record.state < kTestStateRunning || m_record.state > kTestStateAbended) {
        return kAppErrNoStartTime;
    }
    start = m_record.startTime;
    return kAppOk;
}

bool CQorTest::HasDeleteFlag() const
{
    return (m_record.state == kTestStateComplete || m_record.state == kTestStateAbended) &&
           m_record.dataDeleteFlag != 0;
}

uint8_t CQorTest::GetChannelCode(int index) const
{
    if (index < 0 || index >= m_record.channelCount || index >= static_cast<int>(m_record.channels.size())) {
        return 0;
    }
    return m_record.channels[static_cast<size_t>(index)];
}

void CQorTest::SetStartTime(const DeviceTime& time)
{
    if (time == DeviceTime{}) {
        return;
    }
    m_record.startTime = time;
    m_record.startTime.hundredths = 0;
}

void CQorTest::SetStopTime(const DeviceTime& time)
{
    if (time == DeviceTime{}) {
        return;
    }
    m_record.stopTime = time;
    m_record.stopTime.hundredths = 0;
}

void CQorTest::SetDeleteFlag(bool set)
{
    if (m_record.state == kTestStateComplete || m_record.state == kTestStateAbended) {
        m_record.dataDeleteFlag = set ? 1 : 0;
    }
}

void CQorTest::SetState(uint8_t state)
{
    if (state >= kTestStatePendingManual && state <= kTestStateAbended) {
        m_record.state = state;
    }
}

std::string CQorTest::GetStateText() const
{
    static constexpr uint32_t kTexts[] = {kStrStateUndefined, kStrStatePendingManual, kStrStatePendingScheduled,
                                          kStrStateRunning,   kStrStateComplete,      kStrStateAbended};
    return std::string(GetResString(m_record.state < 6 ? kTexts[m_record.state] : kStrStateError));
}
