#pragma once
// CWVTestsView: the right-hand view of a device's tests item. It lists the device's tests
// (logging runs) with their times and data-point counts, and starts, stops, deletes and
// extracts the selected ones.
//
// The view keeps no node: the device is the document's selected node, and each row keeps
// the number of the test it shows, so a row whose test is in error (and shows no number)
// still addresses its test. Every device command pumps events while it waits; after each
// wait, box or dialog the view finds its device and the test again by number and stops
// when the device is no longer the one it shows.

#include "app/WVView.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CQorConnection;
class CQorDevice;
class CQorTest;
class CWVDoc;
class CWVFrame;

// What the tests view and the test view share: the error report of a test command with
// its re-read of the tests, and the connection a lost line closes.
namespace testcmd {

// Reports status with the caption; when the report asks for the device to be read again,
// reads its tests (a failure reports the device lost). True when the tests were read
// again, so the caller shows them anew. With dropFlag, a failure the report has no text
// of its own for leaves *dropFlag set: the caller drops the connection.
bool ReportTestError(CWVFrame& frame, CQorDevice& device, int status, uint32_t captionId, int* dropFlag = nullptr);
// The device's connection while it is still one of the site's; null otherwise (the device
// may have been retired by a wait: only its parent link is compared).
CQorConnection* LiveConnectionOf(const CWVDoc* doc, const CQorDevice* device);
// Closes the device's connection (a lost line, or a failure that drops it) while it is
// still one of the site's.
void DropConnection(const CWVDoc* doc, const CQorDevice* device);
// Runs a test command as both views do: the tree view active, the frame busy with the
// status text while run() sends the command and reports or refreshes (it gives the final
// status); then the status text cleared and the busy state ended, and a lost line closes
// the device's connection. Returns the status.
int RunTestCommand(CWVFrame& frame, const CWVDoc* doc, const CQorDevice* device, uint32_t statusTextId,
                   const std::function<int()>& run);
// Asks the user with an OK/Cancel box; true for OK.
bool ConfirmOk(CWVFrame& frame, uint32_t textId, uint32_t captionId);
// "%d of %d" texts: the string with its two numbers.
std::string FormatCount(uint32_t textId, int n, int total);
// The box of a scheduled start the test wizard accepted but that is no longer 5 minutes
// ahead of the device's clock.
void ShowStartTooEarly(CWVFrame& frame);

} // namespace testcmd

class CWVTestsView : public CWVView {
    Q_OBJECT
public:
    // Template 122: the count statics, list 1244 and three command buttons.
    static constexpr uint32_t kTemplateId = 122;
    static constexpr int kTemplateWidth = 390;
    static constexpr int kTemplateHeight = 262;
    static constexpr int kMinScrollWidth = 380;
    static constexpr int kMinScrollHeight = 80;
    // Statics: the number of tests listed, the device's test-slot count.
    static constexpr uint32_t kListedCount = 1041;
    static constexpr uint32_t kSlotCount = 1148;
    // Buttons.
    static constexpr uint32_t kAddButton = 1027;
    static constexpr uint32_t kStartButton = 1126;
    static constexpr uint32_t kStopButton = 1112;
    static constexpr uint32_t kDeleteButton = 1155;
    static constexpr uint32_t kExtractButton = 1129;
    // The registry section of the column widths ("Col0" to "Col4").
    static constexpr const char* kColumnSection = "TestList";
    // The data role of column 0 that holds the row's test number.
    static constexpr int kTestRole = Qt::UserRole + 1;

    explicit CWVTestsView(CWVFrame* frame, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    // The rows rebuilt from the selected device, then the buttons and the count.
    void OnUpdate() override;
    void SaveColumnWidths() override;
    void UpdateScrollSizes(int width, int height) override;
    bool HandlesCommand(uint32_t command) const override;
    void OnViewCommand(uint32_t command) override;

    // Add (or Clone), Start/Extract and Delete/Stop by the selection and the tests' states.
    void UpdateButtons(CQorDevice* device);
    // Add (or Clone the selected test): the optical sensors' checks, the test wizard on
    // the first free slot, then the new definition written to the device.
    void OnAddTest();
    void OnStartTest();
    void OnStopTest();
    void OnDeleteTests();
    void OnExtractTests();
    // Deletes the tests of the selected rows in row order until the user cancels; 6019
    // after a cancel, else the status of the last deletion.
    int DeleteSelectedTestsCancellable();
    // Selects, in the tree, the test of the first selected row (the first row's when none
    // is selected).
    void OnListDblClk();
    // The error box of a deletion; reads the tests again when it asks for that.
    void ReportDeleteError(int status, CQorDevice& device);

    // The test number a row shows, 0 for no such row.
    int RowTest(int row) const;
    // The test numbers of the selected rows, in row order.
    std::vector<int> SelectedTests() const;
    // The number of the test Add copies (0: none): set while exactly one test is selected
    // and none runs.
    int GetCloneSource() const { return m_cloneSource; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    CQorDevice* Device() const;
    // The salinity dialog of each optical sensor and the cap check of those with a cap;
    // false when the user stops there or the device is no longer shown.
    bool CheckOpticalSensors(CQorDevice* device);
    // True while this view is the frame's and shows device.
    bool Shows(const CQorDevice* device) const;
    // Selects (and focuses, and scrolls to) the rows of these test numbers.
    void SelectTests(const std::vector<int>& numbers);
    void SetStatic(uint32_t id, const std::string& text);

    CWVFrame* m_frame;
    int m_cloneSource = 0;
};
