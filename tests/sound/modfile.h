#pragma once
// Writes small four-channel "M.K." modules for the tests: samples, one or
// more patterns and the order table, in the format's big-endian layout.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kivo::test {

struct ModSample {
    std::vector<std::int8_t> data; // even length
    int volume = 64;
    int finetune = 0;
    int loopStart = 0;  // bytes
    int loopLength = 0; // bytes, 0 = one-shot
};

struct ModCell {
    int sample = 0, period = 0, effect = 0, param = 0;
};

using ModPattern = std::array<std::array<ModCell, 4>, 64>;

struct ModFile {
    std::vector<ModSample> samples; // 1..31
    std::vector<ModPattern> patterns;
    std::vector<int> order;
    std::string signature = "M.K.";

    std::vector<std::uint8_t> Bytes() const
    {
        std::vector<std::uint8_t> b(1084, 0);
        std::memcpy(b.data(), "kivo test", 9);
        auto word = [&b](std::size_t at, int v) {
            b[at] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
            b[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
        };
        for (std::size_t s = 0; s < 31; ++s) {
            std::size_t at = 20 + 30 * s;
            if (s < samples.size()) {
                const ModSample &m = samples[s];
                word(at + 22, static_cast<int>(m.data.size() / 2));
                b[at + 24] = static_cast<std::uint8_t>(m.finetune & 15);
                b[at + 25] = static_cast<std::uint8_t>(m.volume);
                word(at + 26, m.loopStart / 2);
                word(at + 28, m.loopLength ? m.loopLength / 2 : 1);
            } else {
                word(at + 28, 1);
            }
        }
        b[950] = static_cast<std::uint8_t>(order.size());
        b[951] = 127;
        for (std::size_t i = 0; i < order.size(); ++i)
            b[952 + i] = static_cast<std::uint8_t>(order[i]);
        std::memcpy(&b[1080], signature.data(), 4);
        for (const ModPattern &p : patterns)
            for (const auto &row : p)
                for (const ModCell &c : row) {
                    b.push_back(static_cast<std::uint8_t>((c.sample & 0xF0) | ((c.period >> 8) & 0x0F)));
                    b.push_back(static_cast<std::uint8_t>(c.period & 0xFF));
                    b.push_back(static_cast<std::uint8_t>(((c.sample & 0x0F) << 4) | (c.effect & 0x0F)));
                    b.push_back(static_cast<std::uint8_t>(c.param));
                }
        for (const ModSample &m : samples)
            for (std::int8_t v : m.data)
                b.push_back(static_cast<std::uint8_t>(v));
        return b;
    }
};

} // namespace kivo::test
