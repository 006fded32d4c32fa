#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace kivo {

class CCodeObject;
class CKivoDoc;

enum class Severity {
    Warning, // the generated project may misbehave
    Error,   // it would not build, or would misbehave for sure
};

// What a finding offers to mend by itself.
enum class FindingFix {
    None,
    RecomputeNco, // recompute the NCO registers for the project's clock
};

// One problem of a project.
struct Finding {
    Severity severity = Severity::Error;
    std::string name;  // the object's name, or kSettingsFindingName
    std::string field; // the field's key ("pin", "clock_freq"); "" for the object as a whole
    std::string text;  // what is wrong and what to do
    int object = -1;   // index in the object list; -1 for the project's settings
    std::vector<int> pins;
    FindingFix fix = FindingFix::None;

    bool operator==(const Finding &) const = default;
};

// The name that findings about the project's settings carry.
constexpr const char *kSettingsFindingName = "P2 & FlexSpin";

// Every finding of the project: settings first, then the objects in list
// order, then the project's budget.
std::vector<Finding> CheckProject(const CKivoDoc &doc);

// The errors of an object's own fields, checked as if it were the last of
// the project (an object already in the list is moved there), so that every
// clash of its pins is its own; the editors refuse OK on these. Its pins
// that another object drives without naming them (the USB error LED) count
// as clashes here too, though the project check reports them on the driver.
std::vector<Finding> CheckNewObject(const CKivoDoc &doc, const CCodeObject &object);

// A pin the project holds that the pin table does not record: the SD card's
// while "Mount SD Card" is ticked, and the pins objects drive without a field
// naming them.
struct HeldPin {
    int pin = -1;
    std::string owner; // "SD Card", or the object's name
    std::string usage; // "SD CLK", "Parallax USB Error LED"
};
std::vector<HeldPin> PinsHeldOutsideTable(const CKivoDoc &doc);

// The pins as the pin view, its printed report and `kivo-cli show` present
// them: the pin table, and on a pin the table has free, the first holder
// outside it. For display only; the stored table is unchanged.
struct ShownPin {
    bool used = false;
    std::string owner, usage, note;
};
std::array<ShownPin, 64> ShownPins(const CKivoDoc &doc);

// Every pin the project uses: the pin table, the pins the objects' fields
// name, the pins held outside the table and the serial console's 62 and 63.
std::array<bool, 64> PinsInUse(const CKivoDoc &doc);

bool HasError(const std::vector<Finding> &findings);
// "Error: NAME: text" or "Warning: NAME: text".
std::string FindingLine(const Finding &finding);

// Carries out the finding's fix; returns false when it has none or it
// cannot be applied.
bool ApplyFix(CKivoDoc &doc, const Finding &finding);

// The figures of the project's budget.
struct Budget {
    int cogs = 0;              // cogs started, the main cog included
    std::size_t hubBytes = 0;  // hub RAM the program needs
    std::size_t heapBytes = 0; // of which the heap
};
constexpr int kCogCount = 8;
constexpr std::size_t kHubRamBytes = 512 * 1024;
// A warning from this much hub RAM on.
constexpr std::size_t kHubWarnBytes = kHubRamBytes * 9 / 10;
Budget ProjectBudget(const CKivoDoc &doc);

// Limits of the settings that the checker applies.
constexpr long long kClockMin = 4000000;    // the PLL's lowest output from a 20 MHz crystal, rounded up
constexpr long long kClockMax = 350000000;  // VCO/1 pushed as far as it goes
constexpr long long kClockWarn = 320000000; // above the datasheet's maximum
constexpr long long kBaudMin = 1200;
constexpr long long kBaudMax = 3000000;  // the USB serial adapters loadp2 drives
constexpr long long kBaudWarn = 2000000; // above what loadp2 is known to run reliably
constexpr long long kHeapMin = 1;
constexpr long long kDefaultHeapBytes = 4096; // FlexSpin's heap on the P2 when none is set

// ---- shared with the kinds' own checks ----

// The text in double quotes.
std::string Quoted(const std::string &text);
// 1234567 as "1,234,567".
std::string WithThousands(long long value);
// True when `text` is digits only (no blanks, no sign) and names a value in
// lo..hi; `value` holds it.
bool DigitsInRange(const std::string &text, long long lo, long long hi, long long &value);

} // namespace kivo
