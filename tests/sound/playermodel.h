#pragma once
// A host-side model of the replay routine's arithmetic (trackerPlayer.spin2):
// the tick clock, one channel's period and volume per tick, and the order of
// rows. It mirrors the routine's integer rules so the tests can hold them
// against the format's own; the tables come from the shipped source.
#include "modfile.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kivo::test {

// A DAT table of the source: the numbers after `label byte|word` and the
// continuation lines.
inline std::vector<int> SpinTable(const std::string &source, const std::string &label)
{
    std::vector<int> out;
    std::istringstream in(source);
    std::string line;
    bool inside = false;
    std::regex first("^" + label + R"(\s+(byte|word|long)\s+(.*)$)"), more(R"(^\s+(byte|word|long)\s+(.*)$)");
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::smatch m;
        if (!inside && std::regex_match(line, m, first))
            inside = true;
        else if (!(inside && std::regex_match(line, m, more))) {
            if (inside)
                break;
            continue;
        }
        std::stringstream values(m[2].str());
        std::string v;
        while (std::getline(values, v, ','))
            out.push_back(std::stoi(v));
    }
    return out;
}

struct PlayerTables {
    std::vector<int> sine, semitones, finetunes, periods;
};

// Tick starts, as sample indexes, for `ticks` ticks at `bpm` and `rate`: the
// routine adds 2 * BPM per output sample and ticks each time it reaches 5 * rate.
inline std::vector<std::int64_t> TickStarts(int rate, int bpm, int ticks)
{
    std::vector<std::int64_t> at;
    std::int64_t acc = 5LL * rate - 2 * bpm; // the first tick at once
    for (std::int64_t n = 0; static_cast<int>(at.size()) < ticks; ++n) {
        acc += 2 * bpm;
        if (acc >= 5LL * rate) {
            acc -= 5LL * rate;
            at.push_back(n);
        }
    }
    return at;
}

// One channel, tick by tick.
struct ChannelModel {
    const PlayerTables *t;
    int period = 0, target = 0, pspeed = 0, vol = 64, ft = 0;
    int vibspd = 0, vibdep = 0, vibpos = 0, vibwave = 0;
    int trspd = 0, trdep = 0, trpos = 0, trwave = 0, gliss = 0;
    int outper = 0, outvol = 0;

    int Wave(int pos, int wave) const
    {
        switch (wave & 3) {
        case 1:
            return 255 - pos * 8;
        case 2:
            return pos & 32 ? -255 : 255;
        default:
            return pos & 32 ? -t->sine[pos & 31] : t->sine[pos & 31];
        }
    }
    int Finetuned(int p) const { return p * t->finetunes[ft] >> 15; }
    void Note(int p)
    {
        period = Finetuned(p);
        target = 0;
        if (!(vibwave & 4))
            vibpos = 0;
        if (!(trwave & 4))
            trpos = 0;
    }
    // Tick 0 of a row with effect e (E-commands as 0x10 + x) and parameter x.
    void Tick0(int e, int x)
    {
        switch (e) {
        case 0x3:
            pspeed = x ? x : pspeed;
            break;
        case 0x4:
            vibspd = x >> 4 ? x >> 4 : vibspd;
            vibdep = x & 15 ? x & 15 : vibdep;
            break;
        case 0x7:
            trspd = x >> 4 ? x >> 4 : trspd;
            trdep = x & 15 ? x & 15 : trdep;
            break;
        case 0xC:
            vol = std::min(x, 64);
            break;
        case 0x11:
            period = std::max(period - x, 113);
            break;
        case 0x12:
            period = std::min(period + x, 856);
            break;
        case 0x13:
            gliss = x;
            break;
        case 0x14:
            vibwave = x;
            break;
        case 0x17:
            trwave = x;
            break;
        case 0x1A:
            vol = std::min(vol + x, 64);
            break;
        case 0x1B:
            vol = std::max(vol - x, 0);
            break;
        case 0x1C:
            vol = x ? vol : 0;
            break;
        }
        outper = period;
        outvol = vol;
    }
    void VolumeSlide(int x)
    {
        vol = x >> 4 ? vol + (x >> 4) : vol - (x & 15);
        vol = std::clamp(vol, 0, 64);
        outvol = vol;
    }
    void Porta()
    {
        if (!target)
            return;
        period = period < target ? std::min(period + pspeed, target) : std::max(period - pspeed, target);
        outper = period;
        if (gliss) {
            for (int p : t->periods) {
                outper = Finetuned(p);
                if (period >= outper)
                    break;
            }
        }
    }
    void Vibrato()
    {
        outper = period + (Wave(vibpos, vibwave) * vibdep >> 7);
        vibpos = (vibpos + vibspd) & 63;
    }
    // Ticks 1.. of the row.
    void Tick(int tick, int e, int x)
    {
        outper = period;
        outvol = vol;
        switch (e) {
        case 0x0:
            if (x && tick % 3)
                outper = period * t->semitones[tick % 3 == 1 ? x >> 4 : x & 15] >> 15;
            break;
        case 0x1:
            period = std::max(period - x, 113);
            outper = period;
            break;
        case 0x2:
            period = std::min(period + x, 856);
            outper = period;
            break;
        case 0x3:
            Porta();
            break;
        case 0x4:
            Vibrato();
            break;
        case 0x5:
            Porta();
            VolumeSlide(x);
            break;
        case 0x6:
            Vibrato();
            VolumeSlide(x);
            break;
        case 0x7:
            outvol = std::clamp(vol + (Wave(trpos, trwave) * trdep >> 6), 0, 64);
            trpos = (trpos + trspd) & 63;
            break;
        case 0xA:
            VolumeSlide(x);
            break;
        case 0x1C:
            if (tick == x)
                vol = outvol = 0;
            break;
        }
    }
};

// The rows a song plays, in order, as (position, row), with the pattern
// jumps, breaks, loops and delays of its cells; stops after `count` rows.
struct RowStep {
    int pos, row, ticks;
};

inline std::vector<RowStep> RowOrder(const ModFile &m, int count)
{
    std::vector<RowStep> out;
    int pos = 0, row = 0, speed = 6;
    std::map<int, std::pair<int, int>> loops; // channel -> (loop row, count)
    while (static_cast<int>(out.size()) < count) {
        const ModPattern &p = m.patterns.at(m.order.at(pos));
        int flags = 0, nextPos = 0, nextRow = 0, delay = 0;
        for (int ch = 0; ch < 4; ++ch) {
            const ModCell &c = p[row][ch];
            int x = c.param;
            switch (c.effect) {
            case 0xB:
                nextPos = x;
                if (!(flags & 2))
                    nextRow = 0;
                flags |= 1;
                break;
            case 0xD:
                nextRow = (x >> 4) * 10 + (x & 15);
                if (nextRow > 63)
                    nextRow = 0;
                if (!(flags & 1))
                    nextPos = pos + 1;
                flags |= 2;
                break;
            case 0xF:
                if (x && x < 32)
                    speed = x;
                break;
            case 0xE:
                if (x >> 4 == 0xE && !delay)
                    delay = x & 15;
                if (x >> 4 == 0x6) {
                    auto &[loopRow, left] = loops[ch];
                    if ((x & 15) == 0) {
                        loopRow = row;
                    } else if (left == 0 || --left != 0) {
                        if (left == 0)
                            left = x & 15;
                        nextRow = loopRow;
                        nextPos = pos;
                        flags |= 4;
                    }
                }
                break;
            }
        }
        out.push_back({pos, row, speed * (1 + delay)});
        if (flags) {
            pos = nextPos;
            row = nextRow;
        } else if (++row == 64) {
            row = 0;
            ++pos;
        }
        if (pos >= static_cast<int>(m.order.size()))
            pos = 0;
    }
    return out;
}

} // namespace kivo::test

namespace kivo::test {

// What the four music voices get on one tick: period (before the output
// clamp) and volume, with the song's place.
struct TickState {
    int pos = 0, row = 0, tick = 0;
    int period[4] = {}, vol[4] = {};
};

// The whole replay routine on a module, tick by tick, for `count` ticks:
// notes, samples and all effects, with the row order of RowOrder.
inline std::vector<TickState> SongTicks(const ModFile &m, const PlayerTables &t, int count)
{
    std::vector<TickState> out;
    struct Chan {
        ChannelModel c;
        int sample = 0;
        ModCell delayed;
        int lrow = 0, lcount = 0;
    };
    std::vector<Chan> ch(4, Chan{ChannelModel{&t}});
    for (auto &c : ch)
        c.c.vol = 0;
    int pos = 0, row = 0, speed = 6, pdelay = 0;
    auto note = [&](Chan &c, const ModCell &cell, int e, int x) {
        if (cell.sample && cell.sample < 32) {
            c.sample = cell.sample;
            const ModSample &s = m.samples.at(cell.sample - 1);
            c.c.vol = std::min(s.volume, 64);
            c.c.ft = s.finetune & 15;
        }
        if (!cell.period)
            return;
        if (e == 0x15)
            c.c.ft = x;
        int fp = cell.period * t.finetunes[c.c.ft] >> 15;
        if ((e == 3 || e == 5) && c.c.period) {
            c.c.target = fp;
            return;
        }
        c.c.period = fp;
        c.c.target = 0;
        if (!(c.c.vibwave & 4))
            c.c.vibpos = 0;
        if (!(c.c.trwave & 4))
            c.c.trpos = 0;
    };
    auto code = [](const ModCell &cell, int *x) {
        *x = cell.param;
        if (cell.effect != 0xE)
            return cell.effect;
        *x = cell.param & 15;
        return 0x10 + (cell.param >> 4);
    };
    while (static_cast<int>(out.size()) < count) {
        const ModPattern &p = m.patterns.at(m.order.at(pos));
        int flags = 0, nextPos = 0, nextRow = 0, pdset = 0;
        for (int repeat = 0; repeat <= pdelay || repeat == 0; ++repeat) {
            for (int tick = 0; tick < speed; ++tick) {
                TickState s{pos, row, tick, {}, {}};
                for (int k = 0; k < 4; ++k) {
                    Chan &c = ch[k];
                    const ModCell &cell = p[row][k];
                    int x = 0, e = code(cell, &x);
                    c.c.outper = c.c.period;
                    c.c.outvol = c.c.vol;
                    if (tick == 0 && repeat == 0) {
                        if (e == 0x1D && x)
                            c.delayed = cell;
                        else
                            note(c, cell, e, x);
                        switch (e) {
                        case 0xB:
                            nextPos = x;
                            if (!(flags & 2))
                                nextRow = 0;
                            flags |= 1;
                            break;
                        case 0xD:
                            nextRow = (x >> 4) * 10 + (x & 15);
                            if (nextRow > 63)
                                nextRow = 0;
                            if (!(flags & 1))
                                nextPos = pos + 1;
                            flags |= 2;
                            break;
                        case 0xF:
                            if (x && x < 32)
                                speed = x;
                            break;
                        case 0x16:
                            if (!x) {
                                c.lrow = row;
                            } else if (c.lcount == 0 || --c.lcount != 0) {
                                if (c.lcount == 0)
                                    c.lcount = x;
                                nextRow = c.lrow;
                                nextPos = pos;
                                flags |= 4;
                            }
                            break;
                        case 0x1E:
                            if (!pdelay)
                                pdset = x;
                            break;
                        }
                        c.c.Tick0(e, x);
                    } else {
                        c.c.Tick(tick, e, x);
                        if (e == 0x1D && tick == x && repeat == 0) {
                            note(c, c.delayed, 0, 0);
                            c.c.outper = c.c.period;
                            c.c.outvol = c.c.vol;
                        }
                    }
                    s.period[k] = c.c.outper;
                    s.vol[k] = c.sample ? c.c.outvol : 0;
                }
                out.push_back(s);
            }
            if (repeat == 0 && pdset) {
                pdelay = pdset;
                pdset = 0;
            }
        }
        pdelay = 0;
        if (flags) {
            pos = nextPos;
            row = nextRow;
        } else if (++row == 64) {
            row = 0;
            ++pos;
        }
        if (pos >= static_cast<int>(m.order.size()))
            pos = 0;
    }
    out.resize(count);
    return out;
}

} // namespace kivo::test
