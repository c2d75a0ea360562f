// The form-view base: its command buttons, report list, layout steps, scroll sizes and
// caption band, on views built from small templates.

#include "app/WVView.h"

#include "app/CommandIds.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

namespace {

ViewTemplate Template(bool hasList, int buttons, int width = 300, int height = 200)
{
    ViewTemplate t;
    t.id = 121;
    t.hasList = hasList;
    t.buttonCount = buttons;
    t.width = width;
    t.height = height;
    return t;
}

QPushButton* Button(const CWVView& view, uint32_t id) { return qobject_cast<QPushButton*>(view.FindControl(id)); }

std::vector<int> SlotIds(const CWVView& view)
{
    std::vector<int> ids;
    for (int slot = 0; slot <= CWVView::kButtonSlots + 1; ++slot) {
        ids.push_back(view.GetButtonId(slot));
    }
    return ids;
}

std::vector<std::string> Row(const QTreeWidget& list, int row)
{
    std::vector<std::string> cells;
    for (int column = 0; column < list.columnCount(); ++column) {
        cells.push_back(list.topLevelItem(row)->text(column).toStdString());
    }
    return cells;
}

std::vector<std::string> Headers(const QTreeWidget& list)
{
    std::vector<std::string> texts;
    for (int column = 0; column < list.columnCount(); ++column) {
        texts.push_back(list.headerItem()->text(column).toStdString());
    }
    return texts;
}

class WVViewTest : public ::testing::Test {
protected:
    wvtest::TempHome home_{"view"};
};

TEST_F(WVViewTest, ButtonsTakeTheirIdsAndCaptionsBySlot)
{
    CWVView view(Template(false, 3));
    // Slots start at 1 to 4 with their numbers as captions; other slots answer -1.
    EXPECT_EQ(SlotIds(view), (std::vector<int>{-1, 1, 2, 3, 4, -1}));
    EXPECT_EQ(view.GetButtonCaptionId(4), 4);
    EXPECT_EQ(view.GetButtonCaptionId(0), -1);
    ASSERT_NE(Button(view, 2), nullptr);
    EXPECT_EQ(Button(view, 2)->text(), QStringLiteral("2"));

    std::vector<uint32_t> pressed;
    QObject::connect(&view, &CWVView::ButtonCommand, [&](uint32_t id) { pressed.push_back(id); });
    view.SetButton(1, wvcmd::kViewDrop, kStrButtonCancel);
    QPushButton* drop = Button(view, wvcmd::kViewDrop);
    ASSERT_NE(drop, nullptr);
    EXPECT_EQ(view.FindControl(1), nullptr);
    EXPECT_EQ(drop->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(view.GetButtonId(1), static_cast<int>(wvcmd::kViewDrop));
    EXPECT_EQ(view.GetButtonCaptionId(1), static_cast<int>(kStrButtonCancel));
    QTest::mouseClick(drop, Qt::LeftButton);
    EXPECT_EQ(pressed, (std::vector<uint32_t>{wvcmd::kViewDrop}));

    // The same id and caption again leave a hidden button hidden and a disabled one disabled.
    view.ShowControl(wvcmd::kViewDrop, false, true);
    view.SetButton(1, wvcmd::kViewDrop, kStrButtonCancel);
    EXPECT_TRUE(drop->isHidden());
    EXPECT_FALSE(drop->isEnabled());
    // Another caption shows and enables it.
    view.SetButton(1, wvcmd::kViewDrop, kStrButtonSync);
    EXPECT_FALSE(drop->isHidden());
    EXPECT_TRUE(drop->isEnabled());
    EXPECT_EQ(drop->text(), QStringLiteral("Sync..."));
    // The same id with a new caption keeps the control.
    EXPECT_EQ(Button(view, wvcmd::kViewDrop), drop);

    // Slot 4 has no control in this template: the slot changes, nothing else.
    view.SetButton(4, wvcmd::kViewFind, kStrButtonNew);
    EXPECT_EQ(view.GetButtonId(4), static_cast<int>(wvcmd::kViewFind));
    EXPECT_EQ(view.FindControl(wvcmd::kViewFind), nullptr);
    // Slots outside 1 to 4 change nothing.
    view.SetButton(5, 77, kStrButtonNew);
    view.SetButton(0, 77, kStrButtonNew);
    EXPECT_EQ(SlotIds(view),
              (std::vector<int>{-1, static_cast<int>(wvcmd::kViewDrop), 2, 3, static_cast<int>(wvcmd::kViewFind), -1}));
}

TEST_F(WVViewTest, SlotsSharingAnIdChangeTogether)
{
    CWVView view(Template(false, 4));
    // Slots 2 and 4 both take id 2 (slot 4's button becomes a second "2").
    view.SetButton(4, 2, kStrButtonOpen);
    EXPECT_EQ(view.GetButtonId(4), 2);
    view.ChangeButton(2, wvcmd::kViewFind, kStrButtonSave);
    EXPECT_EQ(view.GetButtonId(2), static_cast<int>(wvcmd::kViewFind));
    EXPECT_EQ(view.GetButtonId(4), static_cast<int>(wvcmd::kViewFind));
    EXPECT_EQ(view.GetButtonCaptionId(2), static_cast<int>(kStrButtonSave));
    EXPECT_EQ(view.GetButtonCaptionId(4), static_cast<int>(kStrButtonSave));
    EXPECT_EQ(view.GetButtonId(1), 1);
    EXPECT_EQ(view.GetButtonId(3), 3);
}

TEST_F(WVViewTest, ControlsAreShownEnabledAndGreyedByIdAndUnknownIdsAreIgnored)
{
    CWVView view(Template(true, 2));
    struct Case {
        bool show;
        bool enable;
        bool visible;
        bool enabled;
    };
    // Hidden is always disabled.
    const Case cases[] = {{true, true, true, true}, {true, false, true, false}, {false, true, false, false},
                          {false, false, false, false}};
    QWidget* list = view.FindControl(wvcmd::kReportList);
    ASSERT_NE(list, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "show " << c.show << " enable " << c.enable);
        view.ShowControl(wvcmd::kReportList, c.show, c.enable);
        EXPECT_EQ(!list->isHidden(), c.visible);
        EXPECT_EQ(list->isEnabled(), c.enabled);
    }
    view.EnableControl(2, false);
    EXPECT_FALSE(view.FindControl(2)->isEnabled());
    view.EnableControl(2, true);
    EXPECT_TRUE(view.FindControl(2)->isEnabled());
    // Ids the template does not have: nothing happens.
    view.EnableControl(3, false);
    view.ShowControl(4, false, false);
    view.GrowControl(999, 10, 10);
    view.MoveControlDown(999);
    EXPECT_EQ(view.FindControl(3), nullptr);
}

TEST_F(WVViewTest, ColumnsTakeStoredWidthsAndRowsFillCellByCell)
{
    ASSERT_TRUE(WriteRegDword("ConnList", "Col1", 123));
    ASSERT_TRUE(WriteRegDword("ConnList", "Col2", 5000000)); // no screen shows that: default
    CWVView view(Template(true, 0));
    QTreeWidget* list = view.GetList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->objectName(), QString::number(wvcmd::kReportList));
    view.ResetList();
    EXPECT_EQ(view.InsertColumn(0, "Name", Qt::AlignLeft, 80, "ConnList"), 0);
    EXPECT_EQ(view.InsertColumn(1, "Port", Qt::AlignRight, 90, "ConnList"), 1);
    EXPECT_EQ(view.InsertColumn(2, "Rate", Qt::AlignLeft, 70, "ConnList"), 2);
    EXPECT_EQ(view.InsertColumnId(3, kStrReady, Qt::AlignLeft, 60), 3);
    EXPECT_EQ(Headers(*list), (std::vector<std::string>{"Name", "Port", "Rate", "Ready"}));
    EXPECT_EQ(list->columnWidth(0), 80); // no stored "Col0"
    EXPECT_EQ(list->columnWidth(1), 123);
    EXPECT_EQ(list->columnWidth(2), 70);

    // Column 0 inserts a row at its index; other columns fill that row's cells.
    EXPECT_EQ(view.AddListItem(0, 0, "Bench"), 0);
    EXPECT_EQ(view.AddListItem(0, 1, "COM1"), 0);
    EXPECT_EQ(view.AddListItem(0, 0, "Lake"), 0);
    EXPECT_EQ(view.AddListItem(0, 2, "9600"), 0);
    EXPECT_EQ(view.AddListItem(9, 0, "Last"), 2); // past the end: appended
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(Row(*list, 0), (std::vector<std::string>{"Lake", "", "9600", ""}));
    EXPECT_EQ(Row(*list, 1), (std::vector<std::string>{"Bench", "COM1", "", ""}));
    EXPECT_EQ(list->topLevelItem(1)->textAlignment(1) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    // A cell of a missing row or column is not set.
    EXPECT_EQ(view.AddListItem(7, 1, "x"), 0);
    EXPECT_EQ(view.AddListItem(0, 4, "x"), 0);
    EXPECT_EQ(list->topLevelItemCount(), 3);

    // A column fits both its longest cell and its header.
    const std::string wide(60, 'W');
    view.AddListItem(1, 3, wide);
    const int cellWidth = list->fontMetrics().horizontalAdvance(QString::fromStdString(wide));
    EXPECT_GE(list->columnWidth(3), cellWidth);
    view.AddListItem(0, 1, "7");
    EXPECT_GE(list->columnWidth(1), list->header()->sectionSizeHint(1));

    // A column inserted before others moves the rows' cells with their columns.
    EXPECT_EQ(view.InsertColumn(1, "Kind", Qt::AlignLeft, 50), 1);
    EXPECT_EQ(Headers(*list), (std::vector<std::string>{"Name", "Kind", "Port", "Rate", "Ready"}));
    EXPECT_EQ(Row(*list, 1), (std::vector<std::string>{"Bench", "", "COM1", "", wide}));
    EXPECT_EQ(list->topLevelItem(1)->textAlignment(2) & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    view.ResetList();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(list->columnCount(), 0);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST_F(WVViewTest, CellTextsKeepAtMost199CharactersWhole)
{
    CWVView view(Template(true, 0));
    view.InsertColumn(0, "Text", Qt::AlignLeft, 100);
    struct Case {
        const char* what;
        std::string text;
        QString shown;
    };
    // U+1D11E (a musical symbol) takes two UTF-16 units: never cut in half.
    const std::string clef = "\xF0\x9D\x84\x9E";
    const Case cases[] = {
        {"199 fit", std::string(199, 'a'), QString(199, QLatin1Char('a'))},
        {"250 are cut", std::string(250, 'b'), QString(199, QLatin1Char('b'))},
        {"a pair across the cut is left out", std::string(198, 'c') + clef + "d", QString(198, QLatin1Char('c'))},
        {"a pair before the cut stays", std::string(197, 'e') + clef + "f",
         QString(197, QLatin1Char('e')) + QString::fromUtf8(clef)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        view.AddListItem(0, 0, c.text);
        EXPECT_EQ(view.GetList()->topLevelItem(0)->text(0), c.shown);
    }
}

TEST_F(WVViewTest, AViewWithoutAListAnswersZeroAndKeepsNothing)
{
    CWVView view(Template(false, 1));
    EXPECT_EQ(view.GetList(), nullptr);
    view.ResetList();
    EXPECT_EQ(view.InsertColumn(2, "Name", Qt::AlignLeft, 80, "ConnList"), 0);
    EXPECT_EQ(view.InsertColumnId(1, kStrReady, Qt::AlignLeft, 80), 0);
    EXPECT_EQ(view.AddListItem(3, 0, "x"), 0);
    EXPECT_EQ(view.FindControl(wvcmd::kReportList), nullptr);
}

TEST_F(WVViewTest, LayoutStepsGrowTheListAndMoveTheButtonsByTheSizeChange)
{
    CWVView view(Template(true, 2, 300, 200));
    EXPECT_TRUE(view.IsLayoutPending());
    view.OnInitialUpdate();
    EXPECT_FALSE(view.IsLayoutPending());
    QWidget* list = view.FindControl(wvcmd::kReportList);
    QWidget* button = view.FindControl(1);
    const QRect listBefore = list->geometry();
    const QRect buttonBefore = button->geometry();

    // From the template's 300 x 200 to 340 x 230: 40 wider, 30 higher.
    view.GrowControl(wvcmd::kReportList, 340, 230);
    EXPECT_EQ(view.GetWidthChange(), 40);
    EXPECT_EQ(view.GetHeightChange(), 30);
    EXPECT_EQ(list->geometry(), QRect(listBefore.topLeft(), listBefore.size() + QSize(40, 30)));
    view.MoveControlDown(1);
    EXPECT_EQ(button->geometry(), buttonBefore.translated(0, 30));

    // The next step counts from the last size: 20 narrower, same height.
    view.GrowControl(wvcmd::kReportList, 320, 230);
    EXPECT_EQ(view.GetWidthChange(), -20);
    EXPECT_EQ(view.GetHeightChange(), 0);
    EXPECT_EQ(list->geometry(), QRect(listBefore.topLeft(), listBefore.size() + QSize(20, 30)));
    view.MoveControlDown(1);
    EXPECT_EQ(button->geometry(), buttonBefore.translated(0, 30));
}

// A view that keeps a minimum scroll size, as most views do.
class MinimumSizeView : public CWVView {
public:
    MinimumSizeView() : CWVView(Template(true, 1)) {}
    void UpdateScrollSizes(int width, int height) override
    {
        if (width >= 260 && height >= 80) {
            CWVView::UpdateScrollSizes(width, height);
        }
    }
};

TEST_F(WVViewTest, ShrinkingBelowAViewsMinimumKeepsTheScrollSizeSoScrollBarsAppear)
{
    MinimumSizeView view;
    view.resize(400, 300);
    view.show();
    QApplication::processEvents();
    EXPECT_EQ(view.GetForm()->minimumSize(), QSize(400, 300));
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);

    view.resize(200, 60);
    QApplication::processEvents();
    EXPECT_EQ(view.GetForm()->minimumSize(), QSize(400, 300));
    EXPECT_GT(view.horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(view.verticalScrollBar()->maximum(), 0);

    view.resize(500, 350);
    QApplication::processEvents();
    EXPECT_EQ(view.GetForm()->minimumSize(), QSize(500, 350));
}

// The number of nearly white pixels in the caption band of a rendered form.
int WhitePixelsInBand(CWVView& view)
{
    const QImage image = view.GetForm()->grab().toImage();
    int white = 0;
    for (int y = 0; y < 30 && y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            white += c.red() > 240 && c.green() > 240 && c.blue() > 240 ? 1 : 0;
        }
    }
    return white;
}

TEST_F(WVViewTest, TheCaptionIsDrawnWhiteOnItsBandOnlyWhenSet)
{
    CWVView view(Template(false, 0, 400, 120));
    view.resize(400, 120);
    view.show();
    QApplication::processEvents();
    // The form's own ground, where the band would be.
    const QColor ground = view.GetForm()->grab().toImage().pixelColor(200, 10);
    view.SetCaption("Site Information");
    QApplication::processEvents();
    EXPECT_EQ(view.GetCaption(), "Site Information");
    const QImage withCaption = view.GetForm()->grab().toImage();
    // The band's far end holds no text, only the band's colour.
    EXPECT_NE(withCaption.pixelColor(395, 30), ground);
    EXPECT_GT(WhitePixelsInBand(view), 20);

    view.SetCaption("");
    QApplication::processEvents();
    EXPECT_EQ(view.GetForm()->grab().toImage().pixelColor(395, 30), ground);
    EXPECT_EQ(WhitePixelsInBand(view), 0);
}

} // namespace
