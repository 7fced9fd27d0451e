// Helpers of the host-connection tests: boards without a host, a cap on the client's polls,
// board-mapping counts and the check that no board outlives a test.
#pragma once
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ipc/qel_ipc.h"
#include "ipc/qel_ipc_client.hpp"
#include "ipc/qel_ipc_layout.hpp"
#include "ipc/qel_shm.hpp"
#include "testhost/qel_testhost.h"

namespace ipctest {

inline std::string board_name(const char* stem, int id) {
    char name[32];
    std::snprintf(name, sizeof name, "%s(%04d)", stem, id);
    return name;
}

// Names in /dev/shm that belong to server ID id.
inline std::vector<std::string> shm_objects_of(int id) {
    std::vector<std::string> found;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "(%04d)", id);
    if (DIR* d = opendir("/dev/shm")) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() >= std::strlen(suffix) &&
                n.compare(n.size() - std::strlen(suffix), std::string::npos, suffix) == 0)
                found.push_back(n);
        }
        closedir(d);
    }
    return found;
}

// Lowers every wait of the client for the life of the object.
struct PollCap {
    explicit PollCap(int cap) { qel::ipc::set_poll_cap(cap); }
    ~PollCap() { qel::ipc::set_poll_cap(0); }
};

// Board mappings made by this thread since construction.
struct MapCount {
    unsigned long start = qel::ipc::board_maps_on_this_thread();
    unsigned long operator()() const { return qel::ipc::board_maps_on_this_thread() - start; }
};

// BB, MB and RB of a fresh server ID, with nobody serving them: the test plays the host and
// reads and writes the boards directly.
class RawBoards {
public:
    explicit RawBoards(unsigned bbSize = 224, unsigned mbSize = 512, unsigned rbSize = 512)
        : id_(qel::testhost::unique_server_id()) {
        bb_ = QELipc_CreateBoard(board_name("QEL_IPC_BB", id_).c_str(), bbSize);
        mb_ = QELipc_CreateBoard(board_name("QEL_IPC_MB", id_).c_str(), mbSize);
        rb_ = QELipc_CreateBoard(board_name("QEL_IPC_RB", id_).c_str(), rbSize);
        bbp_ = static_cast<unsigned char*>(QELipc_MapBoard(bb_));
        mbp_ = static_cast<unsigned char*>(QELipc_MapBoard(mb_));
        rbp_ = static_cast<unsigned char*>(QELipc_MapBoard(rb_));
        bbSize_ = bbSize;
        mbSize_ = mbSize;
        rbSize_ = rbSize;
    }
    ~RawBoards() {
        QELipc_UnmapBoard(bbp_);
        QELipc_UnmapBoard(mbp_);
        QELipc_UnmapBoard(rbp_);
        QELipc_CloseBoard(bb_);
        QELipc_CloseBoard(mb_);
        QELipc_CloseBoard(rb_);
    }
    RawBoards(const RawBoards&) = delete;
    RawBoards& operator=(const RawBoards&) = delete;

    bool ok() const { return bbp_ && mbp_ && rbp_; }
    int id() const { return id_; }
    unsigned char* bb() { return bbp_; }
    unsigned char* mb() { return mbp_; }
    unsigned char* rb() { return rbp_; }
    std::vector<unsigned char> rb_bytes() const { return {rbp_, rbp_ + rbSize_}; }
    std::vector<unsigned char> mb_bytes() const { return {mbp_, mbp_ + mbSize_}; }

    static int get(const unsigned char* board, int offset) {
        int v;
        std::memcpy(&v, board + offset, 4);
        return v;
    }
    static void put(unsigned char* board, int offset, int v) { std::memcpy(board + offset, &v, 4); }

    // The host's view of a connection: BB state 1 and the client's ID.
    void show_connected(const char* id) {
        std::memset(bbp_ + 8, 0, 32);
        std::memcpy(bbp_ + 8, id, std::min<size_t>(std::strlen(id), 32));
        put(bbp_, 0, 1);
    }

private:
    int id_;
    QelBoard* bb_ = nullptr;
    QelBoard* mb_ = nullptr;
    QelBoard* rb_ = nullptr;
    unsigned char* bbp_ = nullptr;
    unsigned char* mbp_ = nullptr;
    unsigned char* rbp_ = nullptr;
    unsigned bbSize_ = 0, mbSize_ = 0, rbSize_ = 0;
};

// Every test ends with the client terminated, no cap, the default retry count, and nothing
// of its server IDs left in /dev/shm.
class IpcTest : public ::testing::Test {
protected:
    void TearDown() override {
        QELipc_TerminateClient();
        qel::ipc::set_poll_cap(0);
        QELipc_SetRetryCount(QELipc_DEFAULT_RETRY_COUNT);
    }
    // Checked after the boards of id are gone.
    static void expect_no_boards(int id) { EXPECT_TRUE(shm_objects_of(id).empty()) << id; }
};

}  // namespace ipctest
