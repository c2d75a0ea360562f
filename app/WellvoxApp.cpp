#include "app/WellvoxApp.h"

#include "app/BarometricDialogHook.h"
#include "app/CommandIds.h"
#include "app/ProfileRelay.h"
#include "app/WVChannelView.h"
#include "app/WVFrame.h"
#include "app/WVTreeView.h"
#include "app/controls/AboutDlg.h"
#include "app/controls/AskDlg.h"
#include "calibration/QikCalLog.h"
#include "foundation/AppUtils.h"
#include "foundation/Registry.h"
#include "platform/Clock.h"
#include "platform/ProgramHome.h"
#include "resources/StringTable.h"
#include "site/DataFileSetup.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "values/FoilCoeffSet.h"
#include "wizards/BarometricPrompt.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace {

CWellvoxApp* g_app = nullptr;

constexpr const char* kSwitchAutoProfile = "/AutoProfile";
constexpr const char* kSwitchAllow2SecondTest = "/Allow2SecondTest";
constexpr const char* kSwitchDebugExpandDrop = "/DebugExpandDrop";
constexpr size_t kMaxLastSitePath = 512;
constexpr const char* kFoilFile = "Config/KorvantFoilCoeffs.kvf";
constexpr const char* kShippedFoilFile = "Config/KorvantFoilCoeffs.original";

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

int64_t NowMs() { return static_cast<int64_t>(wv::GetClock().NowMs()); }

} // namespace

CWellvoxApp::CWellvoxApp() : m_profileRelay(std::make_unique<CProfileRelay>(*this))
{
    g_app = this;
    SetDefaultProfileNotifyTarget(m_profileRelay.get());
}

CWellvoxApp::~CWellvoxApp()
{
    if (GetDefaultProfileNotifyTarget() == m_profileRelay.get()) {
        SetDefaultProfileNotifyTarget(nullptr);
    }
    // The nodes delete their items in the tree as they go, so the document (with its
    // site) goes while the tree still exists; then the frame and the tree.
    if (m_frame != nullptr) {
        m_frame->DetachDocument();
    }
    // Nodes taken out of the site wait for the top level; none may outlive the tree.
    DeleteRetiredNodes();
    m_doc.reset();
    DeleteRetiredNodes();
    m_frame.reset();
    // The catalogue goes with the application: no reader may be made on it afterwards.
    SetDataFileReaderSetup(DataFileReaderSetup{});
    if (CQorChannel::GetUnitCatalog() == m_catalog.get()) {
        CQorChannel::SetUnitCatalog(nullptr);
    }
    if (g_app == this) {
        g_app = nullptr;
    }
}

CWellvoxApp* CWellvoxApp::Instance() { return g_app; }

std::string CWellvoxApp::BuildAppTitle(std::string_view version)
{
    std::string text(version);
    if (const size_t last = text.rfind('.'); last != std::string::npos) {
        text.erase(last);
    }
    if (const size_t last = text.rfind('.'); last != std::string::npos) {
        text.erase(last, 1);
    }
    return "Wellvox\u00AE " + text;
}

bool CWellvoxApp::IsSwitch(const std::vector<std::string>& arguments, std::string_view name)
{
    return arguments.size() == 1 && EqualsNoCase(arguments.front(), name);
}

bool CWellvoxApp::InitInstance(const std::vector<std::string>& arguments)
{
    m_initialising = true;
    m_pump = std::make_unique<wvapp::AppPumpScope>();
    MigrateIniToRegistry();
    m_titleBase = BuildAppTitle(GetProgramVersion());

    // The document and the main window.
    m_catalog = std::make_unique<CAppPreferences>();
    m_catalog->Load();
    // The test wizard asks for the barometric setting through the program's prompt.
    SetBarometricPromptHook([](CQorDevice& device, bool askFirst) { PromptBarometricSettings(device, askFirst); });
    // The filter switch starts from the preference, then the APP_DATA section decides.
    m_appData.filterData = m_catalog->dataFilter;
    m_appData.LoadFrom(GetWizardsIniPath());
    // The readers of the Data folder's files work with the program's units, version and
    // data filter.
    DataFileReaderSetup readers;
    readers.units = m_catalog.get();
    readers.version = GetProgramVersion();
    readers.filter.enable = m_appData.filterData;
    readers.filter.weights = m_appData.filterCoef;
    SetDataFileReaderSetup(readers);
    // The channel nodes show their readings in the program's units, and the switch shortens
    // the read time-outs they give the test wizard.
    CQorChannel::SetUnitCatalog(m_catalog.get());
    CQorChannel::SetAllow2SecondTest(IsSwitch(arguments, kSwitchAllow2SecondTest));
    m_doc = CWVDoc::CreateObject();
    m_doc->SetUnitCatalog(m_catalog.get());
    m_frame = std::make_unique<CWVFrame>(m_doc.get());
    m_frame->setProperty("titleBase", QString::fromStdString(m_titleBase));
    m_frame->onAppCommand = [this](uint32_t command) {
        switch (command) {
        case kFileNewCommand: OnFileNew(); break;
        case kFileOpenCommand: OnFileOpen(); break;
        case wvcmd::kFileSave: OnFileSave(); break;
        case wvcmd::kFileSaveAs: OnFileSaveAs(); break;
        case wvcmd::kAppAbout: OnAppAbout(); break;
        default: break;
        }
    };
    m_frame->onExpandFoundDevices = [this] { StartExpandAfterFind(); };
    // The automatic profile waits (state 2) for its device to be expanded.
    m_frame->onDeviceExpanded = [this] {
        if (m_autoProfileState == 2) {
            m_autoProfileState = 3;
        }
    };

    // The sensor-foil coefficient file is brought up to its shipped copy, and the calibration
    // reports' index is written when it is missing (a failure leaves it to the Show
    // Calibration Reports command).
    SyncFoilFile();
    EnsureCalReportIndex();

    // The command line: a file argument opens that site; without one the last site opens
    // when it still exists. A switch is no file.
    const bool isSwitch = IsSwitch(arguments, kSwitchAutoProfile) || IsSwitch(arguments, kSwitchAllow2SecondTest) ||
                          IsSwitch(arguments, kSwitchDebugExpandDrop);
    std::string openPath;
    if (!arguments.empty() && !isSwitch) {
        openPath = arguments.front();
    } else {
        std::string last = ReadRegString("AppInfo", "Last4", "");
        if (last.size() <= kMaxLastSitePath && !last.empty() && PathExists(last)) {
            openPath = last;
        }
    }
    bool started = false;
    if (!openPath.empty()) {
        started = OpenDocumentFile(openPath);
        if (!started && !arguments.empty() && !isSwitch) {
            // The file the user named could not be opened: the program ends.
            m_initialising = false;
            return false;
        }
    }
    if (!started) {
        OnFileNew();
    }

    m_frame->setAcceptDrops(true);
    if (ReadRegDword("Frame", "State", 1) == 3) {
        m_frame->showMaximized();
    } else {
        m_frame->show();
    }
    PostAddIfNoConnection();
    m_initialising = false;

    if (IsSwitch(arguments, kSwitchAutoProfile) || m_catalog->autoProfile != 0) {
        CQorSite* site = m_doc->GetSite();
        m_autoProfileState = site != nullptr && site->OnAutoConnect() ? 1 : 0;
    }
    if (IsSwitch(arguments, kSwitchAllow2SecondTest)) {
        m_shortChannelReadWait = true;
    }
    if (IsSwitch(arguments, kSwitchDebugExpandDrop)) {
        m_expandDropTest = true;
    }

    m_idleTimer = new QTimer(this);
    m_idleTimer->setObjectName(QStringLiteral("idle"));
    connect(m_idleTimer, &QTimer::timeout, this, &CWellvoxApp::OnIdle);
    m_idleTimer->start(kIdleTimerMs);
    return true;
}

bool CWellvoxApp::SyncFoilFile()
{
    const std::filesystem::path installed = wv::ResolveProgramPath(kFoilFile);
    std::error_code ec;
    if (std::filesystem::is_regular_file(installed, ec)) {
        std::filesystem::permissions(installed, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ec);
    }
    CFoilCoeffSet shipped;
    if (!shipped.Load(wv::ResolveProgramPath(kShippedFoilFile).string())) {
        return false;
    }
    CFoilCoeffSet current;
    if (current.Load(installed.string()) && !shipped.IsNewerThan(current)) {
        return false;
    }
    // The copy is written beside the installed file and renamed over it when whole.
    return CopyFileBlocks(wv::ResolveProgramPath(kShippedFoilFile).string(), installed.string()) != 0;
}

void CWellvoxApp::PostAddIfNoConnection()
{
    CQorSite* site = m_doc->GetSite();
    if (site != nullptr && site->GetConnectionCount() == 0) {
        m_frame->PostViewCommand(wvcmd::kTreeAddConnection);
    }
}

int CWellvoxApp::ExitInstance()
{
    if (m_idleTimer != nullptr) {
        m_idleTimer->stop();
    }
    m_pump.reset();
    SetBarometricPromptHook({});
    if (m_catalog != nullptr) {
        m_catalog->Save();
        m_appData.SaveTo(GetWizardsIniPath());
    }
    return 0;
}

// ---- The barometric prompt ----

void CWellvoxApp::PromptBarometricSettings(CQorDevice& device, bool askFirst)
{
    CWellvoxApp* app = Instance();
    CWVFrame* frame = app != nullptr ? app->GetFrame() : nullptr;
    if (frame == nullptr || !device.IsFamily30to40() || !GetBarometricDialogHook()) {
        return;
    }
    if (askFirst) {
        CAppPreferences& preferences = app->GetPreferences();
        if (preferences.blockBaroEditPrompt != 0) {
            if (preferences.skipBaroEdit != 0) {
                return;
            }
        } else {
            CAskDlg ask(frame);
            const auto text = [](uint32_t id) {
                const std::string_view s = GetResString(id);
                return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
            };
            ask.m_strCaption = text(kStrEditBaroSettings);
            ask.m_strMessage = text(kStrEditBaroSettingsQuestion);
            const int answer = ask.DoModal();
            if (ask.m_bDontAskAgain) {
                preferences.blockBaroEditPrompt = 1;
            }
            if (answer == CAskDlg::kIdYes) {
                preferences.skipBaroEdit = 0;
            } else {
                // No is remembered for the blocked prompt; Esc only skips this time.
                if (answer == CAskDlg::kIdNo) {
                    preferences.skipBaroEdit = 1;
                }
                return;
            }
        }
    }
    CWVChannelView::EditBarometricChannel(*frame, frame, device);
}

// ---- Documents ----

void CWellvoxApp::UpdateMainTitle()
{
    if (m_frame != nullptr) {
        m_frame->UpdateTitle();
    }
}

void CWellvoxApp::ShowNewDocument()
{
    m_frame->GetTreeView()->OnInitialUpdate();
    UpdateMainTitle();
}

void CWellvoxApp::OnFileNew()
{
    if (m_doc->GetSite() != nullptr && !m_doc->SaveModified()) {
        return;
    }
    if (!m_doc->OnNewDocument()) {
        return;
    }
    m_doc->SetTitle(GetResString(kStrHomeSite));
    ShowNewDocument();
    if (!m_initialising && m_doc->GetPathName().empty()) {
        m_frame->SetNewSite(true);
        m_doc->UpdateOtherViews();
    }
}

void CWellvoxApp::OnFileOpen()
{
    if (m_doc->GetPathName().empty()) {
        const std::string home = CWVDoc::HomeSitePath();
        if (!m_doc->OnSaveDocument(home)) {
            return;
        }
        m_doc->SetPathName(home);
    }
    if (m_doc->IsModified()) {
        const MessageAnswer answer =
            m_frame->ShowMessage({kStrOpenSaveModifiedPrompt, kStrOpenSaveSite, MessageIcon::Question,
                                  MessageButtons::YesNoCancel, MessageAnswer::Cancel, {}});
        if (answer == MessageAnswer::Cancel) {
            return;
        }
        if (answer == MessageAnswer::Yes && !m_doc->OnSaveDocument(m_doc->GetPathName())) {
            return;
        }
    }
    const std::optional<std::string> path = m_frame->AskOpenPath();
    if (path.has_value()) {
        OpenDocumentFile(*path);
    }
}

bool CWellvoxApp::OpenDocumentFile(const std::string& path)
{
    if (!m_doc->OnOpenDocument(path)) {
        return false;
    }
    ShowNewDocument();
    return true;
}

void CWellvoxApp::OnFileSave()
{
    if (m_doc->GetPathName().empty()) {
        OnFileSaveAs();
        return;
    }
    m_doc->OnSaveDocument(m_doc->GetPathName());
}

void CWellvoxApp::OnFileSaveAs()
{
    // An untitled site starts at its default file in the program home, as Open does.
    const std::string start = m_doc->GetPathName().empty() ? CWVDoc::HomeSitePath() : m_doc->GetPathName();
    const std::optional<std::string> path = m_frame->AskSavePath(start);
    if (path.has_value() && m_doc->OnSaveDocument(*path)) {
        m_doc->SetPathName(*path);
        UpdateMainTitle();
    }
}

void CWellvoxApp::OnAppAbout()
{
    // The command is greyed while busy; a caller that runs it anyway gets nothing either.
    if (m_frame == nullptr || m_frame->IsBusy()) {
        return;
    }
    CAboutDlg about(m_frame.get());
    about.DoModal();
}

// ---- Idle work ----

void CWellvoxApp::OnIdle()
{
    if (m_frame == nullptr || !CWVFrame::IsTopLevel()) {
        return;
    }
    m_frame->RunPostedWork();
    if (m_frame->IsClosePending()) {
        if (!m_frame->IsBusy()) {
            m_frame->close();
        }
        return;
    }
    CQorSite* site = m_doc->GetSite();
    if (site == nullptr || m_frame->IsBusy()) {
        return;
    }
    site->PollNextConnection();
    // Every line is checked on every round; a lost line shows its message and closes here.
    for (int i = 0; i < site->GetConnectionCount(); ++i) {
        if (CQorConnection* connection = site->GetConnection(i)) {
            connection->ServiceLink();
        }
    }
    StepAutoProfile();
    StepExpandAfterFind();
}

ViewId CWellvoxApp::CaretViewId() const
{
    const CWVTreeView* tree = m_frame->GetTreeView();
    const TreeItem item = tree->GetSelectedItem();
    const CQorView* node = tree->GetItemNode(item);
    return node != nullptr ? node->GetViewId(item) : ViewId::None;
}

void CWellvoxApp::OnProfileState(uintptr_t wparam, intptr_t lparam)
{
    emit ProfileState(wparam, lparam);
    if (m_profileHandler != nullptr) {
        m_profileHandler->OnProfileState(wparam, lparam);
    }
}

void CWellvoxApp::OnProfileStatus(uintptr_t wparam, intptr_t lparam)
{
    emit ProfileStatus(wparam, lparam);
    if (m_profileHandler != nullptr) {
        m_profileHandler->OnProfileStatus(wparam, lparam);
    }
}

void CWellvoxApp::StepAutoProfile()
{
    if (m_autoProfileState == 0) {
        return;
    }
    if (m_frame->IsCancelRequested()) {
        m_autoProfileState = 0;
        return;
    }
    if (m_autoProfileState < 0 || m_autoProfileState >= static_cast<int>(kAutoProfileNext.size())) {
        m_autoProfileState = 0;
        return;
    }
    m_autoProfileState = kAutoProfileNext[static_cast<size_t>(m_autoProfileState)];
    CWVTreeView* tree = m_frame->GetTreeView();
    const TreeItem caret = tree->GetSelectedItem();
    switch (m_autoProfileState) {
    case 2:
        if (CaretViewId() == ViewId::Connection) {
            tree->SelectItem(tree->GetChildItem(caret));
        } else {
            m_autoProfileState = 0;
        }
        break;
    case 4:
        if (CaretViewId() == ViewId::Device) {
            tree->SelectItem(tree->GetChildItem(caret));
        } else {
            m_autoProfileState = 0;
        }
        break;
    case 5:
        if (CaretViewId() == ViewId::ChannelList) {
            m_frame->PostViewCommand(wvcmd::kViewQuickProfile);
        } else {
            m_autoProfileState = 0;
        }
        break;
    default: break;
    }
}

void CWellvoxApp::StartExpandAfterFind()
{
    if (m_catalog != nullptr && m_catalog->expandOnFind != 0 && m_autoProfileState == 0) {
        SetExpandState(1);
    }
}

void CWellvoxApp::StepExpandAfterFind()
{
    if (m_expandState == 0) {
        return;
    }
    if (m_frame->IsCancelRequested()) {
        SetExpandState(0);
        return;
    }
    // The waits of states 4 and 5 are timer steps: the sequence is stepped again once
    // they are over, instead of waiting inside the idle work.
    if (m_expandPhase != 0 && NowMs() < m_expandDueMs) {
        return;
    }
    CWVTreeView* tree = m_frame->GetTreeView();
    const TreeItem caret = tree->GetSelectedItem();
    const ViewId view = CaretViewId();
    switch (m_expandState) {
    case 1:
        if (view == ViewId::Connection) {
            tree->SelectItem(tree->GetChildItem(caret));
            m_expandState = 2;
        } else {
            SetExpandState(0);
        }
        break;
    case 2:
        if (view != ViewId::Device) {
            SetExpandState(0);
        } else if (const TreeItem next = tree->GetNextSiblingItem(caret); next != kNoTreeItem) {
            tree->SelectItem(next);
        } else {
            SetExpandState(m_expandDropTest ? 3 : 0);
        }
        break;
    case 3:
        if (const TreeItem parent = tree->GetParentItem(caret); view == ViewId::Device && parent != kNoTreeItem) {
            tree->SelectItem(parent);
            m_expandState = 4;
        } else {
            SetExpandState(0);
        }
        break;
    case 4:
    case 5: {
        if (m_expandPhase == 0 && view != ViewId::Connection) {
            SetExpandState(0);
            break;
        }
        const uint32_t command = m_expandState == 4 ? wvcmd::kViewDrop : wvcmd::kViewFind;
        if (m_expandPhase == 0) {
            m_expandPhase = 1;
        } else if (m_expandPhase == 1) {
            m_frame->PostViewCommand(command);
            m_expandPhase = 2;
        } else {
            SetExpandState(m_expandState == 4 ? 5 : 1);
            break;
        }
        m_expandDueMs = NowMs() + m_sequenceWaitMs;
        break;
    }
    default: SetExpandState(0); break;
    }
}

// ---- Free functions ----

std::string GetWizardsIniPath()
{
    const std::string config = GetPathBesideExe("Config");
    std::error_code ec;
    std::filesystem::create_directories(config, ec); // a failure shows when the file is used
    return config + "/Wizards.ini";
}

double MakeDateSpanFromSeconds(uint32_t start, uint32_t end)
{
    if (end < start) {
        return 0.0;
    }
    return static_cast<double>(end - start) / 86400.0;
}
