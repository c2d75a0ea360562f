// The optical oxygen sensor's dialogs against the simulated full sonde: the fixed-salinity
// dialog (its live reading, the value written to each kind of sensor as bytes on the line,
// closing while the poller's sample is in flight, the refusals and the failures) and the
// cap warning (its message, its seeded and locked reminder list, through the frame).

#include "tests/app/AppFixture.h"

#include "app/DlgHdoCapWarning.h"
#include "app/DlgHdoSalinity.h"
#include "comm/protocol/RawRecords.h"
#include "platform/RegistryStore.h"
#include "platform/PortMap.h"
#include "resources/StringTable.h"
#include "site/QikProfDataWriter.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"
#pragma push_macro("slots")
#undef slots
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/ProfilingDevices.h"
#pragma pop_macro("slots")

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using wvtest::AppFixture;

constexpr uint16_t kSonde = 2002;
constexpr uint16_t kCmdParamRead = 270;
constexpr uint16_t kCmdWriteConfig = 320;
constexpr uint16_t kCmdSetCoefficient = 330;

// A float as the host sends it: most significant byte first.
std::vector<uint8_t> FloatBytes(float value)
{
    const auto bits = std::bit_cast<uint32_t>(value);
    return {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 8),
            static_cast<uint8_t>(bits)};
}

// One step of a script run on the open dialog: true when it is done.
using Step = std::function<bool(CDlgHdoSalinity&)>;

class HdoSalinityTest : public AppFixture {
protected:
    void SetUp() override
    {
        sim.AddDevice(kSonde, 30, "Sonde", 9600);
        sim.WithDevice(kSonde, [this](wv::sim::SimDevice& d) {
            wv::sim::SetUpFullSonde(d);
            Configure(d);
        });
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        app_->GetPreferences().expandOnFind = 0;
        UseSimulatorPump(sim);
        CQorConnection& connection = wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), "Bench", port, false);
        Tree().FindDevices(connection);
        ASSERT_EQ(connection.GetDeviceCount(), 1);
        sonde = connection.GetDevice(0);
        ASSERT_EQ(sonde->ExpandDevice(), kAppOk);
        ASSERT_NE(sonde->GetDataWriter().IsReady(), 0);
        messages.clear();
        capWarnings.clear();
        sim.ClearFrames();
    }

    // Changes the simulated sonde before it is found.
    virtual void Configure(wv::sim::SimDevice& /*device*/) {}

    // Runs the dialog for parameterId modally; the steps run in turn on the open dialog,
    // every 10 ms, each until it answers true.
    int Run(int parameterId, std::vector<Step> steps)
    {
        CDlgHdoSalinity dialog(parameterId, &Frame());
        dialog.SetDataWriter(&sonde->GetDataWriter());
        dialog.SetSession(sonde->GetSession());
        size_t next = 0;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (next < steps.size() && dialog.isVisible() && steps[next](dialog)) {
                ++next;
            }
        });
        driver.start(10);
        const int result = dialog.DoModal();
        EXPECT_EQ(next, steps.size()) << "the dialog closed before its script ended";
        return result;
    }
    static QRadioButton* Radio(CDlgHdoSalinity& dialog, int id) { return dialog.ItemAs<QRadioButton>(id); }
    static QLineEdit* Edit(CDlgHdoSalinity& dialog) { return dialog.ItemAs<QLineEdit>(CDlgHdoSalinity::kIdSalinity); }
    // Chooses User Input Value and types text over the selected "0.00".
    static void TypeValue(CDlgHdoSalinity& dialog, const QString& text)
    {
        Radio(dialog, CDlgHdoSalinity::kIdUserValue)->click();
        QLineEdit* edit = Edit(dialog);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    static void ClickOk(CDlgHdoSalinity& dialog) { dialog.ItemAs<QPushButton>(CModalDialog::kIdOk)->click(); }

    std::vector<wv::sim::ReceivedFrame> FramesOf(uint16_t command) const
    {
        std::vector<wv::sim::ReceivedFrame> found;
        for (const wv::sim::ReceivedFrame& frame : sim.Frames()) {
            if (frame.command == command) {
                found.push_back(frame);
            }
        }
        return found;
    }
    size_t CountOf(uint16_t command) const { return FramesOf(command).size(); }

    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
    wv::sim::InstrumentSim sim;
    int port = 0;
    CQorDevice* sonde = nullptr;
};

// The sonde measures 42933 uS/cm at 15 C: the reference sea water of 35 PSU. Choosing the
// reading writes it to the capped sensor's coefficient ('Z', record 90).
TEST_F(HdoSalinityTest, TheCurrentReadingIsTheSondesSalinityAndReachesTheCappedSensor)
{
    const int result = Run(37, {
        [](CDlgHdoSalinity& d) { return d.ReadingText() == QStringLiteral("35.00"); },
        [](CDlgHdoSalinity& d) {
            EXPECT_EQ(Edit(d)->text(), QStringLiteral("0.00")) << "Retain shows the sensor's value";
            Radio(d, CDlgHdoSalinity::kIdCurrentReading)->click();
            EXPECT_EQ(Edit(d)->text(), QStringLiteral("35.00"));
            EXPECT_FALSE(Edit(d)->isEnabled());
            ClickOk(d);
            return true;
        },
    });
    EXPECT_EQ(result, CModalDialog::kIdOk);
    const auto writes = FramesOf(kCmdSetCoefficient);
    ASSERT_EQ(writes.size(), 1u);
    std::vector<uint8_t> expected{0x02, 0x00, 'Z'};
    const std::vector<uint8_t> salinity = FloatBytes(35.0f);  // 42 0C 00 00
    expected.insert(expected.end(), salinity.begin(), salinity.end());
    EXPECT_EQ(writes[0].body, expected);
    EXPECT_EQ(sonde->GetDataWriter().GetCalCoefficients1().value5, 35.0f);
    sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) {
        EXPECT_EQ(wv::sim::DeviceRecordsOf(d).calSet1.value5, 35.0f);
    });
    EXPECT_TRUE(messages.empty());
}

// A typed value goes to the adapter sensor in its configuration record: the 'Y' record's
// float at bytes 143 to 146 of the write, the rest as the sensor had it.
TEST_F(HdoSalinityTest, ATypedValueReachesTheAdapterSensorsConfiguration)
{
    const int result = Run(16, {
        [](CDlgHdoSalinity& d) {
            TypeValue(d, QStringLiteral("43"));
            EXPECT_EQ(Edit(d)->text(), QStringLiteral("4")) << "43 is above the sensor's range";
            TypeValue(d, QStringLiteral("7.25"));
            EXPECT_EQ(Edit(d)->text(), QStringLiteral("7.25"));
            ClickOk(d);
            return true;
        },
    });
    EXPECT_EQ(result, CModalDialog::kIdOk);
    const auto writes = FramesOf(kCmdWriteConfig);
    ASSERT_EQ(writes.size(), 1u);
    const std::vector<uint8_t>& body = writes[0].body;
    ASSERT_EQ(body.size(), 190u);
    EXPECT_EQ(body[0], 'Y');
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + 143, body.begin() + 147), FloatBytes(7.25f));  // 40 E8 00 00
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + 139, body.begin() + 143), FloatBytes(13.5f));  // float 27 kept
    EXPECT_EQ(body[189], 6);
    EXPECT_EQ(CountOf(kCmdSetCoefficient), 0u);
    EXPECT_EQ(sonde->GetDataWriter().GetSensorConfig().values34[kSensorConfigSalinityFloat], 7.25f);
    EXPECT_TRUE(messages.empty());
}

// OK while the poller's sample is in flight: the dialog stays open until that sample is
// answered, asks for no further one, and only then writes; after 5 s it shows the wait
// cursor and keeps waiting.
TEST_F(HdoSalinityTest, OkDuringAPassWaitsForItThenWrites)
{
    size_t readsAtOk = 0;
    const int result = Run(37, {
        [](CDlgHdoSalinity& d) { return d.ReadingText() == QStringLiteral("35.00"); },
        [this, &readsAtOk](CDlgHdoSalinity& d) {
            Radio(d, CDlgHdoSalinity::kIdCurrentReading)->click();
            // Every following sample takes the sonde 1.5 s.
            sim.WithDevice(kSonde, [](wv::sim::SimDevice& s) { wv::sim::DeviceRecordsOf(s).paramReplyDelayMs = 1500; });
            readsAtOk = CountOf(kCmdParamRead);
            return true;
        },
        [this, &readsAtOk](CDlgHdoSalinity& d) {
            // Wait until a sample is asked for after the delay was set (one may have been in
            // flight before).
            if (CountOf(kCmdParamRead) < readsAtOk + 2) {
                return false;
            }
            readsAtOk = CountOf(kCmdParamRead);
            ClickOk(d);
            EXPECT_TRUE(d.IsClosing());
            EXPECT_TRUE(d.IsPollerRunning());
            // Time the stop out at once instead of after 5 s.
            d.findChild<QTimer*>(QStringLiteral("timer666"))->start(1);
            return true;
        },
        [](CDlgHdoSalinity& d) {
            if (!d.IsWaitCursorShown()) {
                return false;
            }
            EXPECT_NE(QApplication::overrideCursor(), nullptr);
            EXPECT_TRUE(d.isVisible());
            EXPECT_TRUE(d.IsPollerRunning());
            return true;
        },
    });
    EXPECT_EQ(result, CModalDialog::kIdOk);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The sample in flight at OK was the last; the write came after it.
    EXPECT_EQ(CountOf(kCmdParamRead), readsAtOk);
    const std::vector<wv::sim::ReceivedFrame> frames = sim.Frames();
    const auto write = std::find_if(frames.begin(), frames.end(),
                                    [](const auto& f) { return f.command == kCmdSetCoefficient; });
    ASSERT_NE(write, frames.end());
    EXPECT_TRUE(std::none_of(write, frames.end(), [](const auto& f) { return f.command == kCmdParamRead; }));
    EXPECT_EQ(std::vector<uint8_t>(write->body.begin() + 3, write->body.end()), FloatBytes(35.0f));
    // The writer had the line to itself: the write succeeded.
    EXPECT_TRUE(messages.empty());
}

// Retain, Esc and the close box write nothing, whichever sensor.
TEST_F(HdoSalinityTest, RetainAndCancelWriteNothing)
{
    const struct {
        const char* name;
        int parameterId;
        std::function<void(CDlgHdoSalinity&)> close;
    } cases[] = {
        {"Retain and OK, capped", 37, [](CDlgHdoSalinity& d) { ClickOk(d); }},
        {"Retain and OK, adapter", 16, [](CDlgHdoSalinity& d) { ClickOk(d); }},
        {"a typed value, then Esc", 37,
         [](CDlgHdoSalinity& d) {
             TypeValue(d, QStringLiteral("20"));
             QTest::keyClick(&d, Qt::Key_Escape);
         }},
        {"the current reading, then the close box", 16,
         [](CDlgHdoSalinity& d) {
             Radio(d, CDlgHdoSalinity::kIdCurrentReading)->click();
             d.close();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.ClearFrames();
        const int result = Run(c.parameterId, {
            [](CDlgHdoSalinity& d) { return d.ReadingText() != QStringLiteral("NA"); },
            [&c](CDlgHdoSalinity& d) {
                c.close(d);
                return true;
            },
        });
        EXPECT_EQ(result, CModalDialog::kIdCancel);
        EXPECT_EQ(CountOf(kCmdWriteConfig) + CountOf(kCmdSetCoefficient), 0u);
        EXPECT_TRUE(messages.empty());
    }
    // The entry the views use opens the same dialog.
    QTimer::singleShot(0, [] {
        if (auto* d = qobject_cast<CDlgHdoSalinity*>(QApplication::activeModalWidget())) {
            ClickOk(*d);
        }
    });
    EXPECT_EQ(RunHdoSalinityDialog(17, *sonde, &Frame()), CModalDialog::kIdCancel);
}

// A failed write is reported with the device's code for both sensors, and the dialog closes.
TEST_F(HdoSalinityTest, AFailedWriteIsReportedWithItsCode)
{
    const struct {
        const char* name;
        int parameterId;
        std::function<void(wv::sim::SimDeviceRecords&)> fault;
        int code;
    } cases[] = {
        // The coefficient write's status byte 3 is 5632 + 3.
        {"capped sensor", 37, [](wv::sim::SimDeviceRecords& r) { r.calStatus = 3; }, 5635},
        // The configuration reads back different twice: 5601.
        {"adapter sensor", 16, [](wv::sim::SimDeviceRecords& r) { r.corruptReads = 3; }, 5601},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        sim.WithDevice(kSonde, [&c](wv::sim::SimDevice& d) { c.fault(wv::sim::DeviceRecordsOf(d)); });
        const int result = Run(c.parameterId, {
            [](CDlgHdoSalinity& d) {
                TypeValue(d, QStringLiteral("12"));
                ClickOk(d);
                return true;
            },
        });
        EXPECT_EQ(result, CModalDialog::kIdOk);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].textId, kStrSalinityWriteFailed);
        EXPECT_EQ(Frame().lastMessageText, "Write fail to HDO sensor - Error #" + std::to_string(c.code));
        sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) {
            wv::sim::DeviceRecordsOf(d).calStatus = 0;
            wv::sim::DeviceRecordsOf(d).corruptReads = 0;
        });
    }
}

// An empty user value is refused and the dialog stays open.
TEST_F(HdoSalinityTest, AnEmptyUserValueIsRefused)
{
    const int result = Run(37, {
        [this](CDlgHdoSalinity& d) {
            TypeValue(d, QString());
            QTest::keyClick(Edit(d), Qt::Key_Backspace);
            EXPECT_EQ(Edit(d)->text(), QString());
            ClickOk(d);
            EXPECT_FALSE(d.IsClosing());
            EXPECT_EQ(messages.size(), 1u);
            return true;
        },
        [](CDlgHdoSalinity& d) {
            d.reject();
            return true;
        },
    });
    EXPECT_EQ(result, CModalDialog::kIdCancel);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].textId, kStrSalinityInvalid);
    EXPECT_EQ(CountOf(kCmdSetCoefficient), 0u);
}

TEST(HdoSalinityText, WhatTheSalinityEditTakes)
{
    const struct {
        const char* text;
        bool accepted;
    } cases[] = {
        {"", true},     {"0", true},      {"12.5", true}, {"42", true},  {"42.0", true}, {"+5", true},
        {".5", true},   {"-0", true},     {"43", false},  {"42.01", false}, {"-1", false}, {"1.2.3", false},
        {"4a", false},  {"1-", false},    {" 4", false},  {"1,5", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CDlgHdoSalinity::IsAcceptableText(QString::fromLatin1(c.text)), c.accepted) << '"' << c.text << '"';
    }
}

// A sonde without a conductivity sensor has no reading to take.
class HdoSalinityNoConductivityTest : public HdoSalinityTest {
protected:
    void Configure(wv::sim::SimDevice& device) override
    {
        std::erase(wv::sim::DeviceRecordsOf(device).ports, uint8_t{45});
    }
};

TEST_F(HdoSalinityNoConductivityTest, TheCurrentReadingStaysUnavailable)
{
    const int result = Run(37, {
        [this](CDlgHdoSalinity& d) {
            EXPECT_FALSE(d.IsPollerRunning());
            Radio(d, CDlgHdoSalinity::kIdCurrentReading)->click();
            EXPECT_EQ(Edit(d)->text(), QStringLiteral("NA"));
            ClickOk(d);
            EXPECT_FALSE(d.IsClosing());
            EXPECT_EQ(messages.size(), 1u);
            return true;
        },
        [](CDlgHdoSalinity& d) {
            d.reject();
            return true;
        },
    });
    EXPECT_EQ(result, CModalDialog::kIdCancel);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].textId, kStrSalinityInvalid);
    EXPECT_EQ(CountOf(kCmdParamRead), 0u);
    EXPECT_EQ(CountOf(kCmdSetCoefficient), 0u);
}

} // namespace

namespace {

// The cap warning the frame shows: the days in its message, the reminder list seeded with
// the caller's choice (one day for a choice the list does not have) and locked at one day
// with fewer than 30 days left; the choice made comes back.
class HdoCapWarningTest : public AppFixture {
protected:
    void SetUp() override { Start(); }
};

TEST_F(HdoCapWarningTest, TheReminderListIsSeededAndLockedByTheDaysLeft)
{
    const struct {
        int days;
        int remind;
        int shown;
        bool enabled;
        int choose;    // -1: leave the list
        int returned;
    } cases[] = {
        {45, 2, 2, true, -1, 2}, {45, 2, 2, true, 4, 4}, {30, 4, 4, true, -1, 4},
        {29, 4, 0, false, -1, 0}, {12, 3, 0, false, -1, 0}, {45, 5, 0, true, -1, 0},
        {45, -1, 0, true, -1, 0}, {45, 1000, 0, true, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.days << " days, remind " << c.remind);
        capWarnings.clear();
        capWarningScript = [&c](CDlgHdoCapWarning& dialog) {
            if (c.choose >= 0) {
                dialog.ItemAs<QComboBox>(CDlgHdoCapWarning::kIdInterval)->setCurrentIndex(c.choose);
            }
        };
        EXPECT_EQ(Frame().ShowCapWarning(GetResString(kStrCapExpiresIn), c.days, c.remind), c.returned);
        ASSERT_EQ(capWarnings.size(), 1u);
        EXPECT_EQ(capWarnings[0].index, c.shown);
        EXPECT_EQ(capWarnings[0].listEnabled, c.enabled);
        EXPECT_EQ(capWarnings[0].text, "The Korvant Dissolved Oxygen (HDO) sensor cap expires in " + std::to_string(c.days) +
                                           " days.\n\nAfter the HDO cap expires, a new HDO cap is required.");
    }
}

TEST_F(HdoCapWarningTest, TheListOffersFiveIntervals)
{
    capWarningScript = [](CDlgHdoCapWarning& dialog) {
        auto* list = dialog.ItemAs<QComboBox>(CDlgHdoCapWarning::kIdInterval);
        QStringList items;
        for (int i = 0; i < list->count(); ++i) {
            items << list->itemText(i);
        }
        EXPECT_EQ(items, (QStringList{"1 day", "5 days", "10 days", "15 days", "30 days"}));
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("HDO Foil Cap"));
        EXPECT_EQ(dialog.objectName(), QStringLiteral("447"));
        auto* prompt = dialog.findChild<QLabel*>(QString::number(CDlgHdoCapWarning::kIdPrompt));
        ASSERT_NE(prompt, nullptr);
        EXPECT_EQ(prompt->text(), QStringLiteral("Please remind me again in:"));
    };
    Frame().ShowCapWarning(GetResString(kStrCapExpiresIn), 60, 0);
    EXPECT_EQ(capWarnings.size(), 1u);
}

// The device's cap check stores the reminder the user chose.
TEST_F(HdoSalinityTest, TheCapCheckKeepsTheChosenReminder)
{
    constexpr const char* kSection = "Settings\\CapWarningReminder";
    // A cap the program has not seen: the warning shows at once.
    wv::UserRegistry().WriteNumber(kSection, "LastCap", 1);
    capWarningScript = [](CDlgHdoCapWarning& dialog) {
        dialog.ItemAs<QComboBox>(CDlgHdoCapWarning::kIdInterval)->setCurrentIndex(3);
    };
    sonde->CheckHdoCap(37, true);
    ASSERT_EQ(capWarnings.size(), 1u);
    EXPECT_EQ(capWarnings[0].index, 0);
    EXPECT_NE(capWarnings[0].text.find("expires in 45 days"), std::string::npos);
    EXPECT_EQ(wv::UserRegistry().ReadNumber(kSection, "RemindAgainFlag", 99), 3u);
    EXPECT_EQ(wv::UserRegistry().ReadNumber(kSection, "LastCap", 0), 5150u);
    EXPECT_TRUE(messages.empty());
}

} // namespace
