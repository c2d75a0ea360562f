// The older generation's block transfer and test download: the two block readers, the
// end-pointer repair, the memory reads (113) and CLegacyInstrument's transfer operations.

#include "comm/LegacyBlockReaders.h"
#include "comm/LegacyInstrument.h"

#include "comm/TkLink.h"
#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkRequest.h"
#include "foundation/AppUtils.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr const char* kPartialSuffix = ".part";

intptr_t AsValue(const void* record) { return reinterpret_cast<intptr_t>(record); }

} // namespace

// ---- The shared dialogue ---------------------------------------------------------------

CLegacyTransferHandler::CLegacyTransferHandler(CTkLink& link, uint16_t address, uint8_t model,
                                               uint32_t blockTimeoutMs, CCallback* callback)
    : CPacketHandler(callback), m_link(link), m_address(address), m_model(model), m_blockTimeoutMs(blockTimeoutMs)
{
}

int CLegacyTransferHandler::GetResult() const { return m_status == 0xFFFF ? kTkLegacyNoReply : m_status; }

void CLegacyTransferHandler::Finish(int status)
{
    m_phase = kPhaseFinished;
    SetStatus(status);
    m_done = 1;
}

uint32_t CLegacyTransferHandler::BlockNumberOf(uint8_t lowByte) const
{
    const auto difference = static_cast<int8_t>(static_cast<uint8_t>(lowByte - static_cast<uint8_t>(m_expected)));
    return static_cast<uint32_t>(static_cast<int64_t>(m_expected) + difference);
}

int CLegacyTransferHandler::SendBlockCommand(uint16_t command, bool withHandler, int resends)
{
    CTkRequest request(command);
    request.SetAddress(m_address);
    return withHandler ? m_link.Send(&request, this, m_blockTimeoutMs, resends) : m_link.Send(&request, nullptr, 0, 0);
}

bool CLegacyTransferHandler::SendOrFinish(uint16_t command, int resends)
{
    const int sent = SendBlockCommand(command, true, resends);
    if (sent != 0) {
        Finish(sent);
        return false;
    }
    return true;
}

bool CLegacyTransferHandler::Fruitless()
{
    if (++m_fruitless > kMaxFruitlessAnswers) {
        Finish(kTkErrLegacyTransferStalled);
        return false;
    }
    return true;
}

void CLegacyTransferHandler::AskAgain()
{
    ++m_progress.blocksAskedAgain;
    if (Fruitless()) {
        SendOrFinish(kLegacyBlockAgain, kBlockResends);
    }
}

TkHandlerAnswer CLegacyTransferHandler::OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet,
                                                 uint32_t* timeoutMs)
{
    (void)timeoutMs;
    if (m_phase == kPhaseFinished) {
        return event == TkLinkEvent::Resend ? TkHandlerAnswer::None : TkHandlerAnswer::Done;
    }
    switch (event) {
    case TkLinkEvent::Resend:
        return TkHandlerAnswer::None;
    case TkLinkEvent::LineLost:
        Finish(kTkErrLineLost);
        break;
    case TkLinkEvent::Timeout:
        OnTimeout();
        break;
    case TkLinkEvent::Reply:
        if (packet) {
            OnReply(*packet);
        }
        break;
    }
    return TkHandlerAnswer::Done;
}

void CLegacyTransferHandler::OnReply(CTkPacket& packet)
{
    if (m_phase == kPhaseRequested) {
        // Whatever the device answered to the request, the stream starts now.
        m_phase = kPhaseReceiving;
        SendOrFinish(kLegacyBlockStart, StartResends());
        return;
    }
    const uint16_t status = packet.GetCommand();
    switch (status) {
    case 0: {
        const std::span<const uint8_t> body(packet.GetBodyData(), packet.GetBodyLength());
        if (body.size() < kLegacyBlockReplySize) {
            AskAgain();
            return;
        }
        m_restartsLeft = kRestarts;
        m_progress.block = BlockNumberOf(body[0]);
        OnBlock(body[0], body.subspan<2, kLegacyBlockDataSize>());
        return;
    }
    case kLegacyStatusRepeat:
        ++m_progress.blocksTaken;
        ++m_progress.repeatRequests;
        if (Fruitless()) {
            SendOrFinish(kLegacyBlockNext, kBlockResends);
        }
        return;
    case kLegacyStatusEndOfObject:
        Finish(OnEndOfObject());
        return;
    default:
        Finish(LegacyResultOfStatus(kLegacyOpReadBlocks, status));
        return;
    }
}

void CLegacyTransferHandler::OnTimeout()
{
    if (m_phase == kPhaseRequested) {
        Finish(kTkLegacyNoReply);
        return;
    }
    if (m_restartsLeft <= 0) {
        Finish(OnStalled());
        return;
    }
    --m_restartsLeft;
    WaitMs(kRestartWaitMs);
    ++m_progress.restarts;
    const int sent = SendBlockCommand(kLegacyBlockStart, false, 0);
    if (sent != 0) {
        Finish(sent);
        return;
    }
    WaitMs(kRestartWaitMs);
    SendOrFinish(kLegacyBlockNext, RestartResends());
}

// ---- The data image --------------------------------------------------------------------

CLegacyMemoryReader::CLegacyMemoryReader(CTkLink& link, uint16_t address, uint8_t model, uint32_t expectedSize,
                                         uint32_t blockTimeoutMs, FILE* file, CCallback* callback)
    : CLegacyTransferHandler(link, address, model, blockTimeoutMs, callback),
      m_expectedSize(expectedSize),
      m_file(file)
{
}

int CLegacyMemoryReader::Repair() { return RepairLegacyEndPointer(m_file, m_model, m_expectedSize); }

void CLegacyMemoryReader::OnBlock(uint8_t number, std::span<const uint8_t, kLegacyBlockDataSize> data)
{
    if (m_callback && m_callback->Progress(AsValue(&m_progress)) != 0) {
        // Cancelled: whether or not the abort reaches the device, the transfer is over.
        SendBlockCommand(kLegacyBlockAbort, false, 0);
        Repair();
        Finish(kTkErrCancelled);
        return;
    }
    const auto difference = static_cast<uint8_t>(number - static_cast<uint8_t>(m_expected));
    if (difference == 0) {
        ++m_progress.blocksTaken;
        const bool written = m_file != nullptr && FileWrite(data.data(), 1, data.size(), m_file) == data.size() &&
                             std::fflush(m_file) == 0;
        if (!written) {
            SendBlockCommand(kLegacyBlockAbort, false, 0);
            Finish(kTkErrFileWrite);
            return;
        }
        ++m_expected;
        m_fruitless = 0;
        SendOrFinish(kLegacyBlockNext, 0);
    } else if (difference == 1) {
        AskAgain();
    } else if (difference == 0xFF) {
        // The block just taken once more: its acknowledgement was lost. Told again, never
        // written again.
        if (Fruitless()) {
            SendOrFinish(kLegacyBlockNext, 0);
        }
    } else {
        Finish(kTkLegacyNoReply);
    }
}

int CLegacyMemoryReader::OnEndOfObject() { return Repair(); }

int CLegacyMemoryReader::OnStalled()
{
    Repair();
    return kTkErrLegacyTransferStalled;
}

// ---- The channel table -----------------------------------------------------------------

CLegacyBlockReader::CLegacyBlockReader(CTkLink& link, uint16_t address, uint8_t model, uint32_t blockTimeoutMs,
                                       LegacyKindMap kinds, CCallback* callback)
    : CLegacyTransferHandler(link, address, model, blockTimeoutMs, callback), m_kinds(std::move(kinds))
{
    if (const TkLegacyModel* rules = LegacyModelOf(model)) {
        for (const TkLegacyStreamChannel& c : rules->streamChannels) {
            m_needed = std::max(m_needed, LegacyChannelStructureOffset(c.input) + kLegacyChannelStructureSize);
        }
    }
}

bool CLegacyBlockReader::Deliver()
{
    const TkLegacyModel* rules = LegacyModelOf(m_model);
    if (rules == nullptr) {
        return true;
    }
    while (m_delivered < rules->streamChannels.size()) {
        const TkLegacyStreamChannel& c = rules->streamChannels[m_delivered];
        const size_t at = LegacyChannelStructureOffset(c.input);
        if (m_stream.size() < at + kLegacyChannelStructureSize) {
            break;
        }
        // Every structure starts from a cleared record: nothing of the previous channel
        // stays in the fields this one does not carry.
        m_definition = LegacyChannelDefinition{};
        LegacyDecodeChannelStructure(std::span<const uint8_t, kLegacyChannelStructureSize>(m_stream.data() + at,
                                                                                           kLegacyChannelStructureSize),
                                     c.channel, m_kinds, m_definition);
        ++m_delivered;
        if (m_callback && m_callback->Progress(AsValue(&m_definition)) != 0) {
            SendBlockCommand(kLegacyBlockAbort, false, 0);
            Finish(kTkErrCancelled);
            return false;
        }
    }
    return true;
}

int CLegacyBlockReader::OnEndOfObject()
{
    const TkLegacyModel* rules = LegacyModelOf(m_model);
    return rules != nullptr && m_delivered < rules->streamChannels.size() ? kTkErrLegacyTruncated : 0;
}

void CLegacyBlockReader::OnBlock(uint8_t number, std::span<const uint8_t, kLegacyBlockDataSize> data)
{
    const auto difference = static_cast<uint8_t>(number - static_cast<uint8_t>(m_expected));
    if (difference == 0) {
        ++m_progress.blocksTaken;
        if (m_stream.size() < m_needed) {
            const size_t take = std::min(data.size(), m_needed - m_stream.size());
            m_stream.insert(m_stream.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
        }
        ++m_expected;
        m_fruitless = 0;
        if (!Deliver()) {
            return;
        }
        SendOrFinish(kLegacyBlockNext, 0);
    } else if (difference == 0xFF) {
        // The block just taken once more: told again, not decoded again.
        if (Fruitless()) {
            SendOrFinish(kLegacyBlockNext, 0);
        }
    } else {
        AskAgain();
    }
}

// ---- The end-pointer repair ------------------------------------------------------------

int RepairLegacyEndPointer(FILE* file, uint8_t model, uint32_t expectedSize)
{
    const TkLegacyModel* rules = LegacyModelOf(model);
    if (rules == nullptr || !rules->HasDirectory()) {
        return 0;
    }
    if (file == nullptr || std::fflush(file) != 0 || FileSeek(file, 0, 2) != 0) {
        return kTkErrFileWrite;
    }
    const int64_t length = FileTell(file);
    if (length < 0) {
        return kTkErrFileRead;
    }

    // The data end: back over the erased words (0xFFFF) at the end of the file, two bytes
    // at a time from its last byte, a chunk at a time.
    int64_t end = length;
    std::vector<uint8_t> chunk;
    while (end >= 2) {
        // The chunk starts at the same parity as the end, so it holds whole words.
        const int64_t from = std::max<int64_t>(end - 4096, end % 2);
        chunk.resize(static_cast<size_t>(end - from));
        if (FileSeek(file, from, 0) != 0 || FileRead(chunk.data(), 1, chunk.size(), file) != chunk.size()) {
            return kTkErrFileRead;
        }
        size_t at = chunk.size();
        while (at >= 2 && chunk[at - 2] == 0xFF && chunk[at - 1] == 0xFF) {
            at -= 2;
        }
        end = from + static_cast<int64_t>(at);
        if (at > 0) {
            break;
        }
    }

    const int64_t data = end - rules->fileHeaderSize;
    if (data >= static_cast<int64_t>(expectedSize)) {
        return 0;
    }
    const int64_t pointers = rules->startPointerPosition;
    if (length < pointers + 8) {
        return kTkErrLegacyTruncated;
    }
    uint8_t start[4] = {};
    if (FileSeek(file, pointers, 0) != 0 || FileRead(start, 1, sizeof start, file) != sizeof start) {
        return kTkErrFileRead;
    }
    const LegacyMemoryPosition from{static_cast<uint16_t>((start[0] << 8) | start[1]),
                                    static_cast<uint16_t>((start[2] << 8) | start[3])};
    const LegacyMemoryPosition to = LegacyAdvance(from, std::max<int64_t>(data, 0));
    const uint8_t bytes[4] = {static_cast<uint8_t>(to.page >> 8), static_cast<uint8_t>(to.page),
                              static_cast<uint8_t>(to.offset >> 8), static_cast<uint8_t>(to.offset)};
    if (FileSeek(file, pointers + 4, 0) != 0 || FileWrite(bytes, 1, sizeof bytes, file) != sizeof bytes ||
        std::fflush(file) != 0) {
        return kTkErrFileWrite;
    }
    return kTkErrLegacyTruncated;
}

// ---- CLegacyInstrument: transfers ------------------------------------------------------

ProtocolResultCode CLegacyInstrument::ReadMemoryBlock(uint8_t testNumber, const std::string& path,
                                                      uint32_t expectedSize, CCallback* callback)
{
    if (const ProtocolResultCode refused = CanStart()) {
        return refused;
    }
    // A path that is anything but a file can never be replaced by the image.
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (path.empty() || (fs::exists(status) && !fs::is_regular_file(status))) {
        return kTkErrFileOpen;
    }
    const std::string partPath = path + kPartialSuffix;
    UniqueFile file(FileOpen(partPath, "w+b"));
    if (!file) {
        return kTkErrFileOpen;
    }
    CLegacyMemoryReader reader(*m_link, m_address, m_model, expectedSize, m_blockTimeoutMs, file.get(), callback);
    TkBodyWriter body;
    body.U16(1).U16(static_cast<uint16_t>(testNumber - 1)).U16(1).U16(0);
    CTkRequest request(kLegacyOpReadBlocks, body, kLegacyReadBlocksLayout);
    ProtocolResultCode result = Run(request, reader, m_replyTimeoutMs, CLegacyTransferHandler::kBlockResends);
    if (FileClose(file.release()) != 0 && (result == 0 || result == kTkErrLegacyTruncated)) {
        result = kTkErrFileWrite;
    }
    if (result == 0 || result == kTkErrLegacyTruncated) {
        fs::rename(partPath, path, ec);
        if (ec) {
            result = kTkErrFileWrite;
        }
    }
    return result;
}

ProtocolResultCode CLegacyInstrument::ReadTestChannelDefs(uint8_t testNumber, CCallback* callback)
{
    if (const ProtocolResultCode refused = CanStart()) {
        return refused;
    }
    if (m_files == nullptr) {
        return kTkErrLegacyNoTestFiles;
    }
    BeginExchange();
    const uint8_t model = m_model;
    CLegacyBlockReader reader(
        *m_link, m_address, model, m_blockTimeoutMs,
        [this, model](uint16_t code) { return LegacyChannelKind(model, code); }, callback);
    TkBodyWriter body;
    body.U16(1).U16(static_cast<uint16_t>(testNumber - 1)).U16(0).U16(0);
    CTkRequest request(kLegacyOpReadBlocks, body, kLegacyReadBlocksLayout);
    const ProtocolResultCode result = Run(request, reader, m_replyTimeoutMs, kStandardResends);
    EndExchange();
    return result;
}

ProtocolResultCode CLegacyInstrument::ReadTestChannelDefsProgress(uint8_t testNumber, CCallback* callback)
{
    const TkLegacyModel* rules = LegacyModelOf(m_model);
    if (callback) {
        callback->Begin(rules != nullptr ? static_cast<int>(rules->channels.size()) : 0);
    }
    const ProtocolResultCode result = ReadTestChannelDefs(testNumber, callback);
    if (callback) {
        callback->End();
    }
    return result;
}

ProtocolResultCode CLegacyInstrument::ReadDataBlock(uint8_t testNumber, uint16_t* startPage, uint16_t* startOffset,
                                                    uint16_t* endPage, uint16_t* endOffset)
{
    const TkLegacyModel* rules = LegacyModelOf(m_model);
    if (rules == nullptr || !rules->HasDirectory()) {
        return kTkErrLegacyNoDirectory;
    }
    // Only the model's test slots have an entry inside the directory's page.
    if (testNumber < 1 || testNumber > rules->testSlots) {
        return kTkErrLegacyBadTestNumber;
    }
    const uint32_t offset = rules->directoryFirstOffset + uint32_t{rules->directoryStride} * (testNumber - 1u);
    TkBodyWriter body;
    body.U16(2).U16(static_cast<uint16_t>(offset)).U16(kLegacyDirectoryEntrySize);
    CTkRequest request(kLegacyOpReadMemory, body, kLegacyReadMemoryLayout);
    LegacyMemoryPosition start;
    LegacyMemoryPosition end;
    const ProtocolResultCode result =
        StandardCommand(kLegacyOpReadMemory, request, [&](std::span<const uint8_t> reply, uint16_t) {
            return LegacyDecodeDirectoryReply(reply, start, end);
        });
    if (result == 0) {
        if (startPage) *startPage = start.page;
        if (startOffset) *startOffset = start.offset;
        if (endPage) *endPage = end.page;
        if (endOffset) *endOffset = end.offset;
    }
    return result;
}

ProtocolResultCode CLegacyInstrument::ReadDataBlock2(uint16_t page, uint16_t offset,
                                                     std::array<uint8_t, kLegacyBlockDataSize>* bytes)
{
    if (bytes == nullptr) {
        return kTkErrMissingRecord;
    }
    TkBodyWriter body;
    body.U16(page).U16(offset).U16(kLegacyBlockDataSize);
    CTkRequest request(kLegacyOpReadMemory, body, kLegacyReadMemoryLayout);
    return StandardCommand(kLegacyOpReadMemory, request, [bytes](std::span<const uint8_t> reply, uint16_t) {
        return LegacyDecodeMemoryBlockReply(reply, *bytes);
    });
}

ProtocolResultCode CLegacyInstrument::DownloadTestData(uint8_t testNumber, const std::string& path,
                                                       CCallback* callback)
{
    if (const ProtocolResultCode refused = CanStart()) {
        return refused;
    }
    if (m_files == nullptr) {
        return kTkErrLegacyNoTestFiles;
    }
    const TkLegacyModel* rules = LegacyModelOf(m_model);
    if (rules == nullptr || !rules->HasDirectory()) {
        return kTkErrLegacyNoDirectory;
    }

    BeginExchange();
    LegacyTestRecord test;
    ProtocolResultCode result = ReadTest(testNumber, test);
    const uint32_t size = test.dataSize;
    if (result == 0 && (size == 0 || (test.state == kLegacyStateAbended && size == kLegacyAbendedEmptySize))) {
        result = kTkErrLegacyNoData;
    }
    if (result != 0) {
        EndExchange();
        return result;
    }
    if (callback) {
        callback->Begin(static_cast<int>(size / kLegacyBlockDataSize + 1));
    }

    std::unique_ptr<CLegacyTestFile> file = m_files->NewFile();
    const int opened = file ? file->Open(path) : 32;
    bool whole = opened != 0;
    std::error_code ec;
    if (opened != 0 && fs::exists(fs::symlink_status(path, ec))) {
        // A file that is there but cannot be opened for writing (locked, unreadable, a
        // folder) is never replaced.
        if (opened == 32) {
            result = kTkErrFileOpen;
            whole = false;
        }
    }

    if (opened == 0) {
        LegacyMemoryPosition start;
        LegacyMemoryPosition end;
        result = ReadDataBlock(testNumber, &start.page, &start.offset, &end.page, &end.offset);
        const bool openEnd = end.page == 0xFFFF;
        if (result == 0 && openEnd) {
            end = LegacyAdvance(start, size);
        }
        LegacyMemoryPosition at{file->EndPage(), file->EndOffset()};
        const LegacyMemoryPosition fileStart{file->StartPage(), file->StartOffset()};
        // Only a file of this test's data, ending inside it, is continued; any other file
        // gets the whole image.
        if (result == 0 && (!(fileStart == start) || LegacyDistance(start, at) < 0 || LegacyDistance(at, end) < 0)) {
            file->Close();
            whole = true;
        } else if (result == 0) {
            while (LegacyDistance(at, end) > 0) {
                std::array<uint8_t, kLegacyBlockDataSize> bytes{};
                result = ReadDataBlock2(at.page, at.offset, &bytes);
                if (result != 0) {
                    break;
                }
                size_t keep = static_cast<size_t>(std::min<int64_t>(LegacyDistance(at, end), kLegacyBlockDataSize));
                // A test still logging: its memory is erased (0xFFFF words) after the data
                // logged so far, which stay for the next download.
                bool erased = false;
                if (openEnd) {
                    size_t kept = keep;
                    while (kept >= 2 && bytes[kept - 2] == 0xFF && bytes[kept - 1] == 0xFF) {
                        kept -= 2;
                    }
                    erased = kept < keep;
                    keep = kept;
                }
                BlockTransferProgress progress;
                progress.block = static_cast<uint32_t>(
                    (rules->fileHeaderSize + LegacyDistance(start, at)) / kLegacyBlockDataSize + 1);
                const bool cancel = callback != nullptr && callback->Progress(AsValue(&progress)) != 0;
                const int appended = keep > 0 ? file->AppendData(bytes.data(), keep) : 0;
                if (cancel) {
                    result = kTkErrCancelled;
                    break;
                }
                if (appended != 0) {
                    result = appended;
                    break;
                }
                if (erased || keep == 0) {
                    break;
                }
                at = {file->EndPage(), file->EndOffset()};
            }
            file->Close();
        } else {
            file->Close();
        }
    }
    if (whole) {
        result = ReadMemoryBlock(testNumber, path, size, callback);
    }
    if (callback) {
        callback->End();
    }
    EndExchange();
    return result;
}
