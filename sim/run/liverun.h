#pragma once
// A run of the simulated board beside a user interface. The chip runs on a
// thread of its own in short slices of simulated time, paced so that it never
// runs ahead of real time; between slices the thread takes the commands (Run,
// Pause, Restart, Stop), feeds console input to pin 63 and publishes a
// snapshot. So every call here returns at once, from any thread.
//
//   LiveRun run;
//   if (!run.openProject(doc, &error)) ...;  // as `kivo-cli simulate` runs it
//   run.run();
//   ... run.snapshot().seconds, run.console(from) ...
#include "board/usb_board.h"
#include "json.h"
#include "run/pinhistory.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kivo {
class CKivoDoc;
}

namespace kivo::sim {

class LiveRun
{
public:
    enum class State {
        Stopped, // not started, or stopped by the user
        Running,
        Paused,
        Ended, // the program exited, every cog stopped, or a fault
    };

    struct Snapshot {
        State state = State::Stopped;
        double seconds = 0;           // simulated time since reset
        double speed = 0;             // simulated time per real time, in percent, lately
        std::uint64_t consoleEnd = 0; // bytes the program has printed since reset
        std::string fault;            // the simulator fault that ended the run
        std::string ended;            // why the run ended, in words
        int generation = 0;           // counts starts from reset
        Json board;                   // per object: the device's observations (ProjectBoard::report)
        std::string changeProblem;    // why the last change() was not made
        std::uint64_t soundEnd = 0;   // sound frames played since reset
        int soundRate = 0;            // their rate per second (0 before the DAC runs)
    };

    LiveRun();
    ~LiveRun(); // ends the run, waiting at most one slice
    LiveRun(const LiveRun &) = delete;
    LiveRun &operator=(const LiveRun &) = delete;

    // The project's program on its board, by the rules of `kivo-cli
    // simulate`: false, saying why, when the binary is missing or older than
    // the generated files, or the board cannot be wired. The run keeps a copy
    // of the project, so the document may change meanwhile.
    bool openProject(const CKivoDoc &doc, std::string *error);
    // A raw image with only the console on the board.
    bool openImage(const std::vector<std::uint8_t> &image, std::string *error);

    // Runs, or goes on after a pause; after a stop or an end, from reset.
    void run();
    void pause();
    // From reset, running.
    void restart();
    void stop();
    // Bytes for pin 63, sent at the program's baud as soon as it listens.
    void send(std::string_view bytes);
    // NAME.KEY=VALUE settings of the board's devices (as --set) for each
    // start from reset; before openProject.
    void setStartSettings(std::vector<std::string> sets) { m_startSets = std::move(sets); }
    // A device setting changed while the program runs, as a scenario's set
    // step changes it, at the next slice. A setting that cannot change is
    // dropped; snapshot().changeProblem says why.
    void change(std::string setting);
    // The USB device on the first USB object's port for each start from
    // reset, as `--usb-device` chooses it (a start at 0 s leaves the cable
    // pulled); before openProject.
    void setStartUsb(UsbRunOptions usb) { m_startUsb = std::move(usb); }
    // Live input for that device, at the next slice: the cable; the keys the
    // keyboard holds now (HID modifiers and usages); a mouse move with the
    // buttons held. Input the device cannot take is dropped.
    void usbPlug(bool in);
    void usbKeys(std::uint8_t modifiers, std::vector<std::uint8_t> usages);
    void usbMouse(int dx, int dy, int buttons);
    // The monitor's latest complete frame (VgaMonitor::frame()), null until
    // one is drawn; `count` the frames captured since reset.
    std::shared_ptr<const std::vector<std::uint8_t>> frame(int *count = nullptr) const;

    Snapshot snapshot() const;
    // What the program printed from byte `from` on (counted since reset);
    // the oldest text of a very long run is dropped.
    std::string console(std::uint64_t from) const;

    // The logic view's pins, from the next slice on (the project's pins at
    // open). History kept for a pin dropped and chosen again goes on.
    void setLogicPins(std::vector<int> pins);
    std::vector<int> logicPins() const;
    // The chosen pins' latest edges from `from` on (with the level then), as
    // the run last measured them; each pin keeps PinHistory::kEdgesPerPin.
    LogicTrace logic(double from) const;
    // Who holds each pin, as the pin view shows it, for labels ("" for
    // none).
    std::string pinOwner(int pin) const;

    // Appends to `frames` the sound object's frames from `from` on (counted
    // since reset): a left and a right sample each, 16 bits with the DAC's middle at 0, at
    // snapshot().soundRate. Only the newest kSoundKeep are kept, so a reader
    // that falls behind loses the oldest. Returns the count after the last
    // frame given: the next call's `from`.
    std::uint64_t sound(std::uint64_t from, std::vector<std::int16_t> &frames) const;
    static constexpr std::size_t kSoundKeep = 1 << 15;

    // Simulated time per slice: the longest a command waits for the thread.
    static constexpr double kSliceSeconds = 0.001;

private:
    struct Session;
    std::unique_ptr<Session> makeSession(std::string *error) const;
    void start(std::unique_ptr<Session> session);
    void loop();

    // Set at open, read by the run thread only.
    std::unique_ptr<CKivoDoc> m_doc;
    std::vector<std::uint8_t> m_image;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    // Commands (under m_mutex).
    bool m_quit = false;
    bool m_reset = false;             // start from reset at the next slice
    bool m_resumed = false;           // pacing starts anew (after a pause or a start)
    std::string m_input;              // console bytes not yet given to the chip
    std::unique_ptr<Session> m_fresh; // a session built at open, not yet run
    // Published state (under m_mutex).
    Snapshot m_snap;
    std::string m_console;
    std::uint64_t m_consoleStart = 0; // the count of the first byte kept

    // Device settings (under m_mutex, but m_startSets: set before open).
    std::vector<std::string> m_startSets;
    std::vector<std::string> m_changes;
    void applyChanges(Session &s);
    // USB input not yet given to the device (under m_mutex, but m_startUsb:
    // set before open).
    struct UsbInput {
        int plug = -1; // 0 pull the cable, 1 plug it in, -1 neither
        std::uint8_t modifiers = 0;
        std::vector<std::uint8_t> usages;
        bool keys = false;
        int dx = 0, dy = 0, buttons = 0;
    };
    UsbRunOptions m_startUsb;
    std::vector<UsbInput> m_usbInput;
    void pushUsb(UsbInput input);
    void applyUsb(Session &s);
    // The monitor's frames (under m_mutex).
    void takeFrame(Session &s);
    std::shared_ptr<const std::vector<std::uint8_t>> m_frame;
    int m_frameCount = 0;
    // The logic history: chosen pins (under m_mutex) and what the thread
    // last published of each (under m_mutex).
    void watchLogic(Session &s, const std::vector<int> &pins) const;
    void publishLogic(Session &s, double now);
    std::vector<int> m_logicPins;
    bool m_logicChanged = false;
    std::vector<std::unique_ptr<EdgeRing>> m_logic = std::vector<std::unique_ptr<EdgeRing>>(64);
    double m_logicUntil = 0;
    std::vector<std::string> m_pinOwners = std::vector<std::string>(64);
    // The newest sound frames, a ring of kSoundKeep (under m_mutex).
    void publishSound(Session &s);
    std::vector<std::int16_t> m_sound = std::vector<std::int16_t>(2 * kSoundKeep);

    std::thread m_thread;
};

} // namespace kivo::sim
