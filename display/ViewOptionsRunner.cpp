#include "display/ViewOptionsRunner.h"

#include <utility>

namespace {

ViewOptionsRunner& Runner()
{
    static ViewOptionsRunner runner;
    return runner;
}

} // namespace

void SetViewOptionsRunner(ViewOptionsRunner runner) { Runner() = std::move(runner); }

const ViewOptionsRunner& GetViewOptionsRunner() { return Runner(); }
