// The broadcast record, its board layout, and the getters and setters against the test host.
#include <cmath>
#include <memory>

#include "ipc/ipc_test.hpp"
#include "support/capture.hpp"

using namespace ipctest;
using qel::testhost::Host;
using qel::testhost::HostState;
using qel::testhost::Request;

namespace {

int32_t word_at(const unsigned char* p, int offset) {
    int32_t v;
    std::memcpy(&v, p + offset, 4);
    return v;
}
float float_at(const unsigned char* p, int offset) {
    float v;
    std::memcpy(&v, p + offset, 4);
    return v;
}
uint32_t bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// The byte ranges of the board layout, as published: matrix, cursor, volume of interest,
// grey window, channel, view with distance and angle.
bool in_layout(int offset) {
    return (offset >= 40 && offset < 56) || (offset >= 72 && offset < 84) ||
           (offset >= 96 && offset < 120) || (offset >= 144 && offset < 152) ||
           (offset >= 160 && offset < 164) || (offset >= 168 && offset < 224);
}

// A state in which every item differs from every other and from the defaults.
HostState distinct_state() {
    HostState s;
    s.volumeMatrix[0] = 11; s.volumeMatrix[1] = -12; s.volumeMatrix[2] = 13; s.volumeMatrix[3] = 14;
    s.cursor[0] = 1.5f; s.cursor[1] = -2.25f; s.cursor[2] = 3.125f;
    s.voiOrigin[0] = 4; s.voiOrigin[1] = 5; s.voiOrigin[2] = 6;
    s.voiSize[0] = 70; s.voiSize[1] = 80; s.voiSize[2] = 90;
    s.greyscale[0] = -100.5f; s.greyscale[1] = 4095.75f;
    s.channelID = 300;
    for (int i = 0; i < 12; ++i) s.view[i] = 0.1f * static_cast<float>(i + 1) - 0.35f;
    s.distance = 512.5f;
    s.viewAngle = 33.0f;
    return s;
}

class StateTest : public IpcTest {
protected:
    void SetUp() override {
        host = Host::start();
        ASSERT_NE(host, nullptr);
        ASSERT_EQ(QELipc_InitializeClient("StateTest", host->server_id()), 0);
    }
    void TearDown() override {
        IpcTest::TearDown();
        if (!host) return;
        int id = host->server_id();
        host.reset();
        expect_no_boards(id);
    }
    Request only_request(int code) {
        EXPECT_TRUE(host->wait_for_requests(1, 10000));
        auto log = host->log();
        EXPECT_EQ(log.size(), 1u);
        EXPECT_EQ(log.empty() ? 0 : log[0].code, code);
        host->clear_log();
        return log.empty() ? Request{} : log[0];
    }

    std::unique_ptr<Host> host;
};

using Broadcaster = IpcTest;

}  // namespace

TEST_F(Broadcaster, NewRecordHasTheDocumentedStart) {
    QelBroadcaster* r = QELipc_NewBroadcaster();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->state, QELipc_NO_VALUE);
    ASSERT_NE(r->text, nullptr);
    EXPECT_EQ(r->text[33], 0);
    EXPECT_EQ(r->text[34], 0);
    EXPECT_EQ(r->text[35], 0);
    EXPECT_EQ(r->greyscale->min, 0.0f);
    EXPECT_EQ(r->greyscale->max, 0.0f);
    EXPECT_EQ(r->volumeMatrix->nx | r->volumeMatrix->ny | r->volumeMatrix->nz |
                  r->volumeMatrix->nChannels, 0);
    EXPECT_EQ(r->channelID, 0);
    EXPECT_EQ(r->cursor->x, 0.0f);
    EXPECT_EQ(r->volumeOfInterest->origin->x | r->volumeOfInterest->origin->y |
                  r->volumeOfInterest->origin->z, 0);
    EXPECT_EQ(r->volumeOfInterest->size->nx, 1);
    EXPECT_EQ(r->volumeOfInterest->size->ny, 1);
    EXPECT_EQ(r->volumeOfInterest->size->nz, 1);
    QELipc_DeleteBroadcaster(r);
    QELipc_DeleteBroadcaster(nullptr);
}

TEST_F(Broadcaster, PackAndUnpackKeepEveryBitAtItsOffset) {
    // A distinct byte at every offset (37 is odd, so i -> 37 i + 11 is one-to-one mod 256);
    // some words are NaN patterns, which must survive bit for bit as well.
    unsigned char board[224];
    for (int i = 0; i < 224; ++i) board[i] = static_cast<unsigned char>(37 * i + 11);
    QelBroadcaster* r = QELipc_NewBroadcaster();
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(QELipc_UnpackBroadcaster(board, r), 0);
    EXPECT_EQ(r->state, QELipc_NO_VALUE);  // not part of the layout
    EXPECT_EQ(r->volumeMatrix->nx, word_at(board, 40));
    EXPECT_EQ(r->volumeMatrix->ny, word_at(board, 44));
    EXPECT_EQ(r->volumeMatrix->nz, word_at(board, 48));
    EXPECT_EQ(r->volumeMatrix->nChannels, word_at(board, 52));
    EXPECT_EQ(bits(r->cursor->x), bits(float_at(board, 72)));
    EXPECT_EQ(bits(r->cursor->y), bits(float_at(board, 76)));
    EXPECT_EQ(bits(r->cursor->z), bits(float_at(board, 80)));
    EXPECT_EQ(r->volumeOfInterest->origin->x, word_at(board, 96));
    EXPECT_EQ(r->volumeOfInterest->origin->y, word_at(board, 100));
    EXPECT_EQ(r->volumeOfInterest->origin->z, word_at(board, 104));
    EXPECT_EQ(r->volumeOfInterest->size->nx, word_at(board, 108));
    EXPECT_EQ(r->volumeOfInterest->size->ny, word_at(board, 112));
    EXPECT_EQ(r->volumeOfInterest->size->nz, word_at(board, 116));
    EXPECT_EQ(bits(r->greyscale->min), bits(float_at(board, 144)));
    EXPECT_EQ(bits(r->greyscale->max), bits(float_at(board, 148)));
    EXPECT_EQ(r->channelID, word_at(board, 160));
    for (int i = 0; i < 12; ++i) EXPECT_EQ(bits(r->view[i]), bits(float_at(board, 168 + 4 * i)));
    EXPECT_EQ(bits(r->distance), bits(float_at(board, 216)));
    EXPECT_EQ(bits(r->viewAngle), bits(float_at(board, 220)));

    // Packed into a block: the layout comes back, every other byte is left alone.
    unsigned char block[464];
    std::memset(block, 0xEE, sizeof block);
    ASSERT_EQ(QELipc_PackBroadcaster(block, r), 0);
    for (int i = 0; i < 464; ++i) {
        if (in_layout(i)) {
            EXPECT_EQ(block[i], board[i]) << "byte " << i;
        } else {
            EXPECT_EQ(block[i], 0xEE) << "byte " << i;
        }
    }
    EXPECT_EQ(QELipc_UnpackBroadcaster(nullptr, r), -1);
    EXPECT_EQ(QELipc_UnpackBroadcaster(board, nullptr), -1);
    EXPECT_EQ(QELipc_PackBroadcaster(nullptr, r), -1);
    EXPECT_EQ(QELipc_PackBroadcaster(block, nullptr), -1);
    QELipc_DeleteBroadcaster(r);
}

TEST_F(StateTest, GettersReadWhatTheHostPublishes) {
    HostState s = distinct_state();
    host->set_state(s);

    int channel = 0;
    ASSERT_EQ(QELipc_GetCurrentChannel(&channel), 0);
    EXPECT_EQ(channel, 300);
    float cursor[3];
    ASSERT_EQ(QELipc_GetCursorPosition(cursor), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(cursor[i], s.cursor[i]);
    float view[12], distance, angle;
    ASSERT_EQ(QELipc_GetViewParameters(view, &distance, &angle), 0);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(view[i], s.view[i]);
    EXPECT_EQ(distance, s.distance);
    EXPECT_EQ(angle, s.viewAngle);
    QelValueRange grey;
    ASSERT_EQ(QELipc_GetCurrentGreyscale(&grey), 0);
    EXPECT_EQ(grey.min, s.greyscale[0]);
    EXPECT_EQ(grey.max, s.greyscale[1]);
    int matrix[4];
    ASSERT_EQ(QELipc_GetVolumeMatrix(matrix), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(matrix[i], s.volumeMatrix[i]);

    // The caller's origin and size records are written into, not replaced.
    QelPoint3i origin{-1, -1, -1};
    QelSize3i size{-1, -1, -1};
    QelBox3i box{&origin, &size};
    ASSERT_EQ(QELipc_GetVolumeOfInterest(&box), 0);
    EXPECT_EQ(box.origin, &origin);
    EXPECT_EQ(box.size, &size);
    EXPECT_EQ(origin.x, 4);
    EXPECT_EQ(origin.z, 6);
    EXPECT_EQ(size.nx, 70);
    EXPECT_EQ(size.nz, 90);

    // The whole record, and the global one that every getter refreshes.
    QelBroadcaster* r = QELipc_GetBroadcaster();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->channelID, 300);
    EXPECT_EQ(r->volumeOfInterest->size->ny, 80);
    QELipc_DeleteBroadcaster(r);
    EXPECT_EQ(qel::ipc::client().broadcaster->channelID, 300);
    EXPECT_EQ(qel::ipc::client().broadcaster->greyscale->max, s.greyscale[1]);
    EXPECT_TRUE(host->log().empty());  // reading the state posts nothing
}

TEST_F(StateTest, GettersRefuseMissingOutputsAndLeaveOutputsOnFailure) {
    float f3[3], f12[12], d, a;
    QelPoint3i origin;
    QelBox3i half{&origin, nullptr};
    EXPECT_EQ(QELipc_GetCurrentChannel(nullptr), -1);
    EXPECT_EQ(QELipc_GetCursorPosition(nullptr), -1);
    EXPECT_EQ(QELipc_GetViewParameters(nullptr, &d, &a), -1);
    EXPECT_EQ(QELipc_GetViewParameters(f12, nullptr, &a), -1);
    EXPECT_EQ(QELipc_GetViewParameters(f12, &d, nullptr), -1);
    EXPECT_EQ(QELipc_GetVolumeOfInterest(nullptr), -1);
    EXPECT_EQ(QELipc_GetVolumeOfInterest(&half), -1);
    EXPECT_EQ(QELipc_GetCurrentGreyscale(nullptr), -1);
    EXPECT_EQ(QELipc_GetVolumeMatrix(nullptr), -1);

    // Without boards the read fails and the output keeps its value.
    QELipc_TerminateClient();
    f3[0] = 42.0f;
    EXPECT_EQ(QELipc_GetCursorPosition(f3), -1);
    EXPECT_EQ(f3[0], 42.0f);
    EXPECT_EQ(QELipc_RefreshBroadcaster(), -1);
    EXPECT_EQ(QELipc_ReadBroadcastBoard(nullptr), -1);
}

TEST_F(StateTest, SettersPostTheirWordsAtTheirOffsets) {
    ASSERT_EQ(QELipc_SetCurrentChannel(-7), 0);
    Request r = only_request(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL);
    EXPECT_EQ(r.clientID, "StateTest");
    EXPECT_EQ(r.word(0), -7);
    for (int i = 1; i < 116; ++i) EXPECT_EQ(r.word(i), 0) << i;
    EXPECT_EQ(host->state().channelID, -7);

    QelPoint3i origin{1, 2, 3};
    QelSize3i size{40, 50, 60};
    QelBox3i box{&origin, &size};
    ASSERT_EQ(QELipc_SetVolumeOfInterest(&box), 0);
    r = only_request(QELipc_REQUEST_TYPE_SET_VOLUME_OF_INTEREST);
    int expected[6] = {1, 2, 3, 40, 50, 60};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(r.word(i), expected[i]);
    EXPECT_EQ(r.word(6), 0);
    EXPECT_EQ(host->state().voiSize[2], 60);

    float view[12];
    for (int i = 0; i < 12; ++i) view[i] = -1.0f + 0.25f * static_cast<float>(i);
    ASSERT_EQ(QELipc_SetViewParameters(view, 99.5f, 12.0f), 0);
    r = only_request(QELipc_REQUEST_TYPE_SET_VIEW_PARAMETERS);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(r.real(i), view[i]);
    EXPECT_EQ(r.real(12), 99.5f);
    EXPECT_EQ(r.real(13), 12.0f);
    EXPECT_EQ(r.word(14), 0);
    EXPECT_EQ(host->state().view[11], view[11]);
    EXPECT_EQ(host->state().viewAngle, 12.0f);

    // Cursor and grey window send the caller's whole block.
    QelIpcParameterBlock block;
    for (int i = 0; i < 116; ++i) block.word[i] = 0x01000000 * (i % 7) + i;
    qel::ipc::set_block_float(block, 0, 10.5f);
    qel::ipc::set_block_float(block, 1, 20.5f);
    qel::ipc::set_block_float(block, 2, 30.5f);
    ASSERT_EQ(QELipc_SetCursorPosition(&block), 0);
    r = only_request(QELipc_REQUEST_TYPE_SET_CURSOR_POSITION);
    EXPECT_EQ(std::memcmp(&r.block, &block, sizeof block), 0);
    EXPECT_EQ(host->state().cursor[2], 30.5f);
    ASSERT_EQ(QELipc_SetCurrentGreyscale(&block), 0);
    r = only_request(QELipc_REQUEST_TYPE_SET_GREYSCALE);
    EXPECT_EQ(std::memcmp(&r.block, &block, sizeof block), 0);
    EXPECT_EQ(host->state().greyscale[1], 20.5f);

    // The host keeps BB current: the getters see every change.
    int channel;
    ASSERT_EQ(QELipc_GetCurrentChannel(&channel), 0);
    EXPECT_EQ(channel, -7);
    float cursor[3];
    ASSERT_EQ(QELipc_GetCursorPosition(cursor), 0);
    EXPECT_EQ(cursor[0], 10.5f);

    EXPECT_EQ(QELipc_SetVolumeOfInterest(nullptr), -1);
    EXPECT_EQ(QELipc_SetViewParameters(nullptr, 1, 1), -1);
    EXPECT_EQ(QELipc_SetCursorPosition(nullptr), -1);
    EXPECT_EQ(QELipc_SetCurrentGreyscale(nullptr), -1);
    EXPECT_EQ(QELipc_SetState(nullptr, 31), -1);
    EXPECT_TRUE(host->log().empty());
}

TEST_F(StateTest, SetStateSendsTheWholeRecordAndTheHostAppliesTheMask) {
    HostState before = distinct_state();
    host->set_state(before);
    QelBroadcaster* r = QELipc_NewBroadcaster();
    ASSERT_NE(r, nullptr);
    r->cursor->x = -1.0f; r->cursor->y = -2.0f; r->cursor->z = -3.0f;
    r->channelID = 9;
    r->greyscale->min = 5.0f; r->greyscale->max = 6.0f;
    r->volumeOfInterest->origin->y = 77;
    r->volumeMatrix->nChannels = 8;
    for (int i = 0; i < 12; ++i) r->view[i] = static_cast<float>(i);
    r->distance = 2.0f;
    r->viewAngle = 3.0f;
    unsigned char layout[464] = {};
    ASSERT_EQ(QELipc_PackBroadcaster(layout, r), 0);

    struct Case {
        uint16_t mask;
    } cases[] = {{QELipc_APPLY_CURSOR_POSITION}, {QELipc_APPLY_CHANNEL_ID}, {QELipc_APPLY_GREYSCALE},
                 {QELipc_APPLY_VOLUME_OF_INTEREST}, {QELipc_APPLY_VIEW_PARAMETERS}, {0}, {31}};
    for (const Case& c : cases) {
        host->set_state(before);
        ASSERT_EQ(QELipc_SetState(r, c.mask), 0) << c.mask;
        Request q = only_request(QELipc_REQUEST_TYPE_SET_STATE);
        auto* sent = reinterpret_cast<const unsigned char*>(&q.block);
        EXPECT_EQ(std::memcmp(sent + 40, layout + 40, 184), 0);
        EXPECT_EQ(q.half_at(224), c.mask);
        for (int i = 0; i < 464; ++i)
            if (!in_layout(i) && i != 224 && i != 225) {
                EXPECT_EQ(sent[i], 0) << "byte " << i;
            }

        HostState s = host->state();
        bool cur = c.mask & 1, ch = c.mask & 2, gr = c.mask & 4, voi = c.mask & 8, vw = c.mask & 16;
        EXPECT_EQ(s.cursor[2], cur ? -3.0f : before.cursor[2]) << c.mask;
        EXPECT_EQ(s.channelID, ch ? 9 : before.channelID) << c.mask;
        EXPECT_EQ(s.greyscale[0], gr ? 5.0f : before.greyscale[0]) << c.mask;
        EXPECT_EQ(s.voiOrigin[1], voi ? 77 : before.voiOrigin[1]) << c.mask;
        EXPECT_EQ(s.voiSize[0], voi ? 1 : before.voiSize[0]) << c.mask;
        EXPECT_EQ(s.view[5], vw ? 5.0f : before.view[5]) << c.mask;
        EXPECT_EQ(s.distance, vw ? 2.0f : before.distance) << c.mask;
        // The volume matrix travels with the record but is no item of the mask.
        EXPECT_EQ(s.volumeMatrix[3], before.volumeMatrix[3]) << c.mask;
    }
    QELipc_DeleteBroadcaster(r);
}

TEST_F(StateTest, VoxelSize) {
    ASSERT_EQ(QELipc_SetVoxelSize(2.5f), 0);
    Request r = only_request(QELipc_REQUEST_TYPE_SET_VOXEL_SIZE);
    EXPECT_EQ(r.real(0), 2.5f);
    EXPECT_EQ(host->state().voxelSize, 2.5f);

    // The size is word 0 of the block last read from MB; the host's answer is not read,
    // and the message board is emptied.
    QelIpcParameterBlock block{};
    qel::ipc::set_block_float(block, 0, 1.75f);
    QELipc_SetParameterBlock(&block);
    EXPECT_EQ(QELipc_GetVoxelSize(), 1.75f);
    only_request(QELipc_REQUEST_TYPE_GET_VOXEL_SIZE);
    EXPECT_EQ(QELipc_ReadMessage(), QELipc_NO_VALUE);

    // While another client is connected nothing is posted.
    host->set_connection(true, "Other");
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_GetVoxelSize(), -1.0f);
        EXPECT_EQ(QELipc_SetVoxelSize(3.0f), -1);
        EXPECT_EQ(err.stop(), "Missed <QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED>\n"
                              "Missed <QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED>\n");
    }
    EXPECT_TRUE(host->log().empty());
}

TEST_F(StateTest, QueryInt3TakesTheAnswerFromTheAcceptance) {
    HostState s;
    s.int3[0] = 7;
    s.int3[1] = -8;
    s.int3[2] = 2147483647;
    host->set_state(s);
    int out[3] = {0, 0, 0};
    ASSERT_EQ(QELipc_QueryInt3(out), 0);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[1], -8);
    EXPECT_EQ(out[2], 2147483647);
    only_request(QELipc_REQUEST_TYPE_QUERY_INT3);
    EXPECT_EQ(QELipc_ReadMessage(), QELipc_NO_VALUE);  // cleared after reading
    EXPECT_EQ(QELipc_QueryInt3(nullptr), -1);

    // Not posted while another client is connected: -1, the missed acceptance and no request.
    host->set_connection(true, "Other");
    out[0] = 99;
    qeltest::StderrCapture err;
    EXPECT_EQ(QELipc_QueryInt3(out), -1);
    EXPECT_EQ(err.stop(), "Missed <QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED>\n");
    EXPECT_EQ(out[0], 99);
    EXPECT_TRUE(host->log().empty());
}

TEST_F(StateTest, QueryInt3WithoutAnAnswerPrintsItsMessage) {
    RawBoards silent;  // nobody serves these boards
    ASSERT_EQ(QELipc_InitializeClient("StateTest", silent.id()), 0);
    RawBoards::put(silent.mb(), 0, QELipc_NO_VALUE);
    PollCap cap(5);
    int out[3] = {1, 2, 3};
    qeltest::StderrCapture err;
    EXPECT_EQ(QELipc_QueryInt3(out), -1);
    EXPECT_EQ(err.stop(), "Missed <QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED>\n");
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(RawBoards::get(silent.rb(), 0), QELipc_REQUEST_TYPE_QUERY_INT3);
}

TEST_F(StateTest, SettersFailWhenTheHostDoesNotAccept) {
    RawBoards silent;
    ASSERT_EQ(QELipc_InitializeClient("StateTest", silent.id()), 0);
    PollCap cap(5);
    QelBroadcaster* r = QELipc_NewBroadcaster();
    EXPECT_EQ(QELipc_SetState(r, 1), -1);
    EXPECT_EQ(QELipc_SetCurrentChannel(1), -1);
    QELipc_DeleteBroadcaster(r);
    // A broadcast board too small for the state: the getters fail, the state word reads.
    RawBoards small(100, 512, 512);
    ASSERT_EQ(QELipc_InitializeClient("StateTest", small.id()), 0);
    int channel = 5;
    EXPECT_EQ(QELipc_GetCurrentChannel(&channel), -1);
    EXPECT_EQ(channel, 5);
    EXPECT_EQ(QELipc_GetServerState(), 0);
}
