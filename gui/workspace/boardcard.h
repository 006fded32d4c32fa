#pragma once
// A card of the "Simulated Board" tab: one object's device, shown live from
// the run's snapshots. Each kind with a card of its own defines it in its
// folder (kinds/<kind>/card.cpp, built into the application only); the other
// kinds get a card listing what their device measures.
#include "json.h"
#include "run/liverun.h"

#include <QFrame>
#include <QImage>

#include <string>
#include <vector>

class QLabel;
class QVBoxLayout;

namespace kivo {

class CCodeObject;

class CBoardCard : public QFrame
{
    Q_OBJECT
public:
    CBoardCard(const CCodeObject &object, QWidget *parent);

    const std::string &ObjectName() const { return m_name; }
    std::int32_t Kind() const { return m_kind; }
    // Shows the device as of the snapshot. `device` is the object's entry in
    // the board's report (name, device, observations); null before the run
    // has measured. The tab calls it every refresh while a run goes on.
    virtual void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device);
    // Before the chip starts from reset: the NAME.KEY=VALUE settings the
    // card's controls stand for.
    virtual void BeforeStart(std::vector<std::string> &sets) { (void)sets; }
    // Then, what the card's controls give the run itself (the USB device).
    virtual void BeforeOpen(sim::LiveRun &run) { (void)run; }
    // The run whose settings the card's controls change; null between runs.
    virtual void Attach(sim::LiveRun *run) { m_run = run; }
    // Whether the card takes the whole width of the tab's card area.
    virtual bool Wide() const { return false; }
    // What a card that draws a picture last drew, unscaled: the monitor's
    // frame, the LEDs as a row of pixels. Null for the others.
    virtual QImage Picture() const { return {}; }
    // The device's name and its plain readings, as the card last showed them.
    QLabel *Device() const { return m_device; }
    QLabel *Readings() const { return m_readings; }

protected:
    QVBoxLayout *Body() const { return m_body; }
    // A large label for the card's main reading, added to the body.
    QLabel *AddValue();
    sim::LiveRun *Run() const { return m_run; }
    // Changes the device's setting `key` on the running board.
    void Change(const std::string &key, const std::string &value);
    std::string SetText(const std::string &key, const std::string &value) const;
    // The plain readings of `device` as "key value" pairs, one a line, only
    // those named when `keys` is not empty.
    static QString ReadingsText(const Json &device, const std::vector<const char *> &keys = {});
    // observations[key], or null.
    static const Json &Observed(const Json &device, const char *key);
    // Sets a label's text only when it changed (no needless relayout).
    static void SetLabel(QLabel *label, const QString &text);

private:
    std::string m_name;
    std::int32_t m_kind;
    sim::LiveRun *m_run = nullptr;
    QLabel *m_device;
    QVBoxLayout *m_body;
    QLabel *m_readings;
};

// The card of the object's kind.
CBoardCard *MakeBoardCard(const CCodeObject &object, QWidget *parent);

// The kinds' cards (kinds/<kind>/card.cpp).
CBoardCard *MakeSimpleVgaCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeI2CBusCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeNeopixelCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeNcoCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeRtcCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeSimpleSoundCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeServoCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeDigitalCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeFiltersCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeDacCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeAdcCard(const CCodeObject &object, QWidget *parent);
CBoardCard *MakeUsbKbmCard(const CCodeObject &object, QWidget *parent);

} // namespace kivo
