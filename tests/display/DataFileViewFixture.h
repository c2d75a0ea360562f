#pragma once
// A program home with level files in its Data folder, a document whose site holds them and
// whose selection the views read, a fake frame recording messages, and a scripted
// Barometric Correction dialog.

#include "display/BaroCorrectionRunner.h"
#include "display/WVDataFile.h"
#include "site/DataFile.h"
#include "site/QorSite.h"
#include "site/WVDoc.h"
#include "tests/site/SiteFakes.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestDataFileBytes.h"
#include "values/BaroCompensator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace wvtest {

// What the scripted dialog answers: OK with these settings, or Cancel.
struct BaroScript {
    bool ok = true;
    int mode = kBaroModeFixed;
    double value = 14.7;
    int category = 6;
    int unit = 0;
    std::string reference = {};
    bool newFile = true;
};

// Passes the document's updates to the view under test.
struct FormViews : CDocView {
    void OnUpdate(int) override
    {
        if (view != nullptr) {
            view->OnUpdate();
        }
    }
    CWVView* view = nullptr;
};
struct NoView : CDocView {
    void OnUpdate(int) override {}
};

class DataFileViewFixture : public ::testing::Test {
protected:
    DataFileViewFixture()
    {
        std::filesystem::create_directories(home.Path() / "Data");
        doc.OnNewDocument();
        // The form view is the document's second view, after the navigation tree.
        doc.AddView(&treeStandIn);
        doc.AddView(&formViews);
    }
    ~DataFileViewFixture() override
    {
        doc.RemoveView(&formViews);
        doc.RemoveView(&treeStandIn);
        SetBaroCorrectionRunner({});
    }

    // A level file of the given type (21: an absolute pressure logger, 28: a barometer)
    // in the Data folder, with n samples a minute apart.
    std::string WriteLevelFile(const std::string& name, uint8_t type = 21, int n = 30)
    {
        LevelFileSpec spec;
        spec.deviceType = type;
        spec.pressurePerCount = 1.0f / 1024.0f;
        // A barometer's pressure channel is its barometric channel.
        spec.pressureChannel = type == 28 ? 3 : 2;
        for (int i = 0; i < n; ++i) {
            spec.samples.emplace_back(static_cast<uint32_t>(60 * i), static_cast<uint16_t>(20000 + 37 * i));
        }
        const std::filesystem::path path = home.Path() / "Data" / name;
        WriteBytes(path, LevelFile(spec));
        return path.string();
    }
    // The node of a file of the Data folder, selected in the document.
    CDataFile* Select(const std::string& path, ViewId viewId = ViewId::DataFileGraph)
    {
        CDataFile* node = doc.GetSite()->GetDataFolder().FindFile(path);
        doc.SetSelection(node, kNoTreeItem, viewId);
        return node;
    }
    // Registers a dialog that answers with script and counts its runs.
    void Script(BaroScript script)
    {
        SetBaroCorrectionRunner([this, script](QWidget*, BaroCorrectionRequest& request) {
            ++dialogRuns;
            startedChecked = request.newFile;
            if (!script.ok) {
                return false;
            }
            request.job.SetMode(script.mode);
            request.job.SetFixedValue(script.value, script.category, script.unit);
            request.job.SetBaroFilePath(script.reference);
            request.newFile = script.newFile;
            return true;
        });
    }
    // The program's temporary files in the home.
    std::vector<std::string> TempFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(home.Path())) {
            if (entry.path().extension() == ".tmp") {
                names.push_back(entry.path().string());
            }
        }
        return names;
    }

    TempHome home{"dfv"};
    FakeFrame frame;
    CWVDoc doc;
    NoView treeStandIn;
    FormViews formViews;
    int dialogRuns = 0;
    bool startedChecked = false;
};

} // namespace wvtest
