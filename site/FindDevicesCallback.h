#pragma once
// CFindDevicesCallback: the progress callback of a connection's device search. It shows
// what the search does in the status bar, hands every device that answers to the
// connection, and tells the search when to stop: after the first device of a single
// search, or when the user cancels a network search. While it lives the frame animates
// the search on its timer.

#include "comm/Callback.h"

#include <cstdint>

class CQorConnection;
class CSiteFrame;

class CFindDevicesCallback : public CCallback {
public:
    // The search animation's interval.
    static constexpr uint32_t kAnimationIntervalMs = 500;

    // Starts the frame's search animation.
    explicit CFindDevicesCallback(CQorConnection& connection);
    // Stops the frame's search animation.
    ~CFindDevicesCallback() override;
    CFindDevicesCallback(const CFindDevicesCallback&) = delete;
    CFindDevicesCallback& operator=(const CFindDevicesCallback&) = delete;

    void Begin(int steps) override { OnStart(steps); }
    int Progress(intptr_t value) override { return OnDeviceFound(value); }
    void End() override { OnEnd(); }

    // Shows "Locating Devices...Network Search" or "...Single Device Search".
    void OnStart(int steps);
    // value 0 (no device): the frame's cancel request. A found-device record: the
    // connection adds the device; then, for a network search, the search status again and
    // the cancel request; for a single search, the single-search status and 1 (stop).
    int OnDeviceFound(intptr_t value);
    // Empties the status text, removes the progress bar and stops the animation.
    void OnEnd();

private:
    CQorConnection& m_connection;
    CSiteFrame* m_frame;
};
