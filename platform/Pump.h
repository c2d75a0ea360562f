#pragma once
// The message-pump hook. Waits inside device operations call PumpOnce so the
// user interface stays alive: the program installs a hook that processes one
// pending event of the user-interface thread. Without a hook (tests, tools)
// PumpOnce does nothing.

#include <functional>

namespace wv {

// Processes at most one pending event; returns true when it processed one.
using PumpHook = std::function<bool()>;

// Installs hook for the calling thread, which becomes the user-interface
// thread; an empty hook removes it. PumpOnce on any other thread does nothing,
// so a worker never runs user-interface events.
void SetPumpHook(PumpHook hook);

// Runs the hook once when called on the thread that installed it. Returns what
// the hook returned, false when no hook ran.
bool PumpOnce();

} // namespace wv
