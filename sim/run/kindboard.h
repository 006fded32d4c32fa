#pragma once
// A kind's part of the simulated board: the device a user would wire to an
// object's pins and the --set keys it takes. Each kind's folder defines its
// own (kinds/<kind>/board.cpp); they build into the simulator, not the core.
#include "model/codeobject.h"
#include "run/projectrun.h"
#include "run/verify.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kivo::sim {

class Ds1339;
class I2cBus;
class TimeBase;
class VgaMonitor;
class WavRecorder;

// One NAME.KEY=VALUE of --set.
struct SetValue {
    std::string name, key, value;
    bool used = false;
};

// What the kinds' board parts share while one project's board is built.
class BoardWiring
{
public:
    BoardWiring(const CKivoDoc &doc, const TimeBase &time, std::vector<SetValue> &sets, std::vector<int> &analog,
                std::shared_ptr<VgaMonitor> &monitor)
        : doc(doc), time(time), m_sets(sets), m_analog(analog), m_monitor(monitor)
    {
    }

    const CKivoDoc &doc;
    const TimeBase &time;
    // The buses by object name, so that a clock finds the bus it names, and
    // the one clock chip on each of them.
    std::map<std::string, std::shared_ptr<I2cBus>> buses;
    std::map<std::string, std::shared_ptr<Ds1339>> clocks;
    // Why wiring failed.
    std::string error;

    // The value of --set NAME.KEY for the object, now taken; null when the
    // run sets none.
    const std::string *setting(const CCodeObject &object, const std::string &key);
    // Reports a --set value the key does not take; always false.
    bool badSetting(const CCodeObject &object, const std::string &key, const std::string &takes,
                    const std::string &value);
    // The pins the pin table gives the object's name, only those of `usage`
    // when one is named.
    std::vector<int> pinsOf(const std::string &name, const char *usage = nullptr) const;
    // The object's first pin in the pin table, else its pin field; -1 when
    // neither names a pin.
    static int firstPin(const ProjectBoard::Wired &wired);
    // A pin with an analog level (for --vcd).
    void addAnalog(int pin) { m_analog.push_back(pin); }
    // The first monitor wired is the one --frame captures.
    void offerMonitor(const std::shared_ptr<VgaMonitor> &monitor);

private:
    std::vector<SetValue> &m_sets;
    std::vector<int> &m_analog;
    std::shared_ptr<VgaMonitor> &m_monitor;
};

// A whole decimal pin number 0..63 in a text field, or -1.
int PinNumber(const std::string &text);
// A finite decimal number, the whole text.
bool ParseSetNumber(const std::string &text, double &value);

class IKindBoard
{
public:
    virtual ~IKindBoard() = default;
    virtual std::int32_t Code() const = 0;
    // Sets wired.device when the object's pins allow one; false, with the
    // wiring's error, on a bad --set.
    virtual bool wire(BoardWiring &, ProjectBoard::Wired &) const { return true; }
    // After every object is wired: devices that sit on another object's (a
    // clock chip on its bus).
    virtual bool wireLate(BoardWiring &, ProjectBoard::Wired &) const { return true; }
    // Whether --wav records the kind's pins, and which: false when the object
    // names no pair of pins.
    virtual bool playsSound() const { return false; }
    virtual bool soundPins(const CCodeObject &, int *, int *) const { return false; }
    // The recorder of the object's sound device, which a live run streams
    // from; null when nothing records its pins.
    virtual WavRecorder *soundRecorder(ProjectBoard::Wired &) const { return nullptr; }
    // The D- pin a USB device plugs into, as the generated Platform.h
    // defines it; -1 for kinds without a USB port.
    virtual int usbDmPin(const CCodeObject &) const { return -1; }
    // The USB device verify plugs into the object's port (nothing for kinds
    // without one).
    virtual void verifyDevice(const CCodeObject &, UsbRunOptions &) const {}
    // A --set key changed while the program runs (a scenario's set step):
    // "" when done, else why not.
    virtual std::string change(ProjectBoard::Wired &, const std::string &key, const std::string &, Clock) const
    {
        return "the setting " + key + " cannot change while the program runs";
    }
    // What the object's settings promise, judged against what its device
    // measured so far.
    virtual Verdict verify(const VerifyView &) const { return Skip("the kind makes no promise verify can check"); }
};

// The board part of each kind code 0..11; null outside.
const IKindBoard *FindKindBoard(std::int32_t code);

// Each kind's board.cpp defines one of these.
const IKindBoard &SimpleVgaBoard();
const IKindBoard &I2CBusBoard();
const IKindBoard &NeopixelBoard();
const IKindBoard &NcoBoard();
const IKindBoard &RtcBoard();
const IKindBoard &SimpleSoundBoard();
const IKindBoard &ServoBoard();
const IKindBoard &DigitalBoard();
const IKindBoard &FiltersBoard();
const IKindBoard &DacBoard();
const IKindBoard &AdcBoard();
const IKindBoard &UsbKbmBoard();

// The kinds without a board part of their own take this one: nothing wired.
template <std::int32_t code> class PlainKindBoard : public IKindBoard
{
public:
    std::int32_t Code() const override { return code; }
};

} // namespace kivo::sim
