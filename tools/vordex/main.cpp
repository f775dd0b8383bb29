// vordex: the command-line host of the VORDEX library.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

#include "cli_errors.h"
#include "command_line.h"
#include "commands.h"
#include "library_loader.h"

namespace {

using namespace vordex::cli;

// The library reads these when it connects or shows a message, so they are
// set before it is loaded. The library takes an unknown VORDEX_DIALOG for
// unset; here it is a mistake to say.
void PrepareLibraryEnvironment(const Invocation& invocation) {
    if (invocation.connectString) setenv("VORDEX_CONNECT", invocation.connectString->c_str(), 1);
    const char* dialog = std::getenv("VORDEX_DIALOG");
    if (dialog == nullptr || *dialog == '\0') {
        setenv("VORDEX_DIALOG", "stderr", 1);
        return;
    }
    for (const char* known : {"tty", "stderr", "desktop", "none"}) {
        if (std::strcmp(dialog, known) == 0) return;
    }
    throw UsageError(std::string("VORDEX_DIALOG is '") + dialog + "': use tty, stderr, desktop or none");
}

void PrintVersions(const Invocation& invocation) {
    std::printf("vordex %s\n", VORDEX_CLI_VERSION);
    PrepareLibraryEnvironment(invocation);
    const LoadedLibrary library(invocation.libraryPath);
    std::printf("library version 0x%X (VORDEX_GetVersion)\n", static_cast<unsigned>(library.Api().GetVersion()));
}

int Fail(const char* reason, int status) {
    std::fprintf(stderr, "vordex: %s\n", reason);
    return status;
}

int Run(int argc, const char* const* argv) {
    const Invocation invocation = ParseCommandLine(argc, argv);
    if (invocation.versionRequested) {
        PrintVersions(invocation);
        return EXIT_SUCCESS;
    }
    Invocation helpInvocation;
    helpInvocation.command = "help";
    const Invocation& asked = invocation.helpRequested ? helpInvocation : invocation;
    const Command& command = FindCommand(asked);
    if (command.name != "help") PrepareLibraryEnvironment(invocation);

    std::optional<LoadedLibrary> library;
    CommandContext context{asked,
                           [&]() -> const VordexApi& {
                               if (!library) {
                                   PrepareLibraryEnvironment(invocation);
                                   library.emplace(invocation.libraryPath);
                               }
                               return library->Api();
                           },
                           stdout};
    command.run(context);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        throw CommandFailure(std::string("cannot write the output: ") + std::strerror(errno));
    }
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const UsageError& e) {
        return Fail(e.what(), kExitUsage);
    } catch (const std::exception& e) {
        return Fail(e.what(), kExitFailure);
    }
}
