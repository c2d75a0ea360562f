#pragma once
// The barometric-settings prompt that the wizards raise for a device before they
// define what it measures (on the sondes a barometric reading feeds the other channels):
// it asks, when askFirst is set, whether to edit the settings, and runs the barometric
// dialog. Its dialogs belong to the program, above the wizards, so the program installs
// the prompt; until it does, nothing is asked.

#include <functional>

class CQorDevice;

using BarometricPromptHook = std::function<void(CQorDevice& device, bool askFirst)>;

// Raises the installed prompt for device; nothing when none is installed.
void PromptBarometricSettings(CQorDevice& device, bool askFirst);

// Installs hook (an empty one removes it); returns the hook replaced.
BarometricPromptHook SetBarometricPromptHook(BarometricPromptHook hook);
