#pragma once

// The reply handlers of the older generation's block transfer (opcode 63): the device
// streams a test's object as numbered 128-byte blocks which the host acknowledges one by
// one. CLegacyMemoryReader writes a test's data image into a file; CLegacyBlockReader
// decodes a test's channel table into channel definitions.
//
// The dialogue. Any answer to the opcode 63 request starts the stream: the host sends 202
// (start sending). Then each answer is a block (status 0), the device's request to be told
// again (202: the host sends 201 once more), the end of the object (203) or an error status
// (1010, 1062, 1069, 1090, any other: 5044, 5042, 5045, 5043, 5024). A block with the
// expected number is taken and acknowledged with 201 (next block). A block one further on
// (one was missed) is asked again with 206; so is a block that came shorter than its 130
// bytes. A block that repeats the one just taken is acknowledged again and not taken twice.
// A silent device is restarted: 300 ms, 202 without handler, 300 ms, 201; after six
// restarts in a row the transfer ends with 5045. The transfer also ends with 5045 when the
// device keeps answering (repeat requests, blocks asked again, repeats) for
// kMaxFruitlessAnswers answers in a row without a new block. Block numbers are compared by
// their low byte, so they wrap at 256.
//
// Every send a handler makes from inside the link ends the transfer with Send's error when
// it fails. A reader lives on its caller's stack for one transfer; the pending request that
// names it is replaced at every step by the next command it sends.

#include "comm/Callback.h"
#include "comm/TkLink.h"
#include "comm/protocol/LegacyRecords.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

// What the readers share: the phase, the expected block, the restarts and the sends.
class CLegacyTransferHandler : public CPacketHandler {
public:
    static constexpr int kRestarts = 6;
    static constexpr uint32_t kRestartWaitMs = 300;
    static constexpr uint32_t kMaxFruitlessAnswers = 16;
    static constexpr int kBlockResends = 10;

    // Phases.
    static constexpr uint8_t kPhaseRequested = 1;
    static constexpr uint8_t kPhaseReceiving = 2;
    static constexpr uint8_t kPhaseFinished = 0;

    TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override;

    uint8_t GetPhase() const { return m_phase; }
    // The handler's result (the link's 0xFFFF is -1).
    int GetResult() const;
    const BlockTransferProgress& GetProgress() const { return m_progress; }

protected:
    CLegacyTransferHandler(CTkLink& link, uint16_t address, uint8_t model, uint32_t blockTimeoutMs,
                           CCallback* callback);

    // The number of a block as the 32-bit count of blocks: the expected number moved by the
    // difference of the low bytes.
    uint32_t BlockNumberOf(uint8_t lowByte) const;
    // Sends a block command to the device: with this handler, the block time-out and
    // resends, or without handler and resends. Send's result.
    int SendBlockCommand(uint16_t command, bool withHandler, int resends);
    // As SendBlockCommand with this handler; a failure finishes the transfer with it.
    // True when the command went out.
    bool SendOrFinish(uint16_t command, int resends);
    // 206 for the block expected (counted as asked again).
    void AskAgain();
    // An answer that brought no new block; the transfer stalls after too many in a row.
    bool Fruitless();
    void Finish(int status);

    // The reader's own parts.
    virtual void OnBlock(uint8_t number, std::span<const uint8_t, kLegacyBlockDataSize> data) = 0;
    // The device's end of the object; the result.
    virtual int OnEndOfObject() = 0;
    // Six restarts did not bring the stream back; the result.
    virtual int OnStalled() = 0;
    // The resends of the 202 that starts the stream, and of the 201 after a restart.
    virtual int StartResends() const = 0;
    virtual int RestartResends() const = 0;

    CTkLink& m_link;
    uint8_t m_phase = kPhaseRequested;
    uint32_t m_expected = 1;
    int m_restartsLeft = kRestarts;
    uint16_t m_address;
    uint8_t m_model;
    uint32_t m_blockTimeoutMs;
    BlockTransferProgress m_progress;
    uint32_t m_fruitless = 0;

private:
    void OnReply(CTkPacket& packet);
    void OnTimeout();
};

// The data image of a test into an open file. The end pointer of the image is repaired
// (RepairLegacyEndPointer) at the end of the object, after the restarts ran out and when
// the callback cancelled. The callback's Progress gets the progress record for every block;
// a non-zero answer sends 204 and ends with 5068. A block that cannot be written whole sends
// 204 and ends with 5064; no block is written twice.
class CLegacyMemoryReader : public CLegacyTransferHandler {
public:
    CLegacyMemoryReader(CTkLink& link, uint16_t address, uint8_t model, uint32_t expectedSize,
                        uint32_t blockTimeoutMs, FILE* file, CCallback* callback);

    uint32_t GetExpectedSize() const { return m_expectedSize; }

protected:
    void OnBlock(uint8_t number, std::span<const uint8_t, kLegacyBlockDataSize> data) override;
    int OnEndOfObject() override;
    int OnStalled() override;
    int StartResends() const override { return 0; }
    int RestartResends() const override { return 0; }

private:
    int Repair();

    uint32_t m_expectedSize;
    FILE* m_file;
};

// The channel table of a test: every channel the model reports (TkLegacyModel::
// streamChannels) is decoded, once its 92 bytes have arrived, into a cleared
// LegacyChannelDefinition that the callback's Progress receives (its address); a non-zero
// answer sends 204 and ends with 5068. Items that straddle two blocks are decoded whole. A
// table that ends before every channel was handed on ends with 5069.
class CLegacyBlockReader : public CLegacyTransferHandler {
public:
    CLegacyBlockReader(CTkLink& link, uint16_t address, uint8_t model, uint32_t blockTimeoutMs,
                       LegacyKindMap kinds, CCallback* callback);

    // The channel definitions handed on so far.
    size_t GetDelivered() const { return m_delivered; }

protected:
    void OnBlock(uint8_t number, std::span<const uint8_t, kLegacyBlockDataSize> data) override;
    // The end of the table: 0 once every channel was handed on, else 5069.
    int OnEndOfObject() override;
    int OnStalled() override { return kTkErrLegacyTransferStalled; }
    int StartResends() const override { return kBlockResends; }
    int RestartResends() const override { return kBlockResends; }

private:
    // Hands on every definition whose bytes are complete; false when the callback
    // cancelled (the transfer is then finished).
    bool Deliver();

    LegacyKindMap m_kinds;
    std::vector<uint8_t> m_stream;    // the table's bytes taken so far, up to the last needed
    size_t m_needed = 0;
    size_t m_delivered = 0;
    LegacyChannelDefinition m_definition;
};

// Repairs the end pointer of a data image written to file for a model: the data end is
// found by stepping back from the file's end two bytes at a time over 0xFFFF words. When
// the data reach expectedSize nothing changes (0); otherwise the end pointer (4 bytes after
// the start pointer) becomes the start pointer moved on by the data there are (at least 0)
// and the result is 5069. A file too short to hold its pointers is left as it is (5069).
// 5063 or 5064 when the file could not be read or written; 0 for a model without a
// download.
int RepairLegacyEndPointer(FILE* file, uint8_t model, uint32_t expectedSize);
