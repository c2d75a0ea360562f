// The simulator's line thread: receives frames at the rate the host sends them, lets the
// devices listening at that rate answer, and writes the answers (optionally paced).
//
// Which rate did the host send a byte at? The host may switch the rate right after writing
// a frame, and the pseudo-terminal only tells the current rate. The thread therefore keeps
// its read loop tight: it wakes at least every 2 ms, and at once on input or (when the host
// keeps the external-processing flag the simulator sets) on a settings change; it samples
// the rate right before each read. Bytes read in a wake where the rate differs from the
// previous sample are attributed to the previous rate: a host writes a frame and then
// switches, while after a switch it waits before it sends (the search waits 20 ms). Only a
// host that writes, switches and writes again within one wake (about 2 ms) is misread.

#include "tools/instrument-sim/InstrumentSim.h"

#include "comm/protocol/LayoutString.h"
#include "comm/protocol/TkPacket.h"
#include "platform/Clock.h"
#include "platform/PseudoTerminal.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace wv::sim {

namespace {

constexpr uint32_t kMaxWaitUs = 2000;        // longest sleep of the line thread
constexpr uint64_t kWriteStallUs = 2000000;  // output nobody reads is dropped after this
constexpr uint16_t kDefaultBusyStatus = 901;
constexpr uint32_t kDefaultShortBy = 1;
constexpr uint32_t kDefaultExtra = 4;
constexpr uint32_t kDefaultDuplicateGapMs = 50;
constexpr uint32_t kDefaultPauseMs = 100;
constexpr uint8_t kFillByte = 0xEE;          // padding of oversized bodies (never SOH)

uint64_t NowUs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

uint64_t NowMs()
{
    static SystemClock clock;
    return clock.NowMs();
}

} // namespace

struct InstrumentSim::Impl {
    struct Segment {
        std::vector<uint8_t> bytes;
        uint32_t delayMs = 0;       // silence before this segment
        bool completesFrame = false;
    };
    struct Transmission {
        uint64_t dueUs = 0;
        uint64_t seq = 0;
        uint32_t baud = 0;          // pacing rate
        std::vector<Segment> segments;
        SentTransmission record;    // filled in while it is written
    };

    PseudoTerminal line;
    bool running = false;
    std::string lastError;
    uint32_t lineBaud = 0;
    size_t nextIndex = 0;

    // Receiver.
    CTkPacket rx{TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder};
    size_t wakeRun = 0;
    size_t strayRun = 0;
    size_t frameWake = 0;
    size_t frameStray = 0;
    uint32_t frameBaud = 0;
    bool frameMixed = false;
    uint64_t lastByteUs = 0;
    std::vector<ReceivedFrame> frames;
    std::vector<SentTransmission> sent;
    LineCounters counters;

    // Output.
    std::vector<Transmission> queue;      // ordered by (dueUs, seq)
    std::optional<Transmission> current;
    size_t segment = 0;
    size_t pos = 0;
    uint64_t nextUs = 0;
    uint64_t busyUntilUs = 0;             // paced: when the last byte written has left
    uint64_t lastFrameEndUs = 0;
    uint64_t stallSinceUs = 0;
    uint64_t seq = 0;

    std::unique_ptr<SimModem> modem;

    static void Run(InstrumentSim& sim, std::stop_token stop);
    static void Feed(InstrumentSim& sim, const std::vector<uint8_t>& data, uint32_t baud, uint64_t nowUs);
    static void Dispatch(InstrumentSim& sim, ReceivedFrame& frame);
    static void QueueReply(InstrumentSim& sim, SimDevice& device, const SimRequest& request,
                           SimReply reply);
    static void Enqueue(InstrumentSim& sim, Transmission t);
    static void ServiceOutput(InstrumentSim& sim, uint64_t nowUs);
    static uint64_t NextOutputUs(const InstrumentSim& sim);
    // The earlier of NextOutputUs and the modem's next timed work (a dial's outcome, the end
    // of an escape), which may write too; 0 when neither waits.
    static uint64_t NextEventUs(const InstrumentSim& sim);
    // The schedule's clock in microseconds (SimOptions::clock).
    static uint64_t ClockUs(const InstrumentSim& sim)
    {
        return sim.options_.clock != nullptr ? sim.options_.clock->NowMs() * 1000 : NowUs();
    }
    bool Idle() const { return queue.empty() && !current; }
    void ResetReceiver()
    {
        rx.Reset();
        wakeRun = strayRun = 0;
    }
};

// ---------------------------------------------------------------------------------------

InstrumentSim::InstrumentSim(SimOptions options) : options_(options), impl_(std::make_unique<Impl>())
{
    impl_->modem = std::make_unique<SimModem>(*this, options_.modem, options_.clock);
}

SimModem& InstrumentSim::Modem() { return *impl_->modem; }

InstrumentSim::~InstrumentSim() { Stop(); }

bool InstrumentSim::Start()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (impl_->running) {
        return true;
    }
    // Packet mode with the external-processing flag: a change of the host's settings wakes
    // the line thread as input does (see the note at the top of this file).
    PtyOptions ptyOptions;
    ptyOptions.baud = options_.initialBaud;
    ptyOptions.packetMode = true;
    ptyOptions.extProc = true;
    std::string error;
    if (impl_->line.Open(ptyOptions, &error) != 0) {
        impl_->lastError = error;
        return false;
    }
    impl_->lastError.clear();
    impl_->lineBaud = impl_->line.SlaveBaud();
    impl_->ResetReceiver();
    impl_->queue.clear();
    impl_->current.reset();
    impl_->modem->Reset();
    impl_->running = true;
    thread_ = std::jthread([this](std::stop_token stop) { Impl::Run(*this, stop); });
    return true;
}

void InstrumentSim::Stop()
{
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->line.Close();
    impl_->running = false;
    impl_->queue.clear();
    impl_->current.reset();
    impl_->ResetReceiver();
    changed_.notify_all();
}

void InstrumentSim::HangUp() { Stop(); }

bool InstrumentSim::IsRunning() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->running;
}

std::string InstrumentSim::LastError() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->lastError;
}

std::string InstrumentSim::SlavePath() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->running ? impl_->line.SlavePath() : std::string();
}

SimDevice& InstrumentSim::AddDevice(uint32_t address, uint32_t type, const std::string& name,
                                    uint32_t baud)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (SimDevice* existing = FindDevice(address)) {
        return *existing;
    }
    devices_.push_back(std::unique_ptr<SimDevice>(
        new SimDevice(*this, impl_->nextIndex++, address, type, name, baud)));
    InstallStandardHandlers(*devices_.back());
    return *devices_.back();
}

SimDevice* InstrumentSim::FindDevice(uint32_t address)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (auto& d : devices_) {
        if (d->Address() == address) {
            return d.get();
        }
    }
    return nullptr;
}

std::vector<SimDevice*> InstrumentSim::Devices()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<SimDevice*> out;
    for (auto& d : devices_) {
        out.push_back(d.get());
    }
    return out;
}

bool InstrumentSim::RemoveDevice(uint32_t address)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = std::find_if(devices_.begin(), devices_.end(),
                           [&](const auto& d) { return d->Address() == address; });
    if (it == devices_.end()) {
        return false;
    }
    devices_.erase(it);
    return true;
}

void InstrumentSim::WithDevice(uint32_t address, const std::function<void(SimDevice&)>& fn)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (SimDevice* d = FindDevice(address)) {
        fn(*d);
    }
}

void InstrumentSim::SetPacing(bool pace)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    options_.pace = pace;
}

bool InstrumentSim::Pacing() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return options_.pace;
}

uint32_t InstrumentSim::LineBaud() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->lineBaud;
}

void InstrumentSim::SendRaw(std::vector<uint8_t> bytes, uint32_t delayMs)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Impl::Transmission t;
    t.dueUs = Impl::ClockUs(*this) + uint64_t{delayMs} * 1000;
    t.baud = impl_->lineBaud;
    t.segments.push_back({std::move(bytes), 0, false});
    Impl::Enqueue(*this, std::move(t));
}

std::vector<ReceivedFrame> InstrumentSim::Frames() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->frames;
}

size_t InstrumentSim::FrameCount() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->frames.size();
}

void InstrumentSim::ClearFrames()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    impl_->frames.clear();
    impl_->sent.clear();
}

std::vector<SentTransmission> InstrumentSim::Sent() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->sent;
}

LineCounters InstrumentSim::Counters() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return impl_->counters;
}

bool InstrumentSim::WaitForFrames(size_t count, uint32_t timeoutMs) const
{
    std::unique_lock<std::recursive_mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return impl_->frames.size() >= count; });
}

bool InstrumentSim::OutputDue() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const uint64_t next = Impl::NextEventUs(*this);
    return next != 0 && next <= Impl::ClockUs(*this);
}

uint64_t InstrumentSim::NextOutputMs() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const uint64_t next = Impl::NextEventUs(*this);
    return next == 0 ? 0 : (next + 999) / 1000;
}

bool InstrumentSim::WaitUntilIdle(uint32_t timeoutMs) const
{
    std::unique_lock<std::recursive_mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return impl_->Idle(); });
}

// ---------------------------------------------------------------------------------------
// The line thread.

void InstrumentSim::Impl::Run(InstrumentSim& sim, std::stop_token stop)
{
    Impl& im = *sim.impl_;
    std::vector<uint8_t> data;
    while (!stop.stop_requested()) {
        uint32_t waitUs = kMaxWaitUs;
        {
            std::lock_guard<std::recursive_mutex> lock(sim.mutex_);
            uint64_t next = NextEventUs(sim);
            uint64_t now = ClockUs(sim);
            if (next != 0) {
                waitUs = next <= now ? 0 : static_cast<uint32_t>(std::min<uint64_t>(next - now, kMaxWaitUs));
            }
        }
        // The line's descriptors change only in Start and Stop, never while this thread runs.
        im.line.WaitReadable(std::chrono::microseconds(waitUs));
        const uint32_t rate = im.line.SlaveBaud();
        data.clear();
        int events = 0;
        const bool alive = im.line.ReadAvailable(data, events);
        const uint64_t now = ClockUs(sim);

        std::lock_guard<std::recursive_mutex> lock(sim.mutex_);
        uint32_t heardAt = rate;
        if (rate != 0 && rate != im.lineBaud) {
            ++im.counters.rateChanges;
            if (im.lineBaud != 0) {
                heardAt = im.lineBaud;   // see the note at the top of this file
            }
            im.lineBaud = rate;
        }
        if (!data.empty() && im.modem->Enabled()) {
            // The modem takes what it reads in command mode; the rest reaches the devices.
            const size_t read = data.size();
            data = im.modem->Receive(data, now);
            im.counters.bytesReceived += read - data.size();
        }
        if (!data.empty()) {
            Feed(sim, data, heardAt, now);
        } else if (im.rx.GetReceivedCount() > 0 &&
                   now - im.lastByteUs > uint64_t{sim.options_.partialFrameTimeoutMs} * 1000) {
            im.rx.Reset();
            ++im.counters.partialTimeouts;
        }
        im.modem->Tick(ClockUs(sim));
        ServiceOutput(sim, ClockUs(sim));
        if (!alive) {
            // Only our own Stop closes the line; anything else is a lost terminal. Keep the
            // loop bounded and idle until asked to stop.
            sim.changed_.notify_all();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
}

void InstrumentSim::Impl::Feed(InstrumentSim& sim, const std::vector<uint8_t>& data, uint32_t baud,
                               uint64_t nowUs)
{
    Impl& im = *sim.impl_;
    im.counters.bytesReceived += data.size();
    for (uint8_t b : data) {
        if (im.rx.GetReceivedCount() == 0) {
            // Between frames: zero bytes are the host's wake-up prefix, anything else but SOH
            // is stray.
            if (b == 0x00) {
                ++im.wakeRun;
                continue;
            }
            if (b != TkPacketFrame::Soh) {
                im.strayRun += im.wakeRun + 1;
                im.counters.strayBytes += im.wakeRun + 1;
                im.wakeRun = 0;
                continue;
            }
            im.frameWake = im.wakeRun;
            im.frameStray = im.strayRun;
            im.counters.wakeBytes += im.wakeRun;
            im.wakeRun = im.strayRun = 0;
            im.frameBaud = baud;
            im.frameMixed = false;
        } else if (baud != im.frameBaud) {
            im.frameMixed = true;
        }
        im.lastByteUs = nowUs;
        const int r = im.rx.ReceiveByte(b);
        if (r < 0) {
            ++im.counters.frameErrors;
            ++im.counters.errorsByCode[r];
            continue;
        }
        if (r != 0) {
            continue;
        }
        ReceivedFrame f;
        f.destination = im.rx.GetAddress();
        f.source = im.rx.GetHeaderWord2();
        f.command = im.rx.GetCommand();
        f.replyCommand = im.rx.GetReplyCommand();
        f.replyWord = im.rx.GetReplyWord();
        f.order = im.rx.GetPacketOrder();
        const uint8_t* body = im.rx.GetBodyData();
        f.body.assign(body, body + im.rx.GetBodyLength());
        f.wakeBytes = im.frameWake;
        f.strayBytes = im.frameStray;
        f.baud = im.frameBaud;
        f.mixedRate = im.frameMixed;
        f.receivedMs = sim.options_.clock != nullptr ? sim.options_.clock->NowMs() : NowMs();
        im.rx.Reset();
        ++im.counters.framesReceived;
        Dispatch(sim, f);
        im.frames.push_back(std::move(f));
        sim.changed_.notify_all();
    }
}

void InstrumentSim::Impl::Dispatch(InstrumentSim& sim, ReceivedFrame& frame)
{
    if (frame.destination == kHostAddress) {
        return;   // a reply-shaped frame: no device listens to the host's address
    }
    const bool broadcast = frame.destination == kBroadcastAddress;
    // Index loop: a handler may not add or remove devices, but stay safe if one does.
    for (size_t i = 0; i < sim.devices_.size(); ++i) {
        SimDevice& dev = *sim.devices_[i];
        if (!broadcast && dev.address_ != frame.destination) {
            continue;
        }
        if (frame.mixedRate || frame.baud != dev.baud_) {
            ++dev.counters_.framesMissedRate;
            continue;
        }
        ++dev.counters_.framesHeard;
        if (broadcast) {
            ++dev.counters_.broadcastsHeard;
        }
        frame.heardBy.push_back(dev.address_);

        SimRequest req;
        req.destination = frame.destination;
        req.source = frame.source;
        req.command = frame.command;
        req.order = frame.order;
        req.broadcast = broadcast;
        req.baud = frame.baud;
        req.body = frame.body;

        try {
            // A copy: a hook may replace the hooks.
            const std::map<std::string, RequestHook> hooks = dev.requestHooks_;
            for (const auto& [name, hook] : hooks) {
                hook(dev, req);
            }
        } catch (...) {
            ++sim.impl_->counters.handlerFailures;
            continue;
        }

        SimReply reply;
        auto h = dev.handlers_.find(frame.command);
        if (h == dev.handlers_.end()) {
            ++dev.counters_.unknownCommands;
            if (broadcast) {
                continue;   // an unknown broadcast is ignored by every device
            }
            reply = SimReply::Status(kStatusUnknownCommand);
        } else {
            CommandHandler handler = h->second;   // a handler may replace itself
            try {
                reply = handler(dev, req);
            } catch (...) {
                ++sim.impl_->counters.handlerFailures;
                continue;
            }
        }
        QueueReply(sim, dev, req, std::move(reply));
    }
}

void InstrumentSim::Impl::QueueReply(InstrumentSim& sim, SimDevice& dev, const SimRequest& req,
                                     SimReply reply)
{
    if (reply.silent) {
        return;
    }
    // Faults that apply to this reply, counted down.
    std::vector<Fault> active;
    for (Fault& f : dev.faults_) {
        if (f.command >= 0 && f.command != req.command) {
            continue;
        }
        if (!f.bodyPrefix.empty() && (req.body.size() < f.bodyPrefix.size() ||
                                      !std::equal(f.bodyPrefix.begin(), f.bodyPrefix.end(), req.body.begin()))) {
            continue;
        }
        active.push_back(f);
        if (f.count > 0) {
            --f.count;
        }
    }
    std::erase_if(dev.faults_, [](const Fault& f) { return f.count == 0; });
    dev.counters_.faultsApplied += active.size();
    auto find = [&](FaultKind kind) -> const Fault* {
        for (const Fault& f : active) {
            if (f.kind == kind) {
                return &f;
            }
        }
        return nullptr;
    };
    if (find(FaultKind::Silent)) {
        ++dev.counters_.repliesSuppressed;
        return;
    }
    if (const Fault* f = find(FaultKind::Busy)) {
        reply = SimReply::Status(f->status != 0 ? f->status : kDefaultBusyStatus);
    }

    // The body in the frame's order.
    const int order = dev.replyOrder_;
    std::vector<uint8_t> body = reply.body;
    size_t need = body.size();
    if (!reply.layout.empty()) {
        const int size = LayoutSize(reply.layout.c_str());
        if (size >= 0) {
            need = static_cast<size_t>(size);
            SwapByLayoutBounded(reply.body.data(), body.data(), std::min(body.size(), need),
                                reply.layout.c_str(), order == 0 ? 1 : 0);
        }
    }
    if (const Fault* f = find(FaultKind::ShortBody)) {
        const size_t cut = f->bytes != 0 ? f->bytes : kDefaultShortBy;
        body.resize(need > cut ? need - cut : 0);
    }
    if (const Fault* f = find(FaultKind::OversizedBody)) {
        const size_t extra = f->bytes != 0 ? f->bytes : kDefaultExtra;
        body.resize(std::min(body.size() + extra, TkPacketFrame::MaxBody), kFillByte);
    }
    FrameFields fields;
    fields.destination = kHostAddress;
    fields.source = dev.address_;
    fields.command = reply.status;
    fields.replyCommand = req.command;
    fields.replyWord = reply.replyWord;
    fields.order = order;
    if (const Fault* f = find(FaultKind::OversizedLength)) {
        const size_t length = std::clamp<size_t>(f->bytes, TkPacketFrame::MaxBody + 1, 0xFFFF);
        body.resize(length, kFillByte);
        fields.lengthField = static_cast<int>(length);
    }
    fields.body = std::move(body);
    std::vector<uint8_t> frame = EncodeFrame(fields);
    if (find(FaultKind::BadCrc)) {
        frame.back() ^= 0xFF;
    }

    Transmission t;
    const uint64_t delayMs = req.broadcast
        ? uint64_t{sim.options_.identifyBaseDelayMs} + uint64_t{dev.index_} * sim.options_.identifyStaggerMs
        : uint64_t{dev.replyDelayMs_};
    t.dueUs = ClockUs(sim) + delayMs * 1000;
    t.baud = req.baud;
    t.record.source = dev.address_;
    t.record.replyCommand = req.command;
    if (const Fault* f = find(FaultKind::GarbageBefore)) {
        std::vector<uint8_t> garbage = f->garbage;
        if (garbage.empty()) {
            garbage = {0xFF, 0x55, 0xAA, 0x00, 0x7E};
        }
        t.segments.push_back({std::move(garbage), 0, false});
    }
    if (const Fault* f = find(FaultKind::PauseMidFrame)) {
        size_t at = f->bytes != 0 ? std::min<size_t>(f->bytes, frame.size() - 1) : frame.size() / 2;
        t.segments.push_back({std::vector<uint8_t>(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(at)), 0, false});
        t.segments.push_back({std::vector<uint8_t>(frame.begin() + static_cast<std::ptrdiff_t>(at), frame.end()),
                              f->ms != 0 ? f->ms : kDefaultPauseMs, true});
    } else {
        t.segments.push_back({frame, 0, true});
    }
    if (const Fault* f = find(FaultKind::Duplicate)) {
        t.segments.push_back({frame, f->ms != 0 ? f->ms : kDefaultDuplicateGapMs, true});
    }
    ++dev.counters_.repliesSent;
    Enqueue(sim, std::move(t));
}

void InstrumentSim::Impl::Enqueue(InstrumentSim& sim, Transmission t)
{
    Impl& im = *sim.impl_;
    t.seq = im.seq++;
    auto pos = std::upper_bound(im.queue.begin(), im.queue.end(), t,
                                [](const Transmission& a, const Transmission& b) {
                                    return a.dueUs != b.dueUs ? a.dueUs < b.dueUs : a.seq < b.seq;
                                });
    im.queue.insert(pos, std::move(t));
}

uint64_t InstrumentSim::Impl::NextOutputUs(const InstrumentSim& sim)
{
    const Impl& im = *sim.impl_;
    if (im.current) {
        return std::max<uint64_t>(im.nextUs, 1);
    }
    if (im.queue.empty()) {
        return 0;
    }
    return std::max<uint64_t>(
        {im.queue.front().dueUs, im.lastFrameEndUs + uint64_t{sim.options_.interFrameGapMs} * 1000, 1});
}

uint64_t InstrumentSim::Impl::NextEventUs(const InstrumentSim& sim)
{
    const uint64_t output = NextOutputUs(sim);
    const uint64_t modem = sim.impl_->modem ? sim.impl_->modem->NextTickUs() : 0;
    if (output == 0 || (modem != 0 && modem < output)) {
        return modem;
    }
    return output;
}

void InstrumentSim::Impl::ServiceOutput(InstrumentSim& sim, uint64_t nowUs)
{
    Impl& im = *sim.impl_;
    const bool wasBusy = !im.Idle();
    for (;;) {
        if (!im.current) {
            if (im.queue.empty() || NextOutputUs(sim) > nowUs) {
                break;
            }
            im.current = std::move(im.queue.front());
            im.queue.erase(im.queue.begin());
            im.segment = 0;
            im.pos = 0;
            im.stallSinceUs = 0;
            im.nextUs = nowUs + uint64_t{im.current->segments.empty() ? 0 : im.current->segments[0].delayMs} * 1000;
        }
        if (im.nextUs > nowUs) {
            break;
        }
        Transmission& t = *im.current;
        if (im.segment >= t.segments.size()) {
            im.current.reset();
            continue;
        }
        Segment& seg = t.segments[im.segment];
        const bool pace = sim.options_.pace && t.baud != 0;
        size_t chunk = seg.bytes.size() - im.pos;
        if (pace) {
            // About 2 ms of bytes at a time, at least one.
            chunk = std::min<size_t>(chunk, std::max<size_t>(1, t.baud / 5000));
        }
        long n = chunk == 0 ? 0 : im.line.WriteSome(seg.bytes.data() + im.pos, chunk);
        if (n < 0) {
            // The terminal is gone: nothing can be delivered any more.
            im.counters.writeDrops += seg.bytes.size() - im.pos;
            im.current.reset();
            im.queue.clear();
            break;
        }
        if (n == 0 && chunk != 0) {
            // Nobody reads the line: wait a little, and drop the output after a while.
            if (im.stallSinceUs == 0) {
                im.stallSinceUs = nowUs;
            } else if (nowUs - im.stallSinceUs > kWriteStallUs) {
                for (size_t s = im.segment; s < t.segments.size(); ++s) {
                    im.counters.writeDrops += t.segments[s].bytes.size() - (s == im.segment ? im.pos : 0);
                }
                im.current.reset();
                im.lastFrameEndUs = nowUs;
                continue;
            }
            im.nextUs = nowUs + 1000;
            break;
        }
        im.stallSinceUs = 0;
        im.pos += static_cast<size_t>(n);
        im.counters.bytesSent += static_cast<uint64_t>(n);
        if (n > 0) {
            SentTransmission& record = t.record;
            if (record.writes++ == 0) {
                record.firstWriteUs = nowUs;
            }
            record.lastWriteUs = nowUs;
            record.bytes += static_cast<size_t>(n);
            record.pacedBaud = pace ? t.baud : 0;
            if (record.segments.size() <= im.segment) {
                record.segments.resize(im.segment + 1);
                record.segments[im.segment].firstWriteUs = nowUs;
            }
            record.segments[im.segment].bytes += static_cast<size_t>(n);
        }
        uint64_t doneUs = nowUs;
        if (pace) {
            // Ten bits a byte. Keep to the ideal schedule when only slightly late.
            const uint64_t start = im.busyUntilUs + 1000 >= nowUs ? im.busyUntilUs : nowUs;
            im.busyUntilUs = start + static_cast<uint64_t>(n) * 10000000ull / t.baud;
            doneUs = std::max(im.busyUntilUs, nowUs);
            im.nextUs = im.busyUntilUs;
        }
        if (im.pos < seg.bytes.size()) {
            if (!pace) {
                continue;
            }
            break;
        }
        if (seg.completesFrame) {
            ++im.counters.framesSent;
        }
        if (im.segment < t.record.segments.size()) {
            t.record.segments[im.segment].endUs = doneUs;
        }
        ++im.segment;
        im.pos = 0;
        if (im.segment >= t.segments.size()) {
            im.lastFrameEndUs = doneUs;
            t.record.endUs = doneUs;
            im.sent.push_back(t.record);
            im.current.reset();
            continue;
        }
        im.nextUs = doneUs + uint64_t{t.segments[im.segment].delayMs} * 1000;
        if (im.nextUs > nowUs) {
            break;
        }
    }
    if (wasBusy && im.Idle()) {
        sim.changed_.notify_all();
    }
}

} // namespace wv::sim
