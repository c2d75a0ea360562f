#pragma once
// The instrument simulator: plays current-generation instruments on a pseudo-terminal.
//
// The host side (the program's serial-port code, or a test) opens SlavePath() like any
// serial device. The simulator serves the master side on its own thread: it assembles the
// frames the host sends, hands each one to the devices that listen at the rate the bytes
// were sent at, and writes their replies back, optionally paced at the line rate.
//
// Line rates: a device hears only frames whose bytes were all sent at its listening rate.
// The terminal tells only the host's current rate, so the simulator samples it right before
// each read (and is woken at once by a settings change when the host keeps the terminal's
// local flags). Bytes that arrive in the same wake as a rate change are taken at the rate
// before the change (a host writes and then switches; after switching it waits). A host
// that switches and writes within about 2 ms may therefore be heard at the old rate: leave
// a few milliseconds after a switch, or start the simulator at the host's rate
// (SimOptions::initialBaud). Replies are not checked against the host's rate.
//
// Every device answers through a table of command handlers (one per command code). A
// handler gets the decoded request and returns a status, a reply body in host order and
// the layout string that describes it; the simulator converts the body to the frame order
// the device replies in and builds the frame. The standard handlers (identify, baud
// change) are installed by InstallStandardHandlers; later command groups add theirs there.
//
// Threading: one recursive mutex guards every device and all observations. Handlers run on
// the simulator thread with that mutex held, so they may use the device freely; every
// public method may be called from any thread. Times are real monotonic milliseconds with
// the origin of wv::SystemClock; a simulated process clock installed by a test does not
// affect the simulator unless it is handed over as SimOptions::clock.

#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/TkBody.h"
#include "tools/instrument-sim/SimModem.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <typeindex>
#include <typeinfo>
#include <vector>

namespace wv {
class Clock;
}

namespace wv::sim {

constexpr uint32_t kHostAddress = 0;
constexpr uint32_t kBroadcastAddress = 0xFFFFFFFFu;

// The identify (kTkCmdIdentify) and baud-change (kTkCmdSetBaud) commands and every other
// command code are the program's own (comm/protocol/).

// Status a device answers to a command it has no handler for. The host passes non-zero
// statuses through to its caller, so an unsupported command fails at once, not by time-out.
constexpr uint16_t kStatusUnknownCommand = 1;

// Fault count meaning "every following reply".
constexpr int kForever = -1;

// The rate of a baud code byte '0'..'5' (1200, 2400, 4800, 9600, 19200, 57600); 0 for any
// other byte.
uint32_t BaudForCode(uint8_t code);

// Bodies handed to and returned by handlers are in host order (least significant byte
// first; comm/protocol/TkBody.h reads and writes them); the layout string tells the
// simulator how to convert them.

// ---------------------------------------------------------------------------------------
// Requests and replies as handlers see them.

struct SimRequest {
    uint32_t destination = 0;
    uint32_t source = 0;
    uint16_t command = 0;
    int order = 0;                  // frame order of the request (the host sends 0)
    bool broadcast = false;         // destination was kBroadcastAddress
    uint32_t baud = 0;              // rate the request was heard at
    std::vector<uint8_t> body;      // exactly as on the line (frame order)

    // The body converted to host order by layout into out. False (out cleared) when the
    // layout is malformed or the body length differs from what the layout describes.
    bool Decode(const char* layout, std::vector<uint8_t>& out) const;
    // As Decode, but a body longer than the layout is accepted (the extra bytes are dropped).
    bool DecodePrefix(const char* layout, std::vector<uint8_t>& out) const;
};

struct SimReply {
    bool silent = false;            // send nothing at all
    uint16_t status = 0;            // 0 = success
    uint16_t replyWord = 0;         // frame offset 13
    std::vector<uint8_t> body;      // host order
    std::string layout;             // describes body; empty: raw bytes sent unchanged

    static SimReply Answer(std::vector<uint8_t> body = {}, std::string layout = {});
    static SimReply Status(uint16_t status);
    static SimReply None();
};

class SimDevice;
using CommandHandler = std::function<SimReply(SimDevice& device, const SimRequest& request)>;
// Work a device does whenever it hears a request, before the request's handler runs.
using RequestHook = std::function<void(SimDevice& device, const SimRequest& request)>;

// ---------------------------------------------------------------------------------------
// Faults on demand. A device holds a list of faults; each reply it would send applies every
// fault that matches its command and still has count left, and counts each of them down
// (a fault whose count reaches 0 is removed). Silent wins over all others. A request the
// device itself leaves unanswered (a handler returning SimReply::None) uses up no fault.

enum class FaultKind {
    Silent,          // no reply at all
    BadCrc,          // the CRC is wrong (last byte flipped)
    ShortBody,       // `bytes` fewer body bytes than the layout needs (default 1)
    OversizedBody,   // `bytes` more body bytes than the layout needs (default 4), frame valid
    OversizedLength, // length field `bytes` (default 491, always above 490), that many body
                     // bytes follow with ETX and a correct CRC
    Duplicate,       // the reply frame is sent twice, `ms` apart (default 50)
    PauseMidFrame,   // the writer stops `ms` (default 100) after `bytes` frame bytes
                     // (default: half the frame), then sends the rest
    Busy,            // `status` (default 901) with an empty body instead of the reply
    GarbageBefore,   // `garbage` bytes (default FF 55 AA 00 7E) are sent right before the frame
};

struct Fault {
    FaultKind kind = FaultKind::Silent;
    int count = 1;                  // replies affected; kForever for every following reply
    int command = -1;               // only replies to this command code; -1 = any
    uint32_t bytes = 0;             // see FaultKind; 0 = the default
    uint32_t ms = 0;                // see FaultKind; 0 = the default
    uint16_t status = 0;            // Busy: the status; 0 = the default 901
    std::vector<uint8_t> garbage;   // GarbageBefore: the bytes; empty = the default
    // Only replies to requests whose body begins with these bytes (as on the line): one
    // record of a command that reads several by a selector byte. Empty = any request.
    std::vector<uint8_t> bodyPrefix;

    static Fault Silence(int count = 1);
    static Fault CorruptCrc(int count = 1);
    static Fault Short(uint32_t missingBytes = 1, int count = 1);
    static Fault Oversized(uint32_t extraBytes = 4, int count = 1);
    static Fault LengthAbove490(uint32_t lengthField = 491, int count = 1);
    static Fault Twice(uint32_t gapMs = 50, int count = 1);
    static Fault Pause(uint32_t pauseMs, uint32_t afterBytes = 0, int count = 1);
    static Fault BusyStatus(uint16_t status = 901, int count = 1);
    static Fault Garbage(std::vector<uint8_t> bytes = {}, int count = 1);

    // The same fault limited to replies to command.
    Fault ForCommand(uint16_t commandCode) const;
    // The same fault limited to requests whose body begins with prefix.
    Fault ForBody(std::vector<uint8_t> prefix) const;
};

// ---------------------------------------------------------------------------------------
// Observations.

struct DeviceCounters {
    uint64_t framesHeard = 0;        // frames to its address or broadcast, heard at its rate
    uint64_t framesMissedRate = 0;   // such frames sent at another rate (not heard)
    uint64_t broadcastsHeard = 0;
    uint64_t identifyAnswered = 0;   // identify requests (broadcast or addressed) answered
    uint64_t identifySuppressed = 0; // identify broadcasts ignored because it was in the list
    uint64_t baudChanges = 0;        // baud broadcasts obeyed
    uint64_t unknownCommands = 0;    // requests without a handler
    uint64_t repliesSent = 0;        // replies queued for the line (a duplicate counts once)
    uint64_t repliesSuppressed = 0;  // replies dropped by a Silent fault
    uint64_t faultsApplied = 0;      // fault applications (one per fault per reply)
};

struct ReceivedFrame {
    uint32_t destination = 0;
    uint32_t source = 0;
    uint16_t command = 0;
    uint16_t replyCommand = 0;
    uint16_t replyWord = 0;
    int order = 0;
    std::vector<uint8_t> body;       // exactly as on the line (frame order)
    size_t wakeBytes = 0;            // zero bytes directly before its SOH
    size_t strayBytes = 0;           // other bytes dropped since the previous frame
    uint32_t baud = 0;               // rate its bytes were sent at (rate of its first byte)
    bool mixedRate = false;          // its bytes were sent at more than one rate: nobody hears it
    uint64_t receivedMs = 0;         // when its last byte was read (wv::SystemClock origin)
    std::vector<uint32_t> heardBy;   // addresses of the devices that heard it
};

// What the simulator wrote, as it scheduled it. Times are microseconds on the simulator's
// own steady clock, the one it schedules its output by, so they show what it did whatever
// else the machine was doing (a busy machine can only make them later).

// One part of a transmission.
struct SentSegment {
    size_t bytes = 0;
    uint64_t firstWriteUs = 0;       // when its first byte was written
    uint64_t endUs = 0;              // when its last byte had left the line
};

// One transmission: a reply (with the garbage before it and the duplicate after it, when
// faults ask for them) or the bytes of one SendRaw.
struct SentTransmission {
    uint32_t source = 0;             // the answering device (0 for SendRaw)
    uint16_t replyCommand = 0;       // the command answered (0 for SendRaw)
    uint32_t pacedBaud = 0;          // the rate it was paced at; 0 when written at once
    size_t bytes = 0;                // bytes written
    size_t writes = 0;               // writes that took bytes
    uint64_t firstWriteUs = 0;       // when its first byte was written
    uint64_t lastWriteUs = 0;        // when its last byte was written
    uint64_t endUs = 0;              // when its last byte had left the line (paced: its
                                     // line time after the last write); the next
                                     // transmission starts interFrameGapMs after this
    // Its parts in order: garbage, the frame (in two parts when paused in the middle), the
    // duplicate. A part that waits for silence first starts that long after the one before
    // it ended.
    std::vector<SentSegment> segments;
};

struct LineCounters {
    uint64_t bytesReceived = 0;
    uint64_t bytesSent = 0;
    uint64_t framesReceived = 0;     // complete, valid frames
    uint64_t framesSent = 0;         // frames written (each copy of a duplicate counts)
    uint64_t wakeBytes = 0;          // zero bytes before frames
    uint64_t strayBytes = 0;         // other bytes outside frames
    uint64_t frameErrors = 0;        // frames rejected by the receiver (any negative code)
    uint64_t partialTimeouts = 0;    // frames abandoned after a silent second
    uint64_t rateChanges = 0;        // host rate changes seen
    uint64_t writeDrops = 0;         // output bytes dropped because nobody read the line
    uint64_t handlerFailures = 0;    // handlers or request hooks that threw (no reply)
    std::map<int, uint64_t> errorsByCode;  // receiver result code -> count
};

// ---------------------------------------------------------------------------------------

class InstrumentSim;

// One simulated current-generation device. Created and owned by InstrumentSim (stable
// address until RemoveDevice or the simulator's destruction). Every method locks the
// simulator's mutex.
class SimDevice {
public:
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    uint32_t Address() const { return address_.load(); }
    // Moves the device to another address (a device given a new serial number answers at
    // it, its reply to that very command included). Simulator mutex held.
    void SetAddress(uint32_t address) { address_.store(address); }
    // Position among the simulator's devices when added; staggers identify replies.
    size_t Index() const { return index_; }

    uint32_t Type() const;
    void SetType(uint32_t type);
    // The name exactly as the instrument stores it (single-byte text); at most 16 characters
    // go on the line, always followed by a zero.
    std::string Name() const;
    void SetName(const std::string& name);

    // The rate the device listens (and answers) at.
    uint32_t ListeningBaud() const;
    void SetListeningBaud(uint32_t baud);

    // Frame order of its replies: 0 (default, most significant byte first) or 1.
    int ReplyOrder() const;
    void SetReplyOrder(int order);

    // Delay before answering an addressed request (default 0 ms). Broadcast answers use the
    // simulator's identify stagger instead.
    uint32_t ReplyDelayMs() const;
    void SetReplyDelayMs(uint32_t ms);

    // Handler table.
    void SetHandler(uint16_t command, CommandHandler handler);
    void RemoveHandler(uint16_t command);
    bool HasHandler(uint16_t command) const;

    // Hooks run, in the order of their names, before every request the device hears is
    // dispatched (whether it has a handler or not), with the simulator's mutex held: the
    // place for what the device does on its own between requests (a running test logging
    // its samples). Setting a hook under a name it already has replaces it; a null hook
    // removes it. A hook that throws leaves the request unanswered, as a throwing handler.
    void SetRequestHook(const std::string& name, RequestHook hook);

    // Faults: see Fault.
    void InjectFault(const Fault& fault);
    void ClearFaults();
    size_t ActiveFaults() const;

    DeviceCounters Counters() const;
    void ResetCounters();
    // The live counters, for handlers (simulator mutex held).
    DeviceCounters& MutableCounters() { return counters_; }

    // Per-device state of a command group (records, tests, files, ...): one object of each
    // type T, created on first use. Use it with the simulator's mutex held (inside a handler
    // or InstrumentSim::WithDevice).
    template <class T>
    T& State()
    {
        auto& slot = state_[std::type_index(typeid(T))];
        if (!slot) {
            slot = std::make_shared<T>();
        }
        return *static_cast<T*>(slot.get());
    }

    // The simulator this device belongs to.
    InstrumentSim& Sim() const { return sim_; }

private:
    friend class InstrumentSim;
    SimDevice(InstrumentSim& sim, size_t index, uint32_t address, uint32_t type,
              std::string name, uint32_t baud);

    InstrumentSim& sim_;
    const size_t index_;
    std::atomic<uint32_t> address_;
    uint32_t type_;
    std::string name_;
    uint32_t baud_;
    int replyOrder_ = 0;
    uint32_t replyDelayMs_ = 0;
    std::map<uint16_t, CommandHandler> handlers_;
    std::map<std::string, RequestHook> requestHooks_;
    std::vector<Fault> faults_;
    DeviceCounters counters_;
    std::map<std::type_index, std::shared_ptr<void>> state_;
};

// Installs the standard handlers on device: identify (2) and baud change (40).
void InstallStandardHandlers(SimDevice& device);

struct SimOptions {
    bool pace = false;                     // write bytes at the line rate (10 bits a byte)
    uint32_t identifyBaseDelayMs = 5;      // first device's delay before a broadcast answer
    uint32_t identifyStaggerMs = 40;       // added per device index
    uint32_t interFrameGapMs = 20;         // least silence between two frames the simulator
                                           // writes, so the host reads each in its own burst
    uint32_t partialFrameTimeoutMs = 1000; // a frame whose bytes stop this long is dropped
    uint32_t initialBaud = 9600;           // rate set on the line when it is opened
    // The clock the line's schedule runs on (reply delays, gaps, pauses, pacing, the partial
    // frame's time-out, the times recorded); null: the system's monotonic clock. A test that
    // runs the host on a simulated clock may hand the same one over, so that answers come at
    // their simulated times (see OutputDue). The caller keeps it alive.
    Clock* clock = nullptr;
    // An AT modem stands in front of the devices (SimModem.h): the line starts in its
    // command mode, and the devices hear the host only while it is connected.
    bool modem = false;
};

// Fields of a frame to encode by hand (EncodeFrame).
struct FrameFields {
    uint32_t destination = 0;
    uint32_t source = 0;
    uint16_t command = 0;            // command of a request, status of a reply
    uint16_t replyCommand = 0;
    uint16_t replyWord = 0;
    int order = 0;                   // 0 or 1: byte order of header, length and CRC
    std::vector<uint8_t> body;       // already in the frame order
    int lengthField = -1;            // -1: body.size(); else written as the length field
};

// The bytes of a frame: SOH, header, order, length, STX, body, ETX, CRC-16 in the frame
// order. Encoded independently of the program's packet code.
std::vector<uint8_t> EncodeFrame(const FrameFields& fields);

class InstrumentSim {
public:
    explicit InstrumentSim(SimOptions options = {});
    ~InstrumentSim();   // Stop()

    InstrumentSim(const InstrumentSim&) = delete;
    InstrumentSim& operator=(const InstrumentSim&) = delete;

    // Opens the pseudo-terminal (raw, initialBaud) and starts serving it. False with
    // LastError() when the terminal cannot be opened; calling it while running returns true.
    bool Start();
    // Stops the thread and closes the terminal. Idempotent; bounded (the thread checks its
    // stop request at least every few milliseconds). Not from a handler (the simulator's own
    // thread). Received frames and counters are kept.
    void Stop();
    bool IsRunning() const;
    std::string LastError() const;

    // The path the host opens ("/dev/pts/N"); empty before Start.
    std::string SlavePath() const;

    // A lost line: closes the terminal so the host sees a hang-up, and stops serving.
    void HangUp();

    // Devices. Adding a device installs the standard handlers. An address that already
    // exists returns the existing device unchanged. The search works with any 32-bit
    // address, but the current command set selects a device by the low 16 bits of its
    // address: a device the host is to talk to needs an address up to 0xFFFF.
    SimDevice& AddDevice(uint32_t address, uint32_t type, const std::string& name,
                         uint32_t baud = 9600);
    SimDevice* FindDevice(uint32_t address);
    std::vector<SimDevice*> Devices();
    // Removes the device; references to it become invalid.
    bool RemoveDevice(uint32_t address);

    // Runs fn with the simulator's mutex held (for State<T>() and multi-step changes).
    void WithDevice(uint32_t address, const std::function<void(SimDevice&)>& fn);

    void SetPacing(bool pace);
    bool Pacing() const;

    // The host's current line rate as last sampled (0 before Start).
    uint32_t LineBaud() const;

    // Writes bytes to the line as they are (after anything already queued), e.g. unsolicited
    // or hand-made frames; delayMs after the moment it is called.
    void SendRaw(std::vector<uint8_t> bytes, uint32_t delayMs = 0);

    // Observations.
    std::vector<ReceivedFrame> Frames() const;
    size_t FrameCount() const;
    void ClearFrames();
    // Transmissions written out whole, in order (one dropped on a stalled or lost line is
    // not among them); ClearFrames clears them too.
    std::vector<SentTransmission> Sent() const;
    LineCounters Counters() const;
    // Waits until at least count frames have been received (FrameCount); false on time-out.
    // Neither wait may be called with the simulator's mutex held.
    bool WaitForFrames(size_t count, uint32_t timeoutMs) const;
    // Waits until nothing is queued or being written; false on time-out.
    bool WaitUntilIdle(uint32_t timeoutMs) const;
    // True while something is to be written at the current time of the simulator's clock
    // (the rest of a transmission, the next one when due, or the modem's timed work when
    // due: a dial's outcome, the end of an escape). On a simulated clock nothing more goes
    // out once this is false until the clock moves on.
    bool OutputDue() const;
    // The time of the simulator's clock (ms, rounded up) at which it writes next: the rest of
    // a transmission, the next one queued, or the modem's next timed work; 0 when none.
    uint64_t NextOutputMs() const;

    std::recursive_mutex& Mutex() const { return mutex_; }

    // The modem in front of the devices (enabled by SimOptions::modem).
    SimModem& Modem();

private:
    friend class SimDevice;
    struct Impl;

    SimOptions options_;
    mutable std::recursive_mutex mutex_;
    mutable std::condition_variable_any changed_;
    std::vector<std::unique_ptr<SimDevice>> devices_;
    std::unique_ptr<Impl> impl_;
    std::jthread thread_;
};

} // namespace wv::sim
