#pragma once

// One instrument frame, built for sending or assembled byte by byte on receipt.
//
// Frame layout (offsets from the first byte, n = body length):
//   0 SOH | 1 destination (4) | 5 source (4) | 9 command/status (2) |
//   11 reply command (2) | 13 reply word (2) | 15 order flag | 16 body length (2) |
//   18 STX | 19 body (n <= 490) | 19+n ETX | 20+n CRC-16 (2)
// Every multi-byte item is in the order named by the order flag:
// 0 = most significant byte first, 1 = least significant byte first.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TkPacketFrame {
    static constexpr uint8_t Soh = 0x01;
    static constexpr uint8_t Stx = 0x02;
    static constexpr uint8_t Etx = 0x03;

    static constexpr size_t OffSoh = 0;
    static constexpr size_t OffDestination = 1;
    static constexpr size_t OffSource = 5;
    static constexpr size_t OffCommand = 9;       // command of a request, status of a reply
    static constexpr size_t OffReplyCommand = 11; // command a reply answers; 0 in a request
    static constexpr size_t OffReplyWord = 13;    // extra 16-bit word of older-generation replies
    static constexpr size_t OffOrder = 15;
    static constexpr size_t OffBodyLength = 16;
    static constexpr size_t OffStx = 18;
    static constexpr size_t OffBody = 19;

    static constexpr size_t HeaderSize = 14;      // offsets 1 to 14
    static constexpr size_t MaxBody = 490;
    static constexpr size_t BodyArea = 495;       // body plus room for ETX and CRC while receiving
    static constexpr size_t Overhead = 22;        // frame length = body length + Overhead
    static constexpr size_t MinFrame = Overhead;  // 22
    static constexpr size_t MaxFrame = MaxBody + Overhead; // 512
    static constexpr size_t BufferSize = OffBody + BodyArea; // 514

    static constexpr size_t MaxCommandExBody = 300;  // data + extra block of SetCommandEx
    static constexpr size_t MaxComposedLayout = 79;  // characters of a layout SetCommandEx composes

    static constexpr int OrderMsbFirst = 0;
    static constexpr int OrderLsbFirst = 1;
    static constexpr int HostOrder = 1;           // this machine's order

    static constexpr uint32_t HostAddress = 0;
    static constexpr uint32_t BroadcastAddress = 0xFFFFFFFFu;
};

// Results of CTkPacket::ReceiveByte.
enum TkReceiveResult : int {
    PKT_COMPLETE = 0,    // a complete, valid frame is held
    PKT_INCOMPLETE = 1,  // byte stored, frame not complete yet
    PKT_BADSOH = -1,     // first byte is not SOH
    PKT_BADCRC = -2,     // CRC mismatch
    PKT_BADLEN = -3,     // body length above 490
    PKT_BADSRC = -4,     // bad source address (kept for the link's statistics; never returned)
    PKT_BADSTX = -5,     // no STX after the header
    PKT_BADETX = -6,     // no ETX after the body
    PKT_BADBO = -7,      // order flag neither 0 nor 1
};

class CTkPacket {
public:
    // Every packet of the program is created with packet order 0 and host order 1.
    explicit CTkPacket(int packetOrder = TkPacketFrame::OrderMsbFirst,
                       int hostOrder = TkPacketFrame::HostOrder);
    virtual ~CTkPacket();

    CTkPacket(const CTkPacket&) = delete;
    CTkPacket& operator=(const CTkPacket&) = delete;

    // Empty frame ready to receive (state 1) or to fill: header zero, body length 0,
    // body order = host order, order byte = packet order. Also forgets the layout
    // that described the previous body.
    void Reset();

    // Reset, set the command code and, when length > 0, the body (SetBody in host order).
    // Returns false, leaving the packet reset with the command code and an empty body,
    // when the body is refused (see SetBody).
    bool SetCommand(uint16_t command, const void* data, size_t length, const char* layout);

    // As SetCommand when extraLength is 0. Otherwise the body is data followed by extra;
    // its layout is layout + "<extraLength>(c)" (or "<total>(c)" without a layout), so the
    // extra block is never swapped. Refused (false, packet reset with the command code and
    // an empty body) when data + extra exceed 300 bytes, the composed layout exceeds 79
    // characters, the layout is malformed, or the layout describes more than length bytes
    // (it would reach into and swap the extra block).
    bool SetCommandEx(uint16_t command, const void* data, size_t length, const char* layout,
                      const void* extra, size_t extraLength);

    // Destination address (offset 1).
    void SetAddress(uint32_t address);
    uint32_t GetAddress() const;

    // Source address (offset 5).
    uint32_t GetHeaderWord2() const;
    void SetSourceAddress(uint32_t address);

    // Offset 9: command of a request, status of a reply.
    void SetCommandCode(uint16_t code);
    uint16_t GetCommand() const;

    // Offset 11: in a reply, the command it answers.
    uint16_t GetReplyCommand() const;
    void SetReplyCommand(uint16_t command);

    // Offset 13: the reply word.
    uint16_t GetReplyWord() const;
    void SetReplyWord(uint16_t word);

    // Body length field (offset 16). SetBodyLength refuses (false, nothing changed) a
    // length above 490.
    bool SetBodyLength(size_t length);
    uint16_t GetBodyLength() const;

    // Copies length bytes into the body, recording order (-1 = host order) as the order they
    // are in, converts them to the packet order by layout and sets the body length.
    // A null layout stores raw bytes that are never converted. Refused (false, body left
    // empty) when length exceeds 490, data is null with length > 0, or the layout is malformed.
    bool SetBody(const void* data, size_t length, const char* layout, int order = -1);

    // Converts the body in place to order (-1 = host order) by layout and returns it.
    // A null layout converts nothing. The walk covers the layout's elements and never
    // passes the body length, so bytes after the layout stay as they came: check
    // HasBodyOfLayout before decoding a reply.
    uint8_t* GetBody(const char* layout, int order = -1);
    const uint8_t* GetBodyData() const { return m_frame + TkPacketFrame::OffBody; }

    // True when the body holds the whole record layout describes (layout well formed):
    // at least that many bytes. Bytes after the record are fields a newer firmware
    // appends; a reader of the layout leaves them alone.
    bool HasBodyOfLayout(const char* layout) const;

    // Converts the body in place to order by layout (null: nothing), keeping a copy of the
    // layout; the body order changes only when the walk covered at least one byte.
    void ConvertBody(const char* layout, int order);

    // Body length + 22.
    size_t GetFrameLength() const;

    // Writes the whole frame (GetFrameLength bytes) into buffer and returns its length.
    // When a layout is held the body is first converted to the packet order.
    size_t Build(uint8_t* buffer);
    // As Build, but returns 0 and writes nothing when size is below GetFrameLength.
    size_t Build(uint8_t* buffer, size_t size);
    std::vector<uint8_t> Build();

    // Stores one received byte: PKT_INCOMPLETE (1), PKT_COMPLETE (0), or a negative
    // TkReceiveResult after which the packet has been reset. Once complete, further bytes
    // are neither stored nor checked and the result stays 0.
    int ReceiveByte(uint8_t byte);

    // Link of the link's received-packet queue (not owned).
    void SetNext(CTkPacket* next) { m_next = next; }
    CTkPacket* GetNext() const { return m_next; }

    // Frame order on the line. SetPacketOrder re-encodes the header words and body
    // length in the new order (the body follows at Build through its layout); it is how
    // a frame of order 1 is built. Orders other than 0 and 1 are refused (false).
    bool SetPacketOrder(int order);
    int GetPacketOrder() const { return m_packetOrder; }
    int GetHostOrder() const { return m_hostOrder; }
    int GetBodyOrder() const { return m_bodyOrder; }

    // 1 while receiving (after a reset), 0 once a complete valid frame is held.
    int16_t GetReceiveState() const { return m_receiveState; }
    bool IsComplete() const { return m_receiveState == 0; }
    int16_t GetReceivedCount() const { return m_byteCount; }

    // The layout last used to convert the body, empty when none is held.
    const std::string& GetLayout() const { return m_layout; }
    bool HasLayout() const { return m_hasLayout; }

private:
    int ResetWith(int result);
    uint16_t Get16(size_t offset) const;
    uint32_t Get32(size_t offset) const;
    void Put16(size_t offset, uint16_t value);
    void Put32(size_t offset, uint32_t value);
    int NormaliseOrder(int order) const;

    int16_t m_receiveState = 1;
    int32_t m_hostOrder = TkPacketFrame::HostOrder;
    int32_t m_packetOrder = TkPacketFrame::OrderMsbFirst;
    int32_t m_bodyOrder = TkPacketFrame::HostOrder;
    CTkPacket* m_next = nullptr;
    int16_t m_byteCount = 0;
    uint8_t m_frame[TkPacketFrame::BufferSize] = {};
    std::string m_layout;
    bool m_hasLayout = false;
};
