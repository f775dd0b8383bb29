#include "platform/desktop_dialog.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace vordex::platform {
namespace {

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    for (std::string rest = path; !rest.empty();) {
        const size_t colon = rest.find(':');
        const std::string directory = rest.substr(0, colon);
        if (!directory.empty() && access((directory + "/" + program).c_str(), X_OK) == 0) return true;
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    return false;
}

/// Runs the program with `arguments` and waits for it; its exit status, or -1
/// when it could not run. What it prints on standard output goes to `output`.
int Run(const std::vector<std::string>& arguments, std::string* output) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int out[2] = {-1, -1};
    if (output != nullptr && pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output != nullptr) {
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
    }
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (output != nullptr) {
        close(out[1]);
        char buffer[512];
        ssize_t n;
        while (spawned == 0 && (n = read(out[0], buffer, sizeof buffer)) != 0) {
            if (n > 0) output->append(buffer, static_cast<size_t>(n));
            if (n < 0 && errno != EINTR) break;
        }
        close(out[0]);
    }
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string DesktopDialogProgram() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0')) return "";
    for (const char* program : {"zenity", "kdialog"}) {
        if (OnPath(program)) return program;
    }
    return "";
}

bool ShowDesktopMessage(const std::string& program, const char* caption, const std::string& utf8Text) {
    if (program == "zenity") {
        return Run({program, "--warning", "--no-markup", "--title", caption, "--text", utf8Text}, nullptr) >= 0;
    }
    // kdialog has no plain-text option and takes text that looks like markup
    // for markup: the text goes as rich text that shows each character.
    std::string rich = "<qt>";
    for (const char c : utf8Text) {
        switch (c) {
            case '<': rich += "&lt;"; break;
            case '>': rich += "&gt;"; break;
            case '&': rich += "&amp;"; break;
            case '\n': rich += "<br>"; break;
            case '\r': break;
            default: rich += c;
        }
    }
    rich += "</qt>";
    return Run({program, "--title", caption, "--sorry", rich}, nullptr) >= 0;
}

std::optional<std::string> ChooseInDesktopList(const std::string& program, const char* caption,
                                               const std::string& prompt,
                                               const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::string> arguments;
    if (program == "zenity") {
        arguments = {program, "--list", "--title", caption, "--text", prompt,
                     "--column", "Data source", "--column", "Description"};
    } else {
        arguments = {program, "--title", caption, "--menu", prompt};
    }
    for (const auto& [name, description] : entries) {
        arguments.push_back(name);
        arguments.push_back(description.empty() ? name : description);
    }
    std::string chosen;
    if (Run(arguments, &chosen) != 0) return std::nullopt;
    while (!chosen.empty() && (chosen.back() == '\n' || chosen.back() == '\r')) chosen.pop_back();
    if (chosen.empty()) return std::nullopt;
    return chosen;
}

}  // namespace vordex::platform
