// The Data folder and the low-flow folder of the navigation tree on folders of files laid out
// by hand: level loggers of two serial numbers and one type, a sonde and an older instrument
// of other types, files that are no test data (unknown first byte, unreadable), a FIFO named
// *.bin, titles with and without their serial prefix; the data-file node's reader, view and
// label; the site's look-ups.

#include "site/DataDevice.h"
#include "site/DataFile.h"
#include "site/DataFileSetup.h"
#include "site/DataFolder.h"
#include "site/DataGroup.h"
#include "site/LFDataFile.h"
#include "site/LFDataFolder.h"
#include "site/QorSite.h"

#include "datafiles/TestFileReader.h"
#include "foundation/AppUtils.h"
#include "tests/datafiles/LegacyFileBytes.h"
#include "tests/datafiles/ReaderFileBytes.h"
#include "tests/site/SiteFakes.h"
#include "tests/support/BoundedCall.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "values/UnitCatalog.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using wvtest::FakeTree;

std::vector<uint8_t> LevelFile(uint16_t serial, uint8_t type = 25)
{
    wvtest::LevelLoggerSpec spec;
    spec.serial = serial;
    spec.deviceType = type;
    spec.samples = {{0, 5000, 10240}};
    return wvtest::LevelLoggerFile(spec).bytes;
}

std::vector<uint8_t> SondeFile(uint16_t serial)
{
    wvtest::SondeFileSpec spec;
    spec.serial = serial;
    spec.samples = {{100, 11000, 0, 1500, 0, 12000}};
    return wvtest::SondeFile(spec).bytes;
}

std::vector<uint8_t> LegacyFile(uint32_t serial, uint16_t prefix)
{
    wvtest::FileSpec spec;
    spec.prefix = prefix;
    spec.deviceType = 10;
    spec.serial = serial;
    spec.blocks = {wvtest::Block{0, 3, 0}, wvtest::Block{1, 3 | 4, 30}};
    spec.data = wvtest::TwoChannelData(spec, {{23456, 5000}});
    return spec.Build();
}

class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DataFileReaderSetup setup;
        setup.units = &units;
        setup.version = "4.1.0.7";
        SetDataFileReaderSetup(setup);
    }
    void TearDown() override { SetDataFileReaderSetup(DataFileReaderSetup{}); }

    std::string Put(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const fs::path path = folder / name;
        wvtest::WriteBytes(path, bytes);
        return path.string();
    }

    // The labels below an item, each with the labels below it, as "label{...}".
    std::string Shape(TreeItem item) const
    {
        std::string text;
        for (TreeItem child : tree.ChildrenOf(item)) {
            text += text.empty() ? "" : ", ";
            text += tree.Text(child);
            if (!tree.ChildrenOf(child).empty()) {
                text += "{" + Shape(child) + "}";
            }
        }
        return text;
    }

    wvtest::TempHome home{"datafolder"};
    fs::path folder = home.Path() / "Data";
    CUnitCatalog units{"1"};
    FakeTree tree;
};

TEST_F(DataFolderTest, FilesGoUnderTheirDeviceTypeAndSerialLabelledWithoutTheSerialPrefix)
{
    fs::create_directories(folder);
    Put("SN04321 2026-06-01 Well A.bin", LevelFile(4321));
    Put("SN04321 2026-06-02 Well A.bin", LevelFile(4321));
    Put("Renamed by hand.bin", LevelFile(4321));
    Put("SN01234 not its own.bin", LevelFile(999));  // a title of another serial shows whole
    Put("SN00777 profile.bin", SondeFile(777));
    Put("SN123456 old.bin", LegacyFile(123456, 10002));
    Put("junk.bin", {0x41, 0x42, 0x43});
    Put("notes.txt", LevelFile(4321));
    fs::create_directory(folder / "folder.bin");
    ASSERT_EQ(mkfifo((folder / "pipe.bin").c_str(), 0600), 0);

    CDataFolder data;
    ASSERT_TRUE(wvtest::FinishesWithoutBlocking(folder / "pipe.bin", [&] { data.Rescan(folder.string(), true); }));
    data.AddToTree(&tree, kTreeRoot, kTreeLast);
    const TreeItem top = data.GetTreeItem();
    EXPECT_EQ(tree.Text(top), "Data Folder : " + folder.string());
    EXPECT_EQ(data.GetNodeType(), NodeType::Folder);
    EXPECT_EQ(data.GetViewId(top), ViewId::Empty);
    EXPECT_EQ(Shape(top),
              "Unknown Data{SN00000{junk.bin}}, "
              "Vorna 4000 Data{SN00999{SN01234 not its own.bin}, "
              "SN04321{2026-06-01 Well A.bin, 2026-06-02 Well A.bin, Renamed by hand.bin}}, "
              "Vorna 8000 Data{SN123456{old.bin}}, "
              "Vorna 9000 Profiler Data{SN00777{profile.bin}}");

    // Groups: node type 7, the family code's image, key the type; devices: type 8, key the
    // serial; files: type 9, image 24.
    std::map<std::string, int> images;
    for (TreeItem group : tree.ChildrenOf(top)) {
        images[tree.Text(group)] = tree.Image(group);
        auto* node = dynamic_cast<CDataGroup*>(tree.GetItemNode(group));
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->GetNodeType(), NodeType::DeviceGroup);
        EXPECT_EQ(node->GetFlag(), 0);
        for (TreeItem device : tree.ChildrenOf(group)) {
            auto* dev = dynamic_cast<CDataDevice*>(tree.GetItemNode(device));
            ASSERT_NE(dev, nullptr);
            EXPECT_EQ(dev->GetNodeType(), NodeType::DataDevice);
            EXPECT_EQ(tree.Image(device), 24);
            for (TreeItem item : tree.ChildrenOf(device)) {
                auto* file = dynamic_cast<CDataFile*>(tree.GetItemNode(item));
                ASSERT_NE(file, nullptr);
                EXPECT_EQ(file->GetNodeType(), NodeType::DataFile);
                EXPECT_EQ(static_cast<int32_t>(file->GetSerialNumber()), dev->GetKey());
                EXPECT_EQ(static_cast<int32_t>(file->GetDeviceType()), node->GetKey());
                EXPECT_EQ(tree.Image(item), 24);
            }
        }
    }
    EXPECT_EQ(images, (std::map<std::string, int>{{"Unknown Data", 0},
                                                  {"Vorna 4000 Data", 1},
                                                  {"Vorna 8000 Data", 2},
                                                  {"Vorna 9000 Profiler Data", 3}}));
    const CDataFile* junk = data.LookUpFile((folder / "junk.bin").string());
    ASSERT_NE(junk, nullptr);
    EXPECT_EQ(junk->GetKind(), 0);
    EXPECT_EQ(junk->GetReader(), nullptr);
}

// A file that cannot be opened (gone, a FIFO, unreadable) still gets a node of kind 0 without
// a reader, filed under type 0 and serial 0, and shows its whole title.
TEST_F(DataFolderTest, AFileThatCannotBeOpenedStillGetsANodeOfTypeAndSerialZero)
{
    fs::create_directories(folder);
    ASSERT_EQ(mkfifo((folder / "SN04321 pipe.bin").c_str(), 0600), 0);
    std::vector<std::string> paths = {(folder / "SN04321 gone.bin").string(), (folder / "SN04321 pipe.bin").string()};
    if (geteuid() != 0) {  // the superuser reads every file
        paths.push_back(Put("SN04321 locked.bin", LevelFile(4321)));
        chmod(paths.back().c_str(), 0);
    }
    CDataFolder data;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        CDataFile* file = nullptr;
        ASSERT_TRUE(wvtest::FinishesWithoutBlocking(folder / "SN04321 pipe.bin", [&] { file = data.AddFile(path); }));
        EXPECT_EQ(file->GetKind(), 0);
        EXPECT_EQ(file->GetReader(), nullptr);
        EXPECT_EQ(file->GetDeviceType(), 0);
        EXPECT_EQ(file->GetSerialNumber(), 0u);
        EXPECT_EQ(file->GetLabel(), fs::path(path).filename().string());
        EXPECT_EQ(file->OpenReader(), 0);
        file->CloseReader();
        EXPECT_EQ(data.LookUpFile(path), file);
    }
    data.AddToTree(&tree, kTreeRoot, kTreeLast);
    EXPECT_EQ(Shape(data.GetTreeItem()).rfind("Unknown Data{SN00000{SN04321 gone.bin, SN04321 pipe.bin", 0), 0u);
}

TEST_F(DataFolderTest, RescanWithoutForceKeepsTheNodesAndWithForceRebuildsThem)
{
    fs::create_directories(folder);
    Put("SN04321 a.bin", LevelFile(4321));
    CDataFolder data;
    data.Rescan(folder.string(), true);
    const CDataFile* first = data.LookUpFile((folder / "SN04321 a.bin").string());
    ASSERT_NE(first, nullptr);
    Put("SN04321 b.bin", LevelFile(4321));
    data.Rescan(folder.string(), false);
    EXPECT_EQ(data.LookUpFile((folder / "SN04321 a.bin").string()), first);
    EXPECT_EQ(data.LookUpFile((folder / "SN04321 b.bin").string()), nullptr);
    data.Rescan(folder.string(), true);
    EXPECT_NE(data.LookUpFile((folder / "SN04321 b.bin").string()), nullptr);
    EXPECT_EQ(data.GetChildCount(), 1u);
    // Another folder without force is scanned.
    const fs::path other = home.Path() / "Other";
    fs::create_directories(other);
    data.Rescan(other.string(), false);
    EXPECT_EQ(data.GetChildCount(), 0u);
}

TEST_F(DataFolderTest, FindAndSelectAddANewFileOnceAndSelectItsItem)
{
    fs::create_directories(folder);
    Put("SN04321 a.bin", LevelFile(4321));
    CDataFolder data;
    data.Rescan(folder.string(), true);
    data.AddToTree(&tree, kTreeRoot, kTreeLast);
    const size_t items = tree.ItemCount();

    // A file written after the scan: another serial of the same type.
    const std::string path = Put("SN05555 new.bin", LevelFile(5555));
    EXPECT_EQ(data.LookUpFile(path), nullptr);
    data.SelectFile(path);
    CDataFile* added = data.LookUpFile(path);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(tree.GetSelectedItem(), added->GetTreeItem());
    EXPECT_EQ(tree.ItemCount(), items + 2);  // its data device and itself
    EXPECT_EQ(Shape(data.GetTreeItem()), "Vorna 4000 Data{SN04321{a.bin}, SN05555{new.bin}}");

    // The same path in other letters finds the node: nothing more is added.
    std::string upper = path;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(data.FindFile(upper), added);
    EXPECT_EQ(tree.ItemCount(), items + 2);
    const CDataFile* first = data.LookUpFile((folder / "SN04321 a.bin").string());
    data.SelectFile((folder / "SN04321 a.bin").string());
    EXPECT_EQ(tree.GetSelectedItem(), first->GetTreeItem());
}

TEST_F(DataFolderTest, TheReaderOpensOnTheFirstOpenAndClosesOnTheLast)
{
    fs::create_directories(folder);
    CDataFile file(Put("SN04321 a.bin", LevelFile(4321)));
    ASSERT_NE(file.GetReader(), nullptr);
    EXPECT_EQ(file.GetKind(), 3);
    EXPECT_EQ(file.GetReader()->GetVersionText(), "4.1.0.7");
    EXPECT_TRUE(file.GetReader()->IsClosed());
    EXPECT_EQ(file.OpenReader(), 0);
    EXPECT_EQ(file.OpenReader(), 0);
    EXPECT_EQ(file.GetOpenCount(), 2);
    file.CloseReader();
    EXPECT_FALSE(file.GetReader()->IsClosed());
    file.CloseReader();
    EXPECT_TRUE(file.GetReader()->IsClosed());
    file.CloseReader();
    EXPECT_EQ(file.GetOpenCount(), 0);
    EXPECT_EQ(file.GetPressureMode(), 1);  // the level record's gauge sensor

    // An older instrument's file with an absolute sensor, both prefixes.
    for (uint16_t prefix : {0, 10001, 10002}) {
        CDataFile legacy(Put("SN123456 old.bin", LegacyFile(123456, prefix)));
        EXPECT_EQ(legacy.GetKind(), prefix == 0 ? 1 : 2);
        EXPECT_EQ(legacy.GetDeviceType(), 10);
        EXPECT_EQ(legacy.GetSerialNumber(), 123456u);
        EXPECT_EQ(legacy.GetPressureMode(), 2);
        EXPECT_EQ(legacy.GetLabel(), "old.bin");
        EXPECT_EQ(legacy.OpenReader(), 0);
        EXPECT_EQ(legacy.GetReader()->GetChannelCount(), 2u);
        legacy.CloseReader();
    }
}

TEST_F(DataFolderTest, TheDataFileViewUnitChoosesGraphOrText)
{
    fs::create_directories(folder);
    CDataFile file(Put("SN04321 a.bin", LevelFile(4321)));
    CLFDataFile run((folder / "run.flo").string());
    file.AddToTree(&tree, kTreeRoot, kTreeLast);
    run.AddToTree(&tree, kTreeRoot, kTreeLast);
    CUnitCategory* view = units.FindCategory(kUnitCategoryDataFileView);
    ASSERT_NE(view, nullptr);
    view->SelectUnit(1);
    EXPECT_EQ(file.GetViewId(file.GetTreeItem()), ViewId::DataFileGraph);
    EXPECT_EQ(run.GetViewId(run.GetTreeItem()), ViewId::LowFlowGraph);
    view->SelectUnit(0);
    EXPECT_EQ(file.GetViewId(file.GetTreeItem()), ViewId::DataFileText);
    EXPECT_EQ(run.GetViewId(run.GetTreeItem()), ViewId::LowFlowText);
    EXPECT_EQ(file.GetViewId(file.GetTreeItem() + 1000), ViewId::None);
}

TEST_F(DataFolderTest, RewriteKeepsTheTextUpToTheFirstZeroByte)
{
    fs::create_directories(folder);
    const std::string path = (folder / "report.txt").string();
    wvtest::WriteBytes(path, {'a', 'b', '\r', '\n', 0, 'x', 'y'});
    EXPECT_EQ(CDataFile::RewriteFile(path), 0);
    EXPECT_EQ(wvtest::ReadBytes(path).value(), (std::vector<uint8_t>{'a', 'b', '\r', '\n'}));
    EXPECT_NE(CDataFile::RewriteFile((folder / "missing.txt").string()), 0);
    EXPECT_FALSE(fs::exists(folder / "missing.txt"));
}

TEST_F(DataFolderTest, LowFlowFolderFilesItsRunsInOneGroupAndAddsNewOnes)
{
    const fs::path lowFlow = folder / "LowFlow";
    fs::create_directories(lowFlow);
    wvtest::WriteBytes(lowFlow / "b run.flo", {1});
    wvtest::WriteBytes(lowFlow / "A run.FLO", {1});
    wvtest::WriteBytes(lowFlow / "other.bin", {1});
    CLFDataFolder lf;
    lf.Rescan(folder.string(), true);
    lf.AddToTree(&tree, kTreeRoot, kTreeLast);
    EXPECT_EQ(lf.GetViewId(lf.GetTreeItem()), ViewId::LowFlowFolder);
    const std::string group = "Lowvane\u2122 Data: " + GetPathBesideExe("Data/LowFlow");
    EXPECT_EQ(Shape(lf.GetTreeItem()), group + "{A run.FLO, b run.flo}");
    CLFDataFile* run = lf.FindFile((lowFlow / "B RUN.flo").string());
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->GetNodeType(), NodeType::LowFlowFile);
    EXPECT_EQ(run->GetFlag(), 1);
    EXPECT_EQ(run->GetFileName(), "b run.flo");
    EXPECT_EQ(run->GetCompanionPath(), (lowFlow / "b run.flo").string() + ".bin");
    EXPECT_EQ(run->GetFolder(), lowFlow.string() + "/");
    // Without the low-flow part nothing is extracted: the opens count, there is no reader.
    EXPECT_EQ(run->Open(), 1);
    EXPECT_EQ(run->GetReader(), nullptr);
    EXPECT_EQ(run->Close(), 0);
    EXPECT_EQ(run->Close(), 0);

    lf.SelectFile((lowFlow / "c run.flo").string());
    CLFDataFile* added = lf.FindFile((lowFlow / "c run.flo").string());
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(tree.GetSelectedItem(), added->GetTreeItem());
    EXPECT_EQ(Shape(lf.GetTreeItem()), group + "{A run.FLO, b run.flo, c run.flo}");

    // A folder without its group (emptied): a new run makes one that shows the low-flow view.
    lf.RemoveAll();
    CLFDataFile* alone = lf.AddFile((lowFlow / "d.flo").string());
    auto* made = dynamic_cast<CDataGroup*>(alone->GetParent());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetLabel(), "Lowvane\u2122 Data: ");
    EXPECT_EQ(made->GetNodeType(), NodeType::LowFlowGroup);
    lf.AddToTree(&tree, kTreeRoot, kTreeLast);
    EXPECT_EQ(made->GetViewId(made->GetTreeItem()), ViewId::LowFlowFolder);
}

TEST_F(DataFolderTest, TheSiteScansBothFoldersOfTheHomeAndLooksUpItsFiles)
{
    fs::create_directories(folder / "LowFlow");
    const std::string a = Put("SN04321 a.bin", LevelFile(4321));
    wvtest::WriteBytes(folder / "LowFlow" / "run.flo", {1});
    CQorSite site("Home");
    site.AddToTree(&tree, kTreeRoot, kTreeLast);
    site.RefreshTreeItem();
    const std::vector<std::string> under = tree.ChildTexts(site.GetTreeItem());
    ASSERT_EQ(under.size(), 2u);
    EXPECT_EQ(under[0], "Lowvane\u2122 Wizard");
    EXPECT_EQ(under[1], "Data Folder : " + GetPathBesideExe("Data"));
    ASSERT_NE(site.LookUpDataFile(a), nullptr);
    const std::string b = Put("SN04321 b.bin", LevelFile(4321));
    EXPECT_EQ(site.LookUpDataFile(b), nullptr);
    site.FindDataFile(b);
    CDataFile* added = site.LookUpDataFile(b);
    ASSERT_NE(added, nullptr);
    EXPECT_NE(added->GetTreeItem(), kNoTreeItem);
    site.SelectDataFile(a);
    EXPECT_EQ(tree.GetSelectedItem(), site.LookUpDataFile(a)->GetTreeItem());
    site.SelectLowFlowFile(GetPathBesideExe("Data/LowFlow") + "/run.flo");
    const CLFDataFile* run = site.GetLowFlowFolder().FindFile(GetPathBesideExe("Data/LowFlow") + "/run.flo");
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(tree.GetSelectedItem(), run->GetTreeItem());
}

} // namespace
