#pragma once
// The settings of one connection: the unit in which connection settings pass between
// the connection node, the connection wizard and the site file (one record per
// connection there). The network-search flag travels beside the record, not in it.

#include <cstdint>
#include <string>

// What the line runs on. The connection node also accepts kind 4, which has no name and
// cannot be opened.
enum ConnectionKind : uint16_t {
    kConnectionDirect = 1, // a COM port used directly
    kConnectionModem = 2,  // a dial-up modem on a COM port
    kConnectionRadio = 3,  // a spread-spectrum radio on a COM port
};

// The COM port value of a connection whose port has not been chosen.
constexpr uint8_t kPortNotSet = 255;

struct CConnectionInfo {
    std::string name;            // shown in the tree
    uint16_t kind = 0;           // ConnectionKind
    uint8_t port = kPortNotSet;  // COM port, 0-based (0 is COM1)
    uint16_t baud = 0;           // line speed
    std::string phoneNumber;     // dialled on modem connections
    uint32_t callTimeout = 10;   // seconds before an unanswered modem call is given up
    std::string initString;      // initialisation command sent to the modem

    bool operator==(const CConnectionInfo&) const = default;
};
