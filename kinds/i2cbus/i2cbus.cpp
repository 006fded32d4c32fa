#include "kinds/i2cbus/slots.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/pinclash.h"
#include "objects/pinrules.h"

namespace kivo {

namespace {

const char *kDescription = "Adds an I2C bus driver and object and code to scan the bus for devices.  Does not use a "
                           "cog.  Uses Smart Pins for optional internal pull-up resistors.";

const std::vector<FieldSpec> &I2CFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "scl", .type = FieldType::Text, .label = "SCL Pin:", .hint = "0..63"},
        {.key = "sda", .type = FieldType::Text, .label = "SDA Pin:", .hint = "0..63"},
        {.key = "pullup",
         .type = FieldType::Choice,
         .label = "Internal Pullups",
         .group = "Internal Pullups",
         .options = {"None", "1.5 kOhm", "3.3 kOhm", "15 kOhm"}},
        {.key = "speed",
         .type = FieldType::Combo,
         .label = "Speed (kHz):",
         .options = {"100", "400", "1000"},
         .hint = "bus clock in kHz; other values are taken as typed"},
        {.key = "scan", .type = FieldType::Flag, .label = "Scan the I2C bus for devices and display result"},
    };
    return fields;
}

class CI2CScanner : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "I2C Bus Driver and Scanner Settings"; }
    std::string Description() const override { return kDescription; }
    const std::vector<FieldSpec> &Fields() const override { return I2CFields(); }

protected:
    void InitNew() override
    {
        m_text["scl"] = "56";
        m_text["sda"] = "57";
        m_int["pullup"] = 0;
        m_text["speed"] = "100";
        m_flag["scan"] = true;
    }
    void InitExisting() override
    {
        I2CBusSlots o(m_object);
        m_text["scl"] = o.SclPin();
        m_text["sda"] = o.SdaPin();
        m_int["pullup"] = o.PullUp();
        m_text["speed"] = o.Speed();
        m_flag["scan"] = o.Scan();
    }
    // The two pins need not be adjacent: each is checked on its own, SCL
    // first, before either is claimed.
    void PlacePins(PinPlacer &placer) override
    {
        PlacePinField(placer, "scl");
        PlacePinField(placer, "sda");
    }
    OkResult OnOk() override
    {
        m_object.m_nKind = kI2CBus;
        m_object.m_strName = Name();
        m_object.m_strPin = "0";
        I2CBusSlots slots(m_object);
        slots.SdaPin() = Text("sda");
        slots.SclPin() = Text("scl");
        slots.Speed() = Text("speed");
        slots.PullUp() = Int("pullup");
        slots.Scan() = Flag("scan");
        m_object.m_bValid = true;

        const std::string &name = m_object.m_strName;
        const int scl = TextToInt(slots.SclPin());
        if (scl < 0 || scl > 63) {
            ShowError(RangeMessage(scl, 63), "scl");
            m_object.m_bValid = false;
            return OkResult::StayOpen;
        }
        if (!IsPinFreeFor(m_doc, scl, name)) {
            ShowError(PinInUseMessage(scl, m_doc.m_strPinOwner[scl]), "scl");
            m_object.m_bValid = false;
            return OkResult::StayOpen;
        }
        const int sda = TextToInt(slots.SdaPin());
        if (sda < 0 || sda > 63) {
            ShowPlain(RangeMessage(sda, 63), "sda");
            m_object.m_bValid = false;
            return OkResult::StayOpen;
        }
        if (!IsPinFreeFor(m_doc, sda, name)) {
            ShowError(PinInUseMessage(sda, m_doc.m_strPinOwner[sda]), "sda");
            m_object.m_bValid = false;
            return OkResult::StayOpen;
        }
        ReleasePinsOf(m_doc, name);
        ReservePin(m_doc, scl, name, kI2cSclUsage);
        ReservePin(m_doc, sda, name, kI2cSdaUsage);
        return OkResult::Accepted;
    }
};

// The scanner; some pieces end without a line break, so the next one
// continues the line.
const char *const kScanPieces[] = {
    "\nvoid ScanI2CBus(void* p)\n",
    "{//I2C Bus Scanner\n",
    "\tzdi2c* pi2c = p;\n",
    "\t//I2C Scanner (adapted from P2 OBEX file zd_i2c_scanner.spin2 )\n",
    "\tint count = 0;\n",
    "\tint sda=pi2c->GetSdaPin();\n",
    "\tint scl=pi2c->GetSclPin();\n",
    "\tprintf(\"I2C Bus Scan SDA=%d, SCL=%d:\\n\", sda, scl);\n",
    "\tprintf(\"--dddd_aaa_0(8 - bit) format\\n\\n\");\n",
    "\tprintf(\"   00 02 04 06 08 0A 0C 0E\\n\");\n",
    "\tfor (int type = 0b0001; type <= 0b1110; type++)  // %0000 and %1111 not valid \n",
    "\t{\n",
    "\t   printf(\"%2X \", type << 4);\n",
    "\t   for (int addr = 0b000; addr <= 0b111; addr++)  // %0000 and %1111 not valid \n",
    "\t   {\n",
    "\t      int devid = (type << 4) | (addr << 1);\n",
    "\t      if (pi2c->present(devid))\n",
    "\t      {\n",
    "\t         printf(\"%2X \", devid);\n",
    "\t         count++;",
    "\t      }",
    "\t      else",
    "\t      {\n",
    "\t         printf(\".. \");\n",
    "\t      }",
    "\t      _waitms(1);",
    "\t   }\n",
    "\t   printf(\"\\n\");\n",
    "\t}\n",
    "\tprintf(\"Devices = % d\\n\\n\", count);\n\n",
    "}\n\n",
};

class I2CBusKindImpl : public EditorKind<CI2CScanner>
{
public:
    I2CBusKindImpl() : EditorKind(kI2CBus, "i2c") {}

    // One scan of the bus.
    double VerifySeconds(const CCodeObject &o) const override { return I2CBusSlots(o).Scan() ? 0.6 : 0.3; }

    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        I2CBusSlots slots(o);
        s += "\n//I2C Bus Pins and Settings for " + n + "\n";
        s += "#define " + n + "SCLPIN " + slots.SclPin() + "\n";
        s += "#define " + n + "SDAPIN " + slots.SdaPin() + "\n";
        s += "#define " + n + "SPEED " + slots.Speed() + "\n";
        s += "#define " + n + "PULLUP " + Format("%d \n\n", slots.PullUp());
    }
    void DeclarationBlock(GenContext &ctx, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        s += "//I2C driver from OBEX with minor modifications for " + n + "\n";
        if (ctx.Once("zdi2c typedef"))
            s += "typedef struct __using(\"zd_i2c_kqv2.spin2\") zdi2c;\n";
        s += "zdi2c " + n + "; //KQV:  Visual Studio will show an error here, but it's OK\n";
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        s += "\n    " + n + ".setup(" + n + "SCLPIN, " + n + "SDAPIN, " + n + "SPEED, " + n +
             "PULLUP); //setup(scl, sda, khz, pullup) \n";
        s += "    printf(\"I2C Driver started.\\n\");\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        if (!I2CBusSlots(o).Scan())
            return;
        const std::string &n = o.m_strName;
        s += "\n    //Scan the I2C Bus " + n + "\n";
        s += "    ScanI2CBus(&" + n + ");\n\n";
    }
    // Written at the first bus that scans.
    bool WantsSupportFunction(const CCodeObject &o) const override { return I2CBusSlots(o).Scan(); }
    void SupportFunction(GenContext &ctx, const CCodeObject &, std::string &s) const override
    {
        if (!ctx.Once("ScanI2CBus"))
            return;
        for (const char *piece : kScanPieces)
            s += piece;
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override
    {
        I2CBusSlots slots(o);
        return {TextToInt(slots.SclPin()), TextToInt(slots.SdaPin())};
    }

    void CheckPins(const CCodeObject &o, IObjectCheck &check) const override
    {
        I2CBusSlots slots(o);
        int scl = check.PinField("scl", "\"SCL Pin:\"", slots.SclPin());
        int sda = check.PinField("sda", "\"SDA Pin:\"", slots.SdaPin());
        if (scl >= 0 && scl == sda)
            check.Error("sda", Format("\"SCL Pin:\" and \"SDA Pin:\" are both pin %d: give the bus two pins.", scl),
                        {scl});
    }
    void CheckNumbers(const CCodeObject &o, IObjectCheck &check) const override
    {
        long long v;
        check.Whole("speed", "\"Speed (kHz):\"", I2CBusSlots(o).Speed(), 1, 1000, v, "the I2C driver's range");
    }
    std::vector<LibraryFile> LibraryFiles(const CCodeObject &) const override { return {kDriver}; }
    std::vector<LibraryFile> AllLibraryFiles() const override { return {kDriver}; }

private:
    static constexpr LibraryFile kDriver{346, "zd_i2c_kqv2.spin2", 2048};
};

} // namespace

const IKind &I2CBusKind()
{
    static const I2CBusKindImpl kind;
    return kind;
}

} // namespace kivo
