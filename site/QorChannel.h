#pragma once
// CQorChannel: the tree node of one channel (sensor) of a device, or of a test's copy of
// one. It holds the channel's record, the device it belongs to and the last reading
// taken of it; its item sits under the device's "Parameters" item or under its test.

#include "comm/protocol/ChannelRecords.h"
#include "site/AppErrorCode.h"
#include "site/QorView.h"

#include <cstdint>
#include <string>

class CQorDevice;
class CTkSession;
class CUnitCatalog;

class CQorChannel : public CQorView {
public:
    CQorChannel() = default;
    ~CQorChannel() override = default;

    // Takes the parent (the device node, or a test node whose parent is the device), the
    // device's address and type, the session, and a copy of the record. 6001 (the record
    // not taken) without a parent or for a kind above 28.
    AppErrorCode Init(const ChannelDefinitionRecord& record, CQorView* parent, CTkSession* session);

    // ---- Tree ----
    // Inserts its item with its label and icon.
    void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter) override;
    // ViewId::Channel for its own item, else none.
    ViewId GetViewId(TreeItem item) const override;
    // Sets its label on its item and repaints the tree at once.
    void RefreshTreeItem() override;
    NodeType GetNodeType() const override;

    // The display name in its long form: on a sonde "P<port> : " for a channel of a
    // port, "EVENT : " for the event channel of an event test, then the kind's name; on
    // other devices the kind's name, " - " and the channel's name.
    std::string GetLabel() const;
    // The icon of its kind.
    int GetIconIndex() const;
    // The port of a sonde's parameter code (1 to 4), 0 for a code of no port.
    int GetPortGroup() const;

    // ---- Record and reading ----
    // The parameter code the device knows the channel by.
    uint8_t GetParameterId() const { return m_record.channelNumber; }
    uint8_t GetKind() const { return m_record.parameterType; }
    const ChannelDefinitionRecord& GetRecord() const { return m_record; }
    CQorDevice* GetDevice() const { return m_device; }
    uint16_t GetDeviceAddress() const { return m_address; }
    uint8_t GetDeviceType() const { return m_deviceType; }
    CTkSession* GetSession() const { return m_session; }

    double GetLastValue() const { return m_lastValue; }
    bool HasReading() const { return m_hasReading; }
    // The last value is already in display units (made by the named-value engine).
    bool IsValueDisplay() const { return m_valueIsDisplay; }
    void SetLastValue(double value) { m_lastValue = value; }
    void SetHasReading(bool hasReading) { m_hasReading = hasReading; }
    void SetValueIsDisplay(bool isDisplay) { m_valueIsDisplay = isDisplay; }

    // ---- Program-wide settings ----
    // The display-unit catalogue the readings and texts are shown in (none: the units the
    // instrument delivers, no unit texts).
    static void SetUnitCatalog(const CUnitCatalog* catalog);
    static const CUnitCatalog* GetUnitCatalog();
    // The program was started with "/Allow2SecondTest" (short read time-outs).
    static void SetAllow2SecondTest(bool allow);

    // ---- Definition ----
    // The record in place (wizards copy it).
    const ChannelDefinitionRecord& GetDefinition() const { return m_record; }
    // Reads the record from the instrument and stores it.
    AppErrorCode ReadDefinition();
    // With toDevice: writes the record, reads a level record whose reference the device
    // fills back, stores it and hands it to the data writer, the device's own node of the
    // channel and the nodes of pending tests. Without: only stores it. A failed write or
    // read-back keeps the record.
    AppErrorCode WriteDefinition(ChannelDefinitionRecord record, bool toDevice);
    AppErrorCode RefreshFromDevice(const ChannelDefinitionRecord& record) { return WriteDefinition(record, true); }

    // ---- Readings ----
    void SetReading(double value, bool isDisplay);
    AppErrorCode ReadCurrentValue(double& value, bool raw);
    // The reading of a sonde's channel through the session, corrected by its calibration.
    AppErrorCode ReadValue(double& value, bool raw);
    AppErrorCode ReadAndFormat();
    bool GetLatestReading(double& value, bool& isDisplay);
    std::string GetReadingText(bool refresh);
    std::string FormatReading(double value, bool isDisplay) const;
    // Set by the channel view after it zeroed the pressure sensor: the next latest reading
    // is 0.
    void SetReadingReset(bool reset) { m_readingReset = reset; }
    static AppErrorCode MapErrorCode(int protocolCode);

    // ---- Permissions ----
    bool HasLevelSettings() const;
    bool CanEditLevelSettings() const;
    bool CanEdit() const;
    bool IsNotUnderFinishedTest() const;
    bool CanCalibrate() const;
    bool CanCalibrateNow() const;
    bool CanEditNow() const;
    bool CanRead() const;

    // ---- Accessors ----
    int GetCalPointCount() const { return m_record.calibrationPointCount; }
    double GetCoefficient1() const { return GetKind() == 7 ? m_record.coefficients[1] : 0.0; }
    double GetCoefficientA() const { return m_record.coefficients[2]; }
    double GetCoefficientB() const { return m_record.coefficients[3]; }
    double GetCoefficientC() const { return m_record.coefficients[4]; }
    int GetSensorMode() const;
    int GetDisplayMode() const;
    int GetWhenToRead() const { return GetKind() == 3 ? m_record.whenToRead : -1; }
    double GetSpecificGravityField() const { return GetKind() == 3 ? m_record.specificGravity : 0.0; }
    double GetDensity() const;
    double GetGravity() const;
    int GetReadTimeout(uint8_t deviceType) const;
    int GetDefaultUnits() const;
    int GetNativeUnit(bool sondeFlag) const;
    // Other names the views and wizards use.
    double GetReferenceValue() const { return GetSpecificGravityField(); }
    double GetSpecificGravity() const { return GetDensity(); }
    int GetLevelMode() const;
    void GetLevelModeAndUnits(int& displayMode, int& units) const
    {
        displayMode = GetDisplayMode();
        units = GetDefaultUnits();
    }
    int GetKindClass() const { return GetNativeUnit(false); }
    int GetSensorByte() const { return GetCalPointCount(); }

    // ---- Texts ----
    std::string GetDisplayName(bool shortForm) const;
    std::string GetIdText() const;
    std::string GetTypeName(bool shortForm) const;
    std::string GetNameText() const;
    std::string GetUnitsText() const;
    std::string GetRangeText() const;
    std::string GetCoefficientText1() const;
    std::string GetOffsetText() const;
    std::string GetCoefficientText2() const;
    std::string GetCoefficientText3() const { return {}; }
    std::string GetCountText() const { return {}; }
    std::string GetSensorModeText() const;
    std::string GetLevelModeText() const;
    std::string GetLevelReferenceText() const;
    std::string GetWhenToReadText() const;
    std::string GetSpecificGravityText() const;
    std::string GetLocationText() const;
    std::string GetDensityText() const;
    std::string GetPressureRangeText() const;
    std::string GetPortText() const;

    // ---- Calibration texts (sondes) ----
    static std::string GetCalSolutionName(int code);
    std::string GetSensorDateText() const;
    std::string GetSensorCountText() const;
    std::string GetCalTypeName() const;
    std::string GetCalPointSolutionName(int point) const;
    std::string GetOwnSensorTypeName() const { return GetCalTypeName(); }
    std::string GetSensorTypeNameAt(int point) const { return GetCalPointSolutionName(point); }
    std::string FormatCalStimulus(int point) const;
    std::string FormatCalResponse(int point) const;
    std::string FormatCalTemperature(int point) const;
    std::string FormatCalSlope(int segment) const;
    std::string FormatCalOffset(int segment) const;
    std::string FormatCalBarometer() const;

    // ---- Optical oxygen sensor texts ----
    // Behind an adapter: from the data writer's sensor configuration ('Y').
    std::string GetHdoSensorModelText() const;
    std::string GetHdoSensorFirmwareText() const;
    std::string GetHdoAdapterFirmwareText() const;
    // The adapter's firmware version as a number (0 without a device).
    double GetHdoAdapterFirmwareVersion() const;
    std::string FormatHdoSaturationPhase() const;
    std::string FormatHdoSaturationTemperature() const;
    std::string FormatHdoSaturationBarometer() const;
    std::string FormatHdoZeroPhase() const;
    std::string FormatHdoZeroTemperature() const;
    std::string FormatHdoFixedSalinity() const;
    std::string FormatHdoPhaseCoefficients() const;
    std::string FormatHdoTemperatureCoefficients() const;
    // Foil coefficient group 0 to 4; any other group is empty.
    std::string FormatHdoFoilCoefficients(int group) const;
    std::string GetHdoFoilBatchText() const;
    // Sondes only: the foil change date the record keeps in place of the sixth point's
    // code and stimulus, or "Unknown" when that is no valid date.
    std::string GetHdoFoilChangeDateText() const;
    // With a cap: from the sensor's three calibration coefficient sets.
    std::string GetHdoProbeSerialText() const;
    std::string GetHdoProbeMfgDateText() const;
    std::string GetHdoProbeFirmwareText() const;
    std::string GetHdoProbeSalinityText() const;
    std::string GetHdoCapSerialText() const;
    std::string GetHdoCapMfgDateText() const;
    std::string GetHdoCapExpiryDateText() const;
    std::string FormatHdoSaturationMgL() const;
    std::string FormatHdoSaturationTempC() const;
    std::string FormatHdoSaturationMbar() const;
    std::string FormatHdoZeroMgL() const;
    std::string FormatHdoZeroTempC() const;
    std::string FormatHdoCalSlope() const;
    std::string FormatHdoCalOffset() const;

private:
    bool IsSonde() const;
    bool IsUnderTest() const;
    int GetOpticalCapStatus() const;
    bool IsTestOfDeviceRunning() const;
    // Pressure readings of level modes other than pressure head divided by the specific
    // gravity; a gravity of 0 or not finite leaves the value as it is.
    double DivideBySpecificGravity(double value) const;
    double ToDisplayUnits(double value) const;
    // The value of the data writer's latest sample through the named-value engine.
    bool ComputeWriterValue(double& value) const;
    // The calibration part applies only to sondes; the point and segment must exist.
    const CalSegment* CalPoint(int point) const;
    const CoeffPair* CalPair(int segment) const;
    // The turbidity unit text by the user's current turbidity unit.
    std::string TurbidityUnit() const;
    // Hands a new reading of a device's own channel or a test's copy on to the others.
    void ShareReading();

    ChannelDefinitionRecord m_record;
    CQorDevice* m_device = nullptr;
    uint16_t m_address = 0;
    uint8_t m_deviceType = 0;
    CTkSession* m_session = nullptr;
    double m_lastValue = 0.0;
    bool m_hasReading = false;
    bool m_valueIsDisplay = false;
    bool m_readingReset = false;
    std::string m_readingText;
};
