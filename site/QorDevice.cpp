#include "site/QorDevice.h"

#include "comm/TkSession.h"
#include "comm/protocol/TkResultCodes.h"
#include "foundation/AppUtils.h"
#include "foundation/Text.h"
#include "platform/Clock.h"
#include "platform/OleDateTime.h"
#include "platform/RegistryStore.h"
#include "resources/StringTable.h"
#include "site/DefaultCallback.h"
#include "site/DeviceModelName.h"
#include "site/QorChannel.h"
#include "site/QorTest.h"
#include "site/SiteFrame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A refresh names itself in the status bar and brings the tree to the front.
void ShowStatusOnTree(CSiteFrame* frame, uint32_t textId)
{
    if (frame != nullptr) {
        frame->SetStatusText(GetResString(textId));
        frame->ActivateTreeView();
    }
}

// The computer's tick count in milliseconds; 64 bits, so an estimate stays right however
// long the program runs.
uint64_t TickCount() { return wv::GetClock().NowMs(); }

bool IsSondeType(uint8_t type) { return type >= 30 && type <= 40; }
bool IsLevelType(uint8_t type) { return type >= 21 && type <= 28; }

// Image indexes of the two plain child items.
constexpr int kChannelsItemImage = 11;
constexpr int kTestsItemImage = 7;

// A record of another test number is read again at most this often before the test is
// shown as "Test in Error!" (the device answered for a slot it was not asked about).
constexpr int kWrongNumberRereads = 2;

// Where the cap reminder keeps what it last saw (the per-user settings).
constexpr const char* kCapSection = "Settings\\CapWarningReminder";
constexpr uint32_t kSecondsPerDay = 86400;

// text with its "%d" and "%s" conversions filled in turn from values (numbers and texts
// as they come); "%%" becomes "%".
std::string FillFormat(std::string_view text, std::initializer_list<std::string> values)
{
    std::string out;
    auto next = values.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size()) {
            const char c = text[i + 1];
            if (c == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((c == 'd' || c == 's') && next != values.end()) {
                out += *next++;
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string Printf(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string DateText(unsigned year, unsigned month, unsigned day)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", year, month, day);
    return text;
}

} // namespace

// ---- Callback ----------------------------------------------------------------------------

int CRemoveTestCallback::Progress(intptr_t value)
{
    if (m_frame != nullptr) {
        m_frame->SetProgress(static_cast<int>(std::clamp<intptr_t>(value, 0, 100)));
    }
    return 0;
}

void CRemoveTestCallback::End()
{
    if (m_frame != nullptr) {
        m_frame->SetProgress(0);
    }
}

// ---- Re-entry guard ----------------------------------------------------------------------

class CQorDevice::OperationGuard {
public:
    explicit OperationGuard(CQorDevice& device) : m_device(device), m_entered(!device.m_operationRunning)
    {
        if (m_entered) {
            m_device.m_operationRunning = true;
        }
    }
    ~OperationGuard()
    {
        if (m_entered) {
            m_device.m_operationRunning = false;
        }
    }
    OperationGuard(const OperationGuard&) = delete;
    OperationGuard& operator=(const OperationGuard&) = delete;
    bool Entered() const { return m_entered; }

private:
    CQorDevice& m_device;
    bool m_entered;
};

// ---- Node --------------------------------------------------------------------------------

CQorDevice::CQorDevice() = default;

CQorDevice::~CQorDevice()
{
    // The node itself goes: its children go with it, here.
    for (NodeOwner<CQorChannel>& channel : m_channels) {
        channel.reset();
    }
    for (NodeOwner<CQorTest>& test : m_tests) {
        test.reset();
    }
}

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

std::string CQorDevice::GetName() const { return DeviceInfoName(m_info); }

// ---- Information -------------------------------------------------------------------------

AppErrorCode CQorDevice::ReadDeviceInfo(std::span<uint8_t> definedTests, uint8_t* definedCount)
{
    if (m_session == nullptr) {
        // A device of neither family: nothing to ask, the record stays as found.
        if (definedCount != nullptr) {
            *definedCount = 0;
        }
        return kAppOk;
    }
    DeviceInfoRecord info = m_info;
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
    // The channel count is the number of channel nodes once they were made.
    if (m_channelsRead) {
        info.channelCount = m_channelNodeCount;
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
        if (m_session != nullptr) {
            m_dataWriter.Attach(m_session, nullptr);
        }
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

AppErrorCode CQorDevice::ExpandDevice()
{
    OperationGuard guard(*this);
    if (!guard.Entered()) {
        return kTkErrLinkBusy;
    }
    return DoExpandDevice();
}

AppErrorCode CQorDevice::DoExpandDevice()
{
    const AppErrorCode infoResult = ExpandDeviceInfo();
    if (infoResult != kAppOk) {
        return infoResult;
    }
    if (m_channelsRead) {
        return kAppOk;
    }
    CSiteFrame* frame = GetMainFrame();
    m_channelsRead = true;
    AppErrorCode testsResult = kAppOk;
    {
        if (frame != nullptr) {
            frame->SetCancellable();
        }
        CBusyGuard busy(frame);
        // A device without a session gets no children, so no expand button either.
        if (m_session != nullptr) {
            UpdateTreeItem(true);
            m_session->TalkTo(m_info.address, m_info.deviceType);
            m_dataWriter.Refresh();
            ReadChannels();
            testsResult = ReadTests();
        }
        if (frame != nullptr) {
            frame->SetStatusText("");
            frame->SetProgress(0);
        }
    }
    if (frame != nullptr) {
        frame->OnDeviceExpanded();
    }
    return testsResult == kAppOk ? kAppOk : kAppErrExpandTests;
}

AppErrorCode CQorDevice::Refresh(bool reExpand)
{
    OperationGuard guard(*this);
    if (!guard.Entered()) {
        return kTkErrLinkBusy;
    }
    CSiteFrame* frame = GetMainFrame();
    ShowStatusOnTree(frame, kStrRefreshingDevice);
    AppErrorCode result = kAppOk;
    {
        CBusyGuard busy(frame);
        result = ReadDeviceInfo();
        if (m_session != nullptr && IsSondeType(m_info.deviceType) && !m_session->IsCoefficientsValid()) {
            result = m_dataWriter.ReadCalCoefficientBlock();
        }
        if (result == kAppOk && reExpand) {
            ReportLostDevice(false);
            if (GetTree() != nullptr) {
                GetTree()->Repaint();
            }
            if (DoExpandDevice() != kAppOk) {
                ReportLostDevice(false);
            }
        }
    }
    if (frame != nullptr) {
        frame->SetStatusText("");
    }
    return result;
}

// ---- Channels ----------------------------------------------------------------------------

AppErrorCode CQorDevice::ReadChannels()
{
    CSiteFrame* frame = GetMainFrame();
    if (m_session == nullptr) {
        return kAppOk;
    }
    RetireChannels();
    if (m_channelsItem != kNoTreeItem && GetTree() != nullptr) {
        GetTree()->DeleteItem(m_channelsItem);
    }
    m_channelsItem = InsertChildItem(kTreeLast, kChannelsItemImage, GetResString(kStrParameters), true, true);

    std::array<uint8_t, kMaxChannels> codes{};
    uint8_t count = 0;
    const int portResult = m_session->GetPortList(&count, codes, nullptr);
    if (portResult != 0) {
        return portResult;
    }
    const int n = std::min<int>(count, static_cast<int>(codes.size()));
    bool misplaced[5] = {};
    size_t slot = 0;
    for (int k = 1; k <= n; ++k) {
        if (frame != nullptr && frame->IsCancelRequested()) {
            frame->ClearCancelRequest();
            return kAppErrReadCancelled;
        }
        const uint8_t code = codes[static_cast<size_t>(k - 1)];
        if (frame != nullptr) {
            frame->SetStatusText(FillFormat(GetResString(kStrRetrievingParameterSlot),
                                            {std::to_string(k), std::to_string(n)}));
            frame->SetProgress(100 * k / n);
        }
        ChannelDefinitionRecord record;
        const int result = m_session->GetChannelConfig(code, &record, nullptr);
        if (result == kTkStatusMisplaced) {
            switch (code) {
            case 11: case 12: misplaced[1] = true; break;
            case 21: case 25: misplaced[2] = true; break;
            case 31: case 32: misplaced[3] = true; break;
            case 41: case 42: case 45: misplaced[4] = true; break;
            default: break;
            }
            continue;
        }
        if (result != 0) {
            continue;
        }
        if (code == 21) {
            SensorInfoRecord sensor;
            if (m_session->GetSensorInfo(2, &sensor, nullptr) != 0) {
                continue;
            }
            // A pH sensor of the newer numbering does not work on port 2 of this hardware.
            if (sensor.byte == 1 && sensor.value >= 10000 && m_info.hardwareVersion != 8.0) {
                misplaced[2] = true;
                continue;
            }
        } else if (code == 35 && IsSondeType(m_info.deviceType)) {
            SensorInfoRecord sensor;
            if (m_session->GetSensorInfo(3, &sensor, nullptr) == 0 && sensor.byte == 10) {
                if (frame != nullptr) {
                    SiteMessage message;
                    message.textId = kStrWiperUnsupported;
                    message.icon = MessageIcon::Warning;
                    frame->ShowMessage(message);
                }
                continue;
            }
        }
        if (code == 17 || code == 37) {
            CheckHdoCap(code, true);
        }
        if (slot >= m_channels.size()) {
            continue;
        }
        NodeOwner<CQorChannel> channel = MakeNode<CQorChannel>();
        if (channel->Init(record, this, m_session) != kAppOk) {
            continue;
        }
        if (m_channelsItem != kNoTreeItem) {
            channel->AddToTree(GetTree(), m_channelsItem, kTreeLast);
        }
        m_channels[slot++] = std::move(channel);
    }
    for (int port = 1; port <= 4; ++port) {
        if (!misplaced[port]) {
            continue;
        }
        SensorInfoRecord sensor;
        if (m_session->GetSensorInfo(static_cast<uint8_t>(port), &sensor, nullptr) == 0) {
            ShowMisplacedSensor(port, sensor);
        }
    }
    m_channelNodeCount = static_cast<uint8_t>(slot);
    m_info.channelCount = m_channelNodeCount;
    return kAppOk;
}

void CQorDevice::ShowMisplacedSensor(int port, const SensorInfoRecord& sensor)
{
    if (!IsSondeType(m_info.deviceType)) {
        return;
    }
    const uint8_t kind = sensor.byte;
    const bool newHardware = m_info.hardwareVersion >= 3.0;
    const bool ion = kind == 1 || (kind >= 3 && kind <= 6);
    std::string name;
    std::string ports;
    switch (kind) {
    case 1: name = "pH"; break;
    case 2: name = "pH-ORP"; break;
    case 3: name = "ORP"; break;
    case 4: name = "CL"; break;
    case 5: name = "NO3"; break;
    case 6: name = "NH4"; break;
    case 7: name = "DO"; ports = "port P2"; break;
    case 13: case 15: case 16: name = "DO"; ports = "ports P1 or P3"; break;
    case 14: name = "Wiper"; ports = "port P3"; break;
    case 8: case 11: case 12: name = "Conductivity"; ports = "port P4"; break;
    default: break;
    }
    if (ion) {
        if (!newHardware) {
            ports = "ports P1, P2, P3, or P4";
        } else if (kind == 1 && sensor.value > 9999 && m_info.hardwareVersion != 8.0) {
            ports = "ports P1 or P3";
        } else {
            ports = "ports P1, P2, or P3";
        }
    } else if (kind == 2) {
        ports = newHardware ? "port P1" : "ports P1 or P4";
    }
    CSiteFrame* frame = GetMainFrame();
    if (frame == nullptr) {
        return;
    }
    SiteMessage message;
    message.captionId = kStrWrongPort;
    message.icon = MessageIcon::Error;
    message.detail = FillFormat(GetResString(kStrSensorMisplaced), {name, std::to_string(port), ports});
    frame->ShowMessage(message);
}

// ---- Tests -------------------------------------------------------------------------------

uint8_t CQorDevice::TestSlotCount() const
{
    return static_cast<uint8_t>(std::min<size_t>(m_info.testCount, kMaxTests));
}

int CQorDevice::ReadTestRecord(uint8_t number, TestDefinitionRecord& record)
{
    record = TestDefinitionRecord{};
    const int result = m_session->GetTestDefinition(number, &record, nullptr);
    if (result == 0 || result == kTkErrTestNotOnDevice || result == kTkErrLegacyNoSuchTest) {
        return result;
    }
    record = TestDefinitionRecord{};
    record.testId = number;
    SetTestName(record, std::string(GetResString(kStrTestInError)));
    record.state = kTestStateUndefined;
    return result;
}

void CQorDevice::AddTestNode(const TestDefinitionRecord& record, TreeItem insertAfter)
{
    NodeOwner<CQorTest> test = MakeNode<CQorTest>();
    if (test->Init(this, m_legacy, m_session, record) != kAppOk) {
        return;
    }
    // A number may appear once: a node already in the slot goes.
    RetireTest(record.testId);
    if (m_testsItem != kNoTreeItem) {
        test->AddToTree(GetTree(), m_testsItem, insertAfter);
    }
    m_tests[record.testId] = std::move(test);
}

AppErrorCode CQorDevice::ReadTests()
{
    CSiteFrame* frame = GetMainFrame();
    if (m_session == nullptr) {
        return kAppOk;
    }
    for (size_t n = 1; n <= kMaxTests; ++n) {
        RetireTest(static_cast<uint8_t>(n));
    }
    if (m_testsItem != kNoTreeItem && GetTree() != nullptr) {
        GetTree()->DeleteItem(m_testsItem);
    }
    m_testsItem = InsertChildItem(kTreeLast, kTestsItemImage, GetResString(kStrTests), true, true);
    const uint8_t slots = TestSlotCount();
    for (size_t k = 1; k <= m_definedTestCount; ++k) {
        if (frame != nullptr && frame->IsCancelRequested()) {
            frame->ClearCancelRequest();
            return kAppErrReadCancelled;
        }
        const uint8_t number = m_definedTests[k - 1];
        if (frame != nullptr) {
            frame->SetStatusText(FillFormat(GetResString(kStrRetrievingTestSlot),
                                            {std::to_string(k), std::to_string(slots)}));
            if (slots != 0) {
                frame->SetProgress(static_cast<int>(std::min<size_t>(100 * k / slots, 100)));
            }
        }
        // A number outside the slots a node can have, or one listed twice, gets no node.
        if (!IsTestNumber(number) || m_tests[number] != nullptr) {
            continue;
        }
        TestDefinitionRecord record;
        const int result = ReadTestRecord(number, record);
        if (result == kTkErrTestNotOnDevice || result == kTkErrLegacyNoSuchTest) {
            continue;
        }
        // The record is the slot's: a device answering another number does not move it.
        record.testId = number;
        AddTestNode(record, kTreeLast);
    }
    if (m_testsItem != kNoTreeItem && GetTree() != nullptr && GetTree()->GetChildItem(m_testsItem) == kNoTreeItem) {
        SetTestsItemButton(false);
    }
    return kAppOk;
}

AppErrorCode CQorDevice::RefreshTests()
{
    OperationGuard guard(*this);
    if (!guard.Entered()) {
        return kTkErrLinkBusy;
    }
    CSiteFrame* frame = GetMainFrame();
    ShowStatusOnTree(frame, kStrRefreshingTests);
    AppErrorCode status = kAppOk;
    {
        CBusyGuard busy(frame);
        CSiteTree* tree = GetTree();
        if (m_session != nullptr && m_testsItem != kNoTreeItem && tree != nullptr && tree->ItemHasChildren(m_testsItem)) {
            tree->SelectItem(m_testsItem);
            // Every slot goes, also those past the count the device reports now.
            for (size_t n = 1; n <= kMaxTests; ++n) {
                RetireTest(static_cast<uint8_t>(n));
            }
            m_session->TalkTo(m_info.address, m_info.deviceType);
            const uint8_t slots = TestSlotCount();
            int retries = 1;
            int rereads = kWrongNumberRereads;
            for (size_t k = 1; k <= m_definedTestCount;) {
                const uint8_t number = m_definedTests[k - 1];
                if (frame != nullptr) {
                    frame->SetStatusText(FillFormat(GetResString(kStrRetrievingTestSlot),
                                                    {std::to_string(k), std::to_string(slots)}));
                    if (slots != 0) {
                        frame->SetProgress(static_cast<int>(std::min<size_t>(100 * k / slots, 100)));
                    }
                }
                if (!IsTestNumber(number) || m_tests[number] != nullptr) {
                    ++k;
                    continue;
                }
                TestDefinitionRecord record;
                const int result = m_session->GetTestDefinition(number, &record, nullptr);
                // No answer (also after the link's resends) ends the loop.
                if (result == -1 || result == kTkErrNoReply) {
                    status = kAppErrNoAnswer;
                    break;
                }
                if (result == kTkErrTestNotOnDevice || result == kTkErrLegacyNoSuchTest) {
                    retries = 1;
                    rereads = kWrongNumberRereads;
                    ++k;
                    continue;
                }
                if (result == 0 && record.testId != number && rereads > 0) {
                    --rereads;
                    continue;
                }
                if (result != 0 && retries > 0) {
                    --retries;
                    continue;
                }
                if (result != 0 || record.testId != number) {
                    record = TestDefinitionRecord{};
                    record.testId = number;
                    SetTestName(record, std::string(GetResString(kStrTestInError)));
                    record.state = kTestStateUndefined;
                }
                AddTestNode(record, kTreeLast);
                retries = 1;
                rereads = kWrongNumberRereads;
                ++k;
            }
        }
        if (frame != nullptr) {
            frame->SetStatusText("");
            frame->SetProgress(0);
        }
    }
    return status;
}

void CQorDevice::ReportLostDevice(bool showMessage)
{
    CSiteFrame* frame = GetMainFrame();
    if (showMessage && frame != nullptr) {
        SiteMessage message;
        message.textId = kStrDeviceStoppedResponding;
        message.captionId = kStrCommunicationError;
        message.icon = MessageIcon::Error;
        frame->ShowMessage(message);
    }
    SelectTreeItem();
    CSiteTree* tree = GetTree();
    if (tree != nullptr && GetTreeItem() != kNoTreeItem && tree->GetChildItem(GetTreeItem()) != kNoTreeItem) {
        DeleteChildren();
        UpdateTreeItem(false);
    }
}

void CQorDevice::RetireChannels()
{
    for (NodeOwner<CQorChannel>& channel : m_channels) {
        if (channel != nullptr) {
            RetireNode(NodePtr(channel.release()));
        }
    }
    m_channelNodeCount = 0;
}

void CQorDevice::RetireTest(uint8_t number)
{
    if (number < m_tests.size() && m_tests[number] != nullptr) {
        RetireNode(NodePtr(m_tests[number].release()));
    }
}

void CQorDevice::DeleteChildren()
{
    RetireChannels();
    for (size_t n = 1; n <= kMaxTests; ++n) {
        RetireTest(static_cast<uint8_t>(n));
    }
    CSiteTree* tree = GetTree();
    for (TreeItem* item : {&m_channelsItem, &m_testsItem}) {
        if (*item != kNoTreeItem && tree != nullptr && tree->IsAlive()) {
            tree->DeleteItem(*item);
        }
        *item = kNoTreeItem;
    }
    m_channelsRead = false;
}

void CQorDevice::SetTestsItemButton(bool hasChildren)
{
    ReplaceChildItem(m_testsItem, hasChildren, kTestsItemImage, GetResString(kStrTests));
}

AppErrorCode CQorDevice::AddTest(CSiteTree* tree, const TestDefinitionRecord& record,
                                 const RelayDefinitionRecord& relays)
{
    (void)relays; // a device of this command set has no relays
    if (m_session == nullptr) {
        return kAppErrSendTest;
    }
    const wv::OleDateTime now = GetCurrentDeviceTime();
    CSiteFrame* frame = GetMainFrame();
    if (frame != nullptr) {
        frame->SetStatusText(GetResString(kStrSendingTestDefinition));
    }
    int result = m_session->TalkTo(m_info.address, m_info.deviceType);
    if (result == 0) {
        CDefaultCallback callback;
        result = m_session->SetTestDefinition(&record, &callback);
    }
    if (frame != nullptr) {
        frame->SetStatusText("");
    }
    if (result != 0) {
        static constexpr AppErrorMapEntry kMap[] = {
            {5007, kAppErrNoAnswer},          {kTkErrNoReply, kAppErrNoAnswer}, {5024, kAppErrTestRefused},      {5025, kAppErrTestRunning},
            {5026, kAppErrTestNumber},        {5027, kAppErrClockNotSet},      {5028, kAppErrTestType},
            {5029, kAppErrTestStart},         {5030, kAppErrTestChannel},      {5049, kAppErrTestChannel},
            {5050, kAppErrTestChannel},       {5052, kAppErrTestChannel},      {5031, kAppErrTestDateTime},
            {5032, kAppErrTestDateTime},      {5033, kAppErrTestInterval},     {5034, kAppErrTestInterval},
            {5051, kAppErrTestInterval},      {5048, kAppErrTestChannelCount}, {kTkErrLineLost, kAppErrLineLost},
        };
        return MapProtocolCode(result, kMap);
    }
    const uint8_t number = record.testId;
    if (!IsTestNumber(number)) {
        // The device took it, but no node can show it; the next refresh tells.
        return kAppOk;
    }
    // The item of the highest test node below the new number, or the first position.
    TreeItem insertAfter = kTreeFirst;
    for (uint8_t n = 1; n < number; ++n) {
        if (m_tests[n] != nullptr && m_tests[n]->GetTreeItem() != kNoTreeItem) {
            insertAfter = m_tests[n]->GetTreeItem();
        }
    }
    TestDefinitionRecord stored = record;
    DeviceTime definedOn{};
    if (OleDateTimeToDeviceTime(now, definedOn)) {
        definedOn.hundredths = 0;
        stored.definedOn = definedOn;
    }
    NodeOwner<CQorTest> test = MakeNode<CQorTest>();
    const AppErrorCode init = test->Init(this, m_legacy, m_session, stored);
    if (init != kAppOk) {
        return init;
    }
    // A test of this number already shown is replaced (one node, one list entry).
    RetireTest(number);
    CSiteTree* useTree = tree != nullptr ? tree : GetTree();
    if (m_testsItem != kNoTreeItem && useTree != nullptr) {
        if (!useTree->ItemHasChildren(m_testsItem)) {
            SetTestsItemButton(true);
        }
        test->AddToTree(useTree, m_testsItem, insertAfter);
        if (useTree->GetSelectedItem() == m_testsItem) {
            test->SelectTreeItem();
        }
    }
    m_tests[number] = std::move(test);
    auto* end = m_definedTests.begin() + m_definedTestCount;
    if (std::find(m_definedTests.begin(), end, number) == end && m_definedTestCount < kMaxTests) {
        auto* at = std::upper_bound(m_definedTests.begin(), end, number);
        std::copy_backward(at, end, end + 1);
        *at = number;
        ++m_definedTestCount;
    }
    return kAppOk;
}

AppErrorCode CQorDevice::DeleteTest(uint8_t number)
{
    if (GetTest(number) == nullptr || m_session == nullptr) {
        return kAppErrDeleteTest;
    }
    int result = m_session->TalkTo(m_info.address, m_info.deviceType);
    if (result == 0) {
        CRemoveTestCallback callback(GetMainFrame());
        result = m_session->DeleteTest(number, &callback);
    }
    if (result == 0) {
        RemoveTestNode(number);
    }
    static constexpr AppErrorMapEntry kMap[] = {
        {0, kAppOk},
        {-1, kAppErrNoAnswer},
        {kTkErrNoReply, kAppErrNoAnswer},
        {5025, kAppErrTestRunning},
        {5026, kAppErrTestNumber},
        {kTkErrLineLost, kAppErrLineLost},
    };
    return MapProtocolCode(result, kMap, kAppErrDeleteTest);
}

void CQorDevice::RemoveTestNode(uint8_t number)
{
    auto* end = m_definedTests.begin() + m_definedTestCount;
    if (auto* at = std::find(m_definedTests.begin(), end, number); at != end) {
        std::copy(at + 1, end, at);
        *(end - 1) = 0;
        --m_definedTestCount;
    }
    if (!IsTestNumber(number) || m_tests[number] == nullptr) {
        return;
    }
    CSiteTree* tree = GetTree();
    const bool wasSelected = tree != nullptr && m_tests[number]->GetTreeItem() != kNoTreeItem &&
                             tree->GetSelectedItem() == m_tests[number]->GetTreeItem();
    RetireTest(number);
    if (m_testsItem != kNoTreeItem && tree != nullptr && tree->GetChildItem(m_testsItem) == kNoTreeItem) {
        SetTestsItemButton(false);
    }
    if (wasSelected && m_testsItem != kNoTreeItem) {
        tree->SelectItem(m_testsItem);
    }
}

AppErrorCode CQorDevice::GetNextScheduledStart(wv::OleDateTime& start, uint8_t& testNumber) const
{
    if (!m_infoValid || TestSlotCount() == 0) {
        return kAppErrNoScheduledTest;
    }
    const CQorTest* earliest = nullptr;
    DeviceTime earliestStart{};
    for (size_t n = 1; n <= kMaxTests; ++n) {
        const CQorTest* test = m_tests[n].get();
        DeviceTime scheduled{};
        if (test == nullptr || test->GetState() != kTestStatePendingScheduled ||
            test->GetScheduledStart(scheduled) != kAppOk) {
            continue;
        }
        if (earliest == nullptr || CompareDeviceTime(scheduled, earliestStart) < 0) {
            earliest = test;
            earliestStart = scheduled;
        }
    }
    if (earliest == nullptr) {
        return kAppErrNoScheduledTest;
    }
    earliestStart.hundredths = 0;
    DeviceTimeToOleDateTime(earliestStart, start);
    testNumber = earliest->GetTestId();
    return kAppOk;
}

uint8_t CQorDevice::GetFreeTestSlot() const
{
    for (uint8_t n = 1; n <= TestSlotCount(); ++n) {
        if (m_tests[n] == nullptr) {
            return n;
        }
    }
    return 0;
}

uint8_t CQorDevice::GetRunningTestId() const
{
    if (!m_infoValid) {
        return 0;
    }
    for (size_t n = 1; n <= kMaxTests; ++n) {
        if (m_tests[n] != nullptr && m_tests[n]->GetState() == kTestStateRunning) {
            return static_cast<uint8_t>(n);
        }
    }
    return 0;
}

CQorTest* CQorDevice::GetTest(int number) const
{
    if (number < 1 || number > TestSlotCount()) {
        return nullptr;
    }
    return m_tests[static_cast<size_t>(number)].get();
}

CQorChannel* CQorDevice::GetChannel(int value, bool byParameter) const
{
    if (!byParameter) {
        return value >= 0 && value < static_cast<int>(kMaxChannels) ? m_channels[static_cast<size_t>(value)].get()
                                                                     : nullptr;
    }
    for (const NodeOwner<CQorChannel>& channel : m_channels) {
        if (channel == nullptr) {
            break;
        }
        if (channel->GetParameterId() == value) {
            return channel.get();
        }
    }
    return nullptr;
}

bool CQorDevice::CanStartTests() const
{
    return m_infoValid && (IsSondeType(m_info.deviceType) || m_info.firmwareVersion >= 2.0 || GetRunningTestId() == 0);
}

// ---- Settings and services ---------------------------------------------------------------

AppErrorCode CQorDevice::SetName(const std::string& name)
{
    // At most 16 single-byte characters; cut by characters, never inside one.
    std::string cut;
    size_t characters = 0;
    for (size_t i = 0; i < name.size() && characters < 16; ++characters) {
        size_t length = 1;
        const auto lead = static_cast<unsigned char>(name[i]);
        if (lead >= 0xF0) {
            length = 4;
        } else if (lead >= 0xE0) {
            length = 3;
        } else if (lead >= 0xC0) {
            length = 2;
        }
        cut.append(name, i, length);
        i += length;
    }
    int result = kTkErrNoLink;
    if (m_session != nullptr) {
        result = m_session->TalkTo(m_info.address, m_info.deviceType);
        if (result == 0) {
            CDefaultCallback callback;
            result = m_session->SetName(cut, &callback);
        }
    }
    if (result == 0) {
        const std::string bytes = Utf8ToCp1252(cut);
        std::memset(m_info.name, 0, sizeof m_info.name);
        std::memcpy(m_info.name, bytes.data(), std::min(bytes.size(), sizeof m_info.name - 1));
        RefreshTreeItem();
    }
    static constexpr AppErrorMapEntry kMap[] = {
        {0, kAppOk},           {-1, kAppErrNoAnswer},   {5007, kAppErrNoAnswer},           {kTkErrNoReply, kAppErrNoAnswer},
        {5002, kAppErrSetName},
        {5017, kAppErrSetName}, {5024, kAppErrSetName}, {5025, kAppErrTestRunning}, {kTkErrLineLost, kAppErrLineLost},
    };
    return MapProtocolCode(result, kMap);
}

AppErrorCode CQorDevice::SetClock(const DeviceTime& time)
{
    int result = kTkErrNoLink;
    DeviceTime clock = time;
    if (m_session != nullptr) {
        result = m_session->TalkTo(m_info.address, m_info.deviceType);
        if (result == 0) {
            result = m_session->SetClock(clock, nullptr);
        }
        if (result == 0) {
            result = m_session->SyncClock(&clock, nullptr);
        }
    }
    if (result == 0) {
        m_clockAtRead = clock;
        m_clockAtRead.hundredths = 0;
        m_tickAtRead = TickCount();
        m_clockRead = true;
    }
    static constexpr AppErrorMapEntry kMap[] = {
        {0, kAppOk},
        {-1, kAppErrNoAnswer},
        {5007, kAppErrNoAnswer},
        {kTkErrNoReply, kAppErrNoAnswer},
        {5002, kAppErrSetClock},
        {5017, kAppErrSetClock},
        {5024, kAppErrSetClock},
        {5031, kAppErrSetClock},
        {5025, kAppErrTestRunning},
        {kTkErrLineLost, kAppErrLineLost},
    };
    return MapProtocolCode(result, kMap);
}

AppErrorCode CQorDevice::SetBatteryInfo(uint8_t batteryType, const DeviceTime& installed)
{
    if (m_session == nullptr) {
        return kAppErrBatteryInfo;
    }
    int result = m_session->TalkTo(m_info.address, m_info.deviceType);
    if (result == 0) {
        result = m_session->SetBatteryInfo(batteryType, installed, nullptr);
    }
    if (result != 0) {
        return result;
    }
    Refresh(false);
    return kAppOk;
}

bool CQorDevice::HasAsciiPreferences() const
{
    const double firmware = m_info.firmwareVersion;
    return !(IsFamily21to28() && firmware < 3.09 && firmware != 0.0);
}

AppErrorCode CQorDevice::SetAsciiPreferences(uint16_t preferences)
{
    if (!HasAsciiPreferences()) {
        return kAppErrAsciiPrefs;
    }
    if (m_session == nullptr || m_session->TalkTo(m_info.address, m_info.deviceType) != 0 ||
        m_session->SetAsciiPreferences(preferences, nullptr) != 0) {
        return kAppErrAsciiPrefs;
    }
    return kAppOk;
}

AppErrorCode CQorDevice::GetAsciiPreferences(uint16_t& preferences)
{
    if (!HasAsciiPreferences()) {
        return kAppErrAsciiPrefs;
    }
    if (m_session == nullptr || m_session->TalkTo(m_info.address, m_info.deviceType) != 0 ||
        m_session->GetAsciiPreferences(&preferences, nullptr) != 0) {
        return kAppErrAsciiPrefs;
    }
    return kAppOk;
}

AppErrorCode CQorDevice::UpgradeFirmware(CCallback* callback)
{
    if (m_session == nullptr) {
        return kAppErrFirmwareUpgrade;
    }
    const std::string image =
        GetPathBesideExe(IsSondeType(m_info.deviceType) ? "Firmware/wqos.bin" : "Firmware/tavotk.tsk");
    int result = m_session->TalkTo(m_info.address, m_info.deviceType);
    if (result == 0) {
        result = m_session->UploadFirmware(image, callback);
    }
    if (result != 0) {
        return kAppErrFirmwareUpgrade;
    }
    return ReadDeviceInfo();
}

AppErrorCode CQorDevice::PackMemory()
{
    if (m_session == nullptr) {
        return kAppErrNoAnswer;
    }
    // The devices pack their memory themselves: only the free memory is read again.
    ReadDeviceInfo();
    return kAppOk;
}

bool CQorDevice::CompareMfgCoefficient(uint16_t serial, float coefficient)
{
    if (m_session == nullptr) {
        return false;
    }
    m_session->TalkTo(m_info.address, m_info.deviceType);
    return CTkSession::MfgDbCompareCoefficient(serial, coefficient);
}

AppErrorCode CQorDevice::VerifyAndRepair(uint16_t address, bool repair)
{
    if (m_session == nullptr) {
        return kTkErrLegacyUnknownModel;
    }
    m_session->TalkTo(m_info.address, m_info.deviceType);
    const int result = m_session->VerifyAndRepair(address, repair);
    uint16_t now = m_info.address;
    uint8_t type = m_info.deviceType;
    if (m_session->GetAddress(&now, &type) == 0) {
        m_info.address = now;
        m_info.deviceType = type;
        RefreshTreeItem();
    }
    return result;
}

AppErrorCode CQorDevice::Refurbish(uint16_t address, uint16_t databaseSerial, bool write)
{
    if (m_session == nullptr) {
        return kTkErrLegacyUnknownModel;
    }
    m_session->TalkTo(m_info.address, m_info.deviceType);
    const int result = m_session->Refurbish(address, databaseSerial, write);
    uint16_t now = m_info.address;
    uint8_t type = m_info.deviceType;
    if (m_session->GetAddress(&now, &type) == 0) {
        m_info.address = now;
        m_info.deviceType = type;
        RefreshTreeItem();
    }
    return result;
}

AppErrorCode CQorDevice::ReadAllChannelValues(int mode, std::span<const uint8_t> excluded)
{
    if (m_session == nullptr) {
        return kTkErrNoLink;
    }
    std::vector<uint8_t> ids;
    std::vector<ChannelDefinitionRecord> records;
    const size_t count = std::min<size_t>(m_info.channelCount, kMaxChannels);
    for (size_t slot = 0; slot < count; ++slot) {
        const CQorChannel* channel = m_channels[slot].get();
        if (channel == nullptr ||
            std::find(excluded.begin(), excluded.end(), channel->GetParameterId()) != excluded.end()) {
            continue;
        }
        ids.push_back(channel->GetParameterId());
        records.push_back(channel->GetRecord());
    }
    std::vector<double> values(ids.size(), 0.0);
    int result = m_session->TalkTo(m_info.address, m_info.deviceType);
    if (result == 0) {
        result = m_session->ReadLiveValues(mode, ids, values, records, nullptr);
    }
    for (size_t i = 0; i < ids.size(); ++i) {
        CQorChannel* channel = GetChannel(ids[i], true);
        if (channel == nullptr) {
            continue;
        }
        channel->SetValueIsDisplay(false);
        channel->SetLastValue(result == 0 ? values[i] : 0.0);
        channel->SetHasReading(result == 0 && mode == kTkLiveModeCorrected);
    }
    return result;
}

void CQorDevice::CheckHdoCap(int parameterId, bool remind)
{
    if (parameterId != 17 && parameterId != 37) {
        return;
    }
    CSiteFrame* frame = GetMainFrame();
    // The messages need the user's hands: the busy look goes for them, but the operation
    // is still running, so the busy count (and a deferred close) stays.
    CBusyLookSuspension suspension(frame);
    const int status = m_dataWriter.OpticalCapStatus();
    uint32_t faultText = 0;
    switch (status) {
    case kCapStatusUnknown:
    case kCapStatusSensorError: faultText = kStrCapUnknownError; break;
    case kCapStatusNotDetected: faultText = kStrCapNotDetected; break;
    case kCapStatusExpired: faultText = kStrCapExpired; break;
    case kCapStatusInvalid: faultText = kStrCapInvalid; break;
    default: break;
    }
    if (faultText != 0 && frame != nullptr) {
        SiteMessage message;
        message.textId = faultText;
        message.icon = MessageIcon::Error;
        frame->ShowMessage(message);
    }
    if (!remind) {
        return;
    }
    const uint32_t sensorTime = m_dataWriter.GetSensorTime();
    const uint32_t expiry = m_dataWriter.GetCapExpiryTime();
    const uint32_t serial = m_dataWriter.GetCapSerialNumber();
    const int daysLeft = expiry > sensorTime ? static_cast<int>((expiry - sensorTime) / kSecondsPerDay) : 0;
    wv::RegistryStore& store = wv::UserRegistry();
    const uint32_t lastCap = store.ReadNumber(kCapSection, "LastCap", 0);
    const uint32_t sensorTimeLast = store.ReadNumber(kCapSection, "SensorTimeLast", 0);
    uint32_t remindAgain = 0;
    if (daysLeft > 0 && daysLeft < 90 && status == kCapStatusOk) {
        const bool newCap = serial != lastCap;
        remindAgain = newCap ? 0 : store.ReadNumber(kCapSection, "RemindAgainFlag", 0);
        const uint32_t since = newCap ? 0 : sensorTimeLast;
        const bool dayPassed = sensorTime > since && sensorTime - since > (newCap ? 0 : kSecondsPerDay);
        if ((dayPassed || daysLeft < 30) && frame != nullptr) {
            remindAgain = static_cast<uint32_t>(
                frame->ShowCapWarning(GetResString(kStrCapExpiresIn), daysLeft, static_cast<int>(remindAgain)));
        }
    }
    store.WriteNumber(kCapSection, "LastCap", serial);
    store.WriteNumber(kCapSection, "SensorTimeLast", sensorTime);
    store.WriteNumber(kCapSection, "RemindAgainFlag", remindAgain);
}

// ---- Accessors ---------------------------------------------------------------------------

DeviceTime CQorDevice::GetBatteryDate() const
{
    return m_infoValid ? m_info.batteryInstallDate : DeviceTime{1900, 1, 1, 0, 0, 0, 0};
}

double CQorDevice::GetRuntimeSeconds() const
{
    if (!m_infoValid) {
        return 0.0;
    }
    const auto runtime = static_cast<double>(m_info.cpuRuntime);
    return IsLevelType(m_info.deviceType) || IsSondeType(m_info.deviceType) ? runtime : runtime * 0.01;
}

bool CQorDevice::IsFamily21to28() const { return m_infoValid && IsLevelType(m_info.deviceType); }

bool CQorDevice::IsFamily30to40() const { return IsSondeType(m_info.deviceType); }

bool CQorDevice::IsOldFirmware() const { return IsFamily21to28() && m_info.firmwareVersion < 2.01; }

bool CQorDevice::IsChannelLogger() const { return m_info.deviceType == 3 || m_info.deviceType == 8; }

bool CQorDevice::HasExternalPower() const
{
    const float minimum = IsSondeType(m_info.deviceType) && m_info.hardwareVersion >= 3.0 ? 6.8f : 4.4f;
    return m_info.supplyVoltage >= minimum;
}

// ---- Clock -------------------------------------------------------------------------------

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

// ---- Texts -------------------------------------------------------------------------------

std::string CQorDevice::GetInterfaceText() const
{
    if (!m_infoValid) {
        return {};
    }
    switch (m_info.interfaceType) {
    case 0: return "RS-232";
    case 1: return "RS-422";
    case 2: return "RS-485";
    default: return {};
    }
}

std::string CQorDevice::GetAddressText() const { return std::to_string(m_info.address); }

std::string CQorDevice::GetMfgDateText() const
{
    if (!m_infoValid) {
        return {};
    }
    return DateText(m_info.manufactureYear, m_info.manufactureMonth, m_info.manufactureDay);
}

std::string CQorDevice::GetCalDateText()
{
    if (!m_infoValid) {
        return {};
    }
    if (m_info.calibrationYear == 0) {
        m_info.calibrationYear = 1999;
    }
    if (m_info.calibrationMonth == 0) {
        m_info.calibrationMonth = 9;
    }
    if (m_info.calibrationDay == 0) {
        m_info.calibrationDay = 9;
    }
    return DateText(m_info.calibrationYear, m_info.calibrationMonth, m_info.calibrationDay);
}

std::string CQorDevice::GetHardwareVersionText() const
{
    return m_infoValid ? Printf("%2.2f", m_info.hardwareVersion) : std::string();
}

std::string CQorDevice::GetFirmwareVersionText() const
{
    return m_infoValid ? Printf("%2.2f", m_info.firmwareVersion) : std::string();
}

std::string CQorDevice::GetMemoryFreeText() const
{
    if (!m_infoValid) {
        return {};
    }
    // In 64 bits: a free memory of 43 MB and more times 100 leaves 32 bits.
    const uint64_t size = m_info.totalMemory == 0 ? 1 : m_info.totalMemory;
    const uint64_t percent = uint64_t{m_info.freeMemory} * 100 / size;
    return std::to_string(percent) + "% Free";
}

std::string CQorDevice::GetBatteryTypeText() const
{
    if (!m_infoValid) {
        return {};
    }
    if (m_info.batteryType > 8) {
        return std::string(GetResString(kStrBatteryError));
    }
    return std::string(GetResString(kStrBatteryNone + m_info.batteryType));
}

std::string CQorDevice::GetBatteryDateText() const
{
    if (!m_infoValid || m_info.batteryType == 0) {
        return {};
    }
    const DeviceTime& date = m_info.batteryInstallDate;
    return DateText(date.year, date.month, date.day);
}

std::string CQorDevice::GetBatteryText() const
{
    if (!m_infoValid) {
        return {};
    }
    char text[96];
    if (m_info.batteryPercent == 101) {
        std::string external(GetResString(kStrExternalPowerVolts));
        if (const size_t at = external.find("%3.2f"); at != std::string::npos) {
            external.replace(at, 5, Printf("%3.2f", m_info.supplyVoltage));
        }
        return external;
    }
    if (m_info.batteryType == 6) {
        std::snprintf(text, sizeof text, "%3.2f V", static_cast<double>(m_info.batteryVoltage));
        return text;
    }
    std::string remaining = FillFormat(GetResString(kStrBatteryRemaining), {std::to_string(m_info.batteryPercent)});
    if (const size_t at = remaining.find("%3.2f"); at != std::string::npos) {
        remaining.replace(at, 5, Printf("%3.2f", m_info.batteryVoltage));
    }
    return remaining;
}

std::string CQorDevice::GetDetectedText() const
{
    return std::string(GetResString(HasExternalPower() ? kStrPowerDetected : kStrPowerNotDetected));
}

std::string CQorDevice::GetRuntimeText() const
{
    return m_infoValid ? Printf("%2.2f", GetRuntimeSeconds()) : std::string();
}

std::string CQorDevice::GetTestCountText() const
{
    return m_infoValid ? std::to_string(m_info.testCount) : std::string();
}

int CQorDevice::GetConductivityRange() const
{
    return m_dataWriter.GetSensorInfo(4).byte;
}
