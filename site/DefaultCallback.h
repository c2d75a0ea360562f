#pragma once
// CDefaultCallback: the progress callback of operations that report percentages. It
// shows them in the main frame's progress bar and never asks to cancel.

#include "comm/Callback.h"

#include <cstdint>

class CSiteFrame;

class CDefaultCallback : public CCallback {
public:
    // Takes the main frame (none: nothing is shown); the percentage starts at 0.
    CDefaultCallback();

    // In the Begin slot: the percentage becomes percent and is shown.
    void Begin(int percent) override { SetProgress(percent); }
    // In the Progress slot: the percentage grows by step, modulo 101, and is shown.
    // Returns 0.
    int Progress(intptr_t step) override { return AddProgress(static_cast<int>(step)); }
    // Shows 0, which removes the progress bar.
    void End() override;

    void SetProgress(int percent);
    int AddProgress(int step);
    int GetPercent() const { return m_percent; }

private:
    CSiteFrame* m_frame;
    int m_percent = 0;
};
