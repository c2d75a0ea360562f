// The device side of file transfer and firmware upload (see FileCommands.h).

#include "tools/instrument-sim/FileCommands.h"

#include "comm/protocol/TkPacket.h"
#include "tools/instrument-sim/DeviceCommands.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>

namespace wv::sim {

namespace {

constexpr const char* kNameLayout = "2(c)";
constexpr const char* kReadLayout = "2(c)li";
constexpr const char* kBlockLayout = "ii";
constexpr const char* kProgramLayout = "i";
constexpr const char* kSizeLayout = "l";



uint64_t NowMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

SimFileSystem& FilesOf(SimDevice& device) { return device.State<SimFileSystem>(); }

// True while the device programs a new image: it hears nothing then.
bool Programming(const SimFileSystem& fs) { return NowMs() < fs.programmingUntilMs; }

std::string NameOf(const std::vector<uint8_t>& body)
{
    return std::string(reinterpret_cast<const char*>(body.data()), 2);
}

SimReply FileSize(SimDevice& device, const SimRequest& request)
{
    SimFileSystem& fs = FilesOf(device);
    if (Programming(fs)) {
        return SimReply::None();
    }
    std::vector<uint8_t> body;
    if (!request.Decode(kNameLayout, body)) {
        return SimReply::Status(kStatusBadRequest);
    }
    const std::string name = NameOf(body);
    fs.sizeRequests.push_back(name);
    auto file = fs.files.find(name);
    if (file == fs.files.end()) {
        return SimReply::Status(kStatusNoSuchFile);
    }
    TkBodyWriter w;
    w.U32(static_cast<uint32_t>(file->second.size()));
    return SimReply::Answer(w.Take(), kSizeLayout);
}

SimReply ReadFile(SimDevice& device, const SimRequest& request)
{
    SimFileSystem& fs = FilesOf(device);
    if (Programming(fs)) {
        return SimReply::None();
    }
    std::vector<uint8_t> body;
    if (!request.Decode(kReadLayout, body)) {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyReader r(body);
    r.U8();
    r.U8();
    ChunkRequest chunk;
    chunk.name = NameOf(body);
    chunk.offset = r.U32();
    chunk.length = r.U16();
    const size_t index = fs.chunkRequests.size();
    fs.chunkRequests.push_back(chunk);
    ChunkRequest& seen = fs.chunkRequests.back();

    if (index >= fs.silentFrom &&
        (fs.silentCount == kForever || index - fs.silentFrom < static_cast<size_t>(fs.silentCount))) {
        return SimReply::None();
    }
    auto file = fs.files.find(chunk.name);
    if (file == fs.files.end()) {
        seen.answered = true;
        return SimReply::Status(kStatusNoSuchFile);
    }
    std::vector<uint8_t> out;
    if (fs.replayAt.count(index) != 0 && !fs.lastChunk.empty()) {
        out = fs.lastChunk;
        seen.replayed = true;
    } else {
        const std::vector<uint8_t>& data = file->second;
        auto longer = fs.longerAt.find(index);
        const size_t extra = longer != fs.longerAt.end() ? longer->second : 0;
        // A reply carries at most one frame's body.
        const size_t want = std::min<size_t>(chunk.length + extra, TkPacketFrame::MaxBody);
        if (chunk.offset < data.size()) {
            const size_t n = std::min(want, data.size() - chunk.offset);
            out.assign(data.begin() + static_cast<std::ptrdiff_t>(chunk.offset),
                       data.begin() + static_cast<std::ptrdiff_t>(chunk.offset + n));
        }
        if (extra > 0) {
            out.resize(want, 0xFF);  // flash past the end of the file reads erased
        }
        fs.lastChunk = out;
    }
    seen.answered = true;
    seen.served = out.size();

    auto growth = fs.growthPerChunk.find(chunk.name);
    if (growth != fs.growthPerChunk.end()) {
        std::vector<uint8_t>& data = file->second;
        for (size_t i = 0; i < growth->second; ++i) {
            data.push_back(static_cast<uint8_t>(data.size() * 7 + 1));
        }
    }
    return SimReply::Answer(std::move(out));
}

SimReply WriteBlock(SimDevice& device, const SimRequest& request)
{
    SimFileSystem& fs = FilesOf(device);
    if (Programming(fs)) {
        return SimReply::None();
    }
    std::vector<uint8_t> head;
    if (!request.DecodePrefix(kBlockLayout, head)) {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyReader r(head);
    BlockWrite block;
    block.page = r.U16();
    block.offset = r.U16();
    block.length = request.body.size() - head.size();
    const uint32_t pageSize = TkDeviceModelOf(device.Type()).flashPageSize;
    const bool fits = block.length <= kTkMaxUploadBlock && block.offset + block.length <= pageSize &&
                      block.page < TkDeviceModelOf(device.Type()).flashPageCount;
    const bool refused = fs.refuseBlockAt.count(fs.blockWrites.size()) != 0;
    block.accepted = fits && !refused;
    fs.blockWrites.push_back(block);
    if (!fits) {
        return SimReply::Status(kStatusBadRequest);
    }
    if (refused) {
        return SimReply::Status(kStatusFlashWriteFailed);
    }
    std::vector<uint8_t>& page = fs.flash[block.page];
    if (page.size() != pageSize) {
        page.assign(pageSize, 0xFF);
    }
    // The data follow the two words unchanged (never byte-swapped).
    std::copy(request.body.begin() + static_cast<std::ptrdiff_t>(head.size()), request.body.end(),
              page.begin() + block.offset);
    return SimReply::Answer();
}

SimReply ProgramImage(SimDevice& device, const SimRequest& request)
{
    SimFileSystem& fs = FilesOf(device);
    if (Programming(fs)) {
        return SimReply::None();
    }
    std::vector<uint8_t> body;
    if (!request.Decode(kProgramLayout, body)) {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyReader r(body);
    ProgramRequest program;
    program.page = r.U16();
    program.atMs = NowMs();
    fs.programRequests.push_back(program);
    if (program.page >= TkDeviceModelOf(device.Type()).flashPageCount) {
        return SimReply::Status(kStatusBadRequest);
    }
    if (fs.programStatus != 0) {
        return SimReply::Status(fs.programStatus);
    }
    // It answers, then restarts with the new image and hears nothing for a while.
    fs.programmingUntilMs = program.atMs + fs.programmingMs;
    if (fs.firmwareAfter) {
        DeviceRecordsOf(device).firmwareHundredths = *fs.firmwareAfter;
    }
    if (fs.silentAfterProgramming) {
        // This answer still goes out; from then on the file commands and the information
        // read, the host's first question after the restart, go unanswered.
        fs.programmingUntilMs = std::numeric_limits<uint64_t>::max();
        device.InjectFault(Fault::Silence(kForever).ForCommand(kTkCmdGetDeviceInfo));
    }
    return SimReply::Answer();
}

} // namespace


void InstallFileCommands(SimDevice& device)
{
    device.SetHandler(kTkCmdFileSize, FileSize);
    device.SetHandler(kTkCmdReadFile, ReadFile);
    device.SetHandler(kTkCmdWriteBlock, WriteBlock);
    device.SetHandler(kTkCmdProgramImage, ProgramImage);
}

void WithFiles(SimDevice& device, const std::function<void(SimFileSystem&)>& fn)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    fn(FilesOf(device));
}

void SetDeviceFile(SimDevice& device, const std::string& name, std::vector<uint8_t> content)
{
    WithFiles(device, [&](SimFileSystem& fs) { fs.files[name] = std::move(content); });
}

void AppendDeviceFile(SimDevice& device, const std::string& name, const std::vector<uint8_t>& bytes)
{
    WithFiles(device, [&](SimFileSystem& fs) {
        std::vector<uint8_t>& file = fs.files[name];
        file.insert(file.end(), bytes.begin(), bytes.end());
    });
}

void RemoveDeviceFile(SimDevice& device, const std::string& name)
{
    WithFiles(device, [&](SimFileSystem& fs) { fs.files.erase(name); });
}

std::vector<uint8_t> DeviceFile(SimDevice& device, const std::string& name)
{
    std::vector<uint8_t> out;
    WithFiles(device, [&](SimFileSystem& fs) {
        auto file = fs.files.find(name);
        if (file != fs.files.end()) {
            out = file->second;
        }
    });
    return out;
}

std::vector<ChunkRequest> ChunkRequests(SimDevice& device)
{
    std::vector<ChunkRequest> out;
    WithFiles(device, [&](SimFileSystem& fs) { out = fs.chunkRequests; });
    return out;
}

std::vector<BlockWrite> BlockWrites(SimDevice& device)
{
    std::vector<BlockWrite> out;
    WithFiles(device, [&](SimFileSystem& fs) { out = fs.blockWrites; });
    return out;
}

std::vector<ProgramRequest> ProgramRequests(SimDevice& device)
{
    std::vector<ProgramRequest> out;
    WithFiles(device, [&](SimFileSystem& fs) { out = fs.programRequests; });
    return out;
}

void ClearFileObservations(SimDevice& device)
{
    WithFiles(device, [](SimFileSystem& fs) {
        fs.sizeRequests.clear();
        fs.chunkRequests.clear();
        fs.blockWrites.clear();
        fs.programRequests.clear();
    });
}

std::vector<uint8_t> ReadFlash(SimDevice& device, uint32_t page, size_t length)
{
    std::vector<uint8_t> out;
    out.reserve(length);
    WithFiles(device, [&](SimFileSystem& fs) {
        const uint32_t pageSize = TkDeviceModelOf(device.Type()).flashPageSize;
        for (uint32_t p = page; out.size() < length; ++p) {
            const size_t n = std::min<size_t>(pageSize, length - out.size());
            auto stored = fs.flash.find(p);
            if (stored == fs.flash.end()) {
                out.insert(out.end(), n, 0xFF);
            } else {
                out.insert(out.end(), stored->second.begin(), stored->second.begin() + static_cast<std::ptrdiff_t>(n));
            }
        }
    });
    return out;
}

void ReplayChunkAt(SimDevice& device, size_t requestIndex)
{
    WithFiles(device, [&](SimFileSystem& fs) { fs.replayAt.insert(requestIndex); });
}

void SilenceChunksFrom(SimDevice& device, size_t requestIndex, int count)
{
    WithFiles(device, [&](SimFileSystem& fs) {
        fs.silentFrom = requestIndex;
        fs.silentCount = count;
    });
}

Fault EmptyChunk(int count)
{
    return Fault::Short(0xFFFFFFFFu, count).ForCommand(kTkCmdReadFile);
}

Fault OversizedChunk(uint32_t extraBytes, int count)
{
    return Fault::Oversized(extraBytes, count).ForCommand(kTkCmdReadFile);
}

} // namespace wv::sim
