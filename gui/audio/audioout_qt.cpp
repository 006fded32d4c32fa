// The audio module: the default output through Qt Multimedia, fed in push
// mode from the UI thread; it never calls back.
#include "workspace/audioout.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kivo {

namespace {

// What the output holds ahead of what it plays, and the silence a start
// begins with so that a late refresh does not break the sound.
constexpr qint64 kBufferUs = 200000, kLeadUs = 60000;

class CQtAudioOut : public IAudioOut
{
public:
    CQtAudioOut() : m_output(QMediaDevices::defaultAudioOutput()) {}
    ~CQtAudioOut() override { Stop(); }

    QString Description() const override
    {
        if (m_output.isNull())
            return {};
        return m_output.description().isEmpty() ? QString("the default output") : m_output.description();
    }

    void Play(const std::vector<std::int16_t> &frames, int rate) override
    {
        if (m_output.isNull())
            return;
        if (!m_sink) {
            QAudioFormat format;
            format.setSampleRate(m_output.preferredFormat().sampleRate() > 0 ? m_output.preferredFormat().sampleRate()
                                                                             : 48000);
            format.setChannelCount(2);
            format.setSampleFormat(QAudioFormat::Int16);
            if (!m_output.isFormatSupported(format))
                format = m_output.preferredFormat();
            m_sink = std::make_unique<QAudioSink>(m_output, format);
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

    // Closing never waits for what the output holds to play.
    void Stop() override
    {
        if (!m_sink)
            return;
        m_sink->reset();
        m_sink->stop();
        m_sink.reset();
        m_io = nullptr;
    }

private:
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

    QAudioDevice m_output;
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice *m_io = nullptr;
    // The resampler: where the next output frame falls, in source frames
    // from the start of the next batch, and the last frame of the batch before.
    double m_pos = 0;
    double m_prev[2] = {0, 0};
};

} // namespace

} // namespace kivo

extern "C" Q_DECL_EXPORT kivo::IAudioOut *KivoOpenAudioOut() { return new kivo::CQtAudioOut; }
