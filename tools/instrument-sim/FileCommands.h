#pragma once
// The device side of file transfer and firmware upload: a simulated device's file system
// (files named by two characters), its flash pages and firmware staging area, and the
// commands that reach them:
//   223  file size        request "2(c)" name            reply "l" size
//   225  read file        request "2(c)li" name, offset, length   reply the bytes, raw
//   220  write block      request "ii" page, offset in page, then the data bytes   no body
//   208  program image    request "i" first page of the staged image   no body; the
//                         device then programs itself and answers nothing for a while;
//                         afterwards it reports the firmware version it was given to
//                         take on (firmwareAfter), when one was
//
// The flash geometry (page size, page count, staging area) is the device model's
// (comm/protocol/TkDeviceModels.h). Pages never written read as 0xFF.
//
// Tests set files, let them grow while a download runs, read back what the host asked
// for (every chunk request with its offset and length, every block written, every
// programming request) and compare the staged flash bytes with an image. Faults of their
// own on top of the simulator's Fault list: a chunk reply that repeats the previous chunk,
// one that brings more of the file than asked for, and a device that falls silent after a
// number of chunk requests; and for the firmware upload a programming request answered with
// an error status (nothing programmed), block writes refused, and a device that stays silent
// once it has restarted. An empty chunk body or one padded beyond what the file gives
// comes from the simulator's faults (EmptyChunk, OversizedChunk).
//
// Every function here locks the simulator's mutex; the handlers run with it held.

#include "comm/protocol/FileRecords.h"
#include "comm/protocol/TkDeviceModels.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace wv::sim {

// Statuses of the file commands.
constexpr uint16_t kStatusNoSuchFile = 2;    // the file is not on the device
constexpr uint16_t kStatusBadRequest = 3;    // malformed body, a block outside its page or the flash
constexpr uint16_t kStatusFlashWriteFailed = 4;  // a block write the flash refused (a fault)

struct ChunkRequest {
    std::string name;
    uint32_t offset = 0;
    uint16_t length = 0;      // as requested
    size_t served = 0;        // body bytes answered (before the simulator's faults)
    bool answered = false;    // false: the device kept silent
    bool replayed = false;    // answered with the previous chunk's bytes
};

struct BlockWrite {
    uint16_t page = 0;
    uint16_t offset = 0;
    size_t length = 0;
    bool accepted = false;
};

struct ProgramRequest {
    uint16_t page = 0;
    uint64_t atMs = 0;        // wv::SystemClock time it was heard
};

// A device's files and flash (SimDevice::State<SimFileSystem>()).
struct SimFileSystem {
    std::map<std::string, std::vector<uint8_t>> files;
    // Bytes appended to a file after every chunk of it that is served (a test that keeps
    // logging while it is downloaded).
    std::map<std::string, size_t> growthPerChunk;

    std::map<uint32_t, std::vector<uint8_t>> flash;  // pages written so far

    // Observations.
    std::vector<std::string> sizeRequests;
    std::vector<ChunkRequest> chunkRequests;
    std::vector<BlockWrite> blockWrites;
    std::vector<ProgramRequest> programRequests;

    // Faults. Chunk requests are counted from 0 in the order heard (chunkRequests).
    std::set<size_t> replayAt;          // these requests get the previous chunk's bytes again
    // These requests get this many bytes more than asked for: the file's following bytes,
    // and 0xFF (erased flash) past its end.
    std::map<size_t, uint32_t> longerAt;
    size_t silentFrom = std::numeric_limits<size_t>::max();  // from this request on: no reply
    int silentCount = kForever;         // for this many requests (kForever: all following)
    uint32_t programmingMs = 2000;      // silence of every file command after 208
    uint64_t programmingUntilMs = 0;

    // Firmware upload. The version (hundredths) the device reports once it has programmed
    // an image; none keeps the version it had.
    std::optional<uint16_t> firmwareAfter;
    // Faults: a programming request answered with this status (0: none) and nothing
    // programmed; block writes refused with kStatusFlashWriteFailed, counted from 0 in the
    // order heard (blockWrites); after programming, the device answers nothing any more.
    uint16_t programStatus = 0;
    std::set<size_t> refuseBlockAt;
    bool silentAfterProgramming = false;

    std::vector<uint8_t> lastChunk;     // the body of the last chunk served
};

// Installs the handlers of 223, 225, 220 and 208 on device.
void InstallFileCommands(SimDevice& device);

// Runs fn on device's file system with the simulator's mutex held.
void WithFiles(SimDevice& device, const std::function<void(SimFileSystem&)>& fn);

// Files.
void SetDeviceFile(SimDevice& device, const std::string& name, std::vector<uint8_t> content);
void AppendDeviceFile(SimDevice& device, const std::string& name, const std::vector<uint8_t>& bytes);
void RemoveDeviceFile(SimDevice& device, const std::string& name);
std::vector<uint8_t> DeviceFile(SimDevice& device, const std::string& name);

// Observations (copies).
std::vector<ChunkRequest> ChunkRequests(SimDevice& device);
std::vector<BlockWrite> BlockWrites(SimDevice& device);
std::vector<ProgramRequest> ProgramRequests(SimDevice& device);
void ClearFileObservations(SimDevice& device);

// length bytes of flash from the start of page on, across pages (0xFF where never written).
std::vector<uint8_t> ReadFlash(SimDevice& device, uint32_t page, size_t length);

// Faults.
void ReplayChunkAt(SimDevice& device, size_t requestIndex);
void SilenceChunksFrom(SimDevice& device, size_t requestIndex, int count = kForever);
// Chunk replies without a body, or with extraBytes more than the file gives.
Fault EmptyChunk(int count = 1);
Fault OversizedChunk(uint32_t extraBytes = 4, int count = 1);

} // namespace wv::sim
