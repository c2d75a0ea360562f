#pragma once
// COM port numbers and the device paths they stand for. The mapping is kept in
// section "Ports" of the per-machine registry file (Config/Registry.ini in the
// program home): one value per number ("COM1" = "/dev/ttyUSB0"). Ports found
// on the machine (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*) get the next free
// number and keep it; a user may add any path (a pseudo-terminal, say).

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wv {

// The device path of COM port number comNumber (1 is COM1); empty when the
// number is not mapped. Scans for new ports first when the number is unmapped.
std::string ComPortPath(int comNumber);

// The device path COM port number comNumber is mapped to now, without looking
// for new ports (so nothing is saved); empty when the number is not mapped.
std::string MappedComPortPath(int comNumber);

// The text a port list shows for a port: its COM name followed by the device
// path it stands for, "COM1 (/dev/ttyUSB0)", so that ports can be told apart;
// the COM name alone when path is empty. A control character of the path
// shows as '?'.
std::string ComPortLabel(std::string_view comName, std::string_view path);

// Scans the machine's serial devices, gives every new one the next free
// number, saves the map, and returns every mapped (number, path), by number.
std::vector<std::pair<int, std::string>> ListComPorts();

// Maps path to a number: its existing number when it is mapped already, else
// the next free one (saved). Returns the number, or 0 for an empty path.
int AddComPort(const std::string& path);

} // namespace wv
