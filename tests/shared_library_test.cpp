// The shared library as a host loads it: every export found by name, the
// load and unload lines, and a short registry and bar scenario through the
// loaded code.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "include/zarntrade.h"

namespace {

std::vector<std::string> ExportList() {
    std::ifstream in(ZT_EXPORT_LIST);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> names;
    std::stringstream ss(all);
    for (std::string name; std::getline(ss, name, ';');)
        if (!name.empty()) names.push_back(name);
    return names;
}

TEST(SharedLibrary, LoadsFindsEveryExportAndUnloads) {
    const auto names = ExportList();
    ASSERT_GE(names.size(), 11u);

    ::testing::internal::CaptureStderr();
    void* lib = dlopen(ZT_SHARED_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const auto& name : names) EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
    EXPECT_EQ(dlsym(lib, "_ZN2zt9FindStateEi"), nullptr);  // internals stay hidden

    auto create = reinterpret_cast<decltype(&E_CREATESTATE2)>(dlsym(lib, "E_CREATESTATE2"));
    auto bars = reinterpret_cast<decltype(&E_BARVALUES)>(dlsym(lib, "E_BARVALUES"));
    auto get = reinterpret_cast<decltype(&E_GETRETURN)>(dlsym(lib, "E_GETRETURN"));
    auto destroy = reinterpret_cast<decltype(&E_DESTROYSTATE)>(dlsym(lib, "E_DESTROYSTATE"));
    const std::int32_t id = create(1);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(bars(id, 1, 1230107, 930, 1, 2, 0.5, 1.5, 10), 1);
    EXPECT_EQ(get(id, 0), 0.0);
    destroy(id);
    EXPECT_EQ(bars(id, 2, 1230107, 931, 1, 2, 0.5, 1.5, 10), 0);
    dlclose(lib);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "DLL_PROCESS_ATTACH\nCreating state\nCreate State: 1\nDestroy State: 1\n"
              "FindState failed for id 1\nDLL_PROCESS_DETACH\n");
}

}  // namespace
