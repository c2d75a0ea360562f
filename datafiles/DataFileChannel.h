#pragma once
// CDataFileChannel: one logged quantity of an open test data file, as the plot windows, the
// text view, the graph-settings dialogs and the exports see it: its name, kind, units, level
// settings, information text and samples. CChannelSample: one reading of a channel at one
// sample number.
//
// A channel is made by its reader while the file loads and deleted by the reader's Close;
// every pointer to it dies with the file (CTestFileReader::GetOpenGeneration tells holders).
// Its view settings (ChannelViewSettings) start from its definition and access block and are
// replaced whole by the View Options wizard; the reference pressure follows every change.

#include "comm/protocol/ChannelRecords.h"
#include "datafiles/TestFileReader.h"
#include "foundation/DeviceTime.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CUnitCatalog;
class CUnitCategory;

// How a channel's values are shown: the 72-byte block the View Options wizard copies out,
// edits and applies whole.
struct ChannelViewSettings {
    uint8_t kind = 0;            // 0
    uint8_t levelMode = 0;       // 1: 0 TOC, 1 Surface, 2 pressure head, 3 depth
    uint8_t barometricMode = 0;  // 2: 1 gauge, 2 absolute
    double offset = 0.0;         // 8: calibration terms c0, c1, c2
    double scale = 0.0;          // 16
    double linearity = 0.0;      // 24
    double specificGravity = 1.0;  // 32
    double levelReference = 0.0;   // 40: in unit index 0 of the level category
    double density = 0.0;          // 48: 0 means the specific gravity is used
    double elevation = 0.0;        // 56: metres
    uint8_t latitudeDegrees = 0;   // 64
    uint8_t latitudeMinutes = 0;   // 65
};
static_assert(sizeof(ChannelViewSettings) == 72, "the View Options wizard's settings block is 72 bytes");
static_assert(offsetof(ChannelViewSettings, offset) == 8 && offsetof(ChannelViewSettings, latitudeDegrees) == 64);

// The sensor name of a channel kind ("Unknown" for a kind without one).
const char* ChannelSensorName(uint8_t kind);
// The unit category of a channel kind in a level mode.
uint8_t ChannelUnitCategoryId(uint8_t kind, uint8_t levelMode);
// The port (1-4) of a channel code, 0 for a code on no port.
int ChannelPortNumber(uint8_t code);

class CDataFileChannel {
public:
    // Copies both records, derives the view settings, asks the reader for the reference
    // pressure and shows the channel.
    CDataFileChannel(CUnitCatalog& units, CTestFileReader& reader, const ChannelDefinitionRecord& definition,
                     const ChannelAccessRecord& access);
    virtual ~CDataFileChannel() = default;
    CDataFileChannel(const CDataFileChannel&) = delete;
    CDataFileChannel& operator=(const CDataFileChannel&) = delete;

    virtual void SetShown(uint8_t shown) { m_shown = shown; }
    // Replaces the view settings, then recomputes the reference pressure.
    virtual void SetViewSettings(const ChannelViewSettings& settings);
    virtual void GetViewSettings(ChannelViewSettings& settings) const { settings = m_view; }
    // Stores the definition's reference pressure, then recomputes the reference pressure.
    virtual void SetReferencePressure(double pressure);
    virtual void SetBaroReference(double reference) { m_access.barometricReference = reference; }
    virtual void GetDefinition(ChannelDefinitionRecord& definition) const { definition = m_definition; }
    virtual void GetAccess(ChannelAccessRecord& access) const { access = m_access; }
    virtual bool IsCalibratedInput() const { return m_access.calibratedInput != 0; }
    virtual bool IsShown() const { return m_shown != 0; }
    virtual bool IsLevelMode() const { return m_view.levelMode != 2 && m_view.levelMode != 3; }
    virtual bool IsTocMode() const { return m_view.levelMode == 0; }
    virtual bool IsPressureMode() const { return m_view.levelMode == 2; }
    virtual bool IsNotPressureMode() const { return m_view.levelMode != 2; }
    virtual uint8_t GetUnitCategoryId() const { return ChannelUnitCategoryId(m_view.kind, m_view.levelMode); }
    // That category of the catalogue; null when the catalogue lacks it.
    virtual CUnitCategory* GetUnitCategory() const;
    virtual uint8_t GetValuePosition() const { return m_access.valuePosition; }
    virtual uint8_t GetCode() const { return m_definition.channelNumber; }
    virtual int GetPortNumber() const { return ChannelPortNumber(m_definition.channelNumber); }
    virtual uint8_t GetKind() const { return m_view.kind; }
    virtual uint8_t GetLevelMode() const { return m_view.levelMode; }
    // The id of the current unit of the channel's category (0 when the catalogue lacks it).
    virtual uint8_t GetUnitId() const;
    virtual uint8_t GetElapsedUnitId() const;
    virtual uint8_t GetKindClass() const { return m_access.kindClass; }
    virtual uint8_t GetKindFamily() const { return m_access.kindFamily; }
    virtual double GetOffset() const { return m_view.offset; }
    virtual double GetScale() const { return m_view.scale; }
    virtual double GetLinearity() const { return m_view.linearity; }
    virtual double GetSpecificGravity() const { return m_view.specificGravity; }
    virtual double GetLevelReference() const { return m_view.levelReference; }
    virtual double GetStoredReferencePressure() const { return m_definition.referenceReading; }
    virtual double GetValueFactor() const { return m_access.factor; }
    virtual double GetReferencePressure() const { return m_referencePressure; }
    virtual double GetDensity() const { return m_view.density; }
    virtual double GetElevation() const { return m_view.elevation; }
    virtual uint8_t GetLatitudeDegrees() const { return m_view.latitudeDegrees; }
    virtual uint8_t GetLatitudeMinutes() const { return m_view.latitudeMinutes; }
    virtual uint8_t GetBarometricModeOriginal() const { return m_access.barometricMode; }
    virtual uint8_t GetBarometricMode() const { return m_view.barometricMode; }
    virtual double GetBaroReference() const { return m_access.barometricReference; }
    virtual uint16_t GetSensorRange() const { return m_definition.pressureRange; }
    virtual bool IsReferenceAtTestStart() const { return m_definition.whenToRead != 0; }
    // The channel's label.
    virtual std::string FormatName() const;
    // The name of the channel's unit category (the pressure category for every kind 3
    // channel); empty when the catalogue lacks it.
    virtual std::string GetCategoryName() const;
    virtual std::string GetSensorName() const { return ChannelSensorName(m_view.kind); }
    // The name of the current unit of the channel's category (" H2O" after feet and metres
    // of a level channel in the original report format); empty when the catalogue lacks it.
    virtual std::string GetUnitName() const;
    virtual std::string FormatLevelReference() const;
    virtual std::string FormatReferencePressure() const;
    virtual std::string FormatBaroReference() const;
    // One line of the channel's information text. The lines are numbered from lineCounter,
    // which the call advances over every line it considers (past the line it produces);
    // true with the line in text when lineNumber is one of the channel's lines, else false
    // with the counter after the channel's last line.
    virtual bool FormatInfo(int& lineCounter, int lineNumber, std::string& text) const;
    // Sets the sample's number and channel and asks the reader for its value in display units.
    virtual int ReadSample(uint32_t sampleNumber, CChannelSample& sample);
    virtual void Unnamed() {}

    // The value converted from base units to the channel's current display unit at
    // temperature (C), barometric pressure (inHg) and salinity (PSU). Unconverted when the
    // catalogue lacks the channel's category.
    double ConvertToDisplay(double value, double temperature, double barometric, double salinity) const;
    // The definition without a copy (the readers' per-sample conversions).
    const ChannelDefinitionRecord& Definition() const { return m_definition; }
    // The channel name as UTF-8 text.
    std::string GetChannelName() const { return ChannelName(m_definition); }
    CTestFileReader& GetReader() const { return m_reader; }

private:
    void RecomputeReferencePressure();
    std::string FormatDisplay(double value) const;

    CUnitCatalog& m_units;
    CTestFileReader& m_reader;
    uint8_t m_shown = 1;
    ChannelDefinitionRecord m_definition;
    ChannelAccessRecord m_access;
    ChannelViewSettings m_view;
    double m_referencePressure = 0.0;
};

class CChannelSample {
public:
    CChannelSample() = default;
    virtual ~CChannelSample() = default;

    // ---- Forwards to the channel (0 without one) -------------------------------------------
    virtual bool IsCalibratedInput() const { return m_channel && m_channel->IsCalibratedInput(); }
    virtual bool IsLevelMode() const { return m_channel && m_channel->IsLevelMode(); }
    virtual bool IsTocMode() const { return m_channel && m_channel->IsTocMode(); }
    virtual bool IsPressureMode() const { return m_channel && m_channel->IsPressureMode(); }
    virtual bool IsNotPressureMode() const { return m_channel && m_channel->IsNotPressureMode(); }
    virtual uint8_t GetValuePosition() const { return m_channel ? m_channel->GetValuePosition() : 0; }
    virtual uint8_t GetKind() const { return m_channel ? m_channel->GetKind() : 0; }
    virtual uint8_t GetLevelMode() const { return m_channel ? m_channel->GetLevelMode() : 0; }
    virtual uint8_t GetUnitId() const { return m_channel ? m_channel->GetUnitId() : 0; }
    virtual uint8_t GetElapsedUnitId() const { return m_channel ? m_channel->GetElapsedUnitId() : 0; }
    virtual double GetOffset() const { return m_channel ? m_channel->GetOffset() : 0.0; }
    virtual double GetScale() const { return m_channel ? m_channel->GetScale() : 0.0; }
    virtual double GetLinearity() const { return m_channel ? m_channel->GetLinearity() : 0.0; }
    virtual double GetSpecificGravity() const { return m_channel ? m_channel->GetSpecificGravity() : 0.0; }
    virtual double GetLevelReference() const { return m_channel ? m_channel->GetLevelReference() : 0.0; }
    virtual double GetReferencePressure() const { return m_channel ? m_channel->GetReferencePressure() : 0.0; }
    virtual double GetValueFactor() const { return m_channel ? m_channel->GetValueFactor() : 0.0; }
    virtual double GetDensity() const { return m_channel ? m_channel->GetDensity() : 0.0; }
    virtual double GetElevation() const { return m_channel ? m_channel->GetElevation() : 0.0; }
    virtual uint8_t GetLatitudeDegrees() const { return m_channel ? m_channel->GetLatitudeDegrees() : 0; }
    virtual uint8_t GetLatitudeMinutes() const { return m_channel ? m_channel->GetLatitudeMinutes() : 0; }
    virtual uint8_t GetBarometricModeOriginal() const
    {
        return m_channel ? m_channel->GetBarometricModeOriginal() : 0;
    }
    virtual uint8_t GetBarometricMode() const { return m_channel ? m_channel->GetBarometricMode() : 0; }
    virtual double GetBaroReference() const { return m_channel ? m_channel->GetBaroReference() : 0.0; }
    virtual uint16_t GetSensorRange() const { return m_channel ? m_channel->GetSensorRange() : 0; }
    virtual bool IsReferenceAtTestStart() const { return m_channel && m_channel->IsReferenceAtTestStart(); }

    // ---- The reading ---------------------------------------------------------------------
    uint32_t sampleNumber = 1;
    std::array<uint16_t, 4> raw{};
    uint8_t rawCount = 0;        // 3 after a raw read (a legacy conductivity value's range after its conversion)
    uint32_t eventSeconds = 0;
    double value = 0.0;
    double elapsed = 0.0;
    DeviceTime time = kDeviceTimeNotSet;

    CDataFileChannel* GetChannel() const { return m_channel; }
    void SetChannel(CDataFileChannel* channel) { m_channel = channel; }

private:
    CDataFileChannel* m_channel = nullptr;
};
