#pragma once
// Ids of the main window's menus, toolbar, status bar, accelerators and the navigation
// tree's context menus. Widgets carry these numbers as their object names, so code and
// tests find them by id.

#include <cstdint>

namespace wvcmd {

// Resources.
constexpr uint32_t kMainMenu = 136;       // menu bar and accelerator table
constexpr uint32_t kToolBar = 137;
constexpr uint32_t kTreeMenu = 139;       // the tree's context menus
constexpr uint32_t kProgressBar = 159;    // the progress bar inside status pane 1
constexpr uint32_t kEmptyView = 135;      // the empty form view's template
constexpr uint32_t kReportList = 1244;    // a form view's report list
constexpr uint32_t kFirstPane = 59648;    // the splitter

// File menu.
constexpr uint32_t kFileNew = 57600;
constexpr uint32_t kFileOpen = 57601;
constexpr uint32_t kFileSave = 57603;
constexpr uint32_t kFileSaveAs = 57604;
constexpr uint32_t kSaveReport = 32873;
constexpr uint32_t kExportExcel = 32874;
constexpr uint32_t kPrintReport = 32875;
constexpr uint32_t kPrintGraph = 32876;
constexpr uint32_t kOpenBinFile = 32883;
constexpr uint32_t kAppExit = 57665;
// Options, Tools, Help.
constexpr uint32_t kPreferences = 32792;
constexpr uint32_t kShowCalReports = 32882;
constexpr uint32_t kBaroWiz = 32881;
constexpr uint32_t kLowvane = 32884;
constexpr uint32_t kPalmsync = 32885;
constexpr uint32_t kCsvExport = 32886;
constexpr uint32_t kAppAbout = 57664;
// Graph menu items of the resource (replaced by the graph views' own at run time).
constexpr uint32_t kGraphSelectUnits = 32826;
constexpr uint32_t kGraphSelectChannel = 32827;
constexpr uint32_t kGraphFormatAxis = 32828;
constexpr uint32_t kGraphAxisTitle = 32829;
constexpr uint32_t kGraphGrid = 32830;
constexpr uint32_t kGraphTitle = 32831;
// Toolbar.
constexpr uint32_t kCancelOperation = 32791;
constexpr uint32_t kToggleSplit = 32871;
constexpr uint32_t kShowCalReport = 32878;
// Class-library pane switching (accelerators F6, Shift+F6).
constexpr uint32_t kNextPane = 57680;
constexpr uint32_t kPrevPane = 57681;

// Navigation tree context menus.
constexpr uint32_t kTreeAddConnection = 32793;
constexpr uint32_t kTreeEditConnection = 32794;
constexpr uint32_t kTreeDrop = 32795;
constexpr uint32_t kTreeDeleteConnection = 32796;
constexpr uint32_t kTreeRefresh = 32797;
constexpr uint32_t kTreeEditDevice = 32798;
constexpr uint32_t kTreeEditChannel = 32800;
constexpr uint32_t kTreeCalibrate = 32801;
constexpr uint32_t kTreeReadChannel = 32802;
constexpr uint32_t kTreeEditTest = 32803;
constexpr uint32_t kTreeStartTest = 32804;
constexpr uint32_t kTreeStopTest = 32805;
constexpr uint32_t kTreeExtractTest = 32806;
constexpr uint32_t kTreeDeleteTest = 32807;
constexpr uint32_t kTreeFind = 32808;
constexpr uint32_t kTreeAddTest = 32809;
constexpr uint32_t kTreeStopTests = 32810;

// Commands of the right-hand views that the application's sequences post.
constexpr uint32_t kViewDrop = 1003;
constexpr uint32_t kViewFind = 1160;
constexpr uint32_t kViewQuickProfile = 1591;

} // namespace wvcmd
