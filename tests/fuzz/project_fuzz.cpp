// Fuzz target: the bytes as a project file, opened as the front ends open one.
// A file that opens goes on as "Generate Code" would take it: the checks,
// their fixes, the generation (forced past errors) into a folder held in
// memory; then it is saved and opened again, and must come back as the same
// project.
#include "check/check.h"
#include "generator/generator.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "model/undo.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/resources.h"
#include "platform/services.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace kivo;

// Files and folders in memory, so that no input writes to the disk.
class MemoryFileSystem : public IFileSystem
{
public:
    std::unique_ptr<IOutFile> Create(const std::string &path, FileCause &cause) override
    {
        cause = FileCause::None;
        m_files[path].clear();
        return std::make_unique<File>(m_files[path]);
    }
    bool Rename(const std::string &from, const std::string &to) override
    {
        auto it = m_files.find(from);
        if (it == m_files.end() || Exists(to))
            return false;
        m_files[to] = std::move(it->second);
        m_files.erase(from);
        return true;
    }
    std::optional<std::vector<uint8_t>> ReadAll(const std::string &path, FileCause &cause) override
    {
        auto it = m_files.find(path);
        if (it == m_files.end()) {
            cause = FileCause::FileNotFound;
            return std::nullopt;
        }
        cause = FileCause::None;
        return it->second;
    }
    FileCause ReplaceAtomically(const std::string &path, const std::vector<uint8_t> &bytes) override
    {
        m_files[path] = bytes;
        return FileCause::None;
    }
    bool Exists(const std::string &path) override { return m_files.count(path) || m_folders.count(path); }
    bool CreateFolder(const std::string &path) override
    {
        m_folders.insert(path);
        return true;
    }
    bool Remove(const std::string &path) override { return m_files.erase(path) > 0; }

private:
    class File : public IOutFile
    {
    public:
        explicit File(std::vector<uint8_t> &bytes) : m_bytes(bytes) {}
        FileCause Write(const void *data, std::size_t size) override
        {
            const auto *p = static_cast<const uint8_t *>(data);
            m_bytes.insert(m_bytes.end(), p, p + size);
            return FileCause::None;
        }
        FileCause Close() override { return FileCause::None; }

    private:
        std::vector<uint8_t> &m_bytes;
    };
    std::map<std::string, std::vector<uint8_t>> m_files;
    std::set<std::string> m_folders;
};

struct MemoryServices {
    RecordingMessages messages;
    MemoryProfile profile;
    MemoryFileSystem files;
    FixedClock clock{LocalDateTime{2026, 12, 9, 3, 13, 45, 30}};
    RecordingProcessRunner processes;
    EmbeddedResources resources;
    Services services{messages, profile, files, clock, processes, resources};
};

constexpr const char *kPath = "/fuzz/Fuzz.kivo";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    MemoryServices host;
    host.files.ReplaceAtomically(kPath, std::vector<uint8_t>(data, data + size));
    CKivoDoc doc;
    if (!OpenProject(kPath, doc, host.services))
        return 0;

    for (const Finding &f : CheckProject(doc))
        ApplyFix(doc, f);
    GenerateCheckedProject(doc, host.services, [](const std::vector<Finding> &) { return true; });

    // What is saved opens again as the same project.
    if (!SaveProject(doc, kPath, host.services)) {
        std::fprintf(stderr, "the project cannot be saved to memory\n");
        std::abort();
    }
    CKivoDoc again;
    if (!OpenProject(kPath, again, host.services)) {
        std::fprintf(stderr, "the saved project does not open\n");
        std::abort();
    }
    if (!(TakeSnapshot(again) == TakeSnapshot(doc))) {
        std::fprintf(stderr, "the saved project opens as another project\n");
        std::abort();
    }
    return 0;
}
