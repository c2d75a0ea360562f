#pragma once
// CWVSiteView: the right-hand view of the site. It lists the site's connections with
// their state, adds a connection through the connection wizard and deletes the selected
// connections. A new, empty site asks here for its first connection.
//
// The wizard runs only from a command at the top level: an update that finds the
// frame's new-site flag posts the Add command instead of opening the wizard inside the
// notification.

#include "app/WVView.h"

#include <cstdint>

class CQorSite;
class CWVFrame;

class CWVSiteView : public CWVView {
    Q_OBJECT
public:
    // Template 121: list 1244 and two command buttons.
    static constexpr uint32_t kTemplateId = 121;
    static constexpr int kTemplateWidth = 380;
    static constexpr int kTemplateHeight = 240;
    // Button ids of slots 1 and 2.
    static constexpr uint32_t kAddButton = 1027;
    static constexpr uint32_t kDeleteButton = 1155;
    static constexpr int kDefaultColumnWidth = 179;
    // The registry section of the list's column widths.
    static constexpr const char* kColumnSection = "ConnList";

    explicit CWVSiteView(CWVFrame* frame, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    // Add greyed at sixteen connections, Delete greyed; the rows rebuilt; a pending
    // new-site request posts the Add command.
    void OnUpdate() override;
    void SaveColumnWidths() override;
    void UpdateScrollSizes(int width, int height) override;
    bool HandlesCommand(uint32_t command) const override;
    void OnViewCommand(uint32_t command) override;

    // Runs the connection wizard for a new connection and adds it to the site; a full
    // site is told and nothing is added.
    void OnAddConnection();
    // Asks, then removes every selected connection with progress.
    void OnDeleteConnections();
    // Selects, in the tree, the connection of the first selected row.
    void OnListDblClk();
    // Delete is enabled while a row is selected.
    void OnListClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Grows list 1244 to a view of size and keeps the buttons below it (the template's
    // size at least); nothing while the layout is pending.
    void FitToSize(const QSize& size);
    CQorSite* Site() const;
    void ReportSiteFull();

    CWVFrame* m_frame;
};
