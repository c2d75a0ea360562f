#pragma once
// The display names of the channel kinds (the kind byte of a channel record), in the
// short form of list columns or the long form of labels.

#include <string>

// The display name of a channel kind, short or long. pressureKind (the level reference
// mode) names a level channel; sensorKind matters only for conductivity (11 has its own
// short name).
std::string GetChannelTypeName(int channelType, int pressureKind, bool shortForm, int sensorKind = 0);
