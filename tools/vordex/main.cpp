// vordex: the command-line host of the VORDEX library.
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

#include "cli_errors.h"
#include "command_line.h"
#include "command_output.h"
#include "commands.h"
#include "library_loader.h"
#include "library_messages.h"

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
    FlushOutput(stdout);
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
    FlushOutput(stdout);
    return EXIT_SUCCESS;
}

/// Ends the process the way SIGPIPE ends cat or grep (the shell shows 141),
/// after the command has closed the connection.
int EndByClosedPipe() {
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    sigprocmask(SIG_UNBLOCK, &brokenPipe, nullptr);
    std::raise(SIGPIPE);
    return 128 + SIGPIPE;
}

}  // namespace

int main(int argc, char** argv) {
    // A write to a pipe nobody reads fails with EPIPE, whatever a driver sets
    // up (MariaDB's ignores SIGPIPE, the others leave it be), so every command
    // ends alike: its connection closed, then by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return Run(argc, argv);
    } catch (const OutputClosed&) {
        return EndByClosedPipe();
    } catch (const UsageError& e) {
        return Fail(e.what(), kExitUsage);
    } catch (const CommandFailure& e) {
        return Fail(e.what(), e.status());
    } catch (const std::exception& e) {
        return Fail(e.what(), kExitFailure);
    }
}
