// The older generation's command set: set-up, the commands with their busy answers and
// acknowledgements, and the whole-device read. The block transfer and the test download are
// in LegacyBlockTransfer.cpp.

#include "comm/LegacyInstrument.h"

#include "comm/TkLink.h"
#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkRequest.h"
#include "foundation/Text.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

// ---- The reply handler of a command ----------------------------------------------------

// Decodes a command's final answer, maps a device status to the command's result, takes the
// busy answers the command knows and acknowledges the final answer where the command asks
// for it.
class CLegacyCommandReply : public CPacketHandler {
public:
    CLegacyCommandReply(CTkLink& link, uint16_t address, uint16_t opcode, CLegacyInstrument::Decoder decode,
                        CCallback* callback)
        : CPacketHandler(callback),
          m_link(link),
          m_address(address),
          m_opcode(opcode),
          m_rule(LegacyBusyRuleOf(opcode)),
          m_decode(std::move(decode))
    {
    }

    TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override
    {
        switch (event) {
        case TkLinkEvent::Resend:
            return TkHandlerAnswer::None;
        case TkLinkEvent::Timeout:
            Finish(kTkLegacyNoReply);
            return TkHandlerAnswer::Done;
        case TkLinkEvent::LineLost:
            Finish(kTkErrLineLost);
            return TkHandlerAnswer::Done;
        case TkLinkEvent::Reply:
            break;
        }
        if (!packet) {
            Finish(kTkLegacyNoReply);
            return TkHandlerAnswer::Done;
        }
        const uint16_t status = packet->GetCommand();
        if ((status == kLegacyStatusBusy && m_rule.takesBusy) ||
            (status == kLegacyStatusBusyHold && m_rule.takesBusyHold)) {
            return OnBusy(status, timeoutMs);
        }
        int result = 0;
        if (status == 0) {
            if (m_decode) {
                result = m_decode(std::span<const uint8_t>(packet->GetBodyData(), packet->GetBodyLength()),
                                  packet->GetReplyWord());
            }
            if (result == 0 && m_rule.progressOnSuccess && m_callback) {
                m_callback->Progress(m_rule.progressValue);
            }
        } else {
            result = LegacyResultOfStatus(m_opcode, status);
        }
        if (m_rule.acknowledged) {
            if (m_callback) {
                m_callback->Progress(m_rule.progressValue);
            }
            Acknowledge();
        }
        Finish(result);
        return TkHandlerAnswer::Done;
    }

private:
    TkHandlerAnswer OnBusy(uint16_t status, uint32_t* timeoutMs)
    {
        const uint64_t now = wv::GetClock().NowMs();
        if (!m_busy) {
            m_busy = true;
            m_busySince = now;
        }
        // A device that never gives its final answer must not hold the program.
        if (now - m_busySince >= CLegacyInstrument::kBusyCapMs) {
            Acknowledge();
            Finish(kTkLegacyNoReply);
            return TkHandlerAnswer::Done;
        }
        if (status == kLegacyStatusBusy && timeoutMs != nullptr) {
            *timeoutMs = m_rule.busyTimeoutMs;
        }
        if (m_callback && m_callback->Progress(m_rule.progressValue) != 0) {
            Acknowledge();
            Finish(kTkErrCancelled);
            return TkHandlerAnswer::Done;
        }
        return TkHandlerAnswer::KeepOpen;
    }

    // 201 to the device, without handler and resends; a failure changes nothing.
    void Acknowledge()
    {
        CTkRequest ack(kLegacyBlockNext);
        ack.SetAddress(m_address);
        m_link.Send(&ack, nullptr, 0, 0);
    }

    void Finish(int result)
    {
        SetStatus(result);
        m_done = 1;
    }

    CTkLink& m_link;
    uint16_t m_address;
    uint16_t m_opcode;
    LegacyBusyRule m_rule;
    CLegacyInstrument::Decoder m_decode;
    bool m_busy = false;
    uint64_t m_busySince = 0;
};

namespace {

bool ValidTestNumber(uint8_t testNumber) { return testNumber >= 1 && testNumber <= kLegacyMaxTestNumber; }

// A request whose body is one 16-bit word.
CTkRequest WordRequest(uint16_t opcode, uint16_t word)
{
    TkBodyWriter body;
    body.U16(word);
    return CTkRequest(opcode, body, kLegacyWordLayout);
}

// A request with a word the host does not set (0) and the test number - 1.
CTkRequest TestWordRequest(uint16_t opcode, uint8_t testNumber)
{
    TkBodyWriter body;
    body.U16(0).U16(static_cast<uint16_t>(testNumber - 1));
    return CTkRequest(opcode, body, kLegacyTestWordLayout);
}

// Begin(steps), the operation, End.
template <class Operation>
ProtocolResultCode Wrapped(CCallback* callback, int steps, Operation operation)
{
    if (callback) {
        callback->Begin(steps);
    }
    const ProtocolResultCode result = operation();
    if (callback) {
        callback->End();
    }
    return result;
}

} // namespace

// ---- Set-up ----------------------------------------------------------------------------

bool CLegacyInstrument::TimeoutsOfBaud(uint32_t baud, uint32_t& replyMs, uint32_t& blockMs)
{
    struct Row {
        uint32_t baud;
        uint32_t reply;
        uint32_t block;
    };
    static constexpr Row kRows[] = {
        {1200, 4000, 3250}, {2400, 3600, 3000}, {4800, 3200, 2750},
        {9600, 2800, 2500}, {19200, 2400, 2250}, {57600, 2000, 2000},
    };
    for (const Row& row : kRows) {
        if (row.baud == baud) {
            replyMs = row.reply;
            blockMs = row.block;
            return true;
        }
    }
    return false;
}

CLegacyInstrument::CLegacyInstrument() = default;

CLegacyInstrument::~CLegacyInstrument()
{
    if (m_link) {
        m_link->Close();
        m_link.reset();
    }
}

ProtocolResultCode CLegacyInstrument::Attach(std::unique_ptr<CTkLink>& link)
{
    if (!link) {
        return kTkErrNoLink;
    }
    uint32_t replyMs = 0;
    uint32_t blockMs = 0;
    if (!TimeoutsOfBaud(link->GetBaud(), replyMs, blockMs)) {
        return kTkErrNoLink;
    }
    if (m_waitDepth > 0) {
        return kTkErrLinkBusy;
    }
    m_link = std::move(link);
    m_replyTimeoutMs = replyMs;
    m_blockTimeoutMs = blockMs;
    return 0;
}

ProtocolResultCode CLegacyInstrument::SetAddress(uint16_t address, uint8_t model)
{
    if (!m_link) {
        return kTkErrNoLink;
    }
    m_address = address;
    m_model = model;
    // Always: a search since the last selection may have left the link in another mode.
    m_link->SetMode(model);
    return 0;
}

void CLegacyInstrument::BeginExchange()
{
    if (m_link) {
        m_link->BeginExchange();
    }
}

void CLegacyInstrument::EndExchange()
{
    if (m_link) {
        m_link->EndExchange();
    }
}

ProtocolResultCode CLegacyInstrument::FindDevices(CCallback* callback)
{
    if (const ProtocolResultCode refused = CanStart()) {
        return refused;
    }
    WaitScope scope(*this);
    return m_link->FindDevices(callback);
}

ProtocolResultCode CLegacyInstrument::GetChannelList(uint8_t* count, std::span<uint8_t> channels) const
{
    const TkLegacyModel* rules = LegacyModelOf(m_model);
    if (rules == nullptr) {
        return kTkErrLegacyUnknownModel;
    }
    const size_t stored = std::min(rules->channels.size(), channels.size());
    std::copy_n(rules->channels.begin(), stored, channels.begin());
    if (count) {
        *count = static_cast<uint8_t>(stored);
    }
    return 0;
}

uint8_t CLegacyInstrument::MapLogicalChannel(uint8_t model, uint8_t channel)
{
    return LegacyInputOfChannel(model, channel);
}

uint8_t CLegacyInstrument::MapDeviceInput(uint8_t model, uint8_t input) { return LegacyChannelOfInput(model, input); }

uint8_t CLegacyInstrument::LegacyChannelKind(uint8_t model, uint16_t code) const
{
    if (LegacyModelOf(model) == nullptr || m_files == nullptr) {
        return 0;
    }
    return m_files->KindFromDeviceCode(model, code);
}

// ---- Running a command -----------------------------------------------------------------

ProtocolResultCode CLegacyInstrument::ResultOf(const CPacketHandler& handler)
{
    const int status = handler.GetStatus();
    return status == 0xFFFF ? kTkLegacyNoReply : status;
}

ProtocolResultCode CLegacyInstrument::CanStart() const
{
    if (!m_link) {
        return kTkErrNoLink;
    }
    if (m_waitDepth > 0 || m_link->IsPumping()) {
        return kTkErrLinkBusy;
    }
    return 0;
}

ProtocolResultCode CLegacyInstrument::Run(CTkRequest& request, CPacketHandler& handler, uint32_t timeoutMs,
                                          int resends)
{
    if (request.GetBuildResult() != 0) {
        return request.GetBuildResult();
    }
    WaitScope scope(*this);
    request.SetAddress(static_cast<uint32_t>(m_address));
    const int sent = m_link->Send(&request, &handler, timeoutMs, resends);
    if (sent != 0) {
        return sent;
    }
    m_link->WaitForHandler(handler);
    return ResultOf(handler);
}

ProtocolResultCode CLegacyInstrument::Command(uint16_t opcode, CTkRequest& request, Decoder decode,
                                              CCallback* callback, uint32_t timeoutMs, int resends)
{
    if (const ProtocolResultCode refused = CanStart()) {
        return refused;
    }
    CLegacyCommandReply reply(*m_link, m_address, opcode, std::move(decode), callback);
    return Run(request, reply, timeoutMs, resends);
}

ProtocolResultCode CLegacyInstrument::StandardCommand(uint16_t opcode, CTkRequest& request, Decoder decode,
                                                      CCallback* callback)
{
    return Command(opcode, request, std::move(decode), callback, m_replyTimeoutMs, kStandardResends);
}

// ---- Commands --------------------------------------------------------------------------

ProtocolResultCode CLegacyInstrument::GetClock(DeviceTime* time)
{
    if (time == nullptr) {
        return kTkErrMissingRecord;
    }
    CTkRequest request(kLegacyOpGetClock);
    return StandardCommand(kLegacyOpGetClock, request, [time](std::span<const uint8_t> body, uint16_t) {
        return LegacyDecodeClockReply(body, *time);
    });
}

ProtocolResultCode CLegacyInstrument::GetIdentity(FoundDeviceRecord* identity)
{
    if (identity == nullptr) {
        return kTkErrMissingRecord;
    }
    CTkRequest request(kLegacyOpGetIdentity);
    return StandardCommand(kLegacyOpGetIdentity, request, [identity](std::span<const uint8_t> body, uint16_t) {
        return LegacyDecodeIdentityReply(body, *identity);
    });
}

ProtocolResultCode CLegacyInstrument::GetStatus(DeviceInfoRecord* info, uint16_t* replyWord)
{
    if (info == nullptr) {
        return kTkErrMissingRecord;
    }
    CTkRequest request(kLegacyOpGetStatus);
    return Command(
        kLegacyOpGetStatus, request,
        [info, replyWord](std::span<const uint8_t> body, uint16_t word) {
            const int result = LegacyDecodeStatusReply(body, *info);
            if (result == 0 && replyWord != nullptr) {
                *replyWord = word;
            }
            return result;
        },
        nullptr, 1000, kStandardResends);
}

ProtocolResultCode CLegacyInstrument::ReadAnalog(uint16_t input, uint16_t settleMs, std::array<uint16_t, 2>* words)
{
    if (words == nullptr) {
        return kTkErrMissingRecord;
    }
    *words = {0, 0};
    TkBodyWriter body;
    body.U16(input).U16(settleMs);
    CTkRequest request(kLegacyOpReadAnalog, body, kLegacyAnalogLayout);
    return Command(
        kLegacyOpReadAnalog, request,
        [words](std::span<const uint8_t> reply, uint16_t) { return LegacyDecodeAnalogReply(reply, *words); },
        nullptr, m_replyTimeoutMs + settleMs + 350, kStandardResends);
}

ProtocolResultCode CLegacyInstrument::GetChannelDefinition(uint8_t channel, LegacyChannelDefinition* definition)
{
    if (definition == nullptr) {
        return kTkErrMissingRecord;
    }
    const uint8_t input = MapLogicalChannel(m_model, channel);
    if (input == kLegacyNoChannel) {
        return kTkErrLegacyNoInput;
    }
    if (m_files == nullptr) {
        return kTkErrLegacyNoTestFiles;
    }
    CTkRequest request = WordRequest(kLegacyOpGetChannelDefinition, input);
    const uint8_t model = m_model;
    LegacyKindMap kinds = [this, model](uint16_t code) { return LegacyChannelKind(model, code); };
    return StandardCommand(kLegacyOpGetChannelDefinition, request,
                           [&](std::span<const uint8_t> body, uint16_t) {
                               return LegacyDecodeChannelDefinitionReply(body, input, channel, kinds, *definition);
                           });
}

ProtocolResultCode CLegacyInstrument::ReadTest(uint8_t testNumber, LegacyTestRecord& test)
{
    const TkLegacyModel* rules = LegacyModelOf(m_model);
    if (rules == nullptr) {
        return kTkErrLegacyUnknownModel;
    }
    LegacyTestRecord record;
    bool running = false;
    CTkRequest request = WordRequest(kLegacyOpGetTestInfo, static_cast<uint16_t>(testNumber - 1));
    ProtocolResultCode result =
        StandardCommand(kLegacyOpGetTestInfo, request, [&](std::span<const uint8_t> body, uint16_t) {
            return LegacyDecodeTestInfoReply(body, *rules, record, running);
        });
    if (result != 0) {
        return result;
    }
    record.testNumber = testNumber;
    if (record.startTime.month == kLegacyNoMonth) {
        record.state = kLegacyStateUndefined;
    } else if (running) {
        record.state = kLegacyStateRunning;
    } else if (record.stopTime.month != kLegacyNoMonth && record.stopTime.month != kTestStartNotSetMonth) {
        record.state = kLegacyStateComplete;
    } else if (record.scheduledStart.month == kLegacyNoMonth) {
        record.state = kLegacyStatePendingManual;
    } else {
        DeviceTime clock{};
        result = GetClock(&clock);
        if (result != 0) {
            return result;
        }
        record.state = CompareDeviceTime(record.scheduledStart, clock) < 0 ? kLegacyStateAbended
                                                                           : kLegacyStatePendingScheduled;
    }
    if (record.mode == kLegacyModeEvent) {
        record.eventChannel = MapDeviceInput(m_model, record.eventChannel);
    }
    for (size_t i = 0; i < record.channelCount && i < record.channels.size(); ++i) {
        record.channels[i] = MapDeviceInput(m_model, record.channels[i]);
    }
    test = record;
    return 0;
}

ProtocolResultCode CLegacyInstrument::GetTestInfo(uint8_t testNumber, LegacyTestRecord* test)
{
    if (test == nullptr) {
        return kTkErrMissingRecord;
    }
    return ReadTest(testNumber, *test);
}

ProtocolResultCode CLegacyInstrument::SetClock(const DeviceTime& time)
{
    // The device keeps a two-digit year: only 1960 to 2059 come back as they were set.
    if (!IsValidDate(time.month, time.day, time.year) || time.hour > 23 || time.minute > 59 || time.second > 59 ||
        time.year < 1960 || time.year > 2059) {
        return kTkErrBadDeviceTime;
    }
    TkBodyWriter body;
    EncodeLegacyClock(time, body);
    CTkRequest request(kLegacyOpSetClock, body, kLegacyClockLayout);
    return StandardCommand(kLegacyOpSetClock, request, nullptr);
}

ProtocolResultCode CLegacyInstrument::SetName(const std::string& name, CCallback* callback)
{
    const std::string deviceName = Utf8ToCp1252(name);
    TkBodyWriter body;
    body.Text(deviceName.c_str(), deviceName.size(), 17);
    CTkRequest request(kLegacyOpSetName, body, kLegacyNameLayout);
    return StandardCommand(kLegacyOpSetName, request, nullptr, callback);
}

ProtocolResultCode CLegacyInstrument::UnscheduleTest(uint8_t testNumber, CCallback* callback)
{
    if (!ValidTestNumber(testNumber)) {
        return kTkErrLegacyBadTestNumber;
    }
    CTkRequest request = TestWordRequest(kLegacyOpUnscheduleTest, testNumber);
    return StandardCommand(kLegacyOpUnscheduleTest, request, nullptr, callback);
}

ProtocolResultCode CLegacyInstrument::StopTest(CCallback* callback)
{
    CTkRequest request(kLegacyOpStopTest);
    return StandardCommand(kLegacyOpStopTest, request, nullptr, callback);
}

ProtocolResultCode CLegacyInstrument::CreateTest(const LegacyTestRecord& test, CCallback* callback)
{
    if (!ValidTestNumber(test.testNumber)) {
        return kTkErrLegacyBadTestNumber;
    }
    if (test.state == kLegacyStatePendingScheduled) {
        const DeviceTime& s = test.scheduledStart;
        if (s.month < 1 || s.month > 12 || s.day < 1 || s.day > 31) {
            return kTkErrBadDeviceTime;
        }
        if (s.hour > 23 || s.minute > 59 || s.second > 59) {
            return kTkErrLegacyBadStartTime;
        }
    }
    if (test.mode < kLegacyModeLinear || test.mode > kLegacyModeAverage) {
        return kTkErrLegacyBadMode;
    }
    const Duration& iv = test.interval;
    if (iv.hours > 23 || iv.minutes > 59 || iv.seconds > 59 || iv.days > 7) {
        return kTkErrLegacyBadInterval;
    }
    if (test.mode == kLegacyModeEvent) {
        if (test.eventChannel > 8) {
            return kTkErrLegacyBadEventChannel;
        }
        if (test.eventCount < 2 || test.eventCount > 99) {
            return kTkErrLegacyBadInterval;
        }
    }
    if (test.mode == kLegacyModeAverage) {
        const double seconds = iv.days * 86400.0 + iv.hours * 3600.0 + iv.minutes * 60.0 + iv.seconds;
        if (test.averageCount < 2 || test.averageCount > 99 || test.averagePoints < 1 || test.averagePoints > 30 ||
            seconds / 2 < static_cast<double>(test.averageCount) * test.averagePoints) {
            return kTkErrLegacyAverageTooLong;
        }
    }
    if (test.mode == kLegacyModeEvent || test.mode == kLegacyModeAverage) {
        const double value = test.mode == kLegacyModeEvent ? test.threshold : static_cast<double>(test.averagePoints);
        if (!(std::fabs(value) <= 1e7)) {
            return kTkErrLegacyBadThreshold;
        }
    }
    if (test.channelCount > kLegacyMaxTestChannels) {
        return kTkErrLegacyTooManyChannels;
    }
    const TkLegacyModel* rules = LegacyModelOf(m_model);
    if (rules == nullptr) {
        return kTkErrLegacyUnknownModel;
    }
    TkBodyWriter body;
    if (const int refused = EncodeLegacyCreateTest(test, *rules, body)) {
        return refused;
    }
    CTkRequest request(kLegacyOpCreateTest, body, kLegacyCreateTestLayout);
    return StandardCommand(kLegacyOpCreateTest, request, nullptr, callback);
}

ProtocolResultCode CLegacyInstrument::DeleteTest(uint8_t testNumber, CCallback* callback)
{
    if (!ValidTestNumber(testNumber)) {
        return kTkErrLegacyBadTestNumber;
    }
    CTkRequest request = TestWordRequest(kLegacyOpDeleteTest, testNumber);
    return StandardCommand(kLegacyOpDeleteTest, request, nullptr, callback);
}

ProtocolResultCode CLegacyInstrument::StartTest(uint8_t testNumber)
{
    if (const ProtocolResultCode refused = CanStart()) {
        return refused;
    }
    BeginExchange();
    LegacyTestRecord test;
    ProtocolResultCode result = ReadTest(testNumber, test);
    if (result == 0) {
        const uint32_t timeoutMs = test.state == kLegacyStatePendingScheduled ? 60000 : m_replyTimeoutMs;
        CTkRequest request = WordRequest(kLegacyOpStartTest, static_cast<uint16_t>(testNumber - 1));
        result = Command(kLegacyOpStartTest, request, nullptr, nullptr, timeoutMs, kStandardResends);
    }
    EndExchange();
    return result;
}

ProtocolResultCode CLegacyInstrument::SetStopMode(uint8_t testNumber, uint8_t flag, CCallback* callback)
{
    if (!ValidTestNumber(testNumber)) {
        return kTkErrLegacyBadTestNumber;
    }
    if (flag > 1) {
        return kTkErrLegacyBadStopMode;
    }
    TkBodyWriter body;
    body.U16(0).U16(static_cast<uint16_t>(testNumber - 1)).U8(flag);
    CTkRequest request(kLegacyOpSetStopMode, body, kLegacyStopModeLayout);
    const ProtocolResultCode result = StandardCommand(kLegacyOpSetStopMode, request, nullptr, callback);
    return result == kTkErrLegacyNoData && flag == 0 ? 0 : result;
}

ProtocolResultCode CLegacyInstrument::PackMemory(CCallback* callback)
{
    CTkRequest request(kLegacyOpPackMemory);
    return StandardCommand(kLegacyOpPackMemory, request, nullptr, callback);
}

ProtocolResultCode CLegacyInstrument::GetMemory(uint32_t* freeBytes)
{
    if (freeBytes == nullptr) {
        return kTkErrMissingRecord;
    }
    CTkRequest request(kLegacyOpGetMemory);
    return Command(
        kLegacyOpGetMemory, request,
        [freeBytes](std::span<const uint8_t> body, uint16_t) { return LegacyDecodeMemoryReply(body, *freeBytes); },
        nullptr, 1000, kStandardResends);
}

ProtocolResultCode CLegacyInstrument::DefineChannel(const LegacyChannelRecord& record, CCallback* callback)
{
    if (record.channel < 1 || record.channel > 10) {
        return kTkErrLegacyBadTestNumber;
    }
    if (record.port1 < 1 || record.port1 > 8 || record.port2 < 1 || record.port2 > 8) {
        return kTkErrLegacyNoInput;
    }
    TkBodyWriter body;
    EncodeLegacyChannelRecord(record, body);
    CTkRequest request(kLegacyOpDefineChannel, body, kLegacyChannelRecordLayout);
    return StandardCommand(kLegacyOpDefineChannel, request, nullptr, callback);
}

ProtocolResultCode CLegacyInstrument::GetTestChannels(uint8_t testNumber, LegacyChannelRecord* record)
{
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    if (!ValidTestNumber(testNumber)) {
        return kTkErrLegacyBadTestNumber;
    }
    CTkRequest request = WordRequest(kLegacyOpGetTestChannels, static_cast<uint16_t>(testNumber - 1));
    return StandardCommand(kLegacyOpGetTestChannels, request, [record](std::span<const uint8_t> body, uint16_t) {
        return LegacyDecodeChannelRecordReply(body, *record);
    });
}

// ---- Progress wrappers -----------------------------------------------------------------

ProtocolResultCode CLegacyInstrument::GetIdentityProgress(FoundDeviceRecord* identity, CCallback* callback)
{
    return Wrapped(callback, 0, [&] { return GetIdentity(identity); });
}

ProtocolResultCode CLegacyInstrument::GetClockProgress(DeviceTime* time, CCallback* callback)
{
    return Wrapped(callback, 0, [&] { return GetClock(time); });
}

ProtocolResultCode CLegacyInstrument::SetClockProgress(const DeviceTime& time, CCallback* callback)
{
    return Wrapped(callback, 0, [&] { return SetClock(time); });
}

ProtocolResultCode CLegacyInstrument::CreateTestProgress(const LegacyTestRecord& test, CCallback* callback)
{
    return Wrapped(callback, 0, [&] { return CreateTest(test, callback); });
}

ProtocolResultCode CLegacyInstrument::StartTestProgress(uint8_t testNumber, CCallback* callback)
{
    return Wrapped(callback, 0, [&] { return StartTest(testNumber); });
}

ProtocolResultCode CLegacyInstrument::StopTestProgress(CCallback* callback)
{
    return Wrapped(callback, 0, [&] { return StopTest(callback); });
}

ProtocolResultCode CLegacyInstrument::PackMemoryProgress(CCallback* callback)
{
    return Wrapped(callback, 0, [&] { return PackMemory(callback); });
}

ProtocolResultCode CLegacyInstrument::GetTestChannelsProgress(uint8_t testNumber, LegacyChannelRecord* record,
                                                              CCallback* callback)
{
    return Wrapped(callback, 0, [&] { return GetTestChannels(testNumber, record); });
}

ProtocolResultCode CLegacyInstrument::GetChannelDefinitionProgress(uint8_t channel,
                                                                   LegacyChannelDefinition* definition,
                                                                   CCallback* callback)
{
    return Wrapped(callback, 0, [&] { return GetChannelDefinition(channel, definition); });
}

uint32_t CLegacyInstrument::SampleCount(const LegacyTestRecord& test) const
{
    if (test.channelCount == 0 || test.dataSize <= 11) {
        return test.dataSize;
    }
    if (test.state == kLegacyStateAbended && test.dataSize == kLegacyAbendedEmptySize) {
        return 0;
    }
    const TkLegacyModel* rules = LegacyModelOf(m_model);
    uint32_t sampleSize = 2u * test.channelCount + (test.mode == kLegacyModeEvent ? 4u : 0u);
    if (rules != nullptr) {
        sampleSize = LegacySampleSize(*rules, test.mode, test.channelCount);
    }
    return (test.dataSize - 12) / sampleSize;
}

ProtocolResultCode CLegacyInstrument::GetTestInfoProgress(uint8_t testNumber, LegacyTestRecord* test,
                                                          CCallback* callback)
{
    return Wrapped(callback, 0, [&] {
        const ProtocolResultCode result = GetTestInfo(testNumber, test);
        if (result == 0) {
            test->dataSize = SampleCount(*test);
        }
        return result;
    });
}

ProtocolResultCode CLegacyInstrument::DefineChannelProgress(const LegacyChannelRecord& record, CCallback* callback)
{
    return Wrapped(callback, 25, [&] { return DefineChannel(record, callback); });
}

ProtocolResultCode CLegacyInstrument::DeleteTestProgress(uint8_t testNumber, CCallback* callback)
{
    return Wrapped(callback, 33, [&] { return DeleteTest(testNumber, callback); });
}

ProtocolResultCode CLegacyInstrument::UnscheduleTestProgress(uint8_t testNumber, CCallback* callback)
{
    return Wrapped(callback, 33, [&] { return UnscheduleTest(testNumber, callback); });
}

ProtocolResultCode CLegacyInstrument::SetNameProgress(const std::string& name, CCallback* callback)
{
    return Wrapped(callback, 50, [&] { return SetName(name, callback); });
}

ProtocolResultCode CLegacyInstrument::SetStopModeProgress(uint8_t testNumber, uint8_t flag, CCallback* callback)
{
    if (callback) {
        callback->Progress(33);
    }
    const ProtocolResultCode result = SetStopMode(testNumber, flag, callback);
    if (callback) {
        callback->End();
    }
    return result;
}

// ---- Identify --------------------------------------------------------------------------

ProtocolResultCode CLegacyInstrument::Identify(DeviceInfoRecord* info, uint8_t* slots, size_t slotCapacity,
                                               uint16_t* replyWord, CCallback* callback)
{
    if (info == nullptr) {
        return kTkErrMissingRecord;
    }
    if (const ProtocolResultCode refused = CanStart()) {
        return refused;
    }
    if (callback) {
        callback->Begin(0);
    }
    BeginExchange();
    auto finish = [&](ProtocolResultCode result) {
        EndExchange();
        if (callback) {
            callback->End();
        }
        return result;
    };
    auto cancelled = [&] { return callback != nullptr && callback->Progress(0) != 0; };

    FoundDeviceRecord identity;
    ProtocolResultCode result = GetIdentity(&identity);
    if (result != 0) {
        return finish(result);
    }
    info->address = identity.address;
    std::memcpy(info->name, identity.name, sizeof info->name);
    info->name[sizeof info->name - 1] = 0;
    info->deviceType = identity.deviceType;
    if (cancelled()) {
        return finish(0);
    }
    result = GetStatus(info, replyWord);
    if (result == 0) {
        result = GetClock(&info->deviceClock);
    }
    if (result != 0) {
        return finish(result);
    }

    if (slots != nullptr) {
        for (size_t i = 0; i < slotCapacity; ++i) {
            slots[i] = static_cast<uint8_t>(i + 1);
        }
    }
    const TkLegacyModel* rules = LegacyModelOf(m_model);
    if (rules != nullptr) {
        info->channelCount =
            static_cast<uint8_t>(std::max(int{info->channelCount} - int{rules->hiddenStatusChannels}, 0));
        info->testCount = rules->testSlots;
        info->slotCount = rules->testSlots;
    } else {
        info->testCount = 0;
        info->slotCount = 0;
    }

    if (cancelled()) {
        return finish(0);
    }
    result = GetMemory(&info->freeMemory);
    std::array<uint16_t, 2> battery{};
    if (result == 0) {
        result = ReadAnalog(3, 0, &battery);
    }
    if (result != 0) {
        return finish(result);
    }
    const double volts = LegacyBatteryVolts(battery[0]);
    info->batteryVoltage = static_cast<float>(volts);
    info->supplyVoltage = static_cast<float>(volts);
    info->batteryPercent = rules != nullptr ? LegacyBatteryPercent(*rules, info->batteryType, info->address, volts) : 0;
    return finish(0);
}
