// Starting a plug-in as the host does: "program serverID [argument]".
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <string>
#include <unistd.h>

#include "ipc/qel_ipc.h"

extern char** environ;

namespace {

constexpr size_t kCommandSize = 512;

bool ends_in_exe(const char* program) {
    size_t n = std::strlen(program);
    return n >= 4 && (std::strcmp(program + n - 4, ".exe") == 0 ||
                      std::strcmp(program + n - 4, ".EXE") == 0);
}

// Starts the program in a process group of its own, so that it outlives what the caller
// does to its own group; it is never waited for here.
int spawn(const char* path, char* const* argv) {
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) return -1;
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid;
    int rc = posix_spawnp(&pid, path, nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    return rc;
}

}  // namespace

int QELipc_LaunchClient(const char* program, int serverID, const char* argument) {
    if (!program) return -1;
    bool suffixed = ends_in_exe(program);
    char command[kCommandSize];
    int length;
    if (suffixed)
        length = argument ? std::snprintf(command, sizeof command, "%s %d %s", program, serverID, argument)
                          : std::snprintf(command, sizeof command, "%s %d", program, serverID);
    else
        length = argument
                     ? std::snprintf(command, sizeof command, "%s.exe %d %s", program, serverID, argument)
                     : std::snprintf(command, sizeof command, "%s.exe %d", program, serverID);
    std::fprintf(stderr, "command: %s\n", command);
    // A command cut at the end of its buffer is not the one asked for: it is not started.
    if (length < 0 || static_cast<size_t>(length) >= sizeof command) return -1;

    std::string path = suffixed ? std::string(program) : std::string(program) + ".exe";
    char id[16];
    std::snprintf(id, sizeof id, "%d", serverID);
    char* argv[] = {path.data(), id, const_cast<char*>(argument), nullptr};
    // Programs here carry no ".exe": without a suffixed file the plain name is started.
    if (spawn(path.c_str(), argv) == ENOENT && !suffixed) {
        path = program;
        argv[0] = path.data();
        spawn(path.c_str(), argv);
    }
    return 0;
}
