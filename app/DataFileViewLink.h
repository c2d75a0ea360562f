#pragma once
// What the frame asks of the data-file views (graph 317, text 318) and how it makes them.
// The views live in the display library above this one, so the program registers a factory
// here at start-up; without one the frame shows the empty view for those ids.

#include <cstdint>
#include <functional>
#include <string>

class CWVView;
class QMenu;
class QWidget;
enum class ViewId : int32_t;

class CDataFileViewLink {
public:
    virtual ~CDataFileViewLink() = default;
    // Drops the compensated copy (its temporary file too) and forgets the shown file, so the
    // next update attaches the selected node.
    virtual void CloseFiles() = 0;
    // Makes the file at path the view's compensated copy and shows it (nothing for "").
    virtual void OpenFile(const std::string& path) = 0;
    // A private copy of the compensated file for the next view; "" without one or on failure.
    virtual std::string CopyCompensatedFile() = 0;
    // Appends the view's Graph menu items; graph views only.
    virtual void AddGraphMenu(QMenu& /*menu*/) {}
    // Tools > BaroWiz on this view with parent as the dialog's parent: the correction for
    // the selected file, or the message that it cannot be corrected. True when the views
    // must be updated.
    virtual bool RunBaroWizard(QWidget* parent) = 0;
};

struct DataFileViewFactory {
    // A new view for ViewId 317 or 318 (null for any other).
    std::function<CWVView*(ViewId viewId)> create;
    // True while the Barometric Correction dialog is available (32877 and 32881 enabled).
    std::function<bool()> baroCorrectionAvailable;
};

void SetDataFileViewFactory(DataFileViewFactory factory);
const DataFileViewFactory& GetDataFileViewFactory();
