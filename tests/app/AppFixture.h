#pragma once
// A started application in a program home of its own, with the message boxes and file
// dialogs answered by the test. A wizard the program opens modally (the connection wizard
// of a site without connections, say) is handed to the next of wizardScripts; with none
// queued it is cancelled, so an unexpected wizard never blocks a test. The optical sensor's
// cap warning is recorded in capWarnings and answered by capWarningScript, or with OK.

#include "app/CommandIds.h"
#include "app/WVFrame.h"
#include "app/WVTreeView.h"
#include "app/WVView.h"
#include "app/AppPump.h"
#include "app/DlgHdoCapWarning.h"
#include "app/WellvoxApp.h"
#include "platform/PortMap.h"
#include "platform/Pump.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/TempHome.h"
#include "wizards/WizardSheet.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wvtest {

class AppFixture : public ::testing::Test {
protected:
    void Start(const std::vector<std::string>& arguments = {})
    {
        app_ = std::make_unique<CWellvoxApp>();
        ASSERT_TRUE(app_->InitInstance(arguments));
        Hook();
    }
    void Hook()
    {
        CWVFrame* frame = app_->GetFrame();
        frame->messageResponder = [this](const SiteMessage& message) {
            messages.push_back(message);
            if (answers.empty()) {
                return message.defaultAnswer;
            }
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        };
        frame->fileResponder = [this](bool save, std::string_view) {
            (save ? savesAsked : opensAsked)++;
            return save ? savePath : openPath;
        };
        wizardWatch_ = std::make_unique<QTimer>();
        QObject::connect(wizardWatch_.get(), &QTimer::timeout, [this] { AnswerWizard(); });
        wizardWatch_->start(10);
    }
    void AnswerWizard()
    {
        if (auto* cap = qobject_cast<CDlgHdoCapWarning*>(QApplication::activeModalWidget())) {
            AnswerCapWarning(*cap);
            return;
        }
        auto* sheet = qobject_cast<CWizardSheet*>(QApplication::activeModalWidget());
        if (sheet == nullptr || sheet->property("wvtestSeen").toBool()) {
            return;
        }
        sheet->setProperty("wvtestSeen", true);
        ++wizardsSeen;
        if (wizardScripts.empty()) {
            sheet->OnCancel();
            return;
        }
        const std::function<void(CWizardSheet&)> script = std::move(wizardScripts.front());
        wizardScripts.pop_front();
        script(*sheet);
    }
    // What the cap warning showed when it opened.
    struct CapWarningSeen {
        std::string text;
        int index = -1;
        bool listEnabled = false;
    };
    void AnswerCapWarning(CDlgHdoCapWarning& dialog)
    {
        if (dialog.property("wvtestSeen").toBool()) {
            return;
        }
        dialog.setProperty("wvtestSeen", true);
        auto* list = dialog.ItemAs<QComboBox>(CDlgHdoCapWarning::kIdInterval);
        auto* text = dialog.ItemAs<QPlainTextEdit>(CDlgHdoCapWarning::kIdMessage);
        capWarnings.push_back({text != nullptr ? text->toPlainText().toStdString() : std::string(),
                               list != nullptr ? list->currentIndex() : -1, list != nullptr && list->isEnabled()});
        if (capWarningScript) {
            capWarningScript(dialog);
        }
        dialog.done(CDlgHdoCapWarning::kIdOk);
    }
    void TearDown() override
    {
        wizardWatch_.reset();
        if (app_ != nullptr) {
            app_->ExitInstance();
        }
        app_.reset();
    }
    CWVFrame& Frame() { return *app_->GetFrame(); }
    CWVTreeView& Tree() { return *app_->GetFrame()->GetTreeView(); }
    CWVDoc& Doc() { return *app_->GetDocument(); }
    // The program's own pump for tests against the instrument simulator: the simulator is
    // kept at the rate of the site's open link, Qt's events run, and duringSearch, while
    // set, runs on every pump of a wait until it returns true.
    void UseSimulatorPump(const wv::sim::InstrumentSim& sim)
    {
        wv::SetPumpHook([this, &sim] {
            wvapp::PumpDepthGuard depth;
            SimSeesLinkRate(sim, app_ != nullptr ? Doc().GetSite() : nullptr);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (duringSearch && duringSearch()) {
                duringSearch = nullptr;
            }
            return true;
        });
    }
    // Starts the simulator, which holds one level logger, and the program on it: registers
    // the simulator's line as port, finds the logger on a direct connection, refreshes it and
    // gives its level channel (kind 3). The messages of the search are cleared.
    void StartOnLevelLogger(wv::sim::InstrumentSim& sim, int& port, CQorDevice*& logger, CQorChannel*& level)
    {
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        app_->GetPreferences().expandOnFind = 0;
        UseSimulatorPump(sim);
        CQorConnection& connection = wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), "Bench", port, true);
        Tree().FindDevices(connection);
        ASSERT_EQ(connection.GetDeviceCount(), 1);
        logger = connection.GetDevice(0);
        Tree().SelectItem(logger->GetTreeItem());
        Pump();
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        QAction* refresh = menu->findChild<QAction*>(QString::number(wvcmd::kTreeRefresh));
        ASSERT_NE(refresh, nullptr);
        refresh->trigger();
        level = nullptr;
        for (int slot = 0; slot < logger->GetChannelCount(); ++slot) {
            CQorChannel* channel = logger->GetChannel(slot, false);
            if (channel != nullptr && channel->GetKind() == 3) {
                level = channel;
            }
        }
        ASSERT_NE(level, nullptr);
        messages.clear();
    }
    // Stops the program's idle timer, for tests that step the idle work by hand: a timer
    // round falling inside a pump would otherwise advance a sequence between their steps.
    void StopIdleTimer()
    {
        auto* idle = app_->findChild<QTimer*>(QStringLiteral("idle"));
        ASSERT_NE(idle, nullptr);
        idle->stop();
    }
    // Lets posted and timer work run (at the top level).
    static void Pump(int ms = 20)
    {
        QApplication::processEvents();
        QTest::qWait(ms);
    }
    std::vector<std::string> ChildTexts(TreeItem item)
    {
        std::vector<std::string> texts;
        for (TreeItem child = Tree().GetChildItem(item); child != kNoTreeItem; child = Tree().GetNextSiblingItem(child)) {
            texts.push_back(Tree().ItemOf(child)->text(0).toStdString());
        }
        return texts;
    }

    TempHome home_{"app"};
    std::unique_ptr<CWellvoxApp> app_;
    // Runs on every pump of the simulator pump's waits until it returns true.
    std::function<bool()> duringSearch;
    std::vector<SiteMessage> messages;
    std::deque<MessageAnswer> answers;
    std::optional<std::string> savePath;
    std::optional<std::string> openPath;
    int savesAsked = 0;
    int opensAsked = 0;
    std::deque<std::function<void(CWizardSheet&)>> wizardScripts;
    int wizardsSeen = 0;
    std::vector<CapWarningSeen> capWarnings;
    // Runs on the cap warning before it is ended with OK (a choice in its list, say).
    std::function<void(CDlgHdoCapWarning&)> capWarningScript;
    std::unique_ptr<QTimer> wizardWatch_;
};

} // namespace wvtest
