#pragma once
// The measurement-values library's raw-count conversions (values/RawConversion.h),
// offered to the instrument sessions through the converter interface the communication
// library declares. Whoever creates a session hands it this converter
// (CTkSession::SetRawValueConverter).

#include "comm/RawValueConverter.h"

// The library's converter: one stateless instance, alive for the whole program.
const CRawValueConverter& RawValueConversions();
