#include "board/usb_device.h"

#include "board/usb_protocol.h"
#include "chip/pins.h"

#include <algorithm>
#include <cstring>

namespace kivo::sim {

namespace {

// HID report descriptors of the boot keyboard and mouse (HID 1.11, appendix B).
const std::vector<std::uint8_t> kKeyboardReportDescriptor = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};
const std::vector<std::uint8_t> kMouseReportDescriptor = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00,
    0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05, 0x81, 0x01, 0x05, 0x01, 0x09, 0x30,
    0x09, 0x31, 0x09, 0x38, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81, 0x06, 0xC0, 0xC0};

constexpr double kResetSeconds = 2.5e-6; // SE0 this long is a bus reset

// A boot keyboard's report: the modifiers, a reserved byte and up to six usages.
std::vector<std::uint8_t> KeyReport(std::uint8_t modifiers, const std::vector<std::uint8_t> &usages)
{
    std::vector<std::uint8_t> report = {modifiers, 0, 0, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < usages.size() && i < 6; ++i)
        report[2 + i] = usages[i];
    return report;
}

} // namespace

UsbDevice::UsbDevice(Kind kind, int dmPin) : m_kind(kind), m_dm(dmPin & 62)
{
    m_tx.setCapacity(64);
    m_rx.setFullSpeed(fullSpeed());
}

void UsbDevice::setUnplug(double unplugSeconds, double replugSeconds)
{
    m_unplugAt = unplugSeconds;
    m_replugAt = replugSeconds;
}

bool UsbDevice::KeyFor(char c, std::uint8_t *mods, std::uint8_t *usage)
{
    static const char kPlain[] = "-=[]\\;'`,./";
    static const char kShifted[] = "_+{}|:\"~<>?";
    static const std::uint8_t kUsage[] = {0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38};
    static const char kShiftDigits[] = ")!@#$%^&*(";
    *mods = 0;
    if (c >= 'a' && c <= 'z') {
        *usage = std::uint8_t(0x04 + (c - 'a'));
    } else if (c >= 'A' && c <= 'Z') {
        *usage = std::uint8_t(0x04 + (c - 'A'));
        *mods = 0x02;
    } else if (c >= '1' && c <= '9') {
        *usage = std::uint8_t(0x1E + (c - '1'));
    } else if (c == '0') {
        *usage = 0x27;
    } else if (c == '\n' || c == '\r') {
        *usage = 0x28;
    } else if (c == 0x1B) {
        *usage = 0x29;
    } else if (c == '\b') {
        *usage = 0x2A;
    } else if (c == '\t') {
        *usage = 0x2B;
    } else if (c == ' ') {
        *usage = 0x2C;
    } else if (const char *p = c ? std::strchr(kPlain, c) : nullptr) {
        *usage = kUsage[p - kPlain];
    } else if (const char *q = c ? std::strchr(kShifted, c) : nullptr) {
        *usage = kUsage[q - kShifted];
        *mods = 0x02;
    } else if (const char *d = c ? std::strchr(kShiftDigits, c) : nullptr) {
        *usage = std::uint8_t(d == kShiftDigits ? 0x27 : 0x1E + (d - kShiftDigits - 1));
        *mods = 0x02;
    } else {
        return false;
    }
    return true;
}

bool UsbDevice::typeText(const std::string &text, double hold, double gap, std::string *error)
{
    std::vector<Report> reports;
    bool first = true;
    for (char c : text) {
        std::uint8_t mods, usage;
        if (!KeyFor(c, &mods, &usage)) {
            if (error)
                *error =
                    std::string("the keyboard has no key for the character ") +
                    (c >= 32 && c < 127 ? std::string("'") + c + "'" : "code " + std::to_string(int(std::uint8_t(c))));
            return false;
        }
        reports.push_back({first ? 0.1 : gap, {mods, 0, usage, 0, 0, 0, 0, 0}});
        reports.push_back({hold, {0, 0, 0, 0, 0, 0, 0, 0}});
        first = false;
    }
    m_script.insert(m_script.end(), reports.begin(), reports.end());
    return true;
}

void UsbDevice::pressKeys(std::uint8_t modifiers, const std::vector<std::uint8_t> &usages, double hold, double gap)
{
    m_script.push_back({m_script.empty() ? 0.1 : gap, KeyReport(modifiers, usages)});
    m_script.push_back({hold, {0, 0, 0, 0, 0, 0, 0, 0}});
}

void UsbDevice::move(const std::vector<std::array<int, 3>> &moves, double periodSeconds)
{
    bool first = true;
    for (const auto &m : moves) {
        auto clamp8 = [](int v) { return std::uint8_t(std::int8_t(std::clamp(v, -127, 127))); };
        m_script.push_back({first ? 0.1 : periodSeconds, {std::uint8_t(m[2] & 7), clamp8(m[0]), clamp8(m[1])}});
        first = false;
    }
}

void UsbDevice::setPlugged(bool in, Clock at)
{
    m_unplugAt = m_replugAt = -1;
    if (in != m_plugged)
        plug(in, at);
}

bool UsbDevice::holdKeys(std::uint8_t modifiers, const std::vector<std::uint8_t> &usages)
{
    if (m_kind != Kind::Keyboard || !m_plugged || !m_configuration)
        return false;
    m_queue.push_back(KeyReport(modifiers, usages));
    return true;
}

bool UsbDevice::moveMouse(int dx, int dy, int buttons)
{
    if (m_kind == Kind::Keyboard || m_kind == Kind::Hub || !m_plugged || !m_configuration)
        return false;
    const std::uint8_t b = std::uint8_t(buttons & 7);
    // A report behind the one on the wire, with the same buttons, takes the
    // move too: a fast hand does not queue more reports than the host polls.
    if (m_queue.size() > 1 && m_queue.back()[0] == b) {
        std::vector<std::uint8_t> &r = m_queue.back();
        const int x = std::int8_t(r[1]) + dx, y = std::int8_t(r[2]) + dy;
        if (x >= -127 && x <= 127 && y >= -127 && y <= 127) {
            r[1] = std::uint8_t(std::int8_t(x));
            r[2] = std::uint8_t(std::int8_t(y));
            return true;
        }
    }
    // A long move goes out in steps the report can hold.
    do {
        const int x = std::clamp(dx, -127, 127), y = std::clamp(dy, -127, 127);
        m_queue.push_back({b, std::uint8_t(std::int8_t(x)), std::uint8_t(std::int8_t(y))});
        dx -= x;
        dy -= y;
    } while (dx || dy);
    return true;
}

std::uint64_t UsbDevice::period(Clock at) const { return usbPeriodFx(m_pins->time().frequencyAt(at), bitRate()); }

void UsbDevice::connect(Pins &pins)
{
    Instrument::connect(pins);
    m_tx.onOutput = [this](UsbLineTransmitter::Out o, Clock at) { output(o, at); };
    m_rx.onPacket = [this](const std::vector<std::uint8_t> &b, bool ok, Clock at) { packet(b, ok, at); };
    plug(true, 0);
}

void UsbDevice::plug(bool in, Clock at)
{
    // A device that loses its cable loses its power and its state.
    m_address = 0;
    m_pendingAddress = -1;
    m_configuration = 0;
    m_lastActivity = 0;
    m_protocol = 1;
    m_leds = 0;
    m_stage = Stage::Idle;
    m_awaiting = Awaiting::None;
    m_expect = Expect::None;
    m_queue.clear();
    m_scriptStarted = false;
    m_tx.clear();
    m_plugged = in;
    int pullPin = fullSpeed() ? m_dm + 1 : m_dm;
    Pins::ExternalDrive none;
    m_pins->drive(m_dm, none, at, this);
    m_pins->drive(m_dm + 1, none, at, this);
    if (in)
        m_pins->drive(pullPin, {Pins::ExternalDrive::PullUp, 1500.0}, at, &m_pullSource);
    else
        m_pins->drive(pullPin, none, at, &m_pullSource);
    m_rx.setPeriod(period(at));
    m_rx.line(m_pins->level(m_dm), m_pins->level(m_dm + 1), at);
}

void UsbDevice::pinChanged(int, Clock at)
{
    if (!m_plugged)
        return;
    UsbLine before = m_rx.current();
    m_rx.setPeriod(period(at));
    m_rx.line(m_pins->level(m_dm), m_pins->level(m_dm + 1), at);
    UsbLine now = m_rx.current();
    if (now == before)
        return;
    if (now == UsbLine::SE0) {
        m_se0Since = at;
    } else if (before == UsbLine::SE0 && !m_tx.busy()) {
        if (m_configuration) { // an EOP: the end of a packet or a keep-alive
            if (m_lastActivity)
                m_maxIdle = std::max(m_maxIdle, m_pins->time().seconds(at) - m_pins->time().seconds(m_lastActivity));
            m_lastActivity = at;
        }
        double held = m_pins->time().seconds(at) - m_pins->time().seconds(m_se0Since);
        if (held >= kResetSeconds)
            resetBus(at);
    }
}

void UsbDevice::resetBus(Clock)
{
    ++m_resets;
    m_lastActivity = 0;
    m_address = 0;
    m_pendingAddress = -1;
    m_configuration = 0;
    m_protocol = 1;
    m_stage = Stage::Idle;
    m_awaiting = Awaiting::None;
    m_expect = Expect::None;
    m_queue.clear();
    m_scriptStarted = false;
}

Clock UsbDevice::nextEvent() const
{
    if (!m_pins)
        return kNever;
    Clock next = m_tx.nextTick();
    const TimeBase &tb = m_pins->time();
    if (m_plugged && m_unplugAt >= 0)
        next = std::min(next, tb.clockAt(m_unplugAt));
    if (!m_plugged && m_replugAt >= 0)
        next = std::min(next, tb.clockAt(m_replugAt));
    if (m_plugged && m_scriptStarted && m_scriptNext < m_script.size())
        next = std::min(next, tb.clockAt(m_scriptOrigin + m_script[m_scriptNext].seconds));
    return next;
}

void UsbDevice::run(Clock at)
{
    double now = m_pins->time().seconds(at);
    if (m_plugged && m_unplugAt >= 0 && now >= m_unplugAt) {
        m_unplugAt = -1;
        plug(false, at);
        return;
    }
    if (!m_plugged && m_replugAt >= 0 && now >= m_replugAt) {
        m_replugAt = -1;
        plug(true, at);
        return;
    }
    if (m_tx.nextTick() <= at)
        m_tx.run(at);
    while (m_plugged && m_scriptStarted && m_scriptNext < m_script.size() &&
           m_pins->time().clockAt(m_scriptOrigin + m_script[m_scriptNext].seconds) <= at) {
        m_queue.push_back(m_script[m_scriptNext].bytes);
        m_scriptOrigin += m_script[m_scriptNext].seconds;
        ++m_scriptNext;
    }
}

void UsbDevice::startScript(Clock at)
{
    // The script goes on where it was (a replugged keyboard types the rest).
    m_scriptStarted = true;
    m_scriptOrigin = m_pins->time().seconds(at);
}

void UsbDevice::send(const std::vector<std::uint8_t> &packet, Clock at)
{
    // Turnaround: the answer starts two bit periods after the host's EOP.
    std::uint64_t p = period(at);
    m_tx.clear();
    m_tx.setPeriod(p, at + Clock(p >> 16));
    m_tx.write(0x80, at);
    for (std::uint8_t b : packet)
        m_tx.write(b, at);
}

void UsbDevice::output(UsbLineTransmitter::Out o, Clock at)
{
    using Out = UsbLineTransmitter::Out;
    using D = Pins::ExternalDrive;
    D low{D::Low, 0}, high{D::High, 0}, none;
    switch (o) {
    case Out::Idle:
        m_pins->drive(m_dm, none, at, this);
        m_pins->drive(m_dm + 1, none, at, this);
        m_sentAt = at;
        break;
    case Out::SE0:
        m_pins->drive(m_dm, low, at, this);
        m_pins->drive(m_dm + 1, low, at, this);
        break;
    case Out::J:
    case Out::K: {
        bool dpHigh = (o == Out::J) == fullSpeed();
        m_pins->drive(m_dm, dpHigh ? low : high, at, this);
        m_pins->drive(m_dm + 1, dpHigh ? high : low, at, this);
        break;
    }
    }
}

void UsbDevice::packet(const std::vector<std::uint8_t> &bytes, bool ok, Clock at)
{
    if (!ok || bytes.empty() || m_tx.busy() || !usb::PidValid(bytes[0]))
        return; // a damaged packet, or our own echo
    std::uint8_t pid = bytes[0];
    switch (pid) {
    case usb::kSetup:
    case usb::kIn:
    case usb::kOut: {
        usb::TokenFields t;
        m_awaiting = Awaiting::None; // a handshake we waited for did not come
        m_expect = Expect::None;
        if (!usb::ParseToken(bytes, &t) || t.address != m_address)
            return;
        if (pid == usb::kSetup) {
            m_expect = Expect::SetupData;
        } else if (pid == usb::kOut) {
            m_expect = Expect::OutData;
        } else {
            inToken(t.endpoint, at);
            return;
        }
        m_expectEndpoint = t.endpoint;
        return;
    }
    case usb::kData0:
    case usb::kData1: {
        Expect e = m_expect;
        m_expect = Expect::None;
        if (e == Expect::None || !usb::Crc16Ok(bytes.data() + 1, bytes.size() - 1))
            return; // not for us, or damaged: no handshake
        std::size_t n = bytes.size() - 3;
        if (e == Expect::SetupData) {
            if (pid != usb::kData0 || n != 8 || m_expectEndpoint != 0)
                return;
            send({usb::kAck}, at);
            setup(bytes.data() + 1, at);
            return;
        }
        if (m_stage == Stage::Stalled || m_expectEndpoint != 0) {
            send({usb::kStall}, at);
            return;
        }
        send({usb::kAck}, at);
        if (m_stage == Stage::DataOut && n >= 1) {
            m_leds = bytes[1];
            m_stage = Stage::StatusIn;
        } else if (m_stage == Stage::StatusOut) {
            m_stage = Stage::Idle;
        }
        return;
    }
    case usb::kAck: {
        // The host must start its handshake within 18 bit times of our EOP;
        // the ACK itself (SYNC, PID, EOP) takes 19 more.
        double bits = double(at - m_sentAt) * 65536.0 / double(period(at));
        if (m_awaiting != Awaiting::None && bits > 18 + 19 + 1) {
            ++m_lateAcks;
            m_awaiting = Awaiting::None; // timed out: the data counts as not delivered
            return;
        }
        if (m_awaiting == Awaiting::ControlIn) {
            if (m_stage == Stage::DataIn) {
                m_ctlOffset += m_ctlLast;
                m_ctlToggle = !m_ctlToggle;
                std::size_t maxPacket = fullSpeed() ? 64 : 8;
                if (m_ctlLast < maxPacket || m_ctlOffset >= m_ctlData.size())
                    m_stage = Stage::StatusOut;
            } else if (m_stage == Stage::StatusIn) {
                if (m_pendingAddress >= 0)
                    m_address = m_pendingAddress;
                m_pendingAddress = -1;
                m_stage = Stage::Idle;
            }
        } else if (m_awaiting == Awaiting::Interrupt) {
            if (m_lastCorrupt)
                ++m_corruptAcked;
            if (!m_queue.empty()) {
                // A keyboard's report counts when it holds a key, not only a
                // modifier (a key released while Shift stays down).
                const std::vector<std::uint8_t> &r = m_queue.front();
                const auto from = r.begin() + (m_kind == Kind::Keyboard && r.size() > 2 ? 2 : 0);
                if (std::any_of(from, r.end(), [](std::uint8_t b) { return b != 0; }))
                    m_lastReport = r;
                m_queue.pop_front();
            }
            m_intToggle = !m_intToggle;
            ++m_reportsSent;
        }
        m_awaiting = Awaiting::None;
        return;
    }
    default:
        return; // SOF, and handshakes we do not wait for
    }
}

void UsbDevice::setup(const std::uint8_t *s, Clock at)
{
    std::copy(s, s + 8, m_setupRequest);
    int type = s[0], request = s[1];
    int value = s[2] | s[3] << 8, length = s[6] | s[7] << 8;
    m_ctlData.clear();
    m_ctlOffset = 0;
    m_ctlToggle = true;
    m_stage = Stage::DataIn;
    bool keyboard = m_kind == Kind::Keyboard;
    if (type == 0x80 && request == 6 && (value >> 8) == 1) {
        std::uint8_t maxPacket = fullSpeed() ? 64 : 8;
        std::uint8_t product = std::uint8_t(int(m_kind) + 1);
        std::uint8_t cls = m_kind == Kind::Hub ? 9 : 0;
        m_ctlData = {18, 1, 0x10, 0x01, cls, 0, 0, maxPacket, 0x09, 0x12, product, 0x00, 0x00, 0x01, 0, 0, 0, 1};
    } else if (type == 0x80 && request == 6 && (value >> 8) == 2) {
        m_ctlData = configDescriptor();
    } else if (type == 0x81 && request == 6 && (value >> 8) == 0x22) {
        m_ctlData = keyboard ? kKeyboardReportDescriptor : kMouseReportDescriptor;
    } else if (type == 0x80 && request == 8) {
        m_ctlData = {std::uint8_t(m_configuration)};
    } else if (type == 0x80 && request == 0) {
        m_ctlData = {0, 0};
    } else if (type == 0x00 && request == 5) {
        m_pendingAddress = value & 0x7F;
        m_stage = Stage::StatusIn;
    } else if (type == 0x00 && request == 9) {
        int v = value & 0xFF;
        if (v > 1) {
            m_stage = Stage::Stalled;
            return;
        }
        m_configuration = v;
        m_intToggle = false;
        m_queue.clear();
        m_stage = Stage::StatusIn;
        if (v) {
            ++m_enumerations;
            startScript(at);
        }
    } else if (type == 0x21 && (request == 0x0A || request == 0x0B)) {
        if (request == 0x0B)
            m_protocol = value & 1;
        m_stage = Stage::StatusIn;
    } else if (type == 0x21 && request == 0x09 && keyboard) {
        m_stage = length ? Stage::DataOut : Stage::StatusIn;
    } else if (type == 0xA1 && request == 0x03) {
        m_ctlData = {std::uint8_t(m_protocol)};
    } else {
        m_stage = Stage::Stalled; // not a request this device knows
        return;
    }
    if (m_stage == Stage::DataIn) {
        if (m_ctlData.size() > std::size_t(length))
            m_ctlData.resize(std::size_t(length));
        if (length == 0)
            m_stage = Stage::StatusIn;
    }
}

void UsbDevice::inToken(int endpoint, Clock at)
{
    if (endpoint != 0) {
        if (endpoint != 1 || !m_configuration) {
            send({usb::kStall}, at);
            return;
        }
        if (m_queue.empty()) {
            ++m_naks;
            send({usb::kNak}, at);
            return;
        }
        std::vector<std::uint8_t> report = m_queue.front();
        if (m_kind != Kind::Keyboard && m_protocol == 1)
            report.push_back(0); // the report protocol adds the wheel
        std::vector<std::uint8_t> packet = usb::DataPacket(m_intToggle ? usb::kData1 : usb::kData0, report);
        m_lastCorrupt = m_corrupt > 0;
        if (m_lastCorrupt) {
            --m_corrupt;
            packet.back() ^= 0x10;
        }
        send(packet, at);
        m_awaiting = Awaiting::Interrupt;
        return;
    }
    switch (m_stage) {
    case Stage::Stalled:
        send({usb::kStall}, at);
        return;
    case Stage::DataIn: {
        // A real device often needs a moment for its configuration: NAK once.
        if (m_setupRequest[3] == 2 && !m_nakedOnce) {
            m_nakedOnce = true;
            ++m_naks;
            send({usb::kNak}, at);
            return;
        }
        std::size_t maxPacket = fullSpeed() ? 64 : 8;
        std::size_t n = std::min(maxPacket, m_ctlData.size() - std::min(m_ctlOffset, m_ctlData.size()));
        std::vector<std::uint8_t> chunk(m_ctlData.begin() + std::ptrdiff_t(m_ctlOffset),
                                        m_ctlData.begin() + std::ptrdiff_t(m_ctlOffset + n));
        m_ctlLast = n;
        send(usb::DataPacket(m_ctlToggle ? usb::kData1 : usb::kData0, chunk), at);
        m_awaiting = Awaiting::ControlIn;
        return;
    }
    case Stage::StatusIn:
        send(usb::DataPacket(usb::kData1, {}), at);
        m_awaiting = Awaiting::ControlIn;
        return;
    default:
        ++m_naks;
        send({usb::kNak}, at);
        return;
    }
}

std::vector<std::uint8_t> UsbDevice::configDescriptor() const
{
    bool keyboard = m_kind == Kind::Keyboard;
    if (m_kind == Kind::Hub) // one interface of class 9, its status-change endpoint
        return {9, 2, 25, 0, 1, 1, 0, 0xE0, 0, 9, 4, 0, 0, 1, 9, 0, 0, 0, 7, 5, 0x81, 3, 1, 0, 255};
    const auto &report = keyboard ? kKeyboardReportDescriptor : kMouseReportDescriptor;
    std::uint8_t epSize = keyboard ? 8 : 4;
    std::uint8_t interval = fullSpeed() ? 2 : 10;
    std::vector<std::uint8_t> d = {9,  2,    34,   0,    1,      1, 0,       0xA0,
                                   50, // configuration
                                   9,  4,    0,    0,    1,      3, 1,       std::uint8_t(keyboard ? 1 : 2),
                                   0, // interface: HID boot
                                   9,  0x21, 0x11, 0x01, 0,      1, 0x22,    std::uint8_t(report.size()),
                                   0,                                          // HID
                                   7,  5,    0x81, 3,    epSize, 0, interval}; // endpoint 1 IN, interrupt
    return d;
}

std::string UsbDevice::what() const
{
    switch (m_kind) {
    case Kind::Keyboard:
        return "USB keyboard (low speed)";
    case Kind::Mouse:
        return "USB mouse (low speed)";
    case Kind::MouseFullSpeed:
        return "USB mouse (full speed)";
    case Kind::Hub:
        return "USB hub (full speed)";
    }
    return "USB device";
}

Json UsbDevice::observations() const
{
    Json o = Json::object();
    static const char *kNames[] = {"keyboard", "mouse", "mouse-fs", "hub"};
    o["device"] = kNames[int(m_kind)];
    o["speed"] = fullSpeed() ? "full" : "low";
    o["plugged"] = m_plugged;
    o["enumerated"] = m_configuration != 0;
    o["address"] = m_address;
    o["enumerations"] = m_enumerations;
    o["busResets"] = m_resets;
    o["bootProtocol"] = m_protocol == 0;
    o["reportsSent"] = m_reportsSent;
    o["reportsLeft"] = int(m_script.size() - m_scriptNext + m_queue.size());
    o["naks"] = m_naks;
    o["lateHandshakes"] = m_lateAcks;
    o["maxBusIdleMs"] = Rounded(m_maxIdle * 1000.0, 3);
    if (m_kind == Kind::Keyboard)
        o["leds"] = int(m_leds);
    return o;
}

} // namespace kivo::sim
