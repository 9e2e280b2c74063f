#include "window_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>
#include <utility>

namespace chronvane {

namespace {

std::filesystem::path executableDirectory() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path{} : self.parent_path();
}

}  // namespace

Parsed<RunWindowFunction*> loadWindowModule(const std::string& installedDir) {
    const std::filesystem::path directory = executableDirectory();
    if (directory.empty()) {
        return {std::nullopt, "cannot find the program's own directory in /proc/self/exe"};
    }
    std::string error;
    for (const std::filesystem::path& candidate :
         {directory / windowModuleFile, (directory / installedDir / windowModuleFile)}) {
        const std::string path = candidate.lexically_normal().string();
        // RTLD_LOCAL keeps Qt's symbols out of the program's own lookups.
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = dlerror();
            error += (error.empty() ? "" : "; ");
            error += reason != nullptr ? reason : path + ": cannot be loaded";
            continue;
        }
        void* entry = dlsym(handle, runWindowSymbol);
        if (entry == nullptr) {
            error += (error.empty() ? "" : "; ") + path + ": has no " + runWindowSymbol;
            dlclose(handle);
            continue;
        }
        return {reinterpret_cast<RunWindowFunction*>(entry), {}};
    }
    return {std::nullopt, std::move(error)};
}

}  // namespace chronvane
