#include "library_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <type_traits>

#include "cli_errors.h"

namespace vordex::cli {
namespace {

constexpr const char* kLibraryName = "libvordex.so.2";

std::string DefaultLibraryPath() {
#ifdef VORDEX_BUILD_TREE_LIBRARY
    if (access(VORDEX_BUILD_TREE_LIBRARY, F_OK) == 0) return VORDEX_BUILD_TREE_LIBRARY;
#endif
    return kLibraryName;
}

std::string LastLoaderError() {
    const char* error = dlerror();
    return error != nullptr ? error : "unknown error";
}

}  // namespace

LoadedLibrary::LoadedLibrary(const std::optional<std::string>& path) {
    const std::string chosen = path ? *path : DefaultLibraryPath();
    // RTLD_NOW: a library with unresolved dependencies fails here, not mid-command.
    handle_ = dlopen(chosen.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw CommandFailure("cannot load the VORDEX library: " + LastLoaderError());

    std::string missing;
    ForEachFunction(api_, [this, &missing](const char* name, auto& target) {
        void* symbol = dlsym(handle_, name);
        if (symbol == nullptr) {
            missing += (missing.empty() ? "" : ", ") + std::string(name);
        } else {
            target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(symbol);
        }
    });
    if (!missing.empty()) {
        dlclose(handle_);
        throw CommandFailure("'" + chosen + "' is not a usable VORDEX library: it lacks " + missing);
    }
}

LoadedLibrary::~LoadedLibrary() { dlclose(handle_); }

}  // namespace vordex::cli
