#pragma once
#include "platform/merge.h"

namespace kivo {

// The three-way file merge of libgit2.
class GitTextMerger : public ITextMerger
{
public:
    GitTextMerger();
    ~GitTextMerger() override;
    GitTextMerger(const GitTextMerger &) = delete;
    GitTextMerger &operator=(const GitTextMerger &) = delete;

    std::optional<MergeOutcome> Merge(const std::string &base, const std::string &ours,
                                      const std::string &theirs) override;
};

} // namespace kivo
