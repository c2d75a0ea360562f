// File transfer and firmware upload of the current command set. Their codes and layouts
// are in comm/protocol/FileRecords.h, page sizes, staging pages, chunk lengths and restart
// waits in the device models (comm/protocol/TkDeviceModels.h).
//
// A device keeps its logged data and some settings as files named by two characters in
// its flash memory, and takes new firmware as an image written into a staging area of
// that memory. These session methods read a device file's size (223), read a small file
// whole (225), download a large file chunk by chunk into a local file (225), write a local
// file into flash pages block by block (220), and tell the device to program the uploaded
// image (208).
//
// Downloads work on a partial file, "<local>.part", and put it in place of the local file
// only once the download has finished:
//  - the partial file left by an interrupted download is what the next download resumes;
//  - without one, an existing local file (an earlier, complete download of the same device
//    file) is copied to the partial file and resumed from there, so the local file stays
//    as it was until the new download is complete;
//  - an empty local file asks for a fresh download (a partial file is then discarded).
// Whether the local bytes are kept is decided by the device file's start: the first chunk
// is compared with the first bytes of the local data. When they agree, the download goes on
// at the end of the local data; otherwise it starts over at offset 0 and the old tail is
// cut off. A "USERDATA" block at the end of the local file stays at the end of the result,
// also when a download fails or is cancelled.

#include "comm/TkSession.h"

#include "comm/TkLink.h"
#include "comm/protocol/FileRecords.h"
#include "comm/protocol/TkDeviceModels.h"
#include "comm/protocol/TkRequest.h"
#include "foundation/AppUtils.h"
#include "foundation/Registry.h"
#include "platform/Clock.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---- Requests --------------------------------------------------------------------------

constexpr uint32_t kBlockTimeoutMs = 3000;
constexpr uint32_t kProgramTimeoutMs = 5000;

// ---- Downloads -------------------------------------------------------------------------

// The chunk time-outs of downloads (ms): per-machine settings, with their defaults.
constexpr const char* kDownloadSection = "QorLib";
constexpr const char* kDownloadTimeoutMinName = "FileDownloadTimeoutMin(ms)";
constexpr const char* kDownloadTimeoutMaxName = "FileDownloadTimeoutMax(ms)";
constexpr uint32_t kDownloadTimeoutMinDefault = 3000;
constexpr uint32_t kDownloadTimeoutMaxDefault = 10000;

// Chunk lengths (by device model). The first chunk is at most the model's first length;
// later ones alternate around its base (+3 after an odd number of chunks received, -3
// after an even one), so two chunks in a row never have the same length and a reply that
// repeats the last chunk shows. The rest of the file goes in one chunk when it is below
// the base + 1.
constexpr uint32_t kChunkSwing = 3;

// The longest chunk reply taken. The longest chunk asked for is 263 bytes; a device may
// send a little more of the file than asked, but a longer body is no chunk of it.
constexpr size_t kMaxChunkBody = 281;
// Every chunk request is sent at most four times.
constexpr int kChunkResends = 3;
// A reply equal to the last chunk written costs this much more time-out per attempt.
constexpr uint32_t kDuplicateTimeoutStepMs = 1000;
// Chunk replies in a row that bring nothing (empty, or a repeat of the last chunk) end
// the download: a device that keeps answering so would otherwise hold it forever.
constexpr int kMaxFruitlessReplies = 8;
// A repeat of the last chunk that is exactly as long as the request may be the file's
// own content (a file of constant records): when the same offset gives the same bytes
// this many times in a row, they are taken as data.
constexpr int kSameAnswersTaken = 3;
// Paced downloads (by device model) pause between chunks: as long as the first chunk took,
// at most this long.
constexpr uint32_t kMaxChunkPauseMs = 5000;

constexpr const char* kPartialSuffix = ".part";

// ---- Local files -----------------------------------------------------------------------

// The size of an open file, or -1.
int64_t SizeOf(FILE* file)
{
    if (FileSeek(file, 0, 2) != 0) {
        return -1;
    }
    return FileTell(file);
}

// Reads length bytes at offset; false unless all of them were read.
bool ReadAt(FILE* file, int64_t offset, void* buffer, size_t length)
{
    if (FileSeek(file, offset, 0) != 0) {
        return false;
    }
    return length == 0 || FileRead(buffer, 1, length, file) == length;
}

// Writes length bytes at the file's position and pushes them to the system, so a full
// disk shows here and not only at the close.
bool WriteOut(FILE* file, const void* data, size_t length)
{
    if (length > 0 && FileWrite(data, 1, length, file) != length) {
        return false;
    }
    return std::fflush(file) == 0;
}

// Cuts (or extends) the file at path, open as file, to size bytes and positions it there.
bool ResizeTo(FILE* file, const std::string& path, int64_t size)
{
    if (std::fflush(file) != 0) {
        return false;
    }
    if (SizeOf(file) != size) {
        std::error_code ec;
        fs::resize_file(path, static_cast<uintmax_t>(size), ec);
        if (ec) {
            return false;
        }
    }
    return FileSeek(file, size, 0) == 0;
}

// ---- Reply handlers --------------------------------------------------------------------

// Keeps a successful reply's body as it came (raw bytes, nothing converted).
class CRawBodyReply : public CTkReplyHandler {
public:
    explicit CRawBodyReply(CCallback* callback = nullptr) : CTkReplyHandler(callback) {}

    void OnReply(CTkPacket& packet) override
    {
        const uint8_t* data = packet.GetBodyData();
        body.assign(data, data + packet.GetBodyLength());
    }

    std::vector<uint8_t> body;
};

} // namespace

// ---- File size and small files ----------------------------------------------------------

std::string CTkSession::PartialDownloadPath(const std::string& localPath)
{
    return localPath + kPartialSuffix;
}

ProtocolResultCode CTkSession::GetFileSize(std::string_view name, uint32_t* size, CCallback* callback)
{
    if (size == nullptr || !TkIsDeviceFileName(name)) {
        return kTkErrMissingRecord;
    }
    return RunReadInto(CTkRequest(kTkCmdFileSize, name.data(), 2, kTkFileNameLayout), size, TkDecodeFileSizeReply,
                       callback);
}

ProtocolResultCode CTkSession::ReadFileD2(uint8_t* buffer, size_t capacity)
{
    if (buffer == nullptr) {
        return kTkErrMissingRecord;
    }
    uint32_t size = 0;
    int result = GetFileSize(kTkD2FileName, &size, nullptr);
    if (result != 0) {
        return result;
    }
    // The whole file comes in one reply, so it must fit a frame's body as well as the
    // caller's buffer.
    if (capacity < size || size > TkPacketFrame::MaxBody) {
        return kTkErrNoMemory;
    }
    CTkRequest request(kTkCmdReadFile, EncodeReadFileRequest(kTkD2FileName, 0, static_cast<uint16_t>(size)),
                       kTkReadFileLayout);
    CRawBodyReply reply;
    result = RunCommand(request, reply, nullptr);
    if (result != 0) {
        return result;
    }
    if (reply.body.empty()) {
        return kTkErrNoMemory;
    }
    // A body of another length than the file's is not the file: the caller reads it from
    // its end.
    if (reply.body.size() != size) {
        return kTkErrUnexpectedRecord;
    }
    std::memcpy(buffer, reply.body.data(), reply.body.size());
    return 0;
}

// ---- Download ---------------------------------------------------------------------------

ProtocolResultCode CTkSession::DownloadFile(std::string_view name, const std::string& localPath, CCallback* callback)
{
    m_lastDownload = DownloadStats{};
    DownloadStats& stats = m_lastDownload;
    if (!TkIsDeviceFileName(name) || localPath.empty()) {
        return kTkErrMissingRecord;
    }
    if (IsBusy()) {
        return kTkErrLinkBusy;
    }

    // The chunk time-outs, written back at once so the user finds them in the settings.
    uint32_t timeoutMs = ReadRegDword(kDownloadSection, kDownloadTimeoutMinName, kDownloadTimeoutMinDefault);
    const uint32_t maxTimeoutMs = ReadRegDword(kDownloadSection, kDownloadTimeoutMaxName, kDownloadTimeoutMaxDefault);
    WriteRegDword(kDownloadSection, kDownloadTimeoutMinName, timeoutMs);
    WriteRegDword(kDownloadSection, kDownloadTimeoutMaxName, maxTimeoutMs);
    // A time-out of 0 would mean a single attempt with no time to answer.
    if (timeoutMs == 0) {
        timeoutMs = kDownloadTimeoutMinDefault;
    }

    // The local side is made ready before anything is asked of the device, so a path that
    // cannot become the local file fails at once and not after the whole transfer. A path
    // that names a folder (or anything else but a file) can never be replaced by the
    // finished download.
    const std::string partPath = PartialDownloadPath(localPath);
    std::error_code ec;
    const fs::file_status localStatus = fs::status(localPath, ec);
    if (fs::exists(localStatus) && !fs::is_regular_file(localStatus)) {
        return kTkErrFileOpen;
    }
    const bool haveLocal = fs::is_regular_file(localPath, ec);
    const bool localEmpty = haveLocal && fs::file_size(localPath, ec) == 0 && !ec;
    bool createdPart = false;
    UniqueFile file;
    if (localEmpty) {
        file.reset(FileOpen(partPath, "w+b"));
        createdPart = true;
    } else {
        const bool havePart = fs::exists(fs::symlink_status(partPath, ec));
        if (!havePart && haveLocal) {
            if (CopyFileBlocks(localPath, partPath) != 1) {
                return kTkErrFileOpen;
            }
            createdPart = true;
        }
        file.reset(FileOpen(partPath, "r+b"));
        if (!file && !havePart && !haveLocal) {
            file.reset(FileOpen(partPath, "w+b"));
            createdPart = true;
        }
    }
    // Before anything is received, a failure leaves no partial file made for this download.
    auto abandon = [&](int result) {
        file.reset();
        if (createdPart) {
            fs::remove(partPath, ec);
        }
        return result;
    };
    if (!file) {
        return abandon(kTkErrFileOpen);
    }

    // The local data: a trailer at the end is kept aside; a file shorter than a trailer
    // has none.
    std::array<uint8_t, kTrailerSize> trailer{};
    bool haveTrailer = false;
    const int64_t localSize = SizeOf(file.get());
    if (localSize < 0) {
        return abandon(kTkErrFileSeek);
    }
    int64_t resumeLength = localSize;
    if (localSize >= static_cast<int64_t>(kTrailerSize)) {
        const int64_t at = localSize - static_cast<int64_t>(kTrailerSize);
        if (!ReadAt(file.get(), at, trailer.data(), trailer.size())) {
            return abandon(kTkErrFileRead);
        }
        if (std::memcmp(trailer.data(), kTrailerTag, std::strlen(kTrailerTag)) == 0) {
            haveTrailer = true;
            resumeLength = at;
        }
    }
    const TkDeviceModel& model = TkDeviceModelOf(m_deviceType);
    const TkDownloadChunks sizes = model.downloadChunks;
    // As much of the local start as a first chunk can bring.
    std::vector<uint8_t> localHead(static_cast<size_t>(std::min<int64_t>(resumeLength, kMaxChunkBody)));
    if (!ReadAt(file.get(), 0, localHead.data(), localHead.size())) {
        return abandon(kTkErrFileRead);
    }

    // The device file's size.
    uint32_t fileSize = 0;
    int code = GetFileSize(name, &fileSize, nullptr);
    if (code != 0) {
        return abandon(code);
    }
    stats.fileSize = fileSize;

    BusyScope busy(*this);
    if (!busy.Ok()) {
        return abandon(kTkErrLinkBusy);
    }

    // One step per 256 bytes.
    if (callback) {
        callback->Begin(static_cast<int>(fileSize / 256));
    }

    // Some models pace their chunks.
    wv::Clock& clock = wv::GetClock();
    const bool paced = model.pacedDownload;
    const uint64_t startTick = clock.NowMs();
    uint32_t pauseMs = 0;
    bool pauseKnown = false;

    // The chunks.
    uint32_t offset = 0;
    int64_t writePos = 0;      // where the next data go in the partial file
    bool decided = false;      // the first chunk has decided between resuming and starting over
    uint32_t chunksReceived = 0;
    std::vector<uint8_t> lastWritten;
    int fruitless = 0;
    int sameAnswers = 0;       // identical answers in a row for the offset below
    uint32_t sameOffset = 0;

    while (code == 0 && offset < fileSize) {
        const uint32_t rest = fileSize - offset;
        uint32_t length = 0;
        if (offset == 0) {
            length = std::min(rest, sizes.first);
        } else if (rest < sizes.base + 1) {
            length = rest;
        } else {
            length = chunksReceived % 2 == 1 ? sizes.base + kChunkSwing : sizes.base - kChunkSwing;
        }

        CTkRequest request(kTkCmdReadFile, EncodeReadFileRequest(name, offset, static_cast<uint16_t>(length)),
                           kTkReadFileLayout);
        CRawBodyReply reply;
        code = request.GetBuildResult();
        if (code == 0) {
            Transact(request, reply, timeoutMs, kChunkResends);
            // The caller hears of the download once per chunk (below), not while one waits.
            code = WaitUntilDone(reply);
        }
        ++stats.chunks;
        if (paced && !pauseKnown) {
            pauseMs = static_cast<uint32_t>(std::min<uint64_t>(clock.NowMs() - startTick, kMaxChunkPauseMs));
            pauseKnown = true;
        }
        if (code != 0) {
            break;
        }

        const std::vector<uint8_t>& body = reply.body;
        bool progress = false;
        bool take = false;
        if (body.empty()) {
            ++stats.empty;
        } else if (decided && body == lastWritten) {
            // The last chunk again (a reply the device sent twice, or an old one): the same
            // offset is asked for once more, with more time.
            ++stats.duplicates;
            if (timeoutMs < maxTimeoutMs) {
                timeoutMs += kDuplicateTimeoutStepMs;
            }
            sameAnswers = (sameAnswers > 0 && sameOffset == offset) ? sameAnswers + 1 : 1;
            sameOffset = offset;
            // Only a repeat as long as the request can be this offset's own data.
            take = body.size() == length && sameAnswers >= kSameAnswersTaken;
        } else if (body.size() > kMaxChunkBody) {
            // Far more than any chunk: not this offset's data. It is asked for again.
            ++stats.oversized;
        } else if (!decided) {
            // The first chunk: keep the local data when the device file starts with them.
            const size_t n = body.size();
            const bool resume = resumeLength > 0 && n <= static_cast<size_t>(resumeLength) &&
                                resumeLength <= static_cast<int64_t>(fileSize) &&
                                std::memcmp(body.data(), localHead.data(), n) == 0;
            decided = true;
            progress = true;
            if (resume) {
                if (!ResizeTo(file.get(), partPath, resumeLength)) {
                    code = kTkErrFileWrite;
                    break;
                }
                writePos = resumeLength;
                offset = static_cast<uint32_t>(resumeLength);
                stats.resumedAt = offset;
            } else {
                // Started over: the old data go, from offset 0.
                if (!ResizeTo(file.get(), partPath, 0)) {
                    code = kTkErrFileWrite;
                    break;
                }
                writePos = 0;
                take = true;
            }
        } else {
            take = true;
        }
        if (take) {
            // A body a little longer than asked for is taken whole (the device sent more of
            // the file), but nothing past the end of the file as the device reported it.
            const size_t n = std::min<size_t>(body.size(), fileSize - offset);
            if (!WriteOut(file.get(), body.data(), n)) {
                code = kTkErrFileWrite;
                break;
            }
            writePos += static_cast<int64_t>(n);
            stats.bytesWritten += static_cast<uint32_t>(n);
            lastWritten = body;
            offset += static_cast<uint32_t>(n);
            progress = true;
        }

        if (progress) {
            ++chunksReceived;
            fruitless = 0;
            sameAnswers = 0;
        } else if (++fruitless >= kMaxFruitlessReplies) {
            code = kTkErrUnexpectedRecord;
            break;
        }

        if (callback && callback->Progress(static_cast<intptr_t>(offset / 256)) != 0) {
            code = kTkErrCancelled;
            break;
        }
        if (paced && pauseMs > 0 && offset < fileSize) {
            WaitMs(pauseMs);
        }
    }
    stats.finalTimeoutMs = timeoutMs;

    if (callback) {
        callback->End();
    }

    // An empty device file: the local data go, the trailer stays.
    if (!decided && code == 0) {
        decided = true;
        if (!ResizeTo(file.get(), partPath, 0)) {
            code = kTkErrFileWrite;
        }
        writePos = 0;
    }
    if (decided) {
        // The trailer goes back behind the data, and nothing old stays after it.
        bool ok = FileSeek(file.get(), writePos, 0) == 0;
        if (ok && haveTrailer) {
            ok = WriteOut(file.get(), trailer.data(), trailer.size());
            stats.trailerKept = ok;
        }
        ok = ok && ResizeTo(file.get(), partPath, writePos + (haveTrailer ? static_cast<int64_t>(kTrailerSize) : 0));
        if (!ok && code == 0) {
            code = kTkErrFileWrite;
        }
    }
    FILE* raw = file.release();
    if (FileClose(raw) != 0 && code == 0) {
        code = kTkErrFileWrite;
    }

    if (code == 0) {
        fs::rename(partPath, localPath, ec);
        if (ec) {
            code = kTkErrFileWrite;
        }
    } else if (!decided && createdPart) {
        // Nothing was received: the partial file made for this download goes again.
        fs::remove(partPath, ec);
    }
    return code;
}

// ---- Upload -----------------------------------------------------------------------------

ProtocolResultCode CTkSession::UploadBlock(uint16_t page, uint16_t offsetInPage, size_t length, const uint8_t* data,
                            CCallback* callback)
{
    if (length > kTkMaxUploadBlock) {
        return kTkErrBlockTooLong;
    }
    if (data == nullptr && length > 0) {
        return kTkErrMissingRecord;
    }
    TkBodyWriter head;
    head.U16(page).U16(offsetInPage);
    return RunWrite(CTkRequest(kTkCmdWriteBlock, head.Data(), head.Size(), kTkWriteBlockLayout, data, length), callback,
                    kBlockTimeoutMs);
}

ProtocolResultCode CTkSession::UploadFile(const std::string& localPath, uint32_t startOffset, uint32_t length, uint16_t firstPage,
                           uint16_t offsetInFirstPage, CCallback* callback)
{
    const uint32_t pageSize = TkDeviceModelOf(m_deviceType).flashPageSize;
    UniqueFile file(FileOpen(localPath, "rb"));
    if (!file) {
        return kTkErrFileOpen;
    }
    const int64_t size = SizeOf(file.get());
    if (size < 0 || static_cast<int64_t>(startOffset) > size || FileSeek(file.get(), startOffset, 0) != 0) {
        return kTkErrFileSeek;
    }
    if (length == 0) {
        length = static_cast<uint32_t>(size - startOffset);
    }
    // The whole range must be there: a short read would send what was never in the file.
    if (static_cast<int64_t>(startOffset) + length > size) {
        return kTkErrFileRead;
    }
    // Every block must land inside a page, and every page number must fit the request.
    if (offsetInFirstPage >= pageSize ||
        (length > 0 && firstPage + (uint64_t{offsetInFirstPage} + length - 1) / pageSize > 0xFFFF)) {
        return kTkErrBlockTooLong;
    }

    if (callback) {
        callback->Begin(0);
    }
    uint32_t page = firstPage;
    uint32_t inPage = offsetInFirstPage;
    uint32_t remaining = length;
    int code = 0;
    std::array<uint8_t, kTkMaxUploadBlock> block{};
    while (remaining > 0 && code == 0) {
        uint32_t n = std::min<uint32_t>(remaining, kTkMaxUploadBlock);
        if (inPage != 0) {
            n = std::min(n, pageSize - inPage);
        }
        if (FileRead(block.data(), 1, n, file.get()) != n) {
            code = kTkErrFileRead;
            break;
        }
        if (callback && callback->Progress(static_cast<intptr_t>(uint64_t{length - remaining} * 100 / length)) != 0) {
            code = kTkErrCancelled;
            break;
        }
        code = UploadBlock(static_cast<uint16_t>(page), static_cast<uint16_t>(inPage), n, block.data(), nullptr);
        remaining -= n;
        if ((inPage + n) % pageSize == 0) {
            ++page;
            inPage = 0;
        } else {
            inPage += n;
        }
    }
    file.reset();
    if (callback) {
        callback->Progress(100);
        callback->End();
    }
    return code;
}

ProtocolResultCode CTkSession::UploadFirmware(const std::string& imagePath, CCallback* callback)
{
    const TkDeviceModel& model = TkDeviceModelOf(m_deviceType);
    const uint16_t page = model.stagingPage;
    const uint32_t skip = model.imageSkip;

    int64_t size = -1;
    {
        UniqueFile file(FileOpen(imagePath, "rb"));
        if (!file) {
            return kTkErrFileOpen;
        }
        size = SizeOf(file.get());
    }
    if (size < 0) {
        return kTkErrFileSeek;
    }
    // An image with nothing after the part the device does not take would leave the
    // staging area as it is, and the device would program whatever it holds.
    if (size <= static_cast<int64_t>(skip)) {
        return kTkErrFileRead;
    }
    const int code = UploadFile(imagePath, skip, 0, page, 0, callback);
    if (code != 0) {
        return code;
    }
    return SendCommand208(page, callback);
}

ProtocolResultCode CTkSession::SendCommand208(uint16_t page, CCallback* callback)
{
    if (IsBusy()) {
        return kTkErrLinkBusy;
    }
    CTkRequest request(kTkCmdProgramImage, TkBodyWriter().U16(page), kTkProgramImageLayout);
    if (request.GetBuildResult() != 0) {
        return request.GetBuildResult();
    }
    BusyScope busy(*this);
    if (!busy.Ok()) {
        return kTkErrLinkBusy;
    }
    if (callback) {
        callback->Begin(0);
    }
    CTkReplyHandler reply(callback);
    wv::Clock& clock = wv::GetClock();
    const uint64_t start = clock.NowMs();
    // A request that never went out (no link, the link busy) leaves the device as it
    // was: there is nothing to wait for.
    const bool sent = Transact(request, reply, kProgramTimeoutMs, 0) == 0;

    // The device restarts with the new image; it is not to be talked to before the
    // fixed wait is over, whatever the callback answers. Every full second of it moves
    // the progress on.
    const uint32_t waitMs = TkDeviceModelOf(m_deviceType).restartWaitMs;
    // The progress counts up by 100 a second and is shown as its share of the whole wait.
    const uint32_t divisor = waitMs / 1000;
    uint32_t counter = 0;
    uint32_t seconds = 0;
    // Reports the full seconds passed since the send; the milliseconds passed.
    auto reportSeconds = [&] {
        const uint64_t elapsed = clock.NowMs() - start;
        while (seconds < waitMs / 1000 && uint64_t{seconds + 1} * 1000 <= elapsed) {
            ++seconds;
            counter += 100;
            if (callback) {
                callback->Progress(static_cast<intptr_t>(counter / divisor));
            }
        }
        return elapsed;
    };
    WaitUntilDone(reply, [&] {
        reportSeconds();
        return false;
    });
    if (sent) {
        for (uint64_t elapsed = reportSeconds(); elapsed < waitMs; elapsed = reportSeconds()) {
            // Up to the next full second (or the end), keeping the user interface alive.
            const uint64_t toSecond = 1000 - elapsed % 1000;
            WaitMs(static_cast<uint32_t>(std::min<uint64_t>(toSecond, waitMs - elapsed)));
        }
    }
    if (callback) {
        callback->Progress(100);
        callback->End();
    }
    return reply.GetStatus();
}
