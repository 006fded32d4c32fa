#pragma once
// USB HID boot devices on a D-/D+ pin pair, behind a cable that can be pulled
// and plugged in again: a low-speed keyboard, a low-speed mouse and a
// full-speed mouse. They enumerate as real ones do: device, configuration,
// interface, HID and endpoint descriptors; SET_ADDRESS taking effect after its
// status stage; SET_CONFIGURATION, SET_PROTOCOL, SET_IDLE, SET_REPORT (the
// keyboard's LEDs); an interrupt-IN endpoint that NAKs while it has nothing
// new and sends each report once, with DATA0/DATA1 toggles that advance only
// on the host's ACK. A bus reset (SE0 longer than 2.5 us) takes them back to
// address 0.
#include "board/instrument.h"
#include "chip/smartpin_usb.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kivo::sim {

class UsbDevice : public Instrument
{
public:
    // A hub (full speed, device class 9) only shows what a host does with one.
    enum class Kind { Keyboard, Mouse, MouseFullSpeed, Hub };

    // D- on dmPin, D+ on dmPin + 1. Plugged in from the start.
    UsbDevice(Kind kind, int dmPin);

    // The cable: pulled at `unplugSeconds`, plugged in again at `replugSeconds`
    // (a negative replug: never again).
    void setUnplug(double unplugSeconds, double replugSeconds);

    // Keyboard: text to type once the host has configured the device and set
    // its protocol, each key held `holdSeconds` and then released for
    // `gapSeconds`. Characters are typed on a US layout with shift where they
    // need it; false (and nothing queued) when the text has one it cannot type.
    bool typeText(const std::string &text, double holdSeconds = 0.05, double gapSeconds = 0.05,
                  std::string *error = nullptr);
    // Keyboard: one press of up to six keys (usages) with modifiers, held
    // `holdSeconds`, after `gapSeconds` (or 0.1 s for the first).
    void pressKeys(std::uint8_t modifiers, const std::vector<std::uint8_t> &usages, double holdSeconds = 0.05,
                   double gapSeconds = 0.05);
    // Mouse: reports (dx, dy, buttons), `periodSeconds` apart, after configuration.
    void move(const std::vector<std::array<int, 3>> &moves, double periodSeconds = 0.02);

    // Live input, as a person at the board gives it: the cable now (the
    // scheduled pulls and plugs are dropped), at `at` with the pins brought up
    // to it.
    void setPlugged(bool in, Clock at);
    // The keyboard's keys as they are held now (modifiers, up to six usages),
    // sent on the host's next poll; false (nothing sent) when the device is
    // not a keyboard or not configured yet.
    bool holdKeys(std::uint8_t modifiers, const std::vector<std::uint8_t> &usages);
    // The mouse moved by (dx, dy) with `buttons` held; moves that wait for
    // the host's poll add up. False as for holdKeys.
    bool moveMouse(int dx, int dy, int buttons);
    // The last report the host took that pressed a key (a keyboard's) or
    // moved or held a button (a mouse's); empty before one.
    const std::vector<std::uint8_t> &lastReport() const { return m_lastReport; }

    // The next `n` reports go out with a broken CRC (a noisy cable); the host
    // must not acknowledge them, and gets each again on its next IN.
    void corruptReports(int n) { m_corrupt = n; }
    int corruptLeft() const { return m_corrupt; }
    // Broken reports the host acknowledged all the same (it must not).
    int corruptAcked() const { return m_corruptAcked; }

    // The keyboard report a character needs (modifiers, usage); false when none.
    static bool KeyFor(char c, std::uint8_t *modifiers, std::uint8_t *usage);

    // ---- Device ----
    std::vector<int> pins() const override { return {m_dm, m_dm + 1}; }
    void connect(Pins &pins) override;
    void pinChanged(int pin, Clock at) override;
    Clock nextEvent() const override;
    void run(Clock at) override;

    // ---- Instrument ----
    std::string what() const override;
    Json observations() const override;

    // State, for tests and the report.
    bool plugged() const { return m_plugged; }
    bool configured() const { return m_configuration != 0; }
    int address() const { return m_address; }
    int reportsSent() const { return m_reportsSent; }
    int naks() const { return m_naks; }
    // Handshakes that came after the 18 bit times a device waits for them.
    int lateAcks() const { return m_lateAcks; }
    int resets() const { return m_resets; }
    int enumerations() const { return m_enumerations; }
    std::uint8_t leds() const { return m_leds; }
    int protocol() const { return m_protocol; }
    bool fullSpeed() const { return m_kind == Kind::MouseFullSpeed || m_kind == Kind::Hub; }
    // The longest time the bus went without a packet or keep-alive while the
    // device was configured (a device suspends after 3 ms).
    double maxIdleSeconds() const { return m_maxIdle; }

private:
    enum class Stage { Idle, DataIn, DataOut, StatusIn, StatusOut, Stalled };
    struct Report {
        double seconds; // after the script starts
        std::vector<std::uint8_t> bytes;
    };

    double bitRate() const { return fullSpeed() ? 12e6 : 1.5e6; }
    std::uint64_t period(Clock at) const;
    void plug(bool in, Clock at);
    void resetBus(Clock at);
    void packet(const std::vector<std::uint8_t> &bytes, bool ok, Clock at);
    void setup(const std::uint8_t *s, Clock at);
    void inToken(int endpoint, Clock at);
    void send(const std::vector<std::uint8_t> &packet, Clock at);
    void output(UsbLineTransmitter::Out o, Clock at);
    void startScript(Clock at);
    std::vector<std::uint8_t> configDescriptor() const;

    Kind m_kind;
    int m_dm;
    UsbLineReceiver m_rx;
    UsbLineTransmitter m_tx;
    int m_pullSource = 0; // address used as the pull-up's source id

    // cable
    bool m_plugged = false;
    double m_unplugAt = -1, m_replugAt = -1;
    Clock m_se0Since = 0;

    // USB state
    int m_address = 0, m_pendingAddress = -1;
    int m_configuration = 0;
    int m_protocol = 1; // report protocol until SET_PROTOCOL
    std::uint8_t m_leds = 0;
    Stage m_stage = Stage::Idle;
    std::vector<std::uint8_t> m_ctlData;
    std::size_t m_ctlOffset = 0;
    std::size_t m_ctlLast = 0; // bytes in the packet awaiting its ACK
    bool m_ctlToggle = true;   // DATA1
    bool m_nakedOnce = false;
    enum class Awaiting { None, ControlIn, Interrupt } m_awaiting = Awaiting::None;
    enum class Expect { None, SetupData, OutData } m_expect = Expect::None;
    int m_expectEndpoint = 0;
    std::uint8_t m_setupRequest[8] = {};

    // interrupt endpoint
    bool m_intToggle = false; // DATA0 after SET_CONFIGURATION
    std::deque<std::vector<std::uint8_t>> m_queue;
    std::vector<Report> m_script;
    std::size_t m_scriptNext = 0;
    bool m_scriptStarted = false;
    double m_scriptOrigin = 0;

    std::vector<std::uint8_t> m_lastReport;

    Clock m_sentAt = 0; // when our last packet's EOP ended
    int m_lateAcks = 0;
    int m_corrupt = 0, m_corruptAcked = 0;
    bool m_lastCorrupt = false;

    // bus activity while configured
    Clock m_lastActivity = 0;
    double m_maxIdle = 0;

    // counts
    int m_reportsSent = 0, m_naks = 0, m_resets = 0, m_enumerations = 0;
};

} // namespace kivo::sim
