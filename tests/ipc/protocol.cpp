// The client's primitives against boards that the test serves by hand.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "ipc/ipc_test.hpp"
#include "support/capture.hpp"

using namespace ipctest;

namespace {

class Protocol : public IpcTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(boards.ok());
        // What a starting host shows: server free, message board empty, no request.
        RawBoards::put(boards.mb(), 0, QELipc_NO_VALUE);
        RawBoards::put(boards.mb(), 40, QELipc_NO_VALUE);
        RawBoards::put(boards.rb(), 0, QELipc_NO_VALUE);
        ASSERT_EQ(QELipc_InitializeClient("Probe", boards.id()), 0);
    }
    void TearDown() override {
        IpcTest::TearDown();
        int id = boards.id();
        owned.reset();
        expect_no_boards(id);
    }

    QelIpcParameterBlock numbered_block(int base) {
        QelIpcParameterBlock b;
        for (int i = 0; i < 116; ++i) b.word[i] = base + i;
        return b;
    }

    std::unique_ptr<RawBoards> owned = std::make_unique<RawBoards>();
    RawBoards& boards = *owned;
};

}  // namespace

TEST_F(Protocol, InitialisationRefusesLongIdsBeforeOpeningAnyBoard) {
    std::string id32(32, 'c');
    EXPECT_EQ(QELipc_InitializeClient(id32.c_str(), boards.id()), 0);
    EXPECT_STREQ(qel::ipc::client().clientID, id32.c_str());

    std::string id33(33, 'c');
    unsigned long opens = qel::ipc::board_opens_on_this_thread();
    qeltest::StderrCapture err;
    EXPECT_EQ(QELipc_InitializeClient(id33.c_str(), boards.id()), -1);
    EXPECT_EQ(err.stop(), "too long client ID\n");
    EXPECT_EQ(qel::ipc::board_opens_on_this_thread(), opens);
    EXPECT_EQ(QELipc_GetServerState(), QELipc_NO_VALUE);
}

TEST_F(Protocol, InitialisationWithoutHostFailsSilently) {
    int id = qel::testhost::unique_server_id();
    qeltest::StderrCapture err;
    EXPECT_EQ(QELipc_InitializeClient("Probe", id), -1);
    EXPECT_EQ(err.stop(), "");
    EXPECT_EQ(qel::ipc::client().serverID, id);
    EXPECT_EQ(QELipc_GetServerState(), QELipc_NO_VALUE);
    EXPECT_EQ(QELipc_SendRequest(467, 0), -1);

    // Only the broadcast board there: the others are missing, and nothing stays open.
    QelBoard* bb = QELipc_CreateBoard(board_name("QEL_IPC_BB", id).c_str(), 224);
    EXPECT_EQ(QELipc_InitializeClient("Probe", id), -1);
    EXPECT_EQ(qel::ipc::client().bb, nullptr);
    QELipc_CloseBoard(bb);
    expect_no_boards(id);
}

TEST_F(Protocol, ServerStateAndConnectedClient) {
    EXPECT_EQ(QELipc_GetServerState(), 0);
    EXPECT_EQ(QELipc_IsServerFree(), 1);
    EXPECT_EQ(QELipc_IsConnectedToMe(), 0);
    EXPECT_EQ(qel::ipc::client().broadcaster->state, 0);

    boards.show_connected("Probe");
    EXPECT_EQ(QELipc_GetServerState(), 1);
    EXPECT_EQ(QELipc_IsServerFree(), 0);
    EXPECT_EQ(QELipc_IsConnectedToMe(), 1);
    for (const char* other : {"probe", "Probe2", "Prob", ""}) {
        boards.show_connected(other);
        EXPECT_EQ(QELipc_IsConnectedToMe(), 0) << other;
    }
    // Connected with state 0 is not connected; a state the protocol does not know is neither.
    boards.show_connected("Probe");
    RawBoards::put(boards.bb(), 0, 2);
    EXPECT_EQ(QELipc_IsConnectedToMe(), 0);
    EXPECT_EQ(QELipc_IsServerFree(), 0);

    // A 32-character ID fills the field up to the volume matrix, with no room for its NUL.
    std::string id32(32, 'q');
    ASSERT_EQ(QELipc_InitializeClient(id32.c_str(), boards.id()), 0);
    boards.show_connected(id32.c_str());
    RawBoards::put(boards.bb(), 40, 0x41414141);
    EXPECT_EQ(QELipc_IsConnectedToMe(), 1);
}

TEST_F(Protocol, NothingIsWrittenWhileAnotherClientIsConnected) {
    std::memset(boards.rb() + 4, 0x5A, 508);
    boards.show_connected("Other");
    QelIpcParameterBlock b = numbered_block(1000);
    QELipc_SetParameterBlock(&b);
    auto before = boards.rb_bytes();
    EXPECT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL, 1), -1);
    EXPECT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_SET_VOXEL_SIZE, 0), -1);
    EXPECT_EQ(QELipc_SendConnectionRequest(), -1);
    EXPECT_EQ(QELipc_SendDisconnectionRequest(), -1);
    EXPECT_EQ(boards.rb_bytes(), before);
}

TEST_F(Protocol, RequestIsPostedWithIdAndBlock) {
    std::memset(boards.rb() + 4, 0x5A, 508);
    QelIpcParameterBlock b = numbered_block(7000);
    ASSERT_EQ(QELipc_SetParameterBlock(&b), 0);
    MapCount maps;
    // Without wait one post is made and nothing is known about the host.
    EXPECT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_SET_VOLUME_OF_INTEREST, 0), 0);
    EXPECT_EQ(maps(), 1u + 3u);  // the free test, then ID, block and code
    EXPECT_EQ(RawBoards::get(boards.rb(), 0), QELipc_REQUEST_TYPE_SET_VOLUME_OF_INTEREST);
    EXPECT_STREQ(reinterpret_cast<char*>(boards.rb() + 8), "Probe");
    EXPECT_EQ(boards.rb()[4], 0x5A);  // bytes outside the fields stay
    EXPECT_EQ(boards.rb()[8 + 6], 0x5A);
    EXPECT_EQ(std::memcmp(boards.rb() + 48, &b, 464), 0);

    QelIpcParameterBlock out;
    ASSERT_EQ(QELipc_GetParameterBlock(&out), 0);
    EXPECT_EQ(std::memcmp(&out, &b, sizeof b), 0);
    EXPECT_EQ(QELipc_SetParameterBlock(nullptr), -1);
    EXPECT_EQ(QELipc_GetParameterBlock(nullptr), -1);
}

TEST_F(Protocol, WaitRepostsBeforeEveryTestAndGivesUpAfterTheRetryCount) {
    // Each test of the acceptance reads two words; each post writes three fields.
    {
        PollCap cap(7);
        MapCount maps;
        EXPECT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL, 1), -1);
        EXPECT_EQ(maps(), 1u + 3u * (7 + 1) + 2u * 7);
    }
    {
        QELipc_SetRetryCount(3);
        EXPECT_EQ(QELipc_GetRetryCount(), 3);
        MapCount maps;
        EXPECT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL, 1), -1);
        EXPECT_EQ(maps(), 1u + 3u * (3 + 1) + 2u * 3);
    }
    // The cap only lowers: a smaller retry count stays as it is.
    {
        PollCap cap(50);
        QELipc_SetRetryCount(2);
        MapCount maps;
        EXPECT_EQ(QELipc_WaitForAcceptance(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL), -1);
        EXPECT_EQ(maps(), 2u * 2);
    }
}

TEST_F(Protocol, OnlyAnAcceptanceOfTheSameCodeSatisfiesAWait) {
    PollCap cap(5);
    RawBoards::put(boards.mb(), 0, QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED);
    RawBoards::put(boards.mb(), 40, QELipc_REQUEST_TYPE_SET_GREYSCALE);
    EXPECT_EQ(QELipc_IsRequestAccepted(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL), 0);
    EXPECT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL, 1), -1);

    // The acceptance code of another message does not count either.
    RawBoards::put(boards.mb(), 0, QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED);
    RawBoards::put(boards.mb(), 40, QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL);
    EXPECT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL, 1), -1);

    // An acceptance of the same code left from earlier satisfies the first test.
    RawBoards::put(boards.mb(), 0, QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED);
    MapCount maps;
    EXPECT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL, 1), 0);
    EXPECT_EQ(maps(), 1u + 3u + 3u + 2u);
    EXPECT_EQ(QELipc_WaitForAcceptance(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL), 0);
}

TEST_F(Protocol, WaitForMessageRereadsFiftyTimesAfterTheMatch) {
    QelIpcParameterBlock b = numbered_block(-300);
    std::memcpy(boards.mb() + 48, &b, 464);
    RawBoards::put(boards.mb(), 0, QELipc_MESSAGE_TYPE_DATA_UPLOAD_COMPLETED);
    {
        MapCount maps;
        EXPECT_EQ(QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_UPLOAD_COMPLETED), 0);
        EXPECT_EQ(maps(), 2u * (1 + 50));  // each read takes the code and the block
        QelIpcParameterBlock out;
        QELipc_GetParameterBlock(&out);
        EXPECT_EQ(std::memcmp(&out, &b, sizeof b), 0);
    }
    {
        QELipc_SetRetryCount(0);
        MapCount maps;
        EXPECT_EQ(QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_UPLOAD_COMPLETED), -1);
        EXPECT_EQ(maps(), 0u);
    }
    {
        QELipc_SetRetryCount(10);
        MapCount maps;
        EXPECT_EQ(QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED), -1);
        EXPECT_EQ(maps(), 2u * 10);
    }
}

TEST_F(Protocol, ReadMessageAlwaysTakesTheBlock) {
    QelIpcParameterBlock b = numbered_block(40);
    std::memcpy(boards.mb() + 48, &b, 464);
    EXPECT_EQ(QELipc_ReadMessage(), QELipc_NO_VALUE);  // empty board: its block all the same
    QelIpcParameterBlock out;
    QELipc_GetParameterBlock(&out);
    EXPECT_EQ(std::memcmp(&out, &b, sizeof b), 0);
    RawBoards::put(boards.mb(), 0, 77);
    EXPECT_EQ(QELipc_ReadMessage(), 77);
}

TEST_F(Protocol, ClearingTheMessageBoardTouchesItsThreeFieldsOnly) {
    std::memset(boards.mb(), 0x33, 512);
    auto before = boards.mb_bytes();
    EXPECT_EQ(QELipc_ClearMessageBoard(), 0);
    auto after = boards.mb_bytes();
    EXPECT_EQ(RawBoards::get(boards.mb(), 0), QELipc_NO_VALUE);
    EXPECT_EQ(std::memcmp(boards.mb() + 8, "   \0", 4), 0);
    EXPECT_EQ(RawBoards::get(boards.mb(), 40), QELipc_NO_VALUE);
    for (size_t i = 0; i < after.size(); ++i) {
        bool field = i < 4 || (i >= 8 && i < 12) || (i >= 40 && i < 44);
        if (!field) {
            EXPECT_EQ(after[i], before[i]) << "byte " << i;
        }
    }
}

TEST_F(Protocol, ConnectionThatTimesOutPostsADisconnection) {
    PollCap cap(5);
    EXPECT_EQ(QELipc_SendConnectionRequest(), -1);
    // The last post is the disconnection, with its block (it went through SendRequest).
    EXPECT_EQ(RawBoards::get(boards.rb(), 0), QELipc_REQUEST_TYPE_DISCONNECTION);
    EXPECT_STREQ(reinterpret_cast<char*>(boards.rb() + 8), "Probe");

    // Already connected: the server is not free, so no second connection is tried.
    boards.show_connected("Probe");
    RawBoards::put(boards.rb(), 0, QELipc_NO_VALUE);
    EXPECT_EQ(QELipc_SendConnectionRequest(), -1);
    EXPECT_EQ(RawBoards::get(boards.rb(), 0), QELipc_NO_VALUE);
}

TEST_F(Protocol, ConnectionSucceedsWhenTheHostShowsThisClient) {
    // A second thread answers as a host does: the ID on BB first, then the state word.
    std::atomic<bool> done{false};
    std::thread host([&] {
        while (!done) {
            if (__atomic_load_n(reinterpret_cast<int*>(boards.rb()), __ATOMIC_SEQ_CST) ==
                QELipc_REQUEST_TYPE_CONNECTION) {
                std::memcpy(boards.bb() + 8, boards.rb() + 8, 32);
                __atomic_store_n(reinterpret_cast<int*>(boards.bb()), 1, __ATOMIC_SEQ_CST);
                return;
            }
        }
    });
    PollCap cap(1000000);
    EXPECT_EQ(QELipc_SendConnectionRequest(), 0);
    done = true;
    host.join();
    EXPECT_EQ(QELipc_IsConnectedToMe(), 1);
}

TEST_F(Protocol, DisconnectionWritesOnlyWhenThisClientIsConnected) {
    PollCap cap(4);
    std::memset(boards.rb(), 0x5A, 512);
    auto before = boards.rb_bytes();
    EXPECT_EQ(QELipc_SendDisconnectionRequest(), 0);  // free: nothing to do
    EXPECT_EQ(boards.rb_bytes(), before);

    // Connected to this client, and the host never lets go: 212 and the ID, no block.
    boards.show_connected("Probe");
    EXPECT_EQ(QELipc_SendDisconnectionRequest(), -1);
    EXPECT_EQ(RawBoards::get(boards.rb(), 0), QELipc_REQUEST_TYPE_DISCONNECTION);
    EXPECT_STREQ(reinterpret_cast<char*>(boards.rb() + 8), "Probe");
    EXPECT_EQ(std::memcmp(boards.rb() + 48, before.data() + 48, 464), 0);
}

TEST_F(Protocol, UnmappableBoardsMakeEveryStepFail) {
    // The host shrank its boards to nothing: every access fails, nothing is written.
    for (const char* stem : {"QEL_IPC_BB", "QEL_IPC_MB"}) {
        int fd = shm_open(("/" + board_name(stem, boards.id())).c_str(), O_RDWR, 0);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 0), 0);
        close(fd);
    }
    EXPECT_EQ(QELipc_GetServerState(), QELipc_NO_VALUE);
    EXPECT_EQ(QELipc_IsServerFree(), 0);
    EXPECT_EQ(QELipc_IsConnectedToMe(), 0);
    EXPECT_EQ(QELipc_IsRequestAccepted(467), 0);
    EXPECT_EQ(QELipc_ReadMessage(), QELipc_NO_VALUE);
    EXPECT_EQ(QELipc_ClearMessageBoard(), -1);
    EXPECT_EQ(QELipc_SendRequest(467, 0), -1);
    EXPECT_EQ(QELipc_SendConnectionRequest(), -1);
    EXPECT_EQ(QELipc_SendDisconnectionRequest(), -1);
    EXPECT_EQ(RawBoards::get(boards.rb(), 0), QELipc_NO_VALUE);
}
