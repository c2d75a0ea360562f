#include "app/AppPump.h"

#include "platform/Pump.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace wvapp {

namespace {
int g_depth = 0;
} // namespace

PumpDepthGuard::PumpDepthGuard() { ++g_depth; }
PumpDepthGuard::~PumpDepthGuard() { --g_depth; }

int GetPumpDepth() { return g_depth; }

AppPumpScope::AppPumpScope()
{
    wv::SetPumpHook([] {
        PumpDepthGuard depth;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return true;
    });
}

AppPumpScope::~AppPumpScope() { wv::SetPumpHook({}); }

} // namespace wvapp
