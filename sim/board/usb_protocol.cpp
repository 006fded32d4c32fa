#include "board/usb_protocol.h"

namespace kivo::sim::usb {

bool PidValid(std::uint8_t b) { return ((b >> 4) ^ (b & 15)) == 15; }

std::uint8_t Crc5(std::uint32_t bits11)
{
    std::uint32_t crc = 0x1F;
    for (int i = 0; i < 11; ++i) {
        bool b = (bits11 >> i & 1) != (crc & 1);
        crc >>= 1;
        if (b)
            crc ^= 0x14; // reflected x^5 + x^2 + 1
    }
    return std::uint8_t(crc ^ 0x1F);
}

namespace {
std::uint16_t Crc16Register(const std::uint8_t *data, std::size_t n)
{
    std::uint32_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1; // reflected 0x8005
    }
    return std::uint16_t(crc);
}
} // namespace

std::uint16_t Crc16(const std::uint8_t *data, std::size_t n) { return std::uint16_t(Crc16Register(data, n) ^ 0xFFFF); }

bool Crc16Ok(const std::uint8_t *dataAndCrc, std::size_t n)
{
    return n >= 2 && Crc16Register(dataAndCrc, n) == 0xB001; // the residue over data and CRC
}

std::vector<std::uint8_t> Token(std::uint8_t pid, int address, int endpoint)
{
    std::uint32_t bits = std::uint32_t(address & 0x7F) | std::uint32_t(endpoint & 15) << 7;
    bits |= std::uint32_t(Crc5(bits)) << 11;
    return {pid, std::uint8_t(bits), std::uint8_t(bits >> 8)};
}

std::vector<std::uint8_t> Sof(int frame)
{
    std::uint32_t bits = std::uint32_t(frame) & 0x7FF;
    bits |= std::uint32_t(Crc5(bits)) << 11;
    return {kSof, std::uint8_t(bits), std::uint8_t(bits >> 8)};
}

std::vector<std::uint8_t> DataPacket(std::uint8_t pid, const std::vector<std::uint8_t> &payload)
{
    std::vector<std::uint8_t> p;
    p.reserve(payload.size() + 3);
    p.push_back(pid);
    for (std::uint8_t b : payload)
        p.push_back(b);
    std::uint16_t crc = Crc16(payload.data(), payload.size());
    p.push_back(std::uint8_t(crc));
    p.push_back(std::uint8_t(crc >> 8));
    return p;
}

bool ParseToken(const std::vector<std::uint8_t> &packet, TokenFields *t)
{
    if (packet.size() != 3 || !PidValid(packet[0]))
        return false;
    std::uint32_t bits = packet[1] | std::uint32_t(packet[2]) << 8;
    if (Crc5(bits & 0x7FF) != (bits >> 11))
        return false;
    t->pid = packet[0];
    t->address = int(bits & 0x7F);
    t->endpoint = int(bits >> 7 & 15);
    return true;
}

std::vector<bool> NrziEncode(const std::vector<std::uint8_t> &bytes)
{
    std::vector<bool> out;
    bool level = true; // idle J
    int ones = 0;
    for (std::uint8_t b : bytes) {
        for (int i = 0; i < 8; ++i) {
            if (b >> i & 1) {
                ++ones;
            } else {
                level = !level;
                ones = 0;
            }
            out.push_back(level);
            if (ones == 6) {
                level = !level;
                out.push_back(level);
                ones = 0;
            }
        }
    }
    return out;
}

bool NrziDecode(const std::vector<bool> &symbols, std::vector<std::uint8_t> *bytes)
{
    bytes->clear();
    bool prev = true;
    int ones = 0, nbits = 0;
    std::uint32_t cur = 0;
    for (bool s : symbols) {
        int bit = s == prev ? 1 : 0;
        prev = s;
        if (ones == 6) {
            if (bit)
                return false;
            ones = 0;
            continue;
        }
        ones = bit ? ones + 1 : 0;
        cur |= std::uint32_t(bit) << nbits;
        if (++nbits == 8) {
            bytes->push_back(std::uint8_t(cur));
            cur = 0;
            nbits = 0;
        }
    }
    return nbits == 0;
}

} // namespace kivo::sim::usb
