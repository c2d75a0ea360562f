// The View Options wizard as the data-file views see it: a runner the program registers.
// With none registered the views' "View..." button stays greyed.

#pragma once

#include <functional>

class QWidget;
class CWVDataFile;

// The wizard's Finish result.
inline constexpr int kViewOptionsFinish = 12325;

// Runs the wizard modally over parent for view, opening on startPage; channelSelection
// offers the channel choice. Returns the wizard's result (kViewOptionsFinish on Finish).
using ViewOptionsRunner = std::function<int(QWidget* parent, CWVDataFile& view, int startPage, bool channelSelection)>;

void SetViewOptionsRunner(ViewOptionsRunner runner);
const ViewOptionsRunner& GetViewOptionsRunner();
