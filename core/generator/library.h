#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace kivo {

class CCodeObject;

struct LibraryFile {
    int resourceId;
    const char *fileName;
    // The hub RAM a driver's code takes; data files (.bmp, .raw, .mod) are
    // embedded whole and count their own size instead.
    std::size_t codeBytes = 2048;
};

// The library files an object needs, in the order they are written.
std::vector<LibraryFile> LibraryFilesFor(const CCodeObject &object);
// Every library file the system carries (ids 340..364), kind by kind.
const std::vector<LibraryFile> &AllLibraryFiles();

} // namespace kivo
