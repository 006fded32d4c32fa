// Writes the hand-made seeds of the fuzz targets: small P2 images built with
// the chip tests' encoder, each leaning on one part of the chip, and project
// files at the edges of the format. Usage: kivo_fuzz_seeds CORPUS_FOLDER
// (tests/fuzz/corpus); it writes sim/*.binary and project/*.kivo there.
#include "../../sim/p2asm.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "platform/profile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace kivo::test::p2;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Longs at hub `at`, the image grown to hold them.
void put(Bytes &image, std::uint32_t at, const std::vector<std::uint32_t> &longs)
{
    if (image.size() < at + 4 * longs.size())
        image.resize(at + 4 * longs.size(), 0);
    for (std::size_t i = 0; i < longs.size(); ++i)
        for (int b = 0; b < 4; ++b)
            image[at + 4 * i + std::size_t(b)] = std::uint8_t(longs[i] >> (8 * b));
}

std::uint32_t testp(std::uint32_t pin, std::uint32_t f) { return dForm(sub9::TESTP, I(pin), f); }
std::uint32_t hubset(Opnd d) { return dForm(sub9::HUBSET, d); }

// Async serial at 200 kbaud on the console pins: "ok\r\n" out, then every
// byte received on pin 63 echoed on pin 62.
Bytes console()
{
    Program p;
    p << dForm(sub9::DIRL, I(62)) << dForm(sub9::DIRL, I(63)) << wrpin(I(0x7C), I(62)) << wrpin(I(0x3E), I(63))
      << augd(100u << 16) << wxpin(I(7), I(62)) << augd(100u << 16) << wxpin(I(7), I(63)) << dForm(sub9::DIRH, I(62))
      << dForm(sub9::DIRH, I(63));
    for (std::uint8_t b : {'o', 'k', '\r', '\n'})
        p << wypin(I(b), I(62)) << NOP << rdpin(0x130, I(62), WC) << cond(IF_C, jmpA(0xFFFF8, true));
    const std::uint32_t loop = p.here();
    p << testp(63, WC) << cond(IF_NC, jmpA(0xFFFF8, true)) // wait for a byte
      << rdpin(0x131, I(63)) << alu(op::SHR, 0x131, I(24)) << wypin(R(0x131), I(62)) << jmpA(loop, false);
    return p.bytes();
}

// Cog 0 takes a lock and starts three cogs in hub exec; each adds its ID to
// a hub counter under the lock, strobes cog 0's attention and stops.
Bytes cogs()
{
    constexpr std::uint32_t kCode = 0x400, kCounter = 0x600;
    Program p;
    p << dForm(sub9::LOCKNEW, R(0x130));
    for (int i = 0; i < 3; ++i)
        p << setq(R(0x130)) << augs(kCode) << coginit(I(0x30), I(kCode & 0x1FF)); // next free cog, hub exec
    p << event(WAITATN) << event(WAITATN) << event(WAITATN) << dForm(sub9::LOCKRET, R(0x130));
    p.finish();
    Bytes image = p.bytes();
    Program c; // PTRA = the lock
    c << cogid(0x140);
    const std::uint32_t take = c.here();
    c << dForm(sub9::LOCKTRY, R(0x1F8), WC) << cond(IF_NC, jmpA(kCode + 4 * take, false));
    c << augs(kCounter) << rdlong(0x141, I(kCounter & 0x1FF)) << add(0x141, R(0x140)) << augs(kCounter)
      << wrlong(R(0x141), I(kCounter & 0x1FF)) << dForm(sub9::LOCKREL, R(0x1F8)) << dForm(sub9::COGATN, I(1))
      << cogstop(R(0x140));
    put(image, kCode, c.code);
    put(image, kCounter, {0});
    return image;
}

// Cog 0 jumps to hub code, which calls a hub routine through the stack, runs
// a REP block and returns to cog exec.
Bytes hubExec()
{
    constexpr std::uint32_t kHub = 0x800, kSub = 0x900;
    Program p;
    p << jmpA(kHub, false);
    const std::uint32_t back = p.here();
    p.finish();
    Bytes image = p.bytes();
    Program h;
    h << mov(0x130, I(5)) << push(R(0x130)) << callA(kSub, false) << pop(0x131) << rep(I(2), I(4))
      << add(0x132, R(0x131)) << alu(op::ROL, 0x132, I(3)) << loc(0, 0x123, false) << mov(0x133, R(PA))
      << jmpA(back, false);
    put(image, kHub, h.code);
    put(image, kSub, {add(0x130, I(1)), getct(0x134), ret()});
    return image;
}

// Products, quotients and the CORDIC's queue.
Bytes cordic()
{
    Program p;
    p.set(0x130, 123456789).set(0x131, 987);
    p << qmul(R(0x130), R(0x131)) << qdiv(R(0x130), R(0x131)) << getqx(0x132) << getqy(0x133) << getqx(0x134)
      << getqy(0x135) << qdiv(R(0x130), I(0)) << getqx(0x136);
    p.finish();
    return p.bytes();
}

// CT1 interrupts re-armed every 100 clocks while the main code counts.
Bytes interrupts()
{
    Program p;
    p << mov(0x1F4, I(8)) << dForm(sub9::SETINT1, I(1)) << getct(0x122) << addct1(0x122, I(100)) << add(0x120, I(1))
      << cmp(0x120, I(200), WZ) << cond(IF_NZ, jmpA(0xFFFF4, true)) << jmpA(11, false) << add(0x121, I(1))
      << addct1(0x122, I(100)) << calld(0x1FF, R(0x1F5), WCZ);
    p << dForm(sub9::SETINT1, I(0)) << event(WAITCT1);
    p.finish();
    return p.bytes();
}

// The FIFO read and written through RDFAST/RFxxx and WRFAST/WFxxx.
Bytes fifo()
{
    constexpr std::uint32_t kTable = 0x400, kOut = 0x600;
    Program p;
    p.set(0x120, kTable) << dlsForm(0xC7, I(0), R(0x120)) << dForm(0x012, R(0x100)) << dForm(0x013, R(0x101))
                         << dForm(0x010, R(0x102), WC) << dForm(0x034, R(0x104));
    p.set(0x121, kOut) << dlsForm(0xC8, I(0), R(0x121)) << dForm(0x017, R(0x100)) << dForm(0x015, I(0x5A))
                       << waitx(I(20));
    p.finish();
    Bytes image = p.bytes();
    put(image, kTable, {0x12345678, 0x80028178});
    put(image, kOut, {0, 0});
    return image;
}

// Every smart-pin mode once: pin 8 + m takes mode m, then each is read.
Bytes smartPins()
{
    Program p;
    p << mov(0x130, I(0)) << mov(0x131, I(8)) << mov(0x133, I(32));
    const std::uint32_t setup = p.here();
    p << mov(0x132, R(0x130)) << alu(op::SHL, 0x132, I(1)) << wrpin(R(0x132), R(0x131)) << wxpin(I(0x40), R(0x131))
      << wypin(I(0x100), R(0x131)) << dForm(sub9::DIRH, R(0x131)) << add(0x130, I(1)) << add(0x131, I(1))
      << djnz(0x133, I((setup - (p.here() + 1)) & 0x1FF));
    p << waitx(I(0x1FF)) << mov(0x131, I(8)) << mov(0x133, I(32));
    const std::uint32_t read = p.here();
    p << rdpin(0x134, R(0x131), WC) << add(0x131, I(1)) << djnz(0x133, I((read - (p.here() + 1)) & 0x1FF));
    p.finish();
    return p.bytes();
}

// The streamer: four immediate bytes out on pins 0..7.
Bytes streamer()
{
    Program p;
    p << dForm(sub9::DIRH, I(0 | 7 << 6)) << augd(0x08000000) << dForm(0x01D, I(0));
    p.set(0x120, 0x600E0000 | 0x04000000 | 0x00800000 | 4).set(0x121, 0x44332211);
    p << dlsForm(0xCA, R(0x120), R(0x121)) << waitx(I(200));
    p.finish();
    return p.bytes();
}

// The clock: HUBSET to the PLL at 200 MHz from the 20 MHz crystal, as
// FlexSpin's start-up does, then a timed wait.
Bytes pll()
{
    Program p;
    p << hubset(I(0)) << augd(0x010009F8) << hubset(I(0x1F8)) << augd(200000) << waitx(I(200000 & 0x1FF))
      << augd(0x010009FB) << hubset(I(0x1FB)) << getct(0x130) << waitx(I(100)) << getct(0x131);
    p.finish();
    return p.bytes();
}

// ALTx indexing, SKIPF patterns and SETQ block moves.
Bytes alt()
{
    Program p;
    p << mov(0x130, I(0x140)) << grp(op9::ALTD, 0x130, I(2)) << mov(0, I(7)) << mov(0x131, I(0b10110))
      << dForm(sub9::SKIPF, R(0x131)) << add(0x150, I(1)) << add(0x151, I(1)) << add(0x152, I(1)) << add(0x153, I(1))
      << add(0x154, I(1)) << setq(I(7)) << rdlong(0x160, I(0)) << setq2(I(3)) << rdlong(0, I(0x40));
    p.finish();
    return p.bytes();
}

// A long that no instruction has: the run ends in a fault.
Bytes fault()
{
    Program p;
    p << NOP << 0xFBD00000u;
    return p.bytes();
}

// Projects at the edges of the file format.
Bytes newProject()
{
    kivo::CKivoDoc doc;
    kivo::MemoryProfile profile;
    doc.OnNewDocument(profile);
    return kivo::SerializeProject(doc);
}

// The clock setting in the narrow, Windows-1252 form older files have.
Bytes narrowProject()
{
    Bytes wide = newProject();
    kivo::CKivoDoc doc;
    kivo::MemoryProfile profile;
    doc.OnNewDocument(profile);
    Bytes clock;
    kivo::AppendWideString(clock, doc.m_strClockFreq);
    Bytes out(wide.begin(), wide.begin() + 4);
    out.push_back(std::uint8_t(doc.m_strClockFreq.size()));
    out.insert(out.end(), doc.m_strClockFreq.begin(), doc.m_strClockFreq.end());
    out.insert(out.end(), wide.begin() + 4 + std::ptrdiff_t(clock.size()), wide.end());
    return out;
}

// A long pin note and odd characters: the longer length prefixes.
Bytes longTexts()
{
    kivo::CKivoDoc doc;
    kivo::MemoryProfile profile;
    doc.OnNewDocument(profile);
    doc.m_strPinNote[3] = std::string(300, 'n');
    doc.m_strPinNote[4] = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    return kivo::SerializeProject(doc);
}

bool write(const std::filesystem::path &path, const Bytes &bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kivo_fuzz_seeds CORPUS_FOLDER\n");
        return 2;
    }
    const std::filesystem::path corpus = argv[1];
    const std::pair<const char *, Bytes> seeds[] = {
        {"sim/console.binary", console()},
        {"sim/cogs.binary", cogs()},
        {"sim/hubexec.binary", hubExec()},
        {"sim/cordic.binary", cordic()},
        {"sim/interrupts.binary", interrupts()},
        {"sim/fifo.binary", fifo()},
        {"sim/smartpins.binary", smartPins()},
        {"sim/streamer.binary", streamer()},
        {"sim/clock.binary", pll()},
        {"sim/alt.binary", alt()},
        {"sim/fault.binary", fault()},
        {"project/empty.kivo", {}},
        {"project/new.kivo", newProject()},
        {"project/narrow.kivo", narrowProject()},
        {"project/longtexts.kivo", longTexts()},
    };
    for (const auto &[name, bytes] : seeds)
        if (!write(corpus / name, bytes)) {
            std::fprintf(stderr, "%s cannot be written\n", (corpus / name).c_str());
            return 1;
        }
    return 0;
}
