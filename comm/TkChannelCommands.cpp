// The channel commands of the current command set: channel definitions (264, 265, 257),
// the pressure/temperature calibration (262, 263), the factory coefficient blocks (263
// with four sensor codes), the sensor-information records (268, 269), the wiper record and
// its commands (246, 247, 273), and zeroing the pressure reading (276, 277).
//
// Their codes, layouts, records and reply decoders are in comm/protocol/ChannelRecords.h,
// whose decoders check the body against its form before anything is read; an output is
// written only from a reply that decoded completely, and a device's non-zero status passes
// through with the output untouched.

#include "comm/TkSession.h"

#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/TkRequest.h"

#include <span>

namespace {

// The six requests that fill the coefficient cache, four sensor codes each (0: none).
// The last one asks for the head of sensor code 100.
constexpr std::array<std::array<uint8_t, 4>, 6> kCoefficientRequests{{
    {1, 101, 2, 150},
    {151, 152, 11, 12},
    {31, 32, 41, 42},
    {21, 146, 147, 148},
    {25, 0, 0, 0},
    {100, 0, 0, 0},
}};

// The record of a level sensor that is not there: the live reads of codes 2 and 101
// refuse to use it.
LevelSensorRecord NoLevelSensor()
{
    LevelSensorRecord record;
    record.sensorType = kNoLevelSensorType;
    record.sensorRange = 0;
    return record;
}

} // namespace

// ---- Channel definitions -----------------------------------------------------------------

ProtocolResultCode CTkSession::SetChannelConfig(ChannelDefinitionRecord* record, CCallback* callback)
{
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    // A level channel whose reference is taken "now" stores the reading of this moment
    // with the reference: the reading of this very channel, whose number is the parameter
    // code the live read asks for (a sonde's level channel is not its barometric one).
    if (record->parameterType == kParamLevel && record->whenToRead == kTkWhenToReadNow) {
        double reading = 0.0;
        const ProtocolResultCode read = ReadValue(record->channelNumber, &reading, callback);
        if (read != 0) {
            return read;
        }
        record->referenceReading = reading;
    }
    const uint8_t form = ChannelWriteForm(record->parameterType);
    const std::vector<uint8_t> body = EncodeChannelDefinitionWrite(*record, TkPacketFrame::HostOrder);
    return RunWrite(CTkRequest(kTkCmdSetChannelConfig, body.data(), body.size(), ChannelFormLayout(form)), callback);
}

ProtocolResultCode CTkSession::GetChannelConfig(uint8_t channel, ChannelDefinitionRecord* record,
                                                CCallback* callback)
{
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    return RunRead(
        CTkRequest(kTkCmdGetChannelConfig, &channel, 1, "c"),
        [channel, record](CTkPacket& packet) { return TkDecodeChannelConfigReply(packet, channel, *record); }, callback);
}

ProtocolResultCode CTkSession::GetTestChannelConfig(uint8_t testIndex, uint8_t channel,
                                                    ChannelDefinitionRecord* record, CCallback* callback)
{
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    const uint8_t body[2] = {testIndex, channel};
    return RunRead(
        CTkRequest(kTkCmdGetTestChannelConfig, body, sizeof body, "cc"),
        [channel, record](CTkPacket& packet) { return TkDecodeChannelConfigReply(packet, channel, *record); }, callback);
}

ProtocolResultCode CTkSession::GetChannelBlock265(SensorBlockRecord* block, CCallback* callback)
{
    const uint8_t selector = kTkChannelBlockSelector;
    return RunReadInto(CTkRequest(kTkCmdGetChannelConfig, &selector, 1, "c"), block, TkDecodeChannelBlock265Reply,
                       callback);
}

// ---- Pressure/temperature calibration ----------------------------------------------------

ProtocolResultCode CTkSession::TkSetPTCalInfo(const PtCalInfoRecord* record, CCallback* callback)
{
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    const std::vector<uint8_t> body = EncodePtCalInfo(*record, TkPacketFrame::HostOrder);
    return RunWrite(CTkRequest(kTkCmdSetPtCalInfo, body.data(), body.size(), kPtCalInfoLayout), callback);
}

ProtocolResultCode CTkSession::TkGetPTCalInfo(PtCalInfoRecord* record, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetPtCalInfo), record, TkDecodePtCalInfoReply, callback);
}

// ---- Coefficient blocks ------------------------------------------------------------------

ProtocolResultCode CTkSession::ReadCalibrationCoefficients(std::array<uint8_t, kCoefficientCacheSize>* cache,
                                                           CCallback* callback)
{
    m_coefficientsValid = false;
    if (cache == nullptr) {
        return kTkErrMissingRecord;
    }
    // The replies are gathered in a cache of their own, zeroed, so that the bytes no reply
    // writes are defined and a failed sequence leaves the caller's cache as it was.
    std::array<uint8_t, kCoefficientCacheSize> gathered{};
    if (callback) {
        callback->Begin(0);
    }
    ProtocolResultCode result = 0;
    for (const std::array<uint8_t, 4>& codes : kCoefficientRequests) {
        result = RunRead(
            CTkRequest(kTkCmdGetPtCalInfo, codes.data(), codes.size(), "cccc"),
            [&gathered](CTkPacket& packet) { return TkDecodeCoefficientReply(packet, gathered); }, callback);
        if (result != 0) {
            break;
        }
    }
    if (callback) {
        callback->End();
    }
    if (result != 0) {
        return result;
    }
    *cache = gathered;
    m_coefficientCache = gathered;
    m_coefficientsValid = true;
    return 0;
}

// ---- Sensor information ------------------------------------------------------------------

ProtocolResultCode CTkSession::SetSensorInfo100(const LevelSensorRecord* record, CCallback* callback)
{
    m_levelSensorValid = false;
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    // 'M' in front of the sensor's 'I' record.
    std::vector<uint8_t> body{kTkSensorInfoWriteTag};
    const std::vector<uint8_t> sensor = EncodeLevelSensor(*record, TkPacketFrame::HostOrder);
    body.insert(body.end(), sensor.begin(), sensor.end());
    const ProtocolResultCode result =
        RunWrite(CTkRequest(kTkCmdSetSensorInfo, body.data(), body.size(), kTkSensorInfo100WriteLayout), callback);
    if (result == 0) {
        m_levelSensorCache = LevelSensorToImage(*record);
        m_levelSensorValid = true;
    }
    return result;
}

ProtocolResultCode CTkSession::GetSensorInfo100(LevelSensorRecord* record, CCallback* callback)
{
    m_levelSensorValid = false;
    const uint8_t code = kTkSensorCodeLevel;
    const ProtocolResultCode result =
        RunReadInto(CTkRequest(kTkCmdGetSensorInfo, &code, 1, "c"), record, TkDecodeSensorInfo100Reply, callback);
    if (result != 0) {
        // Without a record the level sensor counts as absent, and the live reads that
        // need it say so rather than convert with stale coefficients.
        m_levelSensorCache = LevelSensorToImage(NoLevelSensor());
        return result;
    }
    m_levelSensorCache = LevelSensorToImage(*record);
    m_levelSensorValid = true;
    return 0;
}

ProtocolResultCode CTkSession::GetSensorInfo8(ConductivitySensorRecord* record, CCallback* callback)
{
    m_sensor8Valid = false;
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    const uint8_t code = kTkSensorCodeConductivity;
    const ProtocolResultCode result =
        RunReadInto(CTkRequest(kTkCmdGetSensorInfo, &code, 1, "c"), record, TkDecodeSensorInfo8Reply, callback);
    // A busy sensor answers no record: the caller's record stands in for it (a typed
    // record, so the cache never holds undefined bytes) and the status is returned.
    if (result == 0 || result == kTkStatusBusy) {
        m_sensor8Cache = ConductivitySensorToImage(*record);
        m_sensor8Valid = true;
    }
    return result;
}

ProtocolResultCode CTkSession::GetSensorInfo(uint8_t sensorCode, SensorInfoRecord* record, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetSensorInfo, &sensorCode, 1, "c"), record, TkDecodeSensorInfoReply, callback);
}

// ---- Wiper -------------------------------------------------------------------------------

ProtocolResultCode CTkSession::SetWiperRecord(const WiperRecord* record, CCallback* callback)
{
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    const std::vector<uint8_t> body = EncodeWiperRecord(*record, TkPacketFrame::HostOrder);
    return RunWrite(CTkRequest(kTkCmdSetWiperRecord, body.data(), body.size(), kWiperRecordLayout), callback);
}

ProtocolResultCode CTkSession::GetWiperRecord(WiperRecord* record, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetWiperRecord), record, TkDecodeWiperRecordReply, callback);
}

ProtocolResultCode CTkSession::SendWiperCommand(uint16_t command, CCallback* callback)
{
    return RunWrite(CTkRequest(kTkCmdWiperCommand, &command, sizeof command, "i"), callback);
}

// ---- Zeroing the pressure reading --------------------------------------------------------

ProtocolResultCode CTkSession::ZeroPressure(float* offset)
{
    if (offset == nullptr) {
        return kTkErrMissingRecord;
    }
    const ProtocolResultCode result =
        RunReadInto(CTkRequest(kTkCmdZeroPressure), offset, TkDecodeZeroPressureReply, nullptr);
    // The head of the coefficient cache holds the zero offset: whatever the device made
    // of the command, the next live read takes the blocks afresh.
    m_coefficientsValid = false;
    return result;
}

ProtocolResultCode CTkSession::ResetPressureZero()
{
    const ProtocolResultCode result = RunWrite(CTkRequest(kTkCmdResetPressureZero), nullptr);
    m_coefficientsValid = false;
    return result;
}
