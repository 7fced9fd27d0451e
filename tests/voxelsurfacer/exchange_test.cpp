// voxelsurfacer's exchange with the test host: the requests of start-up, meshing and
// quitting in their order, the group bytes the host receives, and the failure paths.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "objects/qel_mesh.h"
#include "support/capture.hpp"
#include "voxelsurfacer/session_support.hpp"

using namespace surfacertest;

namespace {

using Codes = std::vector<int>;

const std::string kDownload = ">> Establishing connection .......done.\n";

bool has_board(int id, const char* stem) {
    const auto found = ipctest::shm_objects_of(id);
    return std::find(found.begin(), found.end(), ipctest::board_name(stem, id)) != found.end();
}

class Exchange : public Session {};

TEST_F(Exchange, StartMeshAndQuitRunTheirRequestsInOrder) {
    qeltest::StderrCapture err;
    start();
    EXPECT_EQ(err.stop(), "IPC available (IPC Client initialization succeeded)\nAssigned object group ID: 1\n");
    MesherSettings* s = settings_.get();
    EXPECT_EQ(host_->codes(), Codes{511});  // no connection for the group
    EXPECT_EQ(s->groupId, 1);
    EXPECT_EQ(s->threshold, 100.0f);  // the middle of the host's window
    ASSERT_NE(s->group, nullptr);
    EXPECT_EQ(s->group->capacity, 16);
    EXPECT_EQ(s->group->count, 0);

    qeltest::StderrCapture meshing;
    char status[128] = "";
    ASSERT_EQ(ExecuteMeshing(s, status, sizeof status), 0);
    const std::string text = meshing.stop();
    EXPECT_EQ(text.rfind(kDownload, 0), 0u) << text;
    EXPECT_NE(text.find("send start... completed\n"), std::string::npos) << text;
    EXPECT_STREQ(status, " 12 triangles / 24 vertices");
    EXPECT_EQ(host_->codes(), (Codes{511, 211, 234, 230, 233, 235, 212, 512, 251}));
    for (const auto& r : host_->log()) {
        if (r.code == 211) { EXPECT_EQ(r.clientID, MESHER_CLIENT_NAME); }
    }
    EXPECT_EQ(host_->log()[7].word(0), 1);  // 512 names the group
    EXPECT_FALSE(host_->locked());
    EXPECT_FALSE(host_->connected());
    EXPECT_EQ(host_->renders(), 1);

    // The host holds exactly the program's group: one brick around voxel (2, 2, 2).
    auto groups = host_->groups();
    ASSERT_EQ(groups.count(1), 1u);
    EXPECT_EQ(groups[1].payload, transact::payload(s->group));
    const QelDataObjectGroup* got = groups[1].record.get();
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(got->count, 1);
    EXPECT_EQ(got->types[0], QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH);
    const auto* brick = static_cast<const QelTriangularMesh*>(got->objects[0]);
    ASSERT_EQ(brick->nVertices, 24);
    for (int i = 0; i < brick->nVertices; ++i)
        for (int a = 0; a < 3; ++a) EXPECT_TRUE(brick->vertices[i][a] == 1.5f || brick->vertices[i][a] == 2.5f);
    // The downloaded channel is the host's, byte for byte.
    ASSERT_NE(s->volume, nullptr);
    EXPECT_EQ(transact::channel_bytes(s->volume, 0), transact::channel_bytes(host_->volume().get(), 0));

    host_->clear_log();
    qeltest::StderrCapture quitting;
    CleanupMesherSettings(settings_.release());
    EXPECT_EQ(quitting.stop(), "");
    ASSERT_EQ(host_->codes(), Codes{514});
    EXPECT_EQ(host_->log()[0].word(0), 1);
    EXPECT_TRUE(host_->groups().empty());
    EXPECT_EQ(MesherIpcAvailable(), 0);
}

TEST_F(Exchange, EveryPressDownloadsAfreshAndSendsTheNewestGroup) {
    start();
    const auto empty = transact::payload(settings_->group);
    char status[128];
    // A run that makes no group sends the start-up group.
    settings_->gradientMode = 999;
    ASSERT_EQ(ExecuteMeshing(settings_.get(), status, sizeof status), 0);
    EXPECT_STREQ(status, " 0 triangles / 0 vertices");
    EXPECT_EQ(host_->groups().at(1).payload, empty);

    // Two face neighbours: the face they share belongs to neither brick.
    settings_->gradientMode = MESHER_GRADIENT_UNUSE;
    show(grey_voxels(6, {{2, 3, 3}, {3, 3, 3}}).get(), 0.0f, 200.0f);
    ASSERT_EQ(ExecuteMeshing(settings_.get(), status, sizeof status), 0);
    EXPECT_STREQ(status, " 20 triangles / 40 vertices");
    EXPECT_EQ(settings_->volume->size->nx, 6);
    EXPECT_EQ(transact::channel_bytes(settings_->volume, 0), transact::channel_bytes(host_->volume().get(), 0));
    const auto groups = host_->groups();
    EXPECT_EQ(groups.at(1).updates, 2);
    EXPECT_EQ(groups.at(1).payload, transact::payload(settings_->group));
}

TEST_F(Exchange, FailedDownloadsSayWhyAndLeaveTheHostFree) {
    start();
    ipctest::PollCap cap(2000);
    MesherSettings* s = settings_.get();
    char status[128] = "unchanged";

    // The host names no channel: it is asked to close its board and unlock before the
    // program lets go of it.
    auto state = host_->state();
    state.channelID = 99;
    host_->set_state(state);
    host_->clear_log();
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(ExecuteMeshing(s, status, sizeof status), -1);
        EXPECT_EQ(err.stop(), ">> Establishing connection .....Failed <Invalid Channel>. Exit now.\n");
    }
    EXPECT_EQ(host_->codes(), (Codes{211, 234, 230, 233, 235, 212}));
    EXPECT_FALSE(host_->locked());
    EXPECT_FALSE(host_->connected());
    EXPECT_EQ(s->volume, nullptr);
    EXPECT_STREQ(status, "unchanged");

    // Another client holds the host.
    host_->set_connection(true, "someone else");
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(DownloadCurrentChannel(s), -1);
        EXPECT_EQ(err.stop(), ">> Establishing connection .Failed <QELipc_SendConnectionRequest>. Exit now.\n");
    }
    host_->set_connection(false, "");

    // The host never takes the lock.
    qel::testhost::Faults faults;
    faults.held = {234};
    host_->set_faults(faults);
    host_->clear_log();
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(DownloadCurrentChannel(s), -1);
        EXPECT_EQ(err.stop(), ">> Establishing connection ..Failed <QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA>. Exit now.\n");
    }
    EXPECT_EQ(host_->codes(), (Codes{211, 234, 212}));
    EXPECT_FALSE(host_->connected());
}

// Whether what this process has written to stderr so far (a capture's file) holds the text.
bool stderr_holds(const char* text) {
    std::ifstream f("/proc/self/fd/2");
    const std::string written((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    return written.find(text) != std::string::npos;
}

TEST_F(Exchange, ASlowHostGetsOneWarningPerRepeatedWait) {
    start();
    ipctest::PollCap cap(2000);
    qel::testhost::Faults faults;
    faults.held = {230};
    host_->set_faults(faults);
    host_->clear_log();
    // The host fills its board only once the program has waited in vain (its warning is in the
    // captured stderr), however long one wait takes on this machine.
    std::thread late([&] {
        if (host_->wait_for_requests(3, 10000))
            for (int i = 0; i < 2000 && !stderr_holds("Server busy"); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        host_->answer_held();
    });
    qeltest::StderrCapture err;
    const int rc = DownloadCurrentChannel(settings_.get());
    const std::string text = err.stop();
    late.join();
    EXPECT_EQ(rc, 0);
    const std::regex expected(
        ">> Establishing connection \\.\\.\\.\\.(<Warning> Server busy\\. To trying to send upload message\n)+"
        "\\.\\.\\.done\\.\n");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;
    EXPECT_NE(settings_->volume, nullptr);
    EXPECT_EQ(host_->codes(), (Codes{211, 234, 230, 233, 235, 212}));
}

TEST_F(Exchange, GroupFailures) {
    ipctest::PollCap cap(2000);
    qel::testhost::Faults faults;
    faults.silent = {511};
    host_->set_faults(faults);
    InitializeMesherIpc(host_->server_id());
    settings_.reset(NewMesherSettings(host_->server_id()));
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(StartMesherSession(settings_.get()), -1);
        EXPECT_EQ(err.stop(), "Missed <QELipc_MESSAGE_TYPE_DATA_OBJECT_GROUP_CREATED>\n");
    }
    EXPECT_EQ(settings_->groupId, -1);

    // Without a group in the host nothing is sent.
    ASSERT_EQ(NewEmptyMeshGroup(settings_.get()), 0);
    host_->clear_log();
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(UploadMeshObjectGroup(settings_.get()), -1);
        EXPECT_EQ(err.stop(), "send start... ");
    }
    EXPECT_TRUE(host_->codes().empty());

    // The host never reports reading the board: no redraw; the board stays for the host
    // until the program ends.
    host_->set_faults({});
    ASSERT_EQ(CreateMeshObjectGroup(settings_.get()), 0);
    faults.silent = {512};
    host_->set_faults(faults);
    host_->clear_log();
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(UploadMeshObjectGroup(settings_.get()), -1);
        EXPECT_EQ(err.stop(), "send start... Missed <QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED>\n");
    }
    EXPECT_EQ(host_->codes(), Codes{512});
    EXPECT_TRUE(has_board(host_->server_id(), "QEL_IPC_DB"));
    CleanupMesherSettings(settings_.release());
    EXPECT_FALSE(has_board(host_->server_id(), "QEL_IPC_DB"));
    EXPECT_EQ(host_->codes(), (Codes{512, 514}));
}

TEST_F(Exchange, ImportThresholdTakesTheHostWindowUnlessTheChannelIsRgba) {
    show(rgba_voxel(5).get(), 10.0f, 51.0f);
    start();
    MesherSettings* s = settings_.get();
    char status[128];
    // Nothing downloaded yet: the threshold comes from the window whatever the channel.
    s->threshold = 0.0f;
    ASSERT_EQ(ImportThreshold(s, status, sizeof status), 0);
    EXPECT_EQ(s->threshold, 30.5f);
    EXPECT_STREQ(status, " T=30.50. Push button for re-meshing.");

    ASSERT_EQ(ExecuteMeshing(s, status, sizeof status), 0);
    EXPECT_STREQ(status, " 12 triangles / 24 vertices");
    auto state = host_->state();
    state.greyscale[1] = 90.0f;
    host_->set_state(state);
    std::strcpy(status, "unchanged");
    EXPECT_EQ(ImportThreshold(s, status, sizeof status), 1);
    EXPECT_EQ(s->threshold, 30.5f);
    EXPECT_STREQ(status, "unchanged");

    // A grey channel again.
    show(grey_voxels(5, {{1, 1, 1}}).get(), -4.0f, 1000.0f);
    ASSERT_EQ(ExecuteMeshing(s, status, sizeof status), 0);
    ASSERT_EQ(ImportThreshold(s, status, sizeof status), 0);
    EXPECT_EQ(s->threshold, 498.0f);
    EXPECT_STREQ(status, " T=498.00. Push button for re-meshing.");
}

TEST(MesherArguments, ServerIdAndValueTexts) {
    int id = -5;
    char prog[] = "voxelsurfacer", one[] = "12", two[] = "3";
    char* none[] = {prog, nullptr};
    char* both[] = {prog, one, two, nullptr};
    EXPECT_EQ(ParseMesherArguments(1, none, &id), 0);
    EXPECT_EQ(ParseMesherArguments(3, both, &id), 0);
    EXPECT_EQ(id, -5);
    const struct {
        const char* arg;
        int id;
    } ids[] = {{"12", 12}, {" -7x", -7}, {"abc", 0}, {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}};
    for (const auto& c : ids) {
        char* argv[] = {prog, const_cast<char*>(c.arg), nullptr};
        EXPECT_EQ(ParseMesherArguments(2, argv, &id), 1) << c.arg;
        EXPECT_EQ(id, c.id) << c.arg;
    }

    // What the dialogs read: a number is kept as it is, anything else changes nothing.
    float f = 1.0f;
    ReadFloatSetting("0.25", &f);
    EXPECT_EQ(f, 0.25f);
    ReadFloatSetting("-3e2 and more", &f);
    EXPECT_EQ(f, -300.0f);
    ReadFloatSetting("abc", &f);
    EXPECT_EQ(f, -300.0f);
    int n = 1;
    ReadIntSetting("300", &n);
    EXPECT_EQ(n, 300);
    ReadIntSetting("-2.9", &n);
    EXPECT_EQ(n, -2);
    ReadIntSetting("x1", &n);
    EXPECT_EQ(n, -2);
    ReadIntSetting("4294967297", &n);
    EXPECT_EQ(n, INT_MAX);
}

}  // namespace
