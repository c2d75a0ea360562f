// The site file: its bytes, every version it is read in, and the files it refuses.

#include "site/SiteArchive.h"
#include "site/WVDoc.h"

#include "tests/site/SiteFakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

// The metric catalogue's choices, in slot order, as the site file stores them.
const std::vector<UnitChoicePair> kMetricChoices = {
    {24, 0}, {0, 0},  {1, 0},  {2, 0},  {3, 1},  {4, 0},  {5, 0},  {6, 3},  {12, 2}, {8, 0}, {7, 0},
    {30, 1}, {9, 2},  {10, 0}, {36, 2}, {11, 1}, {21, 2}, {18, 2}, {20, 2}, {34, 1}, {35, 1},
};

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
        out += ' ';
    }
    return out;
}

// Writes file bytes field by field, for the older versions' files.
struct FileBytes {
    std::string bytes;
    FileBytes& Raw(std::string_view s)
    {
        bytes.append(s);
        return *this;
    }
    FileBytes& U8(uint8_t v)
    {
        bytes.push_back(static_cast<char>(v));
        return *this;
    }
    FileBytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    FileBytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    FileBytes& F64(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        return U32(static_cast<uint32_t>(bits)).U32(static_cast<uint32_t>(bits >> 32));
    }
    // A short string (below 255 bytes) in the file's form.
    FileBytes& Str(std::string_view s) { return U8(static_cast<uint8_t>(s.size())).Raw(s); }
    FileBytes& Head(double version) { return Raw(std::string_view("WVFile\0\0", 8)).F64(version); }
};

// Reads bytes as a site file named name.
bool Load(const std::string& bytes, LoadedSite& out, const std::string& name = "/sites/Lake.wv4")
{
    CWVDoc doc;
    CSiteArchive archive(bytes, name);
    return doc.LoadSite(archive, out);
}

CConnectionInfo ConnectionOf(const LoadedSite& loaded, int index)
{
    CConnectionInfo info;
    EXPECT_EQ(loaded.site->GetConnectionInfo(index, info), kAppOk);
    return info;
}

// The example of a site with one direct connection in a metric catalogue, written out
// by hand.
const std::string kExampleFile = std::string(
    "\x57\x56\x46\x69\x6C\x65\x00\x00"         // "WVFile", two zero bytes
    "\x7B\x14\xAE\x47\xE1\x7A\x08\x40"         // 3.06
    "\x01\x00\x00\x00"                         // one connection
    "\x0A" "COM1-19200"                        // name
    "\x01\x00"                                 // kind 1, direct
    "\x00"                                     // port 0, COM1
    "\x00\x4B"                                 // 19200 baud
    "\x00"                                     // no phone number
    "\x2D\x00\x00\x00"                         // call time-out 45 s
    "\x00\x00\x00\x00"                         // network search off
    "\x11" "AT&FE0&C1&D2X4&K0"                 // modem initialisation
    "\x15\x00\x00\x00"                         // 21 unit pairs, in catalogue order:
    "\x18\x00" "\x00\x00" "\x01\x00" "\x02\x00" "\x03\x01" "\x04\x00" "\x05\x00"
    "\x06\x03" "\x0C\x02" "\x08\x00" "\x07\x00" "\x1E\x01" "\x09\x02" "\x0A\x00"
    "\x24\x02" "\x0B\x01" "\x15\x02" "\x12\x02" "\x14\x02" "\x22\x01" "\x23\x01",
    109);

CConnectionInfo ExampleConnection()
{
    CConnectionInfo info;
    info.name = "COM1-19200";
    info.kind = kConnectionDirect;
    info.port = 0;
    info.baud = 19200;
    info.callTimeout = 45;
    info.initString = "AT&FE0&C1&D2X4&K0";
    return info;
}

// ---- The archive -------------------------------------------------------------------------

TEST(SiteArchive, StoresStringsWithTheirLengthPrefixInWindows1252)
{
    struct Case {
        size_t length;
        std::string prefix;
    };
    const Case cases[] = {
        {0, std::string("\x00", 1)},
        {254, "\xFE"},
        {255, std::string("\xFF\xFF\x00", 3)},
        {65533, "\xFF\xFD\xFF"},
        {65534, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
        {70000, std::string("\xFF\xFF\xFF\x70\x11\x01\x00", 7)},
    };
    for (const Case& c : cases) {
        CSiteArchive out;
        const std::string text(c.length, 'x');
        out.WriteString(text);
        EXPECT_EQ(out.GetBytes(), c.prefix + text) << c.length;
        CSiteArchive in(out.GetBytes(), "");
        std::string read;
        ASSERT_TRUE(in.ReadString(read)) << c.length;
        EXPECT_EQ(read, text);
        EXPECT_EQ(in.GetRemaining(), 0u);
    }
    // UTF-8 in memory, one Windows-1252 byte per character in the file.
    CSiteArchive out;
    out.WriteString("Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(out.GetBytes(), "\x06" "Caf\xE9 \x80");
    CSiteArchive in(out.GetBytes(), "");
    std::string read;
    ASSERT_TRUE(in.ReadString(read));
    EXPECT_EQ(read, "Caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(SiteArchive, NumbersAreLittleEndian)
{
    CSiteArchive out;
    out.WriteU8(0x12);
    out.WriteU16(0x3456);
    out.WriteU32(0x789ABCDE);
    out.WriteDouble(3.06);
    EXPECT_EQ(Hex(out.GetBytes()), "12 56 34 DE BC 9A 78 7B 14 AE 47 E1 7A 08 40 ");
    CSiteArchive in(out.GetBytes(), "");
    uint8_t a = 0;
    uint16_t b = 0;
    uint32_t c = 0;
    double d = 0;
    ASSERT_TRUE(in.ReadU8(a) && in.ReadU16(b) && in.ReadU32(c) && in.ReadDouble(d));
    EXPECT_EQ(a, 0x12);
    EXPECT_EQ(b, 0x3456);
    EXPECT_EQ(c, 0x789ABCDEu);
    EXPECT_EQ(d, 3.06);
}

TEST(SiteArchive, RefusesWhatDoesNotFitAndWideStrings)
{
    const std::string cases[] = {
        "",                                      // no length
        "\x05" "abcd",                           // four of five bytes
        "\xFF\x10",                              // half a 16-bit length
        std::string("\xFF\x00\x01", 3) + "x",    // 256 announced, 1 there
        std::string("\xFF\xFE\xFF\x00\x00", 5),  // the wide-string marker
        "\xFF\xFF\xFF\x01\x00",                  // half a 32-bit length
        "\xFF\xFF\xFF\xFF\xFF\xFF\xFF" "abc",    // four thousand million announced
    };
    for (const std::string& bytes : cases) {
        CSiteArchive in(bytes, "");
        std::string read = "unchanged";
        EXPECT_FALSE(in.ReadString(read)) << Hex(bytes);
        EXPECT_EQ(read, "unchanged");
        EXPECT_TRUE(in.HasFailed());
        // Once failed, nothing more is read.
        uint8_t byte = 7;
        EXPECT_FALSE(in.ReadU8(byte));
        EXPECT_EQ(byte, 7);
    }
    CSiteArchive in("\x01\x02\x03", "");
    uint32_t value = 9;
    EXPECT_FALSE(in.ReadU32(value));
    EXPECT_EQ(value, 9u);
}

// ---- Writing -------------------------------------------------------------------------------

TEST(SiteFile, TheExampleSiteIsWrittenByteForByte)
{
    CUnitCatalog metric("44");
    CWVDoc doc;
    doc.SetUnitCatalog(&metric);
    ASSERT_TRUE(doc.OnNewDocument());
    ASSERT_EQ(doc.GetSite()->AddConnection(ExampleConnection(), false), kAppOk);
    CSiteArchive archive;
    ASSERT_TRUE(doc.Serialize(archive));
    ASSERT_EQ(archive.GetBytes().size(), 109u);
    EXPECT_EQ(Hex(archive.GetBytes()), Hex(kExampleFile));
}

TEST(SiteFile, ASiteWithoutConnectionsIsTwentyBytesBeforeItsUnits)
{
    CWVDoc doc; // without a catalogue: no unit pairs
    ASSERT_TRUE(doc.OnNewDocument());
    CSiteArchive archive;
    doc.StoreSite(archive);
    EXPECT_EQ(Hex(archive.GetBytes()), "57 56 46 69 6C 65 00 00 7B 14 AE 47 E1 7A 08 40 00 00 00 00 00 00 00 00 ");
}

TEST(SiteFile, ModemAndRadioRecordsCarryTheirFields)
{
    CWVDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    CConnectionInfo modem;
    modem.name = "Weir";
    modem.kind = kConnectionModem;
    modem.port = 3;
    modem.baud = 2400;
    modem.phoneNumber = "555";
    modem.callTimeout = 0x01020304;
    modem.initString = "ATZ";
    doc.GetSite()->AddConnection(modem, true);
    CSiteArchive archive;
    doc.StoreSite(archive);
    EXPECT_EQ(Hex(archive.GetBytes().substr(16)),
              "01 00 00 00 04 57 65 69 72 02 00 03 60 09 03 35 35 35 04 03 02 01 01 00 00 00 03 41 54 5A "
              "00 00 00 00 ");
}

// ---- Reading -------------------------------------------------------------------------------

TEST(SiteFile, TheExampleFileReadsBack)
{
    LoadedSite loaded;
    ASSERT_TRUE(Load(kExampleFile, loaded, "/home/ann/COM1 site.wv4"));
    EXPECT_EQ(loaded.site->GetName(), "COM1 site");
    ASSERT_EQ(loaded.site->GetConnectionCount(), 1);
    EXPECT_EQ(ConnectionOf(loaded, 0), ExampleConnection());
    EXPECT_FALSE(loaded.site->GetConnection(0)->IsNetworkSearch());
    EXPECT_EQ(loaded.site->GetConnection(0)->GetSettingsError(), kAppOk);
    EXPECT_EQ(loaded.units, kMetricChoices);
}

TEST(SiteFile, TheSiteIsNamedAfterTheFile)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/data/River.2.wv4", "River.2"},
        {"/data/Lake", "Lake"},
        {"relative.wv4", "relative"},
        {"", "Home"},
    };
    for (const auto& [path, name] : cases) {
        LoadedSite loaded;
        ASSERT_TRUE(Load(kExampleFile, loaded, path));
        EXPECT_EQ(loaded.site->GetName(), name) << path;
    }
}

TEST(SiteFile, Version300ReadsTheThirdOfFiveFieldsAsTheCallTimeOut)
{
    FileBytes file;
    file.Head(3.0).U32(2);
    file.Str("A").U16(2).U8(1).U16(9600).Str("555-1").U32(11).U32(22).U32(33).U32(44).U32(55);
    file.Str("B").U16(1).U8(0).U16(57600).Str("").U32(0).U32(0).U32(90).U32(0).U32(0);
    file.U32(1).U32(1).U32(0x100).U32(4).U32(2).U32(0); // categories 5, 6, 8, 9, 10, 11
    LoadedSite loaded;
    ASSERT_TRUE(Load(file.bytes, loaded));
    ASSERT_EQ(loaded.site->GetConnectionCount(), 2);
    CConnectionInfo a = ConnectionOf(loaded, 0);
    EXPECT_EQ(a.name, "A");
    EXPECT_EQ(a.kind, 2);
    EXPECT_EQ(a.port, 1);
    EXPECT_EQ(a.baud, 9600);
    EXPECT_EQ(a.phoneNumber, "555-1");
    EXPECT_EQ(a.callTimeout, 33u);
    EXPECT_EQ(a.initString, "AT&FE0&C1&D2X4&K0");
    EXPECT_EQ(ConnectionOf(loaded, 1).callTimeout, 90u);
    EXPECT_FALSE(loaded.site->GetConnection(0)->IsNetworkSearch());
    // The low byte of each field; Level/Depth gets unit 2 without a field.
    EXPECT_EQ(loaded.units, (std::vector<UnitChoicePair>{{5, 1}, {6, 1}, {8, 0}, {9, 4}, {10, 2}, {11, 0}, {12, 2}}));
}

TEST(SiteFile, Version301HasNoNetworkSearchAndTheDefaultInitString)
{
    FileBytes file;
    file.Head(3.01).U32(1);
    file.Str("C").U16(1).U8(2).U16(4800).Str("").U32(25);
    file.U32(0).U32(0).U32(0).U32(0).U32(0).U32(1);
    LoadedSite loaded;
    ASSERT_TRUE(Load(file.bytes, loaded));
    CConnectionInfo c = ConnectionOf(loaded, 0);
    EXPECT_EQ(c.callTimeout, 25u);
    EXPECT_EQ(c.baud, 4800);
    EXPECT_EQ(c.initString, "AT&FE0&C1&D2X4&K0");
    EXPECT_FALSE(loaded.site->GetConnection(0)->IsNetworkSearch());
    EXPECT_EQ(loaded.units.back(), (UnitChoicePair{12, 2}));
}

TEST(SiteFile, Versions302And303ReadTheNetworkSearchAndDifferInTheLevelField)
{
    for (double version : {3.02, 3.03}) {
        FileBytes file;
        file.Head(version).U32(2);
        file.Str("D").U16(3).U8(4).U16(19200).Str("").U32(10).U32(1);
        file.Str("E").U16(1).U8(5).U16(19200).Str("").U32(10).U32(0x100); // any non-zero is on
        file.U32(1).U32(3).U32(5).U32(3).U32(1).U32(1);
        const bool levelField = version == 3.03;
        if (levelField) {
            file.U32(6);
        }
        LoadedSite loaded;
        ASSERT_TRUE(Load(file.bytes, loaded)) << version;
        EXPECT_TRUE(loaded.site->GetConnection(0)->IsNetworkSearch());
        EXPECT_TRUE(loaded.site->GetConnection(1)->IsNetworkSearch());
        EXPECT_EQ(ConnectionOf(loaded, 0).initString, "AT&FE0&C1&D2X4&K0");
        const uint8_t level = levelField ? 6 : 2;
        EXPECT_EQ(loaded.units,
                  (std::vector<UnitChoicePair>{{5, 1}, {6, 3}, {8, 5}, {9, 3}, {10, 1}, {11, 1}, {12, level}}))
            << version;
    }
}

TEST(SiteFile, Versions304And305ReadFullRecordsAndFixedUnitFields)
{
    for (double version : {3.04, 3.05}) {
        FileBytes file;
        file.Head(version).U32(1);
        file.Str("F").U16(2).U8(6).U16(1200).Str("9,555").U32(120).U32(0).Str("ATX");
        file.U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(7);
        LoadedSite loaded;
        ASSERT_TRUE(Load(file.bytes, loaded)) << version;
        CConnectionInfo f = ConnectionOf(loaded, 0);
        EXPECT_EQ(f.phoneNumber, "9,555");
        EXPECT_EQ(f.initString, "ATX");
        EXPECT_EQ(f.callTimeout, 120u);
        EXPECT_EQ(loaded.units.back(), (UnitChoicePair{12, 7}));
    }
}

TEST(SiteFile, AnOlderUnknownVersionReadsNoRecordsAndTakesItsUnitFieldsAfterN)
{
    for (double version : {2.5, 3.015, 0.0, -1.0}) {
        FileBytes file;
        file.Head(version).U32(5); // N is ignored
        file.U32(1).U32(3).U32(1).U32(1).U32(1).U32(1);
        LoadedSite loaded;
        ASSERT_TRUE(Load(file.bytes, loaded)) << version;
        EXPECT_EQ(loaded.site->GetConnectionCount(), 0);
        EXPECT_EQ(loaded.units,
                  (std::vector<UnitChoicePair>{{5, 1}, {6, 3}, {8, 1}, {9, 1}, {10, 1}, {11, 1}, {12, 2}}));
    }
}

TEST(SiteFile, RecordsBeyondTheSixteenthAreReadAndLeftOut)
{
    FileBytes file;
    file.Head(3.06).U32(18);
    for (int i = 0; i < 18; ++i) {
        file.Str("c" + std::to_string(i)).U16(1).U8(0).U16(9600).Str("").U32(10).U32(0).Str("");
    }
    file.U32(1).U8(5).U8(1);
    LoadedSite loaded;
    ASSERT_TRUE(Load(file.bytes, loaded));
    EXPECT_EQ(loaded.site->GetConnectionCount(), 16);
    EXPECT_EQ(loaded.site->GetConnection(15)->GetName(), "c15");
    EXPECT_EQ(loaded.units, (std::vector<UnitChoicePair>{{5, 1}}));
}

TEST(SiteFile, ARecordWithRefusedSettingsIsKeptAndWrittenBackAsItWas)
{
    FileBytes file;
    file.Head(3.06).U32(2);
    file.Str("Fast").U16(1).U8(0).U16(38400).Str("").U32(10).U32(1).Str("");
    file.Str("Nowhere").U16(9).U8(255).U16(0).Str("x").U32(7).U32(0).Str("AT");
    file.U32(0);
    LoadedSite loaded;
    ASSERT_TRUE(Load(file.bytes, loaded));
    EXPECT_EQ(ConnectionOf(loaded, 0).baud, 38400);
    EXPECT_EQ(loaded.site->GetConnection(0)->GetSettingsError(), kAppErrBaudRate);
    EXPECT_TRUE(loaded.site->GetConnection(0)->IsNetworkSearch());
    EXPECT_EQ(loaded.site->GetConnection(1)->GetSettingsError(), kAppErrPortNotSet);

    // Saved again, the file is the same.
    CWVDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    for (int i = 0; i < 2; ++i) {
        doc.GetSite()->AddConnection(ConnectionOf(loaded, i), loaded.site->GetConnection(i)->IsNetworkSearch());
    }
    CSiteArchive archive;
    doc.StoreSite(archive);
    EXPECT_EQ(Hex(archive.GetBytes()), Hex(file.bytes));
}

TEST(SiteFile, UnitPairsBelowOneMeanNoneAndTrailingBytesAreIgnored)
{
    for (uint32_t count : {0u, 0x80000000u, 0xFFFFFFFFu}) {
        FileBytes file;
        file.Head(3.06).U32(0).U32(count).Raw("junk");
        LoadedSite loaded;
        ASSERT_TRUE(Load(file.bytes, loaded)) << count;
        EXPECT_TRUE(loaded.units.empty());
    }
}

TEST(SiteFile, TheMagicIsCheckedOnItsFirstSixBytes)
{
    std::string file = kExampleFile;
    file[6] = 'x';
    file[7] = '\x01';
    LoadedSite loaded;
    EXPECT_TRUE(Load(file, loaded));

    for (size_t i = 0; i < 6; ++i) {
        std::string bad = kExampleFile;
        bad[i] = static_cast<char>(bad[i] ^ 0x20);
        EXPECT_FALSE(Load(bad, loaded, "/x/Lake.wv4")) << i; // also with the site extension
    }
}

TEST(SiteFile, VersionsThatCannotBeReadAreRefused)
{
    for (double version : {std::nan(""), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(), std::nextafter(3.06, 4.0), 3.07, 4.0}) {
        std::string file = kExampleFile;
        FileBytes head;
        head.F64(version);
        file.replace(8, 8, head.bytes);
        LoadedSite loaded;
        EXPECT_FALSE(Load(file, loaded)) << version;
        EXPECT_EQ(loaded.site, nullptr);
    }
}

TEST(SiteFile, EveryTruncationIsRefused)
{
    for (size_t length = 0; length < kExampleFile.size(); ++length) {
        LoadedSite loaded;
        EXPECT_FALSE(Load(kExampleFile.substr(0, length), loaded)) << length;
        EXPECT_EQ(loaded.site, nullptr);
    }
}

TEST(SiteFile, LengthsAndCountsBeyondTheBytesAreRefused)
{
    const std::string cases[] = {
        // A name announced longer than the file.
        FileBytes().Head(3.06).U32(1).U8(200).Raw("short").bytes,
        // The wide-string marker in a name.
        FileBytes().Head(3.06).U32(1).U8(0xFF).U16(0xFFFE).Raw("abcd").bytes,
        // A 32-bit length past the end.
        FileBytes().Head(3.06).U32(1).U8(0xFF).U16(0xFFFF).U32(0x7FFFFFFF).Raw("ab").bytes,
        // Four thousand million records in a few bytes.
        FileBytes().Head(3.06).U32(0xFFFFFFFF).Str("a").bytes,
        // More unit pairs than bytes.
        FileBytes().Head(3.06).U32(0).U32(3).U8(5).U8(1).U8(6).bytes,
        // A fixed unit field cut short.
        FileBytes().Head(3.05).U32(0).U32(0).U32(0).U16(0).bytes,
    };
    for (const std::string& file : cases) {
        LoadedSite loaded;
        EXPECT_FALSE(Load(file, loaded)) << Hex(file);
    }
}

} // namespace
