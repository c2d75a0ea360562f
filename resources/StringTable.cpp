#include "resources/StringTable.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace {

struct StringEntry {
    uint32_t id;
    std::string_view text;
};

// Sorted by id (checked at compile time below), so lookups can halve the table.
constexpr std::array kStrings{
    StringEntry{kStrModemLost, "Modem has disconnected unexpectedly!  Connection lost.\""},
    StringEntry{kStrProgramCaption, "Wellvox\u00AE 4.0"},
    StringEntry{kStrNetworkSearch, "Locating Devices...Network Search"},
    StringEntry{kStrSingleSearch, "Locating Devices...Single Device Search"},
    StringEntry{kStrOnLinePrefix, "On-Line (%d) : "},
    StringEntry{kStrSyncBaudRates, "Synchronizing Device Baud Rates to Host..."},
    StringEntry{kStrNotTavoDevice, "Device SN%d is not a compatable TAVO device!\n"
                "You must first disconnect the connection then reconnect to display this device."},
    StringEntry{kStrNotPelmDevice, "Device SN%d is not a compatable PELM device!\n"
                "You must first disconnect the connection then reconnect to display this device."},
    StringEntry{kStrAddDevice, "Add Device"},
    StringEntry{kStrKindDirect, "Direct"},
    StringEntry{kStrKindModem, "Modem"},
    StringEntry{kStrKindRadio, "Spread Spectrum Radio"},
    StringEntry{kStrModel2, "Vorna 4000"},
    StringEntry{kStrModel3, "QMT 3100"},
    StringEntry{kStrModel8, "Ostrel 3000"},
    StringEntry{kStrModel10, "Vorna 8000"},
    StringEntry{kStrModel21, "miniVORNA Pro"},
    StringEntry{kStrModel22, "miniVORNA Adv"},
    StringEntry{kStrModel23, "miniVORNA Std P"},
    StringEntry{kStrModel24, "miniVORNA Std T"},
    StringEntry{kStrUnknown, "Unknown"},
    StringEntry{kStrCloseConnectionsPrompt,
                "Opening a new document will cause your open connection(s) to be closed.\n"
                "Do you wish to continue?"},
    StringEntry{kStrCreateNewSite, "Create New Site"},
    StringEntry{kStrInvalidDocument, "Invalid Wellvox\u00AE Document!"},
    StringEntry{kStrOpenFile, "Open File"},
    StringEntry{kStrSaveModifiedPrompt,
                "The current site has been modified.\nDo you wish to save modifications before continuing?"},
    StringEntry{kStrSaveSite, "Save Site"},
    StringEntry{kStrData, "Data"},
    StringEntry{kStrModel28, "baroVORNA"},
    StringEntry{kStrComPort, "COM%1"},
    StringEntry{kStrBigTextFont, "MS Sans Serif"},
    StringEntry{kStrHomeSite, "Home"},
    StringEntry{kStrModel25, "Vorna 4000"},
    StringEntry{kStrVerifyingDevices, "Verifying existing devices..."},
    StringEntry{kStrModel26, "miniVORNA SDI-12 PT"},
    StringEntry{kStrModel27, "miniVORNA SDI-12 P"},
    StringEntry{kStrModel30, "Vorna 9000 Professional XP"},
    StringEntry{kStrModel31, "Vorna 9000 Professional"},
    StringEntry{kStrModel33, "Vorna 9000 Profiler"},
    StringEntry{kStrModel32, "Vorna 9000 Profiler XP"},
    StringEntry{kStrModel34, "Vorna 9000 LTS"},
    StringEntry{kStrModel35, "Vorna 9000 Basic"},
    StringEntry{kStrModel36, "Vorna 9000E Professional XP"},
    StringEntry{kStrModel37, "Vorna 9000E Professional"},
    StringEntry{kStrModel38, "Vorna 9000E LTS"},
    StringEntry{kStrModel40, "AquaVORNA"},
    StringEntry{kStrOpenDocumentFailed, "Failed to open document."},
    StringEntry{kStrSaveDocumentFailed, "Failed to save document."},
};

constexpr bool IsSortedById()
{
    for (size_t i = 1; i < kStrings.size(); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(IsSortedById(), "the string table must be sorted by id, each id once");

const StringEntry* Find(uint32_t id)
{
    auto it = std::lower_bound(kStrings.begin(), kStrings.end(), id,
                               [](const StringEntry& e, uint32_t value) { return e.id < value; });
    return (it != kStrings.end() && it->id == id) ? &*it : nullptr;
}

} // namespace

std::string_view GetResString(uint32_t id)
{
    const StringEntry* entry = Find(id);
    return entry != nullptr ? entry->text : std::string_view{};
}

bool HasResString(uint32_t id) { return Find(id) != nullptr; }

std::string FormatResString(uint32_t id, int value)
{
    std::string text(GetResString(id));
    const size_t at = text.find("%d");
    if (at != std::string::npos) {
        text.replace(at, 2, std::to_string(value));
    }
    return text;
}

std::string FormatResString(uint32_t id, std::string_view argument)
{
    const std::string_view format = GetResString(id);
    std::string text;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '1') {
            text += argument;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}
