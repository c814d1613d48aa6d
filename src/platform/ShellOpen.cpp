#include "platform/ShellOpen.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <utility>

extern char** environ;

namespace tessaly::platform {

namespace {

TShellOpenHandler& Handler() {
    static TShellOpenHandler handler;
    return handler;
}

// Runs "xdg-open path" detached: a shell starts it in the background and exits at once, so the
// opener is reparented, never left as a zombie, and nothing waits for the application it starts.
bool DesktopOpen(const std::string& path) {
    std::string shell = "/bin/sh";
    std::string flag = "-c";
    std::string script = "xdg-open \"$1\" >/dev/null 2>&1 </dev/null &";
    std::string name = "sh";
    std::string argument = path;
    char* argv[] = {shell.data(), flag.data(), script.data(), name.data(), argument.data(), nullptr};
    pid_t child = 0;
    if (::posix_spawn(&child, shell.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool ShellOpen(const std::string& path) {
    const TShellOpenHandler& handler = Handler();
    return handler ? handler(path) : DesktopOpen(path);
}

TShellOpenHandler SetShellOpenHandler(TShellOpenHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

} // namespace tessaly::platform
