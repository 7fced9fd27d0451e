// Keeping the largest connected components of the mask.
#include <gtest/gtest.h>

#include <climits>

#include "mesher_support.hpp"
#include "support/capture.hpp"

using namespace meshtest;

namespace {

// 300 single voxels, no two of them touching even at a corner.
Volume scattered_voxels(Grid* inside) {
    Volume v = new_volume(40, 30, 3, QEL_VOXEL_UNIT_UINT8);
    *inside = Grid(40, 30, 3);
    for (int y = 0; y < 30; y += 2)
        for (int x = 0; x < 40; x += 2) {
            set_value(v.get(), x, y, 1, 255);
            inside->at(x, y, 1) = 1;
        }
    return v;
}

// Lines along x of lengths 1..6 on every third row: six components of distinct sizes.
Volume lines(Grid* inside, int keep) {
    Volume v = new_volume(8, 18, 1, QEL_VOXEL_UNIT_INT16);
    *inside = Grid(8, 18, 1);
    for (int len = 1; len <= 6; ++len) {
        const int y = 3 * (len - 1);
        for (int x = 0; x < len; ++x) {
            set_value(v.get(), x, y, 0, 1000);
            if (len > 6 - keep) inside->at(x, y, 0) = 1;
        }
    }
    return v;
}

}  // namespace

// 300 components are more than an 8-bit label can tell apart: every one kept must stay.
TEST(MesherComponents, LabelsOf256AndMoreAreKept) {
    for (int keep : {300, 1000, INT_MAX}) {
        Grid inside;
        Settings st;
        st.take(scattered_voxels(&inside));
        st.s.ccAnalysis = 1;
        st.s.components = keep;
        qeltest::StderrCapture cap;
        ASSERT_EQ(st.run(), 0);
        EXPECT_EQ(cap.stop(), "300 components\n\ncount = 300\n");
        ASSERT_EQ(st.count(), 300);
        EXPECT_EQ(bricks_of_group(st.s.group, kFull, true), expected_bricks(inside));
    }
}

TEST(MesherComponents, KeepsTheLargestOnes) {
    for (int keep : {1, 2, 5, 6}) {
        for (int gradient : {MESHER_GRADIENT_UNUSE, MESHER_GRADIENT_USE}) {
            Grid inside;
            Settings st;
            st.take(lines(&inside, keep));
            st.s.ccAnalysis = 1;
            st.s.components = keep;
            st.s.gradientMode = gradient;
            st.s.threshold = 500.0f;
            qeltest::StderrCapture cap;
            ASSERT_EQ(st.run(), 0);
            const std::string out = cap.stop();
            EXPECT_EQ(out.rfind("6 components\n", 0), 0u) << out;
            EXPECT_EQ(bricks_of_group(st.s.group, kFull, gradient == MESHER_GRADIENT_UNUSE), expected_bricks(inside))
                << "keep " << keep;
        }
    }
}

TEST(MesherComponents, NoneKeptForZeroOrNegativeCounts) {
    for (int keep : {0, -1, INT_MIN}) {
        Grid inside;
        Settings st;
        st.take(lines(&inside, 0));
        st.s.ccAnalysis = 1;
        st.s.components = keep;
        st.s.threshold = 500.0f;
        qeltest::StderrCapture cap;
        ASSERT_EQ(st.run(), 0);
        EXPECT_EQ(cap.stop(), "6 components\n\ncount = 0\n");
        EXPECT_EQ(st.count(), 0);
    }
}

// Voxels that touch only at corners belong together.
TEST(MesherComponents, CornerNeighboursAreOneComponent) {
    Volume v = new_volume(8, 8, 8, QEL_VOXEL_UNIT_UINT8);
    Grid inside(8, 8, 8);
    for (int i = 0; i < 3; ++i) {  // a diagonal chain of three
        set_value(v.get(), i + 1, i + 1, i + 1, 200);
        inside.at(i + 1, i + 1, i + 1) = 1;
    }
    set_value(v.get(), 5, 6, 1, 200);  // a face-connected pair
    set_value(v.get(), 6, 6, 1, 200);
    Settings st;
    st.take(std::move(v));
    st.s.ccAnalysis = 1;
    st.s.components = 1;
    qeltest::StderrCapture cap;
    ASSERT_EQ(st.run(), 0);
    EXPECT_EQ(cap.stop(), "2 components\n\ncount = 3\n");
    EXPECT_EQ(bricks_of_group(st.s.group, kFull, true), expected_bricks(inside));
}

TEST(MesherComponents, NoComponentEndsTheRunAndKeepsThePreviousGroup) {
    Grid inside;
    Settings st;
    st.take(lines(&inside, 0));
    st.s.ccAnalysis = 1;
    st.s.threshold = 5000.0f;
    QelDataObjectGroup* previous = QEL_NewDataObjectGroup(3);
    st.s.group = previous;
    qeltest::StderrCapture cap;
    EXPECT_EQ(st.run(), -1);
    EXPECT_EQ(cap.stop(), "0 components\n");
    EXPECT_EQ(st.s.group, previous);
}
