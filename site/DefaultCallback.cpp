#include "site/DefaultCallback.h"

#include "site/SiteFrame.h"

#include <cstdint>

CDefaultCallback::CDefaultCallback() : m_frame(GetMainFrame()) {}

void CDefaultCallback::SetProgress(int percent)
{
    m_percent = percent;
    if (m_frame != nullptr) {
        m_frame->SetProgress(m_percent);
    }
}

int CDefaultCallback::AddProgress(int step)
{
    m_percent = static_cast<int>((static_cast<int64_t>(m_percent) + step) % 101);
    if (m_frame != nullptr) {
        m_frame->SetProgress(m_percent);
    }
    return 0;
}

void CDefaultCallback::End()
{
    if (m_frame != nullptr) {
        m_frame->SetProgress(0);
    }
}
