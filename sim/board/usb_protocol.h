#pragma once
// USB 1.1 packet pieces: PIDs, the CRC5 of tokens, the CRC16 of data
// packets, and building and checking packets (bytes after the SYNC, LSB of
// each byte first on the wire).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivo::sim::usb {

enum Pid : std::uint8_t {
    kOut = 0xE1,
    kIn = 0x69,
    kSof = 0xA5,
    kSetup = 0x2D,
    kData0 = 0xC3,
    kData1 = 0x4B,
    kAck = 0xD2,
    kNak = 0x5A,
    kStall = 0x1E,
    kPre = 0x3C,
};

// A PID byte carries its complement in the high nibble.
bool PidValid(std::uint8_t b);

// CRC5 (x^5 + x^2 + 1) of the 11 bits of a token or SOF, as sent.
std::uint8_t Crc5(std::uint32_t bits11);
// CRC16 (x^16 + x^15 + x^2 + 1) of a payload, as sent (low byte first).
std::uint16_t Crc16(const std::uint8_t *data, std::size_t n);
// The payload and its two CRC bytes check out.
bool Crc16Ok(const std::uint8_t *dataAndCrc, std::size_t n);

std::vector<std::uint8_t> Token(std::uint8_t pid, int address, int endpoint);
std::vector<std::uint8_t> Sof(int frame);
std::vector<std::uint8_t> DataPacket(std::uint8_t pid, const std::vector<std::uint8_t> &payload);

// A received token: PID, address, endpoint; false when its CRC5 is wrong.
struct TokenFields {
    std::uint8_t pid = 0;
    int address = 0, endpoint = 0; // for SOF: frame = address | endpoint << 7
};
bool ParseToken(const std::vector<std::uint8_t> &packet, TokenFields *t);

// The wire symbols of a packet: NRZI with bit stuffing after the SYNC,
// true = J. For tests and for comparing against the line transmitter.
std::vector<bool> NrziEncode(const std::vector<std::uint8_t> &bytesWithSync);
// The inverse (unstuffing); false when a stuffed bit is missing.
bool NrziDecode(const std::vector<bool> &symbols, std::vector<std::uint8_t> *bytesWithSync);

} // namespace kivo::sim::usb
