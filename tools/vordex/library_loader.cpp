#include "library_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <type_traits>

#include "cli_errors.h"

namespace vordex::cli {
namespace {

constexpr const char* kLibraryName = "libvordex.so.2";

// The library that belongs with this program, found from the program's own
// place: where `cmake --install` and the packages put it (the library
// directory beside the program's), else where the build tree made it. So an
// installed vordex never loads a build tree's library, and needs no run path.
std::string DefaultLibraryPath() {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string directory(self, static_cast<size_t>(length));
        directory.erase(directory.rfind('/') + 1);
        for (const char* relative : {VORDEX_LIBRARY_FROM_BINDIR, VORDEX_LIBRARY_FROM_BUILD_DIR}) {
            const std::string candidate = directory + relative;
            if (access(candidate.c_str(), F_OK) == 0) return candidate;
        }
    }
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
