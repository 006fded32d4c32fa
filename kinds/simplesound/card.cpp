// The Simple Sound object's card: its two pins played live through the
// default audio output, a mute switch and a level meter for each side. A run
// slower than real time would stutter and sound too low, so it is muted then
// and the card says why. Everything here runs on the UI thread, from the
// tab's refresh: the audio output is fed in push mode and never calls back.
#include "workspace/audioout.h"
#include "workspace/boardcard.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <cmath>

namespace kivo {

namespace {

// Below this speed (percent of real time) the sound is muted.
constexpr double kSlowPercent = 90;
// The meters' span: -48 dBFS .. 0 dBFS.
constexpr double kMeterDb = 48;
// How far a meter falls per refresh when the sound gets quieter.
constexpr int kMeterFall = 8;

class CSoundCard : public CBoardCard
{
public:
    CSoundCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        m_status = AddValue();
        m_status->setObjectName("status");
        m_status->setWordWrap(true);
        auto *meters = new QGridLayout;
        meters->setHorizontalSpacing(6);
        meters->setVerticalSpacing(2);
        const char *names[] = {"meter.left", "meter.right"};
        for (int c = 0; c < 2; c++) {
            meters->addWidget(new QLabel(c == 0 ? "L" : "R", this), c, 0);
            m_meter[c] = new QProgressBar(this);
            m_meter[c]->setObjectName(names[c]);
            m_meter[c]->setRange(0, 100);
            m_meter[c]->setValue(0);
            m_meter[c]->setTextVisible(false);
            m_meter[c]->setFixedHeight(10);
            m_meter[c]->setToolTip(QString("Peak level of the %1 pin, %2..0 dBFS")
                                       .arg(c == 0 ? "left" : "right")
                                       .arg(-kMeterDb, 0, 'f', 0));
            meters->addWidget(m_meter[c], c, 1);
        }
        Body()->addLayout(meters);
        m_mute = new QCheckBox("Mute", this);
        m_mute->setObjectName("mute");
        connect(m_mute, &QCheckBox::toggled, this, [this](bool muted) {
            if (muted)
                StopAudio();
        });
        Body()->addWidget(m_mute);
        m_outputNote = new QLabel(this);
        m_outputNote->setObjectName("output");
        m_outputNote->setWordWrap(true);
        m_outputNote->setForegroundRole(QPalette::PlaceholderText);
        Body()->addWidget(m_outputNote);
    }
    ~CSoundCard() override { StopAudio(); }

    // A new run: its sound from its start, the meters from zero.
    void Attach(sim::LiveRun *run) override
    {
        CBoardCard::Attach(run);
        if (run && !m_audioTried)
            OpenAudio();
        StopAudio();
        m_generation = -1;
        m_from = 0;
        for (QProgressBar *meter : m_meter)
            meter->setValue(0);
    }

    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const Json &rate = Observed(device, "sampleRate");
        SetLabel(Readings(), rate.is_number() && rate.get<double>() > 0
                                 ? QString("%1 samples a second").arg(rate.get<double>(), 0, 'f', 0)
                                 : QString());
        std::vector<std::int16_t> frames;
        if (sim::LiveRun *run = Run()) {
            if (snapshot.generation != m_generation) {
                m_generation = snapshot.generation;
                m_from = 0;
            }
            m_from = run->sound(m_from, frames);
        }
        ShowLevels(frames);

        using State = sim::LiveRun::State;
        const bool running = Run() && snapshot.state == State::Running;
        const bool slow = running && snapshot.speed > 0 && snapshot.speed < kSlowPercent;
        QString status;
        if (slow)
            status = QString("Muted: the simulation runs at %1 % of real time").arg(std::lround(snapshot.speed));
        else if (m_mute->isChecked())
            status = "Muted";
        else if (running)
            status = HasOutput() ? "Playing" : "Playing (no audio output)";
        else
            status = "Silent: the run is not going";
        SetLabel(m_status, status);

        if (running && !slow && !m_mute->isChecked() && HasOutput())
            m_audio->Play(frames, snapshot.soundRate);
        else
            StopAudio();
    }

private:
    // Each meter at the loudest sample since the last refresh, falling
    // slowly.
    void ShowLevels(const std::vector<std::int16_t> &frames)
    {
        int peak[2] = {0, 0};
        for (std::size_t i = 0; i + 1 < frames.size(); i += 2)
            for (int c = 0; c < 2; c++)
                peak[c] = std::max(peak[c], std::abs(int(frames[i + std::size_t(c)])));
        for (int c = 0; c < 2; c++) {
            int level = 0;
            if (peak[c] > 0) {
                const double db = 20 * std::log10(peak[c] / 32768.0);
                level = int(std::lround(std::clamp((db + kMeterDb) / kMeterDb, 0.0, 1.0) * 100));
            }
            level = std::max(level, m_meter[c]->value() - kMeterFall);
            if (m_meter[c]->value() != level)
                m_meter[c]->setValue(level);
        }
    }

    // The output opens with the first run, not with the card: loading it
    // costs the application's start more than everything else it does.
    void OpenAudio()
    {
        m_audioTried = true;
        QString error;
        m_audio = OpenAudioOut(&error);
        if (!m_audio)
            m_outputNote->setText(QString("No audio output (%1): the meters show the sound").arg(error));
        else if (!HasOutput())
            m_outputNote->setText("No audio output device: the meters show the sound");
        else
            m_outputNote->setText(QString("Plays on %1").arg(m_audio->Description()));
    }

    bool HasOutput() const { return m_audio && !m_audio->Description().isEmpty(); }

    // Drops what the output still holds: closing never waits for it to play.
    void StopAudio()
    {
        if (m_audio)
            m_audio->Stop();
    }

    std::unique_ptr<IAudioOut> m_audio;
    bool m_audioTried = false;
    QLabel *m_status;
    QLabel *m_outputNote;
    QProgressBar *m_meter[2];
    QCheckBox *m_mute;
    int m_generation = -1;
    std::uint64_t m_from = 0; // the next frame to take from the run
};

} // namespace

CBoardCard *MakeSimpleSoundCard(const CCodeObject &object, QWidget *parent) { return new CSoundCard(object, parent); }

} // namespace kivo
