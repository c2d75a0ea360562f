#pragma once
// Where a low-flow session's worker tells the user-interface thread about its progress:
// the two registered messages "TM_PROFILE_STATE" (wparam 1 started, 0 ended) and
// "TM_PROFILE_STATUS" (wparam 0 started, 1 a new reading is in the image, 3 ended by
// force), each with its own process-wide sequence number as lparam.
//
// A target is called from the worker thread while the session holds its state lock, so
// it must only hand the pair on (a queued call into the user-interface thread) and
// never wait. The program installs its target as the default one; a session given no
// target posts nothing.

#include <cstdint>

inline constexpr const char* kProfileStateMessage = "TM_PROFILE_STATE";
inline constexpr const char* kProfileStatusMessage = "TM_PROFILE_STATUS";

// Worker states and statuses.
inline constexpr int kProfileStateEnded = 0;
inline constexpr int kProfileStateStarted = 1;
inline constexpr int kProfileStatusStarted = 0;
inline constexpr int kProfileStatusReading = 1;
inline constexpr int kProfileStatusTerminated = 3;

class CProfileNotifyTarget {
public:
    virtual ~CProfileNotifyTarget() = default;
    virtual void PostProfileState(uintptr_t wparam, intptr_t lparam) = 0;
    virtual void PostProfileStatus(uintptr_t wparam, intptr_t lparam) = 0;
};

// The program's target (the user-interface thread), or null. Borrowed.
void SetDefaultProfileNotifyTarget(CProfileNotifyTarget* target);
CProfileNotifyTarget* GetDefaultProfileNotifyTarget();

// The next sequence number of each message (from 0, counting on across sessions).
intptr_t NextProfileStateSequence();
intptr_t NextProfileStatusSequence();
