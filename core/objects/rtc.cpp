#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/kind.h"
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
        m_int["bus"] = IndexOf(m_buses, m_object.m_strText[0]);
        m_int["type"] = IndexOf(Options("type"), m_object.m_strText[1]);
        m_flag["settime"] = m_object.m_bFlag[0];
    }
    // No pins. With nothing selected in a list the stored text is kept, so
    // that a clock whose bus was deleted still names that bus; but while the
    // project has buses one of them must be chosen, or the clock would stay
    // bound to a bus that is gone.
    OkResult OnOk() override
    {
        const auto buses = Options("bus");
        if (int i = Int("bus"); (i < 0 || i >= int(buses.size())) && !buses.empty()) {
            ShowPlain("Please choose the I2C bus.\nThe bus " + m_object.m_strText[0] + " is no longer in the project.");
            m_focusField = "bus";
            return OkResult::StayOpen;
        }
        m_object.m_nKind = kRTC;
        m_object.m_strName = Name();
        if (int i = Int("bus"); i >= 0 && i < int(buses.size()))
            m_object.m_strText[0] = buses[std::size_t(i)];
        const auto types = Options("type");
        if (int i = Int("type"); i >= 0 && i < int(types.size()))
            m_object.m_strText[1] = types[std::size_t(i)];
        m_object.m_bFlag[0] = Flag("settime");
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

    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "\n//Header for RTC Object: " + o.m_strName + "\n";
        s += "#include \"rtc.h\"\n\n";
    }
    void SetupBlock(GenContext &ctx, const CCodeObject &o, std::string &s) const override
    {
        s += "\n    BindRtcToPort(&" + o.m_strText[0] + ");  //Select I2C Bus for RTC\n";
        s += "    GetRtcSetSystemTime(); //Get time from RTC and apply to system\n";
        if (!o.m_bFlag[0])
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
};

} // namespace

const IKind &RtcKind()
{
    static const RtcKindImpl kind;
    return kind;
}

} // namespace kivo
