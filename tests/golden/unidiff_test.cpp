// The diff the golden failures print: diff -u's hunks and markers.
#include "unidiff.h"

#include <gtest/gtest.h>

namespace kivo::test {
namespace {

TEST(UnifiedDiff, HunksAsDiffPrintsThem)
{
    struct Case {
        const char *what;
        std::string a, b, diff;
    };
    const std::string ten = "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n";
    const Case cases[] = {
        {"equal", ten, ten, ""},
        {"one line changed, context cut at three", ten, "1\n2\n3\n4\n5\nsix\n7\n8\n9\n10\n",
         "@@ -3,7 +3,7 @@\n 3\n 4\n 5\n-6\n+six\n 7\n 8\n 9\n"},
        {"lines added at the start", "a\n", "x\ny\na\n", "@@ -1 +1,3 @@\n+x\n+y\n a\n"},
        {"into an empty file", "", "a\n", "@@ -0,0 +1 @@\n+a\n"},
        {"changes far apart make two hunks", ten, "one\n2\n3\n4\n5\n6\n7\n8\n9\nten\n",
         "@@ -1,4 +1,4 @@\n-1\n+one\n 2\n 3\n 4\n@@ -7,4 +7,4 @@\n 7\n 8\n 9\n-10\n+ten\n"},
        {"changes close together share one", ten, "1\n2\nthree\n4\n5\n6\n7\n8\nnine\n10\n",
         "@@ -1,10 +1,10 @@\n 1\n 2\n-3\n+three\n 4\n 5\n 6\n 7\n 8\n-9\n+nine\n 10\n"},
        {"missing last newline", "a\nb\n", "a\nb", "@@ -1,2 +1,2 @@\n a\n-b\n+b\n\\ No newline at end of file\n"},
        {"line endings", "a\r\nb\r\n", "a\r\nb\n",
         "(the line endings differ; a CR at the end of a line is not shown)\n@@ -1,2 +1,2 @@\n a\n-b\n+b\n"},
    };
    for (auto &c : cases) {
        std::string expected = c.diff.empty() ? "" : "--- old\n+++ new\n" + c.diff;
        EXPECT_EQ(UnifiedDiff(c.a, c.b, "old", "new"), expected) << c.what;
    }
}

} // namespace
} // namespace kivo::test
