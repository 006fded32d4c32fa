#include "gitmerge.h"

#include <git2.h>

namespace kivo {

GitTextMerger::GitTextMerger() = default;

GitTextMerger::~GitTextMerger()
{
    if (m_started)
        git_libgit2_shutdown();
}

std::optional<MergeOutcome> GitTextMerger::Merge(const std::string &base, const std::string &ours,
                                                 const std::string &theirs)
{
    if (!m_started) {
        git_libgit2_init();
        m_started = true;
    }
    auto input = [](const std::string &text) {
        git_merge_file_input in = GIT_MERGE_FILE_INPUT_INIT;
        in.ptr = text.data();
        in.size = text.size();
        return in;
    };
    git_merge_file_input b = input(base), o = input(ours), t = input(theirs);
    git_merge_file_options options = GIT_MERGE_FILE_OPTIONS_INIT;
    git_merge_file_result result{};
    if (git_merge_file(&result, &b, &o, &t, &options) != 0)
        return std::nullopt;
    MergeOutcome outcome;
    outcome.clean = result.automergeable != 0;
    if (result.ptr)
        outcome.text.assign(result.ptr, result.len);
    git_merge_file_result_free(&result);
    return outcome;
}

} // namespace kivo
