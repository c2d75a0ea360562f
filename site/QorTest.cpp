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
#include "values/UnitConversion.h"

#include <algorithm>
#include <cmath>
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

// "2012-03-04  05:06:07"; empty for a time that is no real date.
std::string DateText(const DeviceTime& t)
{
    if (!IsUsableTime(t)) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%4.4d-%2.2d-%2.2d  %2.2d:%2.2d:%2.2d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::string Number(long value) { return std::to_string(value); }

// The codes of the channel list the node looks at: at most its 50 slots.
int ListedCodes(const TestDefinitionRecord& record)
{
    return std::min<int>(record.channelCount, static_cast<int>(std::min(record.channels.size(), CQorTest::kMaxChannels)));
}

} // namespace

double ConvertChannelValue(const CQorChannel* channel, double nativeValue)
{
    if (channel == nullptr) {
        return 0.0;
    }
    const int native = channel->GetNativeUnit(false);
    const int display = channel->GetDefaultUnits();
    const bool units = native >= 0 && display >= 0;
    const auto kind = static_cast<ParameterTypeCode>(channel->GetKind());
    if (channel->GetKind() != 3 || channel->GetDensity() != 0.0) {
        if (!units) {
            return nativeValue;
        }
        double out = nativeValue;
        if (ConvertUnits(nativeValue, out, kind, static_cast<int16_t>(native), static_cast<int16_t>(display),
                         channel->GetDensity(), channel->GetGravity()) != 0) {
            return std::nan("");
        }
        return out;
    }
    const double converted =
        units ? ConvertUnitsDefault(nativeValue, kind, static_cast<int16_t>(native), static_cast<int16_t>(display))
              : nativeValue;
    const double gravity = channel->GetSpecificGravityField();
    return gravity == 0.0 ? std::nan("") : converted / gravity;
}

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

AppErrorCode CQorTest::Refresh()
{
    CSiteFrame* frame = GetMainFrame();
    if (frame != nullptr) {
        frame->SetStatusText(GetResString(kStrRefreshingTests));
        frame->ActivateTreeView();
    }
    AppErrorCode result = kAppOk;
    {
        CBusyGuard busy(frame);
        result = ReadDefinition();
        if (result == kAppOk) {
            m_channelsRead = false;
            RefreshTreeItem();
            const bool hasChildren = m_channels[0] != nullptr ||
                                     (GetTree() != nullptr && GetTreeItem() != kNoTreeItem &&
                                      GetTree()->GetChildItem(GetTreeItem()) != kNoTreeItem);
            if (hasChildren) {
                DeleteChannels();
                Expand();
            }
        }
    }
    if (frame != nullptr) {
        frame->SetStatusText("");
    }
    if (auto* doc = dynamic_cast<CWVDoc*>(GetNodeWatcher())) {
        doc->UpdateOtherViews();
    }
    return result;
}

AppErrorCode CQorTest::Expand()
{
    if (m_channelsRead || m_expanding) {
        return kAppOk;
    }
    m_expanding = true;
    CSiteFrame* frame = GetMainFrame();
    if (frame != nullptr) {
        frame->SetCancellable();
    }
    AppErrorCode result = kAppOk;
    {
        CBusyGuard busy(frame);
        UpdateTreeItem(true);
        RefreshTreeItem();
        if (GetTree() != nullptr && GetTreeItem() != kNoTreeItem) {
            GetTree()->Expand(GetTreeItem());
        }
        // Channels left from before (a caller that did not delete them) are not kept.
        DeleteChannels();
        const bool finished = m_record.state == kTestStateComplete || m_record.state == kTestStateAbended;
        result = finished ? ReadChannelDefsFromDevice() : BuildChannelsFromDevice();
        if (frame != nullptr) {
            frame->SetStatusText("");
        }
    }
    m_expanding = false;
    return result;
}

bool CQorTest::AddChannel(const ChannelDefinitionRecord& record, size_t& slot)
{
    NodeOwner<CQorChannel> channel = MakeNode<CQorChannel>();
    if (channel->Init(record, this, m_session) != kAppOk) {
        return false;
    }
    if (GetTree() != nullptr && GetTreeItem() != kNoTreeItem) {
        channel->AddToTree(GetTree(), GetTreeItem(), kTreeLast);
    }
    m_channels[slot++] = std::move(channel);
    return true;
}

AppErrorCode CQorTest::BuildChannelsFromDevice()
{
    CSiteFrame* frame = GetMainFrame();
    const int count = ListedCodes(m_record);
    size_t slot = 0;
    for (int i = 0; i < count && slot < m_channels.size(); ++i) {
        if (frame != nullptr) {
            frame->SetProgress(100 * i / count);
        }
        const uint8_t code = m_record.channels[static_cast<size_t>(i)];
        CQorChannel* own = code < 100 && m_device != nullptr ? m_device->GetChannel(code, true) : nullptr;
        if (own == nullptr || !AddChannel(own->GetRecord(), slot)) {
            continue;
        }
        if (own->HasReading()) {
            m_channels[slot - 1]->SetReading(own->GetLastValue(), own->IsValueDisplay());
        }
    }
    if (frame != nullptr) {
        frame->SetProgress(0);
    }
    m_channelsRead = true;
    return kAppOk;
}

AppErrorCode CQorTest::ReadChannelDefsFromDevice()
{
    static constexpr AppErrorMapEntry kMap[] = {
        {0, kAppOk},
        {kTkErrNoLink, kAppErrReadCancelled},
        {5016, kAppErrReadCancelled},
        {5024, kAppErrReadCancelled},
        {5042, kAppErrReadCancelled},
        {5043, kAppErrReadCancelled},
        {5044, kAppErrReadCancelled},
        {5045, kAppErrReadCancelled},
        {kTkErrCancelled, kAppErrReadCancelled},
        {kTkErrLineLost, kAppErrLineLost},
        {-1, kAppErrNoAnswer},
        {kTkErrNoReply, kAppErrNoAnswer},
        {kTkErrLinkBusy, kTkErrLinkBusy},
    };
    CSiteFrame* frame = GetMainFrame();
    if (frame != nullptr) {
        frame->SetStatusText(GetResString(kStrRetrievingTestChannels));
    }
    int result = kTkErrNoLink;
    if (m_session != nullptr) {
        result = m_device != nullptr ? m_session->TalkTo(m_device->GetAddress(), m_device->GetDeviceType()) : 0;
    }
    const int count = ListedCodes(m_record);
    size_t slot = 0;
    for (int i = 0; result == 0 && i < count && slot < m_channels.size(); ++i) {
        const uint8_t code = m_record.channels[static_cast<size_t>(i)];
        if (code >= 100) {
            continue;
        }
        if (frame != nullptr && frame->IsCancelRequested()) {
            frame->ClearCancelRequest();
            result = kTkErrCancelled;
            break;
        }
        ChannelDefinitionRecord record;
        result = m_session->GetTestChannelConfig(m_record.testId, code, &record, nullptr);
        if (frame != nullptr) {
            frame->SetProgress(100 * (i + 1) / count);
        }
        if (result == kTkStatusNoChannel) {
            result = 0;
            continue;
        }
        if (result == 0 && !AddChannel(record, slot)) {
            result = kAppErrNodeInit;
        }
    }
    if (frame != nullptr) {
        frame->SetProgress(0);
    }
    if (result != 0) {
        DeleteChannels();
        m_channelsRead = false;
        UpdateTreeItem(false);
        RefreshTreeItem();
        return MapProtocolCode(result, kMap, kAppErrExpandTests);
    }
    m_channelsRead = true;
    return kAppOk;
}

void CQorTest::DeleteChannels()
{
    CSiteTree* tree = GetTree();
    if (tree != nullptr && tree->IsAlive() && GetTreeItem() != kNoTreeItem) {
        const TreeItem selected = tree->GetSelectedItem();
        for (const NodeOwner<CQorChannel>& channel : m_channels) {
            if (channel != nullptr && selected != kNoTreeItem && channel->GetTreeItem() == selected) {
                tree->SelectItem(GetTreeItem());
                break;
            }
        }
    }
    for (NodeOwner<CQorChannel>& channel : m_channels) {
        if (channel != nullptr) {
            RetireNode(NodePtr(channel.release()));
        }
    }
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
        {kTkErrLegacyTruncated, kAppErrDownloadTruncated},
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
    // A truncated download still leaves a usable file: its path is given too.
    if (result == 0 || result == kTkErrLegacyTruncated) {
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
    CSiteTree* tree = GetTree();
    const bool shown = GetTreeItem() != kNoTreeItem && tree != nullptr;
    if (shown) {
        tree->SetItemText(GetTreeItem(), GetLabel());
        tree->SetItemImage(GetTreeItem(), GetIconIndex());
    }
    // A pending test's channels are the device's: they are built again, since the device's
    // channels may have changed. Not while its own expansion runs further up the stack.
    const bool pending = m_record.state == kTestStatePendingManual || m_record.state == kTestStatePendingScheduled;
    if (pending && m_channelsRead && !m_expanding) {
        m_channelsRead = false;
        DeleteChannels();
        if (Expand() != kAppOk) {
            if (CSiteFrame* frame = GetMainFrame()) {
                SiteMessage message;
                message.textId = kStrTestChannelsUnavailable;
                message.captionId = kStrUpdateTest;
                message.icon = MessageIcon::Error;
                frame->ShowMessage(message);
            }
        }
    }
    if (shown && GetTree() != nullptr) {
        GetTree()->Repaint();
    }
}

void CQorTest::UpdateTreeItem(bool hasChildren) { ReinsertTreeItem(hasChildren, GetIconIndex(), GetLabel()); }

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

// ---- Texts of the test views ----

std::string CQorTest::GetScheduledStartText() const
{
    return m_record.state == kTestStatePendingScheduled ? DateText(m_record.scheduledStart) : std::string();
}

std::string CQorTest::GetDefinedOnText() const { return IsDefined() ? DateText(m_record.definedOn) : std::string(); }

std::string CQorTest::GetStartedOnText() const
{
    return m_record.state >= kTestStateRunning && m_record.state <= kTestStateAbended ? DateText(m_record.startTime)
                                                                                       : std::string();
}

std::string CQorTest::GetStoppedOnText() const
{
    switch (m_record.state) {
    case kTestStateRunning: return std::string(GetResString(kStrStoppedRunning));
    case kTestStateComplete: return DateText(m_record.stopTime);
    case kTestStateAbended: return std::string(GetResString(kStrStoppedAbend));
    default: return {};
    }
}

std::string CQorTest::GetSampleCountText() const
{
    switch (m_record.state) {
    case kTestStateRunning: return Number(m_record.sampleCount) + "?";
    case kTestStateComplete:
    case kTestStateAbended: return Number(m_record.sampleCount);
    default: return {};
    }
}

std::string CQorTest::GetIntervalText() const
{
    if (!IsDefined()) {
        return {};
    }
    const Duration& d = m_record.interval;
    char text[160];
    std::snprintf(text, sizeof text, "%d %s : %d %s : %d %s : %d.%02d %s", d.days,
                  std::string(GetResString(kStrIntervalDays)).c_str(), d.hours,
                  std::string(GetResString(kStrIntervalHours)).c_str(), d.minutes,
                  std::string(GetResString(kStrIntervalMinutes)).c_str(), d.seconds, d.hundredths,
                  std::string(GetResString(kStrIntervalSeconds)).c_str());
    return text;
}

std::string CQorTest::GetSampleIntervalText() const
{
    return m_record.scheduleType == 4 ? Number(m_record.logPoints) : std::string();
}

std::string CQorTest::GetAverageCountText() const
{
    return m_record.scheduleType == 4 ? Number(m_record.averageCount) : std::string();
}

std::string CQorTest::GetStorageIntervalText() const
{
    return m_record.scheduleType == 3 ? Number(m_record.eventSetting) : std::string();
}

std::string CQorTest::GetDeltaValueText() const
{
    if (m_record.scheduleType != 3 || !m_channelsRead) {
        return {};
    }
    const CQorChannel* channel = GetChannel(m_record.eventChannel);
    if (channel == nullptr) {
        return "?";
    }
    const double delta = ConvertChannelValue(channel, m_record.eventThreshold) - ConvertChannelValue(channel, 0.0);
    if (!std::isfinite(delta)) {
        return "?";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%2.4f", delta);
    return std::string(text) + " " + channel->GetUnitsText();
}

void CQorTest::GetRelayDescription(int relay, std::string& mode, std::string& high, std::string& low) const
{
    (void)relay; // only a logger family without a node has relays
    mode.clear();
    high.clear();
    low.clear();
}

std::string CQorTest::FormatRelayText(int relay) const
{
    std::string mode;
    std::string high;
    std::string low;
    GetRelayDescription(relay, mode, high, low);
    return mode + "\n" + high + "\n" + low;
}
