#include "lowflow/DeviceFinder.h"

#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "comm/protocol/DeviceRecords.h"
#include "platform/AsciiCase.h"
#include "values/RawValueConversions.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr int kBaudRates[] = {1200, 2400, 3600, 4800, 7200, 8847, 9600, 19200, 38400, 57600};
constexpr int kPortCount = 8;

int FindIgnoringCase(const std::vector<std::string>& list, std::string_view text)
{
    for (size_t i = 0; i < list.size(); ++i) {
        if (wv::EqualNoCaseAscii(list[i], text)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The port number of a text such as "COMM 12": every "COMM " removed, the rest read as a
// whole decimal number; 0 for anything else.
int PortNumberOfText(std::string_view text)
{
    std::string digits(text);
    for (size_t at = digits.find("COMM "); at != std::string::npos; at = digits.find("COMM ")) {
        digits.erase(at, 5);
    }
    int number = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, number);
    if (ec != std::errc() || ptr != end) {
        return 0;
    }
    return number;
}

} // namespace

// ---- CFindDevicesNotifier ----------------------------------------------------------------

CFindDevicesNotifier::CFindDevicesNotifier(CDeviceFinder* finder, FoundDevice* found, uint8_t maximum,
                                           CProfileNotifyTarget* notify)
    : m_found(found), m_maximum(maximum), m_notify(notify), m_finder(finder)
{
}

CFindDevicesNotifier::~CFindDevicesNotifier() = default;

void CFindDevicesNotifier::SetMode(int mode)
{
    m_mode = mode;
    m_counter = 0;
}

void CFindDevicesNotifier::Begin(int steps) { (void)steps; }

int CFindDevicesNotifier::Progress(intptr_t value)
{
    ++m_counter;
    const bool abort = m_finder != nullptr && m_finder->IsAbortRequested();
    if (m_mode == kModeQuiet) {
        return abort ? 1 : 0;
    }
    if (abort) {
        return 1;
    }
    if (value == 0) {
        return 0;
    }
    if (m_kept >= m_maximum) {
        return 1;
    }
    const auto* record = reinterpret_cast<const FoundDeviceRecord*>(value);
    if (m_found != nullptr) {
        m_found->address = record->address;
        m_found->deviceType = record->deviceType;
    }
    ++m_kept;
    return m_kept >= m_maximum ? 1 : 0;
}

void CFindDevicesNotifier::End() {}

// ---- CDeviceFinder -------------------------------------------------------------------------

CDeviceFinder::CDeviceFinder()
{
    for (int rate : kBaudRates) {
        m_baudNames.push_back(std::to_string(rate));
        m_baudValues.push_back(rate);
    }
    for (int port = 1; port <= kPortCount; ++port) {
        m_portNames.push_back("COMM " + std::to_string(port));
        m_portNumbers.push_back(port);
    }
}

CDeviceFinder::~CDeviceFinder() { Reset(); }

int CDeviceFinder::Select(std::string_view portText, std::string_view baudText, bool byList)
{
    int portIndex = -1;
    bool valid = true;
    if (byList) {
        portIndex = FindIgnoringCase(m_portNames, portText);
        valid = portIndex >= 0;
    }
    const int baudIndex = FindIgnoringCase(m_baudNames, baudText);
    valid = valid && baudIndex >= 0;
    m_selectionValid = 0;
    if (!valid) {
        return 0;
    }
    const int port = byList ? m_portNumbers[static_cast<size_t>(portIndex)] : PortNumberOfText(portText);
    if (port < 1 || port > 255) {
        return 0;
    }
    m_port = port;
    m_baud = m_baudValues[static_cast<size_t>(baudIndex)];
    m_selectionValid = 1;
    return 1;
}

int CDeviceFinder::OpenDevice(CProfileNotifyTarget* notify)
{
    Reset();
    m_abort = false;
    auto link = std::make_unique<CTkLink>();
    m_session = std::make_unique<CTkSession>();
    m_notifier = std::make_unique<CFindDevicesNotifier>(this, &m_found, uint8_t{1}, notify);

    const bool rateKnown = std::find(std::begin(kBaudRates), std::end(kBaudRates), m_baud) != std::end(kBaudRates);
    if (m_port < 1 || m_port > 255 || !rateKnown) {
        Reset();
        return 0;
    }
    if (link->OpenSerial(m_port - 1, static_cast<uint32_t>(m_baud)) != 0 || m_session->Open(std::move(link)) != 0) {
        Reset();
        return 0;
    }
    m_session->SetRawValueConverter(&RawValueConversions());

    m_found = FoundDevice{};
    m_notifier->SetMode(CFindDevicesNotifier::kModeReport);
    m_notifier->Begin(0);
    m_session->FindDevices(m_notifier.get());
    m_notifier->SetMode(CFindDevicesNotifier::kModeQuiet);
    if (m_found.address != 0 &&
        m_session->TalkTo(m_found.address, static_cast<uint8_t>(m_found.deviceType)) == 0) {
        return 1;
    }
    Reset();
    return 0;
}

void CDeviceFinder::Reset()
{
    // The session owns the link it took over; a link it never took went with OpenDevice's
    // stack.
    m_session.reset();
    m_notifier.reset();
    m_found = FoundDevice{};
}
