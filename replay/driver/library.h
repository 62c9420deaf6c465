// The library's exports as a table of function pointers (`Exports`), which
// is all the replay loop calls, and the replay tool's way of filling it: the
// shared library loaded at run time from its file, every export found by name
// from the one export list (`Library`). Nothing of the library runs before it
// is loaded, so the tool decides first where the library's trace goes. The
// Python module fills the same table from the core it links in instead
// (python/src/library_host.h).
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "include/zarntrade.h"

namespace zt::replay {

// One function pointer per export, named as the export.
struct Exports {
#define ZT_EXPORT(kind, result, name, params) result(ZT_CALL* name) params = nullptr;
#include "include/zarntrade_exports.inc"
#undef ZT_EXPORT
};

// The library file cannot be loaded or lacks an export.
class LibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Library {
public:
    // Loads the file and finds every export; throws LibraryError.
    explicit Library(const std::filesystem::path& file);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const Exports& exports() const { return exports_; }
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
    void* handle_ = nullptr;
    Exports exports_;
};

// Where the tool finds the library when it is not told: the build tree's
// place relative to the program, else beside the program.
std::filesystem::path DefaultLibraryFile();

}  // namespace zt::replay
