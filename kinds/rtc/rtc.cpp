#include "kinds/kind.h"
#include "kinds/rtc/slots.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "platform/clock.h"

namespace kivo {

namespace {

const char *kDescription = "Adds Real Time Clock interface to selected I2C Bus.  Optionally, you can automatically "
                           "set the RTC's time to the computers time on start up.  Code will set the P2 software "
                           "clock to the RTC clock on startup.";

// Both lists are drop-down lists without free text; the bus list is filled
// from the project when the editor opens.
const std::vector<FieldSpec> &RtcFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "bus", .type = FieldType::Choice, .label = "I2C Bus:", .hint = "one of the project's I2C bus objects"},
        {.key = "type", .type = FieldType::Choice, .label = "RTC Type:", .options = {"DS1339"}},
        {.key = "settime", .type = FieldType::Flag, .label = "Set Time to PC's Time"},
    };
    return fields;
}

int IndexOf(const std::vector<std::string> &entries, const std::string &text)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == text)
            return int(i);
    return -1;
}

class CObjectRTC : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "I2C Real Time Clock (RTC)"; }
    std::string Description() const override { return kDescription; }
    const std::vector<FieldSpec> &Fields() const override { return RtcFields(); }
    std::vector<std::string> Options(const std::string &key) const override
    {
        if (key == "bus")
            return m_buses;
        return CEditorModel::Options(key);
    }

protected:
    void InitBoth() override
    {
        m_buses.clear();
        for (auto &o : m_doc.m_objList)
            if (o->m_nKind == kI2CBus)
                m_buses.push_back(o->m_strName);
    }
    void InitNew() override
    {
        m_int["bus"] = m_buses.empty() ? -1 : 0;
        m_int["type"] = 0;
        m_flag["settime"] = false;
    }
    void InitExisting() override
    {
        // A bus that is no longer in the project leaves the list unselected.
        RtcSlots slots(m_object);
        m_int["bus"] = IndexOf(m_buses, slots.Bus());
        m_int["type"] = IndexOf(Options("type"), slots.Type());
        m_flag["settime"] = slots.SetTime();
    }
    // No pins. With nothing selected in a list the stored text is kept, so
    // that a clock whose bus was deleted still names that bus; but while the
    // project has buses one of them must be chosen, or the clock would stay
    // bound to a bus that is gone.
    OkResult OnOk() override
    {
        const auto buses = Options("bus");
        if (int i = Int("bus"); (i < 0 || i >= int(buses.size())) && !buses.empty()) {
            m_focusField = "bus";
            ShowPlain("Please choose the I2C bus.\nThe bus " + RtcSlots(m_object).Bus() +
                      " is no longer in the project.");
            return OkResult::StayOpen;
        }
        m_object.m_nKind = kRTC;
        m_object.m_strName = Name();
        RtcSlots slots(m_object);
        if (int i = Int("bus"); i >= 0 && i < int(buses.size()))
            slots.Bus() = buses[std::size_t(i)];
        const auto types = Options("type");
        if (int i = Int("type"); i >= 0 && i < int(types.size()))
            slots.Type() = types[std::size_t(i)];
        slots.SetTime() = Flag("settime");
        m_object.m_bValid = true;
        return OkResult::Accepted;
    }

private:
    std::vector<std::string> m_buses;
};

class RtcKindImpl : public EditorKind<CObjectRTC>
{
public:
    RtcKindImpl() : EditorKind(kRTC, "rtc") {}

    // The printed time must advance over a few loops.
    double VerifySeconds(const CCodeObject &) const override { return 3.5; }

    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "\n//Header for RTC Object: " + o.m_strName + "\n";
        s += "#include \"rtc.h\"\n\n";
    }
    void SetupBlock(GenContext &ctx, const CCodeObject &o, std::string &s) const override
    {
        RtcSlots slots(o);
        s += "\n    BindRtcToPort(&" + slots.Bus() + ");  //Select I2C Bus for RTC\n";
        s += "    GetRtcSetSystemTime(); //Get time from RTC and apply to system\n";
        if (!slots.SetTime())
            return;
        // The moment of generation, written into the chip at every start.
        const LocalDateTime t = ctx.clock.Now();
        s += "\n    RTC now;\n";
        s += Format("    now.year = %d;\n", t.year);
        s += Format("    now.month = %d;\n", t.month);
        s += Format("    now.mday = %d;\n", t.day);
        s += Format("    now.wday = %d;\n", t.weekday + 1); // the chip counts Sunday as 1
        s += Format("    now.hour = %d;\n", t.hour);
        s += Format("    now.min = %d;\n", t.minute);
        s += Format("    now.sec = %d;\n", t.second);
        s += "    rtc_settime(&now);\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &, std::string &s) const override
    {
        s += "\n    // get current time\n";
        s += "    char dispbuf[40];\n";
        s += "    struct timeval tv;\n";
        s += "    gettimeofday(&tv, 0);\n";
        s += "    // get an ASCII version of the time\n";
        s += "    // uses the standard C library strftime function to format the time\n";
        s += "    strftime(dispbuf, sizeof(dispbuf), \"%a %b %d %H:%M:%S %Y\", localtime(&tv.tv_sec));\n";
        s += "    // print it\n";
        s += "    printf(\" %s\\n\", dispbuf);\n";
    }

    // The bus it names must be in the project, and set up before it.
    void CheckAmong(const CCodeObject &o, IObjectCheck &check) const override
    {
        const std::string &bus = RtcSlots(o).Bus();
        const auto &objects = check.Objects();
        int at = -1;
        for (int j = 0; j < int(objects.size()); ++j)
            if (objects[std::size_t(j)]->m_nKind == kI2CBus && objects[std::size_t(j)]->m_strName == bus) {
                at = j;
                break;
            }
        if (at < 0)
            check.Error("bus", "Its I2C bus " + Quoted(bus) +
                                   " is not in the project: edit the clock and choose a bus, or add the bus again.");
        else if (at > check.Index())
            check.Error("bus", "Its I2C bus " + bus +
                                   " comes after it in the object list, so the clock would be read before the bus is "
                                   "set up: delete the clock and add it again after the bus.");
    }
    bool OnlyOne() const override { return true; }
    std::vector<LibraryFile> LibraryFiles(const CCodeObject &) const override { return {kHeader}; }
    std::vector<LibraryFile> AllLibraryFiles() const override { return {kHeader}; }

private:
    static constexpr LibraryFile kHeader{352, "rtc.h", 2048};
};

} // namespace

const IKind &RtcKind()
{
    static const RtcKindImpl kind;
    return kind;
}

} // namespace kivo
