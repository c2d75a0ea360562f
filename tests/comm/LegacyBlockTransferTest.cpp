// The older generation's block transfer and test download end to end against the
// simulator's older device (its faults on demand included), the end-pointer repair on files
// made here, and the block reader's failed sends.

#include "comm/LegacyBlockReaders.h"
#include "comm/LegacyInstrument.h"

#include "comm/TkLink.h"
#include "comm/protocol/LegacyRecords.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkResultCodes.h"
#include "datafiles/LegacyDataFile.h"
#include "foundation/AppUtils.h"
#include "platform/Clock.h"
#include "platform/Pump.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/LegacySimFixture.h"
#include "tests/support/Files.h"
#include "tools/instrument-sim/LegacyCommands.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using namespace commtest;
using Bytes = std::vector<uint8_t>;
using wv::sim::SimLegacyDevice;
using wv::sim::SimLegacyTest;

// Sample bytes without erased words: 0 to 249 over and over, from seed.
Bytes Samples(size_t count, unsigned seed = 0)
{
    Bytes out(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = static_cast<uint8_t>((i + seed) % 250);
    }
    return out;
}

Bytes Padded(Bytes image)
{
    image.resize((image.size() + 127) / 128 * 128, 0xFF);
    return image;
}

// Copies every progress record the transfer reports (the record lives in the reader).
class TransferCallback : public CCallback {
public:
    void Begin(int steps) override { begins.push_back(steps); }
    int Progress(intptr_t value) override
    {
        records.push_back(*reinterpret_cast<const BlockTransferProgress*>(value));
        return cancelAt != 0 && static_cast<int>(records.size()) >= cancelAt ? 1 : 0;
    }
    void End() override { ++ends; }

    std::vector<int> begins;
    std::vector<BlockTransferProgress> records;
    int ends = 0;
    int cancelAt = 0;
};

class LegacyTransferTest : public LegacySimTest {
protected:
    LegacyTransferTest() : LegacySimTest(3) {}

    std::string Path(const std::string& name = "test.bin") const { return (home_.Path() / name).string(); }

    // A stopped test with the start block and samples bytes of samples.
    void AddCompleteTest(uint8_t number, size_t samples, unsigned seed = 0)
    {
        SimLegacyTest t;
        t.name = "Complete";
        t.inputs = {4, 5};
        t.started = {2012, 1, 2, 3, 4, 5, 0};
        t.stopped = {2012, 1, 3, 3, 4, 5, 0};
        t.data = StartBlock();
        const Bytes s = Samples(samples, seed);
        t.data.insert(t.data.end(), s.begin(), s.end());
        wv::sim::AddLegacyTest(*device_, number, t);
    }
    // A running test, its image carrying erasedTail bytes of erased memory after the data.
    void AddRunningTest(uint8_t number, size_t samples, uint32_t erasedTail)
    {
        SimLegacyTest t;
        t.name = "Running";
        t.inputs = {4, 5};
        t.started = {2012, 1, 2, 3, 4, 5, 0};
        t.running = true;
        t.data = StartBlock();
        const Bytes s = Samples(samples);
        t.data.insert(t.data.end(), s.begin(), s.end());
        t.erasedTail = erasedTail;
        wv::sim::AddLegacyTest(*device_, number, t);
    }
    static Bytes StartBlock() { return {0, 1, 0, 2, 0, 12, 0, 3, 0, 4, 0, 5}; }

    Bytes Image(uint8_t number) { return wv::sim::LegacyTestImage(*device_, number); }
    static Bytes Read(const std::string& path) { return wvtest::ReadBytes(path).value_or(Bytes{}); }
    static Bytes At(const Bytes& bytes, size_t from, size_t count)
    {
        return from + count <= bytes.size() ? Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                                     bytes.begin() + static_cast<std::ptrdiff_t>(from + count))
                                            : Bytes{};
    }
    size_t Count(uint16_t command) { return FramesOf(command).size(); }
};

// ---- The whole image --------------------------------------------------------------------

TEST_F(LegacyTransferTest, ACompleteTestComesOverWholeAndReadsBack)
{
    AddCompleteTest(2, 2000);  // 12 + 2000 bytes after a 1280-byte header: 26 blocks
    TransferCallback callback;
    ASSERT_EQ(instrument_.DownloadTestData(2, Path(), &callback), 0);

    EXPECT_EQ(Read(Path()), Padded(Image(2)));
    EXPECT_FALSE(fs::exists(Path() + ".part"));
    EXPECT_EQ(callback.begins, std::vector<int>{2012 / 128 + 1});
    EXPECT_EQ(callback.ends, 1);
    ASSERT_EQ(callback.records.size(), 26u);
    for (size_t i = 0; i < callback.records.size(); ++i) {
        EXPECT_EQ(callback.records[i].block, i + 1);
        EXPECT_EQ(callback.records[i].blocksTaken, i);
    }
    EXPECT_EQ(LastBodyOf(kLegacyOpReadBlocks), (Bytes{0, 1, 0, 1, 0, 1, 0, 0}));
    EXPECT_EQ(Count(kLegacyBlockStart), 1u);
    EXPECT_EQ(Count(kLegacyBlockNext), 26u);  // 25 acknowledgements and the one answered 203

    CLegacyDataFile file;
    ASSERT_EQ(file.Open(Path()), 0);
    EXPECT_EQ(file.SampleCount(), 500u);
    ASSERT_EQ(file.ChannelCount(), 2u);
    EXPECT_EQ(file.ChannelKind(0), 2);  // input 4, code 0: temperature
    EXPECT_EQ(file.ChannelKind(1), 3);  // input 5, code 1: pressure and level
    double value = 0;
    ASSERT_EQ(file.ReadValue({499, 1}, value), 0);
    // Sample 499's second word: bytes 1998, 1999 of the samples: 248, 249; a pressure sensor
    // of 65 psi (the simulator's input 5) reads in 1/500.
    EXPECT_DOUBLE_EQ(value, (248 * 256 + 249) / 500.0);
    ASSERT_EQ(file.ReadValue({0, 0}, value), 0);
    EXPECT_DOUBLE_EQ(value, (0 * 256 + 1) / 1000.0);
}

TEST_F(LegacyTransferTest, BlockNumbersWrapAfter255)
{
    AddCompleteTest(2, 32000);  // 1280 + 12 + 32000 bytes: 261 blocks
    TransferCallback callback;
    ASSERT_EQ(instrument_.DownloadTestData(2, Path(), &callback), 0);
    ASSERT_EQ(callback.records.size(), 261u);
    EXPECT_EQ(callback.records[255].block, 256u);  // sent with number 0
    EXPECT_EQ(callback.records[256].block, 257u);
    EXPECT_EQ(Read(Path()), Padded(Image(2)));
}

TEST_F(LegacyTransferTest, ARunningTestComesOverThenOnlyItsNewDataAreAppended)
{
    AddRunningTest(1, 400, 300);  // 100 samples, then erased memory
    ASSERT_EQ(instrument_.DownloadTestData(1, Path(), nullptr), kTkErrLegacyTruncated);
    Bytes file = Read(Path());
    ASSERT_FALSE(file.empty());
    // The end pointer repaired: the test's data start at linear 32768 + 6 = (3, 16390), and
    // 412 bytes arrived: (3, 16802) = 00 03 41 A2.
    EXPECT_EQ(At(file, 836, 4), (Bytes{0x00, 0x03, 0x41, 0xA2}));
    {
        CLegacyDataFile data;
        ASSERT_EQ(data.Open(Path()), 0);
        EXPECT_EQ(data.SampleCount(), 100u);
    }

    // 60 more samples are logged; the next download reads only them (by 113), a block and a
    // part of one, and stops at the erased memory.
    wv::sim::AppendLegacySamples(*device_, 1, Samples(240, 7));
    sim_.ClearFrames();
    ASSERT_EQ(instrument_.DownloadTestData(1, Path(), nullptr), 0);
    EXPECT_EQ(Count(kLegacyOpReadBlocks), 0u);
    EXPECT_EQ(Count(kLegacyOpReadMemory), 3u);  // the directory entry and two blocks
    file = Read(Path());
    Bytes expected = StartBlock();
    const Bytes first = Samples(400);
    const Bytes more = Samples(240, 7);
    expected.insert(expected.end(), first.begin(), first.end());
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(At(file, 1280, expected.size()), expected);
    // 412 + 240 = 652 bytes: (3, 17042) = 00 03 42 92.
    EXPECT_EQ(At(file, 836, 4), (Bytes{0x00, 0x03, 0x42, 0x92}));
    {
        CLegacyDataFile data;
        ASSERT_EQ(data.Open(Path()), 0);
        EXPECT_EQ(data.SampleCount(), 160u);
    }

    // Nothing new: one block read, erased; nothing appended.
    sim_.ClearFrames();
    ASSERT_EQ(instrument_.DownloadTestData(1, Path(), nullptr), 0);
    EXPECT_EQ(Count(kLegacyOpReadMemory), 2u);
    EXPECT_EQ(At(Read(Path()), 836, 4), (Bytes{0x00, 0x03, 0x42, 0x92}));
}

TEST_F(LegacyTransferTest, AFileThatReachesTheDirectorysEndReadsNothing)
{
    AddCompleteTest(3, 1000);
    ASSERT_EQ(instrument_.DownloadTestData(3, Path(), nullptr), 0);
    sim_.ClearFrames();
    TransferCallback callback;
    ASSERT_EQ(instrument_.DownloadTestData(3, Path(), &callback), 0);
    EXPECT_EQ(Count(kLegacyOpReadMemory), 1u);  // the directory entry only
    EXPECT_EQ(LastBodyOf(kLegacyOpReadMemory), (Bytes{0, 2, 0x4E, 0xFC, 0, 8}));  // 18546 + 2 x 837 = 20220
    EXPECT_TRUE(callback.records.empty());

    // The device logged on (a stopped test gets no more in real life; here it shows what is
    // read): 300 bytes, three blocks of which the last holds 44.
    wv::sim::AppendLegacySamples(*device_, 3, Samples(300, 3));
    sim_.ClearFrames();
    ASSERT_EQ(instrument_.DownloadTestData(3, Path(), &callback), 0);
    EXPECT_EQ(Count(kLegacyOpReadMemory), 4u);
    ASSERT_EQ(callback.records.size(), 3u);
    // Block numbers of the data image: (1280 + 1012) / 128 + 1 = 18, then 19 and 20.
    EXPECT_EQ(callback.records[0].block, 18u);
    EXPECT_EQ(callback.records[2].block, 20u);
    EXPECT_EQ(Read(Path()), Image(3));
}

TEST_F(LegacyTransferTest, AFileOfAnotherTestGetsTheWholeImage)
{
    AddCompleteTest(1, 500, 1);
    AddCompleteTest(2, 700, 2);
    ASSERT_EQ(instrument_.DownloadTestData(1, Path(), nullptr), 0);
    sim_.ClearFrames();
    ASSERT_EQ(instrument_.DownloadTestData(2, Path(), nullptr), 0);
    EXPECT_EQ(Count(kLegacyOpReadBlocks), 1u);
    EXPECT_EQ(Read(Path()), Padded(Image(2)));
}

TEST_F(LegacyTransferTest, AFileReachingPastTheTestsDataGetsTheWholeImage)
{
    // The same slot and start, but the device now holds less than the file: not this data.
    AddCompleteTest(2, 2000, 1);
    ASSERT_EQ(instrument_.DownloadTestData(2, Path(), nullptr), 0);
    AddCompleteTest(2, 500, 2);
    sim_.ClearFrames();
    ASSERT_EQ(instrument_.DownloadTestData(2, Path(), nullptr), 0);
    EXPECT_EQ(Count(kLegacyOpReadBlocks), 1u);
    EXPECT_EQ(Read(Path()), Padded(Image(2)));
}

TEST_F(LegacyTransferTest, AGarbledFileAtThePathIsReplacedByTheWholeImage)
{
    wvtest::WriteBytes(Path(), Bytes(100, 0x55));
    AddCompleteTest(4, 300);
    ASSERT_EQ(instrument_.DownloadTestData(4, Path(), nullptr), 0);
    EXPECT_EQ(Read(Path()), Padded(Image(4)));
}

// ---- Faults of the block stream ---------------------------------------------------------

TEST_F(LegacyTransferTest, TheStreamRecoversFromGapsRepeatsAndSilence)
{
    struct Case {
        const char* name;
        std::function<void(wv::sim::SimLegacyBlockFaults&)> fault;
        std::function<void(const BlockTransferProgress&, const SimLegacyDevice&)> check;
    };
    const Case cases[] = {
        {"block 5 skipped: asked again after the gap",
         [](auto& f) { f.skip.insert(5); },
         [](const BlockTransferProgress& p, const SimLegacyDevice& d) {
             EXPECT_EQ(p.blocksAskedAgain, 1u);
             EXPECT_EQ(d.againRequests, 1u);
         }},
        {"block 5 numbered 6: the same",
         [](auto& f) { f.wrongNumber[5] = 6; },
         [](const BlockTransferProgress& p, const SimLegacyDevice&) { EXPECT_EQ(p.blocksAskedAgain, 1u); }},
        {"block 6 repeated in place of 7: told again, not written again",
         [](auto& f) { f.repeatInstead.insert(7); },
         [](const BlockTransferProgress& p, const SimLegacyDevice& d) {
             EXPECT_EQ(p.blocksAskedAgain, 0u);
             EXPECT_EQ(std::count(d.blocksSent.begin(), d.blocksSent.end(), 6u), 2);
         }},
        {"three repeat requests before block 4",
         [](auto& f) { f.repeatRequests[4] = 3; },
         [](const BlockTransferProgress& p, const SimLegacyDevice&) { EXPECT_EQ(p.repeatRequests, 3u); }},
        {"block 3 short: asked again",
         [](auto& f) { f.shortBlock.insert(3); },
         [](const BlockTransferProgress& p, const SimLegacyDevice&) { EXPECT_EQ(p.blocksAskedAgain, 1u); }},
        {"two answers lost from block 6: two restarts",
         [](auto& f) {
             f.silentFrom = 6;
             f.silentCount = 2;
         },
         [](const BlockTransferProgress& p, const SimLegacyDevice& d) {
             EXPECT_EQ(p.restarts, 2u);
             EXPECT_EQ(d.restarts, 2u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Edit([&](SimLegacyDevice& d) {
            d.blockFaults = {};
            d.blocksSent.clear();
            d.againRequests = 0;
            d.restarts = 0;
            c.fault(d.blockFaults);
        });
        AddCompleteTest(2, 2000);
        fs::remove(Path());
        TransferCallback callback;
        ASSERT_EQ(instrument_.DownloadTestData(2, Path(), &callback), 0);
        EXPECT_EQ(Read(Path()), Padded(Image(2)));
        ASSERT_FALSE(callback.records.empty());
        c.check(callback.records.back(), Device());
    }
}

TEST_F(LegacyTransferTest, ABlockOutOfSequenceEndsTheTransferAndLeavesThePathAlone)
{
    AddCompleteTest(2, 2000);
    Edit([](SimLegacyDevice& d) { d.blockFaults.wrongNumber[5] = 0x40; });
    EXPECT_EQ(instrument_.DownloadTestData(2, Path(), nullptr), kTkLegacyNoReply);
    EXPECT_FALSE(fs::exists(Path()));
    EXPECT_EQ(Read(Path() + ".part").size(), 4u * 128u);
}

TEST_F(LegacyTransferTest, SixRestartsWithoutABlockEndTheTransferWithItsEndPointerRepaired)
{
    AddCompleteTest(2, 2000);
    Edit([](SimLegacyDevice& d) {
        d.blockFaults.silentFrom = 13;
        d.blockFaults.silentCount = wv::sim::kForever;
    });
    TransferCallback callback;
    EXPECT_EQ(instrument_.DownloadTestData(2, Path(), &callback), kTkErrLegacyTransferStalled);
    // The first start and six restarts; the seventh time-out is not retried.
    EXPECT_EQ(Count(kLegacyBlockStart), 7u);
    EXPECT_EQ(Device().restarts, 6u);
    EXPECT_FALSE(fs::exists(Path()));
    // Twelve blocks arrived: 1536 - 1280 = 256 data bytes after the start (3, 24582):
    // (3, 24838) = 00 03 61 06, written 4 bytes after the start pointer at 832.
    const Bytes part = Read(Path() + ".part");
    ASSERT_EQ(part.size(), 12u * 128u);
    EXPECT_EQ(At(part, 832, 8), (Bytes{0x00, 0x03, 0x60, 0x06, 0x00, 0x03, 0x61, 0x06}));
}

TEST_F(LegacyTransferTest, AnEarlyEndOfTheObjectKeepsWhatCameWithARepairedEndPointer)
{
    AddCompleteTest(2, 2000);
    Edit([](SimLegacyDevice& d) { d.blockFaults.endAfter = 15; });
    EXPECT_EQ(instrument_.DownloadTestData(2, Path(), nullptr), kTkErrLegacyTruncated);
    const Bytes file = Read(Path());
    ASSERT_EQ(file.size(), 15u * 128u);
    // 1920 - 1280 = 640 bytes: (3, 24582 + 640) = (3, 25222) = 00 03 62 86.
    EXPECT_EQ(At(file, 836, 4), (Bytes{0x00, 0x03, 0x62, 0x86}));
    CLegacyDataFile data;
    ASSERT_EQ(data.Open(Path()), 0);
    EXPECT_EQ(data.SampleCount(), (640u - 12u) / 4u);
}

TEST_F(LegacyTransferTest, TheUserCancelsBetweenBlocks)
{
    wvtest::WriteBytes(Path(), Bytes{1, 2, 3});  // a file the download may not destroy
    AddCompleteTest(2, 2000);
    TransferCallback callback;
    callback.cancelAt = 3;
    EXPECT_EQ(instrument_.DownloadTestData(2, Path(), &callback), kTkErrCancelled);
    EXPECT_EQ(callback.records.size(), 3u);
    EXPECT_EQ(Count(kLegacyBlockAbort), 1u);
    EXPECT_EQ(Device().aborts, 1u);
    EXPECT_EQ(Read(Path()), (Bytes{1, 2, 3}));
    EXPECT_EQ(callback.ends, 1);
}

TEST_F(LegacyTransferTest, DeviceErrorsDuringTheStreamBecomeTheirCodes)
{
    struct Case {
        uint16_t status;
        int result;
    };
    for (const Case& c : {Case{1010, kTkErrLegacyStatus1010}, Case{1062, kTkErrLegacyNoData},
                          Case{1069, kTkErrLegacyTransferStalled}, Case{1090, kTkErrLegacyStatus1090},
                          Case{1234, kTkErrLegacyRefused}}) {
        SCOPED_TRACE(c.status);
        AddCompleteTest(2, 2000);
        Edit([&](SimLegacyDevice& d) { d.blockFaults.statusAt[4] = c.status; });
        EXPECT_EQ(instrument_.DownloadTestData(2, Path(), nullptr), c.result);
        EXPECT_FALSE(fs::exists(Path()));
    }
}

TEST_F(LegacyTransferTest, NothingIsAskedOfADeviceWhoseDataHaveNowhereToGo)
{
    AddCompleteTest(2, 100);
    // A folder at the path: it cannot be opened, and is never replaced.
    fs::create_directory(Path());
    EXPECT_EQ(instrument_.DownloadTestData(2, Path(), nullptr), kTkErrFileOpen);
    EXPECT_TRUE(fs::is_directory(Path()));
    EXPECT_EQ(Count(kLegacyOpReadBlocks), 0u);
    EXPECT_EQ(instrument_.ReadMemoryBlock(2, Path(), 100, nullptr), kTkErrFileOpen);
    // A path in a folder that does not exist.
    EXPECT_EQ(instrument_.ReadMemoryBlock(2, Path("missing/test.bin"), 100, nullptr), kTkErrFileOpen);
    EXPECT_EQ(Count(kLegacyOpReadBlocks), 0u);
    // No test-file service: nothing at all.
    sim_.ClearFrames();
    instrument_.SetTestFiles(nullptr);
    EXPECT_EQ(instrument_.DownloadTestData(2, Path("other.bin"), nullptr), kTkErrLegacyNoTestFiles);
    EXPECT_EQ(instrument_.ReadTestChannelDefs(2, nullptr), kTkErrLegacyNoTestFiles);
    EXPECT_TRUE(sim_.Frames().empty());
}

TEST_F(LegacyTransferTest, ATestWithoutDataHasNothingToExtract)
{
    SimLegacyTest empty;
    empty.name = "Empty";
    empty.inputs = {4};
    wv::sim::AddLegacyTest(*device_, 5, empty);
    EXPECT_EQ(instrument_.DownloadTestData(5, Path(), nullptr), kTkErrLegacyNoData);
    // A scheduled start that passed without the test running, with the device's 294913
    // bytes of nothing.
    SimLegacyTest missed;
    missed.name = "Missed";
    missed.inputs = {4};
    missed.scheduled = {2011, 1, 1, 0, 0, 0, 0};
    missed.data.assign(kLegacyAbendedEmptySize, 0x11);
    wv::sim::AddLegacyTest(*device_, 6, missed);
    LegacyTestRecord t;
    ASSERT_EQ(instrument_.GetTestInfo(6, &t), 0);
    ASSERT_EQ(t.state, kLegacyStateAbended);
    EXPECT_EQ(instrument_.DownloadTestData(6, Path(), nullptr), kTkErrLegacyNoData);
    LegacyTestRecord samples;
    ASSERT_EQ(instrument_.GetTestInfoProgress(6, &samples, nullptr), 0);
    EXPECT_EQ(samples.dataSize, 0u);
    EXPECT_EQ(Count(kLegacyOpReadBlocks), 0u);
    EXPECT_FALSE(fs::exists(Path()));
}

// Writes beyond a file size limit fail (as on a full disk) while the object lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
};

TEST_F(LegacyTransferTest, ABlockThatCannotBeWrittenAbortsTheTransfer)
{
    AddCompleteTest(2, 2000);
    int result = 0;
    {
        FileSizeLimit limit(2000);  // block 16 would end at 2048
        result = instrument_.DownloadTestData(2, Path(), nullptr);
    }
    EXPECT_EQ(result, kTkErrFileWrite);
    EXPECT_EQ(Count(kLegacyBlockAbort), 1u);
    EXPECT_EQ(Device().aborts, 1u);
    EXPECT_FALSE(fs::exists(Path()));
    EXPECT_LE(Read(Path() + ".part").size(), 2000u);
}

TEST_F(LegacyTransferTest, AnAppendThatCannotBeWrittenLeavesTheEndPointer)
{
    AddCompleteTest(2, 400);
    ASSERT_EQ(instrument_.DownloadTestData(2, Path(), nullptr), 0);
    const Bytes before = Read(Path());
    wv::sim::AppendLegacySamples(*device_, 2, Samples(400, 9));
    int result = 0;
    {
        FileSizeLimit limit(before.size() + 100);
        result = instrument_.DownloadTestData(2, Path(), nullptr);
    }
    EXPECT_EQ(result, kLegacyFileShortWrite);
    // The first block went in whole; the second did not, and the pointer stayed behind it.
    // Before: 412 data bytes from (3, 24582): (3, 24994) = 00 03 61 A2; after the first
    // block: 540 bytes, (3, 25122) = 00 03 62 22.
    EXPECT_EQ(At(before, 836, 4), (Bytes{0x00, 0x03, 0x61, 0xA2}));
    EXPECT_EQ(At(Read(Path()), 836, 4), (Bytes{0x00, 0x03, 0x62, 0x22}));
    CLegacyDataFile data;
    ASSERT_EQ(data.Open(Path()), 0);
    EXPECT_EQ(data.SampleCount(), (412u + 128u - 12u) / 4u);
}

// ---- The channel table ------------------------------------------------------------------

class LegacyChannelTableTest : public LegacySimTest {
protected:
    LegacyChannelTableTest() : LegacySimTest(8) {}
    size_t Count(uint16_t command) { return FramesOf(command).size(); }

    void SetUp() override
    {
        LegacySimTest::SetUp();
        SimLegacyTest t;
        t.name = "Table";
        t.inputs = {4, 1};
        wv::sim::AddLegacyTest(*device_, 1, t);
    }
};

// Copies every channel definition the read hands on.
class DefinitionCallback : public CCallback {
public:
    void Begin(int steps) override { begins.push_back(steps); }
    int Progress(intptr_t value) override
    {
        definitions.push_back(*reinterpret_cast<const LegacyChannelDefinition*>(value));
        return cancelAt != 0 && static_cast<int>(definitions.size()) >= cancelAt ? 1 : 0;
    }
    void End() override { ++ends; }

    std::vector<int> begins;
    std::vector<LegacyChannelDefinition> definitions;
    int ends = 0;
    int cancelAt = 0;
};

TEST_F(LegacyChannelTableTest, EveryChannelOfTheModelIsDecodedWhole)
{
    DefinitionCallback callback;
    ASSERT_EQ(instrument_.ReadTestChannelDefsProgress(1, &callback), 0);
    EXPECT_EQ(callback.begins, std::vector<int>{9});
    EXPECT_EQ(LastBodyOf(kLegacyOpReadBlocks), (Bytes{0, 1, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(callback.definitions.size(), 9u);
    // The simulator's table: input i has type code i mod 2 (model 8: 0 temperature, 1 level),
    // serial "SN-<1000 + i>", values A to H of i x 10 + 0.5 to 7.5.
    const uint8_t inputs[] = {1, 4, 5, 6, 7, 8, 9, 10, 11};
    for (size_t n = 0; n < 9; ++n) {
        SCOPED_TRACE(n);
        const LegacyChannelDefinition& d = callback.definitions[n];
        const uint8_t input = inputs[n];
        const double base = input * 10.0;
        EXPECT_EQ(d.channel, n);
        EXPECT_EQ(d.kind, input % 2 == 1 ? 3 : 2);
        EXPECT_EQ(std::string(d.serial), "SN-" + std::to_string(1000 + input));
        EXPECT_DOUBLE_EQ(d.valueA, 0);
        EXPECT_DOUBLE_EQ(d.valueB, base + 1.5);
        EXPECT_DOUBLE_EQ(d.valueC, 0);
        EXPECT_DOUBLE_EQ(d.valueC2, base + 2.5);
        EXPECT_DOUBLE_EQ(d.valueD2, base + 3.5);
        EXPECT_EQ(d.word7, 30 + input);
        EXPECT_EQ(d.word5High, 0x2D);
        EXPECT_EQ(d.word5Low, input);
        if (d.kind == 3) {
            EXPECT_DOUBLE_EQ(d.valueE, base + 4.5);
            // Input 1's F and G lie across blocks 2 and 3 (stream bytes 255 to 270).
            EXPECT_DOUBLE_EQ(d.valueF, base + 5.5);
            EXPECT_DOUBLE_EQ(d.valueG, base + 6.5);
            EXPECT_DOUBLE_EQ(d.valueH, base + 7.5);
            EXPECT_EQ(d.byte36, 36 + input);
            EXPECT_EQ(d.word9, 60 + input);
        } else {
            // Nothing of the channel before.
            EXPECT_DOUBLE_EQ(d.valueE, 0);
            EXPECT_DOUBLE_EQ(d.valueF, 0);
            EXPECT_DOUBLE_EQ(d.valueH, 0);
            EXPECT_EQ(d.byte36, 0);
            EXPECT_EQ(d.word9, 0);
        }
    }
}

TEST_F(LegacyChannelTableTest, ABlockOutOfSequenceIsAskedAgain)
{
    Edit([](SimLegacyDevice& d) {
        d.blockFaults.wrongNumber[4] = 0x33;
        d.blockFaults.skip.insert(7);
    });
    DefinitionCallback callback;
    ASSERT_EQ(instrument_.ReadTestChannelDefs(1, &callback), 0);
    EXPECT_EQ(callback.definitions.size(), 9u);
    EXPECT_EQ(Device().againRequests, 2u);
    for (size_t n = 0; n < callback.definitions.size(); ++n) {
        EXPECT_EQ(callback.definitions[n].channel, n);
    }
}

TEST_F(LegacyChannelTableTest, TheCallbackStopsTheRead)
{
    DefinitionCallback callback;
    callback.cancelAt = 2;
    EXPECT_EQ(instrument_.ReadTestChannelDefs(1, &callback), kTkErrCancelled);
    EXPECT_EQ(callback.definitions.size(), 2u);
    EXPECT_EQ(Count(kLegacyBlockAbort), 1u);
}

TEST_F(LegacyChannelTableTest, ATableThatStopsComingStallsAfterSixRestarts)
{
    // Block 1 comes; every later answer to 201 is lost.
    device_->InjectFault(wv::sim::Fault::Silence(wv::sim::kForever).ForCommand(kLegacyBlockNext));
    DefinitionCallback callback;
    EXPECT_EQ(instrument_.ReadTestChannelDefs(1, &callback), kTkErrLegacyTransferStalled);
    EXPECT_EQ(Device().restarts, 6u);
    EXPECT_TRUE(callback.definitions.empty());
}

TEST_F(LegacyChannelTableTest, ATableThatEndsEarlyIsNoSuccess)
{
    // Five blocks (640 bytes) hold the structures of inputs 1 and 4 (up to stream byte 554);
    // input 5 would need 647.
    Edit([](SimLegacyDevice& d) { d.blockFaults.endAfter = 5; });
    DefinitionCallback callback;
    EXPECT_EQ(instrument_.ReadTestChannelDefs(1, &callback), kTkErrLegacyTruncated);
    EXPECT_EQ(callback.definitions.size(), 2u);
}

// ---- The end-pointer repair on files made here --------------------------------------------

class RepairTest : public ::testing::Test {
protected:
    // A model 2 image of size bytes: start pointer (3, 0x4010) at 464, end pointer (9, 9) at
    // 468, bytes 0x21 elsewhere; then tail bytes.
    std::string Make(size_t size, const Bytes& tail = {})
    {
        Bytes image(size, 0x21);
        const Bytes pointers{0x00, 0x03, 0x40, 0x10, 0x00, 0x09, 0x00, 0x09};
        std::copy(pointers.begin(), pointers.end(), image.begin() + 464);
        image.insert(image.end(), tail.begin(), tail.end());
        wvtest::WriteBytes(path_, image);
        return path_;
    }
    int Repair(uint8_t model, uint32_t expected)
    {
        UniqueFile file(FileOpen(path_, "r+b"));
        return RepairLegacyEndPointer(file.get(), model, expected);
    }
    Bytes EndPointer() const
    {
        const Bytes b = wvtest::ReadBytes(path_).value_or(Bytes{});
        return b.size() >= 472 ? Bytes(b.begin() + 468, b.begin() + 472) : Bytes{};
    }

    wvtest::TempDir dir_{"repair"};
    std::string path_ = (dir_.Path() / "image.bin").string();
};

TEST_F(RepairTest, AShortImageGetsTheEndPointerOfWhatArrived)
{
    // 1000 - 768 = 232 < 500: the end pointer becomes (3, 0x4010 + 232) = (3, 0x40F8).
    Make(1000);
    EXPECT_EQ(Repair(2, 500), kTkErrLegacyTruncated);
    EXPECT_EQ(EndPointer(), (Bytes{0x00, 0x03, 0x40, 0xF8}));
    // Erased words after the data are not data.
    Make(1000, Bytes(50, 0xFF));
    EXPECT_EQ(Repair(2, 500), kTkErrLegacyTruncated);
    EXPECT_EQ(EndPointer(), (Bytes{0x00, 0x03, 0x40, 0xF8}));
}

TEST_F(RepairTest, AnImageThatReachesItsSizeIsLeftAlone)
{
    Make(1000);
    EXPECT_EQ(Repair(2, 232), 0);
    EXPECT_EQ(EndPointer(), (Bytes{0x00, 0x09, 0x00, 0x09}));
    // A model without download is never repaired.
    EXPECT_EQ(Repair(10, 5000), 0);
    EXPECT_EQ(EndPointer(), (Bytes{0x00, 0x09, 0x00, 0x09}));
}

TEST_F(RepairTest, DataShorterThanTheHeaderMoveTheEndToTheStart)
{
    // 700 bytes then erased words: no data after the 768-byte header at all.
    Make(700, Bytes(500, 0xFF));
    EXPECT_EQ(Repair(2, 10), kTkErrLegacyTruncated);
    EXPECT_EQ(EndPointer(), (Bytes{0x00, 0x03, 0x40, 0x10}));
    // A file too short to hold its pointers is left as it is.
    wvtest::WriteBytes(path_, Bytes(300, 0x21));
    EXPECT_EQ(Repair(2, 10), kTkErrLegacyTruncated);
    EXPECT_EQ(wvtest::ReadBytes(path_)->size(), 300u);
}

// ---- Failed sends inside the transfer -----------------------------------------------------

// A reader whose sends fail: it is handed a block from inside a user-interface event that runs
// while the link waits, when the link refuses every send (5110).
class ReaderSendTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto line = std::make_unique<MemoryLine>();
        ASSERT_EQ(link_.Attach(TkLinkKind::Direct, std::move(line)), 0);
        link_.SetMode(3);
    }
    void TearDown() override { wv::SetPumpHook({}); }

    static std::unique_ptr<CTkPacket> Reply(uint16_t status, const Bytes& body)
    {
        auto packet = std::make_unique<CTkPacket>();
        for (uint8_t b : ReplyFrame(1234, kLegacyBlockStart, body, status)) {
            packet->ReceiveByte(b);
        }
        EXPECT_TRUE(packet->IsComplete());
        return packet;
    }
    static Bytes Block(uint8_t number)
    {
        Bytes body(130, 0x21);
        body[0] = number;
        return body;
    }
    // Runs fn inside the link's next wait (its exchange's settling wait).
    void InsideAWait(const std::function<void()>& fn)
    {
        bool done = false;
        wv::SetPumpHook([&] {
            if (!done) {
                done = true;
                fn();
            }
            return false;
        });
        link_.BeginExchange();
        wv::SetPumpHook({});
        EXPECT_TRUE(done);
    }

    wv::ManualClock clock_{1000};
    wv::ScopedClock scoped_{clock_};
    wvtest::TempDir dir_{"reader"};
    CTkLink link_;
};

TEST_F(ReaderSendTest, AFailedAcknowledgementEndsTheTransferWithItsError)
{
    UniqueFile file(FileOpen((dir_.Path() / "image.bin").string(), "w+b"));
    CLegacyMemoryReader reader(link_, 1234, 3, 1000, 2500, file.get(), nullptr);
    uint32_t timeout = 0;
    reader.OnPacket(TkLinkEvent::Reply, Reply(0, {}), &timeout);  // the request's answer: 202 goes
    ASSERT_EQ(reader.GetPhase(), CLegacyTransferHandler::kPhaseReceiving);
    InsideAWait([&] { reader.OnPacket(TkLinkEvent::Reply, Reply(0, Block(1)), &timeout); });
    EXPECT_TRUE(reader.IsDone());
    EXPECT_EQ(reader.GetResult(), kTkErrLinkBusy);
    // The block itself was kept.
    EXPECT_EQ(FileTell(file.get()), 128);
}

TEST_F(ReaderSendTest, ACancelEndsTheTransferWhetherOrNotTheAbortWentOut)
{
    class Cancel : public CCallback {
        int Progress(intptr_t) override { return 1; }
    } cancel;
    UniqueFile file(FileOpen((dir_.Path() / "image.bin").string(), "w+b"));
    CLegacyMemoryReader reader(link_, 1234, 3, 1000, 2500, file.get(), &cancel);
    uint32_t timeout = 0;
    reader.OnPacket(TkLinkEvent::Reply, Reply(0, {}), &timeout);
    InsideAWait([&] { reader.OnPacket(TkLinkEvent::Reply, Reply(0, Block(1)), &timeout); });
    EXPECT_TRUE(reader.IsDone());
    EXPECT_EQ(reader.GetResult(), kTkErrCancelled);

    CLegacyBlockReader table(link_, 1234, 3, 2500, {}, nullptr);
    table.OnPacket(TkLinkEvent::Reply, Reply(0, {}), &timeout);
    InsideAWait([&] { table.OnPacket(TkLinkEvent::Timeout, nullptr, nullptr); });
    EXPECT_TRUE(table.IsDone());
    EXPECT_EQ(table.GetResult(), kTkErrLinkBusy);
}

} // namespace
