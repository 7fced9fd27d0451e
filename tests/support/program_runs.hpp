// Helpers shared by the tests that run real programs against the test host: the programs'
// path, runs with any argument list, and a fixture whose hosts must leave nothing in /dev/shm.
// Header-only: it needs QEL_BIN_DIR and the test host, which only the test executables have.
#pragma once
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "testhost/qel_testhost.h"

extern char** environ;

namespace qeltest {

// A program that runs longer is killed and its test fails.
inline constexpr int kRunLimitMs = 120000;

inline std::string program_path(const char* name) { return std::string(QEL_BIN_DIR) + "/" + name; }

// The /dev/shm objects of a server ID: their names end in "(nnnn)".
inline std::vector<std::string> shm_objects_of(int id) {
    std::vector<std::string> found;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "(%04d)", id);
    const size_t n = std::strlen(suffix);
    if (DIR* d = opendir("/dev/shm")) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() >= n && name.compare(name.size() - n, n, suffix) == 0) found.push_back(name);
        }
        closedir(d);
    }
    return found;
}

// Runs a program with exactly these arguments, waiting at most kRunLimitMs; returns the exit
// code (-1 when it could not start or was killed for running too long), with its stdout and
// stderr in *output.
inline int run_with_args(const std::string& program, const std::vector<std::string>& args, std::string* output) {
    char name[] = "/tmp/qel-program-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return -1;
    unlink(name);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 1);
    posix_spawn_file_actions_adddup2(&actions, fd, 2);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int result = -1;
    if (rc == 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRunLimitMs);
        int status = 0;
        for (;;) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    const off_t end = lseek(fd, 0, SEEK_END);
    output->assign(end > 0 ? static_cast<size_t>(end) : 0, '\0');
    if (end > 0 && pread(fd, output->data(), output->size(), 0) != end) output->clear();
    close(fd);
    return result;
}

// Every server ID in ids_, whether a host ran behind it or not, must have no board left in
// /dev/shm when the test ends.
class ProgramTest : public ::testing::Test {
protected:
    std::unique_ptr<qel::testhost::Host> start_host() {
        auto h = qel::testhost::Host::start();
        EXPECT_NE(h, nullptr);
        if (h) ids_.push_back(h->server_id());
        return h;
    }
    void TearDown() override {
        for (int id : ids_) EXPECT_TRUE(shm_objects_of(id).empty()) << "boards left for server " << id;
    }
    std::vector<int> ids_;
};

}  // namespace qeltest
