#pragma once

#include <optional>
#include <string>

#include "vordex_api.h"

namespace vordex::cli {

/// The VORDEX shared library, loaded with dlopen and unloaded when this object
/// goes away.
class LoadedLibrary {
public:
    /// Loads `path` (a name without a slash goes through the dynamic loader's
    /// search). Without a path: the library installed beside this program, or
    /// the one its build tree made, else libvordex.so.2 through the loader's
    /// search. Throws
    /// CommandFailure when loading fails or a function is missing.
    explicit LoadedLibrary(const std::optional<std::string>& path);
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    const VordexApi& Api() const { return api_; }

private:
    void* handle_ = nullptr;
    VordexApi api_;
};

}  // namespace vordex::cli
