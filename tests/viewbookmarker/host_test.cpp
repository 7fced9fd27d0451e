// The program's exchange with the host (capture, apply, render failure), its animation steps, and
// the real program's start without a window.
#include <filesystem>

#include "ipc/qel_ipc_layout.hpp"
#include "testhost/qel_testhost_volume.h"
#include "viewbookmarker/program_support.hpp"

namespace bmtest {
namespace {

constexpr int kAll = 31;

class Exchange : public Session {};

TEST_F(Exchange, CaptureFormatsTheChosenFieldsOfTheHostState) {
    connect();
    put(0, {"mine", "a", "b", "c", "d", "e"});
    EXPECT_EQ(CaptureBookmark(0, kAll), 0);
    EXPECT_EQ(get(0), sample_texts("mine"));  // the label is kept

    // Only ch.: the host's channel ID + 1, every other field not recorded.
    EXPECT_EQ(CaptureBookmark(1, BOOKMARK_FIELD_CHANNEL), 0);
    EXPECT_EQ(get(1), (Texts{"", "---", "3", "---", "---", "---"}));
    EXPECT_EQ(CaptureBookmark(2, BOOKMARK_FIELD_CURSOR | BOOKMARK_FIELD_VOI), 0);
    EXPECT_EQ(get(2), (Texts{"", "10,11,0", "---", "---", "10x20x30 1,2,3", "---"}));
    EXPECT_TRUE(host_->codes().empty());  // reading the state posts nothing
    EXPECT_EQ(CaptureBookmark(BOOKMARK_CAPACITY, kAll), -1);
}

TEST_F(Exchange, ACaptureWithoutTheHostStateRecordsNothing) {
    qeltest::StderrCapture err;
    EXPECT_EQ(InitializeBookmarkIpc(no_host()), -1);
    EXPECT_EQ(err.stop(), "IPC NOT available (IPC Client initialization failure)\n");
    EXPECT_EQ(IsBookmarkIpcConnected(), 0);
    put(4, {"old", "1,2,3", "4", "5,6", "1x1x1 0,0,0", "x"});
    EXPECT_EQ(CaptureBookmark(4, kAll), -1);
    EXPECT_EQ(get(4), (Texts{"old", "---", "---", "---", "---", "---"}));
    EXPECT_EQ(ApplyBookmark(4), -1);
}

TEST_F(Exchange, ApplySendsOneStateRequestWithTheRecordedFieldsInItsMask) {
    const HostState before = sample_state();
    connect(before);
    // Only the cursor: mask 1, and every other item of the host stays.
    put(0, {"c", "7,8,9", "---", "---", "---", "---"});
    EXPECT_EQ(ApplyBookmark(0), BOOKMARK_FIELD_CURSOR);
    ASSERT_EQ(host_->codes(), std::vector<int>{QELipc_REQUEST_TYPE_SET_STATE});
    EXPECT_EQ(host_->log()[0].half_at(qel::ipc::kApplyMask), 1);
    HostState s = host_->state();
    EXPECT_EQ((std::vector<float>{s.cursor[0], s.cursor[1], s.cursor[2]}), (std::vector<float>{7, 8, 9}));
    EXPECT_EQ(s.channelID, before.channelID);
    EXPECT_EQ(s.voiSize[1], before.voiSize[1]);
    EXPECT_EQ(s.distance, before.distance);

    // Every field: the host takes the parsed values, the channel as text - 1.
    host_->clear_log();
    put(1, {"all", "-5,6,7", "10", "-20,4000", "4x5x6 7,8,9",
            "0.5,0.25,2.0 0,1,0 0,0,1 1,0,0 12.5 45"});
    EXPECT_EQ(ApplyBookmark(1), kAll);
    ASSERT_EQ(host_->log().size(), 1u);
    EXPECT_EQ(host_->log()[0].half_at(qel::ipc::kApplyMask), kAll);
    s = host_->state();
    EXPECT_EQ((std::vector<float>{s.cursor[0], s.cursor[1], s.cursor[2]}), (std::vector<float>{-5, 6, 7}));
    EXPECT_EQ(s.channelID, 9);
    EXPECT_EQ(s.greyscale[0], -20.0f);
    EXPECT_EQ(s.greyscale[1], 4000.0f);
    EXPECT_EQ((std::vector<int>{s.voiSize[0], s.voiSize[1], s.voiSize[2], s.voiOrigin[0], s.voiOrigin[1],
                                s.voiOrigin[2]}),
              (std::vector<int>{4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(std::vector<float>(s.view, s.view + 12),
              (std::vector<float>{0.5f, 0.25f, 2, 0, 1, 0, 0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(s.distance, 12.5f);
    EXPECT_EQ(s.viewAngle, 45.0f);

    // Nothing recorded: the request still goes, with mask 0, and changes nothing.
    host_->clear_log();
    put(2, {"none", "---", "---", "---", "---", "---"});
    EXPECT_EQ(ApplyBookmark(2), 0);
    ASSERT_EQ(host_->log().size(), 1u);
    EXPECT_EQ(host_->log()[0].half_at(qel::ipc::kApplyMask), 0);
    EXPECT_EQ(host_->state().channelID, 9);
}

TEST_F(Exchange, RenderingWithoutAHostWritesNothing) {
    qeltest::StderrCapture quiet;
    InitializeBookmarkIpc(no_host());
    quiet.stop();
    const std::string line = "Failed <QELipc_REQUEST_TYPE_RENDER_3D_IMAGE>. Exit now.\n";
    qeltest::StderrCapture err;
    EXPECT_EQ(SaveRenderedImage(path("one.pnm").c_str()), -1);
    EXPECT_EQ(err.stop(), line);
    EXPECT_FALSE(std::filesystem::exists(path("one.pnm")));

    // Save all: the first row is selected, its render fails, and the loop stops there.
    bookmarkState.count = 3;
    std::vector<int> selected;
    static std::vector<int>* rows;
    rows = &selected;
    qeltest::StderrCapture err2;
    EXPECT_EQ(SaveAllRenderedImages(path("frames").c_str(), [](int row) { rows->push_back(row); }), 0);
    EXPECT_EQ(err2.stop(), line);
    EXPECT_EQ(selected, std::vector<int>{0});
    EXPECT_TRUE(std::filesystem::is_directory(path("frames")));
}

// Three 8-bit channels, host IDs 1..3, each of its own pattern.
qel::testhost::VolumePtr three_channels() {
    const QelSize4i size{5, 4, 3, 3};
    const int units[3] = {0, 0, 0}, attributes[3] = {0, 0, 0};
    qel::testhost::VolumePtr v(QEL_NewRawVolumeData(&size, units, attributes));
    for (int c = 0; v && c < 3; ++c)
        for (int i = 0; i < 60; ++i) static_cast<unsigned char*>(v->data[c])[i] = static_cast<unsigned char>(i * (c + 1) % 97);
    return v;
}

TEST_F(Exchange, SaveAllWritesTheViewOfEveryRowIntoANewDirectory) {
    connect();
    qel::testhost::VolumePtr volume = three_channels();
    host_->set_volume(volume.get(), {1, 2, 3});
    // Each row shows another channel; the host renders the current one.
    for (int i = 0; i < 3; ++i) put(i, {"r", "---", std::to_string(i + 2), "---", "---", "---"});
    bookmarkState.count = 3;
    const std::string dir = path("frames/deeper");
    qeltest::StderrCapture err;
    EXPECT_EQ(SaveAllRenderedImages(dir.c_str(), nullptr), 3);
    EXPECT_EQ(err.stop(), dir + "/image000.pnm\n" + dir + "/image001.pnm\n" + dir + "/image002.pnm\n");
    EXPECT_EQ(host_->renders(), 4);  // one before the first row
    EXPECT_EQ(bookmarkState.current, 2);
    for (int i = 0; i < 3; ++i) {
        qel::testhost::ImagePtr want(qel::testhost::new_projection(volume.get(), i));
        char name[32];
        std::snprintf(name, sizeof name, "/image%03d.pnm", i);
        expect_same_image(dir + name, want.get());
    }
}

TEST_F(Exchange, SaveCurrentWritesTheFetchedImageOrNothing) {
    connect();
    // No volume and no picture: the host sends no image and no file is made.
    qeltest::StderrCapture err;
    EXPECT_EQ(SaveRenderedImage(path("none.pnm").c_str()), 1);
    EXPECT_EQ(err.stop(), "Failed <QELipc_DownloadRawVolumeData>. Exit now.\n");
    EXPECT_FALSE(std::filesystem::exists(path("none.pnm")));

    const QelSize2i size{6, 2};
    qel::testhost::ImagePtr grey(QEL_NewSingleChannelRawImageData(&size, 0, 0));
    for (int i = 0; i < 12; ++i) static_cast<unsigned char*>(grey->data[0])[i] = static_cast<unsigned char>(20 * i);
    host_->set_image(grey.get());
    EXPECT_EQ(SaveRenderedImage(path("one.pnm").c_str()), 0);
    expect_same_image(path("one.pnm"), grey.get());
}

// ---- animation -------------------------------------------------------------------------------

std::vector<int> ticks(int n) {
    std::vector<int> rows;
    for (int i = 0; i < n; ++i) rows.push_back(AdvanceAnimation());
    return rows;
}

TEST_F(Exchange, CommandsSetTheAnimationState) {
    auto state = [] {
        const BookmarkAnimation& a = bookmarkAnimation;
        return std::vector<int>{a.animating, a.mode, a.direction, a.interval};
    };
    EXPECT_EQ(state(), (std::vector<int>{0, 0, 1, 400}));
    OnAnimateOscillate();
    EXPECT_EQ(state(), (std::vector<int>{1, 1, 1, 400}));
    OnAnimateStart();
    EXPECT_EQ(state(), (std::vector<int>{1, 0, 1, 400}));
    for (int i = 0; i < 4; ++i) OnSpeedDown();
    EXPECT_EQ(state(), (std::vector<int>{1, 0, 1, 800}));
    StopAnimation();
    EXPECT_EQ(state(), (std::vector<int>{0, 0, 0, 800}));
    for (int i = 0; i < 5; ++i) OnSpeedDown();
    EXPECT_EQ(bookmarkAnimation.interval, 1000);
    for (int i = 0; i < 12; ++i) OnSpeedUp();
    EXPECT_EQ(bookmarkAnimation.interval, 100);
}

TEST_F(Exchange, CycleAndOscillationVisitTheRowsInOrder) {
    bookmarkState.count = 3;
    EXPECT_EQ(ticks(2), (std::vector<int>{-1, -1}));  // stopped: nothing moves
    OnAnimateStart();
    EXPECT_EQ(ticks(5), (std::vector<int>{1, 2, 0, 1, 2}));
    bookmarkState.current = 0;
    OnAnimateOscillate();
    EXPECT_EQ(ticks(7), (std::vector<int>{1, 2, 1, 0, 1, 2, 1}));
    bookmarkState.count = 1;
    bookmarkState.current = 0;
    OnAnimateOscillate();
    EXPECT_EQ(ticks(3), (std::vector<int>{0, 0, 0}));
    OnAnimateStart();
    EXPECT_EQ(ticks(2), (std::vector<int>{0, 0}));
    bookmarkState.count = 0;
    EXPECT_EQ(ticks(1), std::vector<int>{-1});  // an empty list waits for bookmarks
    EXPECT_EQ(bookmarkAnimation.animating, 1);
}

// ---- the real program, without a window ------------------------------------------------------

TEST(Program, StartsWithoutArgumentOrDisplayEndQuietly) {
    ProgramRun none = run_viewbookmarker({}, true);
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.output, "");
    for (const char* id : {"12", "not-a-number"}) {
        ProgramRun headless = run_viewbookmarker({id, "ignored"}, false);
        EXPECT_EQ(headless.status, 0) << id;
        EXPECT_EQ(headless.output, "viewbookmarker: cannot open display\n") << id;
    }
}

}  // namespace
}  // namespace bmtest
