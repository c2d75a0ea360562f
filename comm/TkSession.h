#pragma once

// CTkSession: the current command set for one serial line.
//
// One session serves one connection: it owns the connection's link once opened,
// remembers which device on the line the following commands go to (TalkTo), and offers
// one synchronous method per protocol command. Every command follows one pattern:
//
//     CTkRequest request(command, body, layout);  // request packet (comm/protocol/TkRequest.h)
//     reply handler with the command's decoder    // TkDecode<Command>Reply (comm/protocol/)
//     RunCommand(request, reply, callback);       // Begin, send, wait, End
//
// A command sends its request to the selected device with a time-out per attempt and a
// number of resends (5000 ms and 3 unless a command says otherwise) and keeps the user
// interface alive while it waits (every wait step dispatches events). The callback hears
// Begin(0) before the send and End after the wait, nothing in between: a command is not
// stopped through its callback, and progress bars that count steps are not moved by how
// long a device takes to answer. The result is the handler's status: 0; the device's
// non-zero reply status, passed through unchanged; the code the reply decoder returned
// (5075 for a reply it cannot use); 5018 when the last attempt timed out; 5109 when the
// line was lost; 5110 when another command of this session is still waiting; or 5019
// without a link. Commands that report progress while they wait (a test's delete, the
// transfers) say so.
//
// Reply bodies are checked against their layout before anything is decoded: a body
// shorter than its layout never reaches the caller's record, and the bytes after the
// layout (fields a newer firmware appends) are left alone. The caller's output is
// written only from a reply that decoded completely.
//
// Where a command lives: its code, layouts, records and reply decoder in the family's
// header of comm/protocol/ (DeviceRecords.h, RawRecords.h, ChannelRecords.h,
// TestRecords.h, FileRecords.h), its method in the family's file here (TkDeviceCommands.cpp,
// TkRawCommands.cpp, TkChannelCommands.cpp, TkTestCommands.cpp, TkFileCommands.cpp). Rules
// that depend on the device type come from the device models (comm/protocol/TkDeviceModels.h).
//
// The protocol trace: when the switch file says so (comm/TraceSettings.h) each Open
// appends "==== Begin Trace Session ====" to the trace log, the traced raw reads add
// their lines, and Close adds "==== End Trace Session ====".
//
// Threading: a session has no lock; it serves one thread at a time. While a command of one
// thread runs (a calibration worker's live read), a command from another thread is refused
// with 5110 before it touches anything, as a command started inside another's wait is.

#include "comm/Callback.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/MfgRecords.h"
#include "comm/protocol/RawRecords.h"
#include "comm/protocol/TestRecords.h"
#include "comm/protocol/TkRequest.h"
#include "comm/protocol/TkResultCodes.h"
#include "foundation/AppUtils.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>

class CTkLink;
class CPacketHandler;
class CTkReplyHandler;
class CRawValueConverter;
struct MfgDbRecord;

// The standard time-out per attempt and number of resends: a command is sent at most
// four times before it ends with 5018.
constexpr uint32_t kTkStandardTimeoutMs = 5000;
constexpr int kTkStandardResends = 3;

// The device address while no device is selected. Commands still go out, to the 32-bit
// destination 0x0000FFFF (which is no broadcast).
constexpr uint16_t kTkNoDeviceAddress = 0xFFFF;

// Trace lines.
inline constexpr const char* kTkTraceBegin = "==== Begin Trace Session ====\n";
inline constexpr const char* kTkTraceEnd = "==== End Trace Session ====\n";

class CTkSession {
public:
    // Unlinked, no trace file, no device selected (address 0xFFFF, type 0), caches
    // zeroed and not valid.
    CTkSession();
    // Closes what is still open (as Close).
    ~CTkSession();
    CTkSession(const CTkSession&) = delete;
    CTkSession& operator=(const CTkSession&) = delete;

    // Takes ownership of the connection's open link (a link held before is deleted).
    // Reads the trace switch, writes the begin line when tracing, clears the three valid
    // flags. 0; 5002 without a link; 5110 while a command of this session waits (the
    // given link is deleted then, as it would be by a failed open).
    ProtocolResultCode Open(std::unique_ptr<CTkLink> link);
    // Deletes the link, writes the end line when tracing and closes the trace log.
    // 0; 5110 while a command of this session waits (nothing is closed then).
    ProtocolResultCode Close();

    // The device search on the owned link, with the given callback. 5002 without a link,
    // 5110 while a command waits, else the search's result.
    ProtocolResultCode FindDevices(CCallback* callback);

    // Selects the device the following commands go to. A different address or device
    // type clears the three valid flags. With a link, its wake mode follows the device
    // type. 0; 5110 while a command waits (nothing changes then, so the waiting command
    // keeps talking to its device).
    ProtocolResultCode TalkTo(uint16_t address, uint8_t deviceType);
    // The current selection; 0.
    ProtocolResultCode GetAddress(uint16_t* address, uint8_t* deviceType) const;
    // Forgets what the session keeps of the selected device (its coefficients and sensor
    // images), so the next commands read them afresh: after a firmware upgrade the device
    // may hold different ones.
    void ResetDeviceCaches() { InvalidateCaches(); }

    // Addresses request to the selected device (the 16-bit address widened without sign)
    // and hands it with handler to the link, with timeoutMs per attempt and resends. A
    // non-zero result of the link's Send (5005, 5010, 5110) is stored in the handler,
    // which marks it done. Without a link the handler gets 5019. Returns that status.
    ProtocolResultCode Transact(CTkPacket& request, CPacketHandler& handler, uint32_t timeoutMs,
                                int resends);

    // One wait step: one pump of the link (send and receive, resends and expiries, and
    // the dispatch of waiting user-interface events). 0, or 5110 when the link is already
    // pumping further up the stack. Nothing (0) without a link.
    ProtocolResultCode Poll();

    // Command 2: the selected device's identity into *identity. 5073 without an output
    // record; otherwise the transaction's result (identity untouched unless 0).
    ProtocolResultCode GetIdentity(FoundDeviceRecord* identity, CCallback* callback);

    // Device identity, settings and clock (comm/TkDeviceCommands.cpp). Each command
    // returns 0, the device's status passed through, 5075 for a reply it cannot use, 5073
    // for a missing output, or the transaction's code; an output is written only from a
    // reply that decoded completely.

    // 202: the device information; slots receives up to slots.size() slot numbers (none
    // when empty). Reads the port list first (no callback) for the battery percent.
    ProtocolResultCode GetDeviceInfo(DeviceInfoRecord* info, std::span<uint8_t> slots,
                                     CCallback* callback);
    // 235 for the parameter family; every other type gets its device model's fixed list
    // without a command. *count receives the number of ids stored (at most ids.size()).
    ProtocolResultCode GetPortList(uint8_t* count, std::span<uint8_t> ids, CCallback* callback);
    // 282: the CRCs of the listed records; the reply's count and CRCs replace the ids.
    ProtocolResultCode GetRecordCrcs(RecordCrcList* list, CCallback* callback);
    // 281 and 280: the site preferences record ':'.
    ProtocolResultCode GetSitePreferences(SitePrefsRecord* prefs, CCallback* callback);
    ProtocolResultCode SetSitePreferences(const SitePrefsRecord* prefs, CCallback* callback);
    // 283 and 284: the ASCII output preferences word.
    ProtocolResultCode SetAsciiPreferences(uint16_t preferences, CCallback* callback);
    ProtocolResultCode GetAsciiPreferences(uint16_t* preferences, CCallback* callback);
    // 205: the device name, at most 16 characters in the device's single-byte text.
    ProtocolResultCode SetName(const std::string& name, CCallback* callback);
    // 206: battery type and installation date.
    ProtocolResultCode SetBatteryInfo(uint8_t batteryType, const DeviceTime& installed,
                                      CCallback* callback);
    // 216: sets the device clock; 5031 (nothing sent) when CheckDeviceDate refuses time.
    ProtocolResultCode SetClock(const DeviceTime& time, CCallback* callback);
    // 217: reads the device clock into *time. A reading that is no date and time is
    // replaced by the computer's local time (to the second), which is written with
    // SetClock; the write's result is returned then.
    ProtocolResultCode SyncClock(DeviceTime* time, CCallback* callback);
    // 285 to 292: SDI-12 settings.
    ProtocolResultCode SetSdi12OutputOrder(const Sdi12OutputOrder& order, CCallback* callback);
    ProtocolResultCode GetSdi12OutputOrder(Sdi12OutputOrder* order, CCallback* callback);
    ProtocolResultCode SetSdi12Setting(uint8_t address, CCallback* callback);
    // The SDI-12 address byte, or 0xFF (kTkSdi12SettingFailed) when the command failed.
    uint8_t GetSdi12Setting(CCallback* callback);
    // The same read with its status: *address is written only when it is 0.
    ProtocolResultCode ReadSdi12Setting(uint8_t* address, CCallback* callback);
    ProtocolResultCode SetSdi12Enabled(uint8_t enabled, CCallback* callback);
    // The SDI-12 enabled flag (1 or 0) from the device file "D2": 5017 for firmware below
    // 2.025 (the flag cannot be read), 5075 for a file too short to hold it.
    ProtocolResultCode GetSdi12Enabled(uint8_t* enabled);
    ProtocolResultCode GetSdi12ParamList9(Sdi12ParamList9* list, CCallback* callback);
    ProtocolResultCode GetSdi12ParamList20(Sdi12ParamList20* list, CCallback* callback);

    // Raw reads, sensor configuration and coefficients (comm/TkRawCommands.cpp).

    // 266: pairs.size() raw pairs (1 to 255, else 5022) with option bytes b and c; a reply
    // without pairs gives 5022. Time-out count x (b + 1) s with options, else 5000 ms.
    ProtocolResultCode RawRead(std::span<RawPair> pairs, uint8_t optionB, uint8_t optionC,
                               CCallback* callback);
    // One raw pair without options, traced ("TkRawRead %X  %X" or "TkRawRead error %d").
    ProtocolResultCode TkRawRead(uint16_t* first, uint16_t* second, CCallback* callback);
    // 270: samples readings of the listed parameter codes (1 to 255) into values, sample
    // after sample (values must hold samples x codes.size(), else 5010). 5022 for a count
    // of 0 or a reply that does not echo the code count; 5075 for a reply without '&'.
    // Time-out samples x (c + 1) s with options, else 16000 ms.
    ProtocolResultCode RawParamRead(std::span<uint16_t> values, std::span<const uint8_t> codes,
                                    uint8_t samples, uint8_t optionC, uint8_t optionD,
                                    CCallback* callback);
    // 320: writes the sensor configuration (floats nudged off 10 and 100), commits it
    // (4102) whatever the write returned, and reads it back: 5600 when it cannot be read,
    // 5601 when it differs twice.
    ProtocolResultCode WriteSensorConfig(const SensorConfigRecord* config, CCallback* callback);
    // 321: the sensor configuration.
    ProtocolResultCode ReadSensorConfig(SensorConfigRecord* config, CCallback* callback);
    // 322: a sensor operation; 4098 to 4101 are followed by a commit 4102 when they succeed
    // (whose result is returned then).
    ProtocolResultCode CommitSensorConfig(uint16_t subCode, CCallback* callback);
    // The seconds the sensor takes for a commit sub-code (its time-out is one more).
    static uint8_t SensorConfigCommitWait(uint16_t subCode);
    static void NudgeSensorConfigFloats(SensorConfigRecord& config);
    // 0 when b is a read-back of a, else 5601.
    static ProtocolResultCode CompareSensorConfig(const SensorConfigRecord& a,
                                                  const SensorConfigRecord& b);
    // 330: the single value 'Z', or the seven values of set 3. Status s: 5632 + s.
    ProtocolResultCode SetCalCoefficient(float value, CCallback* callback);
    ProtocolResultCode SetCalCoefficients7(const CalCoeffRecord93& values, CCallback* callback);
    // 331: coefficient sets 1 ('['), 2 ('\') and 3 (']'). Status s: 5632 + s.
    ProtocolResultCode GetCalCoefficients(CalCoeffRecord91* record, CCallback* callback);
    ProtocolResultCode GetCalCoefficients2(CalCoeffRecord92* record, CCallback* callback);
    ProtocolResultCode GetCalCoefficients3(CalCoeffRecord93* record, CCallback* callback);

    // Test commands and live values (comm/TkTestCommands.cpp). Each command returns 0, the
    // device's status passed through, or the transaction's code; an output is written only
    // from a reply that decoded completely.

    // 250: the definition of the test in slot testIndex, with the state the device
    // reports. 5070 (nothing sent) without a record; 5071 unknown state block; 5072
    // unknown schedule type; 5075 a reply shorter than its forms or its channel count;
    // 5021 when the device has no such test (its statuses 2 and 106).
    ProtocolResultCode GetTestDefinition(uint8_t testIndex, TestDefinitionRecord* record, CCallback* callback);
    // 251: writes a definition in the form of its schedule type. 5073 without a record,
    // 5072 (nothing sent) for a schedule type outside 1 to 4.
    ProtocolResultCode SetTestDefinition(const TestDefinitionRecord* record, CCallback* callback);
    // 252: deletes a test and its data. The definition is read first (its failure is
    // returned); the time-out per attempt grows with the test's samples
    // (DeleteTestTimeoutMs), 3 resends. While it waits the callback hears the share of the
    // time-out passed, in percent; a non-zero answer stops the wait with 5068 (the device
    // may still delete the test).
    ProtocolResultCode DeleteTest(uint8_t testIndex, CCallback* callback);
    // (sample count / 64 x 0.04 + 3) whole seconds, in ms.
    static uint32_t DeleteTestTimeoutMs(uint32_t sampleCount);
    // 254 and 255: start a pending test, stop a running one.
    ProtocolResultCode StartTest(uint8_t testIndex, CCallback* callback);
    ProtocolResultCode StopTest(uint8_t testIndex, CCallback* callback);
    // Copies the test's data file (named by the test number as two decimal digits) into
    // localPath with DownloadFile. Device types 23 and 24 download afresh: their earlier
    // local file is set aside first and put back only when the download fails. 5021 for a
    // test number above 99 (no such file name); 5004 when the local file cannot be made.
    ProtocolResultCode DownloadTestData(uint8_t testNumber, const std::string& localPath, CCallback* callback);

    // The raw-value converter the live values are converted with (comm/RawValueConverter.h;
    // null: none). The connection node that creates the session hands it the values
    // library's (values/RawValueConversions.h); it must outlive the session's live reads.
    void SetRawValueConverter(const CRawValueConverter* converter) { m_rawConverter = converter; }

    // The live values, converted by the session's raw-value converter (5089, nothing
    // sent, without one).
    // One converted value: the parameter read for the parameter family, else the raw read.
    ProtocolResultCode ReadValue(uint8_t parameterCode, double* value, CCallback* callback);
    // The raw read of a level logger: temperature for parameter 1, pressure for any other,
    // through the factory calibration (5080 when its temperature coefficients are all 0).
    ProtocolResultCode ReadValueRaw(uint8_t parameter, double* value, CCallback* callback);
    // The parameter read of a sonde: fills the coefficient and sensor caches when they are
    // not valid, reads the site preferences, then the code with the codes it needs. 5088
    // for codes 2 and 101 without a level sensor.
    ProtocolResultCode ReadValueParam(uint8_t parameterCode, double* value, CCallback* callback);
    // One reading of several parameters in one parameter read; values[i] receives the
    // value of codes[i]. In mode 4 (kTkLiveModeCorrected) channels[i] supplies the user
    // calibration applied to codes[i]. 5022 for no codes or a list longer than one read
    // carries, 5010 when values is shorter than codes, 5073 in mode 4 when channels is.
    // Nothing is written unless the result is 0.
    ProtocolResultCode ReadLiveValues(int mode, std::span<const uint8_t> codes, std::span<double> values,
                                      std::span<const ChannelDefinitionRecord> channels, CCallback* callback);

    // File transfer and firmware upload (comm/TkFileCommands.cpp). A device keeps its
    // logged data and some settings as files named by two characters (a test's data file:
    // the test number as two decimal digits), and takes firmware as an image written into
    // a staging area of its flash memory.

    // A local data file may end with a block of this size that starts with the tag; a
    // download keeps it at the end of the file.
    static constexpr size_t kTrailerSize = 136;
    static constexpr const char* kTrailerTag = "USERDATA";

    // What the last DownloadFile of this session did.
    struct DownloadStats {
        uint32_t fileSize = 0;        // the device file's size
        uint32_t resumedAt = 0;       // local bytes kept from before (0: started at offset 0)
        bool trailerKept = false;     // a trailer was put back behind the data
        uint32_t chunks = 0;          // chunk requests (resends not counted)
        uint32_t duplicates = 0;      // replies equal to the last chunk written
        uint32_t empty = 0;           // replies without bytes
        uint32_t oversized = 0;       // replies over 281 bytes (asked for again)
        uint32_t bytesWritten = 0;    // chunk bytes written to the local file
        uint32_t finalTimeoutMs = 0;  // the chunk time-out at the end
    };
    const DownloadStats& LastDownloadStats() const { return m_lastDownload; }

    // The file a download of localPath works on until it is complete ("<localPath>.part").
    // After a failed or cancelled download it holds what was received (and the local
    // file's trailer); the next download of the same device file resumes from it.
    static std::string PartialDownloadPath(const std::string& localPath);

    // Command 223: the size of the device file name (two characters) into *size.
    // 5073 without an output or with a name that is not two characters.
    ProtocolResultCode GetFileSize(std::string_view name, uint32_t* size, CCallback* callback);
    // Reads the device file "D2" whole into buffer (225). 5010 when it is larger than
    // capacity (or than one reply can carry) or came back empty; 5075 when the reply is
    // not as long as the file; the buffer is written only on success.
    ProtocolResultCode ReadFileD2(uint8_t* buffer, size_t capacity);
    // Copies the device file name into localPath chunk by chunk (225), resuming from the
    // local data when the device file starts with them. The callback gets Begin(size/256),
    // Progress(offset/256) (non-zero cancels: 5068) and End. A reply somewhat longer than
    // asked for is taken whole (up to the reported size); one over 281 bytes is asked for
    // again. 0; 5004 when the local file cannot be opened or created (found before anything
    // is sent); 5062/5063 when it cannot be sought or read; 5064 when a write fails; 5075
    // when the device keeps sending replies that bring nothing; or the failed chunk
    // command's code (5018 for a silent device).
    ProtocolResultCode DownloadFile(std::string_view name, const std::string& localPath, CCallback* callback);
    // Command 220: writes length bytes (at most 264, else 5065) at offsetInPage of a flash
    // page.
    ProtocolResultCode UploadBlock(uint16_t page, uint16_t offsetInPage, size_t length, const uint8_t* data,
                                   CCallback* callback);
    // Writes length bytes of a local file from startOffset (0: to its end) into flash pages
    // from firstPage / offsetInFirstPage, in blocks that never cross a page. 0 or the
    // failed block's code; 5004 open, 5062 seek (start beyond the end), 5063 when the file
    // does not hold the range, 5065 when the range does not fit the pages, 5068 when the
    // callback's Progress asked to stop.
    ProtocolResultCode UploadFile(const std::string& localPath, uint32_t startOffset, uint32_t length,
                                  uint16_t firstPage, uint16_t offsetInFirstPage, CCallback* callback);
    // Uploads a firmware image into the staging area and has the device program it (208).
    // An image that would send no block is refused with 5063 before anything is sent.
    ProtocolResultCode UploadFirmware(const std::string& imagePath, CCallback* callback);
    // Command 208 (no resend), then the device's restart wait (35 s or 100 s from the send)
    // with Progress every second; the callback does not shorten the wait. The command's
    // code.
    ProtocolResultCode SendCommand208(uint16_t page, CCallback* callback);


    // Channel commands (comm/TkChannelCommands.cpp). Each command returns 0, the device's
    // status passed through (the output untouched), 5073 for a missing input or output,
    // 5074 for an unknown channel form, 5075 for a reply it cannot use (a short body,
    // another record's tag), 5087 for a coefficient block of an unknown sensor code, or the
    // transaction's code. Standard time-out and resends throughout.

    // 264: writes the channel in the form of its parameter type (2 ' ', 3 and 6 '#', 22 'S',
    // 27 'U', others 'O'). A level channel (type 3) whose reference is read now (when to
    // read 0) first takes its own current reading (ReadValue of its channel number) into
    // its reference reading; a failed reading is returned and nothing is written.
    ProtocolResultCode SetChannelConfig(ChannelDefinitionRecord* record, CCallback* callback);
    // 265: the channel's definition in whichever form the device answers.
    ProtocolResultCode GetChannelConfig(uint8_t channel, ChannelDefinitionRecord* record, CCallback* callback);
    // 257: a channel's definition as the test in slot testIndex keeps it.
    ProtocolResultCode GetTestChannelConfig(uint8_t testIndex, uint8_t channel, ChannelDefinitionRecord* record,
                                            CCallback* callback);
    // 265 with selector 4: the sensor block of the 'S' form (any other form: 5075).
    ProtocolResultCode GetChannelBlock265(SensorBlockRecord* block, CCallback* callback);
    // 262 and 263: the pressure/temperature calibration record (tag 31).
    ProtocolResultCode TkSetPTCalInfo(const PtCalInfoRecord* record, CCallback* callback);
    ProtocolResultCode TkGetPTCalInfo(PtCalInfoRecord* record, CCallback* callback);
    // 263 six times with four sensor codes each: the coefficient blocks and the code-100
    // head. Clears the coefficients-valid flag first; when all six succeed, *cache and the
    // session's cache receive the blocks (bytes no reply carries are 0) and the flag is
    // set. On failure *cache is untouched. The callback hears Begin and End around the
    // sequence and around each request.
    ProtocolResultCode ReadCalibrationCoefficients(std::array<uint8_t, kCoefficientCacheSize>* cache,
                                                   CCallback* callback);
    // 268: writes the level sensor record ('M', 'I'); on success it becomes the session's
    // cached code-100 record (flag set), else the flag stays clear.
    ProtocolResultCode SetSensorInfo100(const LevelSensorRecord* record, CCallback* callback);
    // 269 for code 100: the level sensor ('I'). On success the session caches it (flag
    // set); on any failure the cached record says "no level sensor" (type 99, range 0)
    // and the flag stays clear.
    ProtocolResultCode GetSensorInfo100(LevelSensorRecord* record, CCallback* callback);
    // 269 for code 8: the conductivity sensor ('V'), cached on success. A busy sensor
    // (status 901) sends no record: the caller's record as it stands is cached instead
    // and 901 is returned.
    ProtocolResultCode GetSensorInfo8(ConductivitySensorRecord* record, CCallback* callback);
    // 269 for any other code: its 'J' record.
    ProtocolResultCode GetSensorInfo(uint8_t sensorCode, SensorInfoRecord* record, CCallback* callback);
    // 246, 247 and 273: the wiper record 'U' and the wiper's command word.
    ProtocolResultCode SetWiperRecord(const WiperRecord* record, CCallback* callback);
    ProtocolResultCode GetWiperRecord(WiperRecord* record, CCallback* callback);
    ProtocolResultCode SendWiperCommand(uint16_t command, CCallback* callback);
    // 276: zeroes the pressure reading and returns the new zero offset; 277 clears the
    // zero. No callback. Both clear the coefficients-valid flag (the code-100 head holds
    // the offset), whatever the result.
    ProtocolResultCode ZeroPressure(float* offset);
    ProtocolResultCode ResetPressureZero();


    // Manufacturing records (comm/TkMfgCommands.cpp): the device's manufacturing record, the
    // pressure sensor's, and the checks and repairs against the factory database
    // (comm/MfgDatabase.h) that the firmware-upgrade wizard runs. Every step of a verify,
    // refurbish or write, and every failure of one, is written to the upgrade log.

    // 203: writes the manufacturing record, sent once with a 1000 ms time-out. A device
    // given a new serial number answers from that number, so the command then ends with
    // 5018. 5073 without a record.
    ProtocolResultCode SetMfgInfo(const MfgInfoRecord* record, CCallback* callback);
    // 204: the manufacturing record (5075 for another record).
    ProtocolResultCode GetMfgInfo(MfgInfoRecord* record, CCallback* callback);
    // 260 and 261: the pressure sensor's manufacturing record.
    ProtocolResultCode TkSetPMfgInfo(const PMfgInfoRecord* record, CCallback* callback);
    ProtocolResultCode TkGetPMfgInfo(PMfgInfoRecord* record, CCallback* callback);
    // Reads the three factory records of the selected device (204, 261, 263), logging each
    // one read; the first failure is logged and returned. 5073 for a missing output.
    ProtocolResultCode ReadMfgRecords(MfgInfoRecord* mfg, PMfgInfoRecord* pmfg, PtCalInfoRecord* ptcal);
    // Writes the three records to the selected device: 203, then the session talks to the
    // record's serial number (the device's new address), then 260 and 262. A 203 that timed
    // out counts only when the device answers 204 at the new serial number with it; else
    // the session goes back to the old address and 5018 is returned.
    ProtocolResultCode WriteMfgRecords(const MfgInfoRecord& mfg, const PMfgInfoRecord& pmfg,
                                       const PtCalInfoRecord& ptcal);
    // True when the database holds the serial number and its first pressure coefficient
    // prints ("%.5e") as coefficient does.
    static bool MfgDbCompareCoefficient(uint16_t serialNo, float coefficient);
    // Checks the selected device's factory records against the database and, with repair
    // set, writes the database's records to it. 5085 when actualSerialNo is not the
    // selected address; the read's failure; 5086 when no database record matches (by the
    // serial number with the same lot and manufacture date, or by the calibration date with
    // the same calibration); else 0, or the write's result.
    ProtocolResultCode VerifyAndRepair(uint16_t actualSerialNo, bool repair);
    // Compares the selected device's records with the database record of dbSerialNo and,
    // with write set, writes that record to it. 5085, the read's failure, the database's
    // failure (5004, 5062, 5063, 5010, 5310), else 0 or the write's result.
    ProtocolResultCode Refurbish(uint16_t actualSerialNo, uint16_t dbSerialNo, bool write);

    // True while a command of this session waits (its wait dispatches user-interface
    // events, and a command started from one of them must not run), or while the link
    // pumps.
    bool IsBusy() const;

    // The protocol trace.

    // Reads the trace switch; when it is on and no trace log is open yet, opens the log
    // for appending (a log that cannot be opened leaves tracing off).
    void ReadTraceSettings();
    bool IsTracing() const { return m_traceFile != nullptr; }
    // printf-style write into the trace log; nothing when no log is open.
    void TkLog(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The lines of a traced raw read: "TkRawRead %X  %X" with the first raw pair, or
    // "TkRawRead error %d" with the result code.
    void TraceRawRead(uint16_t first, uint16_t second);
    void TraceRawReadError(int code);

    // The link and the selection.
    CTkLink* GetLink() { return m_link.get(); }
    bool HasLink() const { return m_link != nullptr; }
    uint16_t GetDeviceAddress() const { return m_address; }
    uint8_t GetDeviceType() const { return m_deviceType; }

    // The three caches and their valid flags, which the live-value reads fill. The caches
    // start zeroed, so a flag never marks bytes that were not written.
    bool IsCoefficientsValid() const { return m_coefficientsValid; }
    bool IsLevelSensorValid() const { return m_levelSensorValid; }
    bool IsSensor8Valid() const { return m_sensor8Valid; }
    const std::array<uint8_t, kCoefficientCacheSize>& CoefficientCache() const { return m_coefficientCache; }
    const std::array<uint8_t, kLevelSensorImageSize>& LevelSensorCache() const { return m_levelSensorCache; }
    const std::array<uint8_t, kConductivitySensorImageSize>& Sensor8Cache() const { return m_sensor8Cache; }

private:
    // The common start of the manufacturing-record repairs: logs the operation's block
    // head, checks that actualSerialNo is the selected address (5085) and reads the
    // device's records into device.
    ProtocolResultCode ReadOwnMfgRecords(const char* operation, uint16_t actualSerialNo, MfgDbRecord& device);

    // Marks the session busy for its lifetime, on the calling thread. A session serves one
    // thread at a time: while a command of one thread runs, another thread's claim fails
    // (Ok() false; the caller answers 5110) and nothing of the session is touched.
    class BusyScope {
    public:
        explicit BusyScope(CTkSession& session) : m_session(session), m_ok(session.Claim())
        {
            if (m_ok) {
                ++m_session.m_waitDepth;
            }
        }
        ~BusyScope()
        {
            if (m_ok) {
                --m_session.m_waitDepth;
                m_session.Release();
            }
        }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;
        bool Ok() const { return m_ok; }

    private:
        CTkSession& m_session;
        bool m_ok;
    };
    // Takes the session for the calling thread (again, when it holds it); false when
    // another thread holds it.
    bool Claim();
    void Release();

public:
    // Holds the session for the calling thread for its lifetime without marking a command
    // as waiting: a worker keeps it across the commands of one reading, so no other thread
    // selects another device in between. Ok() false (nothing held) while another thread
    // holds it.
    class ThreadScope {
    public:
        explicit ThreadScope(CTkSession& session) : m_session(session), m_ok(session.Claim()) {}
        ~ThreadScope()
        {
            if (m_ok) {
                m_session.Release();
            }
        }
        ThreadScope(const ThreadScope&) = delete;
        ThreadScope& operator=(const ThreadScope&) = delete;
        bool Ok() const { return m_ok; }

    private:
        CTkSession& m_session;
        bool m_ok;
    };

private:

    // Runs one command: a request that failed to build returns its code at once (nothing
    // sent, the callback not called); a command started while another one of this session
    // waits returns 5110 at once. Otherwise: the callback's Begin(0), Transact, wait until
    // the handler is done (WaitUntilDone with afterStep), the callback's End; returns the
    // handler's status. The callback hears nothing else; only a command that reports its
    // own progress while it waits passes afterStep.
    ProtocolResultCode RunCommand(CTkRequest& request, CTkReplyHandler& handler, CCallback* callback,
                                  uint32_t timeoutMs = kTkStandardTimeoutMs, int resends = kTkStandardResends,
                                  const std::function<bool()>& afterStep = {});
    // A command whose reply carries nothing: the result is the reply's status.
    ProtocolResultCode RunWrite(CTkRequest&& request, CCallback* callback, uint32_t timeoutMs = kTkStandardTimeoutMs,
                                int resends = kTkStandardResends);
    // A command whose successful reply decode reads (returning 0 or the command's code).
    ProtocolResultCode RunRead(CTkRequest&& request, std::function<int(CTkPacket&)> decode, CCallback* callback,
                               uint32_t timeoutMs = kTkStandardTimeoutMs, int resends = kTkStandardResends);
    // As RunRead with a decoder of one output record; 5073 (nothing sent) without one.
    template <class T>
    ProtocolResultCode RunReadInto(CTkRequest&& request, T* output, int (*decode)(CTkPacket&, T&),
                                   CCallback* callback, uint32_t timeoutMs = kTkStandardTimeoutMs,
                                   int resends = kTkStandardResends)
    {
        if (output == nullptr) {
            return kTkErrMissingRecord;
        }
        return RunRead(
            std::move(request), [output, decode](CTkPacket& packet) { return decode(packet, *output); }, callback,
            timeoutMs, resends);
    }

    // Polls until handler is done, calling afterStep (when given) after each step that
    // left it waiting; a true answer withdraws the request and ends it with 5068. A request
    // that vanished from the link without an answer ends with 5109. The handler is always
    // withdrawn from the link before this returns, so it may go out of scope. Returns the
    // handler's status.
    ProtocolResultCode WaitUntilDone(CPacketHandler& handler, const std::function<bool()>& afterStep = {});

    void InvalidateCaches();
    void CloseNow();

    UniqueFile m_traceFile;
    std::unique_ptr<CTkLink> m_link;
    uint16_t m_address = kTkNoDeviceAddress;
    uint8_t m_deviceType = 0;
    bool m_coefficientsValid = false;
    bool m_levelSensorValid = false;
    bool m_sensor8Valid = false;
    std::array<uint8_t, kCoefficientCacheSize> m_coefficientCache{};
    std::array<uint8_t, kLevelSensorImageSize> m_levelSensorCache{};
    std::array<uint8_t, kConductivitySensorImageSize> m_sensor8Cache{};
    DownloadStats m_lastDownload;
    const CRawValueConverter* m_rawConverter = nullptr;

    // Waits of this session running further up the stack.
    // The thread whose command runs (none while idle) and how deeply it is nested.
    std::atomic<std::thread::id> m_owner{};
    std::atomic<int> m_claims{0};
    std::atomic<int> m_waitDepth{0};
};
