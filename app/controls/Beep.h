#pragma once
// The short warning sounds of the controls: the asterisk sound of a refused key and the
// default beep of a link that could not be opened. Both are the desktop's beep; the kind
// is kept so a test can tell them apart.

#include <functional>

namespace wvctl {

enum class BeepKind {
    Asterisk, // a key an edit refused
    Default,  // an action that failed
};

// Sounds the beep (through the handler when one is set).
void Beep(BeepKind kind);

// Replaces the sound with handler (tests count the beeps); an empty handler restores it.
void SetBeepHandler(std::function<void(BeepKind)> handler);

} // namespace wvctl
