#include "comm/WiperControl.h"

#include "comm/TkSession.h"

#include <cmath>

namespace {

// The floats of channel 35 that keep the calibration, in the order of the eight values:
// the first segment's standard, reading and temperature, the second's, then the third
// segment's standard and reading.
float& ChannelFloat(ChannelDefinitionRecord& channel, size_t i)
{
    CalSegment& segment = channel.segments[i / 3];
    switch (i % 3) {
    case 0: return segment.standard;
    case 1: return segment.reading;
    default: return segment.temperature;
    }
}

} // namespace

CWiperControl::CWiperControl(CTkSession* session, CCallback* callback) : m_session(session), m_callback(callback) {}

void CWiperControl::Record(int result)
{
    m_stateValid = false;
    if (m_error == 0 && result != 0) {
        m_error = static_cast<uint16_t>(result);
    }
}

uint8_t CWiperControl::Wipe() { return SendCommand(kWiperCommandWipe); }
uint8_t CWiperControl::GoHome() { return SendCommand(kWiperCommandHome); }
uint8_t CWiperControl::StayAway() { return SendCommand(kWiperCommandStayAway); }

uint8_t CWiperControl::SendCommand(uint16_t command)
{
    if (m_busy) {
        return kWiperStateUnknown;
    }
    {
        BusyScope busy(m_busy);
        Record(m_session != nullptr ? m_session->SendWiperCommand(command, m_callback) : kTkErrNotLinked);
    }
    return GetState();
}

bool CWiperControl::Calibrate()
{
    if (m_busy) {
        return false;
    }
    SendCommand(kWiperCommandCalibrate);
    if (m_error == 0 && m_wiperError == 0) {
        return true;
    }
    ApplyCalibration();
    return false;
}

uint8_t CWiperControl::GetState()
{
    if (m_error != 0 || m_wiperError != 0) {
        m_state = kWiperStateUnknown;
    }
    if (m_busy) {
        return m_state;
    }
    if (!m_stateValid) {
        WiperRecord wiper;
        int result = kTkErrNotLinked;
        {
            BusyScope busy(m_busy);
            result = m_session != nullptr ? m_session->GetWiperRecord(&wiper, m_callback) : kTkErrNotLinked;
            Record(result);
        }
        if (result == 0) {
            m_wiperError = wiper.error;
        }
        m_state = m_error == 0 && m_wiperError == 0 ? wiper.state : kWiperStateUnknown;
        m_stateValid = true;
    }
    return m_state;
}

bool CWiperControl::IsHome() { return !m_busy && GetState() == kWiperStateHome; }

bool CWiperControl::IsStayAway() { return !m_busy && GetState() == kWiperStateAway; }

bool CWiperControl::IsReady()
{
    if (m_busy) {
        return false;
    }
    const uint8_t state = GetState();
    return state == 0 || state == kWiperStateHome || state == kWiperStateUnknown;
}

bool CWiperControl::CalibrationChannelAndRecord(WiperRecord& wiper, ChannelDefinitionRecord& channel)
{
    if (m_session == nullptr) {
        Record(kTkErrNotLinked);
        return false;
    }
    const int readWiper = m_session->GetWiperRecord(&wiper, m_callback);
    Record(readWiper);
    const int readChannel = m_session->GetChannelConfig(kWiperCalibrationChannel, &channel, m_callback);
    Record(readChannel);
    return readWiper == 0 && readChannel == 0;
}

void CWiperControl::CopyRecordToChannel()
{
    WiperRecord wiper;
    ChannelDefinitionRecord channel;
    if (!CalibrationChannelAndRecord(wiper, channel)) {
        return;
    }
    for (size_t i = 0; i < kWiperCalibrationValues.size(); ++i) {
        ChannelFloat(channel, i) = static_cast<float>(wiper.values[kWiperCalibrationValues[i]]);
    }
    Record(m_session->SetChannelConfig(&channel, m_callback));
}

uint8_t CWiperControl::ReadCalibration()
{
    if (m_busy) {
        return kWiperStateUnknown;
    }
    {
        BusyScope busy(m_busy);
        CopyRecordToChannel();
    }
    return GetState();
}

uint8_t CWiperControl::ApplyCalibration()
{
    if (m_busy) {
        return kWiperStateUnknown;
    }
    {
        BusyScope busy(m_busy);
        WiperRecord wiper;
        ChannelDefinitionRecord channel;
        if (CalibrationChannelAndRecord(wiper, channel)) {
            // Only whole numbers of the record's range are written, and a channel that holds
            // no calibration (eight zeros) would stop the wiper: both are refused.
            std::array<uint16_t, kWiperCalibrationValues.size()> values{};
            bool valid = true;
            bool allZero = true;
            for (size_t i = 0; i < values.size() && valid; ++i) {
                const double truncated = std::trunc(static_cast<double>(ChannelFloat(channel, i)));
                valid = std::isfinite(truncated) && truncated >= 0.0 && truncated <= 65535.0;
                if (valid) {
                    values[i] = static_cast<uint16_t>(truncated);
                    allZero = allZero && values[i] == 0;
                }
            }
            if (!valid || allZero) {
                Record(kTkErrWiperCalibration);
            } else {
                for (size_t i = 0; i < values.size(); ++i) {
                    wiper.values[kWiperCalibrationValues[i]] = values[i];
                }
                Record(m_session->SetWiperRecord(&wiper, m_callback));
            }
        }
    }
    return GetState();
}

uint8_t CWiperControl::ClearError()
{
    if (m_busy) {
        return kWiperStateUnknown;
    }
    m_error = 0;
    m_wiperError = 0;
    m_stateValid = false;
    if (m_session != nullptr) {
        BusyScope busy(m_busy);
        WiperRecord wiper;
        const int read = m_session->GetWiperRecord(&wiper, m_callback);
        Record(read);
        if (read == 0) {
            wiper.state = kWiperStateHome;
            wiper.error = 0;
            Record(m_session->SetWiperRecord(&wiper, m_callback));
        }
    } else {
        Record(kTkErrNotLinked);
    }
    return GetState();
}

uint8_t CWiperControl::ResetToFactory()
{
    if (m_busy) {
        return kWiperStateUnknown;
    }
    if (m_session == nullptr) {
        Record(kTkErrNotLinked);
        return GetState();
    }
    {
        BusyScope busy(m_busy);
        WiperRecord wiper;
        const int read = m_session->GetWiperRecord(&wiper, m_callback);
        Record(read);
        if (read == 0) {
            for (size_t i = 0; i < kWiperCalibrationValues.size(); ++i) {
                wiper.values[kWiperCalibrationValues[i]] = kWiperFactoryValues[i];
            }
            wiper.state = kWiperStateHome;
            wiper.error = 0;
            Record(m_session->SetWiperRecord(&wiper, m_callback));
            CopyRecordToChannel();
        }
    }
    return GetState();
}
