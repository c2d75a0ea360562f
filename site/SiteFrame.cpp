#include "site/SiteFrame.h"

namespace {

CSiteFrame* g_mainFrame = nullptr;

} // namespace

CSiteFrame* GetMainFrame() { return g_mainFrame; }

void SetMainFrame(CSiteFrame* frame) { g_mainFrame = frame; }
