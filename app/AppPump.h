#pragma once
// The program's message pump for waits inside device commands: the platform's pump hook
// processes pending Qt events, and the depth of such nested pumps is counted so that the
// idle work, posted commands and view switches run only at the top level (depth 0).

namespace wvapp {

// Installs the hook on the calling (user-interface) thread; removes it when the object goes.
class AppPumpScope {
public:
    AppPumpScope();
    ~AppPumpScope();
    AppPumpScope(const AppPumpScope&) = delete;
    AppPumpScope& operator=(const AppPumpScope&) = delete;
};

// How many pumps of waits are running on the user-interface thread.
int GetPumpDepth();

// Counts one nested pump for its lifetime (the hook uses it; so may any local event loop).
class PumpDepthGuard {
public:
    PumpDepthGuard();
    ~PumpDepthGuard();
    PumpDepthGuard(const PumpDepthGuard&) = delete;
    PumpDepthGuard& operator=(const PumpDepthGuard&) = delete;
};

} // namespace wvapp
