// The shared wizard model on both sheets: button codes, navigation, opening, Enter, titles,
// focus after a switch, busy state and the modal results.

#include "wizards/WVPropertyPage.h"
#include "wizards/WVPropertySheet.h"
#include "wizards/WxPropertyPage.h"
#include "wizards/WxPropertySheet.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A page whose answers a test sets. buttons < 0 leaves the buttons alone on activation.
template <typename Base>
class FakePage : public Base {
public:
    explicit FakePage(int id, bool withEdit = true) : Base(id), id_(id)
    {
        this->SetTemplateTitle(QStringLiteral("Page %1").arg(id));
        if (withEdit) {
            this->template Place<QLineEdit>(1000, 10, 10, 100, 14);
            this->template Place<QLineEdit>(1001, 10, 30, 100, 14);
        }
    }
    int GetPageId() const override { return id_; }
    int OnSetActive() override
    {
        ++activations;
        if (buttons >= 0) {
            this->SetWizardButtons(buttons);
        }
        return 1;
    }
    PageNavCode OnWizardNext() override { return nextCode; }
    PageNavCode OnWizardBack() override { return backCode; }
    int OnWizardFinish() override
    {
        ++finishAsked;
        return finishResult;
    }
    void Busy(bool on) { on ? this->BeginBusy() : this->EndBusy(); }

    int id_;
    int buttons = kWizBack | kWizNext;
    PageNavCode nextCode = 0;
    PageNavCode backCode = 0;
    int finishResult = 1;
    int activations = 0;
    int finishAsked = 0;
};

class WVSheet : public CWVPropertySheet {
public:
    using Page = FakePage<CWVPropertyPage>;
    explicit WVSheet(int start = 0, QWidget* parent = nullptr) : CWVPropertySheet(parent, start) {}
    bool Open() { return OnInitDialog(); }
};

class WxSheet : public CWxPropertySheet {
public:
    using Page = FakePage<CWxPropertyPage>;
    explicit WxSheet(int start = 0, QWidget* parent = nullptr) : CWxPropertySheet(parent, start, 267) {}
    bool Open() { return OnInitDialog(); }
};

template <typename Sheet>
class WizardSheetTest : public ::testing::Test {
protected:
    using Page = typename Sheet::Page;

    // A sheet with pages of the given ids, opened (not modal) unless told otherwise.
    Sheet& Make(std::vector<int> ids, int start = 0, bool open = true)
    {
        sheet_ = std::make_unique<Sheet>(start);
        for (int id : ids) {
            pages_.push_back(std::make_unique<Page>(id));
            sheet_->AddPage(pages_.back().get());
        }
        if (open) {
            EXPECT_TRUE(sheet_->Open());
            sheet_->show();
        }
        return *sheet_;
    }
    Page& P(int index) { return *pages_[static_cast<size_t>(index)]; }
    int Shown() const
    {
        int shown = -1;
        for (int i = 0; i < sheet_->GetPageCount(); ++i) {
            if (!sheet_->GetPage(i)->isHidden()) {
                EXPECT_EQ(shown, -1) << "two pages shown";
                shown = i;
            }
        }
        return shown;
    }

    // Pages go before the sheet, as the page members of a concrete sheet do.
    void TearDown() override
    {
        pages_.clear();
        sheet_.reset();
    }
    ~WizardSheetTest() override { TearDown(); }

    std::unique_ptr<Sheet> sheet_;
    std::vector<std::unique_ptr<Page>> pages_;
};

using SheetTypes = ::testing::Types<WVSheet, WxSheet>;
TYPED_TEST_SUITE(WizardSheetTest, SheetTypes);

struct ButtonRow {
    int code;
    bool back;
    bool nextShown, nextEnabled, finishShown, finishEnabled;
};

// Every code from the table, from a sheet showing Back and an enabled Next (start code 3)
// and from one showing Back and an enabled Finish (start code 5).
TYPED_TEST(WizardSheetTest, ButtonCodesFollowTheTable)
{
    const ButtonRow fromNext[] = {
        {0, false, true, false, false, false}, {1, true, true, false, false, false},
        {2, false, true, true, false, false},  {3, true, true, true, false, false},
        {4, false, false, false, true, true},  {5, true, false, false, true, true},
        {6, false, false, false, true, true},  {7, true, true, true, false, false},
        {8, false, false, false, true, false}, {9, true, false, false, true, false},
        {10, false, false, false, true, false}, {11, true, true, true, false, false},
        {-1, true, true, true, false, false},
    };
    const ButtonRow fromFinish[] = {
        {0, false, false, false, true, false}, {1, true, false, false, true, false},
        {2, false, true, true, false, false},  {7, true, false, false, true, true},
        {12, true, false, false, true, true},
    };
    auto& sheet = this->Make({100});
    auto check = [&](int startCode, const ButtonRow& row) {
        sheet.SetWizardButtons(startCode);
        sheet.SetWizardButtons(row.code);
        SCOPED_TRACE(testing::Message() << "start " << startCode << " code " << row.code);
        EXPECT_EQ(sheet.BackButton()->isEnabled(), row.back);
        EXPECT_EQ(!sheet.NextButton()->isHidden(), row.nextShown);
        EXPECT_EQ(sheet.NextButton()->isEnabled(), row.nextEnabled);
        EXPECT_EQ(!sheet.FinishButton()->isHidden(), row.finishShown);
        EXPECT_EQ(sheet.FinishButton()->isEnabled(), row.finishEnabled);
        EXPECT_EQ(sheet.GetNextMode(), row.nextShown ? 1 : 0);
    };
    for (const ButtonRow& row : fromNext) {
        check(3, row);
    }
    for (const ButtonRow& row : fromFinish) {
        check(5, row);
    }
}

TEST(WizardNavigation, TargetPageTable)
{
    struct Row {
        int current, direction, code, expected;
    };
    const std::vector<int> ids = {100, 200, 300, 200};
    const Row rows[] = {
        {0, kDirectionNext, 0, 1},   {3, kDirectionNext, 0, 3},   {1, kDirectionBack, 0, 0},
        {0, kDirectionBack, 0, 0},   {1, kDirectionNext, -1, 1},  {2, kDirectionBack, -1, 2},
        {0, kDirectionNext, 300, 2}, {2, kDirectionBack, 100, 0}, {0, kDirectionNext, 200, 1},
        {1, kDirectionNext, 999, 1}, {2, 5, 0, 2},                {2, 5, 100, 0},
        {0, kDirectionNext, -2, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ResolveTargetPage(row.current, ids, row.direction, row.code), row.expected)
            << row.current << " " << row.direction << " " << row.code;
    }
}

TYPED_TEST(WizardSheetTest, NextBackAndNavigationCodes)
{
    auto& sheet = this->Make({100, 200, 300});
    EXPECT_EQ(this->Shown(), 0);
    EXPECT_EQ(sheet.windowTitle(), "Page 100");
    EXPECT_EQ(this->P(0).activations, 1);

    QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
    EXPECT_EQ(this->Shown(), 1);
    EXPECT_EQ(sheet.GetCurrentIndex(), 1);
    EXPECT_EQ(sheet.GetPreviousIndex(), 0);
    EXPECT_EQ(sheet.GetTargetIndex(), 1);
    EXPECT_EQ(sheet.windowTitle(), "Page 200");

    // Stay: the same page is activated once more and the previous index is the current one.
    this->P(1).nextCode = kNavStay;
    sheet.OnNext();
    EXPECT_EQ(this->Shown(), 1);
    EXPECT_EQ(this->P(1).activations, 2);
    EXPECT_EQ(sheet.GetPreviousIndex(), 1);

    // An id that no page has keeps the page, re-activated.
    this->P(1).nextCode = 999;
    sheet.OnNext();
    EXPECT_EQ(this->Shown(), 1);
    EXPECT_EQ(this->P(1).activations, 3);

    // A page's id jumps there; Back by id too.
    this->P(1).nextCode = 300;
    sheet.OnNext();
    EXPECT_EQ(this->Shown(), 2);
    this->P(2).backCode = 100;
    sheet.OnBack();
    EXPECT_EQ(this->Shown(), 0);
    EXPECT_EQ(sheet.GetPreviousIndex(), 2);

    // Back on the first page and Next on the last stay there.
    sheet.OnBack();
    EXPECT_EQ(this->Shown(), 0);
    this->P(0).nextCode = 300;
    sheet.OnNext();
    this->P(2).nextCode = 0;
    sheet.OnNext();
    EXPECT_EQ(this->Shown(), 2);
    EXPECT_EQ(this->P(2).activations, 3);
}

TYPED_TEST(WizardSheetTest, StartIndexIsCheckedAtConstructionAndOpening)
{
    struct Row {
        int start, pages, atConstruction, atOpening;
    };
    const Row rows[] = {{3, 2, 3, 0}, {1, 3, 1, 1}, {15, 3, 0, 0}, {-1, 3, 0, 0}, {14, 15, 14, 14}};
    for (const Row& row : rows) {
        std::vector<int> ids;
        for (int i = 0; i < row.pages; ++i) {
            ids.push_back(100 + i);
        }
        auto& sheet = this->Make(ids, row.start, false);
        EXPECT_EQ(sheet.GetCurrentIndex(), row.atConstruction) << row.start;
        ASSERT_TRUE(sheet.Open());
        EXPECT_EQ(sheet.GetCurrentIndex(), row.atOpening) << row.start;
        EXPECT_EQ(this->Shown(), row.atOpening);
        this->TearDown();
    }
}

TYPED_TEST(WizardSheetTest, AtMostFifteenPages)
{
    auto& sheet = this->Make({}, 0, false);
    EXPECT_EQ(sheet.AddPage(nullptr), 0);
    std::vector<std::unique_ptr<typename TestFixture::Page>> pages;
    for (int i = 0; i < 16; ++i) {
        pages.push_back(std::make_unique<typename TestFixture::Page>(100 + i, false));
        EXPECT_EQ(sheet.AddPage(pages.back().get()), std::min(i + 1, 15));
    }
    EXPECT_EQ(sheet.AddPage(nullptr), 0);
    ASSERT_TRUE(sheet.Open());
    EXPECT_EQ(sheet.GetPageCount(), 15);
    EXPECT_EQ(pages[15]->parentWidget(), nullptr); // never created
    EXPECT_EQ(pages[15]->activations, 0);
    pages.clear();
}

TYPED_TEST(WizardSheetTest, SheetWithoutPagesEndsAtOnceWithCancel)
{
    auto& sheet = this->Make({}, 0, false);
    EXPECT_EQ(sheet.DoModal(), kIdCancel);
    EXPECT_FALSE(sheet.isVisible());
}

TYPED_TEST(WizardSheetTest, ModalRunEndsWithFinishOrCancel)
{
    // Finish refused by the page: nothing happens, no re-activation; then Finish allowed.
    {
        auto& sheet = this->Make({100}, 0, false);
        this->P(0).buttons = kWizBack | kWizFinish;
        this->P(0).finishResult = 0;
        QTimer::singleShot(0, &sheet, [&] {
            QTest::mouseClick(sheet.FinishButton(), Qt::LeftButton);
            EXPECT_TRUE(sheet.isVisible());
            EXPECT_EQ(this->P(0).activations, 1);
            this->P(0).finishResult = 1;
            QTest::mouseClick(sheet.FinishButton(), Qt::LeftButton);
        });
        EXPECT_EQ(sheet.DoModal(), kIdWizFinish);
        EXPECT_EQ(this->P(0).finishAsked, 2);
        this->TearDown();
    }
    // Cancel, Esc and the close box end with 2.
    for (int way = 0; way < 3; ++way) {
        auto& sheet = this->Make({100, 200}, 0, false);
        QTimer::singleShot(0, &sheet, [&, way] {
            if (way == 0) {
                QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
            } else if (way == 1) {
                QTest::keyClick(&sheet, Qt::Key_Escape);
            } else {
                sheet.close();
            }
        });
        EXPECT_EQ(sheet.DoModal(), kIdCancel) << way;
        this->TearDown();
    }
}

TYPED_TEST(WizardSheetTest, EnterFollowsNextThenFinish)
{
    struct Row {
        int code;
        int expectedIndex;
        int expectedResult;
    };
    // Next enabled: next page. Finish enabled: finished. Neither: nothing. Enter never
    // closes the wizard by itself.
    const Row rows[] = {{kWizBack | kWizNext, 1, 0}, {kWizNext, 1, 0},         {kWizBack | kWizFinish, 0, kIdWizFinish},
                        {kWizBack, 0, 0},            {kWizBack | kWizDisabledFinish, 0, 0}, {0, 0, 0}};
    for (const Row& row : rows) {
        auto& sheet = this->Make({100, 200});
        this->P(0).buttons = row.code;
        sheet.SetActivePage(0);
        sheet.setResult(0);
        QLineEdit* edit = this->P(0).template findChild<QLineEdit*>("1000");
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(sheet.GetCurrentIndex(), row.expectedIndex) << row.code;
        EXPECT_EQ(sheet.result(), row.expectedResult) << row.code;
        this->TearDown();
    }
}

TYPED_TEST(WizardSheetTest, TitleStyles)
{
    auto& sheet = this->Make({100});
    sheet.SetTitle("Well 5", 0);
    EXPECT_EQ(sheet.windowTitle(), "Well 5");
    sheet.SetTitle("Well 6", 1);
    EXPECT_EQ(sheet.windowTitle(), "Properties for Well 6");
    sheet.SetTitle("Well 7", 2);
    EXPECT_EQ(sheet.windowTitle(), "Properties for Well 6");
    sheet.SetTitle("Well 8", -1);
    EXPECT_EQ(sheet.windowTitle(), "Properties for Well 6");
}

TYPED_TEST(WizardSheetTest, FocusGoesToTheFirstTabStopOfThePageShown)
{
    auto& sheet = this->Make({100, 200});
    QApplication::processEvents();
    EXPECT_EQ(sheet.focusWidget(), this->P(0).template findChild<QLineEdit*>("1000"));
    QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(sheet.focusWidget(), this->P(1).template findChild<QLineEdit*>("1000"));

    // A page without a tab stop: the focus wraps round to the sheet's first enabled button.
    this->TearDown();
    auto& other = this->Make({}, 0, false);
    this->pages_.push_back(std::make_unique<typename TestFixture::Page>(300, false));
    other.AddPage(this->pages_.back().get());
    other.Open();
    other.show();
    QApplication::processEvents();
    EXPECT_EQ(other.focusWidget(), other.BackButton());
}

TYPED_TEST(WizardSheetTest, BusyDisablesTheSheetAndShowsTheWaitCursor)
{
    auto& sheet = this->Make({100, 200});
    auto* edit = this->P(0).template findChild<QLineEdit*>("1000");
    EXPECT_EQ(sheet.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(edit->cursor().shape(), Qt::IBeamCursor);

    this->P(0).Busy(true);
    EXPECT_TRUE(sheet.IsBusy());
    EXPECT_FALSE(sheet.isEnabled());
    EXPECT_EQ(sheet.cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(edit->cursor().shape(), Qt::WaitCursor);
    // No key and no close reaches a busy sheet.
    QTest::keyClick(edit, Qt::Key_Return);
    sheet.close();
    EXPECT_EQ(sheet.GetCurrentIndex(), 0);
    EXPECT_TRUE(sheet.isVisible());

    this->P(0).Busy(false);
    EXPECT_FALSE(sheet.IsBusy());
    EXPECT_TRUE(sheet.isEnabled());
    EXPECT_EQ(sheet.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(edit->cursor().shape(), Qt::IBeamCursor);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(sheet.GetCurrentIndex(), 1);
}

TEST(WxPropertySheet, WaitCursorKeepsTheSheetEnabledAndOwnerCaptionReturns)
{
    QWidget owner;
    owner.setWindowTitle("Wellvox - Home");
    WxSheet sheet(0, &owner);
    WxSheet::Page page(100);
    sheet.AddPage(&page);
    sheet.BeginWaitCursor();
    EXPECT_TRUE(sheet.IsBusy());
    EXPECT_TRUE(sheet.isEnabled());
    EXPECT_EQ(sheet.cursor().shape(), Qt::WaitCursor);
    sheet.EndWaitCursor();
    EXPECT_EQ(sheet.cursor().shape(), Qt::ArrowCursor);

    QTimer::singleShot(0, &sheet, [&] {
        EXPECT_EQ(sheet.GetOwnerCaption(), "Wellvox - Home");
        EXPECT_EQ(sheet.windowTitle(), "Page 100");
        sheet.OnCancel();
    });
    EXPECT_EQ(sheet.DoModal(), kIdCancel);
    EXPECT_EQ(sheet.windowTitle(), "Wellvox - Home");
}

TEST(WxPropertySheet, LowFlowTemplateSpellsFinishWithAnAccelerator)
{
    CWxPropertySheet lowFlow(nullptr, 382);
    CWxPropertySheet calibration(nullptr, 2, 267);
    EXPECT_EQ(lowFlow.FinishButton()->text(), "&Finish");
    EXPECT_EQ(calibration.FinishButton()->text(), "Finish");
    EXPECT_EQ(lowFlow.GetCurrentIndex(), 0);
    EXPECT_EQ(calibration.GetCurrentIndex(), 2);
    CWVPropertySheet setup(nullptr, 0);
    EXPECT_EQ(setup.GetTemplateId(), 267);
    EXPECT_EQ(setup.findChild<QPushButton*>("12323")->text(), "< &Back");
    EXPECT_EQ(setup.findChild<QPushButton*>("12324")->text(), "&Next >");
    EXPECT_EQ(setup.findChild<QPushButton*>("2")->text(), "Cancel");
}

} // namespace
