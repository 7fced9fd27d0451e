// Runs as a whole: the lines each pipeline writes, the group that replaces the previous one,
// and the runs that are refused and leave it in place.
#include <gtest/gtest.h>

#include <cmath>

#include "ipc/qel_board_group.h"
#include "ipc/qel_ipc.h"
#include "mesher_support.hpp"
#include "support/capture.hpp"

using namespace meshtest;

namespace {

Volume one_voxel_rgba(uint32_t word) {
    Volume v = new_volume(3, 3, 3, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
    set_word(v.get(), 1, 1, 1, word);
    return v;
}

Volume one_voxel_grey() {
    Volume v = new_volume(3, 3, 3, QEL_VOXEL_UNIT_UINT8);
    set_value(v.get(), 1, 1, 1, 200);
    return v;
}

std::string run_captured(Settings& st, int* result, const QelBox3i* voi = nullptr) {
    qeltest::StderrCapture cap;
    *result = st.run(voi);
    return cap.stop();
}

}  // namespace

TEST(MesherRun, LinesOfEachPipeline) {
    int r;
    {
        Settings st;
        st.take(one_voxel_grey());
        EXPECT_EQ(run_captured(st, &r), "\ncount = 1\n");
        EXPECT_EQ(r, 0);
        st.s.gradientMode = MESHER_GRADIENT_USE;
        EXPECT_EQ(run_captured(st, &r), "count = 1\n");
        EXPECT_EQ(r, 0);
    }
    for (int gradient : {MESHER_GRADIENT_UNUSE, MESHER_GRADIENT_USE}) {
        Settings st;
        st.take(one_voxel_rgba(rgba(1, 2, 3, 45)));
        st.s.gradientMode = gradient;
        st.s.threshold = 300.0f;  // truncated, low byte 44
        EXPECT_EQ(run_captured(st, &r), "alpha_thresh = 44\ncount = 1\n");
        EXPECT_EQ(r, 0);
        EXPECT_EQ(st.count(), 1);
        st.s.threshold = 301.9f;  // 45: alpha 45 is not above it
        EXPECT_EQ(run_captured(st, &r), "alpha_thresh = 45\ncount = 0\n");
        st.s.threshold = -1.0f;  // low byte 255
        EXPECT_EQ(run_captured(st, &r), "alpha_thresh = 255\ncount = 0\n");
        st.s.threshold = std::nanf("");
        EXPECT_EQ(run_captured(st, &r), "alpha_thresh = 0\ncount = 1\n");
    }
}

TEST(MesherRun, EmptyResultReplacesThePreviousGroup) {
    Settings st;
    st.take(one_voxel_grey());
    int r;
    run_captured(st, &r);
    ASSERT_EQ(st.count(), 1);
    st.s.threshold = 250.0f;
    EXPECT_EQ(run_captured(st, &r), "\ncount = 0\n");
    EXPECT_EQ(r, 0);
    ASSERT_NE(st.s.group, nullptr);
    EXPECT_EQ(st.s.group->count, 0);
    EXPECT_EQ(st.s.group->capacity, 0);
}

TEST(MesherRun, OnlyChannelZeroIsMeshed) {
    Volume v = one_voxel_grey();
    ASSERT_EQ(QEL_AddChannelToRawVolumeData(v.get(), QEL_VOXEL_UNIT_UINT8, 0), 0);
    static_cast<uint8_t*>(v->data[1])[0] = 255;
    Settings st;
    st.take(std::move(v));
    int r;
    run_captured(st, &r);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(bricks_of_group(st.s.group, kFull, true), (std::vector<Brick>{{1, 1, 1, 0x3F}}));
}

TEST(MesherRun, RefusedRunsWriteNothingAndKeepThePreviousGroup) {
    struct Case {
        const char* what;
        int gradient;
        int unit;
        int attribute;
        bool noVolume;
        bool noWindow;
    };
    const Case cases[] = {
        {"unknown gradient mode", 0, QEL_VOXEL_UNIT_UINT8, 0, false, false},
        {"attribute 1", MESHER_GRADIENT_UNUSE, QEL_VOXEL_UNIT_UINT8, 1, false, false},
        {"attribute 2 on 8 bits", MESHER_GRADIENT_USE, QEL_VOXEL_UNIT_UINT8, 2, false, false},
        {"no volume", MESHER_GRADIENT_UNUSE, QEL_VOXEL_UNIT_UINT8, 0, true, false},
        {"no grey window", MESHER_GRADIENT_USE, QEL_VOXEL_UNIT_UINT8, 0, false, true},
    };
    for (const Case& c : cases) {
        Settings st;
        if (!c.noVolume) st.take(new_volume(3, 3, 3, c.unit, c.attribute));
        st.s.gradientMode = c.gradient;
        QelDataObjectGroup* previous = QEL_NewDataObjectGroup(2);
        st.s.group = previous;
        qeltest::StderrCapture cap;
        EXPECT_EQ(MeshVolume(&st.s, c.noWindow ? nullptr : &st.window, nullptr), -1) << c.what;
        EXPECT_EQ(cap.stop(), "") << c.what;
        EXPECT_EQ(st.s.group, previous) << c.what;
    }
    EXPECT_EQ(MeshVolume(nullptr, nullptr, nullptr), -1);
}

TEST(MesherRun, FlatUniformGreyNeedsNoWindow) {
    Settings st;
    st.take(one_voxel_grey());
    qeltest::StderrCapture cap;
    EXPECT_EQ(MeshVolume(&st.s, nullptr, nullptr), 0);
    cap.stop();
    EXPECT_EQ(st.count(), 1);
}

// A group whose payload does not fit the 32-bit board field is refused with a line, and the
// group the host shows stays.
TEST(MesherRun, GroupBeyondThirtyTwoBitsIsRefused) {
    Settings st;
    st.take(one_voxel_grey());
    int r;
    run_captured(st, &r);
    QelDataObjectGroup* previous = st.s.group;
    ASSERT_NE(previous, nullptr);

    // Counts alone decide the payload, so an oversized mesh needs no oversized arrays.
    QelDataObjectGroup* huge = QEL_NewDataObjectGroup(1);
    QelTriangularMesh* mesh = QEL_NewTriangularMesh(0, 0);
    mesh->triangleCapacity = mesh->nTriangles = 200000000;
    huge->objects[0] = mesh;
    huge->types[0] = QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH;
    huge->count = 1;
    ASSERT_LT(QELipc_SizeOfDataObjectGroup(huge), 0);
    qeltest::StderrCapture cap;
    EXPECT_EQ(InstallMeshGroup(&st.s, huge), -1);
    EXPECT_EQ(cap.stop(), "RunMesher: mesh too large for the host, previous mesh kept\n");
    EXPECT_EQ(st.s.group, previous);

    QelDataObjectGroup* fine = QEL_NewDataObjectGroup(0);
    EXPECT_EQ(InstallMeshGroup(&st.s, fine), 0);
    EXPECT_EQ(st.s.group, fine);
}

// The host state supplies the grey window and the volume of interest.
TEST(MesherRun, RunMesherReadsTheHostState) {
    Settings st;
    Volume v = new_volume(6, 5, 4, QEL_VOXEL_UNIT_UINT8);
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) set_value(v.get(), x, y, z, 100);
    st.take(std::move(v));
    st.s.threshold = 50.0f;
    st.s.colorMode = MESHER_COLOR_ORIGINAL;
    EXPECT_EQ(RunMesher(&st.s), -1);

    QelBroadcaster* host = QELipc_NewBroadcaster();
    ASSERT_NE(host, nullptr);
    st.s.hostState = host;
    *host->greyscale = QelValueRange{0.0f, 200.0f};
    host->volumeOfInterest->origin->x = 1;
    host->volumeOfInterest->size->nx = 2;
    host->volumeOfInterest->size->ny = 5;
    host->volumeOfInterest->size->nz = 4;
    qeltest::StderrCapture cap;
    EXPECT_EQ(RunMesher(&st.s), 0);
    cap.stop();
    Grid inside(6, 5, 4);
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 5; ++y)
            for (int x = 1; x < 3; ++x) inside.at(x, y, z) = 1;
    EXPECT_EQ(bricks_of_group(st.s.group, kFull, true), expected_bricks(inside));
    // 100 in the window 0..200 is byte 127.
    ASSERT_GT(st.count(), 0);
    EXPECT_EQ(st.s.group->colours[0]->r, 127 * 0.003921569f);
    QELipc_DeleteBroadcaster(host);
}
