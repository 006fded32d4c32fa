#pragma once
// Console programs for the tests that run a whole image (the live run, the
// desktop's simulated board): pin 62 an async transmitter, pin 63 a receiver.
#include "p2asm.h"

#include <cstdint>
#include <string>

namespace kivo::test::p2 {

// Prints `text` on pin 62, then loops.
inline Program Printer(const std::string &text)
{
    Program p;
    p << dForm(sub9::DIRL, I(62)) << wrpin(I(0x7C), I(62)) << augd(100u << 16) << wxpin(I(7), I(62))
      << dForm(sub9::DIRH, I(62));
    for (char c : text)
        p << wypin(I(std::uint8_t(c)), I(62)) << NOP << rdpin(0x130, I(62), WC) << cond(IF_C, jmpA(0xFFFF8, true));
    p << jmpA(0xFFFFC, true);
    return p;
}

// Returns each byte from pin 63 on pin 62.
inline Program Echo()
{
    Program p;
    p << dForm(sub9::DIRL, I(62)) << wrpin(I(0x7C), I(62)) << augd(50u << 16) << wxpin(I(7), I(62))
      << dForm(sub9::DIRH, I(62)) << dForm(sub9::DIRL, I(63)) << wrpin(I(0x3E), I(63)) << augd(100u << 16)
      << wxpin(I(7), I(63)) << dForm(sub9::DIRH, I(63)) << dForm(sub9::TESTP, I(63), WC)
      << cond(IF_NC, jmpA(0xFFFF8, true)) << rdpin(0x100, I(63)) << alu(op::SHR, 0x100, I(24)) << wypin(R(0x100), I(62))
      << NOP << rdpin(0x130, I(62), WC) << cond(IF_C, jmpA(0xFFFF8, true)) << jmpA(0xFFFDC, true);
    return p;
}

// Plays on two DAC pins (random dither, 990 ohm 3.3 V), one sample every
// `period` clocks: `high` and `low` by turns, each held `hold` clocks. Equal
// levels play silence.
inline Program Tone(int left, int right, std::uint32_t period, std::uint32_t high, std::uint32_t low,
                    std::uint32_t hold)
{
    constexpr std::uint32_t kDacDither = 0x00140044;
    Program p;
    for (int pin : {left, right})
        p << augd(kDacDither) << wrpin(I(kDacDither), I(std::uint32_t(pin))) << augd(period)
          << wxpin(I(period), I(std::uint32_t(pin))) << augd(0x8000) << wypin(I(0x8000), I(std::uint32_t(pin)))
          << dForm(sub9::DIRH, I(std::uint32_t(pin)));
    const std::uint32_t loop = p.here();
    for (std::uint32_t level : {high, low}) {
        for (int pin : {left, right})
            p << augd(level) << wypin(I(level), I(std::uint32_t(pin)));
        p << augd(hold) << waitx(I(hold));
    }
    p << jmpA((loop - (p.here() + 1)) * 4 & 0xFFFFF, true);
    return p;
}

} // namespace kivo::test::p2
