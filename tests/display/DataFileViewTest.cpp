// The data-file view base: names of saved copies, copying, temporary files, settings, the
// barometric checks and the correction's states, driven by a scripted dialog.

#include "datafiles/DeviceImageFileService.h"
#include "display/WVDataFile.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
#include "tests/display/DataFileViewFixture.h"
#include "tests/support/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using wvtest::BaroScript;
using wvtest::DataFileViewFixture;

std::unique_ptr<CBaroCompensator> MakeJob(int mode, double value, int category, int unit,
                                          const std::string& reference = {})
{
    auto job = std::make_unique<CBaroCompensator>(DeviceImageFileService());
    job->SetMode(mode);
    job->SetFixedValue(value, category, unit);
    job->SetBaroFilePath(reference);
    return job;
}

TEST(DataFileNamesTest, SavedCopyNameCarriesTheValueAndUnitWordOrTheReferenceName)
{
    struct Case {
        std::string source;
        int mode;
        double value;
        int category;
        int unit;
        std::string reference;
        std::string expected;
    };
    const std::string longFolder = "/data/" + std::string(300, 'x');
    const Case cases[] = {
        {"/d/SN01234 well.bin", 1, 8.0, 6, 0, "", "/d/SN01234 well_BARO_ 8.00_psi.bin"},
        {"/d/well.bin", 1, 14.7, 6, 0, "", "/d/well_BARO_14.70_psi.bin"},
        {"/d/well.BIN", 1, 101.325, 6, 3, "", "/d/well_BARO_101.33_kPa.bin"},
        {"/d/well.bin", 1, 29.92, 9, 1, "", "/d/well_BARO_29.92_Inches of Mercury.bin"},
        {"/d/well.bin", 1, 1.01, 9, 2, "", "/d/well_BARO_ 1.01_Bars.bin"},
        {"/d/well.bin", 1, 1013.0, 9, 3, "", "/d/well_BARO_1013.00_MilliBars.bin"},
        {"/d/well.bin", 1, 1033.0, 9, 4, "", "/d/well_BARO_1033.00_cmH2O.bin"},
        {"/d/well.bin", 1, 760.0, 9, 5, "", "/d/well_BARO_760.00_mm Hg.bin"},
        // A pair the dialog does not offer has no word.
        {"/d/well.bin", 1, 8.0, 6, 1, "", "/d/well_BARO_ 8.00_.bin"},
        // Only a ".bin" extension is cut.
        {"/d/well.dat", 1, 8.0, 6, 0, "", "/d/well.dat_BARO_ 8.00_psi.bin"},
        {"/d/well.bin", 2, 0, 6, 0, "/refs/2026/baro1.bin", "/d/well_baro1.bin"},
        {"/d/well.bin", 2, 0, 6, 0, "baro1.BIN", "/d/well_baro1.BIN"},
        {"/d/well.bin", 0, 8.0, 6, 0, "", ""},
        // No length limit.
        {longFolder + "/w.bin", 1, 8.0, 6, 0, "", longFolder + "/w_BARO_ 8.00_psi.bin"},
    };
    for (const Case& c : cases) {
        const auto job = MakeJob(c.mode, c.value, c.category, c.unit, c.reference);
        EXPECT_EQ(CWVDataFile::SavedCopyName(c.source, *job), c.expected) << c.source << " mode " << c.mode;
    }
}

class DataFileBaseTest : public DataFileViewFixture {};

TEST_F(DataFileBaseTest, CopyFileCopiesWholeFilesAndReportsWhatItCannotOpen)
{
    std::string data;
    for (int i = 0; i < 5003; ++i) {
        data += static_cast<char>('a' + i % 26);
    }
    const fs::path source = home.Path() / "source.bin";
    wvtest::WriteAll(source, data);
    const fs::path target = home.Path() / "target.bin";
    ASSERT_TRUE(CWVDataFile::CopyFile(source.string(), target.string()));
    EXPECT_EQ(wvtest::ReadAll(target), data);
    EXPECT_TRUE(frame.messages.empty());

    EXPECT_FALSE(CWVDataFile::CopyFile((home.Path() / "none.bin").string(), target.string()));
    ASSERT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrNoSourceFile});
    EXPECT_EQ(frame.messages.back().captionId, kStrBaroSaveCaption);
    EXPECT_EQ(frame.messages.back().icon, MessageIcon::Error);

    EXPECT_FALSE(CWVDataFile::CopyFile(source.string(), (home.Path() / "no" / "t.bin").string()));
    EXPECT_EQ(frame.MessageIds().back(), kStrNoDestinationFile);
    EXPECT_EQ(wvtest::ReadAll(target), data);
}

TEST_F(DataFileBaseTest, CopyFileThatCannotWriteEverythingKeepsTheOldFile)
{
    const fs::path source = home.Path() / "source.bin";
    wvtest::WriteAll(source, std::string(9000, 'n'));
    const fs::path target = home.Path() / "target.bin";
    wvtest::WriteAll(target, "old contents");
    {
        wvtest::ScopedFileSizeLimit limit(4000);
        ASSERT_TRUE(limit);
        EXPECT_FALSE(CWVDataFile::CopyFile(source.string(), target.string()));
    }
    EXPECT_EQ(wvtest::ReadAll(target), "old contents");
    // Nothing half-written is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(home.Path()), {}), 3);  // Data, source, target
}

TEST_F(DataFileBaseTest, TempFileNamesAreNewEmptyFilesInTheProgramHome)
{
    const std::string a = CWVDataFile::MakeTempFileName();
    const std::string b = CWVDataFile::MakeTempFileName();
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(fs::path(a).parent_path(), home.Path());
    EXPECT_EQ(fs::file_size(a), 0u);
    fs::permissions(home.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(home.Path().c_str(), W_OK) != 0) {  // root writes anyway
        EXPECT_EQ(CWVDataFile::MakeTempFileName(), "");
    }
    fs::permissions(home.Path(), fs::perms::owner_all);
}

TEST_F(DataFileBaseTest, SettingsHaveTheirDefaultsAndSurviveBetweenRuns)
{
    CBaroCompensator job(DeviceImageFileService());
    job.SetSourcePath("/a");
    job.SetTargetPath("/b");
    CWVDataFile::LoadBaroSettings(job);
    EXPECT_EQ(job.GetFixedValue(), 8.0);
    EXPECT_EQ(job.GetFixedCategory(), 6);
    EXPECT_EQ(job.GetFixedUnit(), 0);
    EXPECT_EQ(job.GetMode(), 0);
    EXPECT_EQ(job.GetRangeMode(), 0);
    EXPECT_EQ(job.GetBaroFilePath(), "");
    EXPECT_EQ(job.GetSourcePath(), "");
    EXPECT_EQ(job.GetTargetPath(), "");

    WriteRegDword("BaroVorna", "FrameMethod", 7);
    const auto edited = MakeJob(2, 29.5, 9, 1, "/refs/baro.bin");
    edited->SetRangeMode(7);
    CWVDataFile::SaveBaroSettings(*edited);
    EXPECT_EQ(ReadRegString("BaroVorna", "FixedBaro", ""), "29.500000");
    CBaroCompensator again(DeviceImageFileService());
    CWVDataFile::LoadBaroSettings(again);
    EXPECT_EQ(again.GetMode(), 2);
    EXPECT_EQ(again.GetFixedValue(), 29.5);
    EXPECT_EQ(again.GetFixedCategory(), 9);
    EXPECT_EQ(again.GetFixedUnit(), 1);
    EXPECT_EQ(again.GetRangeMode(), 7);
    EXPECT_EQ(again.GetBaroFilePath(), "/refs/baro.bin");
}

TEST_F(DataFileBaseTest, OnlyAbsoluteLevelFilesAreCompensableAndBarometersServeAsReference)
{
    struct Case {
        uint8_t type;
        bool compensable;
        bool reference;
    };
    for (const Case& c : {Case{21, true, true}, Case{27, true, true}, Case{28, false, true}, Case{25, false, false}}) {
        const std::string path = WriteLevelFile("type" + std::to_string(c.type) + ".bin", c.type);
        const CDataFile file(path);
        EXPECT_EQ(file.GetDeviceType(), c.type);
        EXPECT_EQ(CWVDataFile::IsBaroCompensable(&file), c.compensable) << int(c.type);
        EXPECT_EQ(CWVDataFile::IsValidBaroReference(path), c.reference) << int(c.type);
    }
    wvtest::WriteAll(home.Path() / "Data" / "junk.bin", "not a data file");
    const CDataFile junk((home.Path() / "Data" / "junk.bin").string());
    EXPECT_FALSE(CWVDataFile::IsBaroCompensable(&junk));
    EXPECT_FALSE(CWVDataFile::IsBaroCompensable(nullptr));
    EXPECT_FALSE(CWVDataFile::IsValidBaroReference((home.Path() / "Data" / "junk.bin").string()));
    EXPECT_FALSE(CWVDataFile::IsValidBaroReference((home.Path() / "none.bin").string()));
}

// A bare data-file view over the document.
class DataFileStateTest : public DataFileViewFixture {
protected:
    std::unique_ptr<CWVDataFile> MakeView()
    {
        auto view = std::make_unique<CWVDataFile>(ViewTemplate{317, false, 2, 390, 361});
        view->SetDocument(&doc);
        return view;
    }
};

TEST_F(DataFileStateTest, AttachTakesOnlyADataFileNodeAndOpensItsReaderOnce)
{
    auto view = MakeView();
    EXPECT_EQ(view->AttachDataFile(), nullptr);
    CDataFile* node = Select(WriteLevelFile("SN04321 well.bin"));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(view->AttachDataFile(), node);
    EXPECT_TRUE(view->IsFileChanged());
    EXPECT_EQ(view->AttachDataFile(), node);
    EXPECT_EQ(node->GetOpenCount(), 1);
    EXPECT_EQ(view->GetTitle(), "SN04321 well.bin ");

    // Release and reload pair up however often they are called.
    view->ReleaseDataFile();
    view->ReleaseDataFile();
    EXPECT_EQ(node->GetOpenCount(), 0);
    view->ReloadDataFile();
    view->ReloadDataFile();
    EXPECT_EQ(node->GetOpenCount(), 1);

    // Another view on the same node, and the first one deleted after it attached: the
    // second still reads.
    auto second = MakeView();
    second->AttachDataFile();
    EXPECT_EQ(node->GetOpenCount(), 2);
    view.reset();
    EXPECT_EQ(node->GetOpenCount(), 1);
    EXPECT_FALSE(node->GetReader()->IsClosed());
}

TEST_F(DataFileStateTest, FixedCorrectionShowsTheCopyAndSavesItIntoTheDataFolder)
{
    auto view = MakeView();
    const std::string source = WriteLevelFile("SN04321 well.bin");
    CDataFile* node = Select(source);
    view->AttachDataFile();
    Script(BaroScript{});
    ASSERT_TRUE(view->RunBaroCompensation(nullptr));
    EXPECT_TRUE(startedChecked);
    CDataFile* copy = view->GetCompensatedFile();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(view->GetDataFile(), copy);
    EXPECT_EQ(node->GetOpenCount(), 0);
    EXPECT_EQ(copy->GetOpenCount(), 1);
    EXPECT_EQ(TempFiles(), std::vector<std::string>{view->GetTempPath()});
    EXPECT_EQ(view->GetTitle(), copy->GetTitle() + " (BAROMETRICALLY ADJUSTED)");
    EXPECT_EQ(view->GetSourcePath(), source);

    const std::string saved = (home.Path() / "Data" / "SN04321 well_BARO_14.70_psi.bin").string();
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_EQ(wvtest::ReadBytes(saved), wvtest::ReadBytes(view->GetTempPath()));
    EXPECT_NE(doc.GetSite()->GetDataFolder().LookUpFile(saved), nullptr);
    EXPECT_TRUE(frame.messages.empty());
    // The settings were stored for the next run.
    EXPECT_EQ(ReadRegDword("BaroVorna", "ReferenceType", 0), 1u);

    // A second run replaces the copy and deletes the first temporary file.
    const std::string first = view->GetTempPath();
    Script(BaroScript{.value = 14.2, .newFile = false});
    ASSERT_TRUE(view->RunBaroCompensation(nullptr));
    EXPECT_FALSE(fs::exists(first));
    EXPECT_EQ(TempFiles(), std::vector<std::string>{view->GetTempPath()});
    EXPECT_FALSE(fs::exists(home.Path() / "Data" / "SN04321 well_BARO_14.20_psi.bin"));

    // None: back to the node's file, the temporary file gone.
    const std::string second = view->GetTempPath();
    Script(BaroScript{.mode = kBaroModeOwnValue});
    ASSERT_TRUE(view->RunBaroCompensation(nullptr));
    EXPECT_EQ(view->GetDataFile(), node);
    EXPECT_EQ(node->GetOpenCount(), 1);
    EXPECT_EQ(view->GetCompensatedFile(), nullptr);
    EXPECT_FALSE(fs::exists(second));
    EXPECT_EQ(view->GetTitle(), "SN04321 well.bin ");
    // None again: nothing to undo, no refresh.
    EXPECT_FALSE(view->RunBaroCompensation(nullptr));
    Script(BaroScript{.ok = false});
    EXPECT_FALSE(view->RunBaroCompensation(nullptr));
    EXPECT_EQ(view->GetDataFile(), node);
}

TEST_F(DataFileStateTest, FailedCorrectionLeavesNoTemporaryFileAndSavesNothing)
{
    auto view = MakeView();
    CDataFile* node = Select(WriteLevelFile("SN04321 well.bin"));
    view->AttachDataFile();
    // 25 psi is outside the job's range: the run fails.
    Script(BaroScript{.value = 25.0});
    ASSERT_TRUE(view->RunBaroCompensation(nullptr));
    EXPECT_EQ(view->GetDataFile(), node);
    EXPECT_EQ(node->GetOpenCount(), 1);
    EXPECT_EQ(view->GetCompensatedFile(), nullptr);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(frame.MessageIds(), (std::vector<uint32_t>{kStrNoSourceFile, kStrFileSaveFailed}));
    EXPECT_FALSE(fs::exists(home.Path() / "Data" / "SN04321 well_BARO_25.00_psi.bin"));
}

TEST_F(DataFileStateTest, ReferenceCorrectionSavesUnderTheReferenceName)
{
    auto view = MakeView();
    Select(WriteLevelFile("SN04321 well.bin"));
    const std::string reference = WriteLevelFile("baro1.bin", 28);
    view->AttachDataFile();
    Script(BaroScript{.mode = kBaroModeFile, .reference = reference});
    ASSERT_TRUE(view->RunBaroCompensation(nullptr));
    ASSERT_NE(view->GetCompensatedFile(), nullptr);
    EXPECT_TRUE(fs::exists(home.Path() / "Data" / "SN04321 well_baro1.bin"));
}

TEST_F(DataFileStateTest, NotCompensableFileOnlyGetsTheMessage)
{
    auto view = MakeView();
    Select(WriteLevelFile("baro.bin", 28));
    view->AttachDataFile();
    Script(BaroScript{});
    view->OnBaroVorna();
    EXPECT_EQ(dialogRuns, 0);
    ASSERT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrBaroNotCompensable});
    EXPECT_EQ(frame.messages[0].captionId, kStrProgramCaption);
    EXPECT_EQ(frame.messages[0].icon, MessageIcon::Information);
}

TEST_F(DataFileStateTest, CloseFilesAndOpenFileHandTheCopyOver)
{
    auto view = MakeView();
    CDataFile* node = Select(WriteLevelFile("SN04321 well.bin"));
    view->AttachDataFile();
    Script(BaroScript{.newFile = false});
    ASSERT_TRUE(view->RunBaroCompensation(nullptr));
    const std::string temp = view->GetTempPath();

    // The next view gets a private copy; this one's temporary file goes with it.
    const std::string handed = view->CopyCompensatedFile();
    ASSERT_FALSE(handed.empty());
    EXPECT_EQ(wvtest::ReadBytes(handed), wvtest::ReadBytes(temp));
    auto next = MakeView();
    view->CloseFiles();
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_EQ(view->GetDataFile(), nullptr);
    EXPECT_EQ(node->GetOpenCount(), 0);
    next->OpenFile(handed);
    EXPECT_EQ(next->GetTempPath(), handed);
    ASSERT_NE(next->GetCompensatedFile(), nullptr);
    EXPECT_EQ(next->GetDataFile(), next->GetCompensatedFile());
    EXPECT_NE(next->GetTitle().find("(BAROMETRICALLY ADJUSTED)"), std::string::npos);
    next->OpenFile("");
    EXPECT_EQ(next->GetTempPath(), handed);

    // A temporary file already gone is no error; the view forgets everything.
    fs::remove(handed);
    next->CloseFiles();
    EXPECT_EQ(next->GetCompensatedFile(), nullptr);
    EXPECT_EQ(next->AttachDataFile(), node);
    EXPECT_EQ(view->CopyCompensatedFile(), "");
    next.reset();
    EXPECT_EQ(node->GetOpenCount(), 0);
    EXPECT_TRUE(TempFiles().empty());
}

} // namespace
