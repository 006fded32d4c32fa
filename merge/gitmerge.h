#pragma once
#include "platform/merge.h"

namespace kivo {

// The three-way file merge of libgit2. The library starts on the first merge:
// its start-up reads the system's whole certificate store, which every
// command and the application's first window would otherwise pay for.
class GitTextMerger : public ITextMerger
{
public:
    GitTextMerger();
    ~GitTextMerger() override;
    GitTextMerger(const GitTextMerger &) = delete;
    GitTextMerger &operator=(const GitTextMerger &) = delete;

    std::optional<MergeOutcome> Merge(const std::string &base, const std::string &ours,
                                      const std::string &theirs) override;
    // Whether libgit2 has been started.
    bool Started() const { return m_started; }

private:
    bool m_started = false;
};

} // namespace kivo
