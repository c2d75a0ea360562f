#include "comm/LineControl.h"

#include "comm/SerialPort.h"
#include "foundation/AppUtils.h"

namespace {

struct ModeValues {
    LineMaskPair transmitCondition;
    LineMaskPair transmitLines;
    LineMaskPair carrierCondition;
    uint32_t delayBeforeMs;
    uint32_t delayAfterMs;
};

// The values each mode sets.
constexpr ModeValues kDirect{{0, kModemCts}, {kLineRts, 0}, {0, 0}, 300, 10};
constexpr ModeValues kRadio{{0, 0}, {kLineRts, 0}, {0, 0}, 300, 10};
constexpr ModeValues kModem{{0, 0}, {0, 0}, {kModemRlsd, 0}, 10, 10};

bool Matches(const CLineControl& c, const ModeValues& v)
{
    return c.transmitCondition == v.transmitCondition && c.transmitLines == v.transmitLines
        && c.carrierCondition == v.carrierCondition && c.delayBeforeMs == v.delayBeforeMs
        && c.delayAfterMs == v.delayAfterMs;
}

// Drives RTS and then DTR from a line setting. Keying: a line of the first
// byte is raised, else a line of the second lowered. Unkeying (reverse): a
// line of the first byte is lowered, else a line of the second raised. A line
// in neither byte is left alone.
void ApplyLines(CSerialPort& port, const LineMaskPair& lines, bool reverse)
{
    const bool firstState = !reverse;
    if (lines.first & kLineRts)
        port.SetRts(firstState);
    else if (lines.second & kLineRts)
        port.SetRts(!firstState);
    if (lines.first & kLineDtr)
        port.SetDtr(firstState);
    else if (lines.second & kLineDtr)
        port.SetDtr(!firstState);
}

} // namespace

void CLineControl::SetMode(LineMode mode)
{
    const ModeValues* v = nullptr;
    switch (mode) {
    case LineMode::Direct: v = &kDirect; break;
    case LineMode::Radio: v = &kRadio; break;
    case LineMode::Modem: v = &kModem; break;
    case LineMode::Other: break;
    }
    if (v == nullptr)
        return; // other modes change nothing
    transmitCondition = v->transmitCondition;
    transmitLines = v->transmitLines;
    carrierCondition = v->carrierCondition;
    delayBeforeMs = v->delayBeforeMs;
    delayAfterMs = v->delayAfterMs;
}

LineMode CLineControl::Classify() const
{
    if (Matches(*this, kDirect))
        return LineMode::Direct;
    // The modem mode is known by its empty transmit condition and lines and
    // its short delays; the carrier condition is not looked at.
    const LineMaskPair none{0, 0};
    if (transmitCondition == none && transmitLines == none && delayBeforeMs == kModem.delayBeforeMs
        && delayAfterMs == kModem.delayAfterMs)
        return LineMode::Modem;
    if (!Matches(*this, kRadio))
        return LineMode::Other;
    return LineMode::Radio;
}

bool CLineControl::ConditionHolds(const LineMaskPair& condition, CSerialPort& port)
{
    if (condition.first == condition.second)
        return true; // no condition: the status is not read
    const int status = port.GetModemStatus();
    const bool required = (status & condition.first) == condition.first;
    const bool forbiddenAbsent = (status & condition.second) == 0;
    return required && forbiddenAbsent;
}

int CLineControl::BeforeTransmit(CSerialPort& port)
{
    if (!ConditionHolds(transmitCondition, port))
        return 0;
    ApplyLines(port, transmitLines, false);
    WaitMs(delayBeforeMs);
    return 1;
}

void CLineControl::AfterTransmit(CSerialPort& port)
{
    WaitMs(delayAfterMs);
    // In reverse: what was raised is lowered, what was lowered is raised.
    ApplyLines(port, transmitLines, true);
    WaitMs(kSettleMs);
}

int CLineControl::HasCarrier(CSerialPort& port)
{
    if (carrierCondition.first == carrierCondition.second)
        return kCarrierNotChecked;
    return ConditionHolds(carrierCondition, port) ? kCarrierPresent : kCarrierLost;
}
