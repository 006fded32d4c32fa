#include "gitmerge.h"

#include <dlfcn.h>
#include <git2.h>

namespace kivo {

// The few entry points a file merge needs, looked up in the opened library.
struct GitTextMerger::Library {
    void *handle = nullptr;
    decltype(&git_libgit2_init) init = nullptr;
    decltype(&git_libgit2_shutdown) shutdown = nullptr;
    decltype(&git_merge_file) mergeFile = nullptr;
    decltype(&git_merge_file_result_free) resultFree = nullptr;

    static std::unique_ptr<Library> Open()
    {
        void *handle = dlopen(KIVO_LIBGIT2_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return nullptr;
        auto lib = std::make_unique<Library>();
        lib->handle = handle;
        lib->init = reinterpret_cast<decltype(init)>(dlsym(handle, "git_libgit2_init"));
        lib->shutdown = reinterpret_cast<decltype(shutdown)>(dlsym(handle, "git_libgit2_shutdown"));
        lib->mergeFile = reinterpret_cast<decltype(mergeFile)>(dlsym(handle, "git_merge_file"));
        lib->resultFree = reinterpret_cast<decltype(resultFree)>(dlsym(handle, "git_merge_file_result_free"));
        if (!lib->init || !lib->shutdown || !lib->mergeFile || !lib->resultFree || lib->init() < 0) {
            dlclose(handle);
            return nullptr;
        }
        return lib;
    }
    ~Library()
    {
        shutdown();
        // Left loaded: libgit2's threads and atexit handlers may outlive
        // the shutdown.
    }
};

GitTextMerger::GitTextMerger() = default;
GitTextMerger::~GitTextMerger() = default;

std::optional<MergeOutcome> GitTextMerger::Merge(const std::string &base, const std::string &ours,
                                                 const std::string &theirs)
{
    if (!m_lib && !m_failed) {
        m_lib = Library::Open();
        m_failed = !m_lib;
    }
    if (!m_lib)
        return std::nullopt;
    auto input = [](const std::string &text) {
        git_merge_file_input in = GIT_MERGE_FILE_INPUT_INIT;
        in.ptr = text.data();
        in.size = text.size();
        return in;
    };
    git_merge_file_input b = input(base), o = input(ours), t = input(theirs);
    git_merge_file_options options = GIT_MERGE_FILE_OPTIONS_INIT;
    git_merge_file_result result{};
    if (m_lib->mergeFile(&result, &b, &o, &t, &options) != 0)
        return std::nullopt;
    MergeOutcome outcome;
    outcome.clean = result.automergeable != 0;
    if (result.ptr)
        outcome.text.assign(result.ptr, result.len);
    m_lib->resultFree(&result);
    return outcome;
}

} // namespace kivo
