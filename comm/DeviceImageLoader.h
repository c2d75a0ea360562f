#pragma once
// CDeviceImageLoader: fills a device image (comm/DeviceImage.h) from a live current-
// generation instrument through its CTkSession, and records live readings into it.
//
// Attach reads the device's identity, stamps the image with an event test started now and
// reads the family's calibration record; Load reads every record the image needs, in a
// fixed order, and normalises the image; BeginRecording / TakeReading / EndRecording then
// append live readings (one raw read of all the image's columns each), optionally smoothed
// per column by a CReadingFilter. A reading taken without confirmation is replaced by the
// next one.
//
// The record cache (sondes only, and only with a cache folder and a test-data-file service,
// comm/DeviceImageFiles.h): before reading, the device reports the CRCs of its records
// (command 282 with the CacheHeader list) and the newest cache file of the device is read
// back; a record whose CRC the device and the file share is copied from the file instead of
// being read ('9' and 'L' are always read). After a successful load the image is written as
// a new cache file (a temporary file renamed into place) and the device's older cache files
// ("SN<serial> <date> <time> Cache.bin") are deleted; the user's data files of the device
// are never touched. A failed load leaves the cache as it was. Without a cache folder the
// loader never touches the disk.
//
// The loader has no lock: whoever takes readings from a worker thread serialises its calls.

#include "comm/DeviceImage.h"
#include "comm/ReadingFilter.h"
#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/TkResultCodes.h"
#include "foundation/DateTimeRecord.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class CCallback;
class CDeviceImageFiles;
class CTkSession;

// The result of a device of neither family.
inline constexpr int kLoaderUnsupportedDevice = 5001;

// The 512-byte record-id list of the CRC request: count 16, then '9', 'H', 'I', '#', 'J' of
// channels 1-4, 'L' of channels 1-4, 'U', 'V', 'S', ':'.
const RecordCrcList& CacheHeader();

// The cache file name of a device: "SN%5.5d %4.4d-%2.2d-%2.2d %2.2d%2.2d%2.2d %s.bin" (no
// blank before an empty suffix), e.g. "SN00123 2010-05-01 153012 Cache.bin".
std::string MakeDeviceFileName(const DateTimeRecord& time, uint16_t serialNumber, const std::string& suffix);

// crcs = ids with each entry replaced by the CRC-16 (start 0) of that record of the image in
// the device's byte order; entries of other tags are left as they are. The image is left in
// the host's order.
void UpdateCacheHeaderCrcs(CDeviceImage& image, const RecordCrcList& ids, RecordCrcList& crcs);

// ---- Record builders shared with the live data writer (site/QikProfDataWriter.h) ----

// The '9' record of an image (in the host's order) from the device information and the
// manufacturing record: type, address, the manufacturing serial, the manufacture date, the
// firmware and hardware versions x 100, interface, battery, name, memory, run time and the
// two voltages.
void BuildDeviceInfoRecord(std::span<uint8_t> record, const DeviceInfoRecord& info, const MfgInfoRecord& mfg);
// Stamps the start of an image's test: the image's start time, the 'f' record (tag, start
// in the host's order, two texts of 48 blanks), the 'd' record (tag, start in the files'
// order, as the image keeps it) and the start of the event test definition when it is
// there (its first byte 3).
void StampImageStart(CDeviceImage& image, const DeviceTime& start);
// An 'L' record as a device without that port's sensors has it: the tag 'L' and two 'K'
// blocks of parameter type 4 with the date not set, everything else 0.
void InitChannelCalRecord(std::span<uint8_t, kChannelCalSize> record);
// Reads the pressure channel into a '#' record: channel 2, or channel 3 when the device has
// no channel 2 (207). The name is "DUMMY" unless the device gives one; the record is
// written whatever the result, which is returned.
int ReadPressureChannelRecord(CTkSession& session, std::span<uint8_t, kChannelLevelSize> record,
                              CCallback* callback);

class CDeviceImageLoader {
public:
    // No image, session or callback, no cache folder, no unconfirmed reading, no cache.
    CDeviceImageLoader();
    virtual ~CDeviceImageLoader();
    CDeviceImageLoader(const CDeviceImageLoader&) = delete;
    CDeviceImageLoader& operator=(const CDeviceImageLoader&) = delete;

    // The test-data-file service the cache reads and writes with; without one there is no
    // cache.
    void SetImageFiles(const CDeviceImageFiles* files) { m_files = files; }

    // Binds the image, the session (talking to the device already) and the callback (all the
    // caller's), resets both images, reads the identity, stamps an event test started now,
    // consults the cache and reads the family's calibration record ('H' or record 31). True
    // when that record was read; false for a failed identity read or a device of neither
    // family (GetLastResult tells the code).
    bool Attach(CDeviceImage* image, CTkSession* session, CCallback* callback, const std::string& cacheFolder);
    // Reads the whole image. True when every record was read (or counted as read); the image
    // is then normalised and the filters made. Otherwise GetLastResult gives the code that
    // stopped it.
    bool Load();
    // Before loading (true): the device's record CRCs and the newest cache file of the device.
    // After a successful load (false): writes the image as the device's new cache file and
    // deletes the older ones. Nothing for a level logger or without a cache.
    void SyncCache(bool before);

    // Starts recording (loaded and not recording only): a new start time now, the test name
    // (16 characters at most) in the event test definition, the filters applied when
    // filterOn is set.
    void BeginRecording(const std::string& testName, bool filterOn);
    // Takes one live reading and appends it; an unconfirmed reading before it is deleted, and
    // this one is kept only until the next when confirm is false. False when not recording or
    // the read failed (nothing changes then).
    bool TakeReading(bool confirm);
    // Stops recording and deletes an unconfirmed reading.
    void EndRecording();

    int GetLastResult() const { return m_lastResult; }
    bool IsLoaded() const { return m_loaded; }
    bool IsRecording() const { return m_recording; }
    bool UsesCache() const { return !m_noCache; }
    // The cached copy read from disk.
    CDeviceImage& CachedImage() { return m_cached; }
    // The cache file the last SyncCache read or wrote (empty when none).
    const std::string& LastCacheFile() const { return m_lastCacheFile; }

private:
    bool HasCache() const;
    std::vector<std::string> CacheFiles() const;
    void StampStartTime();
    int ReadCacheable(uint16_t id, const std::function<int()>& read, std::initializer_list<int> success);
    int LoadSonde();
    int LoadLevel();
    int ReadDeviceInfo();
    int ReadTestDefinition();
    int ReadChannelRecord();
    int ReadCalibrationRecord();
    int ReadChannelBlocks();

    CDeviceImage* m_image = nullptr;
    CTkSession* m_session = nullptr;
    CCallback* m_callback = nullptr;
    CDeviceImage m_cached;
    std::vector<CReadingFilter> m_filters;
    std::string m_cacheFolder;
    const CDeviceImageFiles* m_files = nullptr;
    bool m_loaded = false;
    bool m_recording = false;
    bool m_filterOn = false;
    long m_unconfirmed = -1;
    bool m_noCache = true;
    int m_lastResult = 0;
    std::string m_lastCacheFile;
};
