// Transfers and data boards against the test host: what the host ends up with, which
// requests it sees, and that a failed transfer reports it and leaves no board behind.
#include "support/capture.hpp"
#include "transact/transact_test.hpp"

using namespace transact;
using qel::testhost::Faults;

namespace {

class Transfer : public TransactTest {
protected:
    void SetUp() override {
        host = start_host();
        ASSERT_NE(host, nullptr);
        volume.reset(new_volume(4, 6, 3, {2, 6, 0}));
        ASSERT_NE(volume, nullptr);
        host->set_volume(volume.get(), {21, 22, 23});
        HostState s = host->state();
        s.channelID = 23;
        host->set_state(s);
        ASSERT_EQ(QELipc_InitializeClient("Sender", host->server_id()), 0);
    }
    void TearDown() override {
        host.reset();
        TransactTest::TearDown();
    }
    // Only the host's three boards are left: the client closed its data board.
    void expect_no_data_board() {
        EXPECT_EQ(qel::ipc::client().db, nullptr);
        EXPECT_EQ(boards_of(host->server_id()), host_boards(host->server_id()));
    }
    std::unique_ptr<Host> host;
    Volume volume;
};

}  // namespace

TEST_F(Transfer, ChannelsGoToTheChannelTheirIdNames) {
    // Channel 1 of a volume of other units goes to host channel 21, replacing its unit too.
    Volume mine(new_volume(4, 6, 3, {7, 5}));
    ASSERT_EQ(QELipc_TransferSingleChannel(mine.get(), 21, 1), 0);
    auto log = host->log();
    ASSERT_EQ(host->codes(), (std::vector<int>{232}));
    EXPECT_EQ(log[0].word(0), 21);
    VolumePtr now = host->volume();
    EXPECT_EQ(now->unit[0], 5);
    EXPECT_EQ(channel_bytes(now.get(), 0), channel_bytes(mine.get(), 1));
    EXPECT_EQ(channel_bytes(now.get(), 1), channel_bytes(volume.get(), 1));
    expect_no_data_board();

    // The same request again at once, with other data: the host takes it as a new request
    // (a new board), not as a re-post of the first.
    static_cast<int32_t*>(mine->data[1])[0] += 1000;
    ASSERT_EQ(QELipc_TransferSingleChannel(mine.get(), 21, 1), 0);
    EXPECT_EQ(host->codes(), (std::vector<int>{232, 232}));
    EXPECT_EQ(channel_bytes(host->volume().get(), 0), channel_bytes(mine.get(), 1));

    // Under the lock, to the current channel (23).
    host->clear_log();
    ASSERT_EQ(QELipc_TransferSingleChannelLocked(mine.get(), 0), 0);
    EXPECT_EQ(host->codes(), (std::vector<int>{211, 234, 236, 235, 212}));
    now = host->volume();
    EXPECT_EQ(now->unit[2], 7);
    EXPECT_EQ(channel_bytes(now.get(), 2), channel_bytes(mine.get(), 0));
    EXPECT_FALSE(host->locked());
    EXPECT_FALSE(host->connected());
    EXPECT_EQ(host->unread_boards(), 0);
    expect_no_data_board();
}

TEST_F(Transfer, AChannelIndexOutsideTheVolumePostsNothing) {
    for (int index : {3, -1}) {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_TransferSingleChannel(volume.get(), 21, index), -1);
        EXPECT_EQ(err.stop(), "QELipc_UploadSingleChannelOfRawVolumeData: Error\n");
    }
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_TransferSingleChannel(nullptr, 21, 0), -1);
        EXPECT_EQ(QELipc_TransferRawVolumeData(nullptr), -1);
        EXPECT_EQ(err.stop(), "QELipc_UploadSingleChannelOfRawVolumeData: Error\n"
                              "volume to be uploaded NULL\n");
    }
    EXPECT_TRUE(host->codes().empty());
    expect_no_data_board();
}

TEST_F(Transfer, ARequestNotAcceptedOrNeverCompletedFailsAndClosesTheBoard) {
    ipctest::PollCap cap(kFailingCap);
    // Not accepted: the client still waits for the completion, then reports the request.
    Faults f;
    f.held = {232};
    host->set_faults(f);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_TransferSingleChannel(volume.get(), 22, 0), -1);
        EXPECT_EQ(err.stop(), "QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA): Error\n");
    }
    EXPECT_EQ(host->codes(), (std::vector<int>{232}));
    expect_no_data_board();

    // Accepted, but the host never says it has read the board.
    host->clear_log();
    f.held.clear();
    f.silent = {232, 222, 236};
    host->set_faults(f);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_TransferSingleChannel(volume.get(), 22, 0), -1);
        EXPECT_EQ(QELipc_TransferRawVolumeData(volume.get()), -1);  // silently
        EXPECT_EQ(QELipc_TransferSingleChannelLocked(volume.get(), 0), -1);
        EXPECT_EQ(err.stop(), "Missed <QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED>\n"
                              "Missed <QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED>\n");
    }
    // The locked transfer still unlocks before it disconnects.
    EXPECT_EQ(host->codes(), (std::vector<int>{232, 222, 211, 234, 236, 235, 212}));
    EXPECT_FALSE(host->locked());
    EXPECT_FALSE(host->connected());
    expect_no_data_board();
}

TEST_F(Transfer, WhileAnotherClientHoldsTheServerNothingIsPosted) {
    ipctest::PollCap cap(kFailingCap);
    host->set_connection(true, "Other");
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_TransferSingleChannel(volume.get(), 22, 0), -1);
        EXPECT_EQ(QELipc_TransferRawVolumeData(volume.get()), -1);
        EXPECT_EQ(QELipc_TransferSingleChannelLocked(volume.get(), 0), -1);
        EXPECT_EQ(err.stop(),
                  "QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA): Error\n"
                  "QELipc_SendConnectionRequest: Error\n");
    }
    EXPECT_TRUE(host->codes().empty());
    EXPECT_EQ(host->connected_client(), "Other");
    expect_no_data_board();
}

TEST_F(Transfer, BoardsThatTheHostCannotUseAreCountedNotApplied) {
    // A channel of other dimensions, and a channel ID that the host does not have.
    Volume other(new_volume(4, 6, 2, {2}));
    ASSERT_EQ(QELipc_TransferSingleChannel(other.get(), 22, 0), 0);
    ASSERT_EQ(QELipc_TransferSingleChannel(volume.get(), 77, 0), 0);
    EXPECT_EQ(host->unread_boards(), 2);
    EXPECT_EQ(payload(host->volume().get()), payload(volume.get()));
}

TEST_F(Transfer, UploadsMakeBoardsOfExactlyThePayloadAndReplaceTheirHandle) {
    const std::string name = ipctest::board_name("QEL_IPC_DB", host->server_id());
    auto board_size = [&] {
        QelBoard* b = QELipc_OpenBoard(name.c_str());
        size_t size = 0;
        void* p = qel::ipc::map_board(b, &size);
        QELipc_UnmapBoard(p);
        QELipc_CloseBoard(b);
        return size;
    };
    ASSERT_EQ(QELipc_UploadRawVolumeData(volume.get()), 0);
    EXPECT_EQ(board_size(), static_cast<size_t>(QELipc_SizeOfRawVolumeData(volume.get())));
    // A second upload replaces the first board; nothing of the first one is left open.
    ASSERT_EQ(QELipc_UploadSingleChannelOfRawVolumeData(volume.get(), 1), 0);
    EXPECT_EQ(board_size(), static_cast<size_t>(QELipc_SizeOfSingleChannel(volume.get(), 1)));
    // The client reads its own board back as the host would.
    Volume back(QELipc_DownloadSingleChannelRawVolumeData());
    ASSERT_NE(back, nullptr);
    Volume expected(QEL_ExtractChannelOfRawVolumeData(volume.get(), 1));
    EXPECT_EQ(payload(back.get()), payload(expected.get()));
    EXPECT_EQ(qel::ipc::client().db, nullptr);

    // In place: a board that fits replaces the channel; one that does not leaves it.
    Volume target(new_volume(4, 6, 3, {0, 0}));
    ASSERT_EQ(QELipc_UploadSingleChannelOfRawVolumeData(volume.get(), 1), 0);
    ASSERT_EQ(QELipc_DownloadSingleChannelIntoRawVolumeData(target.get(), 1), 0);
    EXPECT_EQ(target->unit[1], 6);
    EXPECT_EQ(channel_bytes(target.get(), 1), channel_bytes(volume.get(), 1));
    Volume small(new_volume(2, 2, 2, {3}));
    ASSERT_EQ(QELipc_UploadSingleChannelOfRawVolumeData(small.get(), 0), 0);
    EXPECT_EQ(QELipc_DownloadSingleChannelIntoRawVolumeData(target.get(), 0), -1);
    EXPECT_EQ(target->unit[0], 0);
    QELipc_CloseDataBoard();
    EXPECT_EQ(QELipc_DownloadSingleChannelIntoRawVolumeData(target.get(), 0), -1);  // no board
    EXPECT_EQ(QELipc_DownloadRawVolumeData(), nullptr);
    EXPECT_EQ(QELipc_DownloadDataObjectGroup(), nullptr);
    EXPECT_EQ(QELipc_DownloadRawImageData(), nullptr);
    expect_no_data_board();
}

TEST_F(Transfer, ARepostThatLandsAfterTheCompletionIsAnsweredAgainNotServedAgain) {
    // The client's last re-post can reach RB after the host replaced the acceptance by the
    // completion: the client has not seen the acceptance and goes on re-posting. The host
    // shows the acceptance again and completes again, without reading or logging again.
    ASSERT_EQ(QELipc_UploadSingleChannelOfRawVolumeData(volume.get(), 0), 0);
    qel::ipc::client().block.word[0] = 21;
    QelIpcParameterBlock sent = qel::ipc::client().block;
    ASSERT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA, 1), 0);
    ASSERT_EQ(QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED), 0);
    // Exactly the request of before (the wait replaced the client's block).
    QELipc_SetParameterBlock(&sent);
    ASSERT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA, 1), 0);
    ASSERT_EQ(QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED), 0);
    EXPECT_EQ(host->codes(), (std::vector<int>{232}));
    QELipc_CloseDataBoard();

    // With a new board it is a new request, read and logged.
    ASSERT_EQ(QELipc_UploadSingleChannelOfRawVolumeData(volume.get(), 1), 0);
    QELipc_SetParameterBlock(&sent);
    ASSERT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA, 1), 0);
    ASSERT_EQ(QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED), 0);
    QELipc_CloseDataBoard();
    EXPECT_EQ(host->codes(), (std::vector<int>{232, 232}));
    VolumePtr now = host->volume();
    EXPECT_EQ(now->unit[0], volume->unit[1]);
    EXPECT_EQ(channel_bytes(now.get(), 0), channel_bytes(volume.get(), 1));
    EXPECT_EQ(host->unread_boards(), 0);
}
