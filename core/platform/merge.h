#pragma once
#include <optional>
#include <string>

namespace kivo {

struct MergeOutcome {
    bool clean = false; // false when an edit and a change overlap
    std::string text;   // the merged text (only meaningful when clean)
};

// A three-way merge of text files: the common base, our version (the user's
// file) and theirs (the new output).
class ITextMerger
{
public:
    virtual ~ITextMerger() = default;
    // std::nullopt when the merge itself failed.
    virtual std::optional<MergeOutcome> Merge(const std::string &base, const std::string &ours,
                                              const std::string &theirs) = 0;
};

} // namespace kivo
