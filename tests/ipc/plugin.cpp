// A real plug-in process against the test host, and a plug-in that dies.
#include <sys/stat.h>

#include <sstream>

#include "ipc/ipc_test.hpp"

using namespace ipctest;
using qel::testhost::Host;
using qel::testhost::HostState;

namespace {

const std::string kPlugin = std::string(QEL_BIN_DIR) + "/test_plugin_ipc_client";
// Bounded: a plug-in that hangs is killed and the test fails instead of waiting.
constexpr int kRunLimitMs = 120000;

class Plugin : public IpcTest {};

}  // namespace

TEST_F(Plugin, ConnectsReadsAndSetsTheStateAndDisconnects) {
    auto host = Host::start();
    ASSERT_NE(host, nullptr);
    int id = host->server_id();
    HostState s;
    s.volumeMatrix[0] = 1; s.volumeMatrix[1] = 2; s.volumeMatrix[2] = 3; s.volumeMatrix[3] = 4;
    s.cursor[0] = 10.5f; s.cursor[1] = 20.25f; s.cursor[2] = -30.0f;
    s.voiOrigin[0] = 5; s.voiOrigin[1] = 6; s.voiOrigin[2] = 7;
    s.voiSize[0] = 50; s.voiSize[1] = 60; s.voiSize[2] = 70;
    s.greyscale[0] = -1024.0f; s.greyscale[1] = 3071.5f;
    s.channelID = 300;
    for (int i = 0; i < 12; ++i) s.view[i] = static_cast<float>(i) - 5.5f;
    s.distance = 400.0f;
    s.viewAngle = 30.0f;
    s.int3[0] = 8; s.int3[1] = -9; s.int3[2] = 10;
    host->set_state(s);

    std::string output;
    EXPECT_EQ(qel::testhost::run_plugin(kPlugin, id, nullptr, kRunLimitMs, &output), 0) << output;

    // What the plug-in read is what the host published.
    std::ostringstream view;
    view << "view";
    for (int i = 0; i < 12; ++i) view << ' ' << s.view[i];
    view << " 400 30\n";
    EXPECT_EQ(output, "channel 300\n"
                      "cursor 10.5 20.25 -30\n"
                      "voi 5 6 7 50 60 70\n"
                      "grey -1024 3071.5\n" +
                          view.str() +
                          "matrix 1 2 3 4\n"
                          "int3 8 -9 10\n");

    // Exactly these requests, each once, from this plug-in.
    std::vector<int> expected = {211, 467, 465, 469, 470, 601, 212};
    EXPECT_EQ(host->codes(), expected);
    auto log = host->log();
    for (const auto& r : log) EXPECT_EQ(r.clientID, "IpcTestPlugin");
    ASSERT_EQ(log.size(), expected.size());
    EXPECT_EQ(log[1].word(0), 301);
    int voi[6] = {6, 6, 7, 50, 60, 72};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(log[2].word(i), voi[i]) << i;
    for (int i = 0; i < 12; ++i) EXPECT_EQ(log[3].real(i), -s.view[i]) << i;
    EXPECT_EQ(log[3].real(12), 800.0f);
    EXPECT_EQ(log[3].real(13), 31.0f);
    EXPECT_EQ(log[4].half_at(224), QELipc_APPLY_CURSOR_POSITION | QELipc_APPLY_GREYSCALE);
    EXPECT_EQ(log[4].real_at(72), 20.5f);
    EXPECT_EQ(log[4].word_at(160), -1);

    // The host's state after the run: every change, and nothing outside the mask.
    HostState end = host->state();
    EXPECT_EQ(end.channelID, 301);
    EXPECT_EQ(end.voiOrigin[0], 6);
    EXPECT_EQ(end.voiSize[2], 72);
    EXPECT_EQ(end.view[0], 5.5f);
    EXPECT_EQ(end.distance, 800.0f);
    EXPECT_EQ(end.viewAngle, 31.0f);
    EXPECT_EQ(end.cursor[0], 20.5f);
    EXPECT_EQ(end.cursor[1], 20.25f);
    EXPECT_EQ(end.greyscale[0], -1024.0f);
    EXPECT_EQ(end.greyscale[1], 3171.5f);
    EXPECT_FALSE(host->connected());

    host.reset();
    expect_no_boards(id);
}

TEST_F(Plugin, BoardsGoEvenWhenThePluginDies) {
    auto host = Host::start();
    ASSERT_NE(host, nullptr);
    int id = host->server_id();
    std::string output;
    int status = qel::testhost::run_plugin(kPlugin, id, "crash", kRunLimitMs, &output);
    EXPECT_EQ(status, 128 + SIGABRT) << output;
    EXPECT_EQ(host->codes(), std::vector<int>{211});
    // The plug-in's data board outlived it.
    struct stat st;
    EXPECT_EQ(stat(("/dev/shm/" + board_name("QEL_IPC_DB", id)).c_str(), &st), 0);
    host.reset();
    expect_no_boards(id);
}

TEST_F(Plugin, RunnerEndsAPluginThatRunsTooLong) {
    // /bin/sleep stands in for a plug-in that never ends: it is given the server ID as its
    // argument, and is killed at the limit.
    EXPECT_EQ(qel::testhost::run_plugin("/bin/sleep", 30, nullptr, 100, nullptr), -1);
    EXPECT_EQ(qel::testhost::run_plugin("/nonexistent/plugin", 1, nullptr, 100, nullptr), -1);
}
