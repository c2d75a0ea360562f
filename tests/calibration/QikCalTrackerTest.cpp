// The stability tracker: its defaults by sensor, the judging windows, kind names and
// settings keys, the last-samples average, and reading alone, for others and linked.

#include "calibration/QikCalTracker.h"

#include "foundation/DataMap.h"
#include "tests/calibration/CalEngineSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using caltest::Channels;
using caltest::ScriptReader;

struct DefaultCase {
    uint8_t kind;
    int code;
    const char* key;
    int hasTemperature;
    int hasBarometer;
    int kinds;
    int kindAtStart;
    int sample, stable, epsn;  // of kind 0
    int fullTest;
    double fullK;
    double nominalK;
    int reportAlg;
};

const DefaultCase kDefaults[] = {
    {2, kQikCalNoCode, "TEMP", 0, 0, 1, 0, 2, 60, 30, kStabilityPeakDev, 0.2, 0.2, kStabilityNoReport},
    {4, kQikCalNoCode, "PH", 1, 0, 1, kQikCalKindNotSet, 2, 60, 30, kStabilityPeakDev, 1.0, 5.0, kStabilityNoReport},
    {5, kQikCalNoCode, "COND", 1, 0, 1, kQikCalKindNotSet, 2, 60, 30, kStabilityPeakDev, 20.0, 50.0,
     kStabilityNoReport},
    {6, kQikCalNoCode, "BARO", 0, 0, 1, 0, 2, 10, 5, kStabilityPeakDev, 3.0, 3.0, kStabilityNoReport},
    {7, kQikCalNoCode, "DO", 1, 1, 5, kQikCalKindNotSet, 2, 30, 15, kStabilityMeanStability, 5.0, 5.0,
     kStabilityNoReport},
    {8, kQikCalNoCode, "ORP", 1, 0, 1, kQikCalKindNotSet, 2, 60, 30, kStabilityPeakDev, 1.0, 5.0, kStabilityNoReport},
    {13, kQikCalNoCode, "NH4", 1, 0, 1, kQikCalKindNotSet, 2, 120, 60, kStabilityAccumDrift, 0.1, 0.15,
     kStabilityAccumDrift},
    {16, kQikCalNoCode, "CL", 1, 0, 1, kQikCalKindNotSet, 2, 120, 60, kStabilityAccumDrift, 0.1, 0.15,
     kStabilityAccumDrift},
    {17, kQikCalNoCode, "NO3", 1, 0, 1, kQikCalKindNotSet, 2, 120, 60, kStabilityAccumDrift, 0.1, 0.15,
     kStabilityAccumDrift},
    {22, kQikCalNoCode, "TURB", 1, 0, 1, kQikCalKindNotSet, 2, 60, 30, kStabilityAccumDrift, 0.1, 0.075,
     kStabilityNoReport},
    {28, 162, "ODO_BPHASE", 0, 1, 5, kQikCalKindNotSet, 5, 60, 30, kStabilityPeakDev, 0.5, 1.0, kStabilityNoReport},
    {28, 170, "HDO_CONC", 0, 1, 5, kQikCalKindNotSet, 5, 60, 30, kStabilityPeakDev, 0.1, 0.2, kStabilityNoReport},
    {28, 161, "ODO_TEMP", 0, 0, 1, kQikCalKindNotSet, 5, 60, 30, kStabilityPeakDev, 0.25, 0.5, kStabilityNoReport},
    {28, 171, "HDO_TEMP", 0, 0, 1, kQikCalKindNotSet, 5, 60, 30, kStabilityPeakDev, 0.25, 0.5, kStabilityNoReport},
    {28, 99, "", 0, 0, 0, kQikCalKindNotSet, 0, 0, 0, 0, 0.0, 0.0, 0},
    {3, kQikCalNoCode, "", 0, 0, 0, kQikCalKindNotSet, 0, 0, 0, 0, 0.0, 0.0, 0},
};

TEST(QikCalTrackerTest, DefaultsBySensor)
{
    Channels channels;
    for (const DefaultCase& c : kDefaults) {
        SCOPED_TRACE(std::string("kind ") + std::to_string(c.kind) + " code " + std::to_string(c.code));
        CQikCalTracker t(channels.Add(c.kind, 10), c.code);
        EXPECT_EQ(t.GetKey(), c.key);
        EXPECT_EQ(t.m_hasTemperature, c.hasTemperature);
        EXPECT_EQ(t.m_hasBarometer, c.hasBarometer);
        EXPECT_EQ(t.m_stabilizeOnTemp, 0);
        EXPECT_EQ(t.GetKindCount(), c.kinds);
        EXPECT_EQ(t.GetCalPointKind(), c.kindAtStart);
        EXPECT_EQ(t.m_enabled, 0);
        EXPECT_EQ(t.m_status, 0);
        EXPECT_EQ(t.m_filter.GetFilterData(), 1);
        if (c.kinds == 0) {
            continue;
        }
        EXPECT_EQ(t.m_sampleInterval[0], c.sample);
        EXPECT_EQ(t.m_stableInterval[0], c.stable);
        EXPECT_EQ(t.m_epsnInterval[0], c.epsn);
        const auto test = static_cast<size_t>(c.fullTest);
        EXPECT_EQ(t.m_fullCriteria[0].K[test], c.fullK);
        EXPECT_EQ(t.m_nominalCriteria[0].K[test], c.nominalK);
        EXPECT_EQ(t.m_fullCriteria[0].reportAlg, c.reportAlg);
        EXPECT_EQ(t.m_fullCriteria[0].confidence[test], kConfidence90);
    }
}

TEST(QikCalTrackerTest, SecondaryCriteriaOfTheSensorsThatHaveThem)
{
    Channels channels;
    CQikCalTracker ion(channels.Add(13, 10), kQikCalNoCode);
    EXPECT_EQ(ion.m_fullCriteria[0].threshold[kStabilityAccumDrift], 0.15);
    EXPECT_EQ(ion.m_nominalCriteria[0].threshold[kStabilityAccumDrift], 0.3);
    EXPECT_EQ(ion.m_nominalCriteria[0].reportAlg, kStabilityAccumDrift);

    CQikCalTracker turbidity(channels.Add(22, 11), kQikCalNoCode);
    EXPECT_EQ(turbidity.m_fullCriteria[0].K[kStabilityStdDevNoise], 0.1);
    EXPECT_EQ(turbidity.m_fullCriteria[0].threshold[kStabilityStdDevNoise], 10.0);
    EXPECT_EQ(turbidity.m_nominalCriteria[0].K[kStabilityStdDevNoise], 0.15);

    // The dissolved-oxygen kinds: intervals and mean-stability criteria per kind.
    CQikCalTracker oxygen(channels.Add(7, 12), kQikCalNoCode);
    const int stable[] = {30, 30, 240, 120, 120};
    const int epsn[] = {15, 15, 120, 60, 60};
    const double fullThreshold[] = {0.015, 0.02, 1.75, 0.35, 0.2};
    const double nominalThreshold2[] = {0.15, 0.2, 17.5, 3.5, 0.5};
    const double k[] = {5, 5, 11, 11, 11};
    for (size_t kind = 0; kind < 5; ++kind) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(oxygen.m_sampleInterval[kind], 2);
        EXPECT_EQ(oxygen.m_stableInterval[kind], stable[kind]);
        EXPECT_EQ(oxygen.m_epsnInterval[kind], epsn[kind]);
        EXPECT_EQ(oxygen.m_fullCriteria[kind].K[kStabilityMeanStability], k[kind]);
        EXPECT_EQ(oxygen.m_fullCriteria[kind].threshold[kStabilityMeanStability], fullThreshold[kind]);
        EXPECT_EQ(oxygen.m_nominalCriteria[kind].threshold2[kStabilityMeanStability], nominalThreshold2[kind]);
    }
    // The optical sensor's zero point (kind 4) and the empty kinds between.
    CQikCalTracker concentration(channels.Add(28, 13), 170);
    EXPECT_EQ(concentration.m_fullCriteria[4].K[kStabilityPeakDev], 0.02);
    EXPECT_EQ(concentration.m_nominalCriteria[4].K[kStabilityPeakDev], 0.04);
    EXPECT_EQ(concentration.m_sampleInterval[2], 0);
    EXPECT_EQ(concentration.m_fullCriteria[2].K[kStabilityPeakDev], 0.0);
}

TEST(QikCalTrackerTest, KindNamesAndTheKindsATrackerTakes)
{
    Channels channels;
    CQikCalTracker oxygen(channels.Add(7, 10), kQikCalNoCode);
    CQikCalTracker optical(channels.Add(28, 11), 162);
    CQikCalTracker ph(channels.Add(4, 12), kQikCalNoCode);
    EXPECT_EQ(oxygen.GetKindName(0), "DOCal-100Pct-Air-1mil");
    EXPECT_EQ(oxygen.GetKindName(4), "DOCal-ZeroPct");
    EXPECT_EQ(oxygen.GetKindName(5), "UNKNOWN");
    EXPECT_EQ(optical.GetKindName(0), "ODO-Cal-Sat");
    EXPECT_EQ(optical.GetKindName(4), "ODO-Cal-Zero");
    EXPECT_EQ(optical.GetKindName(2), "UNKNOWN");
    EXPECT_EQ(ph.GetKindName(0), "");
    EXPECT_EQ(ph.GetKindName(1), "UNKNOWN");

    EXPECT_TRUE(oxygen.SetCalPointKind(4));
    EXPECT_FALSE(oxygen.SetCalPointKind(5));
    EXPECT_FALSE(ph.SetCalPointKind(1));
    EXPECT_FALSE(ph.SetCalPointKind(-1));
    EXPECT_EQ(oxygen.GetCalPointKind(), 4);
    EXPECT_EQ(ph.GetCalPointKind(), kQikCalKindNotSet);
}

TEST(QikCalTrackerTest, WindowsFollowTheSampleInterval)
{
    Channels channels;
    CQikCalTracker ph(channels.Add(4, 10), kQikCalNoCode);
    ASSERT_TRUE(ph.SetCalPointKind(0));
    struct {
        int seconds, full, nominal;
    } const cases[] = {{2, 31, 16}, {5, 13, 7}, {7, 10, 6}, {1, 61, 31}, {0, 61, 31}, {3600, 2, 2}};
    for (const auto& c : cases) {
        ph.ComputeWindows(c.seconds);
        EXPECT_EQ(ph.m_fullWindow, c.full) << c.seconds;
        EXPECT_EQ(ph.m_nominalWindow, c.nominal) << c.seconds;
    }
    // Zero intervals still judge over one sample; huge ones stay within bounds.
    ph.m_stableInterval[0] = 0;
    ph.m_epsnInterval[0] = 2000000000;
    ph.ComputeWindows(1);
    EXPECT_EQ(ph.m_fullWindow, 1);
    EXPECT_GT(ph.m_nominalWindow, 1);
    EXPECT_LE(ph.m_nominalWindow, 1000000);
}

TEST(QikCalTrackerTest, ChangeAndAverageOfTheLastSamples)
{
    Channels channels;
    CQikCalTracker t(channels.Add(4, 10), kQikCalNoCode);
    t.m_reading = 7.0;
    EXPECT_EQ(t.GetSpread(0), 7.0);  // no history: the reading itself
    t.m_history = {1.0};
    EXPECT_EQ(t.GetSpread(0), 7.0);
    t.m_history = {1.0, 2.0, 4.0, 8.0, 16.0, 32.0, 64.0};
    t.m_reading = 64.0;
    EXPECT_EQ(t.GetSpread(0), 32.0);  // against the second-newest entry
    EXPECT_EQ(t.AverageLastSamples(1), 64.0);
    EXPECT_EQ(t.AverageLastSamples(2), 48.0);
    EXPECT_EQ(t.AverageLastSamples(31), (4.0 + 8 + 16 + 32 + 64) / 5);  // at most five
    EXPECT_EQ(t.AverageLastSamples(0), 0.0);
    t.m_history = {3.0, 5.0};
    EXPECT_EQ(t.AverageLastSamples(5), 4.0);  // at most the history
}

TEST(QikCalTrackerTest, SettingsKeysWrittenAndReadBack)
{
    Channels channels;
    CQikCalTracker oxygen(channels.Add(7, 10), kQikCalNoCode);
    CDataMap map;
    oxygen.SerializeSettings(map, true, false);
    for (const char* key :
         {"Read-DO-StabilizeOnTemp", "Read-DO-HasTemperature", "Read-DO-HasBarometer",
          "Read-DO-SampleInterval_DOCal-100Pct-Air-1mil", "Read-DO-StableInterval_DOCal-ZeroPct",
          "Read-DO-EPSNInterval_DOCal-100Pct-Water-2mil", "STABILITY-Full_DO_DOCal-ZeroPct_ReportAlg",
          "STABILITY-Nominal_DO_DOCal-ZeroPct_MeanStability_Threshold2"}) {
        EXPECT_NE(map.HasKey(key), 0) << key;
    }
    int32_t interval = 0;
    ASSERT_NE(map.GetInt("Read-DO-StableInterval_DOCal-ZeroPct", interval), 0);
    EXPECT_EQ(interval, 120);

    // Quick calibration writes the flags only.
    CDataMap quick;
    oxygen.SerializeSettings(quick, true, true);
    EXPECT_NE(quick.HasKey("Read-DO-HasBarometer"), 0);
    EXPECT_EQ(quick.HasKey("Read-DO-SampleInterval_DOCal-100Pct-Air-1mil"), 0);
    EXPECT_EQ(quick.HasKey("STABILITY-Full_DO_DOCal-100Pct-Air-1mil_ReportAlg"), 0);

    // pH keys carry no suffix.
    CQikCalTracker ph(channels.Add(4, 11), kQikCalNoCode);
    CDataMap phMap;
    ph.SerializeSettings(phMap, true, true);
    EXPECT_NE(phMap.HasKey("Read-PH-SampleInterval"), 0);
    EXPECT_NE(phMap.HasKey("STABILITY-Full_PH_PeakDev_K"), 0);

    // Reading: changed values come back; kinds after the first missing sample interval,
    // and absent records, keep their defaults.
    map.SetInt("Read-DO-StableInterval_DOCal-100Pct-Air-1mil", 44);
    map.SetBool("Read-DO-StabilizeOnTemp", 1);
    map.SetDouble("STABILITY-Full_DO_DOCal-100Pct-Air-1mil_MeanStability_K", 7.0);
    map.SetInt("Read-DO-StableInterval_DOCal-ZeroPct", 99);
    CDataMap partial;
    std::vector<std::string> keys;
    map.GetKeys(keys);
    for (const std::string& key : keys) {
        if (key != "Read-DO-SampleInterval_DOCal-100Pct-Water-1mil") {
            std::string text;
            map.GetText(key, text);
            partial.SetText(key, text);
            partial.SetType(key, map.GetType(key));
        }
    }
    CQikCalTracker read(channels.Add(7, 12), kQikCalNoCode);
    read.SerializeSettings(partial, false, false);
    EXPECT_EQ(read.m_stabilizeOnTemp, 1);
    EXPECT_EQ(read.m_stableInterval[0], 44);
    EXPECT_EQ(read.m_fullCriteria[0].K[kStabilityMeanStability], 7.0);
    EXPECT_EQ(read.m_stableInterval[4], 120);  // not reached: kind 2's key is missing

    CDataMap onlyIntervals;
    onlyIntervals.SetInt("Read-PH-SampleInterval", 4);
    CQikCalTracker ph2(channels.Add(4, 13), kQikCalNoCode);
    ph2.SerializeSettings(onlyIntervals, false, false);
    EXPECT_EQ(ph2.m_sampleInterval[0], 4);
    EXPECT_EQ(ph2.m_stableInterval[0], 60);
    EXPECT_EQ(ph2.m_fullCriteria[0].K[kStabilityPeakDev], 1.0);
}

TEST(QikCalTrackerTest, ReadsAloneForOthersAndLinked)
{
    Channels channels;
    CQorChannel* phChannel = channels.Add(4, 10);
    CQorChannel* optical = channels.Add(28, 11);
    ScriptReader reader;
    reader.PlaySeries(phChannel, {412.5});
    reader.PlayLive(optical, [](int, std::span<const uint8_t> codes, std::span<double> values) {
        for (size_t i = 0; i < codes.size(); ++i) {
            values[i] = codes[i] + 0.5;
        }
        return 0;
    });

    CQikCalTracker ph(phChannel, kQikCalNoCode);
    double value = 0.0;
    EXPECT_EQ(ph.Read(reader, value), 0);
    EXPECT_EQ(value, 412.5);
    EXPECT_FALSE(ph.ReadsForOthers());
    EXPECT_FALSE(ph.IsLinked());

    CQikCalTracker phase(optical, 162);
    CQikCalTracker temperature(optical, 161);
    CQikCalTracker barometer(optical, kQikCalNoCode);
    phase.SetParameterCode(162);
    temperature.SetSourceTracker(&phase, 161);
    barometer.SetSourceTracker(&phase, 3);
    EXPECT_TRUE(phase.ReadsForOthers());
    EXPECT_TRUE(temperature.IsLinked());

    EXPECT_EQ(phase.Read(reader, value), 0);
    EXPECT_EQ(reader.LastLiveCodes(), (std::vector<uint8_t>{100, 162, 161, 3}));
    EXPECT_EQ(value, 162.5);
    EXPECT_EQ(phase.GetValueByCode(161), 161.5);
    EXPECT_EQ(phase.GetValueByCode(42), 0.0);
    EXPECT_EQ(temperature.Read(reader, value), 0);
    EXPECT_EQ(value, 161.5);
    EXPECT_EQ(barometer.Read(reader, value), 0);
    EXPECT_EQ(value, 3.5);
    EXPECT_EQ(reader.Reads(optical), 1);  // linked trackers do not read the device

    // Failures pass through; a code no request can carry is refused before sending.
    reader.PlayLive(optical, [](int, std::span<const uint8_t>, std::span<double>) { return 5075; });
    EXPECT_EQ(phase.Read(reader, value), 5075);
    phase.SetParameterCode(300);
    EXPECT_EQ(phase.Read(reader, value), 5022);
    EXPECT_EQ(reader.Reads(optical), 2);
}

} // namespace
