// Runs a fuzz target where libFuzzer is not at hand (GCC has none): every
// seed file, then a fixed number of mutations of them drawn from a fixed
// seed, so that each run tries the same inputs and a finding repeats.
//
//   PROGRAM [--mutations N] [--max-len BYTES] [--keep FILE] FILE|FOLDER...
//
// A folder stands for the files in it and below it. Exits 0 when every input
// ran; a finding stops the program (a crash, a sanitizer's report, abort),
// and --keep's FILE then holds the input that found it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

// splitmix64: small, and the same sequence on every host.
class Random
{
public:
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0..n-1; n > 0.
    std::size_t below(std::size_t n) { return std::size_t(next() % n); }

private:
    std::uint64_t m_state = 0x6B69766F; // fixed: the runs repeat
};

// Values at the edges of what fields and instructions hold.
constexpr std::uint32_t kEdges[] = {0, 1, 0x7F, 0x80, 0xFE, 0xFF, 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};

// One change to `b`, with `other` for splices; never longer than `maxLen`.
void mutate(Bytes &b, const Bytes &other, std::size_t maxLen, Random &rnd)
{
    const bool empty = b.empty();
    switch (rnd.below(9)) {
    case 0: // flip a bit
        if (!empty)
            b[rnd.below(b.size())] ^= std::uint8_t(1u << rnd.below(8));
        break;
    case 1: // any byte
        if (!empty)
            b[rnd.below(b.size())] = std::uint8_t(rnd.next());
        break;
    case 2: { // an edge value as a little-endian long, often aligned (an instruction, a count)
        if (b.size() < 4)
            break;
        std::size_t at = rnd.below(b.size() - 3);
        if (rnd.below(2))
            at &= ~std::size_t(3);
        const std::uint32_t v = kEdges[rnd.below(std::size(kEdges))];
        for (int i = 0; i < 4; ++i)
            b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
        break;
    }
    case 3: { // a random aligned long
        if (b.size() < 4)
            break;
        const std::size_t at = rnd.below(b.size() / 4) * 4;
        const std::uint32_t v = std::uint32_t(rnd.next());
        for (int i = 0; i < 4; ++i)
            b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
        break;
    }
    case 4: { // insert a few bytes
        const std::size_t n = 1 + rnd.below(16);
        Bytes add(n);
        for (auto &x : add)
            x = std::uint8_t(rnd.next());
        b.insert(b.begin() + std::ptrdiff_t(rnd.below(b.size() + 1)), add.begin(), add.end());
        break;
    }
    case 5: { // erase a few bytes
        if (empty)
            break;
        const std::size_t at = rnd.below(b.size());
        const std::size_t n = std::min(b.size() - at, 1 + rnd.below(16));
        b.erase(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + n));
        break;
    }
    case 6: { // copy a piece over another place
        if (b.size() < 2)
            break;
        const std::size_t from = rnd.below(b.size()), to = rnd.below(b.size());
        const std::size_t n = std::min({b.size() - from, b.size() - to, 1 + rnd.below(64)});
        std::copy_n(Bytes(b.begin() + std::ptrdiff_t(from), b.end()).begin(), n, b.begin() + std::ptrdiff_t(to));
        break;
    }
    case 7: // cut the end off
        if (!empty)
            b.resize(rnd.below(b.size()));
        break;
    default: { // this one's start, another's end
        const std::size_t keep = rnd.below(b.size() + 1);
        const std::size_t from = rnd.below(other.size() + 1);
        b.resize(keep);
        b.insert(b.end(), other.begin() + std::ptrdiff_t(from), other.end());
        break;
    }
    }
    if (b.size() > maxLen)
        b.resize(maxLen);
}

// The input about to run, where --keep asked for it.
void keepInput(const std::string &path, const Bytes &b)
{
    if (!path.empty())
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
}

bool readFile(const std::filesystem::path &path, Bytes &bytes)
{
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int usage()
{
    std::fprintf(stderr, "usage: fuzz-target [--mutations N] [--max-len BYTES] [--keep FILE] FILE|FOLDER...\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::size_t mutations = 1000, maxLen = 1 << 20;
    std::string keep;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--mutations" || a == "--max-len") && i + 1 < argc) {
            (a == "--mutations" ? mutations : maxLen) = std::size_t(std::strtoull(argv[++i], nullptr, 10));
        } else if (a == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        } else if (a.rfind("--", 0) == 0) {
            return usage();
        } else if (std::filesystem::is_directory(a)) {
            for (const auto &e : std::filesystem::recursive_directory_iterator(a))
                if (e.is_regular_file())
                    files.push_back(e.path());
        } else {
            files.push_back(a);
        }
    }
    if (files.empty())
        return usage();
    // The same order whatever order the folders list their files in.
    std::sort(files.begin(), files.end());

    std::vector<Bytes> seeds;
    for (const auto &f : files) {
        Bytes b;
        if (!readFile(f, b)) {
            std::fprintf(stderr, "%s cannot be read\n", f.c_str());
            return 1;
        }
        keepInput(keep, b);
        LLVMFuzzerTestOneInput(b.data(), b.size());
        seeds.push_back(std::move(b));
    }
    Random rnd;
    for (std::size_t i = 0; i < mutations; ++i) {
        Bytes b = seeds[rnd.below(seeds.size())];
        const Bytes &other = seeds[rnd.below(seeds.size())];
        for (std::size_t n = 1 + rnd.below(4); n > 0; --n)
            mutate(b, other, maxLen, rnd);
        keepInput(keep, b);
        LLVMFuzzerTestOneInput(b.data(), b.size());
    }
    std::printf("%zu seeds and %zu mutations ran with no finding\n", seeds.size(), mutations);
    return 0;
}
