// File transfer and firmware upload end to end: CTkSession over the real link and serial
// port to the instrument simulator's file system and flash on a pseudo-terminal.

#include "comm/TkSession.h"

#include "foundation/Registry.h"
#include "platform/Clock.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/support/FileSizeLimit.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;
using wv::sim::ChunkRequest;
using wv::sim::SimDevice;

namespace {

using namespace commtest;

using Bytes = std::vector<uint8_t>;

// Content that differs from chunk to chunk, so a misplaced chunk shows.
Bytes Pattern(size_t size, uint32_t seed = 1)
{
    Bytes out(size);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

Bytes Trailer()
{
    Bytes t(CTkSession::kTrailerSize, 0);
    std::memcpy(t.data(), "USERDATA", 8);
    for (size_t i = 8; i < t.size(); ++i) {
        t[i] = static_cast<uint8_t>(0xA0 + i);
    }
    return t;
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Head(const Bytes& data, size_t n)
{
    return Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min(n, data.size())));
}

// The chunks a download of a file of size bytes asks for: the first at most 254 bytes
// (258 for the parameter family), then 256 (260) + 3 after an odd number of chunks and - 3
// after an even one, and the rest in one when it is below 257 (261).
std::vector<std::pair<uint32_t, uint16_t>> ExpectedChunks(uint32_t size, bool parameterFamily,
                                                          uint32_t from = 0, uint32_t counted = 0)
{
    const uint32_t first = parameterFamily ? 258 : 254;
    const uint32_t base = parameterFamily ? 260 : 256;
    std::vector<std::pair<uint32_t, uint16_t>> out;
    uint32_t offset = from;
    while (offset < size) {
        const uint32_t rest = size - offset;
        uint32_t length = 0;
        if (offset == 0) {
            length = std::min(rest, first);
        } else if (rest <= base) {
            length = rest;
        } else {
            length = counted % 2 == 1 ? base + 3 : base - 3;
        }
        out.emplace_back(offset, static_cast<uint16_t>(length));
        offset += length;
        ++counted;
    }
    return out;
}

std::vector<std::pair<uint32_t, uint16_t>> Asked(const std::vector<ChunkRequest>& requests)
{
    std::vector<std::pair<uint32_t, uint16_t>> out;
    for (const ChunkRequest& r : requests) {
        out.emplace_back(r.offset, r.length);
    }
    return out;
}

using wvtest::ReadBytes;
using wvtest::WriteBytes;

// A level logger and a sonde with files and flash; the logger is selected. The local
// files go to the folder Data of the program home.
class FileTransferTest : public commtest::SimSessionTest {
protected:
    FileTransferTest() : SimSessionTest(Options()) {}

    void SetUp() override
    {
        wvtest::MadeFolder(home_.Path() / "Data");
        AddLoggerAndSonde();
        wv::sim::InstallFileCommands(*logger_);
        wv::sim::InstallFileCommands(*sonde_);
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        SelectLogger();
    }

    // Time-outs and the restart wait run on a simulated clock, in smaller steps than
    // the other session tests take.
    void UseSimulatedClock(uint32_t stepMs = 20, uint32_t pollRealMs = 2)
    {
        SimSessionTest::UseSimulatedClock(stepMs, pollRealMs);
    }

    std::string Local(const std::string& name) const { return (home_.Path() / "Data" / name).string(); }
    std::string Part(const std::string& name) const { return CTkSession::PartialDownloadPath(Local(name)); }

    static wv::sim::SimOptions Options()
    {
        wv::sim::SimOptions options;
        // Replies follow the host's requests: no need to hold one back behind the last.
        options.interFrameGapMs = 2;
        return options;
    }
};

// ---- Size and the small file ------------------------------------------------------------

TEST_F(FileTransferTest, FileSizeOfPresentAndMissingFiles)
{
    wv::sim::SetDeviceFile(*logger_, "12", Pattern(4567));
    uint32_t size = 99;
    RecordingCallback cb;
    EXPECT_EQ(session_.GetFileSize("12", &size, &cb), 0);
    EXPECT_EQ(size, 4567u);
    EXPECT_EQ(cb.begins, 1);
    EXPECT_EQ(cb.ends, 1);

    // The device's status passes through; the output stays as it was.
    size = 99;
    EXPECT_EQ(session_.GetFileSize("13", &size, nullptr), wv::sim::kStatusNoSuchFile);
    EXPECT_EQ(size, 99u);

    // Nothing is sent for a name that is not two characters or without an output.
    const size_t before = FramesOf(kTkCmdFileSize).size();
    EXPECT_EQ(session_.GetFileSize("123", &size, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetFileSize("12", nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(FramesOf(kTkCmdFileSize).size(), before);
}

TEST_F(FileTransferTest, ReadFileD2WholeAndItsFailures)
{
    const Bytes d2 = {7, 0, 0, 1, 2, 3, 4, 5, 6, 1, 0, 9};
    wv::sim::SetDeviceFile(*sonde_, "D2", d2);
    Select(sonde_);

    Bytes buffer(32, 0xEE);
    ASSERT_EQ(session_.ReadFileD2(buffer.data(), buffer.size()), 0);
    EXPECT_EQ(Head(buffer, d2.size()), d2);
    auto chunks = wv::sim::ChunkRequests(*sonde_);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].name, "D2");
    EXPECT_EQ(chunks[0].offset, 0u);
    EXPECT_EQ(chunks[0].length, d2.size());

    // A buffer smaller than the file: 5010, and the file is not read.
    EXPECT_EQ(session_.ReadFileD2(buffer.data(), d2.size() - 1), kTkErrNoMemory);
    EXPECT_EQ(wv::sim::ChunkRequests(*sonde_).size(), 1u);

    // A reply that is not the file leaves the buffer alone: longer than the file, empty.
    struct Case {
        const char* what;
        wv::sim::Fault fault;
        int expected;
    };
    const Case cases[] = {
        {"oversized", wv::sim::OversizedChunk(3), kTkErrUnexpectedRecord},
        {"empty", wv::sim::EmptyChunk(), kTkErrNoMemory},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sonde_->InjectFault(c.fault);
        Bytes untouched(32, 0xEE);
        EXPECT_EQ(session_.ReadFileD2(untouched.data(), untouched.size()), c.expected);
        EXPECT_EQ(untouched, Bytes(32, 0xEE));
    }

    // An empty file, and none at all.
    wv::sim::SetDeviceFile(*sonde_, "D2", {});
    EXPECT_EQ(session_.ReadFileD2(buffer.data(), buffer.size()), kTkErrNoMemory);
    wv::sim::RemoveDeviceFile(*sonde_, "D2");
    EXPECT_EQ(session_.ReadFileD2(buffer.data(), buffer.size()), wv::sim::kStatusNoSuchFile);
}

// ---- Downloads --------------------------------------------------------------------------

TEST_F(FileTransferTest, DownloadsArriveWholeInTheChunkPatternOnBothFamilies)
{
    UseSimulatedClock();
    const uint32_t sizes[] = {0, 1, 253, 254, 258, 1000, 70000};
    for (SimDevice* device : {logger_, sonde_}) {
        Select(device);
        const bool parameterFamily = device == sonde_;
        for (uint32_t size : sizes) {
            SCOPED_TRACE(testing::Message() << "type " << device->Type() << ", " << size << " bytes");
            const Bytes content = Pattern(size, size + device->Type());
            wv::sim::SetDeviceFile(*device, "07", content);
            wv::sim::ClearFileObservations(*device);
            const std::string name = "T" + std::to_string(device->Type()) + "-" + std::to_string(size) + ".bin";

            RecordingCallback cb;
            ASSERT_EQ(session_.DownloadFile("07", Local(name), &cb), 0);
            EXPECT_EQ(ReadBytes(Local(name)), content);
            EXPECT_FALSE(fs::exists(Part(name)));
            EXPECT_EQ(Asked(wv::sim::ChunkRequests(*device)), ExpectedChunks(size, parameterFamily));

            ASSERT_EQ(cb.begins, 1);
            EXPECT_EQ(cb.stepsAtBegin[0], static_cast<int>(size / 256));
            EXPECT_EQ(cb.ends, 1);
            ASSERT_FALSE(size > 0 && cb.values.empty());
            if (size > 0) {
                EXPECT_EQ(cb.values.back(), static_cast<intptr_t>(size / 256));
            }
            EXPECT_EQ(session_.LastDownloadStats().fileSize, size);
            EXPECT_EQ(session_.LastDownloadStats().resumedAt, 0u);
        }
    }
}

TEST_F(FileTransferTest, ThousandBytesOnALevelLoggerComeIn254_259_253_234)
{
    wv::sim::SetDeviceFile(*logger_, "04", Pattern(1000));
    ASSERT_EQ(session_.DownloadFile("04", Local("t04.bin"), nullptr), 0);
    const std::vector<std::pair<uint32_t, uint16_t>> expected = {{0, 254}, {254, 259}, {513, 253}, {766, 234}};
    EXPECT_EQ(Asked(wv::sim::ChunkRequests(*logger_)), expected);
    EXPECT_EQ(ReadBytes(Local("t04.bin")), Pattern(1000));
}

TEST_F(FileTransferTest, TimeOutsComeFromTheSettingsAndAreWrittenBack)
{
    wv::sim::SetDeviceFile(*logger_, "01", Pattern(300));
    ASSERT_EQ(session_.DownloadFile("01", Local("a.bin"), nullptr), 0);
    EXPECT_EQ(ReadRegDword("QorLib", "FileDownloadTimeoutMin(ms)", 1), 3000u);
    EXPECT_EQ(ReadRegDword("QorLib", "FileDownloadTimeoutMax(ms)", 1), 10000u);
    EXPECT_EQ(session_.LastDownloadStats().finalTimeoutMs, 3000u);

    ASSERT_TRUE(WriteRegDword("QorLib", "FileDownloadTimeoutMin(ms)", 4200));
    ASSERT_EQ(session_.DownloadFile("01", Local("b.bin"), nullptr), 0);
    EXPECT_EQ(session_.LastDownloadStats().finalTimeoutMs, 4200u);
    EXPECT_EQ(ReadRegDword("QorLib", "FileDownloadTimeoutMin(ms)", 1), 4200u);
}

TEST_F(FileTransferTest, AnEarlierDownloadResumesAtItsLengthAndKeepsItsTrailer)
{
    UseSimulatedClock();
    // The test kept logging since the last download: the device file grew.
    const Bytes device = Pattern(3000, 9);
    wv::sim::SetDeviceFile(*logger_, "05", device);
    const Bytes trailer = Trailer();
    WriteBytes(Local("t05.bin"), Concat(Head(device, 1000), trailer));

    ASSERT_EQ(session_.DownloadFile("05", Local("t05.bin"), nullptr), 0);
    EXPECT_EQ(ReadBytes(Local("t05.bin")), Concat(device, trailer));
    EXPECT_FALSE(fs::exists(Part("t05.bin")));
    // The first chunk only confirms the start; then on at the local length, with the first
    // chunk counted for the alternation.
    auto expected = ExpectedChunks(3000, false, 1000, 1);
    expected.insert(expected.begin(), {0, 254});
    EXPECT_EQ(Asked(wv::sim::ChunkRequests(*logger_)), expected);
    EXPECT_EQ(session_.LastDownloadStats().resumedAt, 1000u);
    EXPECT_TRUE(session_.LastDownloadStats().trailerKept);
}

TEST_F(FileTransferTest, ALocalFileThatIsNotThisFilesStartIsReplacedWhole)
{
    UseSimulatedClock();
    const Bytes device = Pattern(1500, 3);
    wv::sim::SetDeviceFile(*logger_, "06", device);
    const Bytes trailer = Trailer();
    struct Case {
        const char* what;
        Bytes local;
        Bytes expected;
    };
    const Case cases[] = {
        // One byte differs in the first chunk, though its first byte agrees.
        {"other file", [&] { Bytes b = Head(device, 800); b[100] ^= 1; return Concat(b, trailer); }(),
         Concat(device, trailer)},
        // Longer than the device file: it cannot be its start; the old tail goes.
        {"longer", Concat(Pattern(5000, 3), trailer), Concat(device, trailer)},
        // Shorter than the first chunk: started over.
        {"shorter than a chunk", Head(device, 100), device},
        // Shorter than a trailer, though it starts with the tag: no trailer.
        {"tag but short", [] { Bytes b(50, 0); std::memcpy(b.data(), "USERDATA", 8); return b; }(), device},
        {"empty", {}, device},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(Local("t06.bin"), c.local);
        wv::sim::ClearFileObservations(*logger_);
        ASSERT_EQ(session_.DownloadFile("06", Local("t06.bin"), nullptr), 0);
        EXPECT_EQ(ReadBytes(Local("t06.bin")), c.expected);
        EXPECT_EQ(Asked(wv::sim::ChunkRequests(*logger_)), ExpectedChunks(1500, false));
        EXPECT_EQ(session_.LastDownloadStats().resumedAt, 0u);
    }
}

TEST_F(FileTransferTest, AnInterruptedDownloadKeepsItsPartAndTheNextOneResumesFromIt)
{
    UseSimulatedClock();
    const Bytes device = Pattern(5000, 4);
    wv::sim::SetDeviceFile(*sonde_, "09", device);
    Select(sonde_);
    const Bytes earlier = Concat(Head(device, 600), Trailer());
    WriteBytes(Local("t09.bin"), earlier);

    // Silent from the sixth chunk request on: four attempts, then 5018.
    wv::sim::SilenceChunksFrom(*sonde_, 5);
    ASSERT_EQ(session_.DownloadFile("09", Local("t09.bin"), nullptr), kTkErrNoReply);
    const auto asked = wv::sim::ChunkRequests(*sonde_);
    ASSERT_EQ(asked.size(), 9u);
    for (size_t i = 5; i < 9; ++i) {
        EXPECT_EQ(asked[i].offset, asked[5].offset) << i;
        EXPECT_FALSE(asked[i].answered);
    }
    const uint32_t reached = asked[5].offset;
    // The local file is as it was; what came is in the partial file, trailer behind it.
    EXPECT_EQ(ReadBytes(Local("t09.bin")), earlier);
    EXPECT_EQ(ReadBytes(Part("t09.bin")), Concat(Head(device, reached), Trailer()));

    // The device answers again: on from where it stopped.
    wv::sim::SilenceChunksFrom(*sonde_, SIZE_MAX);
    wv::sim::ClearFileObservations(*sonde_);
    ASSERT_EQ(session_.DownloadFile("09", Local("t09.bin"), nullptr), 0);
    EXPECT_EQ(ReadBytes(Local("t09.bin")), Concat(device, Trailer()));
    EXPECT_FALSE(fs::exists(Part("t09.bin")));
    const auto resumed = wv::sim::ChunkRequests(*sonde_);
    ASSERT_GE(resumed.size(), 2u);
    EXPECT_EQ(resumed[0].offset, 0u);
    EXPECT_EQ(resumed[1].offset, reached);
    EXPECT_EQ(session_.LastDownloadStats().resumedAt, reached);
}

TEST_F(FileTransferTest, SilenceCostsFourAttemptsOfTheChunkTimeOutOnly)
{
    UseSimulatedClock(100, 10);
    wv::sim::SetDeviceFile(*logger_, "02", Pattern(2000));
    wv::sim::SilenceChunksFrom(*logger_, 2);
    const uint64_t start = clock_->NowMs();
    const auto realStart = std::chrono::steady_clock::now();
    EXPECT_EQ(session_.DownloadFile("02", Local("t02.bin"), nullptr), kTkErrNoReply);
    const uint64_t elapsed = clock_->NowMs() - start;
    EXPECT_GE(elapsed, 4u * 3000u);
    EXPECT_LT(elapsed, 4u * 3000u + 1500u);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(10));
    EXPECT_EQ(wv::sim::ChunkRequests(*logger_).size(), 6u);
    EXPECT_EQ(ReadBytes(Part("t02.bin")), Head(Pattern(2000), 254 + 259));
    EXPECT_FALSE(fs::exists(Local("t02.bin")));
}

TEST_F(FileTransferTest, ARepeatedChunkIsAskedForAgainWithALongerTimeOut)
{
    UseSimulatedClock();
    const Bytes device = Pattern(2600, 5);
    wv::sim::SetDeviceFile(*logger_, "08", device);
    struct Case {
        uint32_t min;
        uint32_t max;
        uint32_t expectedTimeout;
    };
    // Each repeat adds 1000 ms while below the maximum: 9500 -> 10500, and no further.
    const Case cases[] = {{3000, 10000, 5000}, {9500, 10000, 10500}, {10000, 10000, 10000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.min);
        ASSERT_TRUE(WriteRegDword("QorLib", "FileDownloadTimeoutMin(ms)", c.min));
        ASSERT_TRUE(WriteRegDword("QorLib", "FileDownloadTimeoutMax(ms)", c.max));
        wv::sim::WithFiles(*logger_, [](wv::sim::SimFileSystem& files) { files.replayAt = {2, 5}; });
        wv::sim::ClearFileObservations(*logger_);
        fs::remove(Local("t08.bin"));

        ASSERT_EQ(session_.DownloadFile("08", Local("t08.bin"), nullptr), 0);
        EXPECT_EQ(ReadBytes(Local("t08.bin")), device);
        const auto asked = wv::sim::ChunkRequests(*logger_);
        ASSERT_GE(asked.size(), 6u);
        EXPECT_TRUE(asked[2].replayed);
        EXPECT_EQ(asked[3].offset, asked[2].offset);  // the same offset again
        EXPECT_EQ(asked[3].length, asked[2].length);
        EXPECT_EQ(asked[6].offset, asked[5].offset);
        // The repeats do not count for the alternation.
        auto expected = ExpectedChunks(2600, false);
        expected.insert(expected.begin() + 5, expected[4]);
        expected.insert(expected.begin() + 2, expected[2]);
        EXPECT_EQ(Asked(asked), expected);
        EXPECT_EQ(session_.LastDownloadStats().duplicates, 2u);
        EXPECT_EQ(session_.LastDownloadStats().finalTimeoutMs, c.expectedTimeout);
        // The settings keep what the user set.
        EXPECT_EQ(ReadRegDword("QorLib", "FileDownloadTimeoutMin(ms)", 1), c.min);
    }

    // The longer time-out is the one the next attempt waits: one repeat, then one silent
    // attempt, costs 10500 ms of simulated time (9500 without the repeat).
    ASSERT_TRUE(WriteRegDword("QorLib", "FileDownloadTimeoutMin(ms)", 9500));
    // Idle steps that look at the line long enough for a reply to arrive within one, so
    // simulated time passes only while the device is silent.
    session_.GetLink()->SetIdleWait(100, 10);
    const Bytes small = Pattern(1000, 19);
    wv::sim::SetDeviceFile(*logger_, "19", small);
    wv::sim::WithFiles(*logger_, [](wv::sim::SimFileSystem& files) {
        files.replayAt = {2};
        files.silentFrom = 3;
        files.silentCount = 1;
    });
    wv::sim::ClearFileObservations(*logger_);
    const uint64_t start = clock_->NowMs();
    ASSERT_EQ(session_.DownloadFile("19", Local("t19.bin"), nullptr), 0);
    const uint64_t elapsed = clock_->NowMs() - start;
    EXPECT_GE(elapsed, 10500u);
    EXPECT_LT(elapsed, 10500u + 900u);
    EXPECT_EQ(ReadBytes(Local("t19.bin")), small);
    EXPECT_EQ(wv::sim::ChunkRequests(*logger_).size(), 6u);
}

TEST_F(FileTransferTest, RepliesThatBringNothingEndTheDownloadInsteadOfLoopingForever)
{
    UseSimulatedClock();
    const Bytes device = Pattern(3000, 6);
    wv::sim::SetDeviceFile(*logger_, "11", device);
    struct Case {
        const char* what;
        std::function<void()> inject;
        int expected;
        size_t expectedRequests;   // chunk requests heard
        size_t kept;               // bytes in the partial file afterwards
    };
    const Case cases[] = {
        {"empty bodies", [&] { logger_->InjectFault(wv::sim::EmptyChunk(wv::sim::kForever)); },
         kTkErrUnexpectedRecord, 8, 0},
        {"the same chunk again and again",
         [&] {
             wv::sim::WithFiles(*logger_, [](wv::sim::SimFileSystem& files) {
                 for (size_t i = 2; i < 100; ++i) {
                     files.replayAt.insert(i);
                 }
             });
         },
         kTkErrUnexpectedRecord, 2 + 8, 254 + 259},
        // Every reply far longer than any chunk: each is asked for again, as an empty one.
        {"over 281 bytes every time",
         [&] {
             wv::sim::SilenceChunksFrom(*logger_, SIZE_MAX);
             wv::sim::WithFiles(*logger_, [](wv::sim::SimFileSystem& files) { files.replayAt.clear(); });
             logger_->InjectFault(wv::sim::OversizedChunk(28, wv::sim::kForever));
         },
         kTkErrUnexpectedRecord, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        logger_->ClearFaults();
        wv::sim::ClearFileObservations(*logger_);
        fs::remove(Part("t11.bin"));
        c.inject();
        EXPECT_EQ(session_.DownloadFile("11", Local("t11.bin"), nullptr), c.expected);
        EXPECT_EQ(wv::sim::ChunkRequests(*logger_).size(), c.expectedRequests);
        if (c.kept > 0) {
            EXPECT_EQ(ReadBytes(Part("t11.bin")), Head(device, c.kept));
        } else {
            // Nothing came: no partial file is left behind.
            EXPECT_FALSE(fs::exists(Part("t11.bin")));
        }
        EXPECT_FALSE(fs::exists(Local("t11.bin")));
    }
    logger_->ClearFaults();
}

TEST_F(FileTransferTest, AChunkLongerThanAskedIsTakenUpToTheFileSizeAndOneOver281AskedAgain)
{
    UseSimulatedClock();
    using Chunks = std::vector<std::pair<uint32_t, uint16_t>>;
    struct Case {
        const char* what;
        uint32_t size;          // the device file's size
        size_t request;         // the chunk request answered longer (counted from 0)
        uint32_t extra;         // bytes more than asked for
        Chunks asked;           // the chunk requests heard
        uint32_t oversized;     // replies refused as too long
    };
    const Case cases[] = {
        // 259 asked at 254, 269 come: the download goes on at 523, and the chunk counts
        // for the alternation as any other.
        {"ten more", 1000, 1, 10, {{0, 254}, {254, 259}, {523, 253}, {776, 224}}, 0},
        // The first chunk with 27 more is 281 bytes, the longest taken.
        {"281 bytes", 1000, 0, 27, {{0, 254}, {281, 259}, {540, 253}, {793, 207}}, 0},
        // 282 bytes: not a chunk; the same offset and length are asked for again.
        {"282 bytes", 1000, 1, 23, {{0, 254}, {254, 259}, {254, 259}, {513, 253}, {766, 234}}, 1},
        // The last chunk runs 20 bytes past the end of the file (erased flash).
        {"past the end", 1000, 3, 20, {{0, 254}, {254, 259}, {513, 253}, {766, 234}}, 0},
        // The first chunk brings the whole file and 11 bytes beyond it.
        {"the whole file and more", 270, 0, 27, {{0, 254}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes device = Pattern(c.size, c.size + c.extra);
        wv::sim::SetDeviceFile(*logger_, "20", device);
        wv::sim::ClearFileObservations(*logger_);
        wv::sim::WithFiles(*logger_, [&](wv::sim::SimFileSystem& files) { files.longerAt = {{c.request, c.extra}}; });
        fs::remove(Local("t20.bin"));

        ASSERT_EQ(session_.DownloadFile("20", Local("t20.bin"), nullptr), 0);
        const auto requests = wv::sim::ChunkRequests(*logger_);
        EXPECT_EQ(Asked(requests), c.asked);
        ASSERT_GT(requests.size(), c.request);
        EXPECT_EQ(requests[c.request].served, requests[c.request].length + c.extra);
        // Exactly the file: nothing lost, nothing doubled, nothing past its end.
        EXPECT_EQ(ReadBytes(Local("t20.bin")), device);
        EXPECT_EQ(session_.LastDownloadStats().bytesWritten, c.size);
        EXPECT_EQ(session_.LastDownloadStats().oversized, c.oversized);
    }
}

TEST_F(FileTransferTest, AFileOfRepeatingRecordsStillDownloads)
{
    UseSimulatedClock();
    // 254 + 259 + 253 leave 253: the last chunk is as long as the one before and, in a file
    // of identical records, holds the same bytes. Asked for three times, it is data.
    const Bytes device(1019, 0x5A);
    wv::sim::SetDeviceFile(*logger_, "14", device);
    ASSERT_EQ(session_.DownloadFile("14", Local("t14.bin"), nullptr), 0);
    EXPECT_EQ(ReadBytes(Local("t14.bin")), device);
    const std::vector<std::pair<uint32_t, uint16_t>> expected = {
        {0, 254}, {254, 259}, {513, 253}, {766, 253}, {766, 253}, {766, 253}};
    EXPECT_EQ(Asked(wv::sim::ChunkRequests(*logger_)), expected);
}

TEST_F(FileTransferTest, CancelKeepsThePartialDataWithItsTrailer)
{
    UseSimulatedClock();
    const Bytes device = Pattern(8000, 7);
    wv::sim::SetDeviceFile(*logger_, "03", device);
    const Bytes earlier = Concat(Head(device, 1200), Trailer());
    WriteBytes(Local("t03.bin"), earlier);

    RecordingCallback cb;
    cb.cancelWhen = [](intptr_t value) { return value >= 12; };  // 3072 bytes
    ASSERT_EQ(session_.DownloadFile("03", Local("t03.bin"), &cb), kTkErrCancelled);
    EXPECT_EQ(cb.ends, 1);
    const auto asked = wv::sim::ChunkRequests(*logger_);
    ASSERT_FALSE(asked.empty());
    const uint32_t reached = asked.back().offset + asked.back().length;
    EXPECT_GE(reached, 3072u);
    EXPECT_LT(reached, 3072u + 260u);
    EXPECT_EQ(ReadBytes(Part("t03.bin")), Concat(Head(device, reached), Trailer()));
    EXPECT_EQ(ReadBytes(Local("t03.bin")), earlier);
}

TEST_F(FileTransferTest, AFileThatGrowsWhileItIsReadIsFetchedUpToItsSizeAndTheRestLater)
{
    UseSimulatedClock();
    wv::sim::SetDeviceFile(*logger_, "15", Pattern(1000, 15));
    wv::sim::WithFiles(*logger_, [](wv::sim::SimFileSystem& files) { files.growthPerChunk["15"] = 40; });
    ASSERT_EQ(session_.DownloadFile("15", Local("t15.bin"), nullptr), 0);
    EXPECT_EQ(ReadBytes(Local("t15.bin")), Head(wv::sim::DeviceFile(*logger_, "15"), 1000));

    wv::sim::WithFiles(*logger_, [](wv::sim::SimFileSystem& files) { files.growthPerChunk.clear(); });
    ASSERT_EQ(session_.DownloadFile("15", Local("t15.bin"), nullptr), 0);
    EXPECT_EQ(ReadBytes(Local("t15.bin")), wv::sim::DeviceFile(*logger_, "15"));
    EXPECT_EQ(session_.LastDownloadStats().resumedAt, 1000u);
}

TEST_F(FileTransferTest, AFullDiskIsAnErrorNotSuccess)
{
    wv::sim::SetDeviceFile(*logger_, "16", Pattern(900));
    int result = 0;
    {
        // Writes past 100 bytes fail as on a full disk; the first chunk is longer.
        wvtest::ScopedFileSizeLimit limit(100);
        ASSERT_TRUE(limit);
        result = session_.DownloadFile("16", Local("t16.bin"), nullptr);
    }
    EXPECT_EQ(result, kTkErrFileWrite);
    EXPECT_FALSE(fs::exists(Local("t16.bin")));
    // It stopped at the first chunk it could not keep.
    EXPECT_EQ(wv::sim::ChunkRequests(*logger_).size(), 1u);
}

TEST_F(FileTransferTest, APathThatCannotBecomeTheLocalFileFailsBeforeAnythingIsSent)
{
    wv::sim::SetDeviceFile(*logger_, "17", Pattern(600));
    wvtest::MadeFolder(home_.Path() / "Data" / "folder");
    wvtest::MadeFolder(home_.Path() / "Data" / "t17.bin.part");
    WriteBytes(Local("plain.bin"), Bytes(10, 1));
    ASSERT_EQ(::mkfifo(Part("t19.bin").c_str(), 0600), 0);
    struct Case {
        const char* what;
        std::string path;
    };
    const Case cases[] = {
        {"a folder", Local("folder")},
        {"a folder with a separator at its end", Local("folder") + "/"},
        {"in a folder that does not exist", (home_.Path() / "nowhere" / "x.bin").string()},
        {"below a file", Local("plain.bin") + "/x.bin"},
        {"the partial file's name taken by a folder", Local("t17.bin")},
        {"the partial file's name taken by a FIFO", Local("t19.bin")},
    };
    // What the Data folder holds, with the size of every file.
    auto listing = [this] {
        std::vector<std::pair<std::string, uintmax_t>> out;
        for (const auto& entry : fs::recursive_directory_iterator(home_.Path() / "Data")) {
            out.emplace_back(entry.path().string(), entry.is_regular_file() ? entry.file_size() : 0);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    const auto before = listing();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim_.ClearFrames();
        RecordingCallback cb;
        EXPECT_EQ(session_.DownloadFile("17", c.path, &cb), kTkErrFileOpen);
        // Not even the size was asked for, and nothing was made or left behind.
        EXPECT_EQ(sim_.FrameCount(), 0u);
        EXPECT_EQ(cb.begins, 0);
        EXPECT_EQ(listing(), before);
        EXPECT_FALSE(fs::exists(home_.Path() / "nowhere"));
    }
    EXPECT_TRUE(wv::sim::ChunkRequests(*logger_).empty());
}

TEST_F(FileTransferTest, AMissingDeviceFileAndABadName)
{
    // The device file is not there: its status, and no local file.
    EXPECT_EQ(session_.DownloadFile("18", Local("t18.bin"), nullptr), wv::sim::kStatusNoSuchFile);
    EXPECT_FALSE(fs::exists(Local("t18.bin")));
    EXPECT_FALSE(fs::exists(Part("t18.bin")));
    EXPECT_EQ(session_.DownloadFile("1", Local("t18.bin"), nullptr), kTkErrMissingRecord);
}

TEST_F(FileTransferTest, Types23And24PauseAsLongAsTheFirstChunkTookBetweenChunks)
{
    // Real time: the device takes 120 ms to answer.
    SimDevice& old = sim_.AddDevice(2424, 24, "Old logger", 9600);
    wv::sim::InstallFileCommands(old);
    old.SetReplyDelayMs(120);
    wv::sim::SetDeviceFile(old, "01", Pattern(1000));
    Select(&old);
    ASSERT_EQ(session_.DownloadFile("01", Local("t24.bin"), nullptr), 0);
    EXPECT_EQ(ReadBytes(Local("t24.bin")), Pattern(1000));

    std::vector<uint64_t> times;
    for (const auto& f : sim_.Frames()) {
        if (f.command == kTkCmdReadFile && f.destination == 2424) {
            times.push_back(f.receivedMs);
        }
    }
    ASSERT_EQ(times.size(), 4u);
    for (size_t i = 1; i < times.size(); ++i) {
        // The answer (120 ms) and then the pause (at least as long) before the next one.
        EXPECT_GE(times[i] - times[i - 1], 240u) << i;
    }
}

// ---- Upload and programming ---------------------------------------------------------------

TEST_F(FileTransferTest, UploadBlockRefusesMoreThan264Bytes)
{
    const Bytes data(265, 1);
    EXPECT_EQ(session_.UploadBlock(3878, 0, data.size(), data.data(), nullptr), kTkErrBlockTooLong);
    EXPECT_EQ(FramesOf(kTkCmdWriteBlock).size(), 0u);
    ASSERT_EQ(session_.UploadBlock(12, 0, 264, data.data(), nullptr), 0);
    EXPECT_EQ(wv::sim::ReadFlash(*logger_, 12, 264), Bytes(264, 1));
}

TEST_F(FileTransferTest, UploadFileFillsPagesWithoutCrossingThem)
{
    const Bytes file = Pattern(5000, 21);
    WriteBytes(Local("img.bin"), file);
    struct Case {
        SimDevice* device;
        uint32_t start;
        uint32_t length;
        uint16_t page;
        uint16_t inPage;
        std::vector<std::tuple<uint16_t, uint16_t, size_t>> blocks;
    };
    const Case cases[] = {
        {logger_, 100, 600, 10, 200, {{10, 200, 64}, {11, 0, 264}, {12, 0, 264}, {13, 0, 8}}},
        {sonde_, 0, 1000, 20, 0, {{20, 0, 264}, {20, 264, 264}, {21, 0, 264}, {21, 264, 208}}},
        {sonde_, 4900, 0, 30, 500, {{30, 500, 28}, {31, 0, 72}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "page " << c.page);
        Select(c.device);
        wv::sim::ClearFileObservations(*c.device);
        RecordingCallback cb;
        ASSERT_EQ(session_.UploadFile(Local("img.bin"), c.start, c.length, c.page, c.inPage, &cb), 0);
        std::vector<std::tuple<uint16_t, uint16_t, size_t>> blocks;
        for (const auto& b : wv::sim::BlockWrites(*c.device)) {
            blocks.emplace_back(b.page, b.offset, b.length);
        }
        EXPECT_EQ(blocks, c.blocks);
        const size_t length = c.length != 0 ? c.length : file.size() - c.start;
        const Bytes expected(file.begin() + c.start, file.begin() + c.start + static_cast<std::ptrdiff_t>(length));
        const Bytes flash = wv::sim::ReadFlash(*c.device, c.page, c.inPage + length);
        EXPECT_EQ(Bytes(flash.begin() + c.inPage, flash.end()), expected);
        EXPECT_EQ(cb.stepsAtBegin, std::vector<int>{0});
        EXPECT_EQ(cb.values.front(), 0);
        EXPECT_EQ(cb.values.back(), 100);
        EXPECT_EQ(cb.ends, 1);
    }

    // Refused before anything is sent.
    const size_t before = FramesOf(kTkCmdWriteBlock).size();
    EXPECT_EQ(session_.UploadFile(Local("none.bin"), 0, 0, 1, 0, nullptr), kTkErrFileOpen);
    EXPECT_EQ(session_.UploadFile(Local("img.bin"), 5001, 0, 1, 0, nullptr), kTkErrFileSeek);
    EXPECT_EQ(session_.UploadFile(Local("img.bin"), 4000, 1001, 1, 0, nullptr), kTkErrFileRead);
    EXPECT_EQ(session_.UploadFile(Local("img.bin"), 0, 10, 1, 528, nullptr), kTkErrBlockTooLong);
    EXPECT_EQ(FramesOf(kTkCmdWriteBlock).size(), before);
}

TEST_F(FileTransferTest, FirmwareIsStagedAndProgrammedOnBothFamilies)
{
    UseSimulatedClock();
    const Bytes image = Pattern(8192 + 1500, 31);
    WriteBytes(Local("fw.bin"), image);
    struct Case {
        SimDevice* device;
        uint16_t page;
        size_t skip;
        uint32_t waitMs;
        std::vector<std::tuple<uint16_t, uint16_t, size_t>> firstBlocks;
    };
    const Case cases[] = {
        {logger_, 3878, 8192, 100000, {{3878, 0, 264}, {3879, 0, 264}}},
        {sonde_, 7942, 0, 35000, {{7942, 0, 264}, {7942, 264, 264}, {7943, 0, 264}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.device->Type());
        Select(c.device);
        wv::sim::ClearFileObservations(*c.device);
        RecordingCallback cb;
        ASSERT_EQ(session_.UploadFirmware(Local("fw.bin"), &cb), 0);
        const uint64_t end = clock_->NowMs();

        const size_t staged = image.size() - c.skip;
        EXPECT_EQ(wv::sim::ReadFlash(*c.device, c.page, staged),
                  Bytes(image.begin() + static_cast<std::ptrdiff_t>(c.skip), image.end()));
        const auto blocks = wv::sim::BlockWrites(*c.device);
        ASSERT_EQ(blocks.size(), (staged + 263) / 264);
        for (size_t i = 0; i < c.firstBlocks.size(); ++i) {
            EXPECT_EQ(std::make_tuple(blocks[i].page, blocks[i].offset, blocks[i].length), c.firstBlocks[i]);
        }
        const auto programs = wv::sim::ProgramRequests(*c.device);
        ASSERT_EQ(programs.size(), 1u);
        EXPECT_EQ(programs[0].page, c.page);

        // Two phases: the transfer, then the restart wait with a step every second.
        ASSERT_EQ(cb.stepsAtBegin, (std::vector<int>{0, 0}));
        EXPECT_EQ(cb.ends, 2);
        const uint64_t restartMs = end - cb.beganAt[1];
        EXPECT_GE(restartMs, c.waitMs);
        EXPECT_LT(restartMs, c.waitMs + 1000);
        std::vector<intptr_t> restart;
        const uint32_t seconds = c.waitMs / 1000;
        for (uint32_t s = 1; s <= seconds; ++s) {
            restart.push_back(static_cast<intptr_t>(s * 100 / (c.device == sonde_ ? 35 : 100)));
        }
        restart.push_back(100);
        ASSERT_GE(cb.values.size(), restart.size());
        EXPECT_EQ(std::vector<intptr_t>(cb.values.end() - static_cast<std::ptrdiff_t>(restart.size()), cb.values.end()),
                  restart);
    }
}

TEST_F(FileTransferTest, AnImageThatWouldSendNoBlockIsRefusedBeforeProgramming)
{
    WriteBytes(Local("header-only.bin"), Pattern(8192));
    WriteBytes(Local("empty.bin"), {});
    EXPECT_EQ(session_.UploadFirmware(Local("header-only.bin"), nullptr), kTkErrFileRead);
    EXPECT_EQ(session_.UploadFirmware(Local("missing.bin"), nullptr), kTkErrFileOpen);
    Select(sonde_);
    EXPECT_EQ(session_.UploadFirmware(Local("empty.bin"), nullptr), kTkErrFileRead);
    EXPECT_EQ(FramesOf(kTkCmdWriteBlock).size(), 0u);
    EXPECT_EQ(FramesOf(kTkCmdProgramImage).size(), 0u);
}

TEST_F(FileTransferTest, ProgrammingIsSentOnceAndTheDeviceThenStaysSilent)
{
    UseSimulatedClock(50, 2);
    Select(sonde_);
    wv::sim::WithFiles(*sonde_, [](wv::sim::SimFileSystem& files) { files.programmingMs = 60000; });
    wv::sim::SetDeviceFile(*sonde_, "D2", Bytes(8, 1));

    // The device answers; it programs itself and hears nothing while it restarts.
    ASSERT_EQ(session_.SendCommand208(7942, nullptr), 0);
    uint32_t size = 0;
    EXPECT_EQ(session_.GetFileSize("D2", &size, nullptr), kTkErrNoReply);

    // A 208 without an answer is not sent again, and the wait is still kept.
    RecordingCallback cb;
    const uint64_t start = clock_->NowMs();
    EXPECT_EQ(session_.SendCommand208(7942, &cb), kTkErrNoReply);
    EXPECT_GE(clock_->NowMs() - start, 35000u);
    EXPECT_EQ(FramesOf(kTkCmdProgramImage).size(), 2u);
    EXPECT_EQ(cb.values.back(), 100);
    EXPECT_EQ(cb.ends, 1);
}

TEST_F(FileTransferTest, ADownloadReportsOncePerChunkWithTheBytesSoFarNotWhileAChunkWaits)
{
    UseSimulatedClock();
    const Bytes device = Pattern(2000, 9);
    wv::sim::SetDeviceFile(*logger_, "04", device);
    // The second chunk is answered only when asked again: a whole chunk time-out of wait
    // steps passes first.
    wv::sim::SilenceChunksFrom(*logger_, 1, 1);
    RecordingCallback cb;
    ASSERT_EQ(session_.DownloadFile("04", Local("t04.bin"), &cb), 0);
    EXPECT_EQ(ReadBytes(Local("t04.bin")), device);

    // One Progress per chunk received: the bytes so far, in 256-byte steps.
    std::vector<intptr_t> expected;
    const auto asked = wv::sim::ChunkRequests(*logger_);
    ASSERT_GE(asked.size(), 3u);
    EXPECT_FALSE(asked[1].answered);
    EXPECT_EQ(asked[2].offset, asked[1].offset);
    for (const auto& r : asked) {
        if (r.answered) {
            expected.push_back(static_cast<intptr_t>((r.offset + r.served) / 256));
        }
    }
    EXPECT_EQ(cb.values, expected);
    EXPECT_EQ(cb.values.back(), 2000 / 256);
    EXPECT_EQ(cb.stepsAtBegin, std::vector<int>{2000 / 256});
    EXPECT_EQ(cb.ends, 1);
}

} // namespace
