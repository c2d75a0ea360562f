#include "comm/RawValueConverter.h"

#include <atomic>

namespace {

std::atomic<const CRawValueConverter*> g_converter{nullptr};

} // namespace

void SetRawValueConverter(const CRawValueConverter* converter) { g_converter.store(converter); }

const CRawValueConverter* GetRawValueConverter() { return g_converter.load(); }
