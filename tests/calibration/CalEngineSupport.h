#pragma once
// Helpers of the calibration engine tests: channel nodes of a given kind under a device
// node without a session, and a reader that plays a scripted series per channel.

#include "calibration/QikCalTracker.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "tests/site/SiteFakes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace caltest {

// A sonde's device node and channel nodes of the kinds asked for, outside any tree.
class Channels {
public:
    explicit Channels(uint16_t address = 4242)
    {
        device_->SetLinks(nullptr, nullptr, nullptr, wvtest::Found(address, 33, "Sonde"));
    }

    // A channel of kind with the parameter id id.
    CQorChannel* Add(uint8_t kind, uint8_t id, uint8_t calibrationMode = 0)
    {
        ChannelDefinitionRecord record;
        record.channelNumber = id;
        record.parameterType = kind;
        record.calibrationMode = calibrationMode;
        return Add(record);
    }
    CQorChannel* Add(ChannelDefinitionRecord record)
    {
        std::strncpy(record.name.data(), "Sensor", record.name.size() - 1);
        auto channel = MakeNode<CQorChannel>();
        EXPECT_EQ(channel->Init(record, device_.get(), nullptr), kAppOk);
        channels_.push_back(std::move(channel));
        return channels_.back().get();
    }
    CQorDevice* Device() const { return device_.get(); }

private:
    NodeOwner<CQorDevice> device_ = MakeNode<CQorDevice>();
    std::vector<NodeOwner<CQorChannel>> channels_;
};

// A reader whose every channel plays a script: given the 0-based read number of that
// channel, it fills the value and returns the result. A hook runs before every read
// (with the channel and its read number), on the worker thread.
class ScriptReader : public CQikCalReader {
public:
    using Script = std::function<int(int read, double& value)>;
    using LiveScript = std::function<int(int read, std::span<const uint8_t> codes, std::span<double> values)>;

    void Play(CQorChannel* channel, Script script) { scripts_[channel] = std::move(script); }
    // Plays values one per read; past the end the last value repeats.
    void PlaySeries(CQorChannel* channel, std::vector<double> values)
    {
        Play(channel, [values](int read, double& value) {
            value = values.empty() ? 0.0 : values[std::min(static_cast<size_t>(read), values.size() - 1)];
            return 0;
        });
    }
    void PlayLive(CQorChannel* channel, LiveScript script) { live_[channel] = std::move(script); }
    void OnRead(std::function<void(CQorChannel*, int)> hook) { hook_ = std::move(hook); }

    int ReadChannel(CQorChannel& channel, double& value) override
    {
        const int read = Next(channel);
        auto it = scripts_.find(&channel);
        return it == scripts_.end() ? 6045 : it->second(read, value);
    }
    int ReadLive(CQorChannel& channel, std::span<const uint8_t> codes, std::span<double> values) override
    {
        const int read = Next(channel);
        {
            std::lock_guard lock(mutex_);
            liveCodes_.assign(codes.begin(), codes.end());
        }
        auto it = live_.find(&channel);
        return it == live_.end() ? 6045 : it->second(read, codes, values);
    }
    int WriteChannelRecord(CQorChannel& channel, const ChannelDefinitionRecord& record) override
    {
        written_.emplace_back(&channel, record);
        return 0;
    }

    int Reads(CQorChannel* channel) const
    {
        std::lock_guard lock(mutex_);
        auto it = reads_.find(channel);
        return it == reads_.end() ? 0 : it->second;
    }
    std::vector<uint8_t> LastLiveCodes() const
    {
        std::lock_guard lock(mutex_);
        return liveCodes_;
    }
    const std::vector<std::pair<CQorChannel*, ChannelDefinitionRecord>>& Written() const { return written_; }

private:
    int Next(CQorChannel& channel)
    {
        int read = 0;
        {
            std::lock_guard lock(mutex_);
            read = reads_[&channel]++;
        }
        if (hook_) {
            hook_(&channel, read);
        }
        return read;
    }

    mutable std::mutex mutex_;
    std::map<CQorChannel*, Script> scripts_;
    std::map<CQorChannel*, LiveScript> live_;
    std::map<CQorChannel*, int> reads_;
    std::vector<uint8_t> liveCodes_;
    std::function<void(CQorChannel*, int)> hook_;
    std::vector<std::pair<CQorChannel*, ChannelDefinitionRecord>> written_;
};

} // namespace caltest
