#include "check/check.h"

#include "check/names.h"
#include "generator/library.h"
#include "generator/scripts.h"
#include "kinds/kind.h"
#include "model/codeobject.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/pinclash.h"
#include "platform/resources.h"

#include <algorithm>
#include <optional>
#include <set>

namespace kivo {

namespace {

// ---- numbers ----

enum class Number { Ok, Empty, NotDigits, OutOfRange };

// Digits only: no blanks, no sign; values past 18 digits count as too large.
Number ParseDigits(const std::string &text, long long lo, long long hi, long long &value)
{
    value = 0;
    if (text.empty())
        return Number::Empty;
    if (text.find_first_not_of("0123456789") != std::string::npos)
        return Number::NotDigits;
    if (text.size() > 18)
        return Number::OutOfRange;
    value = std::stoll(text);
    return value < lo || value > hi ? Number::OutOfRange : Number::Ok;
}

} // namespace

std::string Quoted(const std::string &s) { return "\"" + s + "\""; }

std::string WithThousands(long long v)
{
    std::string digits = std::to_string(v);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

bool DigitsInRange(const std::string &text, long long lo, long long hi, long long &value)
{
    return ParseDigits(text, lo, hi, value) == Number::Ok;
}

namespace {

class Checker
{
public:
    Checker(const CKivoDoc &doc, std::vector<const CCodeObject *> objects) : m_doc(doc), m_objects(std::move(objects))
    {
    }

    // The object whose editor asks (see CheckNewObject).
    void SetSubject(int index) { m_subject = index; }

    std::vector<Finding> Run(bool settings, bool budget)
    {
        if (settings)
            CheckSettings();
        CollectPins();
        for (int i = 0; i < int(m_objects.size()); ++i)
            CheckObject(i);
        if (budget)
            CheckBudget();
        return std::move(m_out);
    }

private:
    const CCodeObject &Obj(int i) const { return *m_objects[std::size_t(i)]; }

    std::string DisplayName(int i) const
    {
        if (i < 0)
            return kSettingsFindingName;
        const CCodeObject &o = Obj(i);
        if (!o.m_strName.empty())
            return o.m_strName;
        return Format("Object #%d (", i + 1) + o.GetKindName() + ")";
    }

    void Add(Severity severity, int object, const std::string &field, const std::string &text,
             std::vector<int> pins = {}, FindingFix fix = FindingFix::None)
    {
        m_out.push_back({severity, DisplayName(object), field, text, object, std::move(pins), fix});
    }
    void Error(int object, const std::string &field, const std::string &text, std::vector<int> pins = {})
    {
        Add(Severity::Error, object, field, text, std::move(pins));
    }
    void Warning(int object, const std::string &field, const std::string &text, std::vector<int> pins = {})
    {
        Add(Severity::Warning, object, field, text, std::move(pins));
    }

    // A whole number field; reports and returns false when it is not one in
    // lo..hi. `why` explains the range.
    bool Whole(int object, const std::string &field, const std::string &label, const std::string &text, long long lo,
               long long hi, long long &value, const std::string &why = "")
    {
        const std::string range = hi >= 2147483647 ? "of at least " + std::to_string(lo)
                                                   : "from " + std::to_string(lo) + " to " + std::to_string(hi);
        switch (ParseDigits(text, lo, hi, value)) {
        case Number::Ok:
            return true;
        case Number::Empty:
            Error(object, field, label + " is empty: enter a whole number " + range + ".");
            break;
        case Number::NotDigits:
            Error(object, field,
                  label + " is " + Quoted(text) + ": write a whole number " + range + " in digits only.");
            break;
        case Number::OutOfRange:
            Error(object, field,
                  label + " is " + text + ": enter a whole number " + range + (why.empty() ? "" : " (" + why + ")") +
                      ".");
            break;
        }
        return false;
    }
    // A pin field; the pin when it is a valid one, else -1.
    int Pin(int object, const std::string &field, const std::string &label, const std::string &text, int max = 63)
    {
        long long v;
        return Whole(object, field, label, text, 0, max, v) ? int(v) : -1;
    }

    // ---- settings ----

    void Options(const std::string &field, const std::string &label, const std::string &text)
    {
        OptionWords w = SplitOptionWords(text);
        if (w.unsafe == '\n' || w.unsafe == '\r')
            Error(-1, field, label + " holds a line break: put all options on one line.");
        else if (w.unsafe)
            Error(-1, field,
                  label + " holds " + Quoted(std::string(1, w.unsafe)) +
                      " outside quotes, which the build and load scripts would take as a command: put it in quotes "
                      "or remove it.");
        else if (w.unclosedQuote)
            Error(-1, field, label + " opens a quote that it does not close: close it or remove it.");
    }

    void PathField(const std::string &field, const std::string &label, const std::string &text)
    {
        if (text.find_first_of("\r\n") != std::string::npos)
            Error(-1, field, label + " holds a line break: the scripts need the folder on one line; set it again.");
    }

    void CheckSettings()
    {
        const CKivoDoc &d = m_doc;
        long long v;
        if (Whole(-1, "clock_freq", "\"P2 Core Frequency:\"", d.m_strClockFreq, kClockMin, kClockMax, v,
                  "the PLL's range from a 20 MHz crystal")) {
            m_clock = v;
            if (v > kClockWarn)
                Warning(-1, "clock_freq",
                        "\"P2 Core Frequency:\" is " + WithThousands(v) + " Hz, above the " +
                            WithThousands(kClockWarn) + " Hz the P2 is rated for: many chips will not run reliably.");
        }
        if (d.m_bSetHeapSize && Whole(-1, "heap_size", "\"Specify Heap Size:\"", d.m_strHeapSize, kHeapMin,
                                      static_cast<long long>(kHubRamBytes), v, "the P2's hub RAM"))
            m_heap = std::size_t(v);
        if (d.m_bSetBaud && Whole(-1, "baud", "The baud rate", d.m_strBaud, kBaudMin, kBaudMax, v,
                                  "what loadp2 and its adapters run")) {
            if (v > kBaudWarn)
                Warning(-1, "baud",
                        "The baud rate " + WithThousands(v) + " is above " + WithThousands(kBaudWarn) +
                            ", which is as fast as loadp2 and the usual adapters run reliably.");
            if (m_clock > 0 && v * 8 > m_clock)
                Error(-1, "baud",
                      "The baud rate " + WithThousands(v) + " is too fast for a " + WithThousands(m_clock) +
                          " Hz clock: the serial pin needs at least 8 clocks per bit. Lower the baud rate.");
        }
        if (d.m_bSetOptLevel)
            Options("opt_level", "The optimisation level", d.m_strOptLevel);
        if (d.m_bUseFlexOptions)
            Options("flex_options", "FlexSpin's \"Add these additional options:\"", d.m_strFlexOptions);
        if (d.m_bUseLoadP2Options)
            Options("load_p2_options", "LoadP2's \"Add these additional options:\"", d.m_strLoadP2Options);
        PathField("flex_spin_path", "\"FlexSpin.exe Folder:\"", d.m_strFlexSpinPath);
        PathField("load_p2_path", "\"LoadP2.exe Folder:\"", d.m_strLoadP2Path);
        if (d.m_bUseLibraryPath)
            PathField("library_path", "The library folder", d.m_strLibraryPath);
        if (d.m_bUsePlan9)
            PathField("plan9_path", "The Plan9 folder", d.m_strPlan9Path);
        if (d.m_bMountSd) {
            const std::pair<const char *, const std::string *> sd[] = {
                {"sd_clk_pin", &d.m_strSdClkPin},
                {"sd_cs_pin", &d.m_strSdCsPin},
                {"sd_mosi_pin", &d.m_strSdMosiPin},
                {"sd_miso_pin", &d.m_strSdMisoPin},
            };
            const char *labels[] = {"CLK", "CS", "MOSI", "MISO"};
            for (int i = 0; i < 4; ++i) {
                int p = Pin(-1, sd[i].first, std::string("The SD card's ") + labels[i] + " pin", *sd[i].second);
                if (p < 0)
                    continue;
                for (auto &[other, label] : m_sdPins)
                    if (other == p)
                        Error(-1, sd[i].first,
                              std::string("The SD card's ") + labels[i] + " pin " + std::to_string(p) +
                                  " is also its " + label + " pin: give each SD signal a pin of its own.",
                              {p});
                m_sdPins.push_back({p, labels[i]});
            }
        }
    }

    // ---- pins of the objects ----

    // One object's view of the project for its kind's checks. A quiet one
    // only collects the object's pins.
    class ObjectCheck : public IObjectCheck
    {
    public:
        ObjectCheck(Checker &checker, int index, bool quiet) : m_checker(checker), m_index(index), m_quiet(quiet) {}

        int PinField(const char *field, const char *label, const std::string &text, int max) override
        {
            long long v;
            int p = -1;
            if (m_quiet)
                p = ParseDigits(text, 0, max, v) == Number::Ok ? int(v) : -1;
            else
                p = m_checker.Pin(m_index, field, label, text, max);
            if (p >= 0)
                m_pins.push_back({p, field});
            return p;
        }
        void AddPin(int pin, const char *field) override { m_pins.push_back({pin, field}); }
        void ClearPins() override { m_pins.clear(); }
        const std::vector<PinUse> &Pins() const override { return m_pins; }
        bool Whole(const std::string &field, const std::string &label, const std::string &text, long long lo,
                   long long hi, long long &value, const std::string &why) override
        {
            return m_checker.Whole(m_index, field, label, text, lo, hi, value, why);
        }
        void Report(Severity severity, const std::string &field, const std::string &text, std::vector<int> pins,
                    FindingFix fix) override
        {
            if (!m_quiet)
                m_checker.Add(severity, m_index, field, text, std::move(pins), fix);
        }
        long long Clock() const override { return m_checker.m_clock; }
        const std::vector<const CCodeObject *> &Objects() const override { return m_checker.m_objects; }
        int Index() const override { return m_index; }
        std::string OtherOwner(int pin) const override { return m_checker.OtherOwner(m_index, pin); }

        std::vector<PinUse> TakePins() { return std::move(m_pins); }
        void SetPins(std::vector<PinUse> pins) { m_pins = std::move(pins); }

    private:
        Checker &m_checker;
        int m_index;
        bool m_quiet;
        std::vector<PinUse> m_pins;
    };

    std::vector<PinUse> PinsOf(int i, bool report)
    {
        ObjectCheck check(*this, i, !report);
        if (const IKind *kind = FindKind(Obj(i).m_nKind))
            kind->CheckPins(Obj(i), check);
        return check.TakePins();
    }

    void CollectPins()
    {
        m_pins.clear();
        for (int i = 0; i < int(m_objects.size()); ++i)
            m_pins.push_back(PinsOf(i, false));
    }

    // Who else has `pin`: another object, the SD card or an owner in the pin
    // table; "" when nobody.
    std::string OtherOwner(int self, int pin) const
    {
        for (int j = 0; j < int(m_objects.size()); ++j) {
            if (j == self)
                continue;
            for (auto &u : m_pins[std::size_t(j)])
                if (u.pin == pin)
                    return DisplayName(j);
            const IKind *kind = FindKind(Obj(j).m_nKind);
            const DrivenPin driven = kind ? kind->Driven(Obj(j)) : DrivenPin{};
            if (driven.pin >= 0 && driven.pin == pin)
                return DisplayName(j) + " (" + driven.what + ")";
        }
        for (auto &[p, label] : m_sdPins)
            if (p == pin)
                return std::string("the SD card's ") + label + " pin";
        const std::string &owner = m_doc.m_strPinOwner[std::size_t(pin)];
        if (m_doc.m_bPinUsed[std::size_t(pin)] && !owner.empty() && owner != Obj(self).m_strName)
            return owner;
        return "";
    }

    // ---- one object ----

    // The names an object's text makes from its name, worked out once.
    const std::set<std::string> &Derived(int i)
    {
        if (m_derived.size() != m_objects.size())
            m_derived.assign(m_objects.size(), std::nullopt);
        auto &d = m_derived[std::size_t(i)];
        if (!d)
            d = DerivedNames(m_doc, Obj(i));
        return *d;
    }

    void CheckName(int i)
    {
        const CCodeObject &o = Obj(i);
        const std::string &n = o.m_strName;
        const std::string advice =
            " Choose another name (an existing object's name cannot be changed: delete the object and add it again).";
        if (n.empty()) {
            Error(i, "name", "The object has no name." + advice);
            return;
        }
        if (!IsCIdentifier(n)) {
            Error(i, "name",
                  "The name " + Quoted(n) +
                      " is not a C identifier: use letters, digits and '_' only, not starting with a digit." + advice);
            return;
        }
        if (IsCKeyword(n)) {
            Error(i, "name", "The name " + Quoted(n) + " is a C or FlexSpin keyword." + advice);
            return;
        }
        if (IsCompilerBuiltin(n)) {
            Error(i, "name",
                  "The name " + Quoted(n) +
                      " is reserved by the compiler (its built-in constants, registers and "
                      "names starting with '_')." +
                      advice);
            return;
        }
        if (GeneratedNames().count(n)) {
            Error(i, "name", "The name " + Quoted(n) + " is already used by the generated code." + advice);
            return;
        }
        for (int j = 0; j < i; ++j) {
            if (Obj(j).m_strName == n) {
                Error(i, "name", "Another object is already named " + Quoted(n) + "." + advice);
                return;
            }
        }
        const auto &mine = Derived(i);
        for (auto &id : mine) {
            if (id != n && (GeneratedNames().count(id) || IsCompilerBuiltin(id))) {
                Error(i, "name",
                      "The name makes the generated name " + id + ", which the generated code already uses." + advice);
                return;
            }
        }
        for (int j = 0; j < i; ++j) {
            const CCodeObject &other = Obj(j);
            if (other.m_strName.empty())
                continue;
            for (auto &id : Derived(j)) {
                if (mine.count(id)) {
                    Error(i, "name",
                          "The generated name " + id + " of this object is also generated for " + other.m_strName +
                              "." + advice);
                    return;
                }
            }
        }
    }

    void CheckNumbers(int i)
    {
        ObjectCheck check(*this, i, false);
        if (const IKind *kind = FindKind(Obj(i).m_nKind))
            kind->CheckNumbers(Obj(i), check);
    }

    // The clashes of the object's pins with the console, the SD card and the
    // objects before it.
    void CheckPins(int i)
    {
        auto pins = PinsOf(i, true);
        std::set<int> reported;
        for (auto &u : pins) {
            if (reported.count(u.pin))
                continue;
            if (u.pin == 62 || u.pin == 63) {
                reported.insert(u.pin);
                Error(i, u.field,
                      PinInUseMessage(u.pin, "Serial", "the console the generated program prints on, pins 62 and 63"),
                      {u.pin});
                continue;
            }
            for (auto &[p, label] : m_sdPins) {
                if (p == u.pin) {
                    reported.insert(u.pin);
                    Error(i, u.field,
                          PinInUseMessage(u.pin, "SD Card", "its " + label + " pin while \"Mount SD Card\" is on"),
                          {u.pin});
                }
            }
            if (reported.count(u.pin))
                continue;
            // A pin another object drives is reported on the driver, except
            // for the object an editor checks: its OK must refuse the pin.
            if (i == m_subject) {
                for (int j = 0; j < int(m_objects.size()) && !reported.count(u.pin); ++j) {
                    const IKind *kind = j == i ? nullptr : FindKind(Obj(j).m_nKind);
                    const DrivenPin driven = kind ? kind->Driven(Obj(j)) : DrivenPin{};
                    if (driven.pin >= 0 && driven.pin == u.pin) {
                        reported.insert(u.pin);
                        Error(i, u.field, PinInUseMessage(u.pin, DisplayName(j), driven.what), {u.pin});
                    }
                }
            }
            if (reported.count(u.pin))
                continue;
            // Objects that share a pin: reported on the later one.
            for (int j = 0; j < i; ++j) {
                for (auto &w : m_pins[std::size_t(j)]) {
                    if (w.pin == u.pin && !reported.count(u.pin)) {
                        reported.insert(u.pin);
                        Error(i, u.field, PinInUseMessage(u.pin, DisplayName(j)), {u.pin});
                    }
                }
            }
        }
    }

    // The rules between objects: one of a kind where the kind says so, then
    // the kind's own.
    void CheckKind(int i)
    {
        const CCodeObject &o = Obj(i);
        const IKind *kind = FindKind(o.m_nKind);
        if (!kind)
            return;
        if (kind->OnlyOne()) {
            bool before = false;
            for (int j = 0; j < i; ++j)
                before = before || Obj(j).m_nKind == o.m_nKind;
            if (before)
                Error(i, "",
                      "The project already has a " + o.GetKindName() +
                          " object; the generated code has fixed names for it, so a second one redefines the "
                          "first. Delete one of them.");
        }
        ObjectCheck check(*this, i, false);
        check.SetPins(m_pins[std::size_t(i)]);
        kind->CheckAmong(o, check);
    }

    void CheckObject(int i)
    {
        CheckName(i);
        CheckNumbers(i);
        CheckPins(i);
        CheckKind(i);
    }

    // ---- budget ----

    void CheckBudget()
    {
        Budget b = ComputeBudget();
        if (b.cogs > kCogCount)
            Error(-1, "",
                  Format("The project starts %d cogs (the main cog and one per VGA, LED string, sound and USB "
                         "object), but the P2 has %d: remove objects that start a cog.",
                         b.cogs, kCogCount));
        const std::string figures = WithThousands((long long)b.hubBytes) + " bytes of hub RAM (heap " +
                                    WithThousands((long long)b.heapBytes) + ") of the " +
                                    WithThousands((long long)kHubRamBytes);
        if (b.hubBytes > kHubRamBytes)
            Error(-1, "", "The project needs about " + figures + " the P2 has: remove objects or lower the heap size.");
        else if (b.hubBytes >= kHubWarnBytes)
            Warning(-1, "",
                    "The project needs about " + figures +
                        " the P2 has, close to the limit: the estimate may be short of the real size.");
    }

public:
    // The pins each object's fields name.
    const std::vector<std::vector<PinUse>> &ObjectPins()
    {
        CollectPins();
        return m_pins;
    }

    Budget ComputeBudget() const
    {
        Budget b;
        b.cogs = 1;
        b.heapBytes = m_heap;
        // The C runtime with printf and the main program, and the main cog's stack.
        b.hubBytes = 16 * 1024 + 4 * 1024 + m_heap;
        EmbeddedResources resources;
        std::set<std::string> files;
        for (auto *o : m_objects) {
            const IKind *kind = FindKind(o->m_nKind);
            if (!kind) {
                b.hubBytes += 256;
                continue;
            }
            b.cogs += kind->Cogs(*o);
            b.hubBytes += kind->HubBytes(*o);
            for (auto &lib : kind->LibraryFiles(*o)) {
                if (!files.insert(lib.fileName).second)
                    continue;
                b.hubBytes += LibraryHubBytes(lib, resources);
            }
        }
        return b;
    }

private:
    // Data files are embedded whole; a driver source costs its code.
    static std::size_t LibraryHubBytes(const LibraryFile &lib, const IResources &resources)
    {
        const std::string name = lib.fileName;
        auto ends = [&](const char *ext) {
            std::string e = ext;
            return name.size() >= e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
        };
        if (ends(".bmp") || ends(".raw") || ends(".mod"))
            return resources.Find(lib.resourceId).size();
        return lib.codeBytes;
    }

    const CKivoDoc &m_doc;
    std::vector<const CCodeObject *> m_objects;
    std::vector<std::vector<PinUse>> m_pins;
    std::vector<std::optional<std::set<std::string>>> m_derived;
    std::vector<std::pair<int, std::string>> m_sdPins;
    int m_subject = -1;
    long long m_clock = 0;
    std::size_t m_heap = std::size_t(kDefaultHeapBytes);
    std::vector<Finding> m_out;
};

std::vector<const CCodeObject *> ObjectsOf(const CKivoDoc &doc)
{
    std::vector<const CCodeObject *> v;
    for (auto &o : doc.m_objList)
        v.push_back(o.get());
    return v;
}

} // namespace

std::vector<Finding> CheckProject(const CKivoDoc &doc) { return Checker(doc, ObjectsOf(doc)).Run(true, true); }

std::vector<Finding> CheckNewObject(const CKivoDoc &doc, const CCodeObject &object)
{
    auto objects = ObjectsOf(doc);
    std::erase(objects, &object);
    objects.push_back(&object);
    const int index = int(objects.size()) - 1;
    std::vector<Finding> mine;
    // The settings are checked too, since the clock and the SD pins bear on
    // the object's fields; only the object's own field errors are kept.
    Checker checker(doc, std::move(objects));
    checker.SetSubject(index);
    for (auto &f : checker.Run(true, false))
        if (f.object == index && f.severity == Severity::Error && !f.field.empty())
            mine.push_back(f);
    return mine;
}

std::vector<HeldPin> PinsHeldOutsideTable(const CKivoDoc &doc)
{
    std::vector<HeldPin> held;
    if (doc.m_bMountSd) {
        const std::pair<const std::string *, const char *> sd[] = {
            {&doc.m_strSdClkPin, "SD CLK"},
            {&doc.m_strSdCsPin, "SD CS"},
            {&doc.m_strSdMosiPin, "SD MOSI"},
            {&doc.m_strSdMisoPin, "SD MISO"},
        };
        for (auto &[text, usage] : sd) {
            long long p;
            if (DigitsInRange(*text, 0, kPinCount - 1, p))
                held.push_back({int(p), "SD Card", usage});
        }
    }
    for (auto &o : doc.m_objList) {
        const IKind *kind = FindKind(o->m_nKind);
        const DrivenPin driven = kind ? kind->Driven(*o) : DrivenPin{};
        if (driven.pin >= 0 && driven.pin < kPinCount)
            held.push_back({driven.pin, o->m_strName, driven.usage});
    }
    return held;
}

std::array<ShownPin, 64> ShownPins(const CKivoDoc &doc)
{
    std::array<ShownPin, 64> pins;
    for (int p = 0; p < kPinCount; ++p)
        pins[std::size_t(p)] = {bool(doc.m_bPinUsed[p]), doc.m_strPinOwner[p], doc.m_strPinUsage[p],
                                doc.m_strPinNote[p]};
    for (const HeldPin &h : PinsHeldOutsideTable(doc)) {
        ShownPin &line = pins[std::size_t(h.pin)];
        if (line.used)
            continue;
        line.used = true;
        line.owner = h.owner;
        line.usage = h.usage;
    }
    return pins;
}

std::array<bool, 64> PinsInUse(const CKivoDoc &doc)
{
    std::array<bool, 64> used = doc.m_bPinUsed;
    used[62] = used[63] = true;
    for (auto &h : PinsHeldOutsideTable(doc))
        used[std::size_t(h.pin)] = true;
    Checker checker(doc, ObjectsOf(doc));
    for (auto &pins : checker.ObjectPins())
        for (auto &u : pins)
            if (u.pin >= 0 && u.pin < kPinCount)
                used[std::size_t(u.pin)] = true;
    return used;
}

bool HasError(const std::vector<Finding> &findings)
{
    return std::any_of(findings.begin(), findings.end(), [](auto &f) { return f.severity == Severity::Error; });
}

std::string FindingLine(const Finding &f)
{
    return std::string(f.severity == Severity::Error ? "Error: " : "Warning: ") + f.name + ": " + f.text;
}

bool ApplyFix(CKivoDoc &doc, const Finding &f)
{
    if (f.fix == FindingFix::None || f.object < 0 || f.object >= int(doc.m_objList.size()))
        return false;
    CCodeObject &o = *doc.m_objList[std::size_t(f.object)];
    const IKind *kind = FindKind(o.m_nKind);
    return kind && kind->ApplyFix(o, f.fix, doc);
}

Budget ProjectBudget(const CKivoDoc &doc)
{
    Checker c(doc, ObjectsOf(doc));
    c.Run(true, false);
    return c.ComputeBudget();
}

} // namespace kivo
