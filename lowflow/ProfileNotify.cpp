#include "lowflow/ProfileNotify.h"

#include <atomic>

namespace {

std::atomic<CProfileNotifyTarget*> g_defaultTarget{nullptr};
std::atomic<intptr_t> g_stateSequence{0};
std::atomic<intptr_t> g_statusSequence{0};

} // namespace

void SetDefaultProfileNotifyTarget(CProfileNotifyTarget* target) { g_defaultTarget = target; }

CProfileNotifyTarget* GetDefaultProfileNotifyTarget() { return g_defaultTarget.load(); }

intptr_t NextProfileStateSequence() { return g_stateSequence.fetch_add(1); }

intptr_t NextProfileStatusSequence() { return g_statusSequence.fetch_add(1); }
