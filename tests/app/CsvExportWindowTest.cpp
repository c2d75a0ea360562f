// The CSV export in the program: the per-user settings, the offer after a download, the
// exporter's messages, and the "Auto CSV Export" dialog of Tools > CSV Export with its
// template dialog.

#include "tests/app/AppFixture.h"

#include "app/CommandIds.h"
#include "app/CsvExporterCom.h"
#include "app/Dlg_AutoCSVExport.h"
#include "datafiles/CsvExport.h"
#include "foundation/Registry.h"
#include "tests/datafiles/ReaderFileBytes.h"
#include "tests/support/Files.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>
#include <functional>
#include <string>

namespace {

namespace fs = std::filesystem;
using wvtest::AppFixture;

class CsvExportWindowTest : public AppFixture {
protected:
    void SetUp() override
    {
        Start();
        wvtest::SondeFileSpec spec;
        spec.samples = {{100, 11000, 0, 1500, 0, 12000}, {100, 11500, 0, 2000, 0, 12100}};
        dataPath = (home_.Root() / "SN00777 run.bin").string();
        wvtest::WriteBytes(dataPath, wvtest::SondeFile(spec).bytes);
        templatePath = (home_.Root() / "plain.bft").string();
        ASSERT_EQ(SaveCsvTemplate(templatePath, CsvTemplate{}), 0);
        messages.clear();
    }
    // Runs script on the next modal dialog of type T once it is open.
    template <class T>
    void OnDialog(std::function<void(T&)> script)
    {
        auto* timer = new QTimer(&Frame());
        QObject::connect(timer, &QTimer::timeout, timer, [timer, script] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                script(*dialog);
            }
        });
        timer->start(5);
    }
    template <class W>
    static W* Control(QWidget& dialog, uint32_t id)
    {
        return dialog.findChild<W*>(QString::number(id));
    }

    std::string dataPath;
    std::string templatePath;
};

TEST_F(CsvExportWindowTest, TheOfferAsksOnlyWithATemplateAndExportsUnlessTheAnswerIsNo)
{
    // Off: nothing.
    OfferAutoCsvExport(&Frame(), dataPath);
    EXPECT_TRUE(messages.empty());
    // On without a template: nothing either.
    ASSERT_EQ(SaveAutoCsvSettings(true, ""), 0);
    EXPECT_TRUE(IsAutoCsvEnabled());
    OfferAutoCsvExport(&Frame(), dataPath);
    EXPECT_TRUE(messages.empty());

    ASSERT_EQ(SaveAutoCsvSettings(true, templatePath), 0);
    EXPECT_EQ(GetAutoCsvTemplate(), templatePath);
    answers = {MessageAnswer::No};
    OfferAutoCsvExport(&Frame(), dataPath);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(messages[0].icon, MessageIcon::Question);
    EXPECT_EQ(messages[0].detail, "The data has been downloaded to file:\n" + dataPath +
                                      "\n\nThe Auto-Export to CSV feature is enabled.\n\n"
                                      "Do you wish to export the downloaded data to CSV using template file:\n" +
                                      templatePath);
    EXPECT_FALSE(fs::exists(dataPath + ".csv"));
    OfferAutoCsvExport(&Frame(), dataPath);
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_TRUE(fs::exists(dataPath + ".csv"));

    // Saving without a template keeps the stored one.
    ASSERT_EQ(SaveAutoCsvSettings(false, ""), 0);
    EXPECT_FALSE(IsAutoCsvEnabled());
    EXPECT_EQ(GetAutoCsvTemplate(), templatePath);
}

TEST_F(CsvExportWindowTest, AFailedExportIsShownOnceNamingTheFile)
{
    const std::string notData = (home_.Root() / "notes.bin").string();
    wvtest::WriteBytes(notData, {'x', 'y', 'z'});
    CsvExporterCom exporter(&Frame());
    EXPECT_LT(exporter.ExportFile(notData, templatePath), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].detail.find(notData), std::string::npos);
    EXPECT_FALSE(fs::exists(notData + ".csv"));
    // A template that cannot be read is named too.
    messages.clear();
    EXPECT_LT(exporter.ExportFile(dataPath, templatePath + ".gone"), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].detail.find(templatePath + ".gone"), std::string::npos);
}

TEST_F(CsvExportWindowTest, TheSettingsDialogFollowsItsTemplateAndStoresOnClose)
{
    ASSERT_EQ(SaveAutoCsvSettings(false, templatePath), 0);
    bool checked = false;
    OnDialog<CDlg_AutoCSVExport>([&](CDlg_AutoCSVExport& dialog) {
        auto* enable = Control<QCheckBox>(dialog, CDlg_AutoCSVExport::kEnableCheck);
        auto* edit = Control<QLineEdit>(dialog, CDlg_AutoCSVExport::kTemplateEdit);
        EXPECT_EQ(edit->text().toStdString(), templatePath);
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_TRUE(enable->isEnabled());
        EXPECT_TRUE(Control<QPushButton>(dialog, CDlg_AutoCSVExport::kEditButton)->isEnabled());
        // Open with no file chosen changes nothing.
        Control<QPushButton>(dialog, CDlg_AutoCSVExport::kOpenButton)->click();
        EXPECT_EQ(edit->text().toStdString(), templatePath);
        enable->setChecked(true);
        checked = true;
        Control<QPushButton>(dialog, CDlg_AutoCSVExport::kCloseButton)->click();
    });
    openPath.reset();
    ASSERT_TRUE(Frame().Action(wvcmd::kCsvExport)->isEnabled());
    Frame().RunCommand(wvcmd::kCsvExport);
    EXPECT_TRUE(checked);
    EXPECT_EQ(opensAsked, 1);
    EXPECT_TRUE(IsAutoCsvEnabled());
    EXPECT_EQ(GetAutoCsvTemplate(), templatePath);

    // Without a template the export cannot be on, and closing writes "Enabled" as off.
    WriteProfileString("AutoCSV", "Export Template", "");
    OnDialog<CDlg_AutoCSVExport>([&](CDlg_AutoCSVExport& dialog) {
        auto* enable = Control<QCheckBox>(dialog, CDlg_AutoCSVExport::kEnableCheck);
        EXPECT_FALSE(enable->isEnabled());
        EXPECT_FALSE(enable->isChecked());
        EXPECT_FALSE(Control<QPushButton>(dialog, CDlg_AutoCSVExport::kEditButton)->isEnabled());
        dialog.reject();
    });
    Frame().RunCommand(wvcmd::kCsvExport);
    EXPECT_FALSE(IsAutoCsvEnabled());
}

TEST_F(CsvExportWindowTest, NewMakesATemplateThroughItsDialogAndASaveDialog)
{
    const std::string made = (home_.Root() / "semi").string();
    savePath = made;
    OnDialog<CDlg_AutoCSVExport>([&](CDlg_AutoCSVExport& dialog) {
        OnDialog<CDlgCsvTemplate>([](CDlgCsvTemplate& tpl) {
            tpl.separator->setCurrentIndex(1);
            tpl.channels->setText(QStringLiteral("2 3"));
            tpl.findChild<QPushButton*>(QStringLiteral("1"))->click();
        });
        Control<QPushButton>(dialog, CDlg_AutoCSVExport::kNewButton)->click();
        EXPECT_EQ(Control<QLineEdit>(dialog, CDlg_AutoCSVExport::kTemplateEdit)->text().toStdString(), made + ".bft");
        EXPECT_TRUE(Control<QCheckBox>(dialog, CDlg_AutoCSVExport::kEnableCheck)->isEnabled());
        dialog.accept();
    });
    Frame().RunCommand(wvcmd::kCsvExport);
    CsvTemplate read;
    ASSERT_EQ(LoadCsvTemplate(made + ".bft", read), 0);
    EXPECT_EQ(read.separator, ';');
    EXPECT_FALSE(read.allChannels);
    EXPECT_EQ(read.channelCodes, (std::vector<uint8_t>{2, 3}));
    EXPECT_EQ(GetAutoCsvTemplate(), made + ".bft");

    // Cancelling the save dialog makes nothing and keeps the template.
    savePath.reset();
    OnDialog<CDlgCsvTemplate>([](CDlgCsvTemplate& tpl) { tpl.findChild<QPushButton*>(QStringLiteral("1"))->click(); });
    std::string path = "unchanged";
    EXPECT_LT(CsvExporterCom(&Frame()).NewTemplate(path), 0);
    EXPECT_EQ(path, "unchanged");
}

TEST_F(CsvExportWindowTest, ManualExportAsksForTheThreeFiles)
{
    const std::string csv = (home_.Root() / "manual.csv").string();
    std::vector<std::string> files{dataPath, templatePath, csv};
    size_t asked = 0;
    Frame().fileResponder = [&](bool save, std::string_view) -> std::optional<std::string> {
        EXPECT_EQ(save, asked == 2);
        return asked < files.size() ? std::optional<std::string>(files[asked++]) : std::nullopt;
    };
    EXPECT_EQ(CsvExporterCom(&Frame()).ManualExport(), 0);
    EXPECT_EQ(asked, 3u);
    EXPECT_TRUE(fs::exists(csv));
    EXPECT_TRUE(messages.empty());
}

} // namespace
