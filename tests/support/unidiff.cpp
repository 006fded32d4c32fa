#include "unidiff.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kivo::test {

namespace {

// The lines with their newlines, so that a last line without one differs
// from the same line with one.
std::vector<std::string> SplitLines(const std::string &s)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < s.size()) {
        auto nl = s.find('\n', from);
        std::size_t end = nl == std::string::npos ? s.size() : nl + 1;
        lines.push_back(s.substr(from, end - from));
        from = end;
    }
    return lines;
}

enum class Op { Same, Removed, Added };

struct Edit {
    Op op;
    std::size_t a; // line in expected (Same, Removed)
    std::size_t b; // line in actual (Same, Added)
};

// The edit script by longest common subsequence, after the common head and
// tail are set aside; a middle too large for the table is shown as replaced.
std::vector<Edit> EditScript(const std::vector<std::string> &a, const std::vector<std::string> &b)
{
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const std::size_t n = a.size() - head - tail, m = b.size() - head - tail;

    std::vector<Edit> script;
    for (std::size_t i = 0; i < head; ++i)
        script.push_back({Op::Same, i, i});
    if (n * m <= 16u * 1024 * 1024) {
        // lcs[i][j]: the common length of a[head+i..] and b[head+j..].
        std::vector<uint32_t> lcs((n + 1) * (m + 1), 0);
        auto at = [&](std::size_t i, std::size_t j) -> uint32_t & { return lcs[i * (m + 1) + j]; };
        for (std::size_t i = n; i-- > 0;)
            for (std::size_t j = m; j-- > 0;)
                at(i, j) = a[head + i] == b[head + j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
        std::size_t i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && a[head + i] == b[head + j]) {
                script.push_back({Op::Same, head + i++, head + j++});
            } else if (j < m && (i == n || at(i, j + 1) > at(i + 1, j))) {
                script.push_back({Op::Added, head + i, head + j++});
            } else {
                script.push_back({Op::Removed, head + i++, head + j});
            }
        }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            script.push_back({Op::Removed, head + i, head + m});
        for (std::size_t j = 0; j < m; ++j)
            script.push_back({Op::Added, head + n, head + j});
    }
    for (std::size_t k = 0; k < tail; ++k)
        script.push_back({Op::Same, head + n + k, head + m + k});
    return script;
}

std::string Shown(std::string line)
{
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::string Range(std::size_t start, std::size_t count)
{
    // An empty range names the line before it, as diff does.
    std::string s = std::to_string(count ? start + 1 : start);
    if (count != 1)
        s += "," + std::to_string(count);
    return s;
}

} // namespace

std::string UnifiedDiff(const std::string &expected, const std::string &actual, const std::string &expectedLabel,
                        const std::string &actualLabel)
{
    if (expected == actual)
        return "";
    const std::vector<std::string> a = SplitLines(expected), b = SplitLines(actual);
    const std::vector<Edit> script = EditScript(a, b);
    const std::size_t kContext = 3;

    std::string out = "--- " + expectedLabel + "\n+++ " + actualLabel + "\n";
    if (std::count(expected.begin(), expected.end(), '\r') != std::count(actual.begin(), actual.end(), '\r'))
        out += "(the line endings differ; a CR at the end of a line is not shown)\n";
    std::size_t k = 0;
    while (k < script.size()) {
        // The next change, with its context; changes closer than twice the
        // context share one hunk.
        while (k < script.size() && script[k].op == Op::Same)
            ++k;
        if (k == script.size())
            break;
        std::size_t first = k >= kContext ? k - kContext : 0;
        std::size_t last = k;
        for (std::size_t j = k; j < script.size(); ++j) {
            if (script[j].op != Op::Same)
                last = j;
            else if (j - last > 2 * kContext)
                break;
        }
        std::size_t end = std::min(script.size(), last + 1 + kContext);
        std::size_t aCount = 0, bCount = 0;
        for (std::size_t j = first; j < end; ++j) {
            aCount += script[j].op != Op::Added;
            bCount += script[j].op != Op::Removed;
        }
        out += "@@ -" + Range(script[first].a, aCount) + " +" + Range(script[first].b, bCount) + " @@\n";
        for (std::size_t j = first; j < end; ++j) {
            const Edit &e = script[j];
            const std::string &line = e.op == Op::Added ? b[e.b] : a[e.a];
            out += (e.op == Op::Same ? " " : e.op == Op::Removed ? "-" : "+") + Shown(line) + "\n";
            if (line.back() != '\n')
                out += "\\ No newline at end of file\n";
        }
        k = end;
    }
    return out;
}

} // namespace kivo::test
