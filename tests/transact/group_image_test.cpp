// Data-object groups and the rendered image against the test host.
#include "support/capture.hpp"
#include "transact/transact_test.hpp"

using namespace transact;
using qel::testhost::Faults;

namespace {

class Groups : public TransactTest {
protected:
    void SetUp() override {
        host = start_host();
        ASSERT_NE(host, nullptr);
        ASSERT_EQ(QELipc_InitializeClient("Grouper", host->server_id()), 0);
    }
    void TearDown() override {
        host.reset();
        TransactTest::TearDown();
    }
    std::unique_ptr<Host> host;
};

struct GroupFree {
    void operator()(QelDataObjectGroup* g) const { QEL_DeleteDataObjectGroup(g); }
};
using Group = std::unique_ptr<QelDataObjectGroup, GroupFree>;

// A sphere, a mesh of n triangles in a fan and a coloured point set.
Group new_group(int n, float shift) {
    Group g(QEL_NewDataObjectGroup(4));
    QelPoint3f centre{1.5f + shift, -2.0f, 3.25f};
    QelColor tint{0.5f, 0.25f, 1.0f, 0.75f};
    QEL_AddDataObjectToGroup(QEL_NewSphere(&centre, 4.0f), QEL_DATA_OBJECT_TYPE_SPHERE, &tint,
                             g.get());
    QelTriangularMesh* m = QEL_NewTriangularMesh(n, n + 2);
    m->nTriangles = n;
    m->nVertices = n + 2;
    for (int v = 0; v < n + 2; ++v) {
        m->vertices[v][0] = std::cos(v * 0.3f) + shift;
        m->vertices[v][1] = std::sin(v * 0.3f);
        m->vertices[v][2] = v == 0 ? 1.0f : 0.0f;
        m->vertexNormals[v][2] = 1.0f;
    }
    for (int t = 0; t < n; ++t) {
        m->triangles[t][0] = 0;
        m->triangles[t][1] = t + 1;
        m->triangles[t][2] = t + 2;
    }
    QEL_AddDataObjectToGroup(m, QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH, nullptr, g.get());
    QelPointSet* set = QEL_NewPointSet(3);
    QEL_AllocPointSetColors(set);
    set->count = 3;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 4; ++k) {
            if (k < 3) set->xyz[i][k] = static_cast<float>(i * 3 + k) - shift;
            set->rgba[i][k] = 0.125f * static_cast<float>(i + k);
        }
    QEL_AddDataObjectToGroup(set, QEL_DATA_OBJECT_TYPE_POINT_SET, nullptr, g.get());
    return g;
}

class Image : public Groups {};

}  // namespace

TEST_F(Groups, CreateUpdateAndDeleteReachTheHostByteForByte) {
    Group first = new_group(5, 0.0f);
    int id = 0;
    ASSERT_EQ(QELipc_CreateDataObjectGroup(first.get(), &id), 0);
    EXPECT_GT(id, 0);
    auto groups = host->groups();
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[id].payload, payload(first.get()));
    ASSERT_NE(groups[id].record, nullptr);
    EXPECT_EQ(payload(groups[id].record.get()), payload(first.get()));  // unpacks to the same
    auto log = host->log();
    ASSERT_EQ(host->codes(), (std::vector<int>{511, 512, 251}));
    EXPECT_EQ(log[1].word(0), id);
    EXPECT_EQ(host->renders(), 1);

    // A second group gets its own ID; updating the first leaves the second alone.
    Group second = new_group(2, 7.0f);
    int other = 0;
    ASSERT_EQ(QELipc_CreateDataObjectGroup(second.get(), &other), 0);
    EXPECT_NE(other, id);
    Group changed = new_group(40, -1.5f);
    host->clear_log();
    ASSERT_EQ(QELipc_UpdateDataObjectGroup(changed.get(), id), 0);
    log = host->log();
    ASSERT_EQ(host->codes(), (std::vector<int>{512, 251}));
    EXPECT_EQ(log[0].word(0), id);
    groups = host->groups();
    EXPECT_EQ(groups[id].payload, payload(changed.get()));
    EXPECT_EQ(groups[id].updates, 2);
    EXPECT_EQ(groups[other].payload, payload(second.get()));

    host->clear_log();
    ASSERT_EQ(QELipc_DeleteDataObjectGroup(id), 0);
    log = host->log();
    ASSERT_EQ(host->codes(), (std::vector<int>{514}));
    EXPECT_EQ(log[0].word(0), id);
    groups = host->groups();
    EXPECT_EQ(groups.count(id), 0u);
    EXPECT_EQ(groups.count(other), 1u);
    // The delete empties the message board after the acceptance.
    int code;
    ASSERT_EQ(QELipc_ReadBoardInt(qel::ipc::client().mb, 0, &code), 0);
    EXPECT_EQ(code, QELipc_NO_VALUE);
    EXPECT_EQ(boards_of(host->server_id()), host_boards(host->server_id()));
}

TEST_F(Groups, AnUpdateWaitsForItsOwnCompletionNotAnOldOne) {
    Group g = new_group(3, 0.0f);
    int id = 0;
    ASSERT_EQ(QELipc_CreateDataObjectGroup(g.get(), &id), 0);
    // A completion left on the board, then a host that never completes the update.
    ASSERT_EQ(QELipc_WriteBoardInt(qel::ipc::client().mb, 0, QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED), 0);
    Faults f;
    f.silent = {512};
    host->set_faults(f);
    ipctest::PollCap cap(kFailingCap);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_UpdateDataObjectGroup(g.get(), id), -1);
        EXPECT_EQ(err.stop(), "Missed <QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED>\n");
    }
    EXPECT_EQ(boards_of(host->server_id()), host_boards(host->server_id()));
}

TEST_F(Groups, FailuresReportAndCloseTheBoard) {
    ipctest::PollCap cap(kFailingCap);
    Group g = new_group(3, 0.0f);
    int id = -5;
    Faults f;
    f.silent = {511};
    host->set_faults(f);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_CreateDataObjectGroup(g.get(), &id), -1);
        EXPECT_EQ(err.stop(), "Missed <QELipc_MESSAGE_TYPE_DATA_OBJECT_GROUP_CREATED>\n");
    }
    EXPECT_EQ(id, -5);
    f.silent = {512};
    host->set_faults(f);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_CreateDataObjectGroup(g.get(), &id), -1);
        EXPECT_EQ(err.stop(), "Missed <QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED>\n");
    }
    EXPECT_EQ(host->groups().count(id), 1u);  // created; the client gave up on it
    EXPECT_EQ(boards_of(host->server_id()), host_boards(host->server_id()));
    // A group that cannot be packed is not sent.
    host->clear_log();
    EXPECT_EQ(QELipc_UpdateDataObjectGroup(nullptr, id), -1);
    EXPECT_EQ(QELipc_CreateDataObjectGroup(g.get(), nullptr), -1);
    EXPECT_TRUE(host->codes().empty());
}

TEST_F(Image, AFixedImageArrivesIntact) {
    QelSize3i size{9, 7, 3};
    int units[3] = {4, 0, 7};
    int attributes[3] = {2, 0, 0};
    QelRawImageData* image = QEL_NewRawImageData(&size, units, attributes);
    ASSERT_NE(image, nullptr);
    for (int c = 0; c < 3; ++c) {
        auto* bytes = static_cast<unsigned char*>(image->data[c]);
        int n = 63 * QEL_GetVoxelUnitSize(units[c]);
        for (int i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + c * 31);
    }
    host->set_image(image);
    QelRawImageData* got = QELipc_ReceiveRendered3DImage();
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(payload(got), payload(image));
    EXPECT_EQ(host->codes(), (std::vector<int>{211, 234, 253, 233, 235, 212}));
    EXPECT_FALSE(host->locked());
    QEL_DeleteRawImageData(got);
    QEL_DeleteRawImageData(image);
    EXPECT_EQ(boards_of(host->server_id()), host_boards(host->server_id()));
}

TEST_F(Image, WithoutAFixedImageTheHostRendersTheCurrentChannel) {
    // A 16-bit channel: the projection is the brightest voxel along z, stretched from the
    // channel's range onto 0..255, grey in packed RGBA.
    Volume v(new_volume(5, 4, 6, {0, 3}));
    host->set_volume(v.get(), {1, 2});
    HostState s = host->state();
    s.channelID = 2;
    host->set_state(s);
    ASSERT_EQ(QELipc_SendRequest(QELipc_REQUEST_TYPE_RENDER_3D_IMAGE, 1), 0);
    QelRawImageData* got = QELipc_ReceiveRendered3DImage();
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(got->size->nx, 5);
    ASSERT_EQ(got->size->ny, 4);
    ASSERT_EQ(got->size->nz, 1);
    EXPECT_EQ(got->unit[0], 4);
    EXPECT_EQ(got->attribute[0], 2);
    auto* values = static_cast<const int16_t*>(v->data[1]);
    double lo = values[0], hi = values[0];
    for (int i = 0; i < 120; ++i) {
        lo = std::min<double>(lo, values[i]);
        hi = std::max<double>(hi, values[i]);
    }
    auto* pixels = static_cast<const uint32_t*>(got->data[0]);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            double top = lo;
            for (int z = 0; z < 6; ++z) top = std::max<double>(top, values[x + 5 * (y + 4 * z)]);
            uint32_t g = static_cast<uint32_t>(std::lround((top - lo) * 255.0 / (hi - lo)));
            EXPECT_EQ(pixels[x + 5 * y], g << 24 | g << 16 | g << 8 | 255u) << x << ' ' << y;
        }
    EXPECT_EQ(host->renders(), 1);
    QEL_DeleteRawImageData(got);
}
