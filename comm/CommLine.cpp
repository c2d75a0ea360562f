#include "comm/CommLine.h"

#include <new>

CCommLine::~CCommLine() { Close(); }

int CCommLine::OpenDirect(int index, uint32_t baud)
{
    return OpenIndexOrPath(LineMode::Direct, index, nullptr, baud, {});
}

int CCommLine::OpenOther(int index, uint32_t baud)
{
    return OpenIndexOrPath(LineMode::Radio, index, nullptr, baud, {});
}

int CCommLine::OpenModem(int index, uint32_t baud, const ModemFactory& makeModem)
{
    return OpenIndexOrPath(LineMode::Modem, index, nullptr, baud, makeModem);
}

int CCommLine::OpenPath(LineMode kind, const std::string& path, uint32_t baud, const ModemFactory& makeModem)
{
    return OpenIndexOrPath(kind, 0, &path, baud, makeModem);
}

int CCommLine::OpenIndexOrPath(LineMode kind, int index, const std::string* path, uint32_t baud,
                               const ModemFactory& makeModem)
{
    Close();
    std::unique_ptr<CSerialPort> port(new (std::nothrow) CSerialPort);
    if (!port)
        return kTkErrOpen;
    // 8 data bits, no parity, one stop bit.
    int result = path ? port->OpenPath(*path, baud, 'N', 8, 1) : port->Open(index, baud, 'N', 8, 1);
    if (result != 0)
        return result; // the port is closed and dropped with its owner
    return Attach(kind, std::move(port), makeModem);
}

int CCommLine::Attach(LineMode kind, std::unique_ptr<CSerialPort> port, const ModemFactory& makeModem)
{
    Close();
    if (!port || !port->IsOpen())
        return kTkErrOpen;
    if (kind != LineMode::Direct && kind != LineMode::Radio && kind != LineMode::Modem) {
        port->Close();
        return kTkErrOpen;
    }

    port->SetDtr(true);
    port->SetRts(true);

    std::unique_ptr<CLineControl> control(new (std::nothrow) CLineControl);
    if (!control) {
        port->Close();
        return kTkErrOpen;
    }
    control->SetMode(kind);

    std::unique_ptr<ILineModem> modem;
    if (kind == LineMode::Modem) {
        if (makeModem)
            modem = makeModem(*port);
        if (!modem) {
            port->Close();
            return kTkErrOpen;
        }
    }

    port_ = std::move(port);
    lineControl_ = std::move(control);
    modem_ = std::move(modem);
    kind_ = kind;
    return 0;
}

void CCommLine::Close()
{
    // The modem talks through the port: it goes first.
    modem_.reset();
    lineControl_.reset();
    if (port_) {
        port_->Close();
        port_.reset();
    }
    kind_ = LineMode::Direct;
}

bool CCommLine::ModemBlocks()
{
    return modem_ && !modem_->IsConnected();
}

int CCommLine::ReadByte()
{
    if (ModemBlocks())
        return kLineModemNotConnected;
    if (!port_)
        return kPortNoByte;
    return port_->ReadByte();
}

int CCommLine::Write(const uint8_t* buffer, int n)
{
    if (ModemBlocks())
        return kLineModemNotConnected;
    if (!port_)
        return kPortShortWrite;
    return port_->Write(buffer, n);
}

int CCommLine::BeginTransmit()
{
    if (ModemBlocks() || !port_ || !lineControl_)
        return 0;
    return lineControl_->BeforeTransmit(*port_);
}

int CCommLine::EndTransmit()
{
    if (ModemBlocks() || !port_ || !lineControl_)
        return 0;
    lineControl_->AfterTransmit(*port_);
    return 1;
}

size_t CCommLine::Drain()
{
    if (ModemBlocks() || !port_)
        return 0;
    return port_->DrainInput();
}

int CCommLine::CheckLine()
{
    if (ModemBlocks() || !port_ || !lineControl_)
        return kCarrierLost;
    // A line that has hung up is lost whatever the line control looks at: a
    // direct cable or a radio has no carrier condition, and the modem-status
    // lines of an unplugged adapter cannot be read.
    if (port_->IsLineLost())
        return kCarrierLost;
    return lineControl_->HasCarrier(*port_);
}

int CCommLine::SendBreak(uint32_t ms)
{
    if (!port_)
        return kTkErrOpen;
    return port_->SendBreak(ms);
}

uint32_t CCommLine::GetBaud() const
{
    return port_ ? port_->GetBaud() : 0;
}

int CCommLine::SetFormat(uint32_t baud, char parity, int dataBits, int stopBits)
{
    if (!port_)
        return kTkErrOpen;
    port_->DrainInput();
    int result = port_->SetFormat(baud, parity, dataBits, stopBits);
    port_->SetDtr(true);
    if (lineControl_ && lineControl_->Classify() == LineMode::Modem)
        port_->SetRts(true);
    return result;
}

void CCommLine::ModemPoll()
{
    if (modem_)
        modem_->Step();
}

int CCommLine::StartDial()
{
    return modem_ ? modem_->StartDial() : kTkErrModemUnavailable;
}

int CCommLine::StartHangUp()
{
    return modem_ ? modem_->StartHangUp() : kTkErrModemUnavailable;
}

int CCommLine::SetModemHandler(CQorModemHandler* handler)
{
    return modem_ ? modem_->SetHandler(handler) : kTkErrModemUnavailable;
}

bool CCommLine::WaitForInput(uint32_t timeoutMs)
{
    // While the modem owns the line its answers are not the link's input.
    if (ModemBlocks() || !port_)
        return false;
    return port_->WaitForInput(timeoutMs);
}
