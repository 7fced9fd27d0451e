// Shared by the bookmark program's tests (tests/viewbookmarker, tests/gtk_viewbookmarker): a test
// host with the program's connection to it, a store and animation as at program start, and runs
// of the real program with a bounded wait.
#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gui/qel_pnm.h"
#include "ipc/qel_ipc.h"
#include "ipc/qel_ipc_client.hpp"
#include "programs/viewbookmarker/bookmark_host.h"
#include "support/capture.hpp"
#include "testhost/qel_testhost.h"
#include "viewbookmarker/store_support.hpp"

extern char** environ;

namespace bmtest {

using qel::testhost::Host;
using qel::testhost::HostState;

// A host state whose every item can be told apart from the test host's defaults.
inline HostState sample_state() {
    HostState s;
    s.cursor[0] = 10.4f; s.cursor[1] = 10.5f; s.cursor[2] = -0.7f;
    s.channelID = 2;
    s.greyscale[0] = 12.9f; s.greyscale[1] = 300.2f;
    s.voiOrigin[0] = 1; s.voiOrigin[1] = 2; s.voiOrigin[2] = 3;
    s.voiSize[0] = 10; s.voiSize[1] = 20; s.voiSize[2] = 30;
    const float view[12] = {1, 2, 3, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(s.view, view, sizeof view);
    s.distance = 100;
    s.viewAngle = 30;
    return s;
}

// The six texts of a bookmark captured from sample_state() with every field recorded.
inline Texts sample_texts(const std::string& label) {
    return {label, "10,11,0", "3", "12,300", "10x20x30 1,2,3",
            "1.000000,2.000000,3.000000 1.000000,0.000000,0.000000 0.000000,1.000000,0.000000 "
            "0.000000,0.000000,1.000000 100.000000 30.000000"};
}

// A fresh store and animation, and (with a host) the program's connection to a test host.
class Session : public Store {
protected:
    void SetUp() override {
        Store::SetUp();
        bookmarkAnimation = {0, BOOKMARK_ANIMATE_CYCLE, 1, 400};
    }
    void TearDown() override {
        TerminateBookmarkIpc();
        qel::ipc::set_poll_cap(0);
        QELipc_SetRetryCount(QELipc_DEFAULT_RETRY_COUNT);
        host_.reset();
        Store::TearDown();
    }
    void connect(const HostState& state = sample_state()) {
        host_ = Host::start();
        ASSERT_NE(host_, nullptr);
        host_->set_state(state);
        qeltest::StderrCapture err;
        ASSERT_EQ(InitializeBookmarkIpc(host_->server_id()), 0);
        EXPECT_EQ(err.stop(), "IPC available (IPC Client initialization succeeded)\n");
        EXPECT_EQ(QELipc_GetRetryCount(), QELipc_LONG_RETRY_COUNT);
    }
    // The server ID of a host that does not exist.
    static int no_host() { return qel::testhost::unique_server_id() + 7; }

    std::unique_ptr<Host> host_;
};

// The pixels of a file and of an image agree (a P6 file reads back with alpha 255).
inline void expect_same_image(const std::string& file, const QelRawImageData* want) {
    qel::testhost::ImagePtr got(QEL_ReadPnmImage(file.c_str()));
    ASSERT_NE(got, nullptr) << file;
    ASSERT_EQ(got->size->nx, want->size->nx);
    ASSERT_EQ(got->size->ny, want->size->ny);
    ASSERT_EQ(got->unit[0], want->unit[0]);
    const size_t bytes = static_cast<size_t>(want->size->nx) * want->size->ny * (want->unit[0] == 4 ? 4 : 1);
    EXPECT_EQ(std::memcmp(got->data[0], want->data[0], bytes), 0) << file;
}

// What a run of the real program did.
struct ProgramRun {
    int status = -1;      // exit code, 128 + signal, or -1 when it was killed while running
    std::string output;   // stdout and stderr together
};

// Runs build/bin/viewbookmarker with args in a process group of its own. Without a display,
// DISPLAY and WAYLAND_DISPLAY are left out of its environment. The run ends when the program
// exits, when its output holds `until` (the program is then killed), or after timeoutMs.
inline ProgramRun run_viewbookmarker(const std::vector<std::string>& args, bool display, const std::string& until = "",
                              int timeoutMs = 60000) {
    ProgramRun run;
    std::string program = std::string(QEL_BIN_DIR) + "/viewbookmarker";
    std::vector<char*> argv{program.data()}, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (char** e = environ; *e; ++e)
        if (display || (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0))
            envp.push_back(*e);
    envp.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return run;
    }
    // Output is read as it comes; the program's exit is checked between reads.
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto drain = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0) run.output.append(buffer, static_cast<size_t>(n));
    };
    int status = 0;
    bool exited = false;
    while (until.empty() || run.output.find(until) == std::string::npos) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= end) break;
        pollfd p{fds[0], POLLIN, 0};
        poll(&p, 1, 20);
        drain();
    }
    if (exited) {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    drain();
    close(fds[0]);
    return run;
}

}  // namespace bmtest
