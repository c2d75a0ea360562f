#pragma once

// The device models: what the host and the simulator know about an instrument from its
// device type code alone. One table holds every rule that depends on the type; code that
// needs one asks TkDeviceModelOf rather than testing type ranges itself.
//
// The type codes form these families:
//   20 to 28   level loggers (the image, loader and value computations count 20 in; the
//              session's channel family, which decides the command variants, is 21 to 28);
//              type 28 is the barometric logger of the family;
//   30 to 40   multi-parameter sondes (the parameter family);
//   2, 3, 8, 10, 15, 16   the older generation, which speaks the legacy command set and is
//              woken differently on the line;
//   any other  no family: it gets the rules of the non-parameter devices.

#include <array>
#include <cstdint>
#include <span>

enum class TkDeviceFamily : uint8_t {
    None,       // a type of no family
    Legacy,     // the older generation
    Level,      // level loggers, 20 to 28
    Parameter,  // multi-parameter sondes, 30 to 40
};

// How the link wakes a device before a frame (CTkLink::SetMode).
enum class TkWakeKind : uint8_t {
    Current,  // wake-up prefix of zero bytes before every frame
    Legacy,   // frames go out as they are, inside an exchange
};

// The chunk lengths of a file download: the first chunk is at most first bytes, later ones
// alternate around base.
struct TkDownloadChunks {
    uint32_t first;
    uint32_t base;
};

// The rules of one older-generation model (TkDeviceModel::legacy).
struct TkLegacyBatteryRange {
    double empty;  // volts of an empty battery
    double full;   // volts of a full one; 0 (with empty 0): no range for this battery type
    bool IsOpen() const { return full <= empty; }
};

// A device input of the channel table that a test's channel-definition stream reports,
// and the logical channel it is reported as.
struct TkLegacyStreamChannel {
    uint8_t input;
    uint8_t channel;
};

struct TkLegacyModel {
    uint8_t code;
    // The logical channel numbers the user sees, in order.
    std::span<const uint8_t> channels;
    // The device input of logical channels 1 to 9 (index 0 is channel 1); 255: none.
    std::array<uint8_t, 9> inputOfChannel;
    // Test slots (the device's test count and slot count).
    uint8_t testSlots;
    // Channels the status report counts beyond the user's (after the two every model
    // reports more).
    uint8_t hiddenStatusChannels;
    // The model logs its device input 1 behind every test's channels: a test it lists has
    // that input last, and each sample carries its word.
    bool appendsInputOne;
    // Pages of data memory an open end (a test still logging) stands for.
    uint16_t openEndPages;
    // The test data image: its header bytes before the data, the position of the data
    // start pointer in it (the end pointer is 4 bytes later), and the test directory in
    // memory page 2: the offset of test 1's entry and the bytes from one entry to the
    // next. A header size of 0: the model has no directory and no download.
    uint16_t fileHeaderSize;
    uint16_t startPointerPosition;
    uint16_t directoryFirstOffset;
    uint16_t directoryStride;
    // The device inputs a test's channel-definition stream reports, in stream order.
    std::span<const TkLegacyStreamChannel> streamChannels;
    // Battery ranges by battery type 1 to 4 (index 0 is type 1).
    std::array<TkLegacyBatteryRange, 4> battery;
    // A type-1 battery of an address from 19000 to 19999 that reads below 6.85 V is the
    // low-voltage pack, 5.85 V to 6.3 V.
    bool lowVoltagePack;

    bool HasDirectory() const { return fileHeaderSize != 0; }
};

struct TkDeviceModel {
    TkDeviceFamily family;
    // In the session's channel family (21 to 28): the raw-read path of the live values,
    // the fixed port lists.
    bool channelFamily;
    // The barometric logger of the level family (type 28).
    bool barometric;
    TkWakeKind wake;
    // The older generation's rules of the model; null for every other type.
    const TkLegacyModel* legacy;
    // Flash memory: bytes a page, pages, the first page of the firmware staging area, and
    // the bytes at the start of a firmware image the device does not take.
    uint32_t flashPageSize;
    uint32_t flashPageCount;
    uint16_t stagingPage;
    uint32_t imageSkip;
    // How long the device takes to restart after it was told to program a new image (208).
    uint32_t restartWaitMs;
    TkDownloadChunks downloadChunks;
    // The ports of a device that does not report its list (command 235 is only for the
    // parameter family, whose list here is empty).
    std::span<const uint8_t> fixedPorts;
    // A test download starts from an emptied target file.
    bool truncatesBeforeDownload;
    // Downloads pause between chunks (as long as the first chunk took, at most 5 s).
    bool pacedDownload;
    // Device types 36 to 39 run from a higher battery voltage (thresholds of their own).
    bool highVoltageBattery;

    bool IsParameterFamily() const { return family == TkDeviceFamily::Parameter; }
    bool IsLevelFamily() const { return family == TkDeviceFamily::Level; }
};

// The model of a device type; every type has one (a type of no family gets the rules of
// the non-parameter devices).
const TkDeviceModel& TkDeviceModelOf(int deviceType);
