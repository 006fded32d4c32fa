// kivo-gen-usb <source> <folder>: writes the two USB driver files into <folder>.
#include "usbdriver.h"

#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kivo-gen-usb <source .spin2> <output folder>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kivo-gen-usb: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    for (const auto &f : kivo::gen::UsbDriverFiles()) {
        std::string error;
        std::string text = kivo::gen::UsbDriverText(ss.str(), f, &error);
        if (text.empty()) {
            std::fprintf(stderr, "kivo-gen-usb: %s: %s\n", argv[1], error.c_str());
            return 1;
        }
        auto bytes = kivo::gen::EncodeUtf16Le(text);
        std::string path = std::string(argv[2]) + "/" + f.name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "kivo-gen-usb: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    }
    return 0;
}
