#include "platform/Pump.h"

#include <mutex>
#include <thread>

namespace wv {

namespace {
std::mutex g_mutex;
PumpHook g_hook;
std::thread::id g_thread;
} // namespace

void SetPumpHook(PumpHook hook)
{
    std::lock_guard lock(g_mutex);
    g_hook = std::move(hook);
    g_thread = std::this_thread::get_id();
}

bool PumpOnce()
{
    PumpHook hook;
    {
        std::lock_guard lock(g_mutex);
        if (!g_hook || g_thread != std::this_thread::get_id())
            return false;
        hook = g_hook;
    }
    // Called outside the lock: the hook may run handlers that wait and pump again.
    return hook();
}

} // namespace wv
