#include "app/WVConnectionView.h"

#include "app/CommandIds.h"
#include "app/WVFrame.h"
#include "app/WVTreeView.h"
#include "platform/PortMap.h"
#include "resources/StringTable.h"
#include "site/AppErrorCode.h"
#include "site/QorConnection.h"
#include "site/QorSite.h"
#include "site/WVDoc.h"
#include "wizards/ConnWiz.h"

#include <QGroupBox>
#include <QLabel>

#include <utility>

namespace {

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Rows of the form: label id, label text, value id, top.
struct Row {
    uint32_t label;
    uint32_t labelText;
    uint32_t value;
    int y;
};

// The connection's port as port lists show it, with the device path the COM number
// stands for ("COM1 (/dev/ttyUSB0)"); the COM name alone while no device is mapped to it.
// Only the map is read: showing a port never looks for new ones.
std::string PortText(const CQorConnection& connection)
{
    uint8_t port = kPortNotSet;
    connection.GetPort(port);
    const std::string name = connection.GetPortText();
    return port == kPortNotSet ? name : wv::ComPortLabel(name, wv::MappedComPortPath(port + 1));
}

constexpr int kLabelX = 16;
constexpr int kValueX = 170;
constexpr int kRowHeight = 18;

} // namespace

CWVConnectionView::CWVConnectionView(CWVFrame* frame, QWidget* parent)
    : CWVView(ViewTemplate{kTemplateId, false, 3, kTemplateWidth, kTemplateHeight}, parent), m_frame(frame)
{
    QWidget* form = GetForm();
    auto* group = new QGroupBox(form);
    group->setObjectName(QString::number(kGroupBox));
    group->setGeometry(8, 40, kTemplateWidth - 16, 158);
    // Labels and values are the form's own children, so they are found by id like every
    // control of a template.
    auto addLabel = [form](uint32_t id, const QString& text, const QRect& where) {
        auto* label = new QLabel(text, form);
        label->setObjectName(QString::number(id));
        // Plain text: a name is shown exactly as typed, "&" included.
        label->setTextFormat(Qt::PlainText);
        label->setGeometry(where);
        return label;
    };
    const Row rows[] = {
        {kNameLabel, kStrLabelConnName, kNameValue, 56},
        {kPortLabel, kStrLabelPort, kPortValue, 78},
        {kBaudLabel, kStrLabelBaud, kBaudValue, 100},
        {kStrategyLabel, kStrLabelStrategy, kStrategyValue, 122},
        {kPhoneLabel, kStrLabelPhone, kPhoneValue, 144},
    };
    for (const Row& row : rows) {
        addLabel(row.label, Qs(GetResString(row.labelText)), QRect(kLabelX, row.y, kValueX - kLabelX - 4, kRowHeight));
        addLabel(row.value, QString(), QRect(kValueX, row.y, kTemplateWidth - kValueX - 16, kRowHeight));
    }
    addLabel(kCancelCallLabel, Qs(GetResString(kStrLabelCancelCall)), QRect(kLabelX, 166, 230, kRowHeight));
    addLabel(kCancelCallValue, QString(), QRect(250, 166, 50, kRowHeight))->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    addLabel(kSecondsLabel, Qs(GetResString(kStrLabelSeconds)), QRect(304, 166, 60, kRowHeight));
    group->lower();
    connect(this, &CWVView::ButtonCommand, this, [this](uint32_t id) { OnViewCommand(id); });
}

CQorConnection* CWVConnectionView::Connection() const
{
    return dynamic_cast<CQorConnection*>(GetSelectedNodeOfType(NodeType::Connection));
}

bool CWVConnectionView::IsInSite(const CQorConnection* connection) const
{
    const CQorSite* site = GetDocument() != nullptr ? GetDocument()->GetSite() : nullptr;
    if (site == nullptr || connection == nullptr) {
        return false;
    }
    for (int i = 0; i < site->GetConnectionCount(); ++i) {
        if (site->GetConnection(i) == connection) {
            return true;
        }
    }
    return false;
}

void CWVConnectionView::SetText(uint32_t id, const std::string& text)
{
    if (auto* label = qobject_cast<QLabel*>(FindControl(id))) {
        label->setText(Qs(text));
    }
}

void CWVConnectionView::OnInitialUpdate()
{
    SetButton(1, kFindButton, kStrButtonFind);
    SetButton(3, kDeleteButton, kStrButtonDelete);
    CWVView::OnInitialUpdate();
}

void CWVConnectionView::OnUpdate()
{
    const CQorConnection* connection = Connection();
    if (connection == nullptr) {
        return;
    }
    const uint16_t kind = connection->GetKind();
    switch (kind) {
    case kConnectionDirect: SetCaption(GetResString(kStrDirectConnection)); break;
    case kConnectionModem: SetCaption(GetResString(kStrModemConnection)); break;
    case kConnectionRadio: SetCaption(GetResString(kStrRadioConnection)); break;
    default: SetCaption({}); break;
    }
    SetText(kNameValue, connection->GetName());
    SetText(kPortValue, PortText(*connection));
    SetText(kBaudValue, connection->GetBaudText());
    SetText(kStrategyValue, std::string(GetResString(connection->IsNetworkSearch() ? kStrNetwork : kStrSingleDevice)));
    const bool modem = kind == kConnectionModem;
    for (const uint32_t id : {kPhoneLabel, kPhoneValue, kCancelCallLabel, kCancelCallValue, kSecondsLabel}) {
        ShowControl(id, modem, true);
    }
    if (modem) {
        SetText(kPhoneValue, connection->GetNumberText());
        SetText(kCancelCallValue, std::to_string(static_cast<int32_t>(connection->GetOption())));
    }
    if (connection->IsOpen()) {
        SetButton(2, kDropButton, kStrButtonDrop);
    } else {
        SetButton(2, kEditButton, kStrButtonEdit);
    }
    GetForm()->update();
}

void CWVConnectionView::UpdateScrollSizes(int width, int height)
{
    if (width >= kMinScrollWidth && height >= kMinScrollHeight) {
        CWVView::UpdateScrollSizes(width, height);
    }
}

bool CWVConnectionView::HandlesCommand(uint32_t command) const
{
    switch (command) {
    case kFindButton:
    case kDropButton:
    case kEditButton:
    case kDeleteButton:
    case wvcmd::kTreeFind:
    case wvcmd::kTreeDrop:
    case wvcmd::kTreeEditConnection:
    case wvcmd::kTreeDeleteConnection: return true;
    default: return false;
    }
}

void CWVConnectionView::OnViewCommand(uint32_t command)
{
    switch (command) {
    case kFindButton:
    case wvcmd::kTreeFind: FindDevices(); break;
    case kDropButton:
    case wvcmd::kTreeDrop: OnDrop(); break;
    case kEditButton:
    case wvcmd::kTreeEditConnection: OnEdit(); break;
    case kDeleteButton:
    case wvcmd::kTreeDeleteConnection: OnDelete(); break;
    default: break;
    }
}

void CWVConnectionView::OnFindDevices()
{
    CQorConnection* connection = Connection();
    if (connection == nullptr || m_frame == nullptr || m_frame->IsBusy()) {
        return;
    }
    m_frame->ActivateTreeView();
    AppErrorCode status = kAppOk;
    {
        CBusyGuard busy(m_frame);
        m_frame->SetStatusTextId(kStrFindingDevices);
        status = connection->VerifyDevices();
        m_frame->SetStatusText({});
    }
    // A search that took the port from another connection keeps this one selected, so
    // this view normally still shows it; should the pane have changed, the new view is
    // not this one to update.
    if (m_frame->GetFormView() == this) {
        setFocus();
        OnUpdate();
    }
    CWVTreeView::ReportFindError(*m_frame, status);
    if (status == kAppErrLineLost && IsInSite(connection)) {
        connection->Disconnect(true);
        if (m_frame->GetFormView() == this) {
            OnUpdate();
        }
    }
}

void CWVConnectionView::OnDrop()
{
    CQorConnection* connection = Connection();
    if (connection == nullptr || m_frame == nullptr || m_frame->IsBusy()) {
        return;
    }
    const int status = connection->Disconnect(true);
    if (status != 0) {
        m_frame->ReportDeviceError(status, GetResString(kStrButtonDrop));
    }
    if (m_frame->GetFormView() == this) {
        OnUpdate();
    }
}

void CWVConnectionView::OnEdit()
{
    CQorConnection* connection = Connection();
    CWVDoc* doc = GetDocument();
    if (connection == nullptr || doc == nullptr || m_frame == nullptr || m_frame->IsBusy()) {
        return;
    }
    CConnectionInfo info;
    connection->GetSettings(info);
    if (connection->IsOpen()) {
        const int status = connection->Disconnect(true);
        if (status != 0) {
            // The line is still in use: its settings cannot change under it.
            m_frame->ReportDeviceError(status, GetResString(kStrButtonEdit));
            return;
        }
        OnUpdate();
    }
    CConnWiz wizard(&info, connection->IsNetworkSearch() ? 1 : 0, m_frame);
    if (wizard.DoModal() != kIdWizFinish || !IsInSite(connection)) {
        return;
    }
    connection->SetNetworkSearch(wizard.GetMultiDevice() != 0);
    connection->ApplySettings(wizard.GetConnection());
    if (m_frame->GetFormView() == this) {
        OnUpdate();
    }
    doc->SetModifiedFlag();
    if (wizard.GetFindOnFinish() != 0) {
        OnFindDevices();
    }
}

void CWVConnectionView::OnDelete()
{
    CQorConnection* connection = Connection();
    CWVDoc* doc = GetDocument();
    if (connection == nullptr || doc == nullptr || m_frame == nullptr || m_frame->IsBusy()) {
        return;
    }
    const MessageAnswer answer =
        m_frame->ShowMessage({kStrDeleteConnectionPrompt, kStrDeleteConnection, MessageIcon::Question,
                              MessageButtons::YesNo, MessageAnswer::No, {}});
    CQorSite* site = doc->GetSite();
    if (answer != MessageAnswer::Yes || site == nullptr || !IsInSite(connection)) {
        return;
    }
    if (connection->IsOpen()) {
        // A connection that cannot be closed is removed all the same: its node drops the
        // line without any exchange.
        connection->Disconnect(true);
    }
    m_frame->ActivateTreeView();
    CWVFrame* frame = m_frame;
    CBusyGuard busy(frame);
    frame->SetStatusTextId(kStrDeletingConnection);
    // The site selects another item first, so the frame retires this view (it is deleted
    // at the top level); nothing of the view or the node is used after this line.
    site->RemoveConnection(connection);
    doc->SetModifiedFlag();
    frame->SetStatusText({});
}
