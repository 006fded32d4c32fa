#include "generator/skeleton.h"

#include "kinds/kind.h"
#include "model/kivodoc.h"

#include <set>

namespace kivo {

std::string PlatformHeaderText(const CKivoDoc &d, const IClock &clock, bool &soundFlag)
{
    std::string s;
    s.reserve(1024 + 512 * d.m_objList.size());
    s += "//Kivo Generated Platform.h file\n";
    s += "#ifndef _PLATFORM_H_\n";
    s += "#define _PLATFORM_H_\n\n";
    s += "enum { _clkfreq = " + d.m_strClockFreq + "};\n\n";
    if (d.m_bSetBaud) {
        s += "// override baud rate for serial, requires use of \"_setbaud(_BAUD);\" in code\n";
        s += "#ifndef _BAUD\n";
        s += "#define _BAUD " + d.m_strBaud + " \n";
        s += "#endif\n\n";
    }
    s += "#include \"propeller2.h\"\n";
    s += "#include \"stdio.h\"\n";
    s += "#include \"stdlib.h\"\n";
    s += "#include \"stdint.h\"\n";
    s += "#include \"stdbool.h\"\n\n";
    if (d.m_bSetHeapSize)
        s += "enum { heapsize = " + d.m_strHeapSize + " };  //override the default heapsize to give more\n\n";
    GenContext ctx{d, clock};
    soundFlag = false;
    for (auto &o : d.m_objList) {
        if (o->m_nKind == kSimpleSound)
            soundFlag = true;
        if (auto *k = FindKind(o->m_nKind))
            k->PlatformBlock(ctx, *o, s);
    }
    s += "\n#endif /*_PLATFORM_H_*/\n";
    s += "/* Nothing beyond this*/\n\n";
    return s;
}

std::string MainFileText(const CKivoDoc &d, const IClock &clock, bool soundFlag)
{
    std::string s;
    s.reserve(2048 + 2048 * d.m_objList.size());
    GenContext ctx{d, clock};
    s += "//Kivo Generated C main file\n\n\n";
    s += "#include \"Platform.h\" \n\n";
    for (auto &o : d.m_objList)
        if (auto *k = FindKind(o->m_nKind))
            k->DeclarationBlock(ctx, *o, s);
    s += "int nLoop;\n\n";
    s += "void setup()\n";
    s += "{//SETUP\n";
    s += "    //Do Setup \n\n";
    if (d.m_bSetBaud) {
        s += "    //Set custom Baud for stdio\n";
        s += "    _setbaud(_BAUD);\n\n";
    }
    if (d.m_bUsePlan9) {
        s += "    //Mount the Plan9 file system for access to host's files\n";
        s += "    //Files on the host PC may be accessed via names like \"/host/foo.txt\"\n";
        s += "    mount(\"/host\", _vfs_open_host());\n\n";
    }
    if (d.m_bMountSd) {
        s += "    //files on the SD card may be accessed by names like \"/sd/root.txt\"\n";
        s += "    mount(\"/sd\", _vfs_open_sdcardx(" + d.m_strSdClkPin + ", " + d.m_strSdCsPin + ", " +
             d.m_strSdMosiPin + ", " + d.m_strSdMisoPin + "));\n\n";
    }
    for (auto &o : d.m_objList)
        if (auto *k = FindKind(o->m_nKind))
            k->SetupBlock(ctx, *o, s);
    s += "}\n\n";
    s += "void loop()\n";
    s += "{//LOOP\n";
    for (auto &o : d.m_objList)
        if (auto *k = FindKind(o->m_nKind))
            k->LoopBlock(ctx, *o, s);
    s += "\n    //End Loop \n";
    s += "    printf(\"Loop #%d\\n\",nLoop++); \n";
    s += "}\n\n";
    std::set<int32_t> supportWritten;
    for (auto &o : d.m_objList) {
        auto *k = FindKind(o->m_nKind);
        if (k && !supportWritten.count(o->m_nKind) && k->WantsSupportFunction(*o)) {
            supportWritten.insert(o->m_nKind);
            k->SupportFunction(ctx, *o, s);
        }
    }
    s += "void main()\n";
    s += "{//MAIN\n";
    s += "    setup();\n";
    s += "    printf(\"Setup complete.\\n\");\n\n";
    s += "    for (;;)\n";
    s += "    {\n";
    s += "        loop();\n";
    if (soundFlag) {
        s += "        for (int i = 0; i < 100; i++)\n";
        s += "        {//inter-loop delay of 1 second\n";
        s += "            _waitms(10);\n";
        s += "            //Need to call pollTick at least 50 times per second\n";
        s += "            sound.pollTick();\n";
        s += "        }\n";
    } else {
        s += "        sleep(1); //wait a second\n";
    }
    s += "    }\n";
    s += "}\n\n";
    return s;
}

} // namespace kivo
