#include "foundation/Registry.h"

#include "platform/ProgramHome.h"
#include "platform/RegistryStore.h"
#include "tests/support/BoundedCall.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using wv::RegistryData;
using wv::RegistryStore;
using wv::RegistryValue;

using wvtest::ReadAll;
using wvtest::WriteAll;

// Each test has its own program home and user configuration folder.
class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override { wv::testing::SetOldIniRemover({}); }

    fs::path RegistryFile() const { return home_ / "Config" / "Registry.ini"; }
    // What the per-machine store holds on disk.
    RegistryData Stored() const { return RegistryStore(RegistryFile()).Snapshot(); }
    static uint32_t Number(const RegistryData& d, const char* section, const char* name)
    {
        const RegistryValue* v = d.Find(section, name);
        EXPECT_NE(v, nullptr) << section << "/" << name;
        EXPECT_TRUE(v == nullptr || v->type == RegistryValue::Type::Number) << section << "/" << name;
        return v ? v->number : 0xDEADBEEF;
    }

    // The old settings file of the module "Wellvox.exe".
    static ModuleInstance Module() { return ModuleInstance{"/opt/wellvox/Wellvox.exe"}; }
    fs::path OldIni() const { return home_ / "Wellvox.ini"; }

    wvtest::TempHome temp_{"registry"};
    const fs::path home_ = temp_.Path();
};

// ---------------------------------------------------------------------------
// Keys

TEST_F(RegistryTest, KeyPathsNameTheSectionBelowTheProgramsKey)
{
    EXPECT_EQ(InitRegistryPrefix(), std::string_view("Software\\Varnok Inc.\\Wellvox\\").size());
    EXPECT_EQ(BuildRegistryPath("Frame"), "Software\\Varnok Inc.\\Wellvox\\Frame");
    EXPECT_EQ(BuildRegistryPath("Settings\\CapWarningReminder"),
              "Software\\Varnok Inc.\\Wellvox\\Settings\\CapWarningReminder");
}

TEST_F(RegistryTest, KeyHolderCreatesOrOpensASection)
{
    RegistryStore& store = wv::MachineRegistry();
    CRegKeyHolder holder;
    EXPECT_EQ(holder.Create(store, BuildRegistryPath("Frame")), 0);
    EXPECT_TRUE(holder.IsOpen());
    EXPECT_EQ(holder.disposition, REG_KEY_CREATED_NEW);
    EXPECT_EQ(holder.key.section, "Frame");
    EXPECT_TRUE(Stored().HasSection("Frame"));

    // Key paths ignore letter case, as the registry does.
    EXPECT_EQ(holder.Create(store, "software\\VARNOK INC.\\wellvox\\frame"), 0);
    EXPECT_EQ(holder.disposition, REG_KEY_OPENED_EXISTING);
    holder.Close();
    EXPECT_FALSE(holder.IsOpen());

    EXPECT_EQ(holder.Create(store, "Software\\Other\\Frame"), EACCES);
    EXPECT_FALSE(holder.IsOpen());
    EXPECT_EQ(holder.Create(store, "Software\\Varnok Inc.\\WellvoxFrame"), EACCES);
    EXPECT_EQ(holder.Create(store, "Software\\Varnok Inc.\\Wellvox\\"), EINVAL);
    EXPECT_FALSE(holder.IsOpen());
}

// ---------------------------------------------------------------------------
// Per-machine settings

TEST_F(RegistryTest, AReadWithoutAnyKeyGivesTheDefaultAndLeavesTheSection)
{
    EXPECT_EQ(ReadRegDword("Frame", "Left", 6), 6u);
    RegistryData stored = Stored();
    EXPECT_TRUE(stored.HasSection("Frame"));
    EXPECT_TRUE(stored.ValueNames("Frame").empty());
    EXPECT_EQ(ReadRegString("AppInfo", "Last4", "none"), "none");
    EXPECT_TRUE(Stored().HasSection("AppInfo"));
}

TEST_F(RegistryTest, ValuesReadBackByTypeWithDefaultsOtherwise)
{
    EXPECT_TRUE(WriteRegDword("QorLib", "FileDownloadTimeoutMin(ms)", 3000));
    EXPECT_TRUE(WriteRegDword("Graph", "Big", 0xFFFFFFFFu));
    std::string longPath = "/data/" + std::string(5000, 'x') + ".wv4"; // longer than any old buffer
    EXPECT_TRUE(WriteRegString("AppInfo", "Last4", longPath));

    EXPECT_EQ(ReadRegDword("qorlib", "FILEDOWNLOADTIMEOUTMIN(MS)", 1), 3000u);
    EXPECT_EQ(ReadRegDword("Graph", "Big", 1), 0xFFFFFFFFu);
    EXPECT_EQ(ReadRegString("AppInfo", "Last4", ""), longPath);
    // A value of the other type gives the default.
    EXPECT_EQ(ReadRegDword("AppInfo", "Last4", 7), 7u);
    EXPECT_EQ(ReadRegString("QorLib", "FileDownloadTimeoutMin(ms)", "dflt"), "dflt");
    EXPECT_EQ(ReadRegString("QorLib", "Missing", "dflt"), "dflt");

    // Writing a number over a text changes the type.
    EXPECT_TRUE(WriteRegDword("AppInfo", "Last4", 5));
    EXPECT_EQ(ReadRegDword("AppInfo", "Last4", 7), 5u);
    EXPECT_EQ(ReadRegString("AppInfo", "Last4", "dflt"), "dflt");

    EXPECT_FALSE(WriteRegDword("", "X", 1)); // no section: nothing to write into
    EXPECT_EQ(ReadRegDword("", "X", 9), 9u);
}

TEST_F(RegistryTest, ReadsWorkAndWritesAreKeptWhenNothingCanBeSaved)
{
    WriteAll(home_ / "Config", "a file where the folder should be");
    EXPECT_EQ(ReadRegDword("Frame", "Left", 6), 6u);
    EXPECT_FALSE(WriteRegDword("Frame", "Left", 20));
    EXPECT_FALSE(WriteRegString("AppInfo", "Last4", "/a.wv4"));
    // The rest of the run still sees what was written.
    EXPECT_EQ(ReadRegDword("Frame", "Left", 6), 20u);
    EXPECT_EQ(ReadRegString("AppInfo", "Last4", ""), "/a.wv4");
}

// ---------------------------------------------------------------------------
// The old settings file

TEST_F(RegistryTest, OldSettingsFileIsNamedAfterTheModule)
{
    struct Case {
        const char* module;
        const char* iniName;
    };
    for (const Case& c : {Case{"/opt/wv/Wellvox.exe", "Wellvox.ini"}, Case{"/opt/wv/wellvox", "wellvox.ini"},
                          Case{"/opt/wv.d/wellvox", "wellvox.ini"}, Case{"/x/name.tar.exe", "name.tar.ini"},
                          Case{"/x/.hidden", ".hidden.ini"}}) {
        EXPECT_EQ(GetOldIniPath(ModuleInstance{c.module}), home_ / c.iniName) << c.module;
    }
    // The running executable when no module is named.
    fs::path exe = wv::ExecutablePath();
    EXPECT_EQ(GetOldIniPath({}), home_ / (exe.stem().string() + ".ini"));
    // An existing file is found whatever its letter case.
    WriteAll(home_ / "WELLVOX.INI", "");
    EXPECT_EQ(GetOldIniPath(Module()), home_ / "WELLVOX.INI");
}

TEST_F(RegistryTest, PrivateReadsFollowTheProfileFunctions)
{
    WriteAll(OldIni(), "; comment\r\n"
                       "[AppInfo]\r\n"
                       "  Last = \"C:\\Sites\\M\xfcller Lake.wv4\"  \r\n"
                       "Quoted='single'\r\n"
                       "Empty=\r\n"
                       "[frame]\r\n"
                       "LEFT=20\r\n"
                       "Top=0x20\r\n"
                       "Right=-5\r\n"
                       "Bottom=12px\r\n"
                       "State=abc\r\n"
                       "State=7\r\n"
                       "[Frame]\r\n"
                       "Column0=99\r\n");
    SetIniInstance(Module());
    EXPECT_EQ(GetIniPath(), OldIni());
    EXPECT_EQ(GetIniInstance().modulePath, Module().modulePath);

    EXPECT_EQ(ReadPrivateString("appinfo", "last", "d"), "C:\\Sites\\M\xc3\xbcller Lake.wv4");
    EXPECT_EQ(ReadPrivateString("AppInfo", "Quoted", "d"), "single");
    EXPECT_EQ(ReadPrivateString("AppInfo", "Empty", "d"), "");
    EXPECT_EQ(ReadPrivateString("AppInfo", "Missing", "d"), "d");
    EXPECT_EQ(ReadPrivateString("Nowhere", "Last", "d"), "d");

    EXPECT_EQ(ReadPrivateInt("Frame", "Left", 6), 20);
    EXPECT_EQ(ReadPrivateInt("Frame", "Top", 38), 32);
    EXPECT_EQ(ReadPrivateInt("Frame", "Right", 633), -5);
    EXPECT_EQ(ReadPrivateInt("Frame", "Bottom", 441), 12);
    EXPECT_EQ(ReadPrivateInt("Frame", "State", 1), 1);    // the first occurrence counts; no number in it
    EXPECT_EQ(ReadPrivateInt("Frame", "Column0", 188), 99); // from the repeated section
    EXPECT_EQ(ReadPrivateInt("AppInfo", "Empty", 3), 3);
    EXPECT_EQ(ReadPrivateInt("Frame", "Missing", 3), 3);

    // A module without an old file: every read gives its default.
    SetIniInstance(ModuleInstance{"/opt/other/Other.exe"});
    EXPECT_EQ(ReadPrivateInt("Frame", "Left", 6), 6);
    EXPECT_EQ(ReadPrivateString("AppInfo", "Last", "d"), "d");
}

TEST_F(RegistryTest, PrivateReadsTakeUtf16Files)
{
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[AppInfo]\r\nLast=A")) {
        utf16 += c;
        utf16 += '\0';
    }
    utf16 += std::string("\xE9\x00\x3D\xD8\x00\xDE\r\x00\n\x00", 10); // e-acute, U+1F600, CR LF
    WriteAll(OldIni(), utf16);
    SetIniInstance(Module());
    EXPECT_EQ(ReadPrivateString("AppInfo", "Last", ""), "A\xC3\xA9\xF0\x9F\x98\x80");
}

TEST_F(RegistryTest, MigrationWritesTheWholeTableAndDeletesTheFile)
{
    // Values the store held before are overwritten, with defaults too.
    ASSERT_TRUE(WriteRegDword("Frame", "Top", 500));
    ASSERT_TRUE(WriteRegString("AppInfo", "Last", "/newer.wv4"));
    ASSERT_TRUE(WriteRegDword("Graph", "Log", 1)); // not in the table: untouched
    WriteAll(OldIni(), "[Frame]\nLeft=20\n");

    EXPECT_TRUE(MigrateIniToRegistry(Module()));
    EXPECT_FALSE(fs::exists(OldIni()));
    EXPECT_EQ(GetIniPath(), OldIni()); // still names the deleted file
    EXPECT_EQ(ReadPrivateInt("Frame", "Left", 6), 6);

    RegistryData d = Stored();
    struct Expect {
        const char* section;
        const char* name;
        uint32_t value;
    };
    for (const Expect& e : {
             Expect{"Frame", "Left", 20},         Expect{"Frame", "Top", 38},          Expect{"Frame", "Right", 633},
             Expect{"Frame", "Bottom", 441},      Expect{"Frame", "State", 1},         Expect{"Frame", "Col0", 188},
             Expect{"Frame", "Col1", 164},        Expect{"ChanList", "OstrelCol0", 18}, Expect{"ChanList", "OstrelCol1", 170},
             Expect{"ChanList", "OstrelCol2", 170}, Expect{"ChanList", "NonOstrelCol0", 188},
             Expect{"ChanList", "NonOstrelCol1", 170}, Expect{"ConnList", "Col0", 179}, Expect{"ConnList", "Col1", 179},
             Expect{"TestList", "Col0", 18},      Expect{"TestList", "Col1", 80},      Expect{"TestList", "Col2", 103},
             Expect{"TestList", "Col3", 103},     Expect{"TestList", "Col4", 42},      Expect{"Graph", "Log", 1},
         }) {
        EXPECT_EQ(Number(d, e.section, e.name), e.value) << e.section << "/" << e.name;
    }
    const RegistryValue* last = d.Find("AppInfo", "Last");
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(*last == RegistryValue::Text(""));
    // Exactly the table's values were written, in its order.
    EXPECT_EQ(d.ValueNames("Frame"), (std::vector<std::string>{"Top", "Left", "Right", "Bottom", "State", "Col0", "Col1"}));
    EXPECT_EQ(d.ValueNames("ChanList"),
              (std::vector<std::string>{"OstrelCol0", "OstrelCol1", "OstrelCol2", "NonOstrelCol0", "NonOstrelCol1"}));
    EXPECT_FALSE(d.HasSection("IniMigration"));

    // Nothing to migrate at the next start.
    EXPECT_FALSE(MigrateIniToRegistry(Module()));
}

TEST_F(RegistryTest, MigrationMovesValuesToTheirNewNames)
{
    WriteAll(OldIni(), "[AppInfo]\nLast=C:\\Sites\\Lake.wv4\n"
                       "[ChanList]\nCol01=25\nCol11=26\nCol21=27\nCol02=28\nCol12=29\n"
                       "[ConnList]\nCol0=30\nCol1=31\n"
                       "[Frame]\nColumn0=32\nColumn1=33\nCol0=999\n"
                       "[TestList]\nCol4=34\n");
    EXPECT_TRUE(MigrateIniToRegistry(Module()));
    EXPECT_EQ(ReadRegString("AppInfo", "Last", ""), "C:\\Sites\\Lake.wv4");
    EXPECT_EQ(ReadRegDword("ChanList", "OstrelCol0", 0), 25u);
    EXPECT_EQ(ReadRegDword("ChanList", "OstrelCol1", 0), 26u);
    EXPECT_EQ(ReadRegDword("ChanList", "OstrelCol2", 0), 27u);
    EXPECT_EQ(ReadRegDword("ChanList", "NonOstrelCol0", 0), 28u);
    EXPECT_EQ(ReadRegDword("ChanList", "NonOstrelCol1", 0), 29u);
    EXPECT_EQ(ReadRegDword("ConnList", "Col0", 0), 30u);
    EXPECT_EQ(ReadRegDword("ConnList", "Col1", 0), 31u);
    EXPECT_EQ(ReadRegDword("Frame", "Col0", 0), 32u); // from Column0; the old file's Col0 means nothing
    EXPECT_EQ(ReadRegDword("Frame", "Col1", 0), 33u);
    EXPECT_EQ(ReadRegDword("TestList", "Col4", 0), 34u);
    EXPECT_EQ(ReadRegDword("TestList", "Col0", 0), 18u);
    EXPECT_FALSE(Stored().Find("ChanList", "Col01"));
}

TEST_F(RegistryTest, WithoutAnOldFileNothingHappens)
{
    SetIniInstance(ModuleInstance{"/opt/before/Before.exe"});
    EXPECT_FALSE(MigrateIniToRegistry(Module()));
    EXPECT_FALSE(fs::exists(RegistryFile()));
    EXPECT_FALSE(fs::exists(home_ / "Config"));
    EXPECT_EQ(GetIniInstance().modulePath, fs::path("/opt/before/Before.exe")); // nothing remembered
}

TEST_F(RegistryTest, AnUnreadableOldFileIsLeftForALaterStart)
{
    fs::create_directory(OldIni()); // exists, but cannot be read as a file
    ASSERT_TRUE(WriteRegDword("Frame", "Left", 300));
    EXPECT_FALSE(MigrateIniToRegistry(Module()));
    EXPECT_TRUE(fs::is_directory(OldIni()));
    EXPECT_EQ(ReadRegDword("Frame", "Left", 6), 300u); // not replaced by a default
    EXPECT_FALSE(Stored().HasSection("TestList"));
}

TEST_F(RegistryTest, AnOldFileThatIsAFifoIsNeitherWaitedOnNorTaken)
{
    // Opening a FIFO for reading waits for a writer: none comes here.
    ASSERT_EQ(::mkfifo(OldIni().c_str(), 0600), 0);
    ASSERT_TRUE(WriteRegDword("Frame", "Left", 300));
    bool migrated = true;
    int left = 0;
    wv::ProfileIni ini;
    ini.sections.push_back({"Kept", {}});
    bool loaded = true;
    const bool returned = wvtest::FinishesWithoutBlocking(OldIni(), [&] {
        loaded = wv::LoadProfileIni(OldIni(), ini);
        SetIniInstance(Module());
        left = ReadPrivateInt("Frame", "Left", 6);
        migrated = MigrateIniToRegistry(Module());
    });
    EXPECT_TRUE(returned);
    EXPECT_FALSE(loaded);
    ASSERT_EQ(ini.sections.size(), 1u); // untouched
    EXPECT_EQ(left, 6);
    EXPECT_FALSE(migrated);
    EXPECT_EQ(fs::status(OldIni()).type(), fs::file_type::fifo); // left alone
    EXPECT_EQ(ReadRegDword("Frame", "Left", 6), 300u);
    EXPECT_FALSE(Stored().HasSection("TestList"));
}

TEST_F(RegistryTest, TheOldFileIsKeptUntilItsValuesAreSaved)
{
    WriteAll(OldIni(), "[Frame]\nLeft=20\n");
    WriteAll(home_ / "Config", "a file where the folder should be");
    EXPECT_FALSE(MigrateIniToRegistry(Module()));
    EXPECT_TRUE(fs::exists(OldIni()));

    fs::remove(home_ / "Config");
    EXPECT_TRUE(MigrateIniToRegistry(Module()));
    EXPECT_FALSE(fs::exists(OldIni()));
    EXPECT_EQ(Number(Stored(), "Frame", "Left"), 20u);
}

TEST_F(RegistryTest, AnOldFileThatCannotBeDeletedIsMigratedOnlyOnce)
{
    int removeCalls = 0;
    wv::testing::SetOldIniRemover([&removeCalls](const fs::path&) {
        ++removeCalls;
        return false;
    });
    WriteAll(OldIni(), "[Frame]\nLeft=20\n");
    EXPECT_TRUE(MigrateIniToRegistry(Module()));
    EXPECT_EQ(removeCalls, 1);
    EXPECT_TRUE(fs::exists(OldIni()));
    EXPECT_EQ(ReadRegDword("Frame", "Left", 6), 20u);

    // The user moves the window; the next start must not bring back 20.
    ASSERT_TRUE(WriteRegDword("Frame", "Left", 120));
    EXPECT_FALSE(MigrateIniToRegistry(Module()));
    EXPECT_EQ(ReadRegDword("Frame", "Left", 6), 120u);

    // A different old file is migrated again.
    WriteAll(OldIni(), "[Frame]\nLeft=40\nTop=41\n");
    EXPECT_TRUE(MigrateIniToRegistry(Module()));
    EXPECT_EQ(ReadRegDword("Frame", "Left", 6), 40u);
    EXPECT_EQ(removeCalls, 2);
}

// ---------------------------------------------------------------------------
// Per-user profile

TEST_F(RegistryTest, ProfileValuesLiveInTheUsersFile)
{
    const char* section = "Settings\\CapWarningReminder";
    EXPECT_EQ(GetProfileInt(section, "LastCap", 0), 0u);
    EXPECT_TRUE(WriteProfileInt(section, "LastCap", 123456));
    EXPECT_TRUE(WriteProfileInt(section, "SensorTimeLast", -1));
    EXPECT_TRUE(WriteProfileString("AutoCSV", "Export Template", "/home/ann/t.bft"));

    EXPECT_EQ(GetProfileInt(section, "lastcap", 0), 123456u);
    EXPECT_EQ(static_cast<int>(GetProfileInt(section, "SensorTimeLast", 0)), -1);
    EXPECT_EQ(GetProfileInt(section, "RemindAgainFlag", 1), 1u);
    EXPECT_EQ(GetProfileString("AutoCSV", "Export Template", ""), "/home/ann/t.bft");
    EXPECT_EQ(GetProfileString(section, "LastCap", "none"), "none");
    EXPECT_EQ(GetProfileInt("AutoCSV", "Export Template", 4), 4u);

    std::string text = ReadAll(temp_.ConfigHome() / "Varnok Inc." / "Wellvox.ini");
    EXPECT_NE(text.find("[Settings\\CapWarningReminder]\nLastCap=123456\nSensorTimeLast=4294967295\n"),
              std::string::npos);
    EXPECT_NE(text.find("[AutoCSV]\nExport Template=\"/home/ann/t.bft\"\n"), std::string::npos);
    // The per-machine store is not touched.
    EXPECT_FALSE(fs::exists(RegistryFile()));
}

} // namespace
