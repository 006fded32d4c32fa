#pragma once
#include "platform/merge.h"

#include <memory>

namespace kivo {

// The three-way file merge of libgit2. The library is opened and started on
// the first merge: most runs never merge, and loading it (with the TLS and
// SSH libraries it needs) and its start-up, which reads the system's whole
// certificate store, would otherwise come with every command and the
// application's first window.
class GitTextMerger : public ITextMerger
{
public:
    GitTextMerger();
    ~GitTextMerger() override;
    GitTextMerger(const GitTextMerger &) = delete;
    GitTextMerger &operator=(const GitTextMerger &) = delete;

    // std::nullopt too when libgit2 cannot be opened: the caller then keeps
    // the user's file and writes the new one beside it.
    std::optional<MergeOutcome> Merge(const std::string &base, const std::string &ours,
                                      const std::string &theirs) override;
    // Whether libgit2 has been started.
    bool Started() const { return m_lib != nullptr; }

private:
    struct Library;
    std::unique_ptr<Library> m_lib;
    bool m_failed = false; // opening it failed once; not tried again
};

} // namespace kivo
