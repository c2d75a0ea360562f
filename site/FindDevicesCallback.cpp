#include "site/FindDevicesCallback.h"

#include "comm/DeviceSearch.h"
#include "resources/StringTable.h"
#include "site/QorConnection.h"
#include "site/SiteFrame.h"

CFindDevicesCallback::CFindDevicesCallback(CQorConnection& connection)
    : m_connection(connection), m_frame(GetMainFrame())
{
    if (m_frame != nullptr) {
        m_frame->StartSearchAnimation(kAnimationIntervalMs);
    }
}

CFindDevicesCallback::~CFindDevicesCallback()
{
    if (m_frame != nullptr) {
        m_frame->StopSearchAnimation();
    }
}

void CFindDevicesCallback::OnStart(int steps)
{
    (void)steps;
    if (m_frame != nullptr) {
        m_frame->SetStatusText(GetResString(m_connection.IsNetworkSearch() ? kStrNetworkSearch : kStrSingleSearch));
    }
}

int CFindDevicesCallback::OnDeviceFound(intptr_t value)
{
    const bool cancelled = m_frame != nullptr && m_frame->IsCancelRequested();
    const FoundDeviceRecord* record = FoundDeviceOf(value);
    if (record == nullptr) {
        return cancelled ? 1 : 0;
    }
    m_connection.AddFoundDevice(*record);
    if (m_connection.IsNetworkSearch()) {
        if (m_frame != nullptr) {
            m_frame->SetStatusText(GetResString(kStrNetworkSearch));
            return m_frame->IsCancelRequested() ? 1 : 0;
        }
        return 0;
    }
    if (m_frame != nullptr) {
        m_frame->SetStatusText(GetResString(kStrSingleSearch));
    }
    return 1;
}

void CFindDevicesCallback::OnEnd()
{
    if (m_frame != nullptr) {
        m_frame->SetStatusText("");
        m_frame->SetProgress(0);
        m_frame->StopSearchAnimation();
    }
}
