// The Barometric Correction dialog as the data-file views see it: a runner the program
// registers. The views build the job, the dialog edits its settings; with no runner
// registered the views' correction commands stay greyed.

#pragma once

#include <functional>
#include <string>

class QWidget;
class CBaroCompensator;

struct BaroCorrectionRequest {
    // The job whose mode, fixed value, unit category and id and reference path the dialog
    // shows and, on OK, writes back.
    CBaroCompensator& job;
    // "Also create a new file that contains the corrected data." (starts checked).
    bool newFile = true;
    // True when the path names a file usable as barometric reference.
    std::function<bool(const std::string& path)> isValidReference;
    // Close and reopen the view's reader around a reference check (the file may be the same).
    std::function<void()> releaseDataFile;
    std::function<void()> reloadDataFile;
};

// Runs the dialog modally over parent: true on OK (the request then holds the settings),
// false on Cancel.
using BaroCorrectionRunner = std::function<bool(QWidget* parent, BaroCorrectionRequest& request)>;

void SetBaroCorrectionRunner(BaroCorrectionRunner runner);
const BaroCorrectionRunner& GetBaroCorrectionRunner();
