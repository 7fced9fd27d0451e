// Receives against the test host: what arrives, which requests the host sees, and what a
// receive does when the host is held by another client, sends a bad board or is slow.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/capture.hpp"
#include "transact/transact_test.hpp"

using namespace transact;
using qel::testhost::Faults;

namespace {

class Receive : public TransactTest {
protected:
    void SetUp() override {
        host = start_host();
        ASSERT_NE(host, nullptr);
        volume.reset(new_volume(7, 3, 5, {0, 3, 6, 7, 1, 2, 4, 5}));
        ASSERT_NE(volume, nullptr);
        host->set_volume(volume.get(), kIds);
        HostState s = host->state();
        s.channelID = 12;
        s.voxelSize = 0.75f;
        host->set_state(s);
        ASSERT_EQ(QELipc_InitializeClient("Receiver", host->server_id()), 0);
    }
    void TearDown() override {
        host.reset();
        TransactTest::TearDown();
    }
    const std::vector<int> kIds = {10, 11, 12, 13, 14, 15, 16, -3};
    std::unique_ptr<Host> host;
    Volume volume;
};

}  // namespace

TEST_F(Receive, WholeVolumeOfMixedUnitsRoundTripsAndTheVoxelSizeFollows) {
    Volume got(QELipc_ReceiveRawVolumeData());
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(payload(got.get()), payload(volume.get()));
    EXPECT_EQ(host->codes(), (std::vector<int>{211, 234, 221, 233, 235, 212}));
    EXPECT_FALSE(host->locked());
    EXPECT_EQ(QELipc_GetRetryCount(), QELipc_LONG_RETRY_COUNT);
    // Word 0 of the data-ready message is the voxel size, which the query then reports and
    // which empties the message board. The host's answer to 321 is not waited for.
    EXPECT_EQ(QELipc_GetVoxelSize(), 0.75f);
    int code;
    ASSERT_EQ(QELipc_ReadBoardInt(qel::ipc::client().mb, 0, &code), 0);
    EXPECT_EQ(code, QELipc_NO_VALUE);
    ASSERT_TRUE(host->wait_for_requests(7, 10000));
    EXPECT_EQ(host->codes().back(), QELipc_REQUEST_TYPE_GET_VOXEL_SIZE);

    // Back with a channel less and one changed: the host takes the whole record, keeps the
    // IDs of the channels that remain and publishes the new matrix.
    ASSERT_EQ(QEL_RemoveChannelFromRawVolumeData(got.get(), 7), 0);
    static_cast<uint8_t*>(got->data[0])[4] ^= 0xFF;
    host->clear_log();
    ASSERT_EQ(QELipc_TransferRawVolumeData(got.get()), 0);
    EXPECT_EQ(host->codes(), (std::vector<int>{222}));
    VolumePtr now = host->volume();
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(payload(now.get()), payload(got.get()));
    EXPECT_EQ(host->channel_ids(), (std::vector<int>(kIds.begin(), kIds.end() - 1)));
    int matrix[4];
    ASSERT_EQ(QELipc_GetVolumeMatrix(matrix), 0);
    EXPECT_EQ((std::vector<int>(matrix, matrix + 4)), (std::vector<int>{7, 3, 5, 7}));
    EXPECT_EQ(boards_of(host->server_id()), host_boards(host->server_id()));

    // Two channels more: they get IDs beyond every ID in use.
    ASSERT_EQ(QEL_AddChannelToRawVolumeData(got.get(), 6, 0), 0);
    ASSERT_EQ(QEL_AddChannelToRawVolumeData(got.get(), 0, 0), 0);
    ASSERT_EQ(QELipc_TransferRawVolumeData(got.get()), 0);
    EXPECT_EQ(host->channel_ids(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 17, 18}));
    EXPECT_EQ(host->codes(), (std::vector<int>{222, 222}));
}

TEST_F(Receive, CurrentAndGivenChannelsArriveWithTheirIds) {
    int id = 0;
    Volume current(QELipc_ReceiveCurrentChannel(&id));
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(id, 12);
    Volume expected(QEL_ExtractChannelOfRawVolumeData(volume.get(), 2));
    EXPECT_EQ(payload(current.get()), payload(expected.get()));
    EXPECT_EQ(host->codes(), (std::vector<int>{211, 234, 230, 233, 235, 212}));

    // One given channel: no lock, the ID in word 0 of 231.
    host->clear_log();
    Volume given(QELipc_ReceiveSingleChannel(-3));
    ASSERT_NE(given, nullptr);
    expected.reset(QEL_ExtractChannelOfRawVolumeData(volume.get(), 7));
    EXPECT_EQ(payload(given.get()), payload(expected.get()));
    auto log = host->log();
    ASSERT_EQ(host->codes(), (std::vector<int>{211, 231, 233, 212}));
    EXPECT_EQ(log[1].word(0), -3);
    EXPECT_EQ(boards_of(host->server_id()), host_boards(host->server_id()));
}

TEST_F(Receive, AServerHeldByAnotherClientGivesTheConnectionFailure) {
    host->set_connection(true, "Other");
    for (int kind = 0; kind < 4; ++kind) {
        qeltest::StderrCapture err;
        int id = 5;
        bool none = kind == 0   ? QELipc_ReceiveRawVolumeData() == nullptr
                    : kind == 1 ? QELipc_ReceiveCurrentChannel(&id) == nullptr
                    : kind == 2 ? QELipc_ReceiveSingleChannel(11) == nullptr
                                : QELipc_ReceiveRendered3DImage() == nullptr;
        EXPECT_TRUE(none);
        EXPECT_EQ(err.stop(), "Failed <QELipc_SendConnectionRequest>. Exit now.\n") << kind;
        EXPECT_EQ(id, 5);
    }
    // Nothing was posted, and the other client keeps the server.
    EXPECT_TRUE(host->codes().empty());
    EXPECT_EQ(host->connected_client(), "Other");
}

TEST_F(Receive, AMalformedDataBoardGivesTheDownloadFailureAndLeavesTheHostUnlocked) {
    // A header that claims far more than the board holds.
    std::vector<unsigned char> bad(24, 0);
    int32_t header[5] = {1000, 1000, 1000, 0, 0};
    std::memcpy(bad.data(), header, sizeof header);
    Faults f;
    f.dataBoard = bad;
    host->set_faults(f);
    int id = 0;
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_ReceiveCurrentChannel(&id), nullptr);
        EXPECT_EQ(err.stop(), "Failed <QELipc_DownloadSingleChannelRawVolumeData>. Exit now.\n");
    }
    EXPECT_EQ(id, 12);  // taken from the message before the download
    EXPECT_EQ(host->codes(), (std::vector<int>{211, 234, 230, 233, 235, 212}));
    EXPECT_FALSE(host->locked());
    EXPECT_FALSE(host->connected());
    EXPECT_EQ(boards_of(host->server_id()), host_boards(host->server_id()));

    // The whole volume and the image name their own download; a board that is missing
    // altogether (the host has no such channel) fails the same way.
    f.dataBoard = std::vector<unsigned char>{1, 2, 3};
    host->set_faults(f);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_ReceiveRawVolumeData(), nullptr);
        EXPECT_EQ(err.stop(), "Failed <QELipc_DownloadRawVolumeData>. Exit now.\n");
    }
    f.dataBoard = std::vector<unsigned char>(12, 0xFF);
    host->set_faults(f);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_ReceiveRendered3DImage(), nullptr);
        EXPECT_EQ(err.stop(), "Failed <QELipc_DownloadRawVolumeData>. Exit now.\n");
    }
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_ReceiveSingleChannel(99), nullptr);
        EXPECT_EQ(err.stop(), "Failed <QELipc_DownloadSingleChannelRawVolumeData>. Exit now.\n");
    }
    EXPECT_FALSE(host->locked());
    EXPECT_FALSE(host->connected());
    EXPECT_EQ(boards_of(host->server_id()), host_boards(host->server_id()));
}

TEST_F(Receive, ASlowHostIsWaitedForWithAWarningAfterEveryRetry) {
    // The data of 230 comes late, then the closing of the board is accepted late: the host
    // answers once the client has printed its first warning (stderr is the capture file).
    for (int code : {230, 233}) {
        SCOPED_TRACE(code);
        host->clear_log();
        Faults f;
        f.held = {code};
        host->set_faults(f);
        ipctest::PollCap cap(kFailingCap);
        qeltest::StderrCapture err;
        std::thread answer([&] {
            auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            struct stat st;
            while (std::chrono::steady_clock::now() < until &&
                   (fstat(STDERR_FILENO, &st) != 0 || st.st_size == 0))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            host->answer_held();
        });
        int id = 0;
        Volume got(QELipc_ReceiveCurrentChannel(&id));
        answer.join();
        std::string text = err.stop();
        ASSERT_NE(got, nullptr) << text;
        EXPECT_EQ(id, 12);
        const std::string warning = code == 230
                                        ? "<Warning> Server busy. To trying to send upload message\n"
                                        : "<Warning> Server busy. To trying to close data board\n";
        ASSERT_FALSE(text.empty());
        for (size_t at = 0; at < text.size(); at += warning.size())
            ASSERT_EQ(text.substr(at, warning.size()), warning);
        EXPECT_EQ(host->codes(), (std::vector<int>{211, 234, 230, 233, 235, 212}));
    }
}

TEST_F(Receive, FailuresAfterTheConnectionReleaseWhatWasTaken) {
    ipctest::PollCap cap(kFailingCap);
    Faults f;
    // The lock is refused: the client disconnects.
    f.held = {234};
    host->set_faults(f);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_ReceiveRawVolumeData(), nullptr);
        EXPECT_EQ(err.stop(), "Failed <QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA>. Exit now.\n");
    }
    EXPECT_EQ(host->codes(), (std::vector<int>{211, 234, 212}));
    EXPECT_FALSE(host->connected());

    // The unlock is not accepted: the volume already downloaded is deleted (the leak check
    // of the sanitizer build sees it), the client disconnects. (The lock that the client
    // gave up on is dropped unanswered: a late acceptance would answer the next lock.)
    host->clear_log();
    f.held = {235};
    host->set_faults(f);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_ReceiveRawVolumeData(), nullptr);
        EXPECT_EQ(err.stop(), "Missed <QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA>. Exit now.\n");
    }
    EXPECT_EQ(host->codes(), (std::vector<int>{211, 234, 221, 233, 235, 212}));
    EXPECT_FALSE(host->connected());

    // The host never lets go: both disconnection attempts fail, and the record goes too.
    host->clear_log();
    f.held = {212};
    host->set_faults(f);
    {
        qeltest::StderrCapture err;
        int id;
        EXPECT_EQ(QELipc_ReceiveCurrentChannel(&id), nullptr);
        EXPECT_EQ(err.stop(), "Failed <QELipc_SendDisconnectionRequest>. Exit now.\n");
    }
    EXPECT_EQ(host->codes(), (std::vector<int>{211, 234, 230, 233, 235, 212}));
    host->answer_held();
    EXPECT_FALSE(host->connected());
    EXPECT_FALSE(host->locked());
}
