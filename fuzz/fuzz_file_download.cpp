// Feeds arbitrary device replies to a file download: the size reply (223), the chunk
// replies (225) with their repeats, oversized and empty bodies and device statuses, and
// the resume decision against local data, through the session, the link and an in-memory
// line on a simulated clock.
//
// Input: byte 0 picks the device model, byte 1 the local files before the download (bits
// 0-1: none, an empty local file, a local file with data, a partial file with data; bit 2:
// the data end in a "USERDATA" trailer; bit 3: a local file with the data as well as the
// partial file), byte 2 how many data bytes follow for them. Then one record per request
// the host writes: a control byte, a 16-bit length (most significant byte first, at most a
// frame's body) and the body. Control bits 0-1: 0 the reply, 1 silence (the request times
// out), 2 the reply with the device status in bits 2-7, 3 the reply twice in a row. When
// the records run out the device stays silent.
//
// What must hold whatever the device answers: the download ends; a successful one leaves
// the local file at the size the device reported (its trailer kept at the end) and no
// partial file; a failed one leaves the local file exactly as it was.

#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "comm/protocol/TkPacket.h"
#include "tests/comm/CommTestSupport.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

constexpr uint16_t kAddress = 77;
constexpr uint8_t kTypes[] = {21, 23, 25, 30};
constexpr size_t kTrailerSize = CTkSession::kTrailerSize;

fs::path g_home;

std::optional<std::vector<uint8_t>> ReadAll(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The device's side: answers each request the host writes with the next record.
class Device {
public:
    Device(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    void OnWrite(commtest::MemoryLine& line, const std::vector<uint8_t>& bytes)
    {
        // The request's command, from the frame behind the wake-up bytes.
        CTkPacket request(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder);
        bool complete = false;
        for (uint8_t b : bytes) {
            if (request.ReceiveByte(b) == 0) {
                complete = true;
                break;
            }
        }
        Check(complete);
        Check(request.GetAddress() == kAddress);
        ++requests;

        if (at_ + 3 > size_) {
            return;  // silent from here on
        }
        const uint8_t control = data_[at_];
        const size_t length = (size_t{data_[at_ + 1]} << 8) | data_[at_ + 2];
        at_ += 3;
        const size_t n = std::min({length, size_ - at_, TkPacketFrame::MaxBody});
        wv::sim::FrameFields f;
        f.source = kAddress;
        f.replyCommand = request.GetCommand();
        f.body.assign(data_ + at_, data_ + at_ + n);
        at_ += n;
        switch (control & 3) {
        case 1:
            return;
        case 2:
            f.command = static_cast<uint16_t>(control >> 2);
            break;
        default:
            break;
        }
        const std::vector<uint8_t> frame = wv::sim::EncodeFrame(f);
        line.bursts.push_back(frame);
        if ((control & 3) == 3) {
            line.bursts.push_back(frame);
        }
    }

    size_t requests = 0;

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (fs::temp_directory_path() / "wv-fuzz-download-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    g_home = pattern;
    // The download's time-outs are settings of the program home.
    setenv("WELLVOX_HOME", g_home.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3) {
        return 0;
    }
    const uint8_t type = kTypes[data[0] % std::size(kTypes)];
    const uint8_t files = data[1];
    size_t at = 3;
    const size_t dataLength = std::min<size_t>(data[2], size - at);
    std::vector<uint8_t> local(data + at, data + at + dataLength);
    at += dataLength;
    if (files & 4) {
        std::vector<uint8_t> trailer(kTrailerSize, 0x5A);
        std::memcpy(trailer.data(), CTkSession::kTrailerTag, std::strlen(CTkSession::kTrailerTag));
        local.insert(local.end(), trailer.begin(), trailer.end());
    }

    const fs::path localPath = g_home / "download.bin";
    const fs::path partPath = CTkSession::PartialDownloadPath(localPath.string());
    std::error_code ec;
    fs::remove(localPath, ec);
    fs::remove(partPath, ec);
    switch (files & 3) {
    case 1: WriteAll(localPath, {}); break;
    case 2: WriteAll(localPath, local); break;
    case 3: WriteAll(partPath, local); break;
    default: break;
    }
    if (files & 8) {
        WriteAll(localPath, local);
    }
    const std::optional<std::vector<uint8_t>> before = ReadAll(localPath);
    // The data the download goes on from: none for an empty local file, else the partial
    // file, else the local file. A trailer at their end stays at the end.
    std::vector<uint8_t> resumed;
    if (!(before && before->empty())) {
        if (auto part = ReadAll(partPath)) {
            resumed = std::move(*part);
        } else if (before) {
            resumed = *before;
        }
    }
    const bool trailerKept = resumed.size() >= kTrailerSize &&
                             std::memcmp(resumed.data() + resumed.size() - kTrailerSize, CTkSession::kTrailerTag,
                                         std::strlen(CTkSession::kTrailerTag)) == 0;

    wv::ManualClock clock(1000);
    wv::ScopedClock useClock(clock);
    Device device(data + at, size - at);
    int code = 0;
    uint32_t reported = 0;
    {
        CTkSession session;
        auto link = std::make_unique<CTkLink>();
        auto owned = std::make_unique<commtest::MemoryLine>();
        commtest::MemoryLine* line = owned.get();
        line->onWrite = [&](const std::vector<uint8_t>& bytes) { device.OnWrite(*line, bytes); };
        Check(link->Attach(TkLinkKind::Direct, std::move(owned)) == 0);
        Check(session.Open(std::move(link)) == 0);
        Check(session.TalkTo(kAddress, type) == 0);
        code = session.DownloadFile("01", localPath.string(), nullptr);
        reported = session.LastDownloadStats().fileSize;
        session.Close();
    }
    Check(device.requests >= 1);

    const std::optional<std::vector<uint8_t>> after = ReadAll(localPath);
    if (code == 0) {
        Check(after.has_value());
        Check(!fs::exists(partPath, ec));
        if (trailerKept) {
            Check(after->size() == uint64_t{reported} + kTrailerSize);
            Check(std::equal(resumed.end() - kTrailerSize, resumed.end(), after->end() - kTrailerSize));
        } else {
            Check(after->size() == reported);
        }
    } else {
        Check(after == before);
    }
    return 0;
}
