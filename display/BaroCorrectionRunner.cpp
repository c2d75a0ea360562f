#include "display/BaroCorrectionRunner.h"

#include <utility>

namespace {

BaroCorrectionRunner& Runner()
{
    static BaroCorrectionRunner runner;
    return runner;
}

} // namespace

void SetBaroCorrectionRunner(BaroCorrectionRunner runner) { Runner() = std::move(runner); }

const BaroCorrectionRunner& GetBaroCorrectionRunner() { return Runner(); }
