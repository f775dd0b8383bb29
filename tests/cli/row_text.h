#pragma once

#include <string>

namespace vordex::cli::testing_support {

/// A row text as VORDEX_ListText writes it, spelled readably: every '^' in
/// `text` becomes the 0x1E byte that ends a value.
inline std::string RowText(std::string text) {
    for (char& c : text) {
        if (c == '^') c = '\x1E';
    }
    return text;
}

}  // namespace vordex::cli::testing_support
