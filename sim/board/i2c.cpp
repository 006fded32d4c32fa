#include "board/i2c.h"

#include <algorithm>

namespace kivo::sim {

I2cBus::I2cBus(int scl, int sda, double pullUpOhms) : m_scl(scl), m_sda(sda), m_pullUp(pullUpOhms) {}

void I2cBus::connect(Pins &pins)
{
    Instrument::connect(pins);
    m_connecting = true; // the pull-ups raising the lines are no bus activity
    if (m_pullUp > 0) {
        Pins::ExternalDrive up{Pins::ExternalDrive::PullUp, m_pullUp, 0};
        pins.drive(m_scl, up, pins.now(), &m_pullUp);
        pins.drive(m_sda, up, pins.now(), &m_pullUp);
    }
    m_lastScl = pins.level(m_scl);
    m_lastSda = pins.level(m_sda);
    m_connecting = false;
}

void I2cBus::holdSda(bool low, Clock at)
{
    if (low == m_driveLow)
        return;
    m_driveLow = low;
    Pins::ExternalDrive d;
    if (low)
        d.kind = Pins::ExternalDrive::Low;
    m_pins->drive(m_sda, d, at, this);
}

I2cTransaction *I2cBus::current() { return m_recording ? &m_log.back() : nullptr; }

void I2cBus::pinChanged(int, Clock at)
{
    if (m_connecting)
        return;
    bool scl = m_pins->level(m_scl);
    bool sda = m_pins->level(m_sda);
    bool sclWas = m_lastScl, sdaWas = m_lastSda;
    m_lastScl = scl;
    m_lastSda = sda;
    if (scl != sclWas) {
        if (scl)
            onSclRise(sda, at);
        else
            onSclFall(at);
    } else if (scl && sclWas && sda != sdaWas) {
        if (!sda)
            onStart(at);
        else
            onStop(at);
    }
}

void I2cBus::onStart(Clock at)
{
    bool repeated = m_inTransaction;
    if (m_selected)
        m_selected = nullptr;
    for (auto &t : m_targets)
        t->start(at);
    holdSda(false, at);
    m_phase = Phase::Address;
    m_bits = 0;
    m_shift = 0;
    m_inTransaction = true;
    m_haveSclRise = false;
    m_count++;
    m_recording = m_log.size() < kLogLimit; // later ones are counted only
    if (m_recording) {
        I2cTransaction t;
        t.at = at;
        t.repeatedStart = repeated;
        m_log.push_back(t);
    }
}

void I2cBus::onStop(Clock at)
{
    if (auto *t = current())
        t->stopped = true;
    for (auto &t : m_targets)
        t->stop(at);
    holdSda(false, at);
    m_selected = nullptr;
    m_phase = Phase::Idle;
    m_inTransaction = false;
    m_recording = false;
}

void I2cBus::onSclRise(bool sda, Clock at)
{
    if (m_phase == Phase::Idle)
        return;
    if (m_haveSclRise) {
        const double period = span(m_sclRise, at);
        if (period > 0 && (m_minSclPeriod == 0 || period < m_minSclPeriod))
            m_minSclPeriod = period;
    }
    m_haveSclRise = true;
    m_sclRise = at;
    m_bits++;
    if (m_bits <= 8) {
        m_shift = std::uint8_t(m_shift << 1 | (sda ? 1 : 0));
        return;
    }
    if (m_bits != 9)
        return;
    m_ack = !sda;
    if (m_phase == Phase::Address)
        m_readBit = m_shift & 1;
    if (I2cTransaction *t = current()) {
        if (t->address < 0) {
            t->address = m_shift >> 1;
            t->read = m_shift & 1;
            t->acked = m_ack;
        } else {
            t->bytes.push_back(m_shift); // what was on the wire
            t->acks.push_back(m_ack);
        }
    }
    if (m_phase == Phase::Address && m_ack) {
        int a = m_shift >> 1;
        if (std::find(m_answered.begin(), m_answered.end(), a) == m_answered.end())
            m_answered.push_back(a);
    }
}

void I2cBus::onSclFall(Clock at)
{
    switch (m_phase) {
    case Phase::Idle:
    case Phase::Ignore:
        if (m_bits == 9)
            m_bits = 0;
        return;
    case Phase::Address:
        if (m_bits == 8) {
            m_selected = nullptr;
            for (auto &t : m_targets)
                if (t->address() == (m_shift >> 1))
                    m_selected = t.get();
            holdSda(m_selected != nullptr, at); // acknowledge the address
        } else if (m_bits == 9) {
            holdSda(false, at);
            m_bits = 0;
            m_shift = 0;
            if (!m_selected || !m_ack) {
                m_phase = Phase::Ignore;
                m_selected = nullptr;
            } else {
                m_phase = m_readBit ? Phase::Read : Phase::Write;
                if (m_readBit) {
                    m_out = m_selected->read(at);
                    holdSda(!(m_out & 0x80), at);
                }
            }
        }
        return;
    case Phase::Write:
        if (m_bits == 8) {
            holdSda(m_selected->written(m_shift, at), at);
        } else if (m_bits == 9) {
            holdSda(false, at);
            m_bits = 0;
            m_shift = 0;
        }
        return;
    case Phase::Read:
        if (m_bits >= 1 && m_bits <= 7) {
            holdSda(!(m_out >> (7 - m_bits) & 1), at);
        } else if (m_bits == 8) {
            holdSda(false, at); // the master acknowledges
        } else if (m_bits == 9) {
            m_bits = 0;
            m_shift = 0;
            if (m_ack) {
                m_out = m_selected->read(at);
                holdSda(!(m_out & 0x80), at);
            } else {
                m_phase = Phase::Ignore;
            }
        }
        return;
    }
}

Json I2cBus::observations() const
{
    Json o = Json::object();
    o["sclPin"] = m_scl;
    o["sdaPin"] = m_sda;
    if (m_pullUp > 0)
        o["boardPullUpOhms"] = m_pullUp;
    else
        o["boardPullUpOhms"] = nullptr;
    Json answered = Json::array();
    for (int a : m_answered)
        answered.push_back(a);
    o["acknowledgedAddresses"] = std::move(answered);
    o["transactionCount"] = m_count;
    o["maxSclHz"] = Rounded(maxSclHz(), 1);
    Json log = Json::array();
    for (const auto &t : m_log) {
        Json j = Json::object();
        j["atS"] = Rounded(seconds(t.at), 9);
        if (t.repeatedStart)
            j["repeatedStart"] = true;
        j["address"] = t.address;
        j["read"] = t.read;
        j["ack"] = t.acked;
        Json b = Json::array();
        for (std::size_t i = 0; i < t.bytes.size(); i++) {
            Json one = Json::object();
            one["value"] = t.bytes[i];
            one["ack"] = bool(t.acks[i]);
            b.push_back(std::move(one));
        }
        j["bytes"] = std::move(b);
        j["stop"] = t.stopped;
        log.push_back(std::move(j));
    }
    o["transactions"] = std::move(log);
    Json devices = Json::array();
    for (const auto &t : m_targets) {
        Json d = t->observations();
        devices.push_back(std::move(d));
    }
    o["devices"] = std::move(devices);
    return o;
}

} // namespace kivo::sim
