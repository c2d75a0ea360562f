#include "comm/TraceSettings.h"

#include "foundation/Registry.h"
#include "platform/ProgramHome.h"

std::filesystem::path TraceSettingsPath()
{
    return wv::ResolveProgramPath(kTraceSettingsFileName);
}

std::filesystem::path TraceLogPath()
{
    return wv::ResolveProgramPath(kTraceLogFileName);
}

bool IsTraceEnabled()
{
    return ReadProfileIntFromFile(TraceSettingsPath(), kTraceSection, kTraceEnabledKey, 0) == 1;
}
