#include "site/AppErrorCode.h"

AppErrorCode MapProtocolCode(ProtocolResultCode protocol, std::span<const AppErrorMapEntry> table,
                             std::optional<AppErrorCode> otherwise)
{
    for (const AppErrorMapEntry& row : table) {
        if (row.protocol == protocol) {
            return row.app;
        }
    }
    return otherwise.value_or(protocol);
}
