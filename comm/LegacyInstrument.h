#pragma once

// CLegacyInstrument: the older generation's command set (models 2, 3, 8, 10, 15 and 16) on
// one connection.
//
// The connection node creates one when the first device found on its line is of an older
// model and hands it the link. SetAddress selects the device the following commands go to.
// Every command sends one request to that device and waits, pumping the link, until its
// reply handler is done; "standard" commands wait the reply time-out per attempt with 3
// resends. The reply time-out and the block time-out follow the link's baud rate:
//
//     baud             1200  2400  4800  9600  19200  57600
//     reply time-out   4000  3600  3200  2800  2400   2000   ms
//     block time-out   3250  3000  2750  2500  2250   2000   ms
//
// Results are ProtocolResultCodes: 0; -1 (kTkLegacyNoReply) when no reply came after all
// resends; 5109 when the line was lost; 5110 when another command of this instrument is
// still waiting; 5002 without a link; and the command's own codes (comm/protocol/
// TkResultCodes.h), checks on the host side returning before anything is sent. An output
// is written only from a reply that decoded completely.
//
// Busy answers. The test commands (42, 60, 61, 62, 65, 67, 68, 116) take the device's
// busy answers: 205 gives the request a new time-out (20 s, 60 s for 68) and 207 (42, 60,
// 68) keeps it; each tells the callback's Progress the command's value, and a non-zero
// answer ends the wait with 5068 after the acknowledgement 201 went to the device. A
// device that stays busy for more than kBusyCapMs in all is acknowledged too and the
// command ends with -1. After the final answer to 60, 61, 62, 65, 67, 68 and 116 the
// command acknowledges it with 201.
//
// Commands that span several requests (Identify, StartTest, the download and the
// channel-definition read) keep the line in an exchange from the first to the last.
//
// Threading: no lock; one thread uses an instrument at a time.

#include "comm/Callback.h"
#include "comm/LegacyTestFiles.h"
#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/LegacyRecords.h"
#include "comm/protocol/TkResultCodes.h"
#include "foundation/DeviceTime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

class CTkLink;
class CTkRequest;
class CPacketHandler;

class CLegacyInstrument {
public:
    // The device address while none is selected.
    static constexpr uint16_t kNoAddress = 0xFFFF;
    // The longest a command waits through a device's busy answers.
    static constexpr uint32_t kBusyCapMs = 600000;
    static constexpr int kStandardResends = 3;

    // The reply and block time-outs of a baud rate; false for a rate without them.
    static bool TimeoutsOfBaud(uint32_t baud, uint32_t& replyMs, uint32_t& blockMs);

    // No link, no device selected (address 0xFFFF, model 0), time-outs 0.
    CLegacyInstrument();
    // Closes and deletes the link.
    ~CLegacyInstrument();
    CLegacyInstrument(const CLegacyInstrument&) = delete;
    CLegacyInstrument& operator=(const CLegacyInstrument&) = delete;

    // Takes the link (link becomes null) and sets both time-outs from its baud rate: 0.
    // 5002 without a link or for a baud rate without time-outs: the caller keeps its link
    // then.
    ProtocolResultCode Attach(std::unique_ptr<CTkLink>& link);
    // Selects the device the following commands go to and sets the link's wake mode for
    // the model. 0; 5002 without a link.
    ProtocolResultCode SetAddress(uint16_t address, uint8_t model);
    CTkLink* GetLink() { return m_link.get(); }
    uint16_t GetAddress() const { return m_address; }
    uint8_t GetModel() const { return m_model; }
    uint32_t GetReplyTimeoutMs() const { return m_replyTimeoutMs; }
    uint32_t GetBlockTimeoutMs() const { return m_blockTimeoutMs; }
    // The link's exchange, for callers that send several commands in a row.
    void BeginExchange();
    void EndExchange();
    // The device search on the link (5002 without one).
    ProtocolResultCode FindDevices(CCallback* callback);

    // The test-file service the download and the channel kinds use (null: none; the
    // download and the channel definitions then return 5095). It must outlive its use.
    void SetTestFiles(const CLegacyTestFiles* files) { m_files = files; }

    // The logical channels of the selected model: *count of them into channels (at most
    // channels.size()). 5014 for a model without a channel list.
    ProtocolResultCode GetChannelList(uint8_t* count, std::span<uint8_t> channels) const;
    // The device input of a logical channel (255: none), and the exact inverse.
    static uint8_t MapLogicalChannel(uint8_t model, uint8_t channel);
    static uint8_t MapDeviceInput(uint8_t model, uint8_t input);
    // The program's channel kind of a device's channel-type code on the model: the test
    // files' map for an older model, 0 for any other model.
    uint8_t LegacyChannelKind(uint8_t model, uint16_t code) const;

    // ---- Commands ----
    // 1: the device clock.
    ProtocolResultCode GetClock(DeviceTime* time);
    // 2: address, name and device type.
    ProtocolResultCode GetIdentity(FoundDeviceRecord* identity);
    // 3 (1000 ms, 3 resends): battery, dates, memory, versions and channel count into info;
    // *replyWord receives the reply's extra word.
    ProtocolResultCode GetStatus(DeviceInfoRecord* info, uint16_t* replyWord);
    // 13: a raw analog reading of a device input after settleMs; both words are cleared
    // before the request goes out. Time-out: reply time-out + settle time + 350 ms.
    ProtocolResultCode ReadAnalog(uint16_t input, uint16_t settleMs, std::array<uint16_t, 2>* words);
    // 16: the definition of a logical channel (5037 for one without device input; 5024
    // for a reply about another input).
    ProtocolResultCode GetChannelDefinition(uint8_t channel, LegacyChannelDefinition* definition);
    // 19: a test's information with its state; a test pending a scheduled start has the
    // device clock read (1) to tell a missed start (5) from a pending one (2). Channels are
    // logical. 5053 for a test that does not exist.
    ProtocolResultCode GetTestInfo(uint8_t testNumber, LegacyTestRecord* test);
    // 41: sets the device clock. 5031 (nothing sent) for a time that is no date, hour above
    // 23, minute or second above 59, or a year outside 1960 to 2059 (the device keeps two
    // digits).
    ProtocolResultCode SetClock(const DeviceTime& time);
    // 42: the device name, 16 single-byte characters at most.
    ProtocolResultCode SetName(const std::string& name, CCallback* callback = nullptr);
    // 60: cancels a test's scheduled start. 5026 for a test number outside 1 to 16.
    ProtocolResultCode UnscheduleTest(uint8_t testNumber, CCallback* callback = nullptr);
    // 61: stops the running test.
    ProtocolResultCode StopTest(CCallback* callback = nullptr);
    // 62: creates a test (checked before anything is sent, see the result codes).
    ProtocolResultCode CreateTest(const LegacyTestRecord& test, CCallback* callback = nullptr);
    // 65: deletes a test. 5026 for a test number outside 1 to 16.
    ProtocolResultCode DeleteTest(uint8_t testNumber, CCallback* callback = nullptr);
    // 66: starts a test, in an exchange: the test is read (19) first, and its start waits
    // 60 s for a test pending a scheduled start.
    ProtocolResultCode StartTest(uint8_t testNumber);
    // 67: the stop-mode flag (0 or 1, else 5041) of a test (1 to 16, else 5026); the
    // device's 1062 counts as success for flag 0.
    ProtocolResultCode SetStopMode(uint8_t testNumber, uint8_t flag, CCallback* callback = nullptr);
    // 68: compacts the logger memory.
    ProtocolResultCode PackMemory(CCallback* callback = nullptr);
    // 69 (1000 ms, 3 resends): the free memory in bytes.
    ProtocolResultCode GetMemory(uint32_t* freeBytes);
    // 116: defines a channel (1 to 10, else 5026; both ports 1 to 8, else 5037).
    ProtocolResultCode DefineChannel(const LegacyChannelRecord& record, CCallback* callback = nullptr);
    // 117: a test's channel record (test 1 to 16, else 5026).
    ProtocolResultCode GetTestChannels(uint8_t testNumber, LegacyChannelRecord* record);

    // ---- Progress wrappers: Begin(steps), the command, End ----
    ProtocolResultCode GetIdentityProgress(FoundDeviceRecord* identity, CCallback* callback);
    ProtocolResultCode GetClockProgress(DeviceTime* time, CCallback* callback);
    ProtocolResultCode SetClockProgress(const DeviceTime& time, CCallback* callback);
    ProtocolResultCode CreateTestProgress(const LegacyTestRecord& test, CCallback* callback);
    ProtocolResultCode StartTestProgress(uint8_t testNumber, CCallback* callback);
    ProtocolResultCode StopTestProgress(CCallback* callback);
    ProtocolResultCode PackMemoryProgress(CCallback* callback);
    ProtocolResultCode GetTestChannelsProgress(uint8_t testNumber, LegacyChannelRecord* record, CCallback* callback);
    ProtocolResultCode GetChannelDefinitionProgress(uint8_t channel, LegacyChannelDefinition* definition,
                                                    CCallback* callback);
    // As GetTestInfo; then a test with channels and more than 11 bytes has its data size
    // turned into a sample count: 0 for a test that ended abnormally with 294913 bytes,
    // else (size - 12) / the sample size (LegacySampleSize).
    ProtocolResultCode GetTestInfoProgress(uint8_t testNumber, LegacyTestRecord* test, CCallback* callback);
    // Begin(25).
    ProtocolResultCode DefineChannelProgress(const LegacyChannelRecord& record, CCallback* callback);
    // Begin(33).
    ProtocolResultCode DeleteTestProgress(uint8_t testNumber, CCallback* callback);
    ProtocolResultCode UnscheduleTestProgress(uint8_t testNumber, CCallback* callback);
    // Begin(50).
    ProtocolResultCode SetNameProgress(const std::string& name, CCallback* callback);
    // No Begin: Progress(33), the command, End.
    ProtocolResultCode SetStopModeProgress(uint8_t testNumber, uint8_t flag, CCallback* callback);

    // Reads a whole device in an exchange: identity (2), status (3) and clock (1), memory
    // (69) and the battery input (13 on input 3), with the model's test and slot counts,
    // channel count and battery charge. slots (when given) receives 1, 2, ... up to
    // capacity. The callback hears Begin(0), Progress(0) twice (a non-zero answer ends the
    // read there with 0 and the record filled so far) and End.
    ProtocolResultCode Identify(DeviceInfoRecord* info, uint8_t* slots, size_t slotCapacity, uint16_t* replyWord,
                                CCallback* callback);

    // ---- Block transfer and the test download (LegacyBlockTransfer.cpp) ----

    // The block transfer of a test's whole data image into path. The image is written to
    // "<path>.part" and put in place of path when the transfer ended (0, or 5069 with the
    // image short of expectedSize and its end pointer repaired); after any other result
    // path is untouched. 5004 (nothing sent) when the partial file cannot be made or path
    // is no regular file; 5064 when a block could not be written. The callback's Progress
    // gets a BlockTransferProgress for every block; a non-zero answer ends with 5068.
    ProtocolResultCode ReadMemoryBlock(uint8_t testNumber, const std::string& path, uint32_t expectedSize,
                                       CCallback* callback);
    // The block transfer of a test's channel table, in an exchange: the callback's Progress
    // gets each LegacyChannelDefinition the model reports (a non-zero answer ends with 5068).
    ProtocolResultCode ReadTestChannelDefs(uint8_t testNumber, CCallback* callback);
    // Begin(the model's channel count), the read, End.
    ProtocolResultCode ReadTestChannelDefsProgress(uint8_t testNumber, CCallback* callback);
    // 113: a test's directory entry (page 2, at the model's first offset + bytes per test
    // x (test number - 1)). 5001 for a model without a directory.
    ProtocolResultCode ReadDataBlock(uint8_t testNumber, uint16_t* startPage, uint16_t* startOffset,
                                     uint16_t* endPage, uint16_t* endOffset);
    // 113: 128 bytes of memory at (page, offset).
    ProtocolResultCode ReadDataBlock2(uint16_t page, uint16_t offset, std::array<uint8_t, kLegacyBlockDataSize>* bytes);
    // A test's data into the legacy test data file path, in an exchange. A file an earlier
    // download made gets the data logged since (read by 113); any other path gets the
    // whole image (ReadMemoryBlock). 5042 for a test without data; 5001 for a model
    // without download; 5004 when path exists but cannot be opened for writing (it is left
    // alone); 5095 without a test-file service.
    ProtocolResultCode DownloadTestData(uint8_t testNumber, const std::string& path, CCallback* callback);

private:
    friend class CLegacyCommandReply;

    // Marks a command waiting for its lifetime.
    class WaitScope {
    public:
        explicit WaitScope(CLegacyInstrument& instrument) : m_instrument(instrument) { ++m_instrument.m_waitDepth; }
        ~WaitScope() { --m_instrument.m_waitDepth; }
        WaitScope(const WaitScope&) = delete;
        WaitScope& operator=(const WaitScope&) = delete;

    private:
        CLegacyInstrument& m_instrument;
    };

    // Sends request to the selected device with handler and pumps until the handler is
    // done; the handler is withdrawn from the link before this returns. The handler's
    // result, or Send's error.
    ProtocolResultCode Run(CTkRequest& request, CPacketHandler& handler, uint32_t timeoutMs, int resends);
    // A command of the set: request with its reply decoder (null: a reply without body).
    using Decoder = std::function<int(std::span<const uint8_t> body, uint16_t replyWord)>;
    ProtocolResultCode Command(uint16_t opcode, CTkRequest& request, Decoder decode, CCallback* callback,
                               uint32_t timeoutMs, int resends);
    ProtocolResultCode StandardCommand(uint16_t opcode, CTkRequest& request, Decoder decode,
                                       CCallback* callback = nullptr);
    // 5110 while a command waits, 5002 without a link, else 0.
    ProtocolResultCode CanStart() const;
    // GetTestInfo, with the state derived and the channels made logical.
    ProtocolResultCode ReadTest(uint8_t testNumber, LegacyTestRecord& test);
    // The test's sample count of its data size (GetTestInfoProgress).
    uint32_t SampleCount(const LegacyTestRecord& test) const;
    // The link's result code for a handler's stored status (0xFFFF is -1).
    static ProtocolResultCode ResultOf(const CPacketHandler& handler);

    std::unique_ptr<CTkLink> m_link;
    uint16_t m_address = kNoAddress;
    uint8_t m_model = 0;
    uint32_t m_replyTimeoutMs = 0;
    uint32_t m_blockTimeoutMs = 0;
    const CLegacyTestFiles* m_files = nullptr;
    int m_waitDepth = 0;
};
