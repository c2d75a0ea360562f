#pragma once
// CWVConnectionView: the right-hand view of a connection. It shows the connection's
// settings (the modem rows only for a modem line) and searches it for devices, drops it,
// edits it with the connection wizard and deletes it. The tree's context menu and the
// application's idle sequences use the same operations.
//
// The view always works on the document's selected node, read when a command starts. A
// command that removes the node (Delete) or selects elsewhere leaves this view retired by
// the frame, which deletes it at the top level; the handler touches neither the node nor
// the view's widgets once the node is gone.

#include "app/WVView.h"

#include <cstdint>

class CQorConnection;
class CWVFrame;

class CWVConnectionView : public CWVView {
    Q_OBJECT
public:
    // Template 111: a group box, labels and values, three command buttons.
    static constexpr uint32_t kTemplateId = 111;
    static constexpr int kTemplateWidth = 380;
    static constexpr int kTemplateHeight = 240;
    // The smallest size for which the scroll sizes follow the view.
    static constexpr int kMinScrollWidth = 380;
    static constexpr int kMinScrollHeight = 200;

    // Button ids.
    static constexpr uint32_t kFindButton = 1160;
    static constexpr uint32_t kDropButton = 1003;
    static constexpr uint32_t kEditButton = 1142;
    static constexpr uint32_t kDeleteButton = 1155;

    // Control ids of the template.
    static constexpr uint32_t kGroupBox = 1058;
    static constexpr uint32_t kNameLabel = 1067;
    static constexpr uint32_t kNameValue = 1132;
    static constexpr uint32_t kPortLabel = 1068;
    static constexpr uint32_t kPortValue = 1012;
    static constexpr uint32_t kBaudLabel = 1070;
    static constexpr uint32_t kBaudValue = 1032;
    static constexpr uint32_t kStrategyLabel = 1029;
    static constexpr uint32_t kStrategyValue = 1066;
    static constexpr uint32_t kPhoneLabel = 1064;
    static constexpr uint32_t kPhoneValue = 1065;
    static constexpr uint32_t kCancelCallLabel = 1018;
    static constexpr uint32_t kCancelCallValue = 1022;
    static constexpr uint32_t kSecondsLabel = 1059;

    explicit CWVConnectionView(CWVFrame* frame, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    // Caption, rows and the Drop or Edit button by the state of the selected connection.
    void OnUpdate() override;
    void UpdateScrollSizes(int width, int height) override;
    bool HandlesCommand(uint32_t command) const override;
    void OnViewCommand(uint32_t command) override;

    // The Find command (the tree's Find, the site view's find-on-finish and the idle
    // sequences call it).
    virtual void FindDevices() { OnFindDevices(); }
    void OnFindDevices();
    void OnDrop();
    void OnEdit();
    void OnDelete();

private:
    CQorConnection* Connection() const;
    // True when the connection is still one of the site's (a dialog ran in between).
    bool IsInSite(const CQorConnection* connection) const;
    void SetText(uint32_t id, const std::string& text);

    CWVFrame* m_frame;
};
