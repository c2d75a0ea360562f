#pragma once
// CWVTestView: the right-hand view of one test. It shows the test's number, state, name,
// dates, data points and intervals and the device's battery, and offers the commands
// that suit the test's state: Edit, Start, Stop, Delete and Extract. The tree's menu of a
// test item runs the same commands through this view.
//
// The view keeps no node: the test is the document's selected node, its device the
// test's parent. After every wait, box or dialog the view checks that it is still the
// frame's view and shows the same test; deleting the test takes the selection away,
// which retires this view.

#include "app/WVView.h"

#include <cstdint>
#include <string>

class CQorDevice;
class CQorTest;
class CWVFrame;

class CWVTestView : public CWVView {
    Q_OBJECT
public:
    // Template 123: a group box of label and value pairs, three command buttons.
    static constexpr uint32_t kTemplateId = 123;
    static constexpr int kTemplateWidth = 384;
    static constexpr int kTemplateHeight = 347;
    // The scroll sizes follow the view only above this size.
    static constexpr int kMinScrollWidth = 384;
    static constexpr int kMinScrollHeight = 347;

    // Buttons.
    static constexpr uint32_t kEditButton = 1142;
    static constexpr uint32_t kStartButton = 1126;
    static constexpr uint32_t kStopButton = 1112;
    static constexpr uint32_t kExtractButton = 1129;
    static constexpr uint32_t kDeleteButton = 1155;

    // Group box and rows: label id, value id.
    static constexpr uint32_t kGroupBox = 1114;
    static constexpr uint32_t kNumberLabel = 1115, kNumberValue = 1039;
    static constexpr uint32_t kStatusLabel = 1113, kStatusValue = 1049;
    static constexpr uint32_t kNameLabel = 1116, kNameValue = 1037;
    static constexpr uint32_t kDefinedLabel = 1131, kDefinedValue = 1041;
    static constexpr uint32_t kScheduledLabel = 1118, kScheduledValue = 1043;
    static constexpr uint32_t kStartedLabel = 1056, kStartedValue = 1057;
    static constexpr uint32_t kStoppedLabel = 1119, kStoppedValue = 1045;
    static constexpr uint32_t kPointsLabel = 1120, kPointsValue = 1051;
    static constexpr uint32_t kIntervalLabel = 1121, kIntervalValue = 1053;
    static constexpr uint32_t kExtra1Label = 1122, kExtra1Value = 1054;
    static constexpr uint32_t kExtra2Label = 1123, kExtra2Value = 1055;
    static constexpr uint32_t kBatteryLabel = 1427, kBatteryValue = 1144;

    explicit CWVTestView(CWVFrame* frame, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    // Reads the test's channels and the device once, then fills the fields and buttons.
    void OnUpdate() override;
    void UpdateScrollSizes(int width, int height) override;
    bool HandlesCommand(uint32_t command) const override;
    void OnViewCommand(uint32_t command) override;

    // Edit/Extract, Start/Stop/Delete and Delete by the test's state and the device's
    // running test.
    void UpdateButtons();
    void SetStatusField();
    void SetStartedOnField();
    void SetStoppedOnField();
    void SetDataPointsField();
    // The test wizard on this test's definition; a finished wizard that changed something
    // writes the definition to the device.
    void OnEditTest();
    void OnStartTest();
    void OnStopTest();
    void OnDeleteTest();
    void OnExtractTest();

    // The started-on time this view gives a test it has just started, until the test is
    // read again: 1999-09-09 09:09:09.
    static bool IsStartMarker(const CQorTest& test);

private:
    CQorTest* Test() const;
    CQorDevice* DeviceOf(const CQorTest* test) const;
    // True while this view is the frame's and shows test.
    bool Shows(const CQorTest* test) const;
    void SetText(uint32_t id, const std::string& text);
    // Reports a failure of a command on the test; reads the tests again when asked and,
    // when that worked and the view still shows the test, updates.
    void ReportError(CQorTest* test, int status, uint32_t captionId);

    CWVFrame* m_frame;
};
