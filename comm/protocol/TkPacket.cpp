#include "comm/protocol/TkPacket.h"

#include "comm/protocol/Crc16.h"
#include "comm/protocol/LayoutString.h"

#include <algorithm>
#include <cstring>

using F = TkPacketFrame;

CTkPacket::CTkPacket(int packetOrder, int hostOrder)
    : m_hostOrder(hostOrder == 0 ? 0 : 1), m_packetOrder(packetOrder == 0 ? 0 : 1)
{
    Reset();
}

CTkPacket::~CTkPacket() = default;

void CTkPacket::Reset()
{
    m_receiveState = 1;
    m_byteCount = 0;
    m_bodyOrder = m_hostOrder;
    std::memset(m_frame, 0, F::OffBody);
    m_frame[F::OffSoh] = F::Soh;
    m_frame[F::OffOrder] = static_cast<uint8_t>(m_packetOrder);
    m_frame[F::OffStx] = F::Stx;
    // The layout described the body that is gone now; keeping it would convert raw bytes
    // written later by a stale description.
    m_layout.clear();
    m_hasLayout = false;
}

int CTkPacket::ResetWith(int result)
{
    Reset();
    return result;
}

int CTkPacket::NormaliseOrder(int order) const
{
    if (order < 0) {
        return m_hostOrder;
    }
    return order == 0 ? 0 : 1;
}

uint16_t CTkPacket::Get16(size_t offset) const
{
    const uint8_t* p = m_frame + offset;
    return m_packetOrder == 0 ? static_cast<uint16_t>((p[0] << 8) | p[1])
                              : static_cast<uint16_t>((p[1] << 8) | p[0]);
}

uint32_t CTkPacket::Get32(size_t offset) const
{
    const uint8_t* p = m_frame + offset;
    if (m_packetOrder == 0) {
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    }
    return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

void CTkPacket::Put16(size_t offset, uint16_t value)
{
    uint8_t* p = m_frame + offset;
    const uint8_t hi = static_cast<uint8_t>(value >> 8);
    const uint8_t lo = static_cast<uint8_t>(value);
    p[0] = m_packetOrder == 0 ? hi : lo;
    p[1] = m_packetOrder == 0 ? lo : hi;
}

void CTkPacket::Put32(size_t offset, uint32_t value)
{
    uint8_t* p = m_frame + offset;
    for (int i = 0; i < 4; ++i) {
        const int shift = m_packetOrder == 0 ? 24 - 8 * i : 8 * i;
        p[i] = static_cast<uint8_t>(value >> shift);
    }
}

bool CTkPacket::SetCommand(uint16_t command, const void* data, size_t length, const char* layout)
{
    Reset();
    SetCommandCode(command);
    if (length > 0) {
        return SetBody(data, length, layout, -1);
    }
    return true;
}

bool CTkPacket::SetCommandEx(uint16_t command, const void* data, size_t length,
                             const char* layout, const void* extra, size_t extraLength)
{
    if (extraLength == 0) {
        return SetCommand(command, data, length, layout);
    }
    Reset();
    SetCommandCode(command);
    const size_t total = length + extraLength;
    if (total > F::MaxCommandExBody || extra == nullptr || (length > 0 && data == nullptr)) {
        return false;
    }
    std::string composed;
    if (layout != nullptr) {
        const int base = LayoutSize(layout);
        // A base layout longer than the data would walk into the extra block and swap it.
        if (base < 0 || static_cast<size_t>(base) > length) {
            return false;
        }
        composed = std::string(layout) + std::to_string(extraLength) + "(c)";
    } else {
        composed = std::to_string(total) + "(c)";
    }
    if (composed.size() > F::MaxComposedLayout) {
        return false;
    }
    uint8_t body[F::MaxCommandExBody];
    if (length > 0) {
        std::memcpy(body, data, length);
    }
    std::memcpy(body + length, extra, extraLength);
    return SetBody(body, total, composed.c_str(), -1);
}

void CTkPacket::SetAddress(uint32_t address) { Put32(F::OffDestination, address); }

uint32_t CTkPacket::GetAddress() const { return Get32(F::OffDestination); }

uint32_t CTkPacket::GetHeaderWord2() const { return Get32(F::OffSource); }

void CTkPacket::SetSourceAddress(uint32_t address) { Put32(F::OffSource, address); }

void CTkPacket::SetCommandCode(uint16_t code) { Put16(F::OffCommand, code); }

uint16_t CTkPacket::GetCommand() const { return Get16(F::OffCommand); }

uint16_t CTkPacket::GetReplyCommand() const { return Get16(F::OffReplyCommand); }

void CTkPacket::SetReplyCommand(uint16_t command) { Put16(F::OffReplyCommand, command); }

uint16_t CTkPacket::GetReplyWord() const { return Get16(F::OffReplyWord); }

void CTkPacket::SetReplyWord(uint16_t word) { Put16(F::OffReplyWord, word); }

bool CTkPacket::SetBodyLength(size_t length)
{
    if (length > F::MaxBody) {
        return false;
    }
    Put16(F::OffBodyLength, static_cast<uint16_t>(length));
    return true;
}

uint16_t CTkPacket::GetBodyLength() const
{
    // The field can exceed the body area only for a moment while a frame arrives (first
    // length byte stored, second not yet checked); nothing may reach past the body then.
    return std::min<uint16_t>(Get16(F::OffBodyLength), static_cast<uint16_t>(F::MaxBody));
}

bool CTkPacket::SetBody(const void* data, size_t length, const char* layout, int order)
{
    if (length > F::MaxBody || (length > 0 && data == nullptr) || LayoutSize(layout) < 0) {
        SetBodyLength(0);
        m_bodyOrder = m_hostOrder;
        m_layout.clear();
        m_hasLayout = false;
        return false;
    }
    m_bodyOrder = NormaliseOrder(order);
    if (length > 0) {
        std::memmove(m_frame + F::OffBody, data, length);
    }
    SetBodyLength(length);
    if (layout != nullptr) {
        ConvertBody(layout, m_packetOrder);
    } else {
        // Raw bytes: no earlier layout may convert them.
        m_layout.clear();
        m_hasLayout = false;
    }
    return true;
}

uint8_t* CTkPacket::GetBody(const char* layout, int order)
{
    ConvertBody(layout, order);
    return m_frame + F::OffBody;
}

bool CTkPacket::HasBodyOfLayout(const char* layout) const
{
    const int size = LayoutSize(layout);
    return size >= 0 && static_cast<size_t>(size) <= GetBodyLength();
}

void CTkPacket::ConvertBody(const char* layout, int order)
{
    if (layout == nullptr) {
        return;
    }
    if (!m_hasLayout || layout != m_layout.c_str()) {
        m_layout = layout;
        m_hasLayout = true;
    }
    const int target = NormaliseOrder(order);
    uint8_t* body = m_frame + F::OffBody;
    const size_t walked = SwapByLayoutBounded(body, body, GetBodyLength(), m_layout.c_str(),
                                              target != m_bodyOrder);
    if (walked > 0) {
        m_bodyOrder = target;
    }
}

size_t CTkPacket::GetFrameLength() const { return size_t{GetBodyLength()} + F::Overhead; }

size_t CTkPacket::Build(uint8_t* buffer)
{
    if (buffer == nullptr) {
        return 0;
    }
    if (m_hasLayout) {
        ConvertBody(m_layout.c_str(), m_packetOrder);
    }
    m_frame[F::OffSoh] = F::Soh;
    m_frame[F::OffOrder] = static_cast<uint8_t>(m_packetOrder);
    m_frame[F::OffStx] = F::Stx;
    const size_t n = GetBodyLength();
    std::memcpy(buffer, m_frame, F::OffBody + n);
    buffer[F::OffBody + n] = F::Etx;
    const uint16_t crc = Crc16Ccitt(F::OffBody + n + 1, 0, buffer);
    const uint8_t hi = static_cast<uint8_t>(crc >> 8);
    const uint8_t lo = static_cast<uint8_t>(crc);
    buffer[F::OffBody + n + 1] = m_packetOrder == 0 ? hi : lo;
    buffer[F::OffBody + n + 2] = m_packetOrder == 0 ? lo : hi;
    return n + F::Overhead;
}

size_t CTkPacket::Build(uint8_t* buffer, size_t size)
{
    if (buffer == nullptr || size < GetFrameLength()) {
        return 0;
    }
    return Build(buffer);
}

std::vector<uint8_t> CTkPacket::Build()
{
    std::vector<uint8_t> frame(GetFrameLength());
    frame.resize(Build(frame.data()));
    return frame;
}

int CTkPacket::ReceiveByte(uint8_t byte)
{
    if (m_receiveState == 0) {
        return PKT_COMPLETE;
    }
    const size_t offset = static_cast<size_t>(m_byteCount);
    if (offset >= F::MaxFrame) {
        // Cannot happen with the checks below; never store past the frame.
        return ResetWith(PKT_BADLEN);
    }
    m_frame[offset] = byte;
    ++m_byteCount;

    if (offset == F::OffSoh) {
        return byte == F::Soh ? PKT_INCOMPLETE : ResetWith(PKT_BADSOH);
    }
    if (offset == F::OffOrder) {
        if (byte > 1) {
            return ResetWith(PKT_BADBO);
        }
        m_packetOrder = byte;
        m_bodyOrder = byte;
        return PKT_INCOMPLETE;
    }
    if (offset < F::OffBodyLength + 1) {
        return PKT_INCOMPLETE;
    }
    const size_t n = Get16(F::OffBodyLength);
    if (offset == F::OffBodyLength + 1) {
        return n <= F::MaxBody ? PKT_INCOMPLETE : ResetWith(PKT_BADLEN);
    }
    if (offset == F::OffStx) {
        return byte == F::Stx ? PKT_INCOMPLETE : ResetWith(PKT_BADSTX);
    }
    if (offset == F::OffBody + n) {
        return byte == F::Etx ? PKT_INCOMPLETE : ResetWith(PKT_BADETX);
    }
    if (offset == F::OffBody + n + 2) {
        const uint16_t expected = Crc16Ccitt(F::OffBody + n + 1, 0, m_frame);
        const uint8_t* p = m_frame + F::OffBody + n + 1;
        const uint16_t got = m_packetOrder == 0 ? static_cast<uint16_t>((p[0] << 8) | p[1])
                                                : static_cast<uint16_t>((p[1] << 8) | p[0]);
        if (got != expected) {
            return ResetWith(PKT_BADCRC);
        }
        m_receiveState = 0;
        return PKT_COMPLETE;
    }
    return PKT_INCOMPLETE;
}

bool CTkPacket::SetPacketOrder(int order)
{
    if (order != 0 && order != 1) {
        return false;
    }
    const uint32_t destination = GetAddress();
    const uint32_t source = GetHeaderWord2();
    const uint16_t command = GetCommand();
    const uint16_t replyCommand = GetReplyCommand();
    const uint16_t replyWord = GetReplyWord();
    const uint16_t length = GetBodyLength();
    m_packetOrder = order;
    m_frame[F::OffOrder] = static_cast<uint8_t>(order);
    SetAddress(destination);
    SetSourceAddress(source);
    SetCommandCode(command);
    SetReplyCommand(replyCommand);
    SetReplyWord(replyWord);
    SetBodyLength(length);
    return true;
}
