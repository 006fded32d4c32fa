#include "run/liverun.h"

#include "board/console.h"
#include "board/usb_device.h"
#include "board/vgamonitor.h"
#include "check/check.h"
#include "chip/chip.h"
#include "chip/pins.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "run/image_run.h"
#include "run/kindboard.h"
#include "run/projectrun.h"
#include "run/wav.h"

#include <algorithm>
#include <chrono>

namespace kivo::sim {

namespace {

using WallClock = std::chrono::steady_clock;

// The console keeps this much of a long run's output, dropping the oldest half.
constexpr std::size_t kConsoleKeep = 4 << 20;
// Behind real time by more than this, pacing starts again from now rather than
// running faster to catch up.
constexpr double kLagLimit = 0.02;
// How often the speed and the devices' observations are measured.
constexpr auto kMeasureEvery = std::chrono::milliseconds(40);
constexpr double kSpeedWindow = 0.5; // seconds of real time

} // namespace

// One start from reset: the chip, its board and its console. The console
// goes before the chip it listens to.
struct LiveRun::Session {
    std::unique_ptr<Chip> chip = std::make_unique<Chip>();
    ProjectBoard board;
    std::unique_ptr<Console> console;
    std::shared_ptr<UsbDevice> usb; // on the first USB object's port
    std::string usbObject;          // its name
    std::string printed;            // output of the current slice
    // The sound object's recorder, streaming into `played` (this slice's).
    WavRecorder *sound = nullptr;
    std::vector<std::int16_t> played;
    // The logic history's watchers, and what of each pin's ring is published.
    std::vector<std::shared_ptr<PinHistory>> histories;
    std::vector<std::uint64_t> published = std::vector<std::uint64_t>(64);
    ~Session()
    {
        if (console)
            console->setOutput(nullptr);
    }
};

LiveRun::LiveRun() = default;

LiveRun::~LiveRun()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool LiveRun::openProject(const CKivoDoc &doc, std::string *error)
{
    std::string dummy;
    if (!error)
        error = &dummy;
    std::vector<std::uint8_t> image;
    if (ReadProjectImage(doc, image, error).empty())
        return false;
    // A copy of the project: the board's objects point into it while the
    // user goes on editing the original.
    auto copy = CopyProject(doc);
    if (!copy) {
        *error = "The project cannot be copied for the run.";
        return false;
    }
    m_doc = std::move(copy);
    m_image = std::move(image);
    auto session = makeSession(error);
    if (!session)
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_logicPins = session->board.objectPins();
        // The owners as the pin view shows them.
        const auto shown = ShownPins(doc);
        for (std::size_t p = 0; p < shown.size(); ++p)
            m_pinOwners[p] = shown[p].owner;
    }
    watchLogic(*session, m_logicPins);
    start(std::move(session));
    return true;
}

bool LiveRun::openImage(const std::vector<std::uint8_t> &image, std::string *error)
{
    std::string dummy;
    if (!error)
        error = &dummy;
    m_doc.reset();
    m_image = image;
    auto session = makeSession(error);
    if (!session)
        return false;
    watchLogic(*session, logicPins());
    start(std::move(session));
    return true;
}

std::unique_ptr<LiveRun::Session> LiveRun::makeSession(std::string *error) const
{
    auto s = std::make_unique<Session>();
    if (m_doc && !s->board.build(*m_doc, m_startSets, s->chip->time(), error))
        return nullptr;
    if (!s->chip->loadImage(m_image, error))
        return nullptr;
    for (auto &w : s->board.objects()) {
        const IKindBoard *kind = FindKindBoard(w.object->m_nKind);
        if ((s->sound = kind ? kind->soundRecorder(w) : nullptr)) {
            s->sound->streamTo(&s->played);
            break;
        }
    }
    s->board.attach(s->chip->pins());
    // The USB device goes where `kivo-cli simulate --usb-device` plugs it,
    // and shows on the object's card.
    if (m_doc && m_startUsb.any()) {
        const CCodeObject *object = nullptr;
        auto device = PlugUsbDevice(*m_doc, m_startUsb, s->chip->pins(), &object, error);
        if (object && !device)
            return nullptr;
        for (auto &w : s->board.objects())
            if (device && w.object == object) {
                s->usb = std::dynamic_pointer_cast<UsbDevice>(device);
                s->usbObject = object->m_strName;
                w.device = std::move(device);
            }
    }
    s->console = std::make_unique<Console>(*s->chip);
    Session *raw = s.get();
    s->console->setOutput([raw](std::uint8_t b, Clock) { raw->printed.push_back(char(b)); });
    return s;
}

void LiveRun::start(std::unique_ptr<Session> session)
{
    {
        std::lock_guard lock(m_mutex);
        m_fresh = std::move(session);
        m_snap = Snapshot{};
        m_console.clear();
        m_consoleStart = 0;
        m_input.clear();
        for (auto &ring : m_logic)
            ring.reset();
        m_logicUntil = 0;
    }
    if (!m_thread.joinable())
        m_thread = std::thread([this] { loop(); });
}

void LiveRun::run()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_snap.state == State::Running)
            return;
        if (m_snap.state != State::Paused && !m_fresh)
            m_reset = true;
        m_snap.state = State::Running;
        m_resumed = true;
    }
    m_wake.notify_all();
}

void LiveRun::pause()
{
    std::lock_guard lock(m_mutex);
    if (m_snap.state == State::Running)
        m_snap.state = State::Paused;
}

void LiveRun::restart()
{
    {
        std::lock_guard lock(m_mutex);
        m_reset = true;
        m_snap.state = State::Running;
        m_resumed = true;
    }
    m_wake.notify_all();
}

void LiveRun::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_snap.state == State::Running || m_snap.state == State::Paused)
            m_snap.state = State::Stopped;
    }
    m_wake.notify_all();
}

void LiveRun::send(std::string_view bytes)
{
    std::lock_guard lock(m_mutex);
    m_input.append(bytes);
}

void LiveRun::change(std::string setting)
{
    std::lock_guard lock(m_mutex);
    m_changes.push_back(std::move(setting));
}

void LiveRun::usbPlug(bool in) { pushUsb({.plug = in ? 1 : 0}); }

void LiveRun::usbKeys(std::uint8_t modifiers, std::vector<std::uint8_t> usages)
{
    pushUsb({.modifiers = modifiers, .usages = std::move(usages), .keys = true});
}

void LiveRun::usbMouse(int dx, int dy, int buttons) { pushUsb({.dx = dx, .dy = dy, .buttons = buttons}); }

void LiveRun::pushUsb(UsbInput input)
{
    std::lock_guard lock(m_mutex);
    m_usbInput.push_back(std::move(input));
}

// Between slices, with the lock released; without a device the input is
// dropped.
void LiveRun::applyUsb(Session &s)
{
    std::vector<UsbInput> input;
    {
        std::lock_guard lock(m_mutex);
        input.swap(m_usbInput);
    }
    if (!s.usb || input.empty())
        return;
    const Clock now = s.chip->now();
    s.chip->pins().advance(now);
    for (const UsbInput &i : input) {
        if (i.plug >= 0)
            s.usb->setPlugged(i.plug == 1, now);
        else if (i.keys)
            s.usb->holdKeys(i.modifiers, i.usages);
        else
            s.usb->moveMouse(i.dx, i.dy, i.buttons);
    }
    s.chip->pins().advance(now);
}

// Between slices, with the lock released.
void LiveRun::applyChanges(Session &s)
{
    std::vector<std::string> changes;
    {
        std::lock_guard lock(m_mutex);
        changes.swap(m_changes);
    }
    std::string problem;
    for (const std::string &c : changes)
        if (std::string p = s.board.change(c, s.chip->pins(), s.chip->now()); !p.empty())
            problem = p;
    if (!changes.empty()) {
        std::lock_guard lock(m_mutex);
        m_snap.changeProblem = problem;
    }
}

// At a measure, with the lock released: a monitor that has captured a frame
// gives it up and captures the next, so a frame is copied once per measure at
// most.
void LiveRun::takeFrame(Session &s)
{
    const std::shared_ptr<VgaMonitor> monitor = s.board.monitor();
    if (!monitor || !monitor->captured())
        return;
    auto frame = std::make_shared<const std::vector<std::uint8_t>>(monitor->frame());
    monitor->captureNext();
    std::lock_guard lock(m_mutex);
    m_frame = std::move(frame);
    m_frameCount++;
}

std::shared_ptr<const std::vector<std::uint8_t>> LiveRun::frame(int *count) const
{
    std::lock_guard lock(m_mutex);
    if (count)
        *count = m_frameCount;
    return m_frame;
}

LiveRun::Snapshot LiveRun::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_snap;
}

std::string LiveRun::console(std::uint64_t from) const
{
    std::lock_guard lock(m_mutex);
    if (from < m_consoleStart)
        from = m_consoleStart;
    const std::uint64_t at = from - m_consoleStart;
    return at >= m_console.size() ? std::string() : m_console.substr(std::size_t(at));
}

void LiveRun::loop()
{
    std::unique_ptr<Session> s;
    // Pacing: simulated time `simBase` was due at `wallBase`.
    double simBase = 0;
    WallClock::time_point wallBase;
    // Speed: simulated and real time at the start of the window.
    double simMark = 0;
    WallClock::time_point wallMark, lastMeasure;
    bool running = false; // the last slice ran (so the marks hold)

    bool logicShown = true; // the logic history is published up to the last slice

    std::unique_lock lock(m_mutex);
    for (;;) {
        // A run that stops between slices shows its last one.
        if (s && !logicShown && m_snap.state != State::Running) {
            publishLogic(*s, s->chip->seconds());
            logicShown = true;
        }
        m_wake.wait(lock, [&] { return m_quit || m_snap.state == State::Running; });
        if (m_quit)
            break;

        if (m_reset || m_fresh) {
            std::unique_ptr<Session> next = std::move(m_fresh);
            m_reset = false;
            lock.unlock();
            std::string error;
            if (!next) {
                next = makeSession(&error);
                if (next)
                    watchLogic(*next, logicPins());
            }
            lock.lock();
            if (!next) {
                m_snap.state = State::Ended;
                m_snap.ended = error;
                continue;
            }
            // Dropped outside the lock: the old devices may take a moment.
            std::swap(s, next);
            lock.unlock();
            next.reset();
            lock.lock();
            const int generation = m_snap.generation + 1;
            const State state = m_snap.state;
            m_snap = Snapshot{};
            m_snap.state = state;
            m_snap.generation = generation;
            m_console.clear();
            m_consoleStart = 0;
            m_frame.reset();
            m_frameCount = 0;
            for (auto &ring : m_logic)
                ring.reset();
            m_logicUntil = 0;
            m_resumed = true;
            lastMeasure = {};
        }
        if (m_resumed) {
            m_resumed = false;
            simBase = simMark = s->chip->seconds();
            wallBase = wallMark = WallClock::now();
            running = false;
        }
        std::string input = std::move(m_input);
        m_input.clear();
        std::vector<int> newPins;
        if (m_logicChanged) {
            m_logicChanged = false;
            newPins = m_logicPins;
        }
        lock.unlock();

        if (!newPins.empty())
            watchLogic(*s, newPins);

        if (!input.empty())
            s->console->send(std::vector<std::uint8_t>(input.begin(), input.end()));
        applyChanges(*s);
        applyUsb(*s);
        const Chip::StopReason stop = s->chip->runForSeconds(kSliceSeconds);
        const double now = s->chip->seconds();
        std::string ended, fault;
        if (stop == Chip::StopReason::Fault) {
            fault = s->chip->faultMessage();
            ended = "Simulator fault: " + fault;
        } else if (stop == Chip::StopReason::AllStopped) {
            ended = "Every cog has stopped.";
        } else if (stop == Chip::StopReason::Stopped && s->console->exitStatus() >= 0) {
            ended = "The program exited with status " + std::to_string(s->console->exitStatus()) + ".";
        }
        const WallClock::time_point wall = WallClock::now();
        Json board;
        const bool measure = wall - lastMeasure >= kMeasureEvery || !ended.empty();
        if (measure && m_doc) {
            s->chip->pins().advance(s->chip->now());
            board = s->board.report();
            // What the card shows of the live input: the last report taken.
            if (s->usb)
                for (Json &o : board)
                    if (o.value("name", "") == s->usbObject)
                        o["observations"]["lastReport"] = s->usb->lastReport();
            takeFrame(*s);
        }
        std::string printed = std::move(s->printed);
        s->printed.clear();
        if (s->sound) {
            // The samples up to now, so that a steady level plays too.
            s->chip->pins().advance(s->chip->now());
            s->sound->finish(s->chip->now());
        }

        lock.lock();
        publishSound(*s);
        m_snap.seconds = now;
        m_console += printed;
        m_snap.consoleEnd += printed.size();
        if (m_console.size() > kConsoleKeep) {
            const std::size_t drop = m_console.size() - kConsoleKeep / 2;
            m_console.erase(0, drop);
            m_consoleStart += drop;
        }
        if (measure) {
            lastMeasure = wall;
            if (m_doc)
                m_snap.board = std::move(board);
            const double realSpan = std::chrono::duration<double>(wall - wallMark).count();
            // A window may hold the catch-up of a lag under kLagLimit, which
            // is not running ahead of real time.
            if (running && realSpan > 0.05)
                m_snap.speed = std::min(100.0, 100.0 * (now - simMark) / realSpan);
            if (realSpan > kSpeedWindow) {
                simMark = now;
                wallMark = wall;
            }
        }
        running = true;
        // The logic view's history goes with the measurements, and whenever
        // the run stops, so that a paused view shows the last slice.
        logicShown = measure || !ended.empty() || m_snap.state != State::Running;
        if (logicShown)
            publishLogic(*s, now);
        if (!ended.empty()) {
            m_snap.state = State::Ended;
            m_snap.ended = ended;
            m_snap.fault = fault;
            continue;
        }
        // Never ahead of real time; when behind, as fast as it can.
        const double ahead = (now - simBase) - std::chrono::duration<double>(wall - wallBase).count();
        if (ahead > 0) {
            const auto due = wallBase + std::chrono::duration_cast<WallClock::duration>(
                                            std::chrono::duration<double>(now - simBase));
            m_wake.wait_until(lock, due,
                              [&] { return m_quit || m_reset || m_resumed || m_snap.state != State::Running; });
        } else if (ahead < -kLagLimit) {
            simBase = now;
            wallBase = wall;
        }
    }
}

// Under m_mutex.
void LiveRun::publishSound(Session &s)
{
    if (!s.sound)
        return;
    m_snap.soundRate = s.sound->sampleRate();
    const std::size_t frames = s.played.size() / 2;
    // Of more than a ring's worth, only the newest fit.
    const std::size_t skip = frames > kSoundKeep ? frames - kSoundKeep : 0;
    m_snap.soundEnd += skip;
    for (std::size_t i = skip; i < frames; i++) {
        const std::size_t at = std::size_t(m_snap.soundEnd++ % kSoundKeep) * 2;
        m_sound[at] = s.played[2 * i];
        m_sound[at + 1] = s.played[2 * i + 1];
    }
    s.played.clear();
}

std::uint64_t LiveRun::sound(std::uint64_t from, std::vector<std::int16_t> &frames) const
{
    std::lock_guard lock(m_mutex);
    const std::uint64_t end = m_snap.soundEnd;
    from = std::clamp(from, end > kSoundKeep ? end - kSoundKeep : 0, end);
    for (std::uint64_t f = from; f < end; f++) {
        const std::size_t at = std::size_t(f % kSoundKeep) * 2;
        frames.push_back(m_sound[at]);
        frames.push_back(m_sound[at + 1]);
    }
    return end;
}

void LiveRun::setLogicPins(std::vector<int> pins)
{
    std::sort(pins.begin(), pins.end());
    pins.erase(std::unique(pins.begin(), pins.end()), pins.end());
    std::lock_guard lock(m_mutex);
    m_logicPins = std::move(pins);
    m_logicChanged = true;
}

std::vector<int> LiveRun::logicPins() const
{
    std::lock_guard lock(m_mutex);
    return m_logicPins;
}

std::string LiveRun::pinOwner(int pin) const
{
    std::lock_guard lock(m_mutex);
    return pin >= 0 && pin < 64 ? m_pinOwners[std::size_t(pin)] : std::string();
}

LogicTrace LiveRun::logic(double from) const
{
    std::lock_guard lock(m_mutex);
    LogicTrace trace;
    trace.until = m_logicUntil;
    for (int p : m_logicPins) {
        LogicPin pin;
        pin.pin = p;
        if (const EdgeRing *ring = m_logic[std::size_t(p)].get())
            ring->copyFrom(from, pin.edges);
        trace.pins.push_back(std::move(pin));
    }
    return trace;
}

// Watches the pins that no history of the session watches yet.
void LiveRun::watchLogic(Session &s, const std::vector<int> &pins) const
{
    std::vector<int> fresh;
    for (int p : pins) {
        const bool watched = std::any_of(s.histories.begin(), s.histories.end(),
                                         [p](const std::shared_ptr<PinHistory> &h) { return h->ring(p); });
        if (p >= 0 && p < 64 && !watched)
            fresh.push_back(p);
    }
    if (fresh.empty())
        return;
    auto history = std::make_shared<PinHistory>(fresh);
    s.chip->pins().attach(history);
    s.histories.push_back(std::move(history));
}

// Under m_mutex: the edges each chosen pin gained since the last time. When
// more came than a ring holds, the published ring starts again from the
// session's, so that it never has a gap.
void LiveRun::publishLogic(Session &s, double now)
{
    for (int p : m_logicPins) {
        const EdgeRing *from = nullptr;
        for (const auto &h : s.histories)
            if ((from = h->ring(p)))
                break;
        if (!from)
            continue;
        std::unique_ptr<EdgeRing> &to = m_logic[std::size_t(p)];
        if (!to)
            to = std::make_unique<EdgeRing>(from->capacity());
        std::uint64_t &done = s.published[std::size_t(p)];
        const std::uint64_t fresh = from->pushed() - done;
        if (fresh > from->size() || fresh > to->capacity()) {
            to->clear();
            for (std::size_t i = 0; i < from->size(); i++)
                to->push((*from)[i]);
        } else {
            for (std::size_t i = from->size() - std::size_t(fresh); i < from->size(); i++)
                to->push((*from)[i]);
        }
        done = from->pushed();
    }
    m_logicUntil = now;
}

} // namespace kivo::sim
