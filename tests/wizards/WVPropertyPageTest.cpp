// The item helpers of the setup pages: numeric edits, scanning, sign-only texts, combo
// boxes, list views, limits and date-time pickers.

#include "wizards/WVPropertyPage.h"
#include "wizards/WVPropertySheet.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

class ItemsPage : public CWVPropertyPage {
public:
    ItemsPage() : CWVPropertyPage(500)
    {
        edit = Place<QLineEdit>(1100, 10, 10, 80, 14);
        other = Place<QLineEdit>(1101, 10, 30, 80, 14);
        combo = Place<QComboBox>(1102, 10, 50, 80, 14);
        view = Place<QTreeWidget>(1103, 10, 70, 200, 80);
        picker = Place<QDateTimeEdit>(1104, 10, 160, 100, 14);
        connect(edit, &QLineEdit::textChanged, this, [this] { updatingSeen.push_back(IsUpdating()); });
    }
    int GetPageId() const override { return 500; }

    QLineEdit* edit;
    QLineEdit* other;
    QComboBox* combo;
    QTreeWidget* view;
    QDateTimeEdit* picker;
    std::vector<bool> updatingSeen;
};

class WVPropertyPageTest : public ::testing::Test {
protected:
    WVPropertyPageTest()
    {
        sheet_.AddPage(&page_);
        sheet_.show();
    }
    CWVPropertySheet sheet_{nullptr, 0};
    ItemsPage page_;
};

TEST(SignOnlyText, Table)
{
    for (const char* text : {"-", "+", ".", "-.", "+."}) {
        EXPECT_TRUE(IsSignOnlyText(text)) << text;
    }
    for (const char* text : {"", "--", "-1", " -", "+-", ".5", "-.0", "- ", "1"}) {
        EXPECT_FALSE(IsSignOnlyText(text)) << text;
    }
}

TEST_F(WVPropertyPageTest, UpdateNumericItemTable)
{
    struct Row {
        const char* shown;
        double value;
        const char* format;
        const char* expected;
    };
    const Row rows[] = {
        {"-.", 1.5, "%.2f", "-."},       // a number being typed is left alone
        {"+", 3.0, "%.1f", "+"},
        {"1.50", 1.5, "%.2f", "1.50"},   // the same value shown
        {"1.5", 1.5, "%.2f", "1.5"},     // formats the same: left as typed
        {"1.499", 1.5, "%.2f", "1.499"}, // rounds to the same text
        {"abc", 1.5, "%.2f", "1.50"},    // no number: rewritten
        {"", 1.5, "%.2f", "1.50"},
        {"2", 1.5, "%.2f", "1.50"},
        {"1.5e", 1.5, "%.3f", "1.5e"},   // scans as 1.5
        {"-0.25", -2.5, "%.1f", "-2.5"},
    };
    for (const Row& row : rows) {
        page_.edit->setText(row.shown);
        page_.updatingSeen.clear();
        page_.UpdateNumericItem(1100, row.value, row.format, 0);
        EXPECT_EQ(page_.edit->text().toStdString(), row.expected) << row.shown;
        const bool rewritten = std::string(row.expected) != row.shown;
        EXPECT_EQ(page_.updatingSeen, rewritten ? std::vector<bool>{true} : std::vector<bool>{}) << row.shown;
        EXPECT_FALSE(page_.IsUpdating());
    }
    // The focus id selects the rewritten text; another id does not.
    page_.edit->setText("x");
    page_.UpdateNumericItem(1100, 2.0, "%.1f", 1100);
    EXPECT_EQ(page_.edit->selectedText(), "2.0");
    page_.edit->setText("x");
    page_.UpdateNumericItem(1100, 2.0, "%.1f", 1101);
    EXPECT_EQ(page_.edit->selectedText(), "");
}

TEST_F(WVPropertyPageTest, SetItemIntIfChangedTable)
{
    struct Row {
        const char* shown;
        int value;
        const char* expected;
        bool written;
    };
    const Row rows[] = {
        {"12", 12, "12", false}, {"012", 12, "012", false}, {" 12 ", 12, " 12 ", false}, {"abc", 0, "0", true},
        {"", 0, "0", true},      {"-5", 7, "7", true},      {"12x", 12, "12", true},     {"99999999999", -1, "-1", true},
    };
    for (const Row& row : rows) {
        page_.edit->setText(row.shown);
        page_.updatingSeen.clear();
        page_.SetItemIntIfChanged(1100, row.value, 0);
        EXPECT_EQ(page_.edit->text().toStdString(), row.expected) << row.shown;
        EXPECT_EQ(page_.updatingSeen.size(), row.written ? 1u : 0u) << row.shown;
        if (row.written) {
            EXPECT_TRUE(page_.updatingSeen[0]);
        }
    }
    page_.edit->setText("1");
    page_.SetItemIntIfChanged(1100, 30, 1100);
    EXPECT_EQ(page_.edit->selectedText(), "30");
}

TEST_F(WVPropertyPageTest, ScanTable)
{
    struct Row {
        const char* text;
        int count;
        double value; // the value after ScanDouble, which starts from 7
    };
    const Row rows[] = {
        {"", -1, 7},     {"   ", -1, 7},  {"abc", 0, 7},    {".", 0, 7},        {"-", 0, 7},
        {"2.5", 1, 2.5}, {" -3e2x", 1, -300}, {"1,5", 1, 1}, {"+.5", 1, 0.5}, {"\t42\n", 1, 42},
    };
    for (const Row& row : rows) {
        double value = 7;
        EXPECT_EQ(page_.ScanDouble(row.text, value), row.count) << row.text;
        EXPECT_EQ(page_.GetScanCount(), row.count) << row.text;
        EXPECT_EQ(value, row.value) << row.text;
    }
    // ScanFloat keeps no count.
    double d = 0;
    page_.ScanItem("abc", d);
    float f = 9.0f;
    EXPECT_EQ(page_.ScanFloat("1.25", f), 1);
    EXPECT_EQ(f, 1.25f);
    EXPECT_EQ(page_.ScanFloat("x", f), 0);
    EXPECT_EQ(f, 1.25f);
    EXPECT_EQ(page_.GetScanCount(), 0);
}

TEST_F(WVPropertyPageTest, FormattedAndLimitedTexts)
{
    page_.SetItemTextFormat(1100, 6, "%.3f", 2.0 / 3.0);
    EXPECT_EQ(page_.edit->text(), "0.667");
    page_.SetItemIntLimited(1100, 4, -12);
    EXPECT_EQ(page_.edit->text(), "-12");
    // A longer text set by the program is kept whole; typing cannot make it longer.
    page_.SetItemTextLimited(1100, 5, "abcdefgh");
    EXPECT_EQ(page_.GetItemTextString(1100), "abcdefgh");
    QTest::keyClicks(page_.edit, "ij");
    EXPECT_EQ(page_.edit->text(), "abcdefgh");
    page_.SetItemTextLimited(1100, 5, "ab");
    page_.edit->setCursorPosition(2);
    QTest::keyClicks(page_.edit, "cdefgh");
    EXPECT_EQ(page_.edit->text(), "abcde");
    page_.SetItemTextFormatted(1101, "%g V", 12.5);
    EXPECT_EQ(page_.other->text(), "12.5 V");
    page_.SetItemTextId(1101, kStrKindModem);
    EXPECT_EQ(page_.GetItemTextString(1101), "Modem");
    EXPECT_EQ(page_.GetItemInt(1101), 0);
    page_.HideItem(1101);
    EXPECT_TRUE(page_.other->isHidden());
    page_.DisableItem(1100);
    EXPECT_FALSE(page_.edit->isEnabled());
    EXPECT_EQ(page_.GetItemRect(1100), page_.edit->geometry());
    // Absent items: nothing happens, getters give their empty answers.
    page_.HideItem(4242);
    page_.SetItemTextLimited(4242, 3, "x");
    EXPECT_EQ(page_.GetItemTextString(4242), "");
    EXPECT_EQ(page_.GetComboCurSel(4242), -1);
    EXPECT_EQ(page_.GetListCheck(4242, 0), -1);
    EXPECT_TRUE(page_.GetItemRect(4242).isNull());
}

TEST_F(WVPropertyPageTest, ComboHelpers)
{
    EXPECT_EQ(page_.AddComboString(1102, "COM10"), 0);
    EXPECT_EQ(page_.AddComboString(1102, "COM1"), 1);
    EXPECT_EQ(page_.AddComboStringId(1102, kStrKindRadio), 2);
    EXPECT_EQ(page_.GetComboCount(1102), 3);
    EXPECT_EQ(page_.GetComboCurSel(1102), -1); // adding selects nothing
    // The first row that begins with the text, from the top, ignoring case.
    EXPECT_EQ(page_.SelectComboString(1102, "com1"), 0);
    EXPECT_EQ(page_.SelectComboString(1102, "spread"), 2);
    EXPECT_EQ(page_.SelectComboString(1102, "COM2"), -1);
    EXPECT_EQ(page_.GetComboCurSel(1102), 2);
    page_.SetComboItemData(1102, 1, 4711);
    EXPECT_EQ(page_.GetComboItemData(1102, 1), 4711);
    EXPECT_EQ(page_.GetComboItemData(1102, 3), -1);
    page_.SetComboCurSel(1102, 1);
    EXPECT_EQ(page_.GetItemTextString(1102), "COM1");
    page_.ResetCombo(1102);
    EXPECT_EQ(page_.GetComboCount(1102), 0);
}

TEST_F(WVPropertyPageTest, ListViewHelpers)
{
    EXPECT_EQ(page_.InsertListColumn(1103, 0, "Name", kListColumnLeft, 80, 0), 0);
    EXPECT_EQ(page_.InsertListColumn(1103, 5, "Value", kListColumnRight, 60, 1), 1);
    EXPECT_EQ(page_.InsertListItem(1103, kListItemText | kListItemParam | kListItemState, 0, "Level", 0x2000,
                                   kListStateImageMask, 0, 11),
              0);
    EXPECT_EQ(page_.InsertListItem(1103, kListItemText | kListItemParam, 9, "Temp", 0, 0, 0, 22), 1);
    page_.SetListItemText(1103, 0, 1, "3.2");
    // A column inserted between moves the cells right of it.
    EXPECT_EQ(page_.InsertListColumnId(1103, 1, kStrUnknown, kListColumnCenter, 40, 1), 1);
    EXPECT_EQ(page_.view->headerItem()->text(0), "Name");
    EXPECT_EQ(page_.view->headerItem()->text(1), "Unknown");
    EXPECT_EQ(page_.view->headerItem()->text(2), "Value");
    EXPECT_EQ(page_.view->topLevelItem(0)->text(2), "3.2");
    EXPECT_EQ(page_.view->topLevelItem(0)->text(1), "");

    EXPECT_EQ(page_.GetListViewItemCount(1103), 2);
    EXPECT_EQ(page_.GetListViewItemData(1103, 1), 22);
    EXPECT_EQ(page_.GetListCheck(1103, 0), 1);
    EXPECT_EQ(page_.GetListCheck(1103, 1), -1); // no check box yet
    page_.SetListExtendedStyle(1103, kListStyleCheckBoxes | kListStyleFullRowSelect);
    EXPECT_EQ(page_.GetListCheck(1103, 1), 0);
    page_.SetListCheck(1103, 0, false);
    EXPECT_EQ(page_.GetListCheck(1103, 0), 0);
    page_.SetListCheck(1103, 1, true);
    EXPECT_EQ(page_.GetListCheck(1103, 1), 1);
    EXPECT_EQ(page_.GetListCheck(1103, 2), -1);

    page_.SetListColumnWidth(1103, 0, 0x30000 | 120); // low 16 bits
    EXPECT_EQ(page_.view->columnWidth(0), 120);
    EXPECT_GT(page_.GetListStringWidth(1103, "Level and more"), page_.GetListStringWidth(1103, "Level"));
}

TEST_F(WVPropertyPageTest, DateTimePicker)
{
    page_.SetDateTimeFormat(1104, "dd'/'MM'/'yyyy hh:mm tt");
    EXPECT_EQ(page_.picker->displayFormat(), "dd'/'MM'/'yyyy hh:mm AP");
    page_.SetDateTimeRange(1104, wv::OleDateTime(2020, 1, 1, 0, 0, 0), wv::OleDateTime(2030, 12, 31, 23, 59, 59));
    page_.SetDateTime(1104, wv::OleDateTime(2024, 2, 29, 13, 45, 10));
    wv::OleDateTime read;
    ASSERT_TRUE(page_.GetDateTime(1104, read));
    EXPECT_EQ(read.GetYear(), 2024);
    EXPECT_EQ(read.GetMonth(), 2);
    EXPECT_EQ(read.GetDay(), 29);
    EXPECT_EQ(read.GetHour(), 13);
    EXPECT_EQ(read.GetMinute(), 45);
    // Outside the range: held at its bound.
    page_.SetDateTime(1104, wv::OleDateTime(2040, 1, 1, 0, 0, 0));
    ASSERT_TRUE(page_.GetDateTime(1104, read));
    EXPECT_EQ(read.GetYear(), 2030);
    EXPECT_FALSE(page_.GetDateTime(4242, read));
}

TEST_F(WVPropertyPageTest, SheetTitleFromTheStringTableAndBusyWithoutDisabling)
{
    QTimer::singleShot(0, &sheet_, [&] {
        page_.SetSheetTitleId(kStrKindRadio);
        EXPECT_EQ(sheet_.windowTitle(), "Spread Spectrum Radio");
        page_.BeginWaitCursor();
        EXPECT_TRUE(sheet_.IsBusy());
        EXPECT_TRUE(sheet_.isEnabled());
        page_.EndWaitCursor();
        page_.DisableSheet();
        EXPECT_FALSE(sheet_.isEnabled());
        EXPECT_FALSE(sheet_.IsBusy());
        page_.EnableSheet();
        sheet_.OnCancel();
    });
    EXPECT_EQ(sheet_.DoModal(), kIdCancel);
}

} // namespace
