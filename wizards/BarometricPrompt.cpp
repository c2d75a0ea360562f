#include "wizards/BarometricPrompt.h"

#include <utility>

namespace {

BarometricPromptHook& Hook()
{
    static BarometricPromptHook hook;
    return hook;
}

} // namespace

void PromptBarometricSettings(CQorDevice& device, bool askFirst)
{
    // A copy: the prompt may install another hook while it runs.
    const BarometricPromptHook hook = Hook();
    if (hook) {
        hook(device, askFirst);
    }
}

BarometricPromptHook SetBarometricPromptHook(BarometricPromptHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}
