// Feeds an arbitrary block stream to the older generation's block transfer (opcode 63):
// both readers, the data image into a file (with its end-pointer repair) and the channel
// table decoded into channel definitions, through the link and an in-memory line on a
// simulated clock.
//
// Input: byte 0 picks the reader (bit 0: the channel table) and the model (bits 1-3),
// byte 1 after how many progress calls the callback cancels (0: never). Then one record
// per frame the host writes: a control byte, a length byte and that many bytes. Control
// bits 0-1: 0 a reply of status 0 with the bytes as its body; 1 silence (the request
// times out, and the reader restarts the stream); 2 a reply with a status (bits 2-4 pick
// it: repeat 202, end 203, 1010, 1062, 1069, 1090, busy 205, or the bytes' first two);
// 3 a block: bits 2-3 choose the next block, the last one again, one skipped or the
// number in the first byte, bit 4 cuts the block one byte short, and the bytes are its
// data. When the records run out the device stays silent.
//
// What must hold whatever the device sends: the transfer ends with one of its results; the
// image holds whole blocks only, never more than the blocks the device sent; definitions
// come in the model's channel order, and a table that reports success has handed on every
// channel; a cancel ends the transfer at once.

#include "comm/LegacyBlockReaders.h"
#include "comm/TkLink.h"
#include "comm/protocol/LegacyRecords.h"
#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkDeviceModels.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkRequest.h"
#include "comm/protocol/TkResultCodes.h"
#include "tests/comm/CommTestSupport.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

constexpr uint8_t kModels[] = {2, 3, 8, 10, 15, 16, 2, 10};
constexpr uint16_t kAddress = 4242;
constexpr uint16_t kStatuses[] = {kLegacyStatusRepeat, kLegacyStatusEndOfObject, 1010, 1062, 1069, 1090,
                                  kLegacyStatusBusy};

// The device's side: answers each frame the host writes with the next record.
class Device {
public:
    Device(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    void OnWrite(commtest::MemoryLine& line, const std::vector<uint8_t>& bytes)
    {
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
        const uint16_t command = request.GetCommand();
        Check(command == kLegacyOpReadBlocks || command == kLegacyBlockNext || command == kLegacyBlockStart ||
              command == kLegacyBlockAbort || command == kLegacyBlockAgain);

        if (at_ + 2 > size_) {
            return;  // silent from here on
        }
        const uint8_t control = data_[at_];
        const size_t n = std::min<size_t>(data_[at_ + 1], size_ - at_ - 2);
        const uint8_t* record = data_ + at_ + 2;
        at_ += 2 + n;

        wv::sim::FrameFields f;
        f.source = kAddress;
        f.replyCommand = command;
        switch (control & 3) {
        case 0:
            f.body.assign(record, record + n);
            break;
        case 1:
            return;
        case 2: {
            const size_t pick = (control >> 2) & 7;
            f.command = pick < std::size(kStatuses) ? kStatuses[pick]
                                                    : static_cast<uint16_t>(n >= 2 ? (record[0] << 8) | record[1] : 0);
            break;
        }
        default: {
            uint8_t number = 0;
            switch ((control >> 2) & 3) {
            case 0: number = ++last_; break;
            case 1: number = last_; break;
            case 2: last_ += 2; number = last_; break;
            default: number = n > 0 ? record[0] : 0; break;
            }
            f.body.assign(kLegacyBlockReplySize, 0xFF);
            f.body[0] = number;
            f.body[1] = 0;
            std::copy_n(record, std::min(n, kLegacyBlockDataSize), f.body.begin() + 2);
            if (control & 0x10) {
                f.body.pop_back();
            }
            break;
        }
        }
        if (f.command == 0 && f.body.size() >= kLegacyBlockReplySize) {
            ++fullBlocks;
        }
        line.bursts.push_back(wv::sim::EncodeFrame(f));
    }

    size_t fullBlocks = 0;  // replies of status 0 long enough to be a block

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    uint8_t last_ = 0;
};

// Counts the progress calls, checks the channel definitions and cancels when told to.
class Watcher : public CCallback {
public:
    Watcher(bool table, uint8_t model, int cancelAfter) : table_(table), model_(model), cancelAfter_(cancelAfter) {}

    int Progress(intptr_t value) override
    {
        ++calls;
        if (table_) {
            const auto* d = reinterpret_cast<const LegacyChannelDefinition*>(value);
            const TkLegacyModel* rules = LegacyModelOf(model_);
            Check(rules != nullptr && delivered < rules->streamChannels.size());
            Check(d->channel == rules->streamChannels[delivered].channel);
            ++delivered;
        } else {
            Check(value != 0);
        }
        return Cancelled() ? 1 : 0;
    }

    bool Cancelled() const { return cancelAfter_ != 0 && calls >= cancelAfter_; }

    int calls = 0;
    size_t delivered = 0;

private:
    bool table_;
    uint8_t model_;
    int cancelAfter_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const bool table = (data[0] & 1) != 0;
    const uint8_t model = kModels[(data[0] >> 1) & 7];
    const int cancelAfter = data[1];

    wv::ManualClock clock(1000);
    wv::ScopedClock useClock(clock);
    Device device(data + 2, size - 2);
    CTkLink link;
    auto owned = std::make_unique<commtest::MemoryLine>();
    commtest::MemoryLine* line = owned.get();
    line->onWrite = [&](const std::vector<uint8_t>& bytes) { device.OnWrite(*line, bytes); };
    Check(link.Attach(TkLinkKind::Direct, std::move(owned)) == 0);
    link.SetMode(model);
    link.SetIdleWait(1000, 0);

    Watcher progress(table, model, cancelAfter);
    FILE* file = table ? nullptr : std::tmpfile();
    Check(table || file != nullptr);
    std::unique_ptr<CLegacyTransferHandler> reader;
    if (table) {
        reader = std::make_unique<CLegacyBlockReader>(link, kAddress, model, 2000,
                                                      [](uint16_t code) { return static_cast<uint8_t>(code % 9); },
                                                      &progress);
    } else {
        reader = std::make_unique<CLegacyMemoryReader>(link, kAddress, model, 100000, 2000, file, &progress);
    }
    TkBodyWriter body;
    body.U16(1).U16(0).U16(table ? 0 : 1).U16(0);
    CTkRequest request(kLegacyOpReadBlocks, body, kLegacyReadBlocksLayout);
    request.SetAddress(kAddress);
    Check(link.Send(&request, reader.get(), 2000, CLegacyTransferHandler::kBlockResends) == 0);
    link.WaitForHandler(*reader);

    Check(reader->GetPhase() == CLegacyTransferHandler::kPhaseFinished);
    const int result = reader->GetResult();
    Check(result == 0 || result == kTkLegacyNoReply || result == kTkErrLegacyRefused ||
          result == kTkErrLegacyNoData || result == kTkErrLegacyStatus1090 || result == kTkErrLegacyStatus1010 ||
          result == kTkErrLegacyTransferStalled || result == kTkErrCancelled || result == kTkErrLegacyTruncated);
    // A cancel ends the transfer at once, and only a cancel ends it so.
    Check((result == kTkErrCancelled) == progress.Cancelled());
    Check(progress.calls <= cancelAfter || cancelAfter == 0);

    if (table) {
        const TkLegacyModel* rules = LegacyModelOf(model);
        Check(rules != nullptr);
        Check(progress.delivered <= rules->streamChannels.size());
        if (result == 0) {
            Check(progress.delivered == rules->streamChannels.size());
        }
    } else {
        Check(std::fseek(file, 0, SEEK_END) == 0);
        const long length = std::ftell(file);
        Check(length >= 0 && length % static_cast<long>(kLegacyBlockDataSize) == 0);
        Check(static_cast<size_t>(length) / kLegacyBlockDataSize <= device.fullBlocks);
        std::fclose(file);
    }
    return 0;
}
