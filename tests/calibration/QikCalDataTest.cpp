// The calibration engine driven by scripted readings on the simulated process clock: a
// settling point through UNSTABLE, NOMINAL and STABLE, the dissolved-oxygen statuses, the
// ion sensors' drift figure, the filter, companions and their copies, the accept and stop
// mappings, the cycle's timing, and the ways the worker ends (read error, a reading that
// is not finite, Stop during a slow read, destruction while running).

#include "calibration/QikCalData.h"

#include "foundation/DataMap.h"
#include "platform/Clock.h"
#include "tests/calibration/CalEngineSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <future>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

namespace {

using caltest::Channels;
using caltest::ScriptReader;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class QikCalDataTest : public ::testing::Test {
protected:
    // Tells the engine command at the read of channel with number read (the sample of
    // that read is then not taken).
    void CommandAt(CQikCalData& engine, CQorChannel* channel, int read, int command)
    {
        reader_.OnRead([&engine, channel, read, command](CQorChannel* at, int number) {
            if (at == channel && number == read) {
                engine.SetCommand(command);
            }
        });
    }
    static void FilterOff(CQikCalData& engine)
    {
        for (int n = 1; n <= engine.GetTrackerCount(); ++n) {
            engine.GetTracker(n)->m_filter.SetFilterData(0);
        }
    }

    wv::ManualClock clock_;
    wv::ScopedClock clockScope_{clock_};
    Channels channels_;
    ScriptReader reader_;
    std::mutex mutex_;
    std::vector<int> statuses_;
    std::vector<double> averages_;
};

// The pH series: ten samples falling from 200 by 10, then sixteen swinging between 97 and
// 102 (range 5: NOMINAL once they fill the 16-sample window), then ones between 100 and
// 100.5 (range 0.5: STABLE once they fill the 31-sample window).
std::vector<double> SettlingSeries()
{
    std::vector<double> values;
    for (int i = 1; i <= 57; ++i) {
        if (i <= 10) {
            values.push_back(200.0 - 10.0 * (i - 1));
        } else if (i <= 26) {
            values.push_back(i % 2 == 0 ? 102.0 : 97.0);
        } else {
            values.push_back(i % 2 == 0 ? 100.5 : 100.0);
        }
    }
    return values;
}

TEST_F(QikCalDataTest, ASettlingPhPointGoesUnstableNominalStableAndIsAccepted)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQorChannel* temp = channels_.Add(2, 1);
    CQikCalData engine({ph, temp}, channels_.Device(), {}, &reader_);
    FilterOff(engine);
    ASSERT_EQ(engine.GetTemperatureIndex(), 2);
    reader_.PlaySeries(ph, SettlingSeries());
    reader_.Play(temp, [](int read, double& value) {
        value = 20.0 + 0.25 * read;
        return 0;
    });
    ASSERT_EQ(engine.EnableChannel(1, true), 1);
    EXPECT_EQ(engine.GetTracker(2)->m_enabled, 1);  // the temperature comes along
    ASSERT_EQ(engine.SetCalPointKind(1, 0), 1);
    // The 58th read (number 57) ends the run with an accept.
    reader_.OnRead([&](CQorChannel* at, int number) {
        if (at == ph) {
            std::lock_guard lock(mutex_);
            statuses_.push_back(engine.GetChannelStatus(1));
            averages_.push_back(engine.GetChannelAverage(1));
            if (number == 57) {
                engine.SetCommand(kQikCalCmdAccept);
            }
        }
    });
    ASSERT_TRUE(engine.Start());
    EXPECT_TRUE(engine.IsRunning());
    engine.Join();
    EXPECT_FALSE(engine.IsRunning());

    ASSERT_EQ(statuses_.size(), 58u);
    // statuses_[k] is the status after k samples.
    for (size_t k = 1; k <= 25; ++k) {
        EXPECT_EQ(statuses_[k], kQikCalUnstable) << k;
    }
    for (size_t k = 26; k <= 56; ++k) {
        EXPECT_EQ(statuses_[k], kQikCalNominal) << k;
    }
    EXPECT_EQ(statuses_[57], kQikCalStable);
    EXPECT_EQ(averages_[25], 0.0);                                 // unstable: no average yet
    EXPECT_DOUBLE_EQ(averages_[26], (102.0 + 97 + 102 + 97 + 102) / 5);  // samples 22..26
    EXPECT_DOUBLE_EQ(averages_[57], (100.0 + 100.5 + 100 + 100.5 + 100) / 5);  // samples 53..57

    EXPECT_EQ(engine.GetState(), kQikCalAccepted);
    EXPECT_EQ(engine.GetChannelStatus(1), kQikCalStable);
    EXPECT_DOUBLE_EQ(engine.GetChannelAverage(1), 100.2);
    EXPECT_DOUBLE_EQ(engine.GetChannelReading(1), 100.0);
    EXPECT_DOUBLE_EQ(engine.GetChannelChange(1), -0.5);
    std::string caption;
    EXPECT_DOUBLE_EQ(engine.GetChannelDeviation(1, caption), -0.5);
    EXPECT_EQ(caption, "Deviation [mV]");
    // The temperature companion's reading of the last complete cycle (read 56) is copied
    // into every enabled tracker.
    EXPECT_DOUBLE_EQ(engine.GetChannelTemperature(1), 34.0);
    EXPECT_DOUBLE_EQ(engine.GetChannelTemperature(2), 34.0);
    std::string text;
    engine.GetStatusText(text);
    EXPECT_EQ(text, "Stable values have been determined.");
    EXPECT_EQ(engine.GetTracker(1)->m_history.size(), 57u);
}

TEST_F(QikCalDataTest, CompanionsComeFromTheListOrTheDeviceOrNotAtAll)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQorChannel* oxygen = channels_.Add(7, 11);
    // The device node holds no channels: no companion can be added from it.
    CQikCalData engine({ph, oxygen}, channels_.Device(), {}, &reader_);
    EXPECT_EQ(engine.GetTrackerCount(), 2);
    EXPECT_LT(engine.GetTemperatureIndex(), 0);
    EXPECT_LT(engine.GetBarometerIndex(), 0);

    CQorChannel* baro = channels_.Add(6, 3);
    CQorChannel* temp = channels_.Add(2, 1);
    CQikCalData listed({oxygen, baro, temp}, channels_.Device(), {}, &reader_);
    EXPECT_EQ(listed.GetTemperatureIndex(), 3);
    EXPECT_EQ(listed.GetBarometerIndex(), 2);
    EXPECT_EQ(listed.GetTracker(2)->m_enabled, 0);  // found in the list: not enabled by this
    EXPECT_EQ(listed.FindChannel("baro"), 2);
    EXPECT_EQ(listed.FindChannel("DO", 1), -1);
    EXPECT_EQ(listed.FindChannel("DO", 0), 1);

    // A run of the oxygen point copies both companions' readings into it; without
    // companions the copies stay 0.0.
    reader_.PlaySeries(oxygen, {50.0});
    reader_.PlaySeries(baro, {14.5});
    reader_.PlaySeries(temp, {21.0});
    FilterOff(listed);
    ASSERT_EQ(listed.EnableChannel(1, true), 1);
    EXPECT_EQ(listed.GetTracker(2)->m_enabled, 1);
    EXPECT_EQ(listed.GetTracker(3)->m_enabled, 1);
    ASSERT_EQ(listed.SetCalPointKind(1, 0), 1);
    CommandAt(listed, oxygen, 3, kQikCalCmdStop);
    ASSERT_TRUE(listed.Start());
    listed.Join();
    EXPECT_DOUBLE_EQ(listed.GetChannelBarometer(1), 14.5);
    EXPECT_DOUBLE_EQ(listed.GetChannelTemperature(1), 21.0);
    EXPECT_EQ(listed.GetChannelBarometer(99), 0.0);

    reader_.OnRead({});
    engine.EnableChannel(2, true);
    engine.SetCalPointKind(2, 0);
    CommandAt(engine, oxygen, 6, kQikCalCmdStop);
    ASSERT_TRUE(engine.Start());
    engine.Join();
    EXPECT_EQ(engine.GetChannelBarometer(2), 0.0);
    EXPECT_EQ(engine.GetChannelTemperature(2), 0.0);
}

TEST_F(QikCalDataTest, DissolvedOxygenStatusesByWindowsFilled)
{
    // Kind 0: full window 16 and nominal window 9 samples; the mean-stability test
    // compares the mean of the newest 5 samples with that of 5 samples one window back.
    // Three readings of 40, then a steady 50.
    CQorChannel* oxygen = channels_.Add(7, 11);
    CQikCalData engine({oxygen}, channels_.Device(), {}, &reader_);
    FilterOff(engine);
    reader_.Play(oxygen, [](int read, double& value) {
        value = read < 3 ? 40.0 : 50.0;
        return 0;
    });
    engine.EnableChannel(1, true);
    ASSERT_EQ(engine.SetCalPointKind(1, 0), 1);
    reader_.OnRead([&](CQorChannel*, int number) {
        std::lock_guard lock(mutex_);
        statuses_.push_back(engine.GetChannelStatus(1));
        averages_.push_back(engine.GetChannelAverage(1));
        if (number == 24) {
            engine.SetCommand(kQikCalCmdStop);
        }
    });
    ASSERT_TRUE(engine.Start());
    engine.Join();
    ASSERT_EQ(statuses_.size(), 25u);
    for (size_t k = 1; k <= 5; ++k) {
        EXPECT_EQ(statuses_[k], kQikCalTooFew) << k;
        EXPECT_EQ(averages_[k], 0.0) << k;  // left as it was
    }
    // Neither window passes: UNSTABLE, averaged over the last five (samples 2 to 6).
    EXPECT_EQ(statuses_[6], kQikCalUnstable);
    EXPECT_DOUBLE_EQ(averages_[6], (40.0 + 40 + 50 + 50 + 50) / 5);
    // Nominal compares the newest five with the five ending nine back (samples s-13 to
    // s-9): they hold no 40 from sample 17 on. Full looks sixteen back: from sample 24 on.
    for (size_t k = 7; k <= 16; ++k) {
        EXPECT_EQ(statuses_[k], kQikCalUnstable) << k;
    }
    for (size_t k = 17; k <= 23; ++k) {
        EXPECT_EQ(statuses_[k], kQikCalNominal) << k;
    }
    EXPECT_DOUBLE_EQ(averages_[17], 50.0);
    EXPECT_EQ(statuses_[24], kQikCalStable);
    // Stopped: a stable point keeps its status.
    EXPECT_EQ(engine.GetChannelStatus(1), kQikCalStable);
    EXPECT_EQ(engine.GetState(), kQikCalIdle);
}

TEST_F(QikCalDataTest, AnIonTrackerShowsItsDriftFigureAsARate)
{
    // Full window 61: the accumulated-drift test reports |rises - falls| once it has 61
    // samples and moved by more than its threshold allows.
    CQorChannel* ion = channels_.Add(13, 12);
    CQikCalData engine({ion}, channels_.Device(), {}, &reader_);
    FilterOff(engine);
    reader_.Play(ion, [](int read, double& value) {
        value = 0.1 * read;
        return 0;
    });
    engine.EnableChannel(1, true);
    engine.SetCalPointKind(1, 0);
    std::vector<std::string> captions;
    std::vector<double> deviations;
    reader_.OnRead([&](CQorChannel*, int number) {
        std::string caption;
        const double deviation = engine.GetChannelDeviation(1, caption);
        std::lock_guard lock(mutex_);
        captions.push_back(caption);
        deviations.push_back(deviation);
        if (number == 61) {
            engine.SetCommand(kQikCalCmdStop);
        }
    });
    ASSERT_TRUE(engine.Start());
    engine.Join();
    ASSERT_EQ(captions.size(), 62u);
    EXPECT_EQ(captions[0], "Deviation [mV]");  // nothing judged yet
    // The drift test runs from the first sample on; until its window is full it has no
    // figure to report, and reports 0.
    EXPECT_EQ(captions[60], "Deviation [mV/min]");
    EXPECT_EQ(deviations[60], 0.0);
    EXPECT_EQ(captions[61], "Deviation [mV/min]");
    EXPECT_NEAR(deviations[61], 6.0, 1e-9);  // sixty rises of 0.1
}

TEST_F(QikCalDataTest, FilterWeightsFromTheSettingsServeEveryTracker)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQorChannel* orp = channels_.Add(8, 11);
    CQikCalData engine({ph, orp}, channels_.Device(), {}, &reader_);
    CDataMap settings;
    settings.SetBool("FilterData", 1);
    const char* weights[] = {"FilterCoef_A", "FilterCoef_B", "FilterCoef_C", "FilterCoef_D", "FilterCoef_E"};
    for (int i = 0; i < 5; ++i) {
        settings.SetDouble(weights[i], i + 1.0);
    }
    engine.SerializeSettings(settings, false, false);
    reader_.PlaySeries(ph, {1, 2, 3, 4});
    reader_.PlaySeries(orp, {1, 2, 3, 4});
    std::vector<double> readings;
    reader_.OnRead([&](CQorChannel* at, int number) {
        if (at != orp) {
            return;
        }
        std::lock_guard lock(mutex_);
        if (number > 0) {
            readings.push_back(engine.GetChannelReading(2));
        }
        if (number == 4) {
            engine.SetCommand(kQikCalCmdStop);
        }
    });
    for (int n : {1, 2}) {
        engine.EnableChannel(n, true);
        engine.SetCalPointKind(n, 0);
    }
    ASSERT_TRUE(engine.Start());
    engine.Join();
    ASSERT_EQ(readings.size(), 4u);
    EXPECT_DOUBLE_EQ(readings[0], 1.0);
    EXPECT_DOUBLE_EQ(readings[1], 11.0 / 6.0);
    // Three values: (A x1 + C x2 + E x3) / (A + C + E).
    EXPECT_DOUBLE_EQ(readings[2], 22.0 / 9.0);
    EXPECT_DOUBLE_EQ(readings[3], 3.0);
    // The pH tracker, read first in each cycle, took a fifth sample.
    EXPECT_DOUBLE_EQ(engine.GetChannelReading(1), (1.0 + 2 * 2 + 3 * 3 + 4 * 4 + 5 * 4) / 15);
    EXPECT_EQ(engine.GetTracker(2)->m_history, (std::vector<double>{1.0, 11.0 / 6.0, 22.0 / 9.0, 3.0}));
}

TEST_F(QikCalDataTest, SamplesAreNudgedWhenEqualAndTheHistoryIsCapped)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQikCalData engine({ph}, channels_.Device(), {}, &reader_);
    FilterOff(engine);
    engine.AddChannelSample(1, 5.0);
    engine.AddChannelSample(1, 5.0);
    EXPECT_DOUBLE_EQ(engine.GetChannelReading(1), 5.0 + 5.0 * 0.00001);
    EXPECT_EQ(engine.GetTracker(1)->m_history, (std::vector<double>{5.0, 5.0}));

    engine.ResetChannel(1);
    for (int i = 1; i <= 1000; ++i) {
        engine.AddChannelSample(1, i);
    }
    const std::vector<double>& history = engine.GetTracker(1)->m_history;
    ASSERT_EQ(history.size(), 999u);
    EXPECT_EQ(history.front(), 2.0);
    EXPECT_EQ(history.back(), 1000.0);
    engine.AddChannelSample(1, 1001);
    EXPECT_EQ(history.size(), 999u);
    EXPECT_EQ(history.front(), 3.0);
    EXPECT_EQ(engine.GetTracker(1)->m_samplesSeen, 1000);
}

struct MappingCase {
    int channelKind;
    int kind;
    double average;
    int status;
    int command;
    int expected;
};

const MappingCase kMappings[] = {
    // Accept.
    {4, 0, 0.0, kQikCalNotTested, kQikCalCmdAccept, kQikCalNotTested},
    {4, 0, 0.0, kQikCalUnstable, kQikCalCmdAccept, kQikCalUserUnstable},
    {4, 0, 0.0, kQikCalNominal, kQikCalCmdAccept, kQikCalUserNominal},
    {4, 0, 0.0, kQikCalUserSet, kQikCalCmdAccept, kQikCalUserSet},
    {4, 0, 0.0, kQikCalUserUnstable, kQikCalCmdAccept, kQikCalUserUnstable},
    {4, 0, 0.0, kQikCalUserNominal, kQikCalCmdAccept, kQikCalUserNominal},
    {4, 0, 0.0, kQikCalStable, kQikCalCmdAccept, kQikCalStable},
    {4, 0, 0.0, kQikCalFailed, kQikCalCmdAccept, kQikCalFailed},
    {7, 0, 0.0, kQikCalTooFew, kQikCalCmdAccept, kQikCalNotTested},  // nothing was averaged
    {7, 4, 10.5, kQikCalStable, kQikCalCmdAccept, kQikCalUserHighZero},
    {7, 4, 10.5, kQikCalNominal, kQikCalCmdAccept, kQikCalUserHighZero},
    {7, 4, 10.5, kQikCalUnstable, kQikCalCmdAccept, kQikCalUserUnstable},
    {7, 4, 10.5, kQikCalTooFew, kQikCalCmdAccept, kQikCalUserHighZero},
    {7, 4, 10.5, kQikCalFailed, kQikCalCmdAccept, kQikCalFailed},
    {7, 4, 10.5, kQikCalNotTested, kQikCalCmdAccept, kQikCalNotTested},
    {7, 4, 10.0, kQikCalStable, kQikCalCmdAccept, kQikCalStable},
    {7, 4, 10.0, kQikCalNominal, kQikCalCmdAccept, kQikCalUserNominal},
    {7, 0, 10.5, kQikCalStable, kQikCalCmdAccept, kQikCalStable},
    // Stop.
    {4, 0, 0.0, kQikCalNotTested, kQikCalCmdStop, kQikCalNotTested},
    {7, 0, 0.0, kQikCalTooFew, kQikCalCmdStop, kQikCalNotTested},
    {4, 0, 0.0, kQikCalUnstable, kQikCalCmdStop, kQikCalNotTested},
    {4, 0, 0.0, kQikCalNominal, kQikCalCmdStop, kQikCalNotTested},
    {4, 0, 0.0, kQikCalUserSet, kQikCalCmdStop, kQikCalUserSet},
    {4, 0, 0.0, kQikCalUserUnstable, kQikCalCmdStop, kQikCalUserUnstable},
    {4, 0, 0.0, kQikCalUserNominal, kQikCalCmdStop, kQikCalUserNominal},
    {7, 4, 12.0, kQikCalUserHighZero, kQikCalCmdStop, kQikCalUserHighZero},
    {4, 0, 0.0, kQikCalStable, kQikCalCmdStop, kQikCalStable},
    {4, 0, 0.0, kQikCalFailed, kQikCalCmdStop, kQikCalNotTested},
};

TEST_F(QikCalDataTest, AcceptAndStopMappings)
{
    for (const MappingCase& c : kMappings) {
        SCOPED_TRACE(testing::Message() << "kind " << c.channelKind << "/" << c.kind << " avg " << c.average
                                        << " status " << c.status << " command " << c.command);
        CQikCalData engine({channels_.Add(static_cast<uint8_t>(c.channelKind), 10)}, channels_.Device(), {},
                           &reader_);
        ASSERT_EQ(engine.SetCalPointKind(1, c.kind), 1);
        engine.SetChannelStatus(1, c.status);
        engine.SetChannelAverage(1, c.average);
        engine.SetCommand(c.command);
        EXPECT_EQ(engine.PollCommand(), 0);
        EXPECT_EQ(engine.GetChannelStatus(1), c.expected);
        EXPECT_EQ(engine.GetState(), c.command == kQikCalCmdAccept ? kQikCalAccepted : kQikCalIdle);
    }
    CQikCalData engine({channels_.Add(4, 10)}, channels_.Device(), {}, &reader_);
    engine.SetCommand(kQikCalCmdRun);
    EXPECT_EQ(engine.PollCommand(), 1);
}

TEST_F(QikCalDataTest, StatusTextsAndNames)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQorChannel* temp = channels_.Add(2, 1);
    CQikCalData engine({ph, temp}, channels_.Device(), {}, &reader_);
    std::string text;
    engine.GetStatusText(text);
    EXPECT_EQ(text, "Situate the probe for calibration and choose Run.");  // none enabled
    engine.EnableChannel(1, true);
    engine.SetChannelStatus(1, kQikCalStable);
    engine.SetChannelStatus(2, kQikCalUnstable);
    engine.GetStatusText(text);
    EXPECT_EQ(text, "Stable values have been determined.");  // the companion does not count
    engine.SetChannelStatus(1, kQikCalNominal);
    engine.GetStatusText(text);
    EXPECT_EQ(text, "NOMINAL - Choose Accept to use early values or wait for complete stability.");
    engine.SetState(kQikCalError);
    engine.SetErrorCode(kQikCalErrRead);
    engine.GetStatusText(text);
    EXPECT_EQ(text, "An error occured while attempting to read from the device.");
    engine.SetErrorCode(42);
    engine.GetStatusText(text);
    EXPECT_EQ(text, "");

    struct {
        int status;
        bool collapse;
        const char* name;
    } const names[] = {{0, false, "NOT TESTED"},
                       {1, false, "UNSTABLE"},
                       {3, true, "NOMINAL"},
                       {4, false, "USER SET *"},
                       {5, false, "USER SET: Stability Not Established"},
                       {5, true, "USER SET *"},
                       {6, false, "USER SET: NOMINAL"},
                       {6, true, "USER SET *"},
                       {7, false, "USER SET: High Zero"},
                       {7, true, "USER SET *"},
                       {8, true, "STABLE"},
                       {9, false, "FAILED"}};
    for (const auto& c : names) {
        engine.SetChannelStatus(1, c.status);
        engine.GetChannelStatusName(1, text, c.collapse);
        EXPECT_EQ(text, c.name) << c.status << " " << c.collapse;
    }
    engine.EnableChannel(1, false);
    engine.GetChannelStatusName(1, text, false);
    EXPECT_EQ(text, "");
}

TEST_F(QikCalDataTest, BadTrackerNumbersGiveNeutralAnswers)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQikCalData engine({ph}, channels_.Device(), {}, &reader_);
    const int missing = engine.FindChannel("COND");
    ASSERT_EQ(missing, -1);
    for (const int n : {missing, 0, 2, 1000}) {
        SCOPED_TRACE(n);
        std::string text = "x";
        EXPECT_EQ(engine.EnableChannel(n, true), 0);
        EXPECT_EQ(engine.SetCalPointKind(n, 0), 0);
        EXPECT_EQ(engine.GetCalPointKind(n), 0);
        EXPECT_EQ(engine.GetChannelStatus(n), 0);
        EXPECT_EQ(engine.GetChannelError(n), 0);
        EXPECT_EQ(engine.GetChannelAverage(n), 0.0);
        EXPECT_EQ(engine.GetChannelReading(n), 0.0);
        EXPECT_EQ(engine.GetChannelChange(n), 0.0);
        EXPECT_EQ(engine.GetChannelTemperature(n), 0.0);
        EXPECT_EQ(engine.GetChannelDeviation(n, text), 0.0);
        EXPECT_EQ(text, "");
        text = "x";
        engine.GetChannelStatusName(n, text, true);
        EXPECT_EQ(text, "");
        engine.SetChannelStatus(n, 8);
        engine.AddChannelSample(n, 1.0);
        engine.ResetChannel(n);
        EXPECT_EQ(engine.GetTracker(n), nullptr);
    }
}

TEST_F(QikCalDataTest, KindsStartAndTheSampleInterval)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQorChannel* oxygen = channels_.Add(7, 11, 3);
    CQorChannel* oxygen7 = channels_.Add(7, 12, 7);
    CQorChannel* phase = channels_.Add(28, 13);
    CQikCalData engine({ph, oxygen, oxygen7, phase}, channels_.Device(), {0xffff, 0xffff, 0xffff, 162}, &reader_);
    EXPECT_FALSE(engine.Start());  // nothing enabled
    engine.EnableChannel(1, true);
    EXPECT_FALSE(engine.Start());  // pH has no kind yet
    EXPECT_EQ(engine.SetCalPointKind(1, 1), 0);
    EXPECT_EQ(engine.SetCalPointKind(1, 0), 1);

    // The oxygen sensor is switched to calibration type 7 first, once, and only when it is
    // not already.
    EXPECT_EQ(engine.SetCalPointKind(2, 5), 0);
    EXPECT_TRUE(reader_.Written().empty());
    EXPECT_EQ(engine.SetCalPointKind(2, 0), 1);
    EXPECT_EQ(engine.SetCalPointKind(3, 4), 1);
    ASSERT_EQ(reader_.Written().size(), 1u);
    EXPECT_EQ(reader_.Written()[0].first, oxygen);
    EXPECT_EQ(reader_.Written()[0].second.calibrationMode, 7);
    EXPECT_EQ(engine.GetCalPointKind(3), 4);

    // S is the largest sample interval of the enabled trackers.
    reader_.PlaySeries(ph, {7.0});
    reader_.PlaySeries(oxygen, {7.0});
    reader_.PlaySeries(phase, {7.0});
    engine.EnableChannel(2, true);
    ASSERT_TRUE(engine.Start());
    engine.Stop(0);
    engine.Join();
    EXPECT_EQ(engine.GetSampleSeconds(), 2);
    EXPECT_EQ(engine.GetTracker(1)->m_fullWindow, 31);
    EXPECT_EQ(engine.GetTracker(1)->m_nominalWindow, 16);

    engine.EnableChannel(4, true);
    engine.SetCalPointKind(4, 0);
    ASSERT_TRUE(engine.Start());
    engine.Stop(0);
    engine.Join();
    EXPECT_EQ(engine.GetSampleSeconds(), 5);
    EXPECT_EQ(engine.GetTracker(1)->m_fullWindow, 13);

    // Intervals from the settings: S stays within 1..3600 s.
    for (const auto& [interval, seconds] : {std::pair{0, 1}, std::pair{5000, 3600}}) {
        for (int n : {1, 2, 4}) {
            CQikCalTracker* t = engine.GetTracker(n);
            t->m_sampleInterval[static_cast<size_t>(t->m_kind)] = interval;
        }
        ASSERT_TRUE(engine.Start());
        engine.Stop(0);
        engine.Join();
        EXPECT_EQ(engine.GetSampleSeconds(), seconds);
    }
}

TEST_F(QikCalDataTest, EngineSettingsKeysAndTheSampleLimit)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQikCalData engine({ph}, channels_.Device(), {}, &reader_);
    CDataMap written;
    engine.SerializeSettings(written, true, false);
    int32_t maxSamples = 0;
    ASSERT_NE(written.GetInt("ReadMaximumSamples", maxSamples), 0);
    EXPECT_EQ(maxSamples, 1000);
    int32_t filterOn = 0;
    ASSERT_NE(written.GetBool("FilterData", filterOn), 0);
    EXPECT_EQ(filterOn, 1);
    EXPECT_NE(written.HasKey("FilterCoef_E"), 0);
    EXPECT_NE(written.HasKey("Read-PH-SampleInterval"), 0);

    struct {
        int value;
        int kept;
    } const limits[] = {{1, 1000}, {2, 2}, {100000, 100000}, {100001, 1000}, {-5, 1000}, {250, 250}};
    for (const auto& c : limits) {
        CQikCalData fresh({ph}, channels_.Device(), {}, &reader_);
        CDataMap map;
        map.SetInt("ReadMaximumSamples", c.value);
        fresh.SerializeSettings(map, false, false);
        EXPECT_EQ(fresh.GetMaxSamples(), c.kept) << c.value;
    }
}

TEST_F(QikCalDataTest, EachCycleLastsTheSampleIntervalWhateverTheReadsTake)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQikCalData engine({ph}, channels_.Device(), {}, &reader_);
    std::vector<uint64_t> times;
    int readMs = 700;
    reader_.Play(ph, [&](int read, double& value) {
        times.push_back(clock_.NowMs());
        clock_.Advance(static_cast<uint64_t>(read < 4 ? readMs : 3000));
        value = 1.0;
        return 0;
    });
    CommandAt(engine, ph, 7, kQikCalCmdStop);
    engine.EnableChannel(1, true);
    engine.SetCalPointKind(1, 0);
    ASSERT_TRUE(engine.Start());
    engine.Join();
    ASSERT_EQ(times.size(), 8u);
    std::vector<uint64_t> cycles;
    for (size_t i = 1; i < times.size(); ++i) {
        cycles.push_back(times[i] - times[i - 1]);
    }
    // 700 ms reads: the first cycle runs long (700 + 2 x 1000), then each sleep is cut to
    // 650 ms. Reads of 3 s: each sleep falls to the 10 ms floor.
    EXPECT_EQ(cycles, (std::vector<uint64_t>{2700, 2000, 2000, 2000, 3000 + 2 * 650, 3020, 3020}));
}

TEST_F(QikCalDataTest, AReadErrorIsRecordedBeforeItIsReportedAndEndsTheRun)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQorChannel* orp = channels_.Add(8, 11);
    CQikCalData engine({ph, orp}, channels_.Device(), {}, &reader_);
    reader_.PlaySeries(ph, {7.0});
    reader_.Play(orp, [](int read, double& value) {
        value = 1.0;
        return read == 2 ? 6044 : 0;
    });
    struct Seen {
        int code, tracker, state, errorIndex, status, deviceError;
    };
    std::vector<Seen> seen;
    engine.SetErrorReporter([&](int code, int tracker) {
        seen.push_back({code, tracker, engine.GetState(), engine.GetErrorCode(), engine.GetChannelStatus(tracker),
                        engine.GetChannelError(tracker)});
    });
    for (int n : {1, 2}) {
        engine.EnableChannel(n, true);
        engine.SetCalPointKind(n, 0);
    }
    ASSERT_TRUE(engine.Start());
    engine.Join();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, 6044);
    EXPECT_EQ(seen[0].tracker, 2);
    EXPECT_EQ(seen[0].state, kQikCalError);
    EXPECT_EQ(seen[0].errorIndex, kQikCalErrRead);
    EXPECT_EQ(seen[0].status, kQikCalFailed);
    EXPECT_EQ(seen[0].deviceError, 6044);

    // The closing step: statuses mapped back as by a stop, then the error state.
    EXPECT_EQ(engine.GetState(), kQikCalError);
    EXPECT_EQ(engine.GetErrorCode(), kQikCalErrNoStability);
    EXPECT_EQ(engine.GetChannelStatus(2), kQikCalNotTested);
    EXPECT_EQ(engine.GetChannelError(2), 6044);
    EXPECT_EQ(engine.GetCommand(), kQikCalCmdStop);
    std::string text;
    engine.GetStatusText(text);
    EXPECT_EQ(text, "Failed to determine deviation or stabilization.");
    EXPECT_EQ(engine.GetTracker(2)->m_history.size(), 2u);
    EXPECT_FALSE(engine.IsRunning());
}

TEST_F(QikCalDataTest, AReadingThatIsNotFiniteEndsTheRunWithoutAReport)
{
    for (const double bad : {kNaN, kInf, -kInf}) {
        SCOPED_TRACE(bad);
        ScriptReader reader;
        CQorChannel* ph = channels_.Add(4, 10);
        CQikCalData engine({ph}, channels_.Device(), {}, &reader);
        reader.Play(ph, [bad](int read, double& value) {
            value = read == 3 ? bad : 5.0;
            return 0;
        });
        int reports = 0;
        engine.SetErrorReporter([&](int, int) { ++reports; });
        engine.EnableChannel(1, true);
        engine.SetCalPointKind(1, 0);
        ASSERT_TRUE(engine.Start());
        engine.Join();
        EXPECT_EQ(reports, 0);
        EXPECT_EQ(engine.GetState(), kQikCalError);
        EXPECT_EQ(engine.GetErrorCode(), kQikCalErrNoStability);
        EXPECT_EQ(reader.Reads(ph), 4);
        EXPECT_EQ(engine.GetChannelStatus(1), kQikCalNotTested);
    }
}

TEST_F(QikCalDataTest, StopDuringASlowReadTakesNoSampleFromIt)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQikCalData engine({ph}, channels_.Device(), {}, &reader_);
    FilterOff(engine);
    std::promise<void> inRead;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    reader_.Play(ph, [&](int read, double& value) {
        value = 5.0 + read;
        if (read == 2) {
            inRead.set_value();
            released.wait();
        }
        return 0;
    });
    engine.EnableChannel(1, true);
    engine.SetCalPointKind(1, 0);
    ASSERT_TRUE(engine.Start());
    inRead.get_future().wait();
    engine.Stop(10);
    EXPECT_TRUE(engine.IsRunning());  // the read is still under way
    EXPECT_EQ(engine.GetStopWaits(), 1);
    engine.Stop(10);
    EXPECT_EQ(engine.GetStopWaits(), 2);
    release.set_value();
    engine.Join();
    EXPECT_FALSE(engine.IsRunning());
    engine.Stop(10);
    EXPECT_EQ(engine.GetStopWaits(), 0);
    EXPECT_EQ(engine.GetState(), kQikCalIdle);
    EXPECT_EQ(engine.GetTracker(1)->m_history, (std::vector<double>{5.0, 6.0}));
    EXPECT_EQ(engine.GetChannelStatus(1), kQikCalNotTested);
}

TEST_F(QikCalDataTest, PastItsTriesAWorkerIsWaitedForNotKilled)
{
    CQorChannel* ph = channels_.Add(4, 10);
    CQikCalData engine({ph}, channels_.Device(), {}, &reader_);
    std::promise<void> inRead;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    reader_.Play(ph, [&](int read, double& value) {
        value = 1.0;
        if (read == 0) {
            inRead.set_value();
            released.wait();
        }
        return 0;
    });
    engine.EnableChannel(1, true);
    engine.SetCalPointKind(1, 0);
    ASSERT_TRUE(engine.Start());
    inRead.get_future().wait();
    for (int i = 0; i < 15; ++i) {
        engine.Accept(10);
    }
    EXPECT_TRUE(engine.IsRunning());
    EXPECT_FALSE(engine.Start());  // no second worker beside a running one
    release.set_value();
    engine.Join();
    EXPECT_EQ(engine.GetState(), kQikCalAccepted);
    EXPECT_EQ(engine.GetChannelStatus(1), kQikCalUserUnstable);  // accepted while unstable
}

TEST_F(QikCalDataTest, DestroyingARunningEngineStopsAndJoinsItsWorker)
{
    // On the real clock: the worker is asleep between cycles when the engine goes.
    wv::SetClock(nullptr);
    CQorChannel* ph = channels_.Add(4, 10);
    std::promise<void> twoReads;
    reader_.Play(ph, [&](int read, double& value) {
        value = 1.0;
        if (read == 1) {
            twoReads.set_value();
        }
        return 0;
    });
    auto engine = std::make_unique<CQikCalData>(std::vector<CQorChannel*>{ph}, channels_.Device(),
                                                std::vector<uint16_t>{}, &reader_);
    engine->EnableChannel(1, true);
    engine->SetCalPointKind(1, 0);
    // One-second cycles: two reads take about two seconds.
    engine->GetTracker(1)->m_sampleInterval[0] = 1;
    ASSERT_TRUE(engine->Start());
    twoReads.get_future().wait();
    engine.reset();
    const int reads = reader_.Reads(ph);
    EXPECT_GE(reads, 2);
    EXPECT_LE(reads, 3);
}

} // namespace
