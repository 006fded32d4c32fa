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

} // namespace kivo::test::p2
