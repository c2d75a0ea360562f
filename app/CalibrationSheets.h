#pragma once
// The sensors' calibration wizards and the optical sensor's foil editor as the channel view
// sees them. The calibration library registers one factory per wizard at start-up; a channel
// whose wizard is not registered keeps its Calibrate command disabled, and the foil editor's
// channels (optical sensors behind an adapter) keep Edit disabled until it is registered.

#include "comm/protocol/ChannelRecords.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CQorChannel;
class CQorDevice;

// The calibration wizards of a sonde's sensors.
enum class CalSheetKind {
    PH,
    Conductivity,       // a conductivity sensor of neither range below
    ConductivityHigh,   // range 11
    ConductivityLow,    // range 12
    DissolvedOxygen,
    ORP,
    Ammonium,
    Chloride,
    Nitrate,
    Turbidity,
    OpticalCap,         // optical oxygen sensor with a cap (parameter ids 17 and 37)
    OpticalAdapter,     // optical oxygen sensor behind an adapter (other parameter ids)
};

// One calibration wizard, made for one channel of one device.
class CCalibrationSheet {
public:
    virtual ~CCalibrationSheet() = default;

    // Prepares the wizard from the sensor before it is shown (the capped optical sensor
    // reads its calibration here): 0, or the failure's number, which the user is shown.
    virtual int Init(CQorChannel& /*channel*/, CQorDevice& /*device*/) { return 0; }
    // Runs the wizard modally: 12325 after Finish, any other value otherwise.
    virtual int DoModal() = 0;
    // Writes the finished calibration's coefficients into record (the channel's definition).
    virtual void WriteCalRecord(ChannelDefinitionRecord& record) const = 0;
    // Writes the run's report for result and appends the paths of the files written.
    virtual void WriteCalReport(int result, std::vector<std::string>& reportPaths) = 0;
};

using CalibrationSheetFactory = std::function<std::unique_ptr<CCalibrationSheet>(CQorChannel&, CQorDevice&)>;

// The wizard a sonde's channel of kind calibrates with: for conductivity by the sensor's
// range (sensorMode), for the optical sensor by its parameter id. None for a kind that has
// no wizard (the level channel is zeroed instead).
std::optional<CalSheetKind> CalSheetKindOf(uint8_t kind, int sensorMode, uint8_t parameterId);

// Registers factory for kind (an empty one removes it); returns the factory replaced.
CalibrationSheetFactory RegisterCalibrationSheet(CalSheetKind kind, CalibrationSheetFactory factory);
// The registered factory of kind; null when none is.
const CalibrationSheetFactory* GetCalibrationSheet(CalSheetKind kind);

// The foil-coefficient editor of an optical sensor behind an adapter.
class CFoilEditor {
public:
    virtual ~CFoilEditor() = default;
    // Runs the editor modally; 2 when it was cancelled.
    virtual int DoModal() = 0;
    // The editor's last page asks to start the calibration wizard after the update.
    virtual bool LaunchCalibration() const = 0;
};

using FoilEditorFactory = std::function<std::unique_ptr<CFoilEditor>(CQorChannel&, CQorDevice&)>;

// Registers the foil editor (an empty one removes it); returns the factory replaced.
FoilEditorFactory RegisterFoilEditor(FoilEditorFactory factory);
// The registered foil editor; empty when none is.
const FoilEditorFactory& GetFoilEditor();
