#include "chip/chip.h"

#include "chip/cog.h"
#include "chip/cordic.h"
#include "chip/fifo.h"
#include "chip/pins.h"
#include "chip/smartpin.h"
#include "chip/streamer.h"

#include <algorithm>
#include <cstdio>

namespace kivo::sim {

struct Chip::Impl {
    Cordic cordic;
    std::array<bool, 16> lockAllocated{};
    std::array<int, 16> lockOwner{};
    std::array<int, 16> lockLastOwner{};
    std::uint64_t rnd[2] = {0x1234567890ABCDEFull, 0x0FEDCBA987654321ull};
    std::function<void(const TraceEntry &)> traceHook;
    Impl() { lockOwner.fill(-1); }
};

Chip::Chip() : m_pins(std::make_unique<Pins>(m_time)), m_impl(std::make_unique<Impl>())
{
    for (int i = 0; i < 8; ++i)
        m_cogs[std::size_t(i)] = std::make_unique<Cog>(*this, m_hub, *m_pins, m_impl->cordic, i);
    // The streamers are lazy: before the pins act at a clock, they deliver
    // their pin and DAC changes up to it. Before the earliest clock any of
    // them acts at, only their clocks move on, and that is left for each
    // streamer to do when it is next called.
    for (auto &c : m_cogs)
        c->streamer().shareQuiet(&m_streamSkipped, &m_streamQuiet);
    m_pins->setCatchUp([this](Clock at) {
        if (at < m_streamQuiet) {
            m_streamSkipped = std::max(m_streamSkipped, at);
            return;
        }
        Clock quiet = kNever;
        for (auto &c : m_cogs) {
            Streamer &s = c->streamer();
            s.advance(at);
            quiet = std::min(quiet, s.quietUntil());
        }
        m_streamQuiet = quiet;
    });
    // A cog waiting on a pin looks again when the pins are written to; the
    // cog running now samples them itself.
    m_pins->onCogWrite([this](std::uint64_t pins, Clock at) {
        for (auto &c : m_cogs)
            if (c.get() != m_current)
                c->pinsTouched(pins, at);
    });
    m_time.setFrequency(0, 20e6);
}

Chip::~Chip() = default;

bool Chip::loadImage(const std::vector<std::uint8_t> &image, std::string *error)
{
    if (image.empty()) {
        if (error)
            *error = "the image is empty";
        return false;
    }
    if (image.size() > kHubSize) {
        if (error)
            *error = "the image is larger than hub RAM (" + std::to_string(image.size()) + " bytes, at most " +
                     std::to_string(kHubSize) + ")";
        return false;
    }
    std::copy(image.begin(), image.end(), m_hub.data());
    startCog(0, 0, 0);
    return true;
}

void Chip::startCog(int cog, std::uint32_t addr, std::uint32_t ptra)
{
    m_cogs[std::size_t(cog & 7)]->start(true, addr, ptra, m_now);
    // The boot loader hands over with the cog's first instruction at once.
    (void)0;
}

double Chip::seconds() const { return m_time.seconds(m_now); }

double Chip::clockHz() const { return m_time.frequencyAt(m_now); }

void Chip::setTraceHook(std::function<void(const TraceEntry &)> hook)
{
    m_impl->traceHook = std::move(hook);
    for (auto &c : m_cogs)
        c->setTracing(bool(m_impl->traceHook));
}

void Chip::traceInstruction(const TraceEntry &entry)
{
    if (m_impl->traceHook)
        m_impl->traceHook(entry);
}

CogState Chip::cogState(int cog) const
{
    const Cog &c = *m_cogs[std::size_t(cog & 7)];
    return CogState{c.running(), c.pc(), c.c(), c.z(), c.pc() >= 0x400};
}

std::uint32_t Chip::cogRegister(int cog, std::uint32_t addr) const { return m_cogs[std::size_t(cog & 7)]->reg(addr); }

void Chip::setCogRegister(int cog, std::uint32_t addr, std::uint32_t value)
{
    m_cogs[std::size_t(cog & 7)]->setReg(addr, value);
}

std::uint32_t Chip::lutRegister(int cog, std::uint32_t addr) const { return m_cogs[std::size_t(cog & 7)]->lut(addr); }

bool Chip::cogRunning(int cog) const { return m_cogs[std::size_t(cog & 7)]->running(); }

int Chip::runningCogs() const
{
    int n = 0;
    for (const auto &c : m_cogs)
        n += c->running() ? 1 : 0;
    return n;
}

std::uint64_t Chip::instructions() const
{
    std::uint64_t n = 0;
    for (const auto &c : m_cogs)
        n += c->executed();
    return n;
}

void Chip::fault(int cog, std::uint32_t pc, std::uint32_t instr, const std::string &what)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "cog %d, PC $%05X, instruction $%08X: ", cog, pc, instr);
    if (m_fault.empty())
        m_fault = buf + what;
}

bool Chip::setClockMode(std::uint32_t mode, Clock at, std::string *problem)
{
    double hz = 20e6;
    switch (mode & 3) {
    case 0:
        hz = 20e6;
        break; // RCFAST (at least 20 MHz; FlexSpin assumes 20 MHz)
    case 1:
        hz = 20e3;
        break; // RCSLOW
    case 2:
        hz = m_crystalHz;
        break;
    default: {
        const double div = double((mode >> 18 & 63) + 1);
        const double mul = double((mode >> 8 & 1023) + 1);
        const unsigned p = mode >> 4 & 15;
        const double post = p == 15 ? 1.0 : double((p + 1) * 2);
        if (!(mode >> 24 & 1))
            break;
        // The VCO is meant for 100..200 MHz and can be pushed to 350 MHz; a
        // setting beyond that is no clock the chip makes.
        const double vco = m_crystalHz / div * mul;
        if (vco > kMaxPllHz) {
            if (problem) {
                char buf[160];
                std::snprintf(
                    buf, sizeof buf,
                    "HUBSET clock mode $%08X puts the PLL's VCO at %.2f MHz, above the chip's limit of %.0f MHz", mode,
                    vco / 1e6, kMaxPllHz / 1e6);
                *problem = buf;
            }
            return false;
        }
        hz = vco / post;
        break;
    }
    }
    m_clockMode = mode;
    m_time.setFrequency(at, hz);
    return true;
}

std::uint32_t Chip::random(Clock at)
{
    (void)at;
    // xoroshiro128**
    std::uint64_t s0 = m_impl->rnd[0], s1 = m_impl->rnd[1];
    const std::uint64_t r = std::rotl(s0 * 5, 7) * 9;
    s1 ^= s0;
    m_impl->rnd[0] = std::rotl(s0, 24) ^ s1 ^ (s1 << 16);
    m_impl->rnd[1] = std::rotl(s1, 37);
    return std::uint32_t(r >> 32);
}

namespace {

std::uint64_t splitmix64(std::uint64_t &x)
{
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

} // namespace

void Chip::setSeed(std::uint64_t seed)
{
    std::uint64_t x = seed;
    m_impl->rnd[0] = splitmix64(x);
    m_impl->rnd[1] = splitmix64(x) | 1; // never all zero
    m_seedMix = splitmix64(x) | 1;
    m_pins->setSeed(splitmix64(x));
    for (int n = 0; n < 8; ++n)
        m_cogs[std::size_t(n)]->seedRandom(cogRandomStart(n));
}

std::uint32_t Chip::cogRandomStart(int cog) const
{
    const std::uint32_t base = 0x9E3779B9u * std::uint32_t(cog + 1);
    return m_seedMix ? base ^ std::uint32_t(m_seedMix >> (4 * cog)) : base;
}

void Chip::seedRandom(std::uint32_t seed)
{
    m_impl->rnd[0] = 0x8000000000000000ull | std::uint64_t(seed & 0x7FFFFFFF) << 32 | 1;
    m_impl->rnd[1] = 0x9E3779B97F4A7C15ull;
}

void Chip::setProtection(std::uint32_t d)
{
    if (m_protectionLocked)
        return;
    m_debugEnables = d & 0xFFFF;
    m_hub.setProtected(d >> 16 & 1);
    m_protectionLocked = d >> 17 & 1;
}

std::uint32_t Chip::scope(Clock at)
{
    (void)at;
    return 0;
}

int Chip::coginit(int requested, std::uint32_t flags, std::uint32_t addr, std::uint32_t ptra, Clock at)
{
    const bool load = !(flags & 0x20);
    int target = -1;
    if (flags & 0x10) {
        const bool pair = flags & 1;
        for (int n = 0; n < 8; n += pair ? 2 : 1) {
            if (!m_cogs[std::size_t(n)]->running() && (!pair || !m_cogs[std::size_t(n + 1)]->running())) {
                target = n;
                break;
            }
        }
        if (target < 0)
            return -1;
        if (pair)
            m_cogs[std::size_t(target + 1)]->start(load, addr, ptra, at);
    } else {
        target = requested & 7;
    }
    m_cogTimesStale = true;
    // Locks held by a restarted cog are released.
    for (int l = 0; l < 16; ++l)
        if (m_impl->lockOwner[std::size_t(l)] == target) {
            m_impl->lockLastOwner[std::size_t(l)] = target;
            m_impl->lockOwner[std::size_t(l)] = -1;
        }
    m_cogs[std::size_t(target)]->start(load, addr, ptra, at);
    return target;
}

void Chip::cogstop(int n, Clock at)
{
    m_cogTimesStale = true;
    for (int l = 0; l < 16; ++l)
        if (m_impl->lockOwner[std::size_t(l)] == n) {
            m_impl->lockLastOwner[std::size_t(l)] = n;
            m_impl->lockOwner[std::size_t(l)] = -1;
            for (auto &c : m_cogs)
                if (c->running())
                    c->lockChanged(l, false, at);
        }
    m_cogs[std::size_t(n & 7)]->stop(at);
}

int Chip::lockNew()
{
    for (int l = 0; l < 16; ++l)
        if (!m_impl->lockAllocated[std::size_t(l)]) {
            m_impl->lockAllocated[std::size_t(l)] = true;
            m_impl->lockOwner[std::size_t(l)] = -1;
            return l;
        }
    return -1;
}

void Chip::lockRet(int n) { m_impl->lockAllocated[std::size_t(n & 15)] = false; }

bool Chip::lockTry(int cog, int n, Clock at)
{
    if (!m_impl->lockAllocated[std::size_t(n & 15)])
        return false; // not allocated: never taken
    int &owner = m_impl->lockOwner[std::size_t(n & 15)];
    if (owner == cog)
        return true;
    if (owner >= 0)
        return false;
    owner = cog;
    for (auto &c : m_cogs)
        if (c->running())
            c->lockChanged(n & 15, true, at);
    return true;
}

bool Chip::lockRel(int cog, int n, int *ownerOut, Clock at)
{
    int &owner = m_impl->lockOwner[std::size_t(n & 15)];
    const bool taken = owner >= 0;
    if (ownerOut)
        *ownerOut = taken ? owner : m_impl->lockLastOwner[std::size_t(n & 15)];
    if (owner == cog) {
        m_impl->lockLastOwner[std::size_t(n & 15)] = owner;
        owner = -1;
        for (auto &c : m_cogs)
            if (c->running())
                c->lockChanged(n & 15, false, at);
    }
    return taken;
}

void Chip::attention(std::uint32_t mask, int from, Clock at)
{
    (void)from;
    for (int n = 0; n < 8; ++n)
        if ((mask >> n & 1) && m_cogs[std::size_t(n)]->running())
            m_cogs[std::size_t(n)]->attention(at);
}

void Chip::cogWoken(Clock at)
{
    m_cogTimesStale = true;
    if (m_current)
        m_current->limitShared(at + 1);
}

Chip::StopReason Chip::runUntil(Clock clock) { return run(clock); }

Chip::StopReason Chip::runForSeconds(double secs)
{
    const double target = m_time.seconds(m_now) + secs;
    // The clock may change on the way: run in steps, re-reading the time base.
    for (;;) {
        const Clock limit = m_time.clockAt(target);
        if (limit <= m_now)
            return StopReason::Limit; // rounding: no whole clock left
        StopReason r = run(limit);
        if (r != StopReason::Limit)
            return r;
        if (m_time.seconds(m_now) + 1e-12 >= target)
            return r;
    }
}

Chip::StopReason Chip::run(Clock limit)
{
    // The cog with the earliest clock runs a batch: instructions of its own
    // (registers, ALU, branches) up to a cap, and instructions that touch hub
    // RAM, pins, events, the CORDIC or another cog only up to the next cog's
    // clock. So everything the cogs share happens in clock order, while a busy
    // cog is not stopped at every instruction. The cap keeps stop requests
    // and faults prompt.
    constexpr Clock kMaxBatch = 1 << 14;
    constexpr std::size_t kPinQueueCatchUp = 4096;
    m_stopRequested = false;
    m_cogTimesStale = true; // cogs may have been started or set up since
    for (;;) {
        if (m_stopRequested) {
            m_stopRequested = false;
            return StopReason::Stopped;
        }
        if (!m_fault.empty())
            return StopReason::Fault;
        // The earliest cog (the lowest number on a tie) and the next clock.
        if (m_cogTimesStale) {
            for (std::size_t n = 0; n < 8; ++n)
                m_cogTimes[n] = m_cogs[n]->time(); // kNever when stopped
            m_cogTimesStale = false;
        }
        std::size_t firstN = 8;
        Clock firstTime = kNever, second = kNever;
        for (std::size_t n = 0; n < 8; ++n) {
            const Clock t = m_cogTimes[n];
            if (t < firstTime) {
                second = firstTime;
                firstTime = t;
                firstN = n;
            } else if (t < second) {
                second = t;
            }
        }
        Cog *first = firstN < 8 ? m_cogs[firstN].get() : nullptr;
        if (!first) {
            // Let the serial output drain before reporting that all stopped.
            m_pins->advance(m_now);
            if (m_stopRequested)
                continue;
            return StopReason::AllStopped;
        }
        const Clock t = firstTime;
        // Pin writes wait in a queue until the pins reach their clock; when
        // nobody reads the pins for a long time it would grow without end.
        // No cog reads pins further back than 3 clocks before its own time.
        if (m_pins->queuedWrites() > kPinQueueCatchUp && t > 3 && m_pins->now() < t - 3)
            m_pins->advance(t - 3);
        if (t >= limit) {
            m_now = std::max(m_now, limit);
            m_pins->advance(m_now);
            if (m_stopRequested)
                continue;
            return StopReason::Limit;
        }
        m_now = std::max(m_now, t);
        const Clock shared = second == kNever ? kNever : second + 1;
        const Clock until = std::min(limit, t + kMaxBatch);
        m_current = first;
        const bool ok = first->run(until, shared);
        m_current = nullptr;
        m_cogTimes[firstN] = first->time();
        if (!ok)
            return StopReason::Fault;
        if (!first->running()) {
            const Clock stopAt = first->time() == kNever ? m_now : first->time();
            m_now = std::max(m_now, stopAt);
        }
    }
}

} // namespace kivo::sim
