#include "app/WVTestsView.h"

#include "app/CommandIds.h"
#include "app/DlgHdoSalinity.h"
#include "app/WVLaunchDM.h"
#include "app/WVChannelView.h"
#include "app/WVFrame.h"
#include "foundation/AppUtils.h"
#include "foundation/DeviceTime.h"
#include "foundation/Registry.h"
#include "platform/OleDateTime.h"
#include "resources/StringTable.h"
#include "site/AppErrorCode.h"
#include "site/QikProfDataWriter.h"
#include "site/QorChannel.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "site/QorTest.h"
#include "site/WVDoc.h"
#include "wizards/TestWiz.h"

#include <QLabel>
#include <QResizeEvent>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <iterator>

namespace {

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The wait before a test that the device stopped (when another one started) is read.
constexpr uint32_t kStoppedTestWaitMs = 300;

struct Column {
    uint32_t header;
    Qt::Alignment alignment;
    int width;
};

constexpr Column kColumns[] = {
    {0, Qt::AlignRight, 18},
    {kStrTestListName, Qt::AlignLeft, 80},
    {kStrTestListStart, Qt::AlignLeft, 103},
    {kStrTestListStopped, Qt::AlignLeft, 103},
    {kStrTestListPoints, Qt::AlignRight, 42},
};

// The height of the line of count statics above the list.
constexpr int kCountLine = 22;

} // namespace

// ---- Shared by both test views ----

namespace testcmd {

bool ReportTestError(CWVFrame& frame, CQorDevice& device, int status, uint32_t captionId, int* dropFlag)
{
    if (!frame.ReportDeviceError(status, GetResString(captionId), dropFlag)) {
        return false;
    }
    if (device.RefreshTests() != kAppOk) {
        device.ReportLostDevice(true);
        return false;
    }
    return true;
}

CQorConnection* LiveConnectionOf(const CWVDoc* doc, const CQorDevice* device)
{
    CQorSite* site = doc != nullptr ? doc->GetSite() : nullptr;
    if (site == nullptr || device == nullptr) {
        return nullptr;
    }
    // The device may have been retired by the wait; its connection pointer is used only
    // when that connection is still one of the site's.
    for (int i = 0; i < site->GetConnectionCount(); ++i) {
        CQorConnection* connection = site->GetConnection(i);
        if (connection != nullptr && connection == device->GetParent()) {
            return connection;
        }
    }
    return nullptr;
}

void DropConnection(const CWVDoc* doc, const CQorDevice* device)
{
    if (CQorConnection* connection = LiveConnectionOf(doc, device)) {
        connection->Disconnect(true);
    }
}

int RunTestCommand(CWVFrame& frame, const CWVDoc* doc, const CQorDevice* device, uint32_t statusTextId,
                   const std::function<int()>& run)
{
    frame.ActivateTreeView();
    frame.BeginBusy();
    frame.SetStatusTextId(statusTextId);
    const int status = run();
    frame.SetStatusText({});
    frame.EndBusy();
    if (status == kAppErrLineLost) {
        DropConnection(doc, device);
    }
    return status;
}

bool ConfirmOk(CWVFrame& frame, uint32_t textId, uint32_t captionId)
{
    SiteMessage message;
    message.textId = textId;
    message.captionId = captionId;
    message.icon = MessageIcon::Information;
    message.buttons = MessageButtons::OkCancel;
    message.defaultAnswer = MessageAnswer::Ok;
    return frame.ShowMessage(message) == MessageAnswer::Ok;
}

std::string FormatCount(uint32_t textId, int n, int total)
{
    std::string text(GetResString(textId));
    for (const int value : {n, total}) {
        if (const size_t at = text.find("%d"); at != std::string::npos) {
            text.replace(at, 2, std::to_string(value));
        }
    }
    return text;
}

void ShowStartTooEarly(CWVFrame& frame)
{
    SiteMessage message;
    message.textId = kStrStartTooEarly;
    message.icon = MessageIcon::Warning;
    frame.ShowMessage(message);
}

} // namespace testcmd

// ---- The view ----

CWVTestsView::CWVTestsView(CWVFrame* frame, QWidget* parent)
    : CWVView(ViewTemplate{kTemplateId, true, 3, kTemplateWidth, kTemplateHeight}, parent), m_frame(frame)
{
    QWidget* form = GetForm();
    QTreeWidget* list = GetList();
    const QRect at = list->geometry();
    list->setGeometry(at.x(), at.y() + kCountLine, at.width(), at.height() - kCountLine);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    // "<listed> of <slots> tests defined" above the list.
    struct Text {
        uint32_t id;
        const char* text;
        int x;
        int width;
        Qt::Alignment alignment;
    };
    const Text texts[] = {
        {kListedCount, "", 8, 24, Qt::AlignRight},
        {0, "of", 36, 18, Qt::AlignLeft},
        {kSlotCount, "", 56, 24, Qt::AlignRight},
        {0, "tests defined", 84, 120, Qt::AlignLeft},
    };
    for (const Text& t : texts) {
        auto* label = new QLabel(QString::fromUtf8(t.text), form);
        if (t.id != 0) {
            label->setObjectName(QString::number(t.id));
        }
        label->setAlignment(t.alignment | Qt::AlignVCenter);
        label->setGeometry(t.x, at.y(), t.width, kCountLine - 4);
    }
    connect(list, &QTreeWidget::itemClicked, this, [this] { UpdateButtons(Device()); });
    connect(list, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(Device()); });
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] { OnListDblClk(); });
    connect(this, &CWVView::ButtonCommand, this, [this](uint32_t id) { OnViewCommand(id); });
}

CQorDevice* CWVTestsView::Device() const
{
    return dynamic_cast<CQorDevice*>(GetSelectedNodeOfType(NodeType::Device));
}

bool CWVTestsView::Shows(const CQorDevice* device) const
{
    return device != nullptr && m_frame != nullptr && m_frame->GetFormView() == this && Device() == device;
}

void CWVTestsView::SetStatic(uint32_t id, const std::string& text)
{
    if (auto* label = qobject_cast<QLabel*>(FindControl(id))) {
        label->setText(Qs(text));
    }
}

void CWVTestsView::OnInitialUpdate()
{
    SetButton(1, kAddButton, kStrButtonAdd);
    SetButton(2, kStartButton, kStrButtonStart);
    SetButton(3, kDeleteButton, kStrButtonDelete);
    EnableControl(kStartButton, false);
    EnableControl(kDeleteButton, false);
    CWVView::OnInitialUpdate();
    CWVChannelView::OnSize(*this, size(), QSize(kTemplateWidth, kTemplateHeight));
}

void CWVTestsView::OnUpdate()
{
    SetCaption(GetResString(kStrTestInformation));
    CQorDevice* device = Device();
    SetStatic(kSlotCount, device != nullptr ? device->GetTestCountText() : std::string());
    ResetList();
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column) {
        const Column& c = kColumns[column];
        InsertColumn(column, c.header != 0 ? GetResString(c.header) : "#", c.alignment, c.width, kColumnSection);
    }
    int rows = 0;
    if (device != nullptr) {
        for (int number = 1; number <= device->GetTestCount(); ++number) {
            const CQorTest* test = device->GetTest(number);
            if (test == nullptr) {
                continue;
            }
            const int row = AddListItem(rows, 0, test->GetIdText());
            GetList()->topLevelItem(row)->setData(0, kTestRole, number);
            AddListItem(row, 1, test->GetName());
            AddListItem(row, 2,
                        test->GetState() == kTestStatePendingScheduled ? test->GetScheduledStartText()
                                                                         : test->GetStartedOnText());
            AddListItem(row, 3, test->GetStoppedOnText());
            AddListItem(row, 4, test->GetSampleCountText());
            ++rows;
        }
    }
    UpdateButtons(device);
    SetStatic(kListedCount, std::to_string(rows));
}

int CWVTestsView::RowTest(int row) const
{
    const QTreeWidgetItem* item = GetList()->topLevelItem(row);
    return item != nullptr ? item->data(0, kTestRole).toInt() : 0;
}

std::vector<int> CWVTestsView::SelectedTests() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : GetList()->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    std::vector<int> numbers;
    for (const int row : rows) {
        numbers.push_back(RowTest(row));
    }
    return numbers;
}

void CWVTestsView::SelectTests(const std::vector<int>& numbers)
{
    QTreeWidget* list = GetList();
    list->clearSelection();
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        if (std::find(numbers.begin(), numbers.end(), RowTest(row)) == numbers.end()) {
            continue;
        }
        QTreeWidgetItem* item = list->topLevelItem(row);
        item->setSelected(true);
        list->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        list->scrollToItem(item);
    }
}

void CWVTestsView::UpdateButtons(CQorDevice* device)
{
    m_cloneSource = 0;
    const bool running = device != nullptr && device->GetRunningTestId() > 0;
    const bool freeSlot = device != nullptr && device->GetFreeTestSlot() != 0;
    SetButton(1, kAddButton, kStrButtonAdd);
    bool addEnabled = device != nullptr && !running && freeSlot;
    const std::vector<int> selected = SelectedTests();
    const auto slot2 = [this] { return static_cast<uint32_t>(GetButtonId(2)); };
    const auto slot3 = [this] { return static_cast<uint32_t>(GetButtonId(3)); };
    if (selected.empty() || device == nullptr) {
        ShowControl(slot2(), false, false);
        ShowControl(slot3(), false, false);
    } else if (selected.size() == 1) {
        const CQorTest* test = device->GetTest(selected.front());
        if (test != nullptr) {
            bool enable2 = true;
            switch (test->GetState()) {
            case kTestStatePendingManual:
                SetButton(2, kStartButton, kStrButtonStart);
                SetButton(3, kDeleteButton, kStrButtonDelete);
                break;
            case kTestStatePendingScheduled:
                SetButton(2, kStartButton, kStrButtonStart);
                SetButton(3, kDeleteButton, kStrButtonDelete);
                enable2 = false;
                break;
            case kTestStateRunning:
                SetButton(2, kExtractButton, kStrButtonExtract);
                SetButton(3, kStopButton, kStrButtonStop);
                break;
            default:
                // Complete, ended abnormally, and any state the device should not report.
                SetButton(2, kExtractButton, kStrButtonExtract);
                SetButton(3, kDeleteButton, kStrButtonDelete);
                break;
            }
            ShowControl(slot2(), true, enable2);
            ShowControl(slot3(), true, true);
            if (running) {
                if (slot2() == kStartButton) {
                    EnableControl(kStartButton, false);
                }
                if (slot3() == kDeleteButton) {
                    EnableControl(kDeleteButton, false);
                }
            } else {
                SetButton(1, kAddButton, kStrButtonClone);
                addEnabled = true;
                m_cloneSource = selected.front();
            }
        }
    } else {
        SetButton(2, kExtractButton, kStrButtonExtract);
        SetButton(3, kDeleteButton, kStrButtonDelete);
        bool extractable = false;
        bool pending = false;
        bool anyRunning = false;
        for (const int number : selected) {
            const CQorTest* test = device->GetTest(number);
            const uint8_t state = test != nullptr ? test->GetState() : 0;
            extractable = extractable || (state >= kTestStateRunning && state <= kTestStateAbended);
            pending = pending || state == kTestStatePendingManual || state == kTestStatePendingScheduled;
            anyRunning = anyRunning || state == kTestStateRunning;
        }
        ShowControl(kExtractButton, true, extractable && !pending);
        ShowControl(kDeleteButton, true, !anyRunning);
    }
    ShowControl(kAddButton, true, addEnabled);
}

void CWVTestsView::OnListDblClk()
{
    CQorDevice* device = Device();
    if (device == nullptr || (m_frame != nullptr && m_frame->IsBusy()) || GetList()->topLevelItemCount() == 0) {
        return;
    }
    const std::vector<int> selected = SelectedTests();
    // The row's own test, whatever other numbers the device holds.
    const int number = selected.empty() ? RowTest(0) : selected.front();
    if (CQorTest* test = device->GetTest(number)) {
        // Selecting switches the pane to the test's view; this view is retired by the
        // frame and stays alive until the top level.
        test->SelectTreeItem();
    }
}

void CWVTestsView::ReportDeleteError(int status, CQorDevice& device)
{
    if (testcmd::ReportTestError(*m_frame, device, status, kStrDeleteTest) && Shows(&device)) {
        OnUpdate();
    }
}

bool CWVTestsView::CheckOpticalSensors(CQorDevice* device)
{
    CQikProfDataWriter& writer = device->GetDataWriter();
    std::array<uint8_t, 30> codes{};
    int count = 0;
    writer.GetChannelCodes(count, codes);
    // The codes are copied: a dialog or a wait below may change the writer's header.
    for (int i = 0; i < count; ++i) {
        const int code = codes[static_cast<size_t>(i)];
        if (code == 17 || code == 37) {
            writer.ReadStatusBlock();
            device->CheckHdoCap(code, false);
            if (!Shows(device)) {
                return false;
            }
            const int capStatus = device->GetDataWriter().OpticalCapStatus();
            if (capStatus != kCapStatusOk) {
                SiteMessage message;
                message.icon = MessageIcon::Question;
                message.buttons = MessageButtons::YesNo;
                message.defaultAnswer = MessageAnswer::Yes;
                const MessageAnswer answer = m_frame->ShowMessageText(message, "Continue with test configuration?");
                if (!Shows(device)) {
                    return false;
                }
                if (answer != MessageAnswer::Yes) {
                    if (capStatus == kCapStatusNotDetected) {
                        // Back to the device, whose view shows the sensor's state.
                        device->SelectTreeItem();
                    }
                    return false;
                }
                continue;
            }
        } else if (code != 16 && code != 36) {
            continue;
        }
        RunHdoSalinityDialog(code, *device, this);
        if (!Shows(device)) {
            return false;
        }
    }
    return true;
}

void CWVTestsView::OnAddTest()
{
    CQorDevice* device = Device();
    if (device == nullptr || m_frame == nullptr) {
        return;
    }
    const int cloneSource = m_cloneSource;
    if (!CheckOpticalSensors(device)) {
        return;
    }
    const uint8_t freeSlot = device->GetFreeTestSlot();
    if (freeSlot == 0) {
        SiteMessage message;
        message.textId = kStrNoTestSlots;
        message.captionId = kStrAddTest;
        message.icon = MessageIcon::Error;
        m_frame->ShowMessage(message);
        return;
    }
    CTestWiz wiz(device);
    if (!Shows(device)) {
        return;
    }
    const CQorTest* source = cloneSource > 0 ? device->GetTest(cloneSource) : nullptr;
    if (source != nullptr) {
        wiz.SetExistingDefinition(source->GetDefinition(), true);
    }
    wiz.SetTestId(freeSlot);
    const TestDefinitionRecord& definition = wiz.GetDefinition();
    const auto logged = [&](int parameterId) {
        const size_t count = std::min<size_t>(definition.channelCount, kTestMaxChannels);
        const auto end = definition.channels.begin() + static_cast<std::ptrdiff_t>(count);
        return std::find(definition.channels.begin(), end, parameterId) != end;
    };
    const CQikProfDataWriter& writer = device->GetDataWriter();
    const int rows = std::min<int>(device->GetChannelCount(), kTestWizRows);
    for (int row = 0; row < rows; ++row) {
        const CQorChannel* channel = device->GetChannel(row, false);
        if (channel != nullptr && (channel->GetParameterId() == 17 || channel->GetParameterId() == 37)) {
            // An optical sensor is offered only with a working cap.
            if (writer.OpticalCapStatus() != kCapStatusOk) {
                channel = nullptr;
            } else if (writer.GetCapExpiryTime() > writer.GetSensorTime()) {
                wiz.capDays = static_cast<int>((writer.GetCapExpiryTime() - writer.GetSensorTime()) / 86400);
            }
        }
        wiz.SetChannel(row, channel, channel != nullptr && (source == nullptr || logged(channel->GetParameterId())));
    }
    wiz.TakeDeviceInputs();
    if (!wiz.HasPresentChannel()) {
        SiteMessage message;
        message.textId = kStrNoTestChannels;
        message.captionId = kStrAddTest;
        message.icon = MessageIcon::Error;
        m_frame->ShowMessage(message);
        return;
    }
    if (wiz.DoModal() != kIdWizFinish || !Shows(device)) {
        return;
    }
    m_frame->ActivateTreeView();
    if (!wiz.IsStartTimeValid()) {
        testcmd::ShowStartTooEarly(*m_frame);
        return;
    }
    m_frame->BeginBusy();
    const int status = device->AddTest(GetDocument()->GetTreeView(), wiz.GetDefinition(), wiz.GetRelayDefinition());
    if (status != kAppOk && Shows(device) && testcmd::ReportTestError(*m_frame, *device, status, kStrAddTest) &&
        Shows(device)) {
        OnUpdate();
    }
    m_frame->EndBusy();
    if (status == kAppErrLineLost) {
        testcmd::DropConnection(GetDocument(), device);
    }
}

void CWVTestsView::OnStartTest()
{
    CQorDevice* device = Device();
    const std::vector<int> selected = SelectedTests();
    if (device == nullptr || selected.empty() || device->GetTest(selected.front()) == nullptr) {
        return;
    }
    const int number = selected.front();
    if (!testcmd::ConfirmOk(*m_frame, kStrConfirmStartSelected, kStrStartTest) || !Shows(device)) {
        return;
    }
    const int ended = testcmd::RunTestCommand(*m_frame, GetDocument(), device, kStrStartingTest, [&] {
        const int running = device->GetRunningTestId();
        int status = device->GetTest(number)->StartTest();
        if (status != kAppOk) {
            if (Shows(device) && testcmd::ReportTestError(*m_frame, *device, status, kStrStartTest) && Shows(device)) {
                OnUpdate();
            }
        } else if (Shows(device)) {
            wv::OleDateTime now = device->GetCurrentDeviceTime();
            if (running > 0) {
                m_frame->SetStatusTextId(kStrStoppingPreviousTest);
                WaitMs(kStoppedTestWaitMs);
                // The device stopped the other test when this one started: read it again.
                CQorTest* previous = Shows(device) ? device->GetTest(running) : nullptr;
                if (previous != nullptr) {
                    status = previous->ReadDefinition();
                    if (status == kAppOk && Shows(device)) {
                        if (CQorTest* again = device->GetTest(running)) {
                            again->RefreshTreeItem();
                        }
                        device->ReadDeviceInfo();
                        now = device->GetCurrentDeviceTime();
                    }
                }
            }
            CQorTest* started = Shows(device) ? device->GetTest(number) : nullptr;
            if (started != nullptr) {
                DeviceTime start{};
                if (OleDateTimeToDeviceTime(now, start)) {
                    started->SetStartTime(start);
                }
                started->SetState(kTestStateRunning);
                started->RefreshTreeItem();
                if (Shows(device)) {
                    OnUpdate();
                }
            }
        }
        return status;
    });
    if (ended == kAppErrLineLost) {
        return;
    }
    if (Shows(device)) {
        setFocus();
        SelectTests({number});
    }
}

void CWVTestsView::OnStopTest()
{
    CQorDevice* device = Device();
    if (device == nullptr) {
        return;
    }
    if (!testcmd::ConfirmOk(*m_frame, kStrConfirmStopTests, kStrStopTest) || !Shows(device)) {
        return;
    }
    const std::vector<int> remembered = SelectedTests();
    const int ended = testcmd::RunTestCommand(*m_frame, GetDocument(), device, kStrStoppingTest, [&] {
        // The running test, whichever rows are selected; the search ends at the last number.
        int number = 0;
        for (int n = 1; n <= device->GetTestCount() && number == 0; ++n) {
            const CQorTest* test = device->GetTest(n);
            if (test != nullptr && test->GetState() == kTestStateRunning) {
                number = n;
            }
        }
        int status = kAppOk;
        if (number != 0) {
            status = device->GetTest(number)->StopTest();
            if (status != kAppOk) {
                if (Shows(device)) {
                    testcmd::ReportTestError(*m_frame, *device, status, kStrStopTest);
                }
            } else if (Shows(device)) {
                if (CQorTest* test = device->GetTest(number); test != nullptr && test->ReadDefinition() == kAppOk) {
                    if (CQorTest* again = Shows(device) ? device->GetTest(number) : nullptr) {
                        again->RefreshTreeItem();
                    }
                }
                if (Shows(device)) {
                    device->ReadDeviceInfo();
                }
            }
        }
        return status;
    });
    if (ended == kAppErrLineLost) {
        return;
    }
    if (Shows(device)) {
        OnUpdate();
        setFocus();
        SelectTests(remembered);
    }
}

void CWVTestsView::OnDeleteTests()
{
    CQorDevice* device = Device();
    if (device == nullptr || SelectedTests().empty()) {
        return;
    }
    SiteMessage ask;
    ask.textId = kStrConfirmDeleteTests;
    ask.captionId = kStrDeleteTest;
    ask.icon = MessageIcon::Question;
    ask.buttons = MessageButtons::YesNo;
    ask.defaultAnswer = MessageAnswer::Yes;
    if (m_frame->ShowMessage(ask) != MessageAnswer::Yes || !Shows(device)) {
        return;
    }
    m_frame->ActivateTreeView();
    m_frame->BeginBusy();
    m_frame->SetCancellable(true);
    const int result = DeleteSelectedTestsCancellable();
    m_frame->SetStatusText({});
    m_frame->EndBusy();
    if (result == kAppErrLineLost) {
        testcmd::DropConnection(GetDocument(), device);
        return;
    }
    if (result == kAppOk && Shows(device)) {
        OnUpdate();
        setFocus();
    }
}

int CWVTestsView::DeleteSelectedTestsCancellable()
{
    CQorDevice* device = Device();
    // The numbers are taken first: the list is rebuilt while the tests go.
    const std::vector<int> numbers = SelectedTests();
    const int total = static_cast<int>(numbers.size());
    std::vector<std::string> deleted;
    int status = kAppOk;
    for (int n = 1; n <= total && device != nullptr && !m_frame->IsCancelRequested(); ++n) {
        // Each step waits on the line: the device must still be the one shown, and a test
        // gone meanwhile is skipped.
        if (!Shows(device)) {
            break;
        }
        const int number = numbers[static_cast<size_t>(n - 1)];
        if (device->GetTest(number) == nullptr) {
            continue;
        }
        m_frame->SetStatusText(testcmd::FormatCount(kStrDeletingTestOf, n, total));
        status = device->DeleteTest(static_cast<uint8_t>(number));
        if (status == kAppOk) {
            deleted.push_back(std::to_string(number));
        } else {
            deleted.emplace_back();
            if (Shows(device)) {
                ReportDeleteError(status, *device);
            }
            if (status == kAppErrLineLost) {
                return status;
            }
        }
    }
    if (m_frame->IsCancelRequested()) {
        m_frame->ClearCancelRequest();
        SiteMessage message;
        message.textId = kStrDeletionCancelled;
        message.captionId = kStrDeleteTest;
        message.icon = MessageIcon::Error;
        for (size_t i = 0; i < deleted.size(); ++i) {
            if (i != 0) {
                message.detail += ", ";
            }
            message.detail += deleted[i];
        }
        m_frame->ShowMessage(message);
        if (Shows(device)) {
            OnUpdate();
        }
        status = kAppErrReadCancelled;
    }
    if (Shows(device)) {
        device->ReadDeviceInfo();
    }
    return status;
}

void CWVTestsView::OnExtractTests()
{
    CQorDevice* device = Device();
    const std::vector<int> numbers = SelectedTests();
    if (device == nullptr || numbers.empty()) {
        return;
    }
    std::vector<std::string> paths;
    m_frame->SetCancellable(true);
    m_frame->ActivateTreeView();
    m_frame->BeginBusy();
    const int total = static_cast<int>(numbers.size());
    int status = kAppOk;
    for (int n = 1; n <= total && !m_frame->IsCancelRequested(); ++n) {
        if (!Shows(device)) {
            break;
        }
        CQorTest* test = device->GetTest(numbers[static_cast<size_t>(n - 1)]);
        if (test == nullptr) {
            continue;
        }
        m_frame->SetStatusText(testcmd::FormatCount(kStrExtractingTestOf, n, total));
        std::string path;
        status = test->DownloadData(path);
        if (status != kAppOk) {
            if (!Shows(device)) {
                break;
            }
            int drop = 1;
            testcmd::ReportTestError(*m_frame, *device, status, kStrExtractTestData, &drop);
            if (drop != 0) {
                // A failure the report has no text of its own for: the line is dropped.
                testcmd::DropConnection(GetDocument(), device);
                break;
            }
        }
        if ((status == kAppOk || status == kAppErrDownloadTruncated) && !path.empty()) {
            if (CWVDoc* doc = GetDocument(); doc != nullptr && doc->GetSite() != nullptr) {
                doc->GetSite()->FindDataFile(path);
            }
            paths.push_back(path);
        }
    }
    m_frame->SetStatusText({});
    m_frame->SetProgress(0u, false);
    m_frame->EndBusy();
    m_frame->SetCancellable(false);
    if (!paths.empty()) {
        CWVLaunchDM dialog(m_frame, paths);
        dialog.exec();
    }
    if (status == kAppErrLineLost) {
        testcmd::DropConnection(GetDocument(), device);
        return;
    }
    if (m_frame->GetFormView() == this) {
        setFocus();
    }
}

void CWVTestsView::SaveColumnWidths()
{
    const QTreeWidget* list = GetList();
    if (list == nullptr || list->columnCount() < static_cast<int>(std::size(kColumns))) {
        return;
    }
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column) {
        WriteRegDword(kColumnSection, "Col" + std::to_string(column),
                      static_cast<uint32_t>(std::max(list->columnWidth(column), 0)));
    }
}

void CWVTestsView::UpdateScrollSizes(int width, int height)
{
    if (width >= kMinScrollWidth && height >= kMinScrollHeight) {
        CWVView::UpdateScrollSizes(width, height);
    }
}

bool CWVTestsView::HandlesCommand(uint32_t command) const
{
    switch (command) {
    case kAddButton:
    case kStartButton:
    case kStopButton:
    case kDeleteButton:
    case kExtractButton:
    case wvcmd::kTreeAddTest:
    case wvcmd::kTreeStopTests: return true;
    default: return false;
    }
}

void CWVTestsView::OnViewCommand(uint32_t command)
{
    if (m_frame == nullptr || m_frame->IsBusy()) {
        return;
    }
    switch (command) {
    case kAddButton:
    case wvcmd::kTreeAddTest: OnAddTest(); break;
    case kStartButton: OnStartTest(); break;
    case kStopButton:
    case wvcmd::kTreeStopTests: OnStopTest(); break;
    case kDeleteButton: OnDeleteTests(); break;
    case kExtractButton: OnExtractTests(); break;
    default: break;
    }
}

void CWVTestsView::resizeEvent(QResizeEvent* event)
{
    CWVView::resizeEvent(event);
    CWVChannelView::OnSize(*this, event->size(), QSize(kTemplateWidth, kTemplateHeight));
}

void CWVTestsView::showEvent(QShowEvent* event)
{
    CWVView::showEvent(event);
    CWVChannelView::OnSize(*this, size(), QSize(kTemplateWidth, kTemplateHeight));
}
