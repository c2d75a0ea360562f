#include "values/ValueDefTable.h"

#include "foundation/DateTimeRecord.h"
#include "platform/AsciiCase.h"
#include "platform/OleDateTime.h"
#include "resources/StringTable.h"
#include "values/ValueFunctionTable.h"
#include "values/WQStability.h"

#include <array>
#include <cctype>
#include <cstdio>

namespace {

constexpr const char* kValueName = "ValueName";
constexpr const char* kIdsAlias = "IDSAlias";
constexpr const char* kIdsUnitType = "IDSUnitType";
constexpr const char* kIdsUnitTypeAbv = "IDSUnitType_Abv";
constexpr const char* kIdsUnits = "IDSUnits";
constexpr const char* kIdsUnitsAbv = "IDSUnits_Abv";
constexpr const char* kFormat = "Format";
constexpr const char* kDigits = "Digits";

// The columns that Load completes, in the order it visits them.
constexpr std::array<const char*, 6> kCompletedColumns{kIdsUnitType, kIdsUnitTypeAbv, kIdsUnits,
                                                       kIdsUnitsAbv, kFormat, kDigits};

struct Definition {
    const char* name;  // a few end in a blank or a tab that belongs to the name
    int32_t alias;
    int32_t unitType;
    int32_t unitTypeAbv;
    int32_t units;
    int32_t unitsAbv;
    const char* format;  // " ": none of its own
    int32_t digits;      // -1: as the format prints
};

// Every value name the engine answers, in order; five names are listed twice, for the
// older and the newer optical oxygen sensor, and the later row wins in the maps.
constexpr Definition kDefinitions[] = {
    {"ZERO", 22700, 22100, 22200, 22300, 22300, "%f", -1},
    {"RAW_TPCB", 22701, 22130, 22230, 22331, 22431, "%d", -1},
    {"RAW_TPXD", 22702, 22131, 22231, 22331, 22431, "%d", -1},
    {"RAW_BARO", 22703, 22111, 22211, 22331, 22431, "%d", -1},
    {"RAW_RTD", 22704, 22105, 22205, 22331, 22431, "%d", -1},
    {"RAW_PXD", 22705, 22108, 22208, 22331, 22431, "%d", -1},
    {"RAW_ISEA1", 22706, 22132, 22232, 22331, 22431, "%d", -1},
    {"RAW_ISEA2", 22707, 22133, 22233, 22331, 22431, "%d", -1},
    {"RAW_DOISE", 22708, 22134, 22234, 22331, 22431, "%d", -1},
    {"RAW_DO", 22709, 22112, 22212, 22331, 22431, "%d", -1},
    {"RAW_HDO_DO", 22710, 22112, 22212, 22331, 22431, "%d", -1},
    {"RAW_HDO_TEMP", 22711, 22105, 22205, 22331, 22431, "%d", -1},
    {"RAW_HDO_BPHASE", 22712, 23035, 23036, 22331, 22431, "%d", -1},
    {"RAW_HDO_BAMP", 22713, 23041, 23042, 22331, 22431, "%d", -1},
    {"RAW_HDO_DO", 22710, 23076, 23096, 22331, 22431, "%d", -1},
    {"RAW_HDO_TEMP ", 22711, 23077, 23097, 22331, 22431, "%d", -1},
    {"RAW_HDO_DPHASE ", 22714, 23078, 23098, 22331, 22431, "%d", -1},
    {"RAW_HDO_EXCEPTION", 22715, 23079, 23099, 22331, 22431, "%d", -1},
    {"RAW_HDO_PHASE_DIAG_HIWORD", 22716, 23080, 23100, 22331, 22431, "%d", -1},
    {"RAW_HDO_PHASE_DIAG_LOWORD", 22717, 23081, 23101, 22331, 22431, "%d", -1},
    {"RAW_HDO_O2PP", 22718, 23082, 23102, 22331, 22431, "%d", -1},
    {"RAW_HDO_TEMP_COUNTS", 22719, 23083, 23103, 22331, 22431, "%d", -1},
    {"RAW_HDO_BLUE_PHASE", 22720, 23084, 23104, 22331, 22431, "%d", -1},
    {"RAW_HDO_BLUE_REF", 22721, 23085, 23105, 22331, 22431, "%d", -1},
    {"RAW_HDO_BLUE_AC_AMP", 22722, 23086, 23106, 22331, 22431, "%d", -1},
    {"RAW_HDO_BLUE_REF_AC_AMP", 22723, 23087, 23107, 22331, 22431, "%d", -1},
    {"RAW_HDO_BLUE_MAX_ABS", 22724, 23088, 23108, 22331, 22431, "%d", -1},
    {"RAW_HDO_BLUE_EXCEPTION", 22725, 23089, 23109, 22331, 22431, "%d", -1},
    {"RAW_HDO_RED_PHASE", 22726, 23090, 23110, 22331, 22431, "%d", -1},
    {"RAW_HDO_RED_REF", 22727, 23091, 23111, 22331, 22431, "%d", -1},
    {"RAW_HDO_RED_AC_AMP", 22728, 23092, 23112, 22331, 22431, "%d", -1},
    {"RAW_HDO_RED_REF_AC_AMP", 22729, 23093, 23113, 22331, 22431, "%d", -1},
    {"RAW_HDO_RED_MAX_ABS", 22730, 23094, 23114, 22331, 22431, "%d", -1},
    {"RAW_HDO_RED_EXCEPTION", 22731, 23095, 23115, 22331, 22431, "%d", -1},
    {"RAW_ISEB1", 22732, 22135, 22235, 22331, 22431, "%d", -1},
    {"RAW_ISEB2", 22733, 22136, 22236, 22331, 22431, "%d", -1},
    {"RAW_GISE1", 22734, 22137, 22237, 22331, 22431, "%d", -1},
    {"RAW_GISE2", 22735, 22138, 22238, 22331, 22431, "%d", -1},
    {"RAW_CONDLO", 22736, 22153, 22253, 22331, 22431, "%d", -1},
    {"RAW_CONDME", 22737, 22154, 22254, 22331, 22431, "%d", -1},
    {"RAW_CONDHI", 22738, 22155, 22255, 22331, 22431, "%d", -1},
    {"RAW_TURBLO", 22739, 22151, 22251, 22331, 22431, "%d", -1},
    {"RAW_TURBHI", 22740, 22152, 22252, 22331, 22431, "%d", -1},
    {"RAW_BATT_V", 22741, 22837, 22838, 22331, 22431, "%d", -1},
    {"COOKED_TPCB", 22742, 22130, 22230, 22302, 22402, "%f", -1},
    {"COOKED_TPXD", 22743, 22131, 22231, 22322, 22422, "%f", -1},
    {"COOKED_BARO", 22744, 22111, 22211, 22304, 22404, "%f", -1},
    {"COOKED_RTD", 22745, 22105, 22205, 22323, 22423, "%f", -1},
    {"COOKED_PXD", 22746, 22108, 22208, 22322, 22422, "%f", -1},
    {"COOKED_ISEA1", 22747, 22132, 22232, 22321, 22421, "%f", -1},
    {"COOKED_ISEA2", 22748, 22133, 22233, 22321, 22421, "%f", -1},
    {"COOKED_DOISE", 22749, 22134, 22234, 22321, 22421, "%f", -1},
    {"COOKED_DO", 22750, 22112, 22212, 22324, 22424, "%f", -1},
    {"COOKED_HDO_DO", 22751, 22112, 22212, 22345, 22445, "%f", -1},
    {"COOKED_HDO_TEMP", 22752, 22105, 22205, 22302, 22402, "%f", -1},
    {"COOKED_HDO_BPHASE", 22753, 23035, 23036, 22339, 22439, "%f", -1},
    {"COOKED_HDO_BAMP", 22754, 23041, 23042, 22321, 22421, "%f", -1},
    {"COOKED_HDO_DO", 22751, 23076, 23096, 22345, 22445, "%f", -1},
    {"COOKED_HDO_TEMP", 22752, 23077, 23097, 22302, 22402, "%f", -1},
    {"COOKED_HDO_DPHASE", 22755, 23078, 23098, 22339, 22439, "%f", -1},
    {"COOKED_HDO_EXCEPTION", 22756, 23079, 23099, 22344, 22444, "%1.0f", -1},
    {"COOKED_HDO_PHASE_DIAG_HIWORD", 22757, 23080, 23100, 22344, 22444, "%1.0f", -1},
    {"COOKED_HDO_PHASE_DIAG_LOWORD", 22758, 23081, 23101, 22344, 22444, "%1.0f", -1},
    {"COOKED_HDO_O2PP", 22759, 23082, 23102, 22330, 22430, "%f", -1},
    {"COOKED_HDO_TEMP_COUNTS", 22760, 23083, 23103, 22331, 22431, "%1.0f", -1},
    {"COOKED_HDO_BLUE_PHASE", 22761, 23084, 23104, 22339, 22439, "%f", -1},
    {"COOKED_HDO_BLUE_REF", 22762, 23085, 23105, 22339, 22439, "%f", -1},
    {"COOKED_HDO_BLUE_AC_AMP", 22763, 23086, 23106, 22344, 22444, "%f", -1},
    {"COOKED_HDO_BLUE_REF_AC_AMP", 22764, 23087, 23107, 22344, 22444, "%f", -1},
    {"COOKED_HDO_BLUE_MAX_ABS", 22765, 23088, 23108, 22344, 22444, "%1.0f", -1},
    {"COOKED_HDO_BLUE_EXCEPTION", 22766, 23089, 23109, 22344, 22444, "%1.0f", -1},
    {"COOKED_HDO_RED_PHASE", 22767, 23090, 23110, 22339, 22439, "%f", -1},
    {"COOKED_HDO_RED_REF\t", 22768, 23091, 23111, 22339, 22439, "%f", -1},
    {"COOKED_HDO_RED_AC_AMP", 22769, 23092, 23112, 22344, 22444, "%f", -1},
    {"COOKED_HDO_RED_REF_AC_AMP", 22770, 23093, 23113, 22344, 22444, "%f", -1},
    {"COOKED_HDO_RED_MAX_ABS", 22771, 23094, 23114, 22344, 22444, "%1.0f", -1},
    {"COOKED_HDO_RED_EXCEPTION", 22772, 23095, 23115, 22344, 22444, "%1.0f", -1},
    {"COOKED_ISEB1", 22773, 22135, 22235, 22321, 22421, "%f", -1},
    {"COOKED_ISEB2", 22774, 22136, 22236, 22321, 22421, "%f", -1},
    {"COOKED_GISE1", 22775, 22137, 22237, 22321, 22421, "%f", -1},
    {"COOKED_GISE2", 22776, 22138, 22238, 22321, 22421, "%f", -1},
    {"COOKED_CONDLO", 22777, 22153, 22253, 22323, 22423, "%f", -1},
    {"COOKED_CONDME", 22778, 22154, 22254, 22323, 22423, "%f", -1},
    {"COOKED_CONDHI", 22779, 22155, 22255, 22323, 22423, "%f", -1},
    {"COOKED_TURBLO", 22780, 22151, 22251, 22322, 22422, "%f", -1},
    {"COOKED_TURBHI", 22781, 22152, 22252, 22322, 22422, "%f", -1},
    {"COOKED_BATT_V", 22782, 22837, 22838, 22322, 22422, "%f", -1},
    {"BASE_TIMESTAMP", 22783, -1, -1, -1, -1, "%f", -1},
    {"BASE_RTD", 22784, 22105, 22205, 22302, 22402, "%.2f", -1},
    {"BASE_PXD", 22785, 22108, 22208, 22304, 22404, "%.3f", -1},
    {"BASE_BARO", 22786, 22111, 22211, 22304, 22404, "%.3f", -1},
    {"BASE_TURB", 22787, 22110, 22210, 22325, 22425, " ", -1},
    {"BASE_ISEA1", 22788, -1, -1, -1, -1, " ", -1},
    {"BASE_ISEA2", 22789, -1, -1, -1, -1, " ", -1},
    {"BASE_DOISE", 22790, -1, -1, -1, -1, " ", -1},
    {"BASE_DO", 22791, 22112, 22212, 22324, 22424, "%.2f", -1},
    {"BASE_HDO_DO", 22792, 22112, 22212, 22345, 22445, "%.2f", -1},
    {"BASE_HDO_TEMP", 22793, 22105, 22205, 22302, 22402, "%1.8e", -1},
    {"BASE_HDO_BPHASE", 22794, 23035, 23036, 22339, 22439, "%.2f", -1},
    {"BASE_HDO_BAMP", 22795, 23041, 23042, 22321, 22421, "%.2f", -1},
    {"BASE_HDO_DO", 22792, 23076, 23096, 22345, 22445, "%f", -1},
    {"BASE_HDO_TEMP", 22793, 23077, 23097, 22302, 22402, "%f", -1},
    {"BASE_HDO_DPHASE", 22796, 23078, 23098, 22339, 22439, "%f", -1},
    {"BASE_HDO_EXCEPTION", 22797, 23079, 23099, 22344, 22444, "%1.0f", -1},
    {"BASE_HDO_PHASE_DIAG_HIWORD", 22798, 23080, 23100, 22344, 22444, "%1.0f", -1},
    {"BASE_HDO_PHASE_DIAG_LOWORD", 22799, 23081, 23101, 22344, 22444, "%1.0f", -1},
    {"BASE_HDO_O2PP", 22800, 23082, 23102, 22330, 22430, "%f", -1},
    {"BASE_HDO_TEMP_COUNTS", 22801, 23083, 23103, 22331, 22431, "%1.0f", -1},
    {"BASE_HDO_BLUE_PHASE", 22802, 23084, 23104, 22339, 22439, "%f", -1},
    {"BASE_HDO_BLUE_REF", 22803, 23085, 23105, 22339, 22439, "%f", -1},
    {"BASE_HDO_BLUE_AC_AMP", 22804, 23086, 23106, 22344, 22444, "%f", -1},
    {"BASE_HDO_BLUE_REF_AC_AMP", 22805, 23087, 23107, 22344, 22444, "%f", -1},
    {"BASE_HDO_BLUE_MAX_ABS", 22806, 23088, 23108, 22344, 22444, "%1.0f", -1},
    {"BASE_HDO_BLUE_EXCEPTION", 22807, 23089, 23109, 22344, 22444, "%1.0f", -1},
    {"BASE_HDO_RED_PHASE", 22808, 23090, 23110, 22339, 22439, "%f", -1},
    {"BASE_HDO_RED_REF\t", 22809, 23091, 23111, 22339, 22439, "%f", -1},
    {"BASE_HDO_RED_AC_AMP", 22810, 23092, 23112, 22344, 22444, "%f", -1},
    {"BASE_HDO_RED_REF_AC_AMP", 22811, 23093, 23113, 22344, 22444, "%f", -1},
    {"BASE_HDO_RED_MAX_ABS", 22812, 23094, 23114, 22344, 22444, "%1.0f", -1},
    {"BASE_HDO_RED_EXCEPTION", 22813, 23095, 23115, 22344, 22444, "%1.0f", -1},
    {"BASE_ISEB1", 22814, -1, -1, -1, -1, " ", -1},
    {"BASE_ISEB2", 22815, -1, -1, -1, -1, " ", -1},
    {"BASE_GISE1", 22816, -1, -1, -1, -1, " ", -1},
    {"BASE_GISE2", 22817, -1, -1, -1, -1, " ", -1},
    {"BASE_COND", 22818, 22107, 22207, 22323, 22423, "%.2f", -1},
    {"BASE_BATT_V", 22819, 22837, 22838, 22322, 22422, "%.2f", -1},
    {"USER_TIMESTAMP", 22820, -1, -1, -1, -1, "%f", -1},
    {"USER_RTD", 22821, 22105, 22205, 22302, 22402, "%.2f", -1},
    {"USER_PXD", 22822, 22108, 22208, 22304, 22404, "%.3f", -1},
    {"USER_BARO", 22823, 22111, 22211, 22304, 22404, "%.3f", -1},
    {"USER_TURB", 22824, 22110, 22210, 22325, 22425, "%.2f", 4},
    {"USER_ISEA1", 22825, -1, -1, -1, -1, " ", -1},
    {"USER_ISEA2", 22826, -1, -1, -1, -1, " ", -1},
    {"USER_DOISE", 22827, -1, -1, -1, -1, " ", -1},
    {"USER_DO", 22828, 22112, 22212, 22319, 22419, "%.2f", -1},
    {"USER_HDO_DO", 22829, 22112, 22212, 22319, 22419, "%.2f", -1},
    {"USER_HDO2_DO", 22829, 22112, 22212, 22319, 22419, "%.2f", -1},
    {"USER_ISEB1", 22830, -1, -1, -1, -1, " ", -1},
    {"USER_ISEB2", 22831, -1, -1, -1, -1, " ", -1},
    {"USER_GISE1", 22832, -1, -1, -1, -1, " ", -1},
    {"USER_GISE2", 22833, -1, -1, -1, -1, " ", -1},
    {"USER_COND", 22834, 22107, 22207, 22313, 22413, "%.0f", 4},
    {"USER_BATT_V", 22835, 22837, 22838, 22322, 22422, "%.0f", 4},
    {"DEGREES_C", 22836, 22105, 22205, 22302, 22402, "%.2f", -1},
    {"PSI", 22839, 22108, 22208, 22304, 22404, "%.3f", -1},
    {"BARO_PSI", 22840, 22111, 22211, 22304, 22404, "%.3f", -1},
    {"PH_MV", 22841, 22109, 22209, 22321, 22421, "%.0f", -1},
    {"PH", 22842, 22109, 22209, 22312, 22412, "%.2f", -1},
    {"CTX_OHMS", 22843, 22107, 22207, 22323, 22423, "%.2f", -1},
    {"CTX_MICROSIEMENS", 22844, 22107, 22207, 22313, 22413, "%.0f", 4},
    {"DO_NA", 22845, 22112, 22212, 22324, 22424, "%.2f", -1},
    {"DO_MILLIGRAMS", 22846, 22112, 22212, 22319, 22419, "%.2f", -1},
    {"HDO_MILLIGRAMS", 22847, 22112, 22212, 22319, 22419, "%.2f", -1},
    {"ORP_MV", 22848, 22113, 22213, 22321, 22421, "%.0f", -1},
    {"ORP_MILLIVOLTS", 22849, 22113, 22213, 22321, 22421, "%.0f", -1},
    {"NH4_MV", 22850, 22118, 22218, 22321, 22421, "%.0f", -1},
    {"NH4_PPM", 22851, 22118, 22218, 22343, 22443, "%.2f", -1},
    {"CL_MV", 22852, 22119, 22219, 22321, 22421, "%.0f", -1},
    {"CL_PPM", 22853, 22119, 22219, 22343, 22443, "%.2f", -1},
    {"NO3_MV", 22854, 22117, 22217, 22321, 22421, "%.0f", -1},
    {"NO3_PPM", 23021, 22117, 22217, 22343, 22443, "%.2f", -1},
    {"CA_MV", 23022, 22123, 22223, 22321, 22421, "%.0f", -1},
    {"CA_MG_L", 23023, 22123, 22223, 22319, 22419, "%.2f", -1},
    {"F_MV", 23029, 22124, 22224, 22321, 22421, "%.0f", -1},
    {"F_MG_L", 23030, 22124, 22224, 22319, 22419, "%.2f", -1},
    {"TURB_NTU_BASE", 23031, 22110, 22210, 22325, 22425, "%.2f", -1},
    {"TURB_NTU_USER", 23032, 22110, 22210, 22325, 22425, "%.2f", 4},
    {"TURB_FNU_BASE", 23033, 22110, 22210, 22346, 22446, "%.2f", -1},
    {"TURB_FNU_USER", 23034, 22110, 22210, 22346, 22446, "%.2f", 4},
    {"BATT_V_BASE", 23037, 22837, 22838, 22322, 22422, "%.3f", -1},
    {"BATT_V_USER", 23038, 22837, 22838, 22322, 22422, "%.3f", 4},
    {"GRAVITY", 23039, 22143, 22243, 22337, 22437, "%.6f", -1},
    {"ELAPSED_DAYS", 23040, 22104, 22204, 22332, 22432, "%.2f", -1},
    {"ELAPSED_HOURS", 23043, 22104, 22204, 22333, 22433, "%.2f", -1},
    {"ELAPSED_MINUTES", 23044, 22104, 22204, 22334, 22434, "%.2f", -1},
    {"ELAPSED_SECONDS", 23045, 22104, 22204, 22335, 22435, "%.2f", -1},
    {"DEGREES_F", 23046, 22105, 22205, 22303, 22403, "%.2f", -1},
    {"KPASCALS", 23047, 22108, 22208, 22307, 22407, "%.3f", -1},
    {"CTX_MILLISIEMENS", 23048, 22107, 22207, 22314, 22414, "%.5f", 4},
    {"CTX_SALINITY", 23049, 22120, 22220, 22326, 22426, "%.2f", -1},
    {"CTX_TDS", 23050, 22125, 22225, 22315, 22415, "%.2f", 4},
    {"CTX_RESISTANCE", 23051, 22116, 22216, 22327, 22427, "%.2f", -1},
    {"CTX_SPEC_COND", 23052, 22122, 22222, 22328, 22428, "%.0f", 4},
    {"CTX_SPEC_COND_MIL", 23053, 22122, 22222, 23054, 23055, "%.0f", 4},
    {"BARO_BARS", 23056, 22111, 22211, 22308, 22408, "%.3f", 4},
    {"BARO_MILLIBARS", 23057, 22111, 22211, 22317, 22417, "%.3f", 4},
    {"BARO_CM_OF_H2O", 23058, 22111, 22211, 22318, 22418, "%.3f", 4},
    {"BARO_MM_HG", 23059, 22111, 22211, 22330, 22430, "%.3f", 4},
    {"BARO_INCHES_HG", 23060, 22111, 22211, 22316, 22416, "%.3f", 4},
    {"DO_MICROGRAMS", 23061, 22112, 22212, 22320, 22420, "%.0f", -1},
    {"DO_PERCENTAGE", 23062, 22126, 22226, 22329, 22429, "%.1f", -1},
    {"DO_MICROMOLES", 23063, 22112, 22212, 22345, 22445, "%.2f", -1},
    {"HDO_MICROGRAMS", 23064, 22112, 22212, 22320, 22420, "%.0f", -1},
    {"HDO_PERCENTAGE", 23065, 22126, 22226, 22329, 22429, "%.1f", -1},
    {"HDO_PERCENTAGE_SENSOR", 23066, 22126, 22226, 22329, 22429, "%.1f", -1},
    {"HDO_MICROMOLES", 23067, 22112, 22212, 22345, 22445, "%.2f", -1},
    {"ORP_VOLTS", 23068, 22113, 22213, 22322, 22422, "%.2f", -1},
    {"DEPTH_FEET", 23069, 22106, 22206, 22305, 22405, "%.3f", -1},
    {"DEPTH_METERS", 23070, 22106, 22206, 22306, 22406, "%.3f", -1},
    {"DEPTH_CENTIMETERS", 23071, 22106, 22206, 22310, 22410, "%.3f", -1},
    {"DEPTH_INCHES", 23072, 22106, 22206, 22311, 22411, "%.3f", -1},
    {"DEPTH_SURFACE_FEET", 23073, 22128, 22228, 22305, 22405, "%.3f", -1},
    {"DEPTH_SURFACE_METERS", 23074, 22128, 22228, 22306, 22406, "%.3f", -1},
    {"DEPTH_SURFACE_CENTIMETERS", 23075, 22128, 22228, 22310, 22410, "%.3f", -1},
    {"DEPTH_SURFACE_INCHES", 23116, 22128, 22228, 22311, 22411, "%.3f", -1},
    {"DEPTH_TOC_FEET", 23117, 22129, 22229, 22305, 22405, "%.3f", -1},
    {"DEPTH_TOC_METERS", 23118, 22129, 22229, 22306, 22406, "%.3f", -1},
    {"DEPTH_TOC_CENTIMETERS", 23119, 22129, 22229, 22310, 22410, "%.3f", -1},
    {"DEPTH_TOC_INCHES", 23120, 22129, 22229, 22311, 22411, "%.3f", -1},
    {"NH3_MV", 23121, 22127, 22227, 22321, 22421, "%.0f", -1},
    {"NH3_MG_L", 23122, 22127, 22227, 22319, 22419, "%.2f", -1},
    {"SPECIFIC_GRAVITY", 23123, 22144, 22244, 22338, 22438, "%2.3f", -1},
    {"DENSITY", 23124, 22142, 22242, 22336, 22436, "%2.3f", -1},
    {"ELEVATION", 23125, 22145, 22245, 22306, 22406, "%2.3f", -1},
    {"LATITUDE", 23126, 22146, 22146, 22339, 22439, "%2.3f", -1},
    {"DISPLAY_MODE", 23127, 22147, 22247, 22340, 22440, "%d", -1},
    {"USER_REFERENCE", 23128, 22139, 22239, 22304, 22404, "%.3f", -1},
    {"NOW_REFERENCE", 23129, 22140, 22240, 22304, 22404, "%.3f", -1},
    {"WHENTOREAD_REF", 23130, 22148, 22248, 22340, 22440, "%d", -1},
    {"STARTTIME", 23131, 22149, 22249, 22341, 22441, "DATETIME", -1},
    {"START_OF_TEST_REF", 23132, 22141, 22241, 22304, 22404, "%.3f", -1},
    {"TIMESTAMP", 23133, 22150, 22250, 22341, 22441, "DATETIME", -1},
    {"DEVICE_SERIAL_NO", 23134, 22156, 22256, 22344, 22444, "%d", -1},
    {"ENTITY_CODE_STR", 23135, 23024, 23027, 22344, 22444, "%s", -1},
    {"ENTITY_IS_9K", 23136, 23025, 23028, 22344, 22444, "%d", -1},
    {"ENTITY_IS_MINIVORNA", 23137, 23026, 23026, 22344, 22444, "%d", -1},
};
static_assert(std::size(kDefinitions) == 226);

constexpr const char* kAttribAlias = "AttribAlias";
constexpr const char* kAttribUnitType = "AttribUnitType";
constexpr const char* kAttribUnitTypeAbv = "AttribUnitTypeAbv";
constexpr const char* kAttribUnits = "AttribUnits";
constexpr const char* kAttribUnitsAbv = "AttribUnitsAbv";
constexpr const char* kAttribFormat = "AttribFormat";
constexpr const char* kAttribDigits = "AttribDigits";
constexpr const char* kAttribValueStr = "AttribValueStr";

// The text of a string id; empty for a negative id or one the table lacks.
std::string IdText(int32_t id)
{
    return id < 0 ? std::string() : std::string(GetResString(static_cast<uint32_t>(id)));
}

// The rows of table whose "ValueName" is name (case-sensitive), in a fresh table with
// all columns and the rows' keys.
CTypedTable RowsNamed(const CTypedTable& table, std::string_view name)
{
    CTypedTable rows;
    rows.DefineColumns(table, "");
    table.Select(rows, kValueName, kSelectEqual, name);
    return rows;
}

// True when format holds exactly one conversion, of the letter conversion, with only
// flags, a width and a precision before it: the one shape the value given to snprintf
// may be printed with.
bool IsSingleConversion(std::string_view format, char conversion)
{
    int conversions = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            continue;
        }
        ++i;
        while (i < format.size() && (format[i] == '-' || format[i] == '+' || format[i] == ' ' ||
                                     format[i] == '#' || format[i] == '0')) {
            ++i;
        }
        while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])) != 0) {
            ++i;
        }
        if (i < format.size() && format[i] == '.') {
            ++i;
            while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])) != 0) {
                ++i;
            }
        }
        if (i >= format.size() || format[i] != conversion) {
            return false;
        }
        ++conversions;
    }
    return conversions == 1;
}

template <class T>
std::string Print(const std::string& format, T value)
{
    const int size = std::snprintf(nullptr, 0, format.c_str(), value);
    if (size < 0) {
        return {};
    }
    std::string text(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), format.c_str(), value);
    text.resize(static_cast<size_t>(size));
    return text;
}

} // namespace

CValueDefTable::CValueDefTable()
{
    m_definitions.AddColumn(kValueName, kDataMapString);
    m_definitions.AddColumn(kIdsAlias, kDataMapInt);
    m_definitions.AddColumn(kIdsUnitType, kDataMapInt);
    m_definitions.AddColumn(kIdsUnitTypeAbv, kDataMapInt);
    m_definitions.AddColumn(kIdsUnits, kDataMapInt);
    m_definitions.AddColumn(kIdsUnitsAbv, kDataMapInt);
    m_definitions.AddColumn(kFormat, kDataMapString);
    m_definitions.AddColumn(kDigits, kDataMapInt);
}

CValueDefTable::~CValueDefTable() = default;

void CValueDefTable::BuildRows()
{
    m_definitions.DefineColumns(m_definitions, "");
    for (const Definition& d : kDefinitions) {
        char row[160];
        std::snprintf(row, sizeof row, "%s,%d,%d,%d,%d,%d,%s,%d", d.name, d.alias, d.unitType, d.unitTypeAbv,
                      d.units, d.unitsAbv, d.format, d.digits);
        m_definitions.AddRow(row);
    }
    BuildAliasMaps();
    m_loaded = 0;
}

void CValueDefTable::BuildAliasMaps()
{
    m_aliasToName.clear();
    m_nameToAlias.clear();
    for (const Definition& d : kDefinitions) {
        const std::string alias = IdText(d.alias);
        if (alias.empty()) {
            continue;
        }
        m_aliasToName[alias] = d.name;
        m_nameToAlias[d.name] = alias;
    }
}

void CValueDefTable::Load(const ValueAliasMap& aliases)
{
    for (const auto& [key, target] : aliases.Entries()) {
        const CTypedTable source = RowsNamed(m_definitions, key);
        const int sourceRow = source.FirstRow();
        if (sourceRow < 0) {
            continue;
        }
        CTypedTable completed = RowsNamed(m_definitions, target);
        const int targetRow = completed.FirstRow();
        if (targetRow < 0) {
            continue;
        }
        for (const char* column : kCompletedColumns) {
            const int targetCol = completed.FindColumn(column);
            if (!IsValidText(completed.GetCellText(targetCol, targetRow))) {
                completed.SetCellText(targetCol, targetRow, source.GetCellText(source.FindColumn(column), sourceRow));
            }
        }
        m_definitions.Merge(completed);
    }
    BuildAttributeMaps();
    m_loaded = 1;
}

void CValueDefTable::BuildAttributeMaps()
{
    for (TextMap* map : {&m_unitType, &m_unitTypeAbv, &m_units, &m_unitsAbv, &m_format, &m_digits}) {
        map->clear();
    }
    const int nameCol = m_definitions.FindColumn(kValueName);
    const int formatCol = m_definitions.FindColumn(kFormat);
    const int digitsCol = m_definitions.FindColumn(kDigits);
    const std::array<std::pair<int, TextMap*>, 4> idColumns{{
        {m_definitions.FindColumn(kIdsUnitType), &m_unitType},
        {m_definitions.FindColumn(kIdsUnitTypeAbv), &m_unitTypeAbv},
        {m_definitions.FindColumn(kIdsUnits), &m_units},
        {m_definitions.FindColumn(kIdsUnitsAbv), &m_unitsAbv},
    }};
    for (int row = m_definitions.FirstRow(); row != -1; row = m_definitions.NextRow(row)) {
        std::string name;
        m_definitions.GetValue(nameCol, row, name);
        for (const auto& [col, map] : idColumns) {
            int32_t id = -1;
            m_definitions.GetValue(col, row, id);
            (*map)[name] = IdText(id);
        }
        std::string format;
        m_definitions.GetValue(formatCol, row, format);
        m_format[name] = format;
        int32_t digits = 0;
        m_definitions.GetValue(digitsCol, row, digits);
        m_digits[name] = IntToStr(digits);
    }
}

std::string CValueDefTable::Find(const TextMap& map, std::string_view name)
{
    const auto it = map.find(std::string(name));
    return it != map.end() ? it->second : std::string();
}

bool CValueDefTable::IsValidText(std::string_view text)
{
    return !text.empty() && text != " " && text != "-1" && !wv::EqualNoCaseAscii(text, "$_ERR");
}

bool CValueDefTable::GetAlias(std::string_view name, std::string& out) const
{
    out = Find(m_nameToAlias, name);
    if (out.empty() && m_aliasToName.count(std::string(name)) != 0) {
        out = name;
    }
    return !out.empty();
}

std::string CValueDefTable::GetUnitTypeText(std::string_view name, bool abbreviated) const
{
    return Find(abbreviated ? m_unitTypeAbv : m_unitType, name);
}

std::string CValueDefTable::GetUnitsText(std::string_view name, bool abbreviated) const
{
    return Find(abbreviated ? m_unitsAbv : m_units, name);
}

std::string CValueDefTable::GetFormatText(std::string_view name) const { return Find(m_format, name); }

int CValueDefTable::GetDigits(std::string_view name) const { return StrToInt(Find(m_digits, name)); }

std::string CValueDefTable::FormatValue(std::string_view name, std::string_view text) const
{
    const std::string format = GetFormatText(name);
    const int digits = GetDigits(name);
    if (!IsValidText(format)) {
        return std::string(text);
    }
    if (wv::EqualNoCaseAscii(format, "%d")) {
        return Print(std::string("%d"), StrToInt(text));
    }
    if (format.find('s', 1) != std::string::npos) {
        return IsSingleConversion(format, 's') ? Print(format, std::string(text).c_str()) : std::string(text);
    }
    if (format.find('f', 1) != std::string::npos) {
        const double value = StrToDouble(text);
        if (digits > 0) {
            return FormatSignificant(value, digits);
        }
        return IsSingleConversion(format, 'f') ? Print(format, value) : std::string(text);
    }
    if (wv::EqualNoCaseAscii(format, "DATETIME")) {
        DateTimeRecord record;
        if (JulianToDateTime(StrToDouble(text), record) == 0) {
            return std::string(text);
        }
        const wv::OleDateTime time(record.year, record.month, record.day, record.hour, record.minute, record.second);
        return time.Format(m_dateFormat + " " + m_timeFormat);
    }
    // No rule prints any other format (none of the definitions holds one).
    return std::string(text);
}

int CValueDefTable::GetAttribute(std::string_view name, CDataMap& result, std::string_view attribute) const
{
    if (m_loaded == 0) {
        return 0;
    }
    const auto wanted = [attribute](const char* key) {
        return attribute.empty() || wv::EqualNoCaseAscii(attribute, key);
    };
    if (wanted(kAttribAlias)) {
        std::string alias;
        GetAlias(name, alias);
        result.SetString(kAttribAlias, alias);
    }
    if (wanted(kAttribUnitType)) {
        result.SetString(kAttribUnitType, GetUnitTypeText(name, false));
    }
    if (wanted(kAttribUnitTypeAbv)) {
        result.SetString(kAttribUnitTypeAbv, GetUnitTypeText(name, true));
    }
    if (wanted(kAttribUnits)) {
        result.SetString(kAttribUnits, GetUnitsText(name, false));
    }
    if (wanted(kAttribUnitsAbv)) {
        result.SetString(kAttribUnitsAbv, GetUnitsText(name, true));
    }
    if (wanted(kAttribFormat)) {
        result.SetString(kAttribFormat, GetFormatText(name));
    }
    if (wanted(kAttribDigits)) {
        result.SetInt(kAttribDigits, GetDigits(name));
    }
    if (wanted(kAttribValueStr)) {
        std::string text;
        result.GetText(name, text);
        result.SetString(kAttribValueStr, FormatValue(name, text));
    }
    return 1;
}
