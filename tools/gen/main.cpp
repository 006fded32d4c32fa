// kivo-gen <folder>: writes the generated library data files into <folder>.
#include "gendata.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kivo-gen <output folder>\n");
        return 2;
    }
    for (const auto &f : kivo::gen::DataFiles()) {
        std::string path = std::string(argv[1]) + "/" + f.name;
        auto bytes = f.make();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "kivo-gen: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    }
    return 0;
}
