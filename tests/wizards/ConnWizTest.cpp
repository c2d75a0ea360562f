// The connection wizard driven as a user drives it, by the ids of its controls, through
// every page for a direct, a modem and a radio connection and an edited one.

#include "wizards/ConnWiz.h"

#include "platform/PortMap.h"
#include "tests/support/TempHome.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

namespace fs = std::filesystem;
using wvtest::ScopedEnv;

// A program home and a device folder holding ttyS0 and ttyUSB0 (COM1 and COM2).
class ConnWizTest : public ::testing::Test {
protected:
    ConnWizTest()
    {
        std::ofstream(dev_ / "ttyS0") << "";
        std::ofstream(dev_ / "ttyUSB0") << "";
    }

    // Runs the wizard modally with script acting inside it; a watchdog cancels a script that
    // leaves the wizard open.
    int Run(CConnWiz& wiz, const std::function<void()>& script)
    {
        wiz_ = &wiz;
        QTimer::singleShot(0, &wiz, script);
        QTimer::singleShot(20000, &wiz, [&wiz] {
            ADD_FAILURE() << "the script left the wizard open";
            wiz.OnCancel();
        });
        return wiz.DoModal();
    }

    template <typename T = QWidget>
    T* W(int id) const
    {
        T* item = wiz_->findChild<T*>(QString::number(id));
        EXPECT_NE(item, nullptr) << id;
        return item;
    }
    // A click on the button's indicator or face (a check or radio button reacts only there).
    void Click(int id) const
    {
        auto* button = W<QAbstractButton>(id);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    void Type(int id, const QString& text) const
    {
        auto* edit = W<QLineEdit>(id);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    void Choose(int id, const QString& text) const
    {
        auto* combo = W<QComboBox>(id);
        const int row = combo->findText(text);
        ASSERT_GE(row, 0) << text.toStdString();
        combo->setCurrentIndex(row);
    }
    // A port as the list shows it: its COM name and the device in the test's device folder.
    QString Port(const char* com, const char* device) const
    {
        return QString::fromStdString(std::string(com) + " (" + (dev_ / device).string() + ")");
    }
    int Page() const { return wiz_->GetPage(wiz_->GetCurrentIndex())->GetPageId(); }
    bool NextEnabled() const { return !wiz_->NextButton()->isHidden() && wiz_->NextButton()->isEnabled(); }
    bool Shown(int id) const { return W(id)->isVisibleTo(wiz_); }
    QStringList Items(int id) const
    {
        QStringList items;
        auto* combo = W<QComboBox>(id);
        for (int i = 0; i < combo->count(); ++i) {
            items << combo->itemText(i);
        }
        return items;
    }

    wvtest::TempHome home_{"connwiz"};
    const fs::path dev_ = wvtest::MadeFolder(home_.Root() / "dev");
    ScopedEnv devEnv_{"WELLVOX_DEV_DIR", dev_.string()};
    ScopedEnv sysEnv_{"WELLVOX_SYS_TTY_DIR", nullptr};
    CConnWiz* wiz_ = nullptr;
};

const char* const kInit = "AT&FE0&C1&D2X4&K0";

TEST_F(ConnWizTest, NewDirectConnectionOnTheFirstPortAtTheDefaultRate)
{
    CConnWiz wiz(nullptr, 0);
    const int result = Run(wiz, [&] {
        EXPECT_EQ(Page(), kIdConnWizKindPage);
        EXPECT_EQ(wiz.windowTitle(), "Connection Wizard - Choose Connection Strategy");
        EXPECT_TRUE(W<QRadioButton>(kIdConnDirect)->isChecked());
        EXPECT_TRUE(W<QRadioButton>(kIdConnOneDevice)->isChecked());
        EXPECT_FALSE(wiz.BackButton()->isEnabled());
        EXPECT_TRUE(NextEnabled());
        Click(kIdWizNext);

        EXPECT_EQ(Page(), kIdConnWizPortPage);
        EXPECT_EQ(wiz.windowTitle(), "Connection Wizard - Supply Communication Parameters");
        // Each port with its device path: the machine's ports are told apart by it.
        EXPECT_EQ(Items(kIdConnPortList), QStringList({Port("COM1", "ttyS0"), Port("COM2", "ttyUSB0")}));
        EXPECT_EQ(W<QComboBox>(kIdConnPortList)->currentText(), Port("COM1", "ttyS0"));
        for (int id : {kIdConnPhone, kIdConnTimeout, kIdConnInit, kIdConnPhoneLabel, kIdConnInitLabel}) {
            EXPECT_FALSE(Shown(id)) << id;
        }
        EXPECT_TRUE(wiz.BackButton()->isEnabled());
        EXPECT_TRUE(NextEnabled());
        Click(kIdWizNext);

        EXPECT_EQ(Page(), kIdConnWizSpeedPage);
        EXPECT_EQ(W<QComboBox>(kIdConnBaudList)->currentText(), "19200");
        EXPECT_FALSE(Shown(kIdConnBaudNote));
        Click(kIdWizNext);

        EXPECT_EQ(Page(), kIdConnWizNamePage);
        EXPECT_EQ(wiz.windowTitle(), "Connection Wizard - Enter Connection Name");
        EXPECT_EQ(W<QLineEdit>(kIdConnName)->text(), "COM1-19200");
        EXPECT_TRUE(W<QCheckBox>(kIdConnFindOnFinish)->isChecked());
        EXPECT_TRUE(wiz.NextButton()->isHidden());
        EXPECT_TRUE(wiz.FinishButton()->isEnabled());
        Click(kIdWizFinish);
    });
    ASSERT_EQ(result, kIdWizFinish);
    EXPECT_EQ(wiz.GetConnection(), (CConnectionInfo{"COM1-19200", 1, 0, 19200, "", 45, kInit}));
    EXPECT_EQ(wiz.GetMultiDevice(), 0);
    EXPECT_EQ(wiz.GetFindOnFinish(), 1);
}

TEST_F(ConnWizTest, NewModemConnectionNeedsPhoneTimeoutAndInitString)
{
    CConnWiz wiz(nullptr, 0);
    const int result = Run(wiz, [&] {
        Click(kIdConnModem);
        Click(kIdWizNext);

        for (int id : {kIdConnPhoneLabel, kIdConnPhone, kIdConnTimeoutLabel, kIdConnTimeout, kIdConnSecondsLabel,
                       kIdConnInitLabel, kIdConnInit}) {
            EXPECT_TRUE(Shown(id)) << id;
        }
        EXPECT_EQ(W<QLineEdit>(kIdConnInit)->text(), kInit);
        EXPECT_EQ(W<QLineEdit>(kIdConnTimeout)->text(), "45");
        EXPECT_EQ(W<QLineEdit>(kIdConnPhone)->text(), "");
        EXPECT_FALSE(NextEnabled()); // no phone number yet
        EXPECT_TRUE(wiz.BackButton()->isEnabled());

        Type(kIdConnPhone, "555-0142");
        EXPECT_TRUE(NextEnabled());
        struct Row {
            const char* timeout;
            bool next;
        };
        for (const Row& row : {Row{"", false}, Row{"0", false}, Row{"ab", false}, Row{"-1", false}, Row{"1", true},
                               Row{"30", true}}) {
            Type(kIdConnTimeout, row.timeout);
            EXPECT_EQ(NextEnabled(), row.next) << row.timeout;
        }
        Type(kIdConnTimeout, "307"); // two characters at most
        EXPECT_EQ(W<QLineEdit>(kIdConnTimeout)->text(), "30");
        Type(kIdConnInit, "");
        EXPECT_FALSE(NextEnabled());
        Type(kIdConnInit, "ATZ");
        EXPECT_TRUE(NextEnabled());
        Type(kIdConnPhone, "");
        EXPECT_FALSE(NextEnabled());
        Type(kIdConnPhone, "555-0142");
        Choose(kIdConnPortList, Port("COM2", "ttyUSB0"));
        Click(kIdWizNext);

        EXPECT_EQ(W<QComboBox>(kIdConnBaudList)->currentText(), "1200");
        Click(kIdWizNext);
        EXPECT_EQ(W<QLineEdit>(kIdConnName)->text(), "COM2-1200");
        Click(kIdWizFinish);
    });
    ASSERT_EQ(result, kIdWizFinish);
    EXPECT_EQ(wiz.GetConnection(), (CConnectionInfo{"COM2-1200", 2, 1, 1200, "555-0142", 30, "ATZ"}));
    EXPECT_EQ(wiz.GetMultiDevice(), 0);
    EXPECT_EQ(wiz.GetFindOnFinish(), 1);
}

TEST_F(ConnWizTest, NewRadioConnectionWithSeveralDevicesAndNoSearch)
{
    CConnWiz wiz(nullptr, 0);
    const int result = Run(wiz, [&] {
        Click(kIdConnRadio);
        Click(kIdConnManyDevices);
        Click(kIdWizNext);
        EXPECT_FALSE(Shown(kIdConnPhone));
        EXPECT_TRUE(NextEnabled());
        Click(kIdWizNext);

        EXPECT_EQ(W<QComboBox>(kIdConnBaudList)->currentText(), "9600");
        Choose(kIdConnBaudList, "4800");
        EXPECT_FALSE(Shown(kIdConnBaudNote));
        Click(kIdWizNext);
        EXPECT_EQ(W<QLineEdit>(kIdConnName)->text(), "COM1-4800");
        Click(kIdConnFindOnFinish);

        // Back keeps the name; a new rate renews its leading part, the rest stays.
        Click(kIdWizBack);
        Choose(kIdConnBaudList, "57600");
        EXPECT_TRUE(Shown(kIdConnBaudNote));
        Click(kIdWizNext);
        EXPECT_EQ(W<QLineEdit>(kIdConnName)->text(), "COM1-57600");
        EXPECT_FALSE(W<QCheckBox>(kIdConnFindOnFinish)->isChecked());
        QTest::keyClicks(W<QLineEdit>(kIdConnName), " North");
        Click(kIdWizFinish);
    });
    ASSERT_EQ(result, kIdWizFinish);
    EXPECT_EQ(wiz.GetConnection(), (CConnectionInfo{"COM1-57600 North", 3, 0, 57600, "", 45, kInit}));
    EXPECT_EQ(wiz.GetMultiDevice(), 1);
    EXPECT_EQ(wiz.GetFindOnFinish(), 0);
}

TEST_F(ConnWizTest, EditedConnectionKeepsItsPortAndRenewsItsName)
{
    // COM4 has no device here: the stored port is listed all the same.
    const CConnectionInfo stored{"COM3-9600 Well 5", 1, 3, 19200, "", 10, "ATZ"};
    CConnWiz wiz(&stored, 1);
    const int result = Run(wiz, [&] {
        EXPECT_TRUE(W<QRadioButton>(kIdConnDirect)->isChecked());
        EXPECT_TRUE(W<QRadioButton>(kIdConnManyDevices)->isChecked());
        Click(kIdWizNext);
        // COM4 is not mapped to any device: its name alone.
        EXPECT_EQ(Items(kIdConnPortList), QStringList({Port("COM1", "ttyS0"), Port("COM2", "ttyUSB0"), "COM4"}));
        EXPECT_EQ(W<QComboBox>(kIdConnPortList)->currentText(), "COM4");
        Click(kIdWizNext);
        EXPECT_EQ(W<QComboBox>(kIdConnBaudList)->currentText(), "19200");
        Click(kIdWizNext);
        EXPECT_EQ(W<QLineEdit>(kIdConnName)->text(), "COM4-19200 Well 5");
        EXPECT_FALSE(W<QCheckBox>(kIdConnFindOnFinish)->isChecked());
        // Enter on the last page follows Finish.
        QTest::keyClick(W<QLineEdit>(kIdConnName), Qt::Key_Return);
    });
    ASSERT_EQ(result, kIdWizFinish);
    CConnectionInfo expected = stored;
    expected.name = "COM4-19200 Well 5";
    EXPECT_EQ(wiz.GetConnection(), expected);
    EXPECT_EQ(wiz.GetMultiDevice(), 1);
    EXPECT_EQ(wiz.GetFindOnFinish(), 0);
}

TEST_F(ConnWizTest, EditedModemShowsItsValuesAndEnterFollowsNext)
{
    const CConnectionInfo stored{"Tower", 2, 1, 2400, "0123", 0, "ATZ"};
    CConnWiz wiz(&stored, 0);
    const int result = Run(wiz, [&] {
        EXPECT_TRUE(W<QRadioButton>(kIdConnModem)->isChecked());
        QTest::keyClick(&wiz, Qt::Key_Return);
        EXPECT_EQ(Page(), kIdConnWizPortPage);
        EXPECT_EQ(W<QLineEdit>(kIdConnPhone)->text(), "0123");
        EXPECT_EQ(W<QLineEdit>(kIdConnTimeout)->text(), "0");
        EXPECT_EQ(W<QComboBox>(kIdConnPortList)->currentText(), Port("COM2", "ttyUSB0"));
        EXPECT_FALSE(NextEnabled()); // a time-out below 1 second
        QTest::keyClick(W<QLineEdit>(kIdConnPhone), Qt::Key_Return); // Next disabled: nothing
        EXPECT_EQ(Page(), kIdConnWizPortPage);
        Type(kIdConnTimeout, "60");
        QTest::keyClick(W<QLineEdit>(kIdConnTimeout), Qt::Key_Return);
        EXPECT_EQ(Page(), kIdConnWizSpeedPage);
        EXPECT_EQ(W<QComboBox>(kIdConnBaudList)->currentText(), "2400");
        Click(kIdWizNext);
        EXPECT_EQ(W<QLineEdit>(kIdConnName)->text(), "Tower");
        Click(kIdWizFinish);
    });
    ASSERT_EQ(result, kIdWizFinish);
    EXPECT_EQ(wiz.GetConnection(), (CConnectionInfo{"Tower", 2, 1, 2400, "0123", 60, "ATZ"}));
}

TEST_F(ConnWizTest, CancelEndsWithTwo)
{
    CConnWiz wiz(nullptr, 0);
    const int result = Run(wiz, [&] {
        Click(kIdConnModem);
        Click(kIdWizNext);
        Click(kIdCancel);
    });
    EXPECT_EQ(result, kIdCancel);
}

TEST(ConnWizName, DefaultNameRule)
{
    struct Row {
        const char* name;
        int port, baud;
        const char* expected;
    };
    const Row rows[] = {
        {"", 0, 19200, "COM1-19200"},
        {"", 254, 57600, "COM255-57600"},
        {"COM3-9600 Well 5", 3, 19200, "COM4-19200 Well 5"},
        {"COM2-9600", 4, 9600, "COM5-9600"},
        {"COM0-1200", 1, 2400, "COM2-2400"},
        {"COM255-57600x", 0, 1200, "COM1-1200x"},
        {"COM256-9600", 0, 1200, "COM256-9600"},             // port out of range
        {"COM3-1199", 0, 1200, "COM3-1199"},                 // rate out of range
        {"COM3-57601", 0, 1200, "COM3-57601"},
        {"COM99999999999999999999-9600", 0, 1200, "COM99999999999999999999-9600"}, // no overflow
        {"COM3-99999999999999999999", 0, 1200, "COM3-99999999999999999999"},
        {"COM3", 0, 1200, "COM3"},
        {"COM3-", 0, 1200, "COM3-"},
        {"COM-9600", 0, 1200, "COM-9600"},
        {"COMMON 3-9600", 0, 1200, "COMMON 3-9600"},
        {"com3-9600", 0, 1200, "com3-9600"},
        {"Well 5", 0, 1200, "Well 5"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CConnWiz4::DefaultName(row.name, row.port, row.baud), row.expected) << row.name;
    }
}

// The port list: present known ports and the stored one, ascending, found without opening
// any device (an open would toggle DTR and RTS of an attached instrument).
TEST_F(ConnWizTest, PortListComesFromTheKnownPortsWithoutOpeningThem)
{
    const std::string gone = (home_.Root() / "unplugged").string();
    std::ofstream(home_.Root() / "ttyExtra") << "";
    EXPECT_EQ(wv::AddComPort((home_.Root() / "ttyExtra").string()), 1);
    EXPECT_EQ(wv::AddComPort(gone), 2);

    const int watch = ::inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, dev_.c_str(), IN_OPEN), 0);
    ASSERT_GE(::inotify_add_watch(watch, home_.Root().c_str(), IN_OPEN), 0);

    // ttyS0 and ttyUSB0 take COM3 and COM4; COM2 has no device and is left out.
    EXPECT_EQ(ListConnectionPorts(0), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(ListConnectionPorts(9), (std::vector<int>{1, 3, 4, 10}));
    EXPECT_EQ(ListConnectionPorts(1), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(ListConnectionPorts(254), (std::vector<int>{1, 3, 4, 255}));
    EXPECT_EQ(ListConnectionPorts(kPortNotSet), (std::vector<int>{1, 3, 4}));

    // Only folders were opened (to list them), no device file.
    alignas(inotify_event) char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(watch, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && (event->mask & IN_ISDIR) == 0) {
                ADD_FAILURE() << "opened " << event->name;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
}

// Every page as a user sees it: controls inside the page, above the sheet's buttons, with
// readable sizes. With WV_WIZARD_SNAPSHOTS set to a folder, each page is saved there as PNG.
TEST_F(ConnWizTest, PagesFitTheirPlace)
{
    const CConnectionInfo stored{"COM1-1200", 2, 0, 1200, "555-0142", 45, kInit};
    CConnWiz wiz(&stored, 0);
    const char* snapshots = std::getenv("WV_WIZARD_SNAPSHOTS");
    Run(wiz, [&] {
        for (int page = 0; page < 4; ++page) {
            QApplication::processEvents();
            CWizardPage* shown = wiz.GetPage(wiz.GetCurrentIndex());
            const QRect pageRect = shown->geometry();
            EXPECT_LT(pageRect.bottom(), wiz.NextButton()->geometry().top());
            EXPECT_LE(pageRect.right(), wiz.width());
            for (QWidget* child : shown->findChildren<QWidget*>()) {
                if (!child->isVisibleTo(shown)) {
                    continue;
                }
                EXPECT_TRUE(shown->rect().contains(child->geometry())) << child->objectName().toStdString();
                if (auto* label = qobject_cast<QLabel*>(child); label != nullptr && !label->wordWrap()) {
                    EXPECT_LE(label->sizeHint().width(), label->width() + 2) << label->text().toStdString();
                }
            }
            if (snapshots != nullptr) {
                wiz.grab().save(QString::fromLocal8Bit(snapshots) + QStringLiteral("/connwiz-%1.png").arg(shown->GetPageId()));
            }
            if (page < 3) {
                Click(kIdWizNext);
            }
        }
        Click(kIdWizFinish);
    });
}

} // namespace
