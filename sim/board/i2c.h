#pragma once
// An I2C bus on two pins: the board's pull-ups, a recorder of every
// transaction, and the target devices on it (which answer through the bus).
#include "board/instrument.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kivo::sim {

// A device on the bus, seen byte by byte; the bus does the bit timing.
class I2cTarget
{
public:
    virtual ~I2cTarget() = default;
    virtual int address() const = 0; // 7-bit
    virtual void start(Clock at) { (void)at; }
    virtual void stop(Clock at) { (void)at; }
    // The master wrote a byte to this device; true acknowledges it.
    virtual bool written(std::uint8_t byte, Clock at) = 0;
    // The next byte the master reads from this device.
    virtual std::uint8_t read(Clock at) = 0;
    virtual Json observations() const { return Json::object(); }
    // The run ends at `at`.
    virtual void finish(Clock at) { (void)at; }
};

struct I2cTransaction {
    Clock at = 0;
    bool repeatedStart = false;
    int address = -1; // 7-bit
    bool read = false;
    bool acked = false; // the address byte
    std::vector<std::uint8_t> bytes;
    std::vector<bool> acks; // per data byte: ACK (true) or NACK
    bool stopped = false;
};

class I2cBus : public Instrument
{
public:
    // pullUpOhms 0: no board pull-ups (the chip's own pull-ups serve).
    I2cBus(int scl, int sda, double pullUpOhms);
    std::vector<int> pins() const override { return {m_scl, m_sda}; }
    void connect(Pins &pins) override;
    void pinChanged(int pin, Clock at) override;
    void finish(Clock at) override
    {
        for (auto &t : m_targets)
            t->finish(at);
    }
    std::string what() const override { return "I2C bus"; }
    Json observations() const override;

    void addTarget(std::shared_ptr<I2cTarget> target) { m_targets.push_back(std::move(target)); }
    const std::vector<I2cTransaction> &transactions() const { return m_log; }
    std::uint64_t transactionCount() const { return m_count; }
    // The fastest SCL seen: one over the shortest time from an SCL rise to
    // the next within a transaction (0 before two such rises).
    double maxSclHz() const { return m_minSclPeriod > 0 ? 1.0 / m_minSclPeriod : 0.0; }

private:
    void onStart(Clock at);
    void onStop(Clock at);
    void onSclRise(bool sda, Clock at);
    void onSclFall(Clock at);
    void holdSda(bool low, Clock at);
    I2cTransaction *current();

    enum class Phase { Idle, Address, Write, Read, Ignore };

    int m_scl, m_sda;
    double m_pullUp;
    bool m_lastScl = true, m_lastSda = true;
    bool m_connecting = false;
    Phase m_phase = Phase::Idle;
    int m_bits = 0; // SCL rises in the current 9-clock frame
    std::uint8_t m_shift = 0;
    bool m_ack = false;      // the 9th bit of the last frame
    bool m_driveLow = false; // what the targets put on SDA
    I2cTarget *m_selected = nullptr;
    std::uint8_t m_out = 0; // the byte a target is sending
    std::vector<std::shared_ptr<I2cTarget>> m_targets;
    std::vector<I2cTransaction> m_log; // the first kLogLimit transactions
    bool m_inTransaction = false;
    bool m_recording = false; // the current transaction is in m_log
    bool m_readBit = false;   // R/W of the last address byte
    std::uint64_t m_count = 0;
    std::vector<int> m_answered; // 7-bit addresses that acknowledged
    bool m_haveSclRise = false;  // within this transaction
    Clock m_sclRise = 0;
    double m_minSclPeriod = 0; // seconds
    static constexpr std::size_t kLogLimit = 2000;
};

} // namespace kivo::sim
