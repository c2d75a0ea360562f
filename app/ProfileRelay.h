#pragma once
// The low-flow worker's messages on their way to the user-interface thread: the relay is
// the program's notify target (lowflow/ProfileNotify.h); each pair it is handed on the
// worker's thread becomes a queued call into the application object, which emits its
// ProfileState / ProfileStatus signal and passes both values to the profile handler set
// with CWellvoxApp::SetProfileHandler (dropped when none is set).

#include "lowflow/ProfileNotify.h"

#include <cstdint>

class CWellvoxApp;

// What receives the relayed messages: the running low-flow wizard.
class CProfileHandler {
public:
    virtual ~CProfileHandler() = default;
    virtual void OnProfileState(uintptr_t wparam, intptr_t lparam) = 0;
    virtual void OnProfileStatus(uintptr_t wparam, intptr_t lparam) = 0;
};

class CProfileRelay final : public CProfileNotifyTarget {
public:
    explicit CProfileRelay(CWellvoxApp& app) : m_app(app) {}
    void PostProfileState(uintptr_t wparam, intptr_t lparam) override;
    void PostProfileStatus(uintptr_t wparam, intptr_t lparam) override;

private:
    CWellvoxApp& m_app;
};
