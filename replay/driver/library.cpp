#include "replay/driver/library.h"

#include <system_error>

#include "replay/driver/os.h"

namespace zt::replay {
namespace fs = std::filesystem;

Library::Library(const fs::path& file) : file_(file) {
    std::string problem;
    handle_ = os::LoadLibraryFile(file, problem);
    if (handle_ == nullptr) throw LibraryError("cannot load the library " + file.string() + ": " + problem);
    std::string missing;
#define ZT_EXPORT(kind, result, name, params)                                                          \
    exports_.name = reinterpret_cast<decltype(exports_.name)>(os::FindExport(handle_, #name));         \
    if (exports_.name == nullptr) missing += missing.empty() ? #name : ", " #name;
#include "include/zarntrade_exports.inc"
#undef ZT_EXPORT
    if (!missing.empty()) {
        os::UnloadLibraryFile(handle_);
        throw LibraryError("the library " + file.string() + " does not export " + missing);
    }
}

Library::~Library() { os::UnloadLibraryFile(handle_); }

fs::path DefaultLibraryFile() {
    const fs::path folder = os::ProgramPath().parent_path();
    const fs::path inBuildTree = folder / ZT_LIBRARY_FROM_PROGRAM;
    std::error_code ec;
    if (fs::exists(inBuildTree, ec)) return inBuildTree.lexically_normal();
#ifdef ZT_LIBRARY_INSTALLED
    const fs::path installed = folder / ZT_LIBRARY_INSTALLED;
    if (fs::exists(installed, ec)) return installed.lexically_normal();
#endif
    return folder / fs::path(ZT_LIBRARY_FROM_PROGRAM).filename();
}

}  // namespace zt::replay
