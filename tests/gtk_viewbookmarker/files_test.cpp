// The bookmark window's file commands through the file dialog, and the real program on a display.
#include <filesystem>

#include "gtk_viewbookmarker/window_support.hpp"

namespace bmtest {
namespace {

using qeltest::DialogDriver;

auto choose(std::string folder, std::string name) {
    return [folder, name](GtkWindow* w) {
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(w), folder.c_str());
        gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(w), name.c_str());
    };
}

TEST_F(Window, SaveAndOpenGoThroughTheFileDialog) {
    fill(2);
    OnAnimateStart();  // the file commands leave the animation running
    bookmarkAnimation.interval = 1000;
    {
        DialogDriver driver({qeltest::press("File Selection", "_OK", choose(dir_.string(), "views.txt"))});
        EXPECT_TRUE(press(GDK_KEY_s, GDK_CONTROL_MASK));
        EXPECT_TRUE(driver.all_answered());
    }
    EXPECT_EQ(bookmarkAnimation.animating, 1);
    const std::string sep = "============================================\n";
    EXPECT_EQ(content_of(path("views.txt")),
              "2\n" + sep + "row0\n10,0,0\n---\n---\n---\n---\n" + sep + "row1\n20,0,0\n---\n---\n---\n---\n");
    EXPECT_EQ(std::string(bookmarkState.lastName), "");  // saving names nothing

    activate("/Edit/Clear all");
    host_->clear_log();
    {
        DialogDriver driver({qeltest::press("File Selection", "_OK", choose(dir_.string(), "views.txt"))});
        EXPECT_TRUE(press(GDK_KEY_o, GDK_CONTROL_MASK));
        EXPECT_TRUE(driver.all_answered());
    }
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(row(1)[1], "row1");
    EXPECT_EQ(bookmarkState.untitled, 3);
    EXPECT_EQ(std::string(bookmarkState.lastName), path("views.txt"));
    EXPECT_EQ(applied_rows(), std::vector<int>{0});  // the rebuilt list applies its current row

    // The next Open starts from the file last opened; a cancel changes nothing.
    std::string offered;
    {
        DialogDriver driver({qeltest::press("File Selection", "_Cancel", [&](GtkWindow* w) {
            gchar* n = gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(w));
            if (offered.empty()) offered = n ? n : "";
            g_free(n);
        })});
        press(GDK_KEY_o, GDK_CONTROL_MASK);
        EXPECT_TRUE(driver.all_answered());
    }
    EXPECT_EQ(offered, "views.txt");
    EXPECT_EQ(rows(), 2);
}

TEST_F(Window, SaveImageCommandsApplyTheRowsAndWriteWhatTheHostRenders) {
    const QelSize2i size{3, 2};
    qel::testhost::ImagePtr grey(QEL_NewSingleChannelRawImageData(&size, 0, 0));
    std::memset(grey->data[0], 77, 6);
    host_->set_image(grey.get());
    fill(3);
    bookmarkState.current = 1;
    std::string offered;
    {
        DialogDriver driver({qeltest::press("File Selection", "_OK", [&](GtkWindow* w) {
            gchar* n = gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(w));
            if (offered.empty()) offered = n ? n : "";  // the driver may answer twice
            g_free(n);
            choose(dir_.string(), "current.pnm")(w);
        })});
        activate("/File/Save 3D image as PNM/Current");
        EXPECT_TRUE(driver.all_answered());
    }
    EXPECT_EQ(offered, "untitled");
    EXPECT_EQ(applied_rows(), std::vector<int>{1});
    EXPECT_EQ(host_->renders(), 1);
    expect_same_image(path("current.pnm"), grey.get());

    // All: into a directory that the dialog names and that does not exist yet.
    host_->clear_log();
    OnAnimateStart();
    std::string err;
    {
        DialogDriver driver({qeltest::press("File Selection", "_OK", choose(dir_.string(), "shots"))});
        qeltest::StderrCapture capture;
        activate("/File/Save 3D image as PNM/All");
        err = capture.stop();
        EXPECT_TRUE(driver.all_answered());
    }
    EXPECT_EQ(bookmarkAnimation.animating, 0);
    EXPECT_EQ(applied_rows(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(host_->renders(), 5);
    const std::string shots = path("shots");
    EXPECT_EQ(err, shots + "/image000.pnm\n" + shots + "/image001.pnm\n" + shots + "/image002.pnm\n");
    for (const char* name : {"/image000.pnm", "/image001.pnm", "/image002.pnm"})
        expect_same_image(shots + name, grey.get());

    // Nothing to save on an empty list: no dialog opens.
    activate("/Edit/Clear all");
    activate("/File/Save 3D image as PNM/All");
    EXPECT_TRUE(qeltest::windows_titled("File Selection").empty());
}

TEST_F(Window, ProgramOnADisplayTellsWhetherItReachedItsHost) {
    const std::string id = std::to_string(host_->server_id());
    ProgramRun reached = run_viewbookmarker({id}, true, "succeeded)\n");
    EXPECT_EQ(reached.status, -1);  // still running with its window open
    EXPECT_EQ(reached.output, "IPC available (IPC Client initialization succeeded)\n");
    ProgramRun alone = run_viewbookmarker({"junk"}, true, "failure)\n");
    EXPECT_EQ(alone.status, -1);
    EXPECT_EQ(alone.output, "IPC NOT available (IPC Client initialization failure)\n");
}

}  // namespace
}  // namespace bmtest
