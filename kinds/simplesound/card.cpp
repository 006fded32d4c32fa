// The Simple Sound object's card: its two pins played live through the
// default audio output, a mute switch and a level meter for each side. A run
// slower than real time would stutter and sound too low, so it is muted then
// and the card says why. Everything here runs on the UI thread, from the
// tab's refresh: the audio output is fed in push mode and never calls back.
#include "workspace/boardcard.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QMediaDevices>
#include <QProgressBar>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kivo {

namespace {

// Below this speed (percent of real time) the sound is muted.
constexpr double kSlowPercent = 90;
// What the output holds ahead of what it plays, and the silence a start
// begins with so that a late refresh does not break the sound.
constexpr qint64 kBufferUs = 200000, kLeadUs = 60000;
// The meters' span: -48 dBFS .. 0 dBFS.
constexpr double kMeterDb = 48;
// How far a meter falls per refresh when the sound gets quieter.
constexpr int kMeterFall = 8;

class CSoundCard : public CBoardCard
{
public:
    CSoundCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        m_output = QMediaDevices::defaultAudioOutput();
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
        if (m_output.isNull())
            m_outputNote->setText("No audio output device: the meters show the sound");
        else
            m_outputNote->setText(QString("Plays on %1").arg(m_output.description()));
        Body()->addWidget(m_outputNote);
    }
    ~CSoundCard() override { StopAudio(); }

    // A new run: its sound from its start, the meters from zero.
    void Attach(sim::LiveRun *run) override
    {
        CBoardCard::Attach(run);
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
            status = m_output.isNull() ? "Playing (no audio output)" : "Playing";
        else
            status = "Silent: the run is not going";
        SetLabel(m_status, status);

        if (running && !slow && !m_mute->isChecked() && !m_output.isNull())
            Play(frames, snapshot.soundRate);
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

    // Opens the output when it is not open, then gives it the frames at its
    // rate and in its sample format. What does not fit is dropped: the
    // output stays at most kBufferUs behind the run.
    void Play(const std::vector<std::int16_t> &frames, int rate)
    {
        if (!m_sink) {
            QAudioFormat format;
            format.setSampleRate(m_output.preferredFormat().sampleRate() > 0 ? m_output.preferredFormat().sampleRate()
                                                                             : 48000);
            format.setChannelCount(2);
            format.setSampleFormat(QAudioFormat::Int16);
            if (!m_output.isFormatSupported(format))
                format = m_output.preferredFormat();
            m_sink = new QAudioSink(m_output, format, this);
            m_sink->setBufferSize(format.bytesForDuration(kBufferUs));
            m_io = m_sink->start();
            m_pos = 0;
            m_prev[0] = m_prev[1] = 0;
            if (m_io) {
                const QByteArray lead(int(format.bytesForDuration(kLeadUs)), char(0));
                if (format.sampleFormat() == QAudioFormat::UInt8)
                    m_io->write(QByteArray(lead.size(), char(0x80)));
                else
                    m_io->write(lead);
            }
        }
        if (!m_io || frames.empty() || rate <= 0)
            return;
        const QAudioFormat format = m_sink->format();
        const QByteArray bytes = Convert(frames, double(rate) / format.sampleRate(), format);
        const qint64 frameBytes = std::max(1, format.bytesPerFrame());
        const qint64 room = m_sink->bytesFree() / frameBytes * frameBytes;
        m_io->write(bytes.constData(), std::min<qint64>(room, bytes.size()));
    }

    // The frames resampled by linear interpolation (`step` source frames per
    // output frame), in the output's format.
    QByteArray Convert(const std::vector<std::int16_t> &frames, double step, const QAudioFormat &format)
    {
        const std::size_t n = frames.size() / 2;
        const int channels = std::max(1, format.channelCount());
        const int bytes = format.bytesPerSample();
        QByteArray out;
        out.reserve(int(double(n) / step + 2) * channels * bytes);
        auto sample = [&](double v) {
            char b[4] = {};
            switch (format.sampleFormat()) {
            case QAudioFormat::UInt8:
                b[0] = char(std::uint8_t(std::lround(128 + 127 * v)));
                break;
            case QAudioFormat::Int16: {
                const auto s = std::int16_t(std::lround(32767 * v));
                std::memcpy(b, &s, 2);
                break;
            }
            case QAudioFormat::Int32: {
                const auto s = std::int32_t(std::llround(2147483647.0 * v));
                std::memcpy(b, &s, 4);
                break;
            }
            case QAudioFormat::Float: {
                const auto s = float(v);
                std::memcpy(b, &s, 4);
                break;
            }
            default:
                break;
            }
            out.append(b, bytes);
        };
        // The source frame at index i (-1: the last one of the previous batch).
        auto at = [&](std::ptrdiff_t i, int c) {
            return (i < 0 ? m_prev[c] : double(frames[std::size_t(i) * 2 + std::size_t(c)])) / 32768.0;
        };
        double p = m_pos;
        for (; p < double(n) - 1; p += step) {
            const auto i = std::ptrdiff_t(std::floor(p));
            const double f = p - double(i);
            const double l = at(i, 0) + (at(i + 1, 0) - at(i, 0)) * f;
            const double r = at(i, 1) + (at(i + 1, 1) - at(i, 1)) * f;
            if (channels == 1) {
                sample((l + r) / 2);
            } else {
                sample(l);
                sample(r);
                for (int c = 2; c < channels; c++)
                    sample(0);
            }
        }
        m_pos = p - double(n);
        m_prev[0] = frames[2 * n - 2];
        m_prev[1] = frames[2 * n - 1];
        return out;
    }

    // Drops what the output still holds: closing never waits for it to play.
    void StopAudio()
    {
        if (!m_sink)
            return;
        m_sink->reset();
        m_sink->stop();
        delete m_sink;
        m_sink = nullptr;
        m_io = nullptr;
    }

    QAudioDevice m_output;
    QAudioSink *m_sink = nullptr;
    QIODevice *m_io = nullptr;
    QLabel *m_status;
    QLabel *m_outputNote;
    QProgressBar *m_meter[2];
    QCheckBox *m_mute;
    int m_generation = -1;
    std::uint64_t m_from = 0; // the next frame to take from the run
    // The resampler: where the next output frame falls, in source frames
    // from the start of the next batch, and the last frame of the batch before.
    double m_pos = 0;
    double m_prev[2] = {0, 0};
};

} // namespace

CBoardCard *MakeSimpleSoundCard(const CCodeObject &object, QWidget *parent) { return new CSoundCard(object, parent); }

} // namespace kivo
