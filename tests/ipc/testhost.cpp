// The test host: its boards, its answers, and its log while the client busy-polls.
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <random>

#include "ipc/ipc_test.hpp"

using namespace ipctest;
using qel::testhost::Host;
using qel::testhost::HostState;

namespace {

class TestHost : public IpcTest {
protected:
    std::unique_ptr<Host> start_host() {
        auto h = Host::start();
        EXPECT_NE(h, nullptr);
        if (h) ids.push_back(h->server_id());
        return h;
    }
    void TearDown() override {
        IpcTest::TearDown();
        for (int id : ids) expect_no_boards(id);
    }
    std::vector<int> ids;
};

}  // namespace

TEST_F(TestHost, CreatesItsBoardsEmptyAndRemovesThemWhenItStops) {
    auto host = start_host();
    ASSERT_NE(host, nullptr);
    int id = host->server_id();
    auto objects = shm_objects_of(id);
    std::sort(objects.begin(), objects.end());
    EXPECT_EQ(objects, (std::vector<std::string>{board_name("QEL_IPC_BB", id),
                                                 board_name("QEL_IPC_MB", id),
                                                 board_name("QEL_IPC_RB", id)}));
    ASSERT_EQ(QELipc_InitializeClient("Starter", id), 0);
    EXPECT_EQ(QELipc_GetServerState(), QELipc_SERVER_STATE_FREE);
    QelBoard* mb = qel::ipc::client().mb;
    int word;
    ASSERT_EQ(QELipc_ReadBoardInt(mb, 0, &word), 0);
    EXPECT_EQ(word, QELipc_NO_VALUE);
    ASSERT_EQ(QELipc_ReadBoardInt(mb, 40, &word), 0);
    EXPECT_EQ(word, QELipc_NO_VALUE);
    QELipc_TerminateClient();

    // A data board of its server ID left behind by a plug-in goes with the host.
    QelBoard* db = QELipc_CreateBoard(board_name("QEL_IPC_DB", id).c_str(), 64);
    ASSERT_NE(db, nullptr);
    host->stop();
    EXPECT_TRUE(shm_objects_of(id).empty());
    QELipc_CloseBoard(db);  // its name is gone already; closing removes nothing else
    host->stop();           // a second stop does nothing
}

TEST_F(TestHost, ConnectsOneClientAtATime) {
    auto host = start_host();
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(QELipc_InitializeClient("First", host->server_id()), 0);
    ASSERT_EQ(QELipc_SendConnectionRequest(), 0);
    EXPECT_TRUE(host->connected());
    EXPECT_EQ(host->connected_client(), "First");
    EXPECT_EQ(QELipc_SendConnectionRequest(), -1);  // not free any more
    ASSERT_EQ(QELipc_SendDisconnectionRequest(), 0);
    EXPECT_FALSE(host->connected());
    ASSERT_EQ(QELipc_SendConnectionRequest(), 0);
    ASSERT_EQ(QELipc_SendDisconnectionRequest(), 0);
    EXPECT_EQ(host->codes(), (std::vector<int>{211, 212, 211, 212}));

    // Another client holds the server: this one can neither post nor end that connection.
    host->set_connection(true, "Second");
    EXPECT_EQ(QELipc_IsConnectedToMe(), 0);
    EXPECT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL, 1), -1);
    EXPECT_EQ(QELipc_SendDisconnectionRequest(), -1);
    EXPECT_TRUE(host->connected());
    EXPECT_EQ(host->codes().size(), 4u);
}

TEST_F(TestHost, ServesRequestsWithoutAConnectionAndLocks) {
    auto host = start_host();
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(QELipc_InitializeClient("Locker", host->server_id()), 0);
    ASSERT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA, 1), 0);
    EXPECT_TRUE(host->locked());
    ASSERT_EQ(QELipc_SetCurrentChannel(12), 0);
    ASSERT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA, 1), 0);
    EXPECT_FALSE(host->locked());
    EXPECT_EQ(host->codes(), (std::vector<int>{234, 467, 235}));
    EXPECT_EQ(host->state().channelID, 12);
}

TEST_F(TestHost, EveryRequestIsLoggedOnceWhileTheClientRepostsIt) {
    // A long run of requests with wait, each re-posted until accepted, in a random order with
    // random values: the log holds each exactly once, in order, with its own block.
    // Two requests of one code never follow each other here except the query, which empties
    // MB: a second request of the code just accepted would be answered by the acceptance
    // still shown, and RB keeps only the client's latest post.
    auto host = start_host();
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(QELipc_InitializeClient("Flood", host->server_id()), 0);
    ASSERT_EQ(QELipc_SendConnectionRequest(), 0);
    std::mt19937 rng(1234);
    std::vector<std::pair<int, int>> sent;  // code, word 0 (-1: not compared)
    int previous = 0;
    for (int i = 0; i < 300; ++i) {
        int kind;
        do kind = static_cast<int>(rng() % 5);
        while (kind == previous && kind != 2);
        previous = kind;
        int value = static_cast<int>(rng() % 1000) - 500;
        switch (kind) {
        case 0:
            ASSERT_EQ(QELipc_SetCurrentChannel(value), 0);
            sent.push_back({467, value});
            break;
        case 1: {
            QelPoint3i o{value, 1, 2};
            QelSize3i sz{3, 4, 5};
            QelBox3i box{&o, &sz};
            ASSERT_EQ(QELipc_SetVolumeOfInterest(&box), 0);
            sent.push_back({465, value});
            break;
        }
        case 2: {
            int three[3];
            ASSERT_EQ(QELipc_QueryInt3(three), 0);
            sent.push_back({601, -1});
            break;
        }
        case 3:
            ASSERT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA, 1), 0);
            sent.push_back({234, -1});
            break;
        default:
            ASSERT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA, 1), 0);
            sent.push_back({235, -1});
            break;
        }
    }
    ASSERT_EQ(QELipc_SendDisconnectionRequest(), 0);
    auto log = host->log();
    // Compared code by code first, so that a failure shows where the log went astray.
    std::vector<int> sent_codes = {211}, logged_codes;
    for (auto& s : sent) sent_codes.push_back(s.first);
    sent_codes.push_back(212);
    for (auto& r : log) logged_codes.push_back(r.code);
    EXPECT_EQ(logged_codes, sent_codes);
    ASSERT_EQ(log.size(), sent.size() + 2);
    EXPECT_EQ(log.front().code, 211);
    EXPECT_EQ(log.back().code, 212);
    for (size_t i = 0; i < sent.size(); ++i) {
        const auto& r = log[i + 1];
        EXPECT_EQ(r.code, sent[i].first) << i;
        if (sent[i].second != -1) {
            EXPECT_EQ(r.word(0), sent[i].second) << i;
        }
        EXPECT_EQ(r.clientID, "Flood");
    }
}

TEST_F(TestHost, SeveralHostsServeSideBySide) {
    std::vector<std::unique_ptr<Host>> hosts;
    for (int i = 0; i < 3; ++i) {
        hosts.push_back(start_host());
        ASSERT_NE(hosts.back(), nullptr);
    }
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(QELipc_InitializeClient("Visitor", hosts[i]->server_id()), 0);
        ASSERT_EQ(QELipc_SendConnectionRequest(), 0);
        ASSERT_EQ(QELipc_SetCurrentChannel(100 + i), 0);
        ASSERT_EQ(QELipc_SendDisconnectionRequest(), 0);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(hosts[i]->codes(), (std::vector<int>{211, 467, 212})) << i;
        EXPECT_EQ(hosts[i]->state().channelID, 100 + i);
    }
}

TEST_F(TestHost, RequestsOfTheCodeJustAcceptedAreTakenAsTheirOwn) {
    auto host = start_host();
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(QELipc_InitializeClient("Twice", host->server_id()), 0);
    for (int round = 0; round < 20; ++round) {
        host->clear_log();
        // A new block while the last acceptance of the code is still shown: the client
        // returns at its first test, and the host takes the request before the next one.
        ASSERT_EQ(QELipc_SetCurrentChannel(5), 0);
        ASSERT_EQ(QELipc_SetCurrentChannel(6), 0);
        ASSERT_TRUE(host->wait_for_requests(2, 10000));
        // The same block once the client has emptied MB: the client waits for its own
        // acceptance, and the host answers again.
        ASSERT_EQ(QELipc_ClearMessageBoard(), 0);
        ASSERT_EQ(QELipc_SetCurrentChannel(6), 0);
        ASSERT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA, 1), 0);
        auto log = host->log();
        ASSERT_EQ(log.size(), 4u) << round;
        EXPECT_EQ(log[0].word(0), 5);
        EXPECT_EQ(log[1].code, 467);
        EXPECT_EQ(log[1].word(0), 6);
        EXPECT_EQ(log[2].code, 467);
        EXPECT_EQ(log[2].word(0), 6);
        EXPECT_EQ(log[3].code, 234);
        EXPECT_EQ(host->state().channelID, 6);
    }
}
