#include "generator/library.h"

#include "kinds/kind.h"
#include "model/codeobject.h"

namespace kivo {

std::vector<LibraryFile> LibraryFilesFor(const CCodeObject &o)
{
    const IKind *kind = FindKind(o.m_nKind);
    return kind ? kind->LibraryFiles(o) : std::vector<LibraryFile>{};
}

const std::vector<LibraryFile> &AllLibraryFiles()
{
    static const std::vector<LibraryFile> all = [] {
        std::vector<LibraryFile> v;
        for (auto *kind : AllKinds()) {
            auto files = kind->AllLibraryFiles();
            v.insert(v.end(), files.begin(), files.end());
        }
        return v;
    }();
    return all;
}

} // namespace kivo
