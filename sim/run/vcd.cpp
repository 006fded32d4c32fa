#include "run/vcd.h"

#include "chip/pins.h"
#include "run/image_run.h"

#include <algorithm>
#include <cmath>

namespace kivo::sim {

namespace {
std::string IdFor(std::size_t n)
{
    std::string id;
    do {
        id += char('!' + n % 94);
        n /= 94;
    } while (n);
    return id;
}
} // namespace

bool ParsePinList(const std::string &text, std::vector<int> &pins)
{
    std::vector<int> out;
    std::size_t at = 0;
    auto number = [&](int &n) {
        const std::size_t from = at;
        n = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - from < 3)
            n = n * 10 + (text[at++] - '0');
        return at > from && n < 64;
    };
    for (;;) {
        int first = 0, last = 0;
        if (!number(first))
            return false;
        last = first;
        if (at < text.size() && text[at] == '-') {
            ++at;
            if (!number(last) || last < first)
                return false;
        }
        for (int p = first; p <= last; ++p)
            out.push_back(p);
        if (at == text.size())
            break;
        if (text[at++] != ',')
            return false;
    }
    pins = std::move(out);
    return true;
}

VcdWriter::~VcdWriter()
{
    if (m_file)
        std::fclose(m_file);
}

bool VcdWriter::open(const std::string &path)
{
    m_path = path;
    // Never over a folder or a device: a pipe would also block the writer.
    if (std::string why = outputProblem(path); !why.empty()) {
        m_error = "cannot create " + path + ": " + why;
        return false;
    }
    m_file = std::fopen(path.c_str(), "w");
    if (!m_file)
        m_error = "cannot create " + path;
    return m_file != nullptr;
}

void VcdWriter::header(const std::vector<Signal> &signals)
{
    m_ids.clear();
    for (std::size_t i = 0; i < signals.size(); i++)
        m_ids.push_back(IdFor(i));
    if (!m_file)
        return;
    // Levels in the module p2, volts in p2.volts: both name the pin P<n>.
    std::fprintf(m_file, "$version Kivo P2 simulator $end\n$timescale 1ns $end\n$scope module p2 $end\n");
    for (std::size_t i = 0; i < signals.size(); i++)
        if (!signals[i].analog)
            std::fprintf(m_file, "$var wire 1 %s P%d $end\n", m_ids[i].c_str(), signals[i].pin);
    std::fprintf(m_file, "$scope module volts $end\n");
    for (std::size_t i = 0; i < signals.size(); i++)
        if (signals[i].analog)
            std::fprintf(m_file, "$var real 64 %s P%d $end\n", m_ids[i].c_str(), signals[i].pin);
    std::fprintf(m_file, "$upscope $end\n$upscope $end\n$enddefinitions $end\n");
}

void VcdWriter::stamp(double seconds)
{
    const long long ns = std::llround(seconds * 1e9);
    if (!m_file || ns <= m_lastStamp)
        return;
    m_lastStamp = ns;
    std::fprintf(m_file, "#%lld\n", ns);
}

void VcdWriter::beginDump()
{
    if (m_file)
        std::fprintf(m_file, "$dumpvars\n");
}

void VcdWriter::endDump()
{
    if (m_file)
        std::fprintf(m_file, "$end\n");
}

void VcdWriter::bit(std::size_t signal, int level)
{
    if (m_file)
        std::fprintf(m_file, "%c%s\n", level < 0 ? 'x' : level ? '1' : '0', m_ids[signal].c_str());
}

void VcdWriter::real(std::size_t signal, double volts)
{
    if (m_file)
        std::fprintf(m_file, "r%.6g %s\n", volts, m_ids[signal].c_str());
}

bool VcdWriter::close()
{
    if (!m_file)
        return false;
    bool ok = std::ferror(m_file) == 0;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    if (!ok)
        m_error = "cannot write " + m_path;
    return ok;
}

bool WriteVcd(const std::string &path, const LogicTrace &trace, double from, double to, std::string *error)
{
    std::vector<const LogicPin *> pins;
    for (const LogicPin &p : trace.pins)
        pins.push_back(&p);
    std::sort(pins.begin(), pins.end(), [](const LogicPin *a, const LogicPin *b) { return a->pin < b->pin; });
    VcdWriter w;
    if (!w.open(path)) {
        if (error)
            *error = w.error();
        return false;
    }
    std::vector<VcdWriter::Signal> signals;
    for (const LogicPin *p : pins)
        signals.push_back({p->pin, false});
    w.header(signals);
    // The changes inside the window, in time order (pins in order at a tie).
    struct Change {
        double seconds;
        std::size_t signal;
        int level;
    };
    std::vector<Change> changes;
    std::vector<int> last(pins.size());
    for (std::size_t i = 0; i < pins.size(); i++) {
        last[i] = pins[i]->levelAt(from);
        for (const LogicEdge &e : pins[i]->edges)
            if (e.seconds > from && e.seconds <= to)
                changes.push_back({e.seconds, i, int(e.level)});
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change &a, const Change &b) { return a.seconds < b.seconds; });
    w.stamp(from);
    w.beginDump();
    for (std::size_t i = 0; i < pins.size(); i++)
        w.bit(i, last[i]);
    w.endDump();
    for (const Change &c : changes)
        if (c.level != last[c.signal]) {
            last[c.signal] = c.level;
            w.stamp(c.seconds);
            w.bit(c.signal, c.level);
        }
    w.stamp(to);
    if (!w.close()) {
        if (error)
            *error = w.error();
        return false;
    }
    return true;
}

VcdRecorder::VcdRecorder(const std::string &path, std::vector<int> digitalPins, std::vector<int> analogPins,
                         double fromSeconds)
    : m_index(64, -1), m_analogIndex(64, -1), m_from(fromSeconds)
{
    std::sort(digitalPins.begin(), digitalPins.end());
    digitalPins.erase(std::unique(digitalPins.begin(), digitalPins.end()), digitalPins.end());
    std::sort(analogPins.begin(), analogPins.end());
    analogPins.erase(std::unique(analogPins.begin(), analogPins.end()), analogPins.end());
    for (int p : digitalPins)
        if (p >= 0 && p < 64) {
            m_index[std::size_t(p)] = int(m_signals.size());
            m_signals.push_back({p, false});
        }
    for (int p : analogPins)
        if (p >= 0 && p < 64) {
            m_analogIndex[std::size_t(p)] = int(m_signals.size());
            m_signals.push_back({p, true});
        }
    m_writer.open(path);
}

VcdRecorder::~VcdRecorder() = default;

std::vector<int> VcdRecorder::pins() const
{
    std::vector<int> p;
    for (const auto &s : m_signals)
        if (std::find(p.begin(), p.end(), s.pin) == p.end())
            p.push_back(s.pin);
    return p;
}

void VcdRecorder::connect(Pins &pins)
{
    Device::connect(pins);
    if (!m_writer.ok())
        return;
    std::vector<VcdWriter::Signal> signals;
    for (const auto &s : m_signals)
        signals.push_back({s.pin, s.analog});
    m_writer.header(signals);
    started(pins.now());
}

bool VcdRecorder::started(Clock at)
{
    if (m_started)
        return true;
    if (m_pins->time().seconds(at) < m_from) {
        // The clock may change on the way: the time is checked again then.
        m_flushAt = std::max(at + 1, m_pins->time().clockAt(m_from));
        return false;
    }
    m_started = true;
    m_flushAt = kNever;
    stamp(at);
    m_writer.beginDump();
    for (auto &s : m_signals) {
        if (s.analog)
            s.pending = m_pins->voltage(s.pin);
        writeValue(s);
        s.writtenAt = at;
    }
    m_writer.endDump();
    return true;
}

void VcdRecorder::stamp(Clock at) { m_writer.stamp(m_pins->time().seconds(at)); }

void VcdRecorder::writeValue(Signal &s)
{
    const std::size_t i = std::size_t(&s - m_signals.data());
    if (s.analog) {
        s.volts = s.pending;
        s.hasPending = false;
        m_writer.real(i, s.volts);
    } else {
        s.bit = m_pins->level(s.pin) ? 1 : 0;
        m_writer.bit(i, s.bit);
    }
}
void VcdRecorder::pinChanged(int pin, Clock at)
{
    if (!m_writer.ok() || pin < 0 || pin >= 64 || !started(at))
        return;
    if (int i = m_index[std::size_t(pin)]; i >= 0) {
        Signal &s = m_signals[std::size_t(i)];
        if ((m_pins->level(pin) ? 1 : 0) != s.bit) {
            stamp(at);
            writeValue(s);
        }
    }
    if (int i = m_analogIndex[std::size_t(pin)]; i >= 0) {
        Signal &s = m_signals[std::size_t(i)];
        double v = m_pins->voltage(pin);
        if (v == (s.hasPending ? s.pending : s.volts))
            return;
        s.pending = v;
        s.hasPending = true;
        Clock due = m_pins->time().clockAt(m_pins->time().seconds(s.writtenAt) + 1e-6);
        if (at >= due) {
            stamp(at);
            writeValue(s);
            s.writtenAt = at;
        } else {
            m_flushAt = std::min(m_flushAt, due);
        }
    }
}

void VcdRecorder::run(Clock at)
{
    m_flushAt = kNever;
    if (!m_writer.ok() || !started(at))
        return;
    for (auto &s : m_signals) {
        if (!s.hasPending)
            continue;
        Clock due = m_pins->time().clockAt(m_pins->time().seconds(s.writtenAt) + 1e-6);
        if (at >= due) {
            stamp(at);
            writeValue(s);
            s.writtenAt = at;
        } else {
            m_flushAt = std::min(m_flushAt, due);
        }
    }
}

void VcdRecorder::finish(Clock at)
{
    if (!m_writer.ok() || !m_started)
        return;
    for (auto &s : m_signals)
        if (s.hasPending) {
            stamp(at);
            writeValue(s);
        }
    stamp(at);
    m_flushAt = kNever;
}

bool VcdRecorder::close() { return m_writer.close(); }

} // namespace kivo::sim
