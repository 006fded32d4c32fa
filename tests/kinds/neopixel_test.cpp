#include "kinds/neopixel/slots.h"
#include "kinds_a_support.h"

using namespace kinds_a;

TEST(Neopixel, NewObjectDefaults)
{
    Project p;
    {
        OpenEditor e(p, kNeopixel);
        EXPECT_EQ(e->Title(), "RGB LED String");
        EXPECT_EQ(e->NameLabel(), "ObjectName:");
        EXPECT_EQ(e->Name(), "Neopixel1");
        EXPECT_EQ(e->Text("holdoff_us"), "500 us");
        EXPECT_EQ(e->Text("color"), "  FF3219");
        EXPECT_EQ(e->SliderRange("holdoff"), (std::pair<int, int>{1, 50}));
        EXPECT_EQ(e->SliderRange("red"), (std::pair<int, int>{0, 255}));
    }
    ASSERT_EQ(p.Add(kNeopixel), AddResult::Added);
    const CCodeObject &o = p.Object(0);
    EXPECT_EQ(o.m_strPin, "53");
    EXPECT_EQ(NeopixelSlots(o).Color(), "  FF3219");
    EXPECT_EQ(NeopixelSlots(o).HoldoffText(), "500 us");
    EXPECT_EQ(NeopixelSlots(o).LedCount(), "1");
    EXPECT_EQ((std::vector<int>{NeopixelSlots(o).Red(), NeopixelSlots(o).Green(), NeopixelSlots(o).Blue(),
                                NeopixelSlots(o).Type(), NeopixelSlots(o).Holdoff()}),
              (std::vector<int>{255, 50, 25, 0, 5}));
    EXPECT_FALSE(NeopixelSlots(o).Random());
    EXPECT_EQ(PinOf(p.doc, 53), (PinEntry{true, "Neopixel1", "Neopixel"}));
}

// Every slider movement rewrites both readouts from the current positions.
TEST(Neopixel, SliderReadouts)
{
    struct Row {
        int red, green, blue, holdoff;
        const char *color, *holdoffText, *define;
    };
    const Row rows[] = {
        {0, 255, 0, 5, "    FF00", "500 us", "#define NEOPIXEL_COLOR 0xFF0000\n"},
        {0, 0, 0, 1, "       0", "100 us", "#define NEOPIXEL_COLOR 0x000\n"},
        {255, 255, 255, 50, "  FFFFFF", "5000 us", "#define NEOPIXEL_COLOR 0xFFFFFF00\n"},
        {1, 2, 3, 49, "   10203", "4900 us", "#define NEOPIXEL_COLOR 0x1020300\n"},
    };
    for (auto &r : rows) {
        Project p;
        OpenEditor e(p, kNeopixel);
        e->UserSlide("red", r.red);
        e->UserSlide("green", r.green);
        e->UserSlide("blue", r.blue);
        e->UserSlide("holdoff", r.holdoff);
        EXPECT_EQ(e->Text("color"), r.color);
        EXPECT_EQ(e->Text("holdoff_us"), r.holdoffText);
        ASSERT_EQ(e->Ok(), OkResult::Accepted);
        EXPECT_NE(BlockOf(p.doc, e.object, Section::Platform).find(r.define), std::string::npos) << r.color;
    }
}

// An existing object shows its stored readouts, not ones rebuilt from the
// stored numbers, until a slider moves.
TEST(Neopixel, ExistingObjectKeepsStoredReadouts)
{
    Project p;
    ASSERT_EQ(p.Add(kNeopixel,
                    [](CEditorModel &e) {
                        e.UserSlide("red", 16);
                        e.UserChoose("type", 3);
                        e.UserSetFlag("random", true);
                        e.UserSetText("leds", "8");
                    }),
              AddResult::Added);
    CCodeObject o = p.Object(0);
    NeopixelSlots(o).Color() = "stored";
    NeopixelSlots(o).HoldoffText() = "999 us";
    OpenEditor e(p, kNeopixel, 1, &o);
    EXPECT_EQ(e->Text("color"), "stored");
    EXPECT_EQ(e->Text("holdoff_us"), "999 us");
    EXPECT_EQ(e->Int("red"), 16);
    EXPECT_EQ(e->Int("type"), 3);
    EXPECT_EQ(e->Text("leds"), "8");
    EXPECT_TRUE(e->Flag("random"));
    e->UserSlide("blue", 0);
    EXPECT_EQ(e->Text("color"), "  103200");
    EXPECT_EQ(e->Text("holdoff_us"), "500 us");
}

TEST(Neopixel, StartCallByLedType)
{
    const char *calls[] = {
        "    neopixel.start_2812b(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start pixel "
        "driver\n",
        "    neopixel.start_2811(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start pixel "
        "driver\n",
        "    neopixel.start_2812(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start pixel "
        "driver\n",
        "    neopixel.start_2813(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start pixel "
        "driver\n",
        // One element, split over two lines.
        ("    neopixel.start_6812x(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF, 24);            // start pixel "
         "driver\n"),
    };
    const std::string head = "\n    for (int i = 0; i < NEOPIXELS; i++)\n        pixbuf1[i] = NEOPIXEL_COLOR;\n";
    const std::string tail = "    printf(\"Neopixel Driver Started.\\n\");\n";
    Project p;
    CCodeObject o;
    o.m_nKind = kNeopixel;
    for (int type = 0; type < 5; ++type) {
        NeopixelSlots(o).Type() = type;
        EXPECT_EQ(BlockOf(p.doc, o, Section::Setup), head + calls[type] + tail) << type;
    }
    NeopixelSlots(o).Type() = 5;
    EXPECT_EQ(BlockOf(p.doc, o, Section::Setup), head + tail);
}

// Generation trims the colour text held by the object; a saved project keeps
// the trimmed text.
TEST(Neopixel, GenerationTrimsStoredColour)
{
    Project p;
    ASSERT_EQ(p.Add(kNeopixel), AddResult::Added);
    ASSERT_EQ(p.Add(kNeopixel, [](CEditorModel &e) { e.UserSetText("pin", "52"); }), AddResult::Added);
    p.Generate();
    EXPECT_EQ(NeopixelSlots(p.Object(0)).Color(), "FF3219");
    EXPECT_EQ(NeopixelSlots(p.Object(1)).Color(), "FF3219");
    // Two strings write the same fixed names twice.
    EXPECT_NE(p.MainFile().find("uint32_t pixbuf1[NEOPIXELS];\r\n//Neopixel driver"), std::string::npos);
}

TEST(Neopixel, PinsAfterAddEditRefusedEditAndDelete)
{
    Project p;
    ASSERT_EQ(p.Add(kNeopixel), AddResult::Added);
    ASSERT_TRUE(p.Edit(0, [](CEditorModel &e) { e.UserSetText("pin", "12 data"); }));
    EXPECT_EQ(PinOf(p.doc, 53), (PinEntry{false, "", ""}));
    EXPECT_EQ(PinOf(p.doc, 12), (PinEntry{true, "Neopixel1", "Neopixel"}));

    EXPECT_FALSE(p.Edit(0, [](CEditorModel &e) { e.UserSetText("pin", "63"); }));
    EXPECT_EQ(p.Said(), "Error: Pin #63 is already in use by Serial.\n");
    EXPECT_EQ(PinOf(p.doc, 12), (PinEntry{true, "Neopixel1", "Neopixel"}));
    EXPECT_TRUE(WarningLines(p.doc).empty()); // the Cancel put the object back

    ASSERT_TRUE(DeleteObject(p.doc, 0));
    EXPECT_EQ(PinOf(p.doc, 12), (PinEntry{false, "", ""}));
    EXPECT_EQ(PinOf(p.doc, 63), (PinEntry{true, "Serial", "RX"}));
}

TEST(Neopixel, Compiles)
{
    KINDS_A_REQUIRE_FLEXSPIN(flexspin);
    for (int type = 0; type < 5; ++type) {
        Project p;
        ASSERT_EQ(p.Add(kNeopixel,
                        [type](CEditorModel &e) {
                            e.UserChoose("type", type);
                            e.UserSetFlag("random", true);
                            e.UserSetText("leds", "12");
                        }),
                  AddResult::Added);
        ExpectCompiles(flexspin, p, "LED type " + std::to_string(type));
    }
}

TEST(Neopixel, CommandLine)
{
    Cli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "neopixel", "type=sk6812", "red=0", "holdoff=50", "leds=24", "random=on"}), 0)
        << cli.output;
    CKivoDoc doc;
    cli.Load(doc);
    ASSERT_EQ(doc.m_objList.size(), 1u);
    const CCodeObject &o = *doc.m_objList[0];
    EXPECT_EQ(NeopixelSlots(o).Type(), 4);
    EXPECT_EQ(NeopixelSlots(o).Color(), "    3219");
    EXPECT_EQ(NeopixelSlots(o).HoldoffText(), "5000 us");
    EXPECT_EQ(NeopixelSlots(o).LedCount(), "24");
    EXPECT_TRUE(NeopixelSlots(o).Random());

    const std::string before = cli.Bytes();
    EXPECT_EQ(cli({"edit", cli.File(), "@1", "red=256"}), 2);
    EXPECT_EQ(cli({"edit", cli.File(), "@1", "holdoff=0"}), 2);
    EXPECT_EQ(cli({"edit", cli.File(), "@1", "type=WS2815"}), 2);
    EXPECT_EQ(cli({"edit", cli.File(), "@1", "color=FF"}), 2);
    EXPECT_TRUE(cli.Bytes() == before);
}
