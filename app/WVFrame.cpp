#include "app/WVFrame.h"

#include "app/AppPump.h"
#include "app/CommandIds.h"
#include "app/CsvExporterCom.h"
#include "app/DataFileViewLink.h"
#include "app/Dlg_AutoCSVExport.h"
#include "app/DlgHdoCapWarning.h"
#include "app/WVChannelView.h"
#include "app/WVChannelsView.h"
#include "app/WVConnectionView.h"
#include "app/WVDeviceView.h"
#include "app/WVSiteView.h"
#include "app/WVTestView.h"
#include "app/WVTestsView.h"
#include "app/WVTreeView.h"
#include "app/WVView.h"
#include "app/controls/Images.h"
#include "calibration/QikCalLog.h"
#include "foundation/AppUtils.h"
#include "foundation/Registry.h"
#include "platform/ProgramHome.h"
#include "resources/StringTable.h"
#include "site/QorDevice.h"
#include "site/WVDoc.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

using namespace wvcmd;

constexpr const char* kFrameSection = "Frame";
// Smallest sensible window; a stored rectangle below it is damaged.
constexpr int kMinWindowWidth = 200;
constexpr int kMinWindowHeight = 150;

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

struct DeviceErrorRow {
    int code;
    uint32_t textId;
};

// The device errors with their texts, by code.
constexpr std::array kDeviceErrors{
    DeviceErrorRow{110, kStrErrOutOfMemory},        DeviceErrorRow{597, kStrErrBatteriesDepleted},
    DeviceErrorRow{6002, kStrErrNoCommunication},   DeviceErrorRow{6010, kStrErrSetName},
    DeviceErrorRow{6012, kStrErrSetClock},          DeviceErrorRow{6015, kStrErrPackFlash},
    DeviceErrorRow{6017, kStrErrSetComm},           DeviceErrorRow{6020, kStrErrClockNotSet},
    DeviceErrorRow{6021, kStrErrMemoryFailure},     DeviceErrorRow{6022, kStrErrEditWhileRunning},
    DeviceErrorRow{6023, kStrErrHostTimeout},       DeviceErrorRow{6028, kStrErrNotCalibrated},
    DeviceErrorRow{6029, kStrErrSetBattery},        DeviceErrorRow{6040, kStrErrUpdateParameter},
    DeviceErrorRow{6041, kStrErrProbeBound},        DeviceErrorRow{6083, kStrErrMarkDelete},
    DeviceErrorRow{6085, kStrErrTestType},          DeviceErrorRow{6089, kStrErrTestNumber},
    DeviceErrorRow{6090, kStrErrNoRunningTest},     DeviceErrorRow{6091, kStrErrTestStart},
    DeviceErrorRow{6092, kStrErrTestChannelCount},  DeviceErrorRow{6093, kStrErrTestChannel},
    DeviceErrorRow{6094, kStrErrTestDateTime},      DeviceErrorRow{6095, kStrErrTestInterval},
    DeviceErrorRow{6096, kStrErrNoDataToExtract},   DeviceErrorRow{6097, kStrErrInterrupted},
    DeviceErrorRow{6098, kStrErrUserCanceledExtract}, DeviceErrorRow{6099, kStrErrDataTruncated},
    DeviceErrorRow{6100, kStrErrLocalTestFile},
    DeviceErrorRow{6143, kStrErrPortInUse},         DeviceErrorRow{6144, kStrErrConnect},
    DeviceErrorRow{6200, kStrErrModemDisconnected},
};

// Codes that reach the frame unmapped from below: the instrument's "no reply" is the
// application's "unable to communicate", and a device busy with another command gets a
// text of its own instead of the unknown-failure text.
constexpr int kNoReply = 5018;
constexpr int kNoCommunication = 6002;
constexpr int kDeviceBusy = 5110;

const DeviceErrorRow* FindDeviceError(int code)
{
    for (const DeviceErrorRow& row : kDeviceErrors) {
        if (row.code == code) {
            return &row;
        }
    }
    return nullptr;
}

// The modem states' texts, by state (0 has none).
constexpr uint32_t kModemStateTexts[] = {0,
                                         kStrModemInitializing,
                                         kStrModemDialing,
                                         kStrModemRedialing,
                                         kStrModemDroppingDtr,
                                         kStrModemSendingEscape,
                                         kStrModemConnected,
                                         kStrModemDisconnected,
                                         kStrModemHangingUp,
                                         kStrModemAnswering,
                                         kStrModemWaiting};

// The modem result codes that add a suffix to a state's text.
constexpr std::pair<int, uint32_t> kModemSuffixes[] = {
    {5101, kStrModemCouldNotInit}, {5102, kStrModemTimeout},        {5103, kStrModemBusy},
    {5104, kStrModemAborted},      {5105, kStrModemCouldNotHangup}, {5106, kStrModemNoDialTone},
    {5107, kStrModemCouldNotAnswer}};

// Room a status pane keeps beside its text (the style's inner spacing).
constexpr int kPaneTextPadding = 8;

// The width a status pane needs to show every one of texts whole: its frame, margins and
// padding around the widest text; never less than least.
int PaneWidthFor(const QLabel& pane, const QStringList& texts, int least)
{
    const QFontMetrics metrics(pane.font());
    int widest = 0;
    for (const QString& text : texts) {
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    const QMargins margins = pane.contentsMargins();
    const int around = 2 * pane.frameWidth() + margins.left() + margins.right() + 2 * pane.margin() + kPaneTextPadding;
    return std::max(least, widest + around);
}

// The empty view's template; nodes whose views are still to come show it too.
ViewTemplate TemplateFor(ViewId) { return ViewTemplate{kEmptyView, false, 0, 260, 80}; }

bool IsDataFileView(ViewId id) { return id == ViewId::DataFileGraph || id == ViewId::DataFileText; }

} // namespace

CWVFrame::CWVFrame(CWVDoc* doc, QWidget* parent) : QMainWindow(parent), m_doc(doc)
{
    wvctl::InitImages();
    setObjectName(QStringLiteral("CWVFrame"));
    setWindowIcon(QIcon(QStringLiteral(":/images/wellvox.svg")));
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateClient();
    m_clockTimer = new QTimer(this);
    m_clockTimer->setObjectName(QStringLiteral("timer2"));
    connect(m_clockTimer, &QTimer::timeout, this, &CWVFrame::OnClockTimer);
    m_clockTimer->start(kClockTimerMs);
    m_animationTimer = new QTimer(this);
    m_animationTimer->setObjectName(QStringLiteral("timer4"));
    connect(m_animationTimer, &QTimer::timeout, this, &CWVFrame::StepSearchAnimation);
    connect(this, &CWVFrame::ReloadDataTree, this, &CWVFrame::OnReloadDataTree);
    connect(this, &CWVFrame::RootFocusDataTree, this, &CWVFrame::OnRootFocusDataTree);
    qApp->installEventFilter(this);
    SetMainFrame(this);
    UpdateTitle();
}

CWVFrame::~CWVFrame()
{
    qApp->removeEventFilter(this);
    if (GetMainFrame() == this) {
        SetMainFrame(nullptr);
    }
    // The tree goes before the document's nodes would touch it again.
    delete m_splitter;
    m_splitter = nullptr;
}

// ---- Creation ----

QAction* CWVFrame::AddCommand(QMenu* menu, uint32_t id, const char* text, bool enabled)
{
    auto* action = new QAction(QString::fromUtf8(text), this);
    action->setObjectName(QString::number(id));
    action->setEnabled(enabled);
    const std::string_view prompt = GetResString(id);
    if (!prompt.empty()) {
        const QString full = Qs(prompt);
        action->setStatusTip(full.section(QLatin1Char('\n'), 0, 0));
        action->setToolTip(full.contains(QLatin1Char('\n')) ? full.section(QLatin1Char('\n'), 1, 1) : full);
    }
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    if (menu != nullptr) {
        menu->addAction(action);
    }
    m_actions[id] = action;
    return action;
}

void CWVFrame::CreateMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QString::number(kMainMenu));
    QMenu* file = bar->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("File"));
    AddCommand(file, kFileNew, "&New Site", true)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    AddCommand(file, kFileOpen, "&Open Site", true)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    AddCommand(file, kFileSave, "&Save Site", true)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    AddCommand(file, kFileSaveAs, "Save Site &As...", true);
    file->addSeparator();
    // Report and print commands belong to the data-file views, which enable them.
    AddCommand(file, kSaveReport, "Save &Report...", false);
    AddCommand(file, kExportExcel, "&Export to Excel", false);
    AddCommand(file, kPrintReport, "&Print Report...", false);
    file->addSeparator();
    AddCommand(file, kPrintGraph, "Print &Graph...", false);
    file->addSeparator();
    // Adding a BIN file to the Data folder comes with the data-file work.
    AddCommand(file, kOpenBinFile, "Open &BIN File...", false);
    file->addSeparator();
    AddCommand(file, kAppExit, "E&xit", true);

    QMenu* options = bar->addMenu(tr("&Options"));
    options->setObjectName(QStringLiteral("Options"));
    // The preferences dialog is not built yet.
    AddCommand(options, kPreferences, "&Preferences...", false);

    QMenu* tools = bar->addMenu(tr("&Tools"));
    tools->setObjectName(QStringLiteral("Tools"));
    AddCommand(tools, kShowCalReports, "&Show Calibration Reports...", true);
    // The barometric wizard, the low-flow launcher and the CSV export come later.
    AddCommand(tools, kBaroWiz, "&BaroWiz...", false);
    AddCommand(tools, kLowvane, "&Lowvane\u2122...", false);
    AddCommand(tools, kPalmsync, "&Palmsync", false);
    AddCommand(tools, kCsvExport, "&CSV Export...", false);

    m_graphMenu = bar->addMenu(tr("&Graph"));
    m_graphMenu->setObjectName(QStringLiteral("Graph"));
    // The resource's Graph items; a graph view puts its own in their place.
    AddCommand(nullptr, kGraphSelectChannel, "Select &Channel...", false);
    AddCommand(nullptr, kGraphSelectUnits, "Select &Units...", false);
    AddCommand(nullptr, kGraphFormatAxis, "&Format Axis...", false);
    AddCommand(nullptr, kGraphGrid, "&Grid...", false);
    AddCommand(nullptr, kGraphTitle, "Graph &Title...", false);
    AddCommand(nullptr, kGraphAxisTitle, "&Axis Title...", false);
    // A data-file graph view fills the menu each time it opens; its items carry their
    // command ids, which the view carries out.
    connect(m_graphMenu, &QMenu::aboutToShow, this, [this] {
        m_graphMenu->clear();
        if (auto* link = dynamic_cast<CDataFileViewLink*>(m_view)) {
            link->AddGraphMenu(*m_graphMenu);
        }
    });
    connect(m_graphMenu, &QMenu::triggered, this, [this](QAction* action) {
        if (action->data().isValid()) {
            RunCommand(action->data().toUInt());
        }
    });
    m_graphMenu->setEnabled(false);
    connect(tools, &QMenu::aboutToShow, this, &CWVFrame::UpdateBaroWizCommand);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("Help"));
    AddCommand(help, kAppAbout, "&About Wellvox\u00AE...", true);
    m_busyMenus = {tools};

    // Pane switching keys.
    AddCommand(nullptr, kNextPane, "Next Pane", true)->setShortcut(QKeySequence(Qt::Key_F6));
    AddCommand(nullptr, kPrevPane, "Previous Pane", true)->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
    addAction(Action(kNextPane));
    addAction(Action(kPrevPane));
}

void CWVFrame::CreateToolBar()
{
    m_toolBar = addToolBar(tr("Standard"));
    m_toolBar->setObjectName(QString::number(kToolBar));
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(32, 22));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    struct Button {
        uint32_t id;
        uint32_t textId;
        const char* image;
    };
    const Button buttons[] = {
        {kFileNew, kStrButtonNew, "new"},           {kFileOpen, kStrButtonOpen, "open"},
        {kFileSave, kStrButtonSave, "save"},        {kCancelOperation, kStrButtonCancel, "cancel"},
        {kToggleSplit, kStrFullScreen, "fullscreen"}, {kShowCalReport, kStrButtonCalReport, "report"},
        {kPalmsync, kStrButtonSync, "sync"},
    };
    for (const Button& b : buttons) {
        QAction* action = Action(b.id);
        if (action == nullptr) {
            action = AddCommand(nullptr, b.id, "", true);
        }
        if (b.id == kCancelOperation) {
            action->setEnabled(false);
        }
        action->setIconText(Qs(GetResString(b.textId)));
        action->setIcon(QIcon(QStringLiteral(":/images/tb_%1.svg").arg(QLatin1String(b.image))));
        m_toolBar->addAction(action);
        if (auto* button = qobject_cast<QToolButton*>(m_toolBar->widgetForAction(action))) {
            button->setObjectName(QString::number(b.id));
            button->setMinimumSize(kToolButtonSize, kToolButtonSize);
        }
    }
    Action(kPalmsync)->setEnabled(IsPalmsyncPresent());
    OnUpdateCsvExport();
}

void CWVFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusbar"));
    bar->setMinimumHeight(kStatusMinHeight);
    const int widths[4] = {0, kPaneProgressWidth, kPaneModemWidth, kPaneClockWidth};
    // The longest texts of the modem pane and the clock pane: every state with every
    // suffix, a redial wait of 255 s, a call of 99 hours, the widest digits of a clock.
    QStringList modemTexts;
    for (int state = 1; state < static_cast<int>(std::size(kModemStateTexts)); ++state) {
        modemTexts << Qs(ModemStatusText(state, 0));
        for (const auto& suffix : kModemSuffixes) {
            modemTexts << Qs(ModemStatusText(state, suffix.first));
        }
    }
    modemTexts << Qs(ModemStatusText(3, 255)) << Qs(ModemStatusText(6, 99 * 3600 + 59 * 60 + 59));
    const QStringList paneTexts[4] = {{}, {}, modemTexts, {QStringLiteral("8888-88-88  88:88:88")}};
    for (int i = 0; i < 4; ++i) {
        m_panes[i] = new QLabel(bar);
        m_panes[i]->setObjectName(QStringLiteral("pane%1").arg(i));
        if (i == 0) {
            bar->addWidget(m_panes[i], 1);
        } else {
            m_panes[i]->setFrameShape(QFrame::StyledPanel);
            // A pane is as wide as the longest text it shows, so none is cut.
            m_panes[i]->setFixedWidth(PaneWidthFor(*m_panes[i], paneTexts[i], widths[i]));
            bar->addPermanentWidget(m_panes[i]);
        }
    }
    m_panes[0]->setText(Qs(GetResString(kStrReady)));
}

void CWVFrame::CreateClient()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QString::number(kFirstPane));
    m_splitter->setChildrenCollapsible(true);
    m_tree = new CWVTreeView(m_doc, this, m_splitter);
    m_view = new CWVView(TemplateFor(ViewId::Empty), m_splitter);
    m_view->SetDocument(m_doc);
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_view);
    setCentralWidget(m_splitter);
    m_doc->AddView(m_tree);
    // Whatever form view the right pane shows is the document's second view.
    m_formViewUpdates.frame = this;
    m_doc->AddView(&m_formViewUpdates);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    setGeometry(PlacementFromRegistry(available));
    const int width = geometry().width();
    const auto defaultCol0 = static_cast<uint32_t>(0.3 * width);
    const auto defaultCol1 = static_cast<uint32_t>(0.7 * width);
    uint32_t col0 = ReadRegDword(kFrameSection, "Col0", defaultCol0);
    uint32_t col1 = ReadRegDword(kFrameSection, "Col1", defaultCol1);
    // Widths no screen could hold are damaged values: the defaults stand. Others are
    // fitted to the window by the splitter, in proportion.
    constexpr uint32_t kMaxPaneWidth = 16384;
    if (col0 > kMaxPaneWidth || col1 > kMaxPaneWidth || col0 + col1 == 0) {
        col0 = defaultCol0;
        col1 = defaultCol1;
    }
    m_initialSizes = {static_cast<int>(col0), static_cast<int>(col1)};
    m_splitter->setSizes(m_initialSizes);
    m_savedTreeWidth = static_cast<int>(col0);
    m_split = col0 != 0;
    ApplyImageSet();
    m_view->OnInitialUpdate();
}

QRect CWVFrame::DefaultGeometry(const QRect& screen)
{
    const int width = std::min(screen.width() - 25, 800);
    const int height = std::min(screen.height() - 89, 600);
    QRect r(0, 0, std::max(width, kMinWindowWidth), std::max(height, kMinWindowHeight));
    r.moveCenter(screen.center());
    return r;
}

QRect CWVFrame::PlacementFromRegistry(const QRect& screen)
{
    const QRect fallback = DefaultGeometry(screen);
    constexpr uint32_t kMissing = 0x80000000u;
    const uint32_t values[4] = {ReadRegDword(kFrameSection, "Left", kMissing), ReadRegDword(kFrameSection, "Top", kMissing),
                                ReadRegDword(kFrameSection, "Right", kMissing),
                                ReadRegDword(kFrameSection, "Bottom", kMissing)};
    if (std::any_of(std::begin(values), std::end(values), [](uint32_t v) { return v == kMissing; })) {
        return fallback;
    }
    const auto left = static_cast<int32_t>(values[0]);
    const auto top = static_cast<int32_t>(values[1]);
    const auto right = static_cast<int32_t>(values[2]);
    const auto bottom = static_cast<int32_t>(values[3]);
    if (right - left < kMinWindowWidth || bottom - top < kMinWindowHeight) {
        return fallback;
    }
    // Kept on the screen: no larger than it, and moved inside it.
    QRect r(left, top, std::min(right - left, screen.width()), std::min(bottom - top, screen.height()));
    r.moveLeft(std::clamp(r.left(), screen.left(), screen.right() + 1 - r.width()));
    r.moveTop(std::clamp(r.top(), screen.top(), screen.bottom() + 1 - r.height()));
    return r;
}

void CWVFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_initialSizes.isEmpty()) {
        // The splitter spreads widths given before it had a size; once the window is laid
        // out the stored widths are given again.
        m_splitter->resize(centralWidget()->size());
        layout()->activate();
        m_splitter->setSizes(m_initialSizes);
        m_initialSizes.clear();
    }
}

void CWVFrame::ApplyImageSet()
{
    QAction* toggle = Action(kToggleSplit);
    toggle->setIconText(Qs(GetResString(m_split ? kStrFullScreen : kStrSplitScreen)));
    toggle->setIcon(QIcon(m_split ? QStringLiteral(":/images/tb_fullscreen.svg") : QStringLiteral(":/images/tb_split.svg")));
}

QAction* CWVFrame::Action(uint32_t command) const
{
    auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

// ---- Busy state ----

void CWVFrame::BeginBusy()
{
    m_busy = true;
    if (m_busyCount == 0) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_splitter->setEnabled(false);
        for (uint32_t id : {kFileNew, kFileOpen, kFileSave, kToggleSplit, kShowCalReport}) {
            Action(id)->setEnabled(false);
        }
        SetMenusEnabled(false);
    }
    ++m_busyCount;
    if (m_cancellable) {
        Action(kCancelOperation)->setEnabled(true);
    }
}

void CWVFrame::SetCancellable(bool cancellable)
{
    m_cancellable = cancellable;
    // Cancel is offered only inside a busy span; EndBusy greys it and clears the flag.
    Action(kCancelOperation)->setEnabled(cancellable && m_busy);
}

void CWVFrame::EndBusy()
{
    if (m_busyCount == 0) {
        return;
    }
    if (--m_busyCount > 0) {
        return;
    }
    m_cancellable = false;
    m_cancelRequested = false;
    m_busy = false;
    // A suspended look has given the cursor back already.
    if (m_lookSuspensions == 0) {
        QApplication::restoreOverrideCursor();
    }
    m_lookSuspensions = 0;
    m_splitter->setEnabled(true);
    for (uint32_t id : {kFileNew, kFileOpen, kFileSave, kToggleSplit, kShowCalReport}) {
        Action(id)->setEnabled(true);
    }
    SetMenusEnabled(true);
    Action(kCancelOperation)->setEnabled(false);
}

void CWVFrame::SetMenusEnabled(bool enable)
{
    // Only the commands that exist are enabled again; those still to come stay greyed.
    for (uint32_t id : {kFileNew, kFileOpen, kFileSave, kFileSaveAs, kAppAbout}) {
        Action(id)->setEnabled(enable);
    }
    for (QMenu* menu : m_busyMenus) {
        menu->setEnabled(enable);
    }
    if (!enable) {
        for (uint32_t id : {kSaveReport, kExportExcel, kPrintReport, kPrintGraph}) {
            Action(id)->setEnabled(false);
        }
    } else {
        EnableReportMenus(m_reportMenusOn);
        EnablePrintGraphMenu(m_printGraphOn);
    }
}

void CWVFrame::EnableReportMenus(bool enable)
{
    m_reportMenusOn = enable;
    for (uint32_t id : {kSaveReport, kExportExcel, kPrintReport}) {
        Action(id)->setEnabled(enable && !m_busy);
    }
}

void CWVFrame::EnablePrintGraphMenu(bool enable)
{
    m_printGraphOn = enable;
    Action(kPrintGraph)->setEnabled(enable && !m_busy);
}

// ---- Status bar ----

void CWVFrame::SetStatusText(std::string_view text)
{
    m_panes[0]->setText(text.empty() ? Qs(GetResString(kStrReady)) : Qs(text));
    m_panes[0]->repaint();
}

void CWVFrame::SetStatusTextId(uint32_t id) { SetStatusText(GetResString(id)); }

void CWVFrame::SetProgress(unsigned position, bool smooth)
{
    if (position == 0) {
        delete m_progress.data();
        return;
    }
    if (m_progress == nullptr) {
        m_progress = new QProgressBar(m_panes[1]);
        m_progress->setObjectName(QString::number(kProgressBar));
        m_progress->setRange(0, 100);
        m_progress->setTextVisible(false);
        m_progress->setGeometry(m_panes[1]->rect());
        m_progress->show();
    }
    m_progress->setProperty("smooth", smooth);
    m_progress->setValue(static_cast<int>(position % 101));
}

void CWVFrame::ShowModemStatus(int state, int value) { m_panes[2]->setText(Qs(ModemStatusText(state, value))); }

std::string CWVFrame::ModemStatusText(int state, int value)
{
    std::string text;
    if (state == 3) {
        text = FormatResString(kStrModemRedialing, value);
    } else if (state == 6) {
        const unsigned seconds = static_cast<unsigned>(value);
        char clock[32];
        std::snprintf(clock, sizeof clock, " %2.2u:%2.2u:%2.2u", seconds / 3600, (seconds / 60) % 60, seconds % 60);
        text = std::string(GetResString(kStrModemConnected)) + clock;
    } else if (state >= 1 && state < static_cast<int>(std::size(kModemStateTexts))) {
        text = GetResString(kModemStateTexts[state]);
        for (const auto& [code, id] : kModemSuffixes) {
            if (code == value) {
                text += GetResString(id);
            }
        }
    }
    return text;
}

std::string CWVFrame::DeviceErrorText(int code, const int* dropFlag)
{
    if (code == kNoReply) {
        code = kNoCommunication;
    }
    if (code == kDeviceBusy) {
        return FormatResString(kStrErrDeviceBusy, code);
    }
    if (const DeviceErrorRow* row = FindDeviceError(code)) {
        std::string text = FormatResString(row->textId, code);
        // A download that failed on this computer names the folder it was writing in.
        if (const size_t at = text.find("%1"); row->textId == kStrErrLocalTestFile && at != std::string::npos) {
            text.replace(at, 2, (wv::ProgramHome() / "Data").string());
        }
        return text;
    }
    if (dropFlag != nullptr && *dropFlag != 0) {
        std::string text = "Error #%d-Unknown failure occurred!\nConnection will be dropped.";
        text.replace(text.find("%d"), 2, std::to_string(code));
        return text;
    }
    return FormatResString(kStrErrUnknown, code);
}

bool CWVFrame::ReportDeviceError(int code, std::string_view caption, int* dropFlag)
{
    // The text is formatted here (no string id), and the caption is given as text.
    SiteMessage message;
    message.icon = MessageIcon::Error;
    message.detail = DeviceErrorText(code, dropFlag);
    const int shown = code == kNoReply ? kNoCommunication : code;
    bool refresh = false;
    if (shown == kDeviceBusy || FindDeviceError(shown) != nullptr) {
        if (dropFlag != nullptr) {
            *dropFlag = 0;
        }
        refresh = shown == kNoCommunication;
    } else {
        refresh = dropFlag == nullptr || *dropFlag == 0;
    }
    lastErrorCaption = caption;
    if (messageResponder) {
        messageResponder(message);
    } else {
        QMessageBox::critical(this, Qs(caption), Qs(message.detail));
    }
    return refresh;
}

// ---- Messages and dialogs ----

MessageAnswer CWVFrame::ShowMessage(const SiteMessage& message)
{
    return ShowMessageText(message, GetResString(message.textId));
}

MessageAnswer CWVFrame::ShowNumberMessage(const SiteMessage& message, int number)
{
    return ShowMessageText(message, FormatResString(message.textId, number));
}

MessageAnswer CWVFrame::ShowMessageText(const SiteMessage& message, std::string_view body)
{
    lastMessageText = body;
    if (messageResponder) {
        return messageResponder(message);
    }
    QMessageBox box(this);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(Qs(GetResString(message.captionId != 0 ? message.captionId : kStrAppTitle)));
    QString text = Qs(body);
    if (!message.detail.empty()) {
        text += (text.isEmpty() ? QString() : QStringLiteral("\n\n")) + Qs(message.detail);
    }
    box.setText(text);
    switch (message.icon) {
    case MessageIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::None: break;
    }
    QMessageBox::StandardButton def = QMessageBox::Ok;
    switch (message.buttons) {
    case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MessageButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    }
    switch (message.defaultAnswer) {
    case MessageAnswer::Ok: def = QMessageBox::Ok; break;
    case MessageAnswer::Yes: def = QMessageBox::Yes; break;
    case MessageAnswer::No: def = QMessageBox::No; break;
    case MessageAnswer::Cancel: def = QMessageBox::Cancel; break;
    }
    box.setDefaultButton(def);
    switch (box.exec()) {
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    default: return MessageAnswer::Ok;
    }
}

int CWVFrame::ShowCapWarning(std::string_view text, int days, int remindAgain)
{
    CDlgHdoCapWarning dialog(text, days, this);
    dialog.m_remindIndex = remindAgain;
    dialog.DoModal();
    return dialog.m_remindIndex;
}

std::optional<std::string> CWVFrame::AskSavePath(std::string_view suggestedPath)
{
    if (fileResponder) {
        return fileResponder(true, suggestedPath);
    }
    const QString filter = QStringLiteral("Wellvox Files (*.wv4)");
    const QString path = QFileDialog::getSaveFileName(this, QString(), Qs(suggestedPath), filter);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    std::string chosen = path.toStdString();
    if (!path.endsWith(QStringLiteral(".wv4"), Qt::CaseInsensitive)) {
        chosen += ".wv4";
    }
    return chosen;
}

std::optional<std::string> CWVFrame::AskOpenPath()
{
    if (fileResponder) {
        return fileResponder(false, m_doc->GetPathName());
    }
    const QString path = QFileDialog::getOpenFileName(this, QString(), Qs(GetFolderOfPath(m_doc->GetPathName())),
                                                      QStringLiteral("Wellvox Files (*.wv4)"));
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path.toStdString();
}

std::optional<std::string> CWVFrame::AskOpenFilePath(std::string_view startFolder, std::string_view filter,
                                                     std::string_view defaultExtension)
{
    if (fileResponder) {
        return fileResponder(false, startFolder);
    }
    QFileDialog dialog(this, QString(), Qs(startFolder), Qs(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(Qs(defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

void CWVFrame::UpdateWindowTitle() { UpdateTitle(); }

void CWVFrame::UpdateTitle()
{
    const QString base = property("titleBase").toString();
    if (m_doc == nullptr || m_doc->GetSite() == nullptr) {
        setWindowTitle(QStringLiteral("Untitled"));
        return;
    }
    setWindowTitle(base + QStringLiteral(" - ") + Qs(m_doc->GetTitle()));
}

void CWVFrame::BringToForeground()
{
    show();
    raise();
    activateWindow();
}

void CWVFrame::FormViewUpdates::OnUpdate(int)
{
    if (frame != nullptr && frame->m_view != nullptr) {
        frame->m_view->OnUpdate();
    }
}

void CWVFrame::ActivateTreeView()
{
    if (m_tree != nullptr && m_split) {
        m_tree->setFocus();
    }
}

void CWVFrame::Beep() { QApplication::beep(); }

// ---- View switching ----

void CWVFrame::SwitchView(ViewId viewId, CQorView* node)
{
    const TreeItem item = node != nullptr ? m_tree->GetSelectedItem() : kNoTreeItem;
    const ViewId current = m_doc->GetCurrentViewId();
    m_doc->SetSelection(node, item, current);
    if (viewId == current && m_view != nullptr) {
        m_view->SaveColumnWidths();
        // The same data-file view shows the newly selected node: any correction ends here.
        if (auto* link = dynamic_cast<CDataFileViewLink*>(m_view); link != nullptr && IsDataFileView(viewId)) {
            link->CloseFiles();
        } else if (viewId == ViewId::LowFlowText || viewId == ViewId::LowFlowGraph) {
            m_view->ReleaseDataFile();
        }
        // The form view is the document's second view: it reads the new node here.
        m_doc->UpdateOtherViews();
        return;
    }
    EnableReportMenus(false);
    EnablePrintGraphMenu(false);
    // Between the graph and the text view of one file the compensated copy goes along.
    std::string compensatedCopy;
    if (IsDataFileView(current) && IsDataFileView(viewId)) {
        if (auto* link = dynamic_cast<CDataFileViewLink*>(m_view)) {
            compensatedCopy = link->CopyCompensatedFile();
        }
    }
    m_doc->SetSelection(node, item, viewId);
    const QList<int> sizes = m_splitter->sizes();
    // The old view may be the one whose handler asked for the switch: it is retired now
    // and deleted at the top level.
    if (m_view != nullptr) {
        m_view->SaveColumnWidths();
        // A retired data-file view lets go of its files now (its temporary file too), not
        // when it is deleted later.
        if (auto* link = dynamic_cast<CDataFileViewLink*>(m_view)) {
            link->CloseFiles();
        }
        m_view->hide();
        m_view->setParent(nullptr);
        m_retired.emplace_back(m_view);
    }
    m_view = CreateFormView(viewId);
    m_view->SetDocument(m_doc);
    m_splitter->insertWidget(1, m_view);
    m_splitter->setSizes(sizes);
    switch (viewId) {
    case ViewId::DataFileGraph:
    case ViewId::LowFlowGraph:
    case ViewId::LowFlowFolder: EnablePrintGraphMenu(true); break;
    case ViewId::DataFileText:
    case ViewId::LowFlowText: EnableReportMenus(true); break;
    default: break;
    }
    m_view->OnInitialUpdate();
    m_view->show();
    m_graphMenu->setEnabled(viewId == ViewId::DataFileGraph && dynamic_cast<CDataFileViewLink*>(m_view) != nullptr);
    if (!compensatedCopy.empty()) {
        if (auto* link = dynamic_cast<CDataFileViewLink*>(m_view)) {
            link->OpenFile(compensatedCopy);
            m_doc->UpdateOtherViews();
        } else {
            std::error_code ec;
            std::filesystem::remove(compensatedCopy, ec);
        }
    }
    UpdateBaroWizCommand();
    QTimer::singleShot(0, this, &CWVFrame::RunPostedWork);
}

void CWVFrame::UpdateBaroWizCommand()
{
    const DataFileViewFactory& factory = GetDataFileViewFactory();
    Action(kBaroWiz)->setEnabled(factory.baroCorrectionAvailable && factory.baroCorrectionAvailable());
}

void CWVFrame::OnBaroWiz()
{
    const DataFileViewFactory& factory = GetDataFileViewFactory();
    if (m_doc == nullptr || m_doc->GetSelectedNode() == nullptr || !factory.baroCorrectionAvailable ||
        !factory.baroCorrectionAvailable()) {
        return;
    }
    auto* link = dynamic_cast<CDataFileViewLink*>(m_view);
    if (link != nullptr && m_doc->GetSelectedNode()->GetNodeType() == NodeType::DataFile) {
        if (link->RunBaroWizard(this)) {
            m_doc->UpdateOtherViews();
        }
        return;
    }
    SiteMessage message;
    message.textId = kStrBaroNotCompensable;
    message.captionId = kStrProgramCaption;
    message.icon = MessageIcon::Information;
    ShowMessage(message);
}

CWVView* CWVFrame::CreateFormView(ViewId viewId)
{
    switch (viewId) {
    case ViewId::Site: return new CWVSiteView(this);
    case ViewId::Connection: return new CWVConnectionView(this);
    case ViewId::Device: return new CWVDeviceView(this);
    case ViewId::ChannelList: return new CWVChannelsView(this);
    case ViewId::Channel: return new CWVChannelView(this);
    case ViewId::TestList: return new CWVTestsView(this);
    case ViewId::Test: return new CWVTestView(this);
    case ViewId::DataFileGraph:
    case ViewId::DataFileText:
        if (const DataFileViewFactory& factory = GetDataFileViewFactory(); factory.create) {
            if (CWVView* view = factory.create(viewId)) {
                return view;
            }
        }
        return new CWVView(TemplateFor(viewId));
    default: return new CWVView(TemplateFor(viewId));
    }
}

void CWVFrame::DetachDocument()
{
    if (m_doc != nullptr) {
        m_doc->RemoveView(&m_formViewUpdates);
    }
    if (m_tree != nullptr) {
        m_tree->DetachDocument();
    }
}

void CWVFrame::PostSwitchView(ViewId viewId)
{
    m_postedSwitches.push_back(viewId);
    QTimer::singleShot(0, this, &CWVFrame::RunPostedWork);
}

void CWVFrame::PostTopLevelWork(std::function<void()> work)
{
    m_postedWork.push_back(std::move(work));
    QTimer::singleShot(0, this, &CWVFrame::RunPostedWork);
}

void CWVFrame::PostViewCommand(uint32_t command)
{
    m_postedCommands.push_back(command);
    QTimer::singleShot(0, this, &CWVFrame::RunPostedWork);
}

bool CWVFrame::IsTopLevel()
{
    return wvapp::GetPumpDepth() == 0 && QApplication::activeModalWidget() == nullptr &&
           QApplication::activePopupWidget() == nullptr;
}

void CWVFrame::RunPostedWork()
{
    if (!IsTopLevel()) {
        return;
    }
    m_retired.clear();
    DeleteRetiredNodes();
    while (!m_busy && IsTopLevel() &&
           (!m_postedSwitches.empty() || !m_postedCommands.empty() || !m_postedWork.empty())) {
        if (!m_postedWork.empty()) {
            const std::function<void()> work = std::move(m_postedWork.front());
            m_postedWork.pop_front();
            work();
            continue;
        }
        if (!m_postedSwitches.empty()) {
            const ViewId viewId = m_postedSwitches.front();
            m_postedSwitches.pop_front();
            SwitchView(viewId, m_doc->GetSelectedNode());
            continue;
        }
        const uint32_t command = m_postedCommands.front();
        m_postedCommands.pop_front();
        if (m_tree != nullptr && command >= kTreeAddConnection && command <= kTreeStopTests) {
            m_tree->OnTreeCommand(command);
        } else if (m_view != nullptr && m_view->HandlesCommand(command)) {
            m_view->OnViewCommand(command);
        }
        m_retired.clear();
        DeleteRetiredNodes();
    }
}

// ---- Commands ----

void CWVFrame::RunCommand(uint32_t command)
{
    // Commands of the right-hand data views come first.
    if (m_view != nullptr && m_view->HandlesCommand(command)) {
        m_view->OnViewCommand(command);
        return;
    }
    switch (command) {
    case kCancelOperation: OnCancelOperation(); return;
    case kToggleSplit: OnToggleSplit(); return;
    case kShowCalReport:
    case kShowCalReports: OnShowCalReports(); return;
    case kPalmsync: OnPalmsync(); return;
    case kCsvExport: OnCsvExport(); return;
    case kBaroWiz: OnBaroWiz(); return;
    case kAppExit: close(); return;
    case kNextPane:
    case kPrevPane:
        if (m_tree->hasFocus() && m_view != nullptr) {
            m_view->setFocus();
        } else {
            ActivateTreeView();
        }
        return;
    default: break;
    }
    if (onAppCommand) {
        onAppCommand(command);
    }
}

void CWVFrame::OnCsvExport()
{
    // Modal, without an owner.
    CDlg_AutoCSVExport dialog(this);
    dialog.exec();
}

void CWVFrame::OnUpdateCsvExport() { Action(kCsvExport)->setEnabled(IsAutoCsvExporterAvailable()); }

void CWVFrame::OnCancelOperation()
{
    if (m_cancellable) {
        m_cancelRequested = true;
    }
}

void CWVFrame::OnToggleSplit()
{
    QList<int> sizes = m_splitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (m_split) {
        m_split = false;
        m_savedTreeWidth = sizes.value(0) != 0 ? sizes.value(0) : total / 3;
        m_splitter->setSizes({0, total});
    } else {
        m_split = true;
        if (sizes.value(0) != 0) {
            m_savedTreeWidth = sizes.value(0);
        } else {
            if (m_savedTreeWidth == 0) {
                m_savedTreeWidth = total / 3;
            }
            m_splitter->setSizes({m_savedTreeWidth, total - m_savedTreeWidth});
        }
    }
    ApplyImageSet();
}

void CWVFrame::OnShowCalReports()
{
    EnsureCalReportIndex();
    RunShellOpen(GetPathBesideExe("Calibration Reports/Index.html"));
}

bool CWVFrame::RunShellOpen(const std::string& path)
{
    if (ShellOpen(path, {})) {
        return true;
    }
    // Nothing would show otherwise: the user learns what was to open and that nothing could.
    SiteMessage message;
    message.icon = MessageIcon::Error;
    message.detail = FormatResString(kStrShellOpenFailed, path);
    ShowMessage(message);
    return false;
}

bool CWVFrame::IsPalmsyncPresent()
{
    if (!m_palmsyncPresent.has_value()) {
        m_palmsyncPresent = PathExists(GetPathBesideExe("Palmsync.exe"));
    }
    return *m_palmsyncPresent;
}

void CWVFrame::OnPalmsync()
{
    if (IsPalmsyncPresent()) {
        RunCommandLine('"' + GetPathBesideExe("Palmsync.exe") + '"');
    }
}

// ---- Timers ----

void CWVFrame::OnClockTimer()
{
    if (m_closing || m_doc == nullptr || m_doc->GetSite() == nullptr) {
        return;
    }
    // The device of the selected node: a device itself, the device of a test or a channel.
    const CQorDevice* device = nullptr;
    if (CQorView* node = m_doc->GetSelectedNode()) {
        switch (node->GetNodeType()) {
        case NodeType::Device: device = dynamic_cast<const CQorDevice*>(node); break;
        case NodeType::Test:
        case NodeType::Channel: device = dynamic_cast<const CQorDevice*>(node->GetParent()); break;
        default: break;
        }
    }
    m_panes[3]->setText(device != nullptr ? Qs(device->GetClockText()) : QString());
}

void CWVFrame::StartSearchAnimation(uint32_t intervalMs)
{
    m_animationCounter = 0;
    m_animationTimer->start(static_cast<int>(std::clamp<uint32_t>(intervalMs, 1u, 60000u)));
}

void CWVFrame::StopSearchAnimation()
{
    m_animationTimer->stop();
    SetProgress(0u, false);
}

void CWVFrame::StepSearchAnimation()
{
    if (m_closing || m_doc == nullptr) {
        return;
    }
    m_animationCounter = static_cast<uint16_t>((m_animationCounter + 5) % 100 + 1);
    SetProgress(m_animationCounter, false);
}

void CWVFrame::ExpandFoundDevices()
{
    if (onExpandFoundDevices) {
        onExpandFoundDevices();
    }
}

void CWVFrame::OnDeviceExpanded()
{
    if (onDeviceExpanded) {
        onDeviceExpanded();
    }
}

void CWVFrame::SuspendBusyLook()
{
    if (!m_busy || m_lookSuspensions++ > 0) {
        return;
    }
    QApplication::restoreOverrideCursor();
    m_splitter->setEnabled(true);
}

void CWVFrame::ResumeBusyLook()
{
    if (m_lookSuspensions == 0 || --m_lookSuspensions > 0) {
        return;
    }
    if (m_busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_splitter->setEnabled(false);
    }
}

// ---- Registered messages ----

void CWVFrame::OnReloadDataTree()
{
    if (CQorSite* site = m_doc->GetSite()) {
        site->RefreshTreeItem();
    }
}

void CWVFrame::OnRootFocusDataTree()
{
    if (CQorSite* site = m_doc->GetSite()) {
        site->SelectTreeItem();
    }
    m_doc->UpdateOtherViews();
}

// ---- Keys and closing ----

bool CWVFrame::eventFilter(QObject* watched, QEvent* event)
{
    // Esc cancels a cancellable operation wherever the keyboard focus is; while busy no
    // other key reaches the window's controls.
    if (event->type() == QEvent::KeyPress && m_busy && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && m_cancellable) {
            m_cancelRequested = true;
        }
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void CWVFrame::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && m_cancellable) {
        m_cancelRequested = true;
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void CWVFrame::SavePlacement()
{
    const QRect r = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    WriteRegDword(kFrameSection, "Left", static_cast<uint32_t>(r.left()));
    WriteRegDword(kFrameSection, "Top", static_cast<uint32_t>(r.top()));
    WriteRegDword(kFrameSection, "Right", static_cast<uint32_t>(r.left() + r.width()));
    WriteRegDword(kFrameSection, "Bottom", static_cast<uint32_t>(r.top() + r.height()));
    WriteRegDword(kFrameSection, "State", isMaximized() ? 3u : 1u);
    const QList<int> sizes = m_splitter->sizes();
    WriteRegDword(kFrameSection, "Col0", static_cast<uint32_t>(std::max(sizes.value(0), 0)));
    WriteRegDword(kFrameSection, "Col1", static_cast<uint32_t>(std::max(sizes.value(1), 0)));
}

void CWVFrame::closeEvent(QCloseEvent* event)
{
    if (m_busy || !IsTopLevel()) {
        // Finished by the idle work once the operation is over.
        m_closePending = true;
        if (m_cancellable) {
            m_cancelRequested = true;
        }
        event->ignore();
        return;
    }
    m_closing = true;
    SavePlacement();
    if (m_view != nullptr) {
        m_view->SaveColumnWidths();
    }
    if (!m_doc->CanCloseFrame()) {
        m_closing = false;
        m_closePending = false;
        event->ignore();
        return;
    }
    m_clockTimer->stop();
    m_animationTimer->stop();
    event->accept();
}
