#include "site/SiteFrame.h"

#include <string>

namespace {

CSiteFrame* g_mainFrame = nullptr;

} // namespace

CSiteFrame* GetMainFrame() { return g_mainFrame; }

void SetMainFrame(CSiteFrame* frame) { g_mainFrame = frame; }

int CSiteFrame::ShowCapWarning(std::string_view text, int days, int remindAgain)
{
    std::string shown(text);
    if (const size_t at = shown.find("%d"); at != std::string::npos) {
        shown.replace(at, 2, std::to_string(days));
    }
    SiteMessage message;
    message.icon = MessageIcon::Warning;
    message.detail = shown;
    ShowMessage(message);
    return remindAgain;
}
