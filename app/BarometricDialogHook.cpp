#include "app/BarometricDialogHook.h"

#include <utility>

namespace {

BarometricDialogHook& Hook()
{
    static BarometricDialogHook hook;
    return hook;
}

} // namespace

BarometricDialogHook SetBarometricDialogHook(BarometricDialogHook hook) { return std::exchange(Hook(), std::move(hook)); }

const BarometricDialogHook& GetBarometricDialogHook() { return Hook(); }
