#include "command_output.h"

#include <cerrno>
#include <cstring>

#include "cli_errors.h"

namespace vordex::cli {
namespace {

/// After a failed write: a reader that has gone (EPIPE; SIGPIPE is ignored
/// while vordex runs) is no failure to report, anything else is.
[[noreturn]] void OutputFailed() {
    if (errno == EPIPE) throw OutputClosed();
    throw CommandFailure(std::string("cannot write the output: ") + std::strerror(errno));
}

}  // namespace

void Write(std::FILE* out, std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) OutputFailed();
}

void FlushOutput(std::FILE* out) {
    if (std::fflush(out) != 0) OutputFailed();
    // An error of an earlier write whose errno is gone.
    if (std::ferror(out)) throw CommandFailure("cannot write the output");
}

void Note(const std::string& text) { std::fprintf(stderr, "vordex: %s\n", text.c_str()); }

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

}  // namespace vordex::cli
