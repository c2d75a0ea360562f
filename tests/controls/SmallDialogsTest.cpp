// The small modal dialogs driven as a user drives them, by the ids of their controls: the
// question with its don't-ask box, the accept/cancel warning, the pressure zero choice and
// the output test name.

#include "app/controls/AskDlg.h"
#include "app/controls/DlgAcceptCancel.h"
#include "app/controls/DlgPsiZero.h"
#include "app/controls/EditTestName.h"
#include "app/controls/TestNameDlg.h"
#include "tests/controls/ControlsTestSupport.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using wvtest::Click;
using wvtest::RunModal;

template <typename T>
T* Find(const CModalDialog& dialog, int id)
{
    T* item = dialog.ItemAs<T>(id);
    EXPECT_NE(item, nullptr) << id;
    return item;
}

void Escape(CModalDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }

TEST(AskDlg, ShownWithoutTextsItAsksTheCallerToSetThem)
{
    CAskDlg ask;
    EXPECT_EQ(ask.objectName().toStdString(), "366");
    const int result = RunModal(ask, [&] {
        EXPECT_EQ(ask.windowTitle().toStdString(), "Response Needed");
        EXPECT_EQ(Find<QLabel>(ask, 1832)->text().toStdString(),
                  "Set m_strCaption and m_strMessage before calling DoModal()");
        EXPECT_EQ(Find<QCheckBox>(ask, 1833)->text().toStdString(), "Don't ask me this again.");
        EXPECT_FALSE(Find<QCheckBox>(ask, 1833)->isChecked());
        EXPECT_FALSE(Find<QLabel>(ask, 1834)->pixmap().isNull());
        EXPECT_EQ(Find<QPushButton>(ask, 1)->text().toStdString(), "Yes");
        EXPECT_EQ(Find<QPushButton>(ask, 7)->text().toStdString(), "No");
        EXPECT_TRUE(Find<QPushButton>(ask, 1)->isDefault());
        QTest::keyClick(&ask, Qt::Key_Return);
    });
    EXPECT_EQ(result, 6);
    EXPECT_FALSE(ask.m_bDontAskAgain);
}

TEST(AskDlg, TheButtonsAndEscAnswerWithTheirCodesAndTheBoxIsKeptWhateverEndsIt)
{
    const struct {
        const char* name;
        bool tick;
        int end; // the button id, or 0 for Esc, -2 for the close box
        int result;
    } cases[] = {
        {"No with the box ticked", true, 7, 7},
        {"Yes", false, 1, 6},
        {"Esc after ticking", true, 0, 2},
        {"close box", false, -2, 2},
    };
    for (const auto& c : cases) {
        CAskDlg ask;
        ask.m_strCaption = QStringLiteral("View Reports?");
        ask.m_strMessage = QStringLiteral("Would you like to see the Calibration Reports?");
        const int result = RunModal(ask, [&] {
            EXPECT_EQ(ask.windowTitle().toStdString(), "View Reports?");
            EXPECT_EQ(Find<QLabel>(ask, 1832)->text().toStdString(), "Would you like to see the Calibration Reports?");
            if (c.tick) {
                Click(Find<QCheckBox>(ask, 1833));
                // The flag follows the box at once.
                EXPECT_TRUE(ask.m_bDontAskAgain);
            }
            if (c.end > 0) {
                Click(Find<QPushButton>(ask, c.end));
            } else if (c.end == 0) {
                Escape(ask);
            } else {
                ask.close();
            }
        });
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(ask.m_bDontAskAgain, c.tick) << c.name;
    }
}

TEST(AskDlg, ASetFlagShowsTicked)
{
    CAskDlg ask;
    ask.m_bDontAskAgain = true;
    RunModal(ask, [&] {
        EXPECT_TRUE(Find<QCheckBox>(ask, 1833)->isChecked());
        Click(Find<QCheckBox>(ask, 1833));
        Click(Find<QPushButton>(ask, 7));
    });
    EXPECT_FALSE(ask.m_bDontAskAgain);
}

TEST(DlgAcceptCancel, ShowsTheMessageReadOnlyAndAnswersAcceptOrCancel)
{
    const struct {
        int end; // a button id, or 0 for Esc
        int result;
    } cases[] = {{1, 1}, {2, 2}, {0, 2}};
    for (const auto& c : cases) {
        CDlgAcceptCancel warning(QStringLiteral("The sensor will be recalibrated.\nAll earlier coefficients are lost."),
                                 QStringLiteral("Warning"));
        EXPECT_EQ(warning.objectName().toStdString(), "448");
        const int result = RunModal(warning, [&] {
            EXPECT_EQ(warning.windowTitle().toStdString(), "Warning");
            auto* text = Find<QPlainTextEdit>(warning, 1989);
            EXPECT_EQ(text->toPlainText().toStdString(),
                      "The sensor will be recalibrated.\nAll earlier coefficients are lost.");
            EXPECT_TRUE(text->isReadOnly());
            EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            EXPECT_EQ(Find<QPushButton>(warning, 1)->text().toStdString(), "Accept");
            EXPECT_EQ(Find<QPushButton>(warning, 2)->text().toStdString(), "Cancel");
            if (c.end != 0) {
                Click(Find<QPushButton>(warning, c.end));
            } else {
                Escape(warning);
            }
        });
        EXPECT_EQ(result, c.result) << c.end;
    }
}

TEST(DlgPsiZero, OpensOnZeroAndReportsTheChoiceAfterOk)
{
    const struct {
        const char* name;
        int preset;              // the member before the dialog opens
        std::vector<int> clicks; // radio buttons clicked in turn
        int end;
        int result;
        int zeroChosen;
    } cases[] = {
        {"untouched", 1, {}, 1, 1, 1},
        {"untouched after an earlier Reset", 0, {}, 1, 1, 1},
        {"Reset", 1, {2011}, 1, 1, 0},
        {"Reset, Zero, Reset", 1, {2011, 2010, 2011}, 1, 1, 0},
        {"Reset, then Zero", 1, {2011, 2010}, 1, 1, 1},
        {"Cancel", 1, {}, 2, 2, 1},
    };
    for (const auto& c : cases) {
        CDlgPsiZero dialog;
        EXPECT_EQ(dialog.windowTitle().toStdString(), "Pressure Calibrate");
        dialog.m_zeroChosen = c.preset;
        const int result = RunModal(dialog, [&] {
            EXPECT_TRUE(Find<QRadioButton>(dialog, 2010)->isChecked());
            EXPECT_FALSE(Find<QRadioButton>(dialog, 2011)->isChecked());
            for (int id : c.clicks) {
                Click(Find<QRadioButton>(dialog, id));
            }
            Click(Find<QPushButton>(dialog, c.end));
        });
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(dialog.m_zeroChosen, c.zeroChosen) << c.name;
    }
}

TEST(DlgPsiZero, TheArrowKeysChooseToo)
{
    CDlgPsiZero dialog;
    RunModal(dialog, [&] {
        // Arrow keys move among the buttons of the focused window.
        QApplication::setActiveWindow(&dialog);
        Find<QRadioButton>(dialog, 2010)->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), Find<QRadioButton>(dialog, 2010));
        QTest::keyClick(Find<QRadioButton>(dialog, 2010), Qt::Key_Down);
        EXPECT_TRUE(Find<QRadioButton>(dialog, 2011)->isChecked());
        Click(Find<QPushButton>(dialog, 1));
    });
    EXPECT_EQ(dialog.m_zeroChosen, 0);
}

// The test name dialog over a preference of the test's own.
class TestNameDlgTest : public ::testing::Test {
protected:
    // Runs the dialog with script; the result.
    int Run(CTestNameDlg& dialog, const std::function<void(CTestNameDlg&, CEditTestName&)>& script)
    {
        return RunModal(dialog, [&] { script(dialog, *Find<CEditTestName>(dialog, 1913)); });
    }
    int32_t blockProfileLogName = 0;
};

TEST_F(TestNameDlgTest, OpensWithTheDefaultNameAndAClearedBox)
{
    CTestNameDlg dialog(blockProfileLogName);
    EXPECT_TRUE(dialog.ShouldShow());
    EXPECT_EQ(dialog.GetTestName(), "Profiler");
    EXPECT_EQ(dialog.objectName().toStdString(), "398");
    const int result = Run(dialog, [](CTestNameDlg& d, CEditTestName& edit) {
        EXPECT_EQ(d.windowTitle().toStdString(), "Set Output Test Name");
        EXPECT_EQ(edit.text().toStdString(), "Profiler");
        EXPECT_EQ(edit.maxLength(), 16);
        EXPECT_EQ(Find<QCheckBox>(d, 1901)->text().toStdString(), "Don't show this dialog again");
        EXPECT_FALSE(Find<QCheckBox>(d, 1901)->isChecked());
        bool labelled = false;
        for (QLabel* label : d.findChildren<QLabel*>()) {
            labelled = labelled || label->text() == QStringLiteral("Test Name:   ");
        }
        EXPECT_TRUE(labelled);
        EXPECT_EQ(Find<QPushButton>(d, 1)->text().toStdString(), "OK");
        QTest::keyClick(&edit, Qt::Key_Return); // the default button
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.GetTestName(), "Profiler");
    EXPECT_EQ(blockProfileLogName, 0);
    EXPECT_TRUE(dialog.ShouldShow());
}

TEST_F(TestNameDlgTest, AnEmptiedNameBecomesProfiler)
{
    CTestNameDlg dialog(blockProfileLogName);
    Run(dialog, [](CTestNameDlg& d, CEditTestName& edit) {
        edit.clear();
        Click(Find<QPushButton>(d, 1));
    });
    EXPECT_EQ(dialog.GetTestName(), "Profiler");
}

TEST_F(TestNameDlgTest, APastedPathLosesItsSeparatorsAndANameStaysWithinSixteenCharacters)
{
    const struct {
        const char* pasted;
        const char* name;
    } cases[] = {
        {"../x", "..x"},
        {"/etc/passwd", "etcpasswd"},
        {"C:\\Data\\run one", "CDatarunone"},
        {"Well_7-North.2024abcdef", "Well_7-North.202"},
    };
    for (const auto& c : cases) {
        CTestNameDlg dialog(blockProfileLogName);
        Run(dialog, [&](CTestNameDlg& d, CEditTestName& edit) {
            edit.clear();
            QApplication::clipboard()->setText(QString::fromUtf8(c.pasted));
            edit.paste();
            Click(Find<QPushButton>(d, 1));
        });
        EXPECT_EQ(dialog.GetTestName(), c.name) << c.pasted;
    }
}

TEST_F(TestNameDlgTest, OkStoresTheBoxInThePreferenceAndEscChangesNothing)
{
    CTestNameDlg dialog(blockProfileLogName);
    Run(dialog, [](CTestNameDlg& d, CEditTestName& edit) {
        edit.clear();
        QTest::keyClicks(&edit, QStringLiteral("Well 7"));
        Click(Find<QCheckBox>(d, 1901));
        Click(Find<QPushButton>(d, 1));
    });
    EXPECT_EQ(dialog.GetTestName(), "Well7");
    EXPECT_TRUE(dialog.GetDontShowAgain());
    EXPECT_EQ(blockProfileLogName, 1);
    EXPECT_FALSE(dialog.ShouldShow());

    // Shown again: a new name and a cleared box, then Esc, keep what the OK left.
    const int result = Run(dialog, [](CTestNameDlg& d, CEditTestName& edit) {
        EXPECT_EQ(edit.text().toStdString(), "Well7");
        EXPECT_TRUE(Find<QCheckBox>(d, 1901)->isChecked());
        edit.clear();
        QTest::keyClicks(&edit, QStringLiteral("Other"));
        Click(Find<QCheckBox>(d, 1901));
        Escape(d);
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(dialog.GetTestName(), "Well7");
    EXPECT_TRUE(dialog.GetDontShowAgain());
    EXPECT_EQ(blockProfileLogName, 1);

    // The close box is Esc; a cleared box with OK lets the dialog show again.
    EXPECT_EQ(Run(dialog, [](CTestNameDlg& d, CEditTestName&) { d.close(); }), 2);
    EXPECT_EQ(blockProfileLogName, 1);
    Run(dialog, [](CTestNameDlg& d, CEditTestName&) {
        Click(Find<QCheckBox>(d, 1901));
        Click(Find<QPushButton>(d, 1));
    });
    EXPECT_EQ(blockProfileLogName, 0);
    EXPECT_TRUE(dialog.ShouldShow());
}

} // namespace
