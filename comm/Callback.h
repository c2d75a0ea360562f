#pragma once

// Progress and cancel callback of long device operations.
//
// An operation calls Begin once with the number of steps it will report, Progress
// for each step done, and End when it is over, on every way out. A non-zero answer
// from Progress asks an operation that can be stopped to stop; it then ends with its
// "cancelled" result. Subclasses drive status bars and carry the user's cancel
// request. A single device command reports no steps: it calls Begin(0) and End only,
// however long the device takes, and is not stopped through its callback.

#include <cstdint>

class CCallback {
public:
    virtual ~CCallback() = default;

    // An operation starts and will report steps steps (0 when it cannot tell).
    virtual void Begin(int steps) { (void)steps; }

    // A step is done. value is the step's value, or, for a device search, the address
    // of the FoundDeviceRecord of a device just found (0 while no new device is there).
    // Returns non-zero to ask for cancellation.
    virtual int Progress(intptr_t value)
    {
        (void)value;
        return 0;
    }

    // The operation is over.
    virtual void End() {}
};
