#pragma once
#include <vector>

namespace kivo {

class CCodeObject;

struct LibraryFile {
    int resourceId;
    const char *fileName;
};

// The library files an object needs, in the order they are written.
std::vector<LibraryFile> LibraryFilesFor(const CCodeObject &object);
// Every library file the system carries (ids 340..364).
const std::vector<LibraryFile> &AllLibraryFiles();

} // namespace kivo
