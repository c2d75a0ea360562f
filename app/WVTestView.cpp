#include "app/WVTestView.h"

#include "app/CommandIds.h"
#include "app/CsvExporterCom.h"
#include "app/WVFrame.h"
#include "app/WVLaunchDM.h"
#include "app/WVTestsView.h"
#include "foundation/AppUtils.h"
#include "foundation/DeviceTime.h"
#include "resources/StringTable.h"
#include "site/AppErrorCode.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "site/QorTest.h"
#include "site/WVDoc.h"
#include "wizards/TestWiz.h"

#include <QGroupBox>
#include <QLabel>

#include <algorithm>
#include <iterator>

namespace {

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr int kLabelX = 16;
constexpr int kValueX = 160;
constexpr int kFirstRowY = 52;
constexpr int kRowStep = 18;
constexpr int kRowHeight = 16;

// The started-on time of a test this view has just started.
constexpr DeviceTime kStartMarker{1999, 9, 9, 9, 9, 9, 0};

constexpr uint8_t kScheduleEvent = 3;
constexpr uint8_t kScheduleLinearAverage = 4;

struct Row {
    uint32_t label;
    uint32_t labelText;   // 0: set by the schedule type
    uint32_t value;
};

constexpr Row kRows[] = {
    {CWVTestView::kNumberLabel, kStrRowTestNumber, CWVTestView::kNumberValue},
    {CWVTestView::kStatusLabel, kStrRowTestStatus, CWVTestView::kStatusValue},
    {CWVTestView::kNameLabel, kStrRowTestName, CWVTestView::kNameValue},
    {CWVTestView::kDefinedLabel, kStrRowDefinedOn, CWVTestView::kDefinedValue},
    {CWVTestView::kScheduledLabel, kStrRowScheduledFor, CWVTestView::kScheduledValue},
    {CWVTestView::kStartedLabel, kStrRowStartedOn, CWVTestView::kStartedValue},
    {CWVTestView::kStoppedLabel, kStrRowStoppedOn, CWVTestView::kStoppedValue},
    {CWVTestView::kPointsLabel, kStrRowDataPoints, CWVTestView::kPointsValue},
    {CWVTestView::kIntervalLabel, kStrRowInterval, CWVTestView::kIntervalValue},
    {CWVTestView::kExtra1Label, 0, CWVTestView::kExtra1Value},
    {CWVTestView::kExtra2Label, 0, CWVTestView::kExtra2Value},
    {CWVTestView::kBatteryLabel, kStrRowBatteryCapacity, CWVTestView::kBatteryValue},
};

// An event test's delta value has no meaning in these display units of these parameters.
bool HidesDeltaValue(const CQorTest& test)
{
    const uint8_t id = test.GetEventChannel();
    const CQorChannel* channel = test.GetChannel(id);
    if (channel == nullptr) {
        return false;
    }
    const int units = channel->GetDefaultUnits();
    const bool oxygen = id == 16 || id == 17 || id == 25 || id == 36 || id == 37;
    return (units == 2 && oxygen) || ((units == 3 || units == 4) && id == 45);
}

} // namespace

CWVTestView::CWVTestView(CWVFrame* frame, QWidget* parent)
    : CWVView(ViewTemplate{kTemplateId, false, 3, kTemplateWidth, kTemplateHeight}, parent), m_frame(frame)
{
    QWidget* form = GetForm();
    auto* group = new QGroupBox(form);
    group->setObjectName(QString::number(kGroupBox));
    group->setGeometry(8, 40, kTemplateWidth - 16, kFirstRowY - 40 + static_cast<int>(std::size(kRows)) * kRowStep + 8);
    auto addLabel = [form](uint32_t id, const QString& text, const QRect& where) {
        auto* label = new QLabel(text, form);
        label->setObjectName(QString::number(id));
        // Plain text: a name shows exactly as typed, "&" included.
        label->setTextFormat(Qt::PlainText);
        label->setGeometry(where);
    };
    int y = kFirstRowY;
    for (const Row& row : kRows) {
        addLabel(row.label, row.labelText != 0 ? Qs(GetResString(row.labelText)) : QString(),
                 QRect(kLabelX, y, kValueX - kLabelX - 4, kRowHeight));
        addLabel(row.value, QString(), QRect(kValueX, y, kTemplateWidth - kValueX - 16, kRowHeight));
        y += kRowStep;
    }
    group->lower();
    connect(this, &CWVView::ButtonCommand, this, [this](uint32_t id) { OnViewCommand(id); });
}

CQorTest* CWVTestView::Test() const { return dynamic_cast<CQorTest*>(GetSelectedNodeOfType(NodeType::Test)); }

CQorDevice* CWVTestView::DeviceOf(const CQorTest* test) const
{
    return test != nullptr ? dynamic_cast<CQorDevice*>(test->GetParent()) : nullptr;
}

bool CWVTestView::Shows(const CQorTest* test) const
{
    return test != nullptr && m_frame != nullptr && m_frame->GetFormView() == this && Test() == test;
}

void CWVTestView::SetText(uint32_t id, const std::string& text)
{
    if (auto* label = qobject_cast<QLabel*>(FindControl(id))) {
        label->setText(Qs(text));
    }
}

bool CWVTestView::IsStartMarker(const CQorTest& test)
{
    DeviceTime start{};
    return test.GetStartTime(start) == kAppOk && CompareDeviceTime(start, kStartMarker) == 0;
}

void CWVTestView::OnInitialUpdate()
{
    SetButton(1, kEditButton, kStrButtonEdit);
    SetButton(2, kStartButton, kStrButtonStart);
    SetButton(3, kDeleteButton, kStrButtonDelete);
    CWVView::OnInitialUpdate();
}

void CWVTestView::OnUpdate()
{
    CQorTest* test = Test();
    if (test == nullptr) {
        return;
    }
    test->Expand();
    if (!Shows(test)) {
        return;
    }
    if (CQorDevice* device = DeviceOf(test)) {
        device->ExpandDevice();
    }
    // Both reads waited on the line: the view may show something else by now.
    if (!Shows(test)) {
        return;
    }
    SetCaption(GetResString(kStrTestCaption));
    update(0, 0, 500, 40);
    SetText(kNumberValue, test->GetIdText());
    SetStatusField();
    SetText(kNameValue, test->GetName());
    SetText(kDefinedValue, test->GetDefinedOnText());
    SetText(kScheduledValue, test->GetScheduledStartText());
    SetStartedOnField();
    SetStoppedOnField();
    SetDataPointsField();
    SetText(kIntervalValue, test->GetIntervalText());
    const uint8_t type = test->GetScheduleType();
    const bool extra = type == kScheduleEvent || type == kScheduleLinearAverage;
    for (const uint32_t id : {kExtra1Label, kExtra1Value, kExtra2Label, kExtra2Value}) {
        ShowControl(id, extra, true);
    }
    if (type == kScheduleEvent) {
        SetText(kExtra1Label, std::string(GetResString(kStrRowDeltaValue)));
        SetText(kExtra1Value, HidesDeltaValue(*test) ? std::string() : test->GetDeltaValueText());
        SetText(kExtra2Label, std::string(GetResString(kStrRowStorageInterval)));
        SetText(kExtra2Value, test->GetStorageIntervalText());
    } else if (type == kScheduleLinearAverage) {
        SetText(kExtra1Label, std::string(GetResString(kStrRowSampleInterval)));
        SetText(kExtra1Value, test->GetSampleIntervalText() + " " + std::string(GetResString(kStrSecondsUnit)));
        SetText(kExtra2Label, std::string(GetResString(kStrRowSampleCount)));
        SetText(kExtra2Value, test->GetAverageCountText() + " " + std::string(GetResString(kStrSamplesUnit)));
    }
    const CQorDevice* device = DeviceOf(test);
    SetText(kBatteryValue, device != nullptr ? device->GetBatteryText() : std::string());
    GetForm()->update();
    UpdateButtons();
}

void CWVTestView::SetStatusField()
{
    if (const CQorTest* test = Test()) {
        SetText(kStatusValue, test->GetStateText());
    }
}

void CWVTestView::SetStartedOnField()
{
    if (const CQorTest* test = Test()) {
        SetText(kStartedValue, IsStartMarker(*test) ? std::string() : test->GetStartedOnText());
    }
}

void CWVTestView::SetStoppedOnField()
{
    if (const CQorTest* test = Test()) {
        SetText(kStoppedValue, test->GetStoppedOnText());
    }
}

void CWVTestView::SetDataPointsField()
{
    if (const CQorTest* test = Test()) {
        SetText(kPointsValue, test->GetSampleCountText());
    }
}

void CWVTestView::UpdateButtons()
{
    const CQorTest* test = Test();
    // Slot 3 leaves its id first, so no two slots ever share one.
    SetButton(3, 3, kStrButtonDelete);
    ShowControl(3, false, false);
    if (test == nullptr) {
        return;
    }
    switch (test->GetState()) {
    case kTestStatePendingManual:
    case kTestStatePendingScheduled:
        SetButton(1, kEditButton, kStrButtonEdit);
        SetButton(2, kStartButton, kStrButtonStart);
        SetButton(3, kDeleteButton, kStrButtonDelete);
        ShowControl(kEditButton, true, true);
        ShowControl(kStartButton, true, test->GetState() == kTestStatePendingManual);
        ShowControl(kDeleteButton, true, true);
        break;
    case kTestStateRunning:
        SetButton(1, kExtractButton, kStrButtonExtract);
        SetButton(2, kStopButton, kStrButtonStop);
        ShowControl(kExtractButton, true, true);
        ShowControl(kStopButton, true, true);
        break;
    case kTestStateComplete:
    case kTestStateAbended:
        SetButton(1, kExtractButton, kStrButtonExtract);
        SetButton(2, kDeleteButton, kStrButtonDelete);
        ShowControl(kExtractButton, true, true);
        ShowControl(kDeleteButton, true, true);
        break;
    default: break;
    }
    const CQorDevice* device = DeviceOf(test);
    if (device != nullptr && device->GetRunningTestId() != 0) {
        if (GetButtonId(1) == static_cast<int>(kEditButton)) {
            EnableControl(kEditButton, false);
        }
        if (GetButtonId(2) == static_cast<int>(kStartButton) || GetButtonId(2) == static_cast<int>(kDeleteButton)) {
            EnableControl(static_cast<uint32_t>(GetButtonId(2)), false);
        }
        if (GetButtonId(3) == static_cast<int>(kDeleteButton)) {
            EnableControl(kDeleteButton, false);
        }
    }
}

void CWVTestView::ReportError(CQorTest* test, int status, uint32_t captionId)
{
    CQorDevice* device = DeviceOf(test);
    if (device != nullptr && Shows(test) && testcmd::ReportTestError(*m_frame, *device, status, captionId) &&
        Shows(test)) {
        OnUpdate();
    }
}

void CWVTestView::OnEditTest()
{
    CQorTest* test = Test();
    CQorDevice* device = DeviceOf(test);
    if (device == nullptr || m_frame == nullptr) {
        return;
    }
    CTestWiz wiz(device);
    if (!Shows(test)) {
        return;
    }
    wiz.SetExistingDefinition(test->GetDefinition(), false);
    RelayDefinitionRecord relays;
    test->CopyRelayDefinition(relays);
    wiz.SetRelayDefinition(relays);
    wiz.SetTestId(test->GetDefinition().testId);
    const int rows = std::min<int>(device->GetChannelCount(), kTestWizRows);
    for (int row = 0; row < rows; ++row) {
        const CQorChannel* channel = device->GetChannel(row, false);
        wiz.SetChannel(row, channel,
                       channel != nullptr && test->GetChannel(static_cast<uint8_t>(channel->GetParameterId())) != nullptr);
    }
    wiz.TakeDeviceInputs();
    // Only a finished wizard that changed something writes the test again.
    if (wiz.DoModal() != kIdWizFinish || !wiz.IsModified() || !Shows(test)) {
        if (Shows(test)) {
            setFocus();
        }
        return;
    }
    m_frame->ActivateTreeView();
    if (!wiz.IsStartTimeValid()) {
        testcmd::ShowStartTooEarly(*m_frame);
    } else {
        m_frame->BeginBusy();
        const int status = test->WriteDefinition(wiz.GetDefinition(), wiz.GetRelayDefinition());
        if (status != kAppOk) {
            ReportError(test, status, kStrEditTest);
        } else if (Shows(test)) {
            OnUpdate();
        }
        m_frame->EndBusy();
        if (status == kAppErrLineLost) {
            testcmd::DropConnection(GetDocument(), device);
            return;
        }
    }
    if (Shows(test)) {
        setFocus();
    }
}

void CWVTestView::OnStartTest()
{
    CQorTest* test = Test();
    CQorDevice* device = DeviceOf(test);
    if (device == nullptr || !testcmd::ConfirmOk(*m_frame, kStrConfirmStartThis, kStrStartTest) || !Shows(test)) {
        return;
    }
    const int ended = testcmd::RunTestCommand(*m_frame, GetDocument(), device, kStrStartingTest, [&] {
        const int running = device->GetRunningTestId();
        int status = test->StartTest();
        if (status != kAppOk) {
            ReportError(test, status, kStrStartTest);
        } else if (Shows(test)) {
            if (running > 0) {
                m_frame->SetStatusTextId(kStrStoppingPreviousTest);
                WaitMs(300);
                // The device stopped the other test when this one started: read it again.
                if (CQorTest* previous = Shows(test) ? device->GetTest(running) : nullptr) {
                    status = previous->ReadDefinition();
                    if (status == kAppOk && Shows(test)) {
                        previous->RefreshTreeItem();
                        device->ReadDeviceInfo();
                    }
                }
            }
            if (Shows(test)) {
                // The real start time is read with the test next time; until then the field
                // stays empty.
                test->SetStartTime(kStartMarker);
                test->SetState(kTestStateRunning);
                test->RefreshTreeItem();
                SetStatusField();
                SetStartedOnField();
                SetStoppedOnField();
                SetDataPointsField();
                UpdateButtons();
            }
        }
        return status;
    });
    if (ended == kAppErrLineLost) {
        return;
    }
    if (Shows(test)) {
        setFocus();
    }
}

void CWVTestView::OnStopTest()
{
    CQorTest* test = Test();
    CQorDevice* device = DeviceOf(test);
    if (device == nullptr || !testcmd::ConfirmOk(*m_frame, kStrConfirmStopThis, kStrStopTest) || !Shows(test)) {
        return;
    }
    const int ended = testcmd::RunTestCommand(*m_frame, GetDocument(), device, kStrStoppingTest, [&] {
        const int status = test->StopTest();
        if (status != kAppOk) {
            ReportError(test, status, kStrStopTest);
        } else if (Shows(test)) {
            if (test->ReadDefinition() == kAppOk && Shows(test)) {
                test->RefreshTreeItem();
            }
            if (Shows(test)) {
                device->ReadDeviceInfo();
            }
            if (Shows(test)) {
                SetStatusField();
                SetStoppedOnField();
                SetDataPointsField();
                UpdateButtons();
            }
        }
        return status;
    });
    if (ended == kAppErrLineLost) {
        return;
    }
    if (Shows(test)) {
        setFocus();
    }
}

void CWVTestView::OnDeleteTest()
{
    CQorTest* test = Test();
    CQorDevice* device = DeviceOf(test);
    if (device == nullptr) {
        return;
    }
    const uint8_t state = test->GetState();
    SiteMessage ask;
    ask.textId = state == kTestStateComplete || state == kTestStateAbended ? kStrConfirmDeleteTests
                                                                            : kStrConfirmDeletePending;
    ask.captionId = kStrDeleteTest;
    ask.icon = MessageIcon::Question;
    ask.buttons = MessageButtons::YesNo;
    ask.defaultAnswer = MessageAnswer::Yes;
    if (m_frame->ShowMessage(ask) != MessageAnswer::Yes || !Shows(test)) {
        return;
    }
    m_frame->BeginBusy();
    m_frame->SetStatusTextId(kStrDeletingTest);
    const int status = device->DeleteTest(test->GetTestId());
    if (status != kAppOk) {
        ReportError(test, status, kStrDeleteTest);
    }
    // After a deletion the test's node is gone and the tree's selection with it: this
    // view is retired and does nothing more.
    m_frame->SetStatusText({});
    m_frame->EndBusy();
    if (status == kAppErrLineLost) {
        testcmd::DropConnection(GetDocument(), device);
    }
}

void CWVTestView::OnExtractTest()
{
    CQorTest* test = Test();
    CQorDevice* device = DeviceOf(test);
    if (device == nullptr) {
        return;
    }
    m_frame->SetCancellable(true);
    m_frame->ActivateTreeView();
    m_frame->BeginBusy();
    std::string path;
    const int status = test->DownloadData(path);
    if (status != kAppOk) {
        m_frame->SetCancellable(false);
        m_frame->ClearCancelRequest();
        int drop = 1;
        if (Shows(test)) {
            testcmd::ReportTestError(*m_frame, *device, status, kStrExtractTestData, &drop);
        } else {
            drop = 0;
        }
        if (drop != 0) {
            testcmd::DropConnection(GetDocument(), device);
        }
    }
    m_frame->SetProgress(0u, false);
    m_frame->EndBusy();
    m_frame->SetCancellable(false);
    if ((status == kAppOk || status == kAppErrDownloadTruncated) && !path.empty()) {
        if (CWVDoc* doc = GetDocument(); doc != nullptr && doc->GetSite() != nullptr) {
            doc->GetSite()->FindDataFile(path);
        }
        if (IsAutoCsvEnabled()) {
            OfferAutoCsvExport(m_frame, path);
        }
        CWVLaunchDM dialog(m_frame, {path});
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

void CWVTestView::UpdateScrollSizes(int width, int height)
{
    if (width > kMinScrollWidth && height > kMinScrollHeight) {
        CWVView::UpdateScrollSizes(width, height);
    }
}

bool CWVTestView::HandlesCommand(uint32_t command) const
{
    switch (command) {
    case kEditButton:
    case wvcmd::kTreeEditTest:
    case kStartButton:
    case kStopButton:
    case kExtractButton:
    case kDeleteButton:
    case wvcmd::kTreeStartTest:
    case wvcmd::kTreeStopTest:
    case wvcmd::kTreeExtractTest:
    case wvcmd::kTreeDeleteTest: return true;
    default: return false;
    }
}

void CWVTestView::OnViewCommand(uint32_t command)
{
    if (m_frame == nullptr || m_frame->IsBusy()) {
        return;
    }
    switch (command) {
    case kEditButton:
    case wvcmd::kTreeEditTest: OnEditTest(); break;
    case kStartButton:
    case wvcmd::kTreeStartTest: OnStartTest(); break;
    case kStopButton:
    case wvcmd::kTreeStopTest: OnStopTest(); break;
    case kExtractButton:
    case wvcmd::kTreeExtractTest: OnExtractTest(); break;
    case kDeleteButton:
    case wvcmd::kTreeDeleteTest: OnDeleteTest(); break;
    default: break;
    }
}
