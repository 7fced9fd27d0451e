// The bookmark window: list, check buttons, editing commands, accelerators and the animation timer.
#include "gtk_viewbookmarker/window_support.hpp"
#include "support/menu_outline.hpp"

namespace bmtest {
namespace {

using qeltest::DialogDriver;
using Cells = std::vector<std::string>;

TEST_F(Window, BuildsTheWindowAndRecordsFromTheCheckedFields) {
    EXPECT_EQ(std::string(gtk_window_get_title(GTK_WINDOW(window_))), "Viewbookmarker 1.1");
    EXPECT_EQ(g_object_get_data(G_OBJECT(window_), "Viewbookmarker 1.1"), window_);
    EXPECT_EQ(BuildBookmarkWindow(), window_);  // one window only
    Cells titles;
    for (int c = 0; c < BOOKMARK_LIST_COLUMNS; ++c)
        titles.push_back(gtk_tree_view_column_get_title(gtk_tree_view_get_column(GTK_TREE_VIEW(bookmarkWindow.list), c)));
    EXPECT_EQ(titles, (Cells{" No. ", "     label    ", "     cursor    ", " ch. ", "greyscale", "       VOI       ",
                             "  3D view"}));
    EXPECT_NE(qeltest::find_button(window_, "Record"), nullptr);
    EXPECT_EQ(buttons(), (std::vector<int>{1, 0, 0, 0, 0}));
    EXPECT_EQ(rows(), 0);
    // The whole menu bar: order, separators, accelerators.
    EXPECT_EQ(qeltest::menu_outline(bookmarkWindow.menuBar),
              "File\n"
              "  Open record  <Primary>o\n"
              "  Save record as text  <Primary>s\n"
              "  ---\n"
              "  Save 3D image as PNM\n"
              "    Current\n"
              "    All\n"
              "  ---\n"
              "  Quit  <Primary>q\n"
              "Edit\n"
              "  Record\n"
              "  Replace\n"
              "  ---\n"
              "  Delete\n"
              "  Clear all\n"
              "  ---\n"
              "  Relabel  <Primary>l\n"
              "  ---\n"
              "  Interpolate\n"
              "Display\n"
              "  More info.  <Primary>i\n"
              "  ---\n"
              "  Move\n"
              "    Next  n\n"
              "    Previous  b\n"
              "    ---\n"
              "    First  f\n"
              "    Last  l\n"
              "  ---\n"
              "  Animate\n"
              "    Start  s\n"
              "    Oscillate  o\n"
              "    ---\n"
              "    End  e\n"
              "    ---\n"
              "    Speed\n"
              "      Up  F11\n"
              "      Down  F12\n"
              "_Help  (right)\n"
              "  About\n");

    // The button records the cursor only, labels the bookmark, selects it and applies it.
    gtk_button_clicked(GTK_BUTTON(bookmarkWindow.recordButton));
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(row(0), (Cells{"  1", "untitled-1", "10,11,0", "---", "---", "---", "---"}));
    EXPECT_EQ(selected(), 0);
    ASSERT_EQ(host_->codes(), std::vector<int>{QELipc_REQUEST_TYPE_SET_STATE});
    EXPECT_EQ(host_->log()[0].half_at(qel::ipc::kApplyMask), BOOKMARK_FIELD_CURSOR);

    // Every field through the menu entry: the VOI shows its size, the view position -> centre.
    set_buttons({1, 1, 1, 1, 1});
    activate("/Edit/Record");
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(row(1), (Cells{"  2", "untitled-2", "10,11,0", "3", "12,300", "10x20x30",
                             "(1.0,2.0,3.0)->(1.0,2.0,103.0) > 30.0(deg)"}));
    EXPECT_EQ(bookmarkState.current, 1);
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(get(1), sample_texts("untitled-2"));

    // Replace keeps the label and takes what the buttons say now.
    set_buttons({0, 1, 0, 0, 0});
    activate("/Edit/Replace");
    EXPECT_EQ(get(1), (Texts{"untitled-2", "---", "3", "---", "---", "---"}));
    EXPECT_EQ(buttons(), (std::vector<int>{0, 1, 0, 0, 0}));

    // Record stops at 255 bookmarks, and does nothing at 256 (only a file gets there).
    for (int held : {255, 256}) {
        bookmarkState.count = held;
        activate("/Edit/Record");
        EXPECT_EQ(bookmarkState.count, held);
    }
}

TEST_F(Window, SelectingARowAppliesItAndShowsItsRecordedFields) {
    put(0, {"a", "5,6,7", "---", "---", "---", "---"});
    put(1, sample_texts("b"));
    bookmarkState.count = 2;
    RefreshBookmarkList();
    host_->clear_log();
    // The user's click.
    GtkTreePath* path = gtk_tree_path_new_from_indices(1, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(GTK_TREE_VIEW(bookmarkWindow.list)), path);
    EXPECT_EQ(bookmarkState.current, 1);
    EXPECT_EQ(buttons(), (std::vector<int>{1, 1, 1, 1, 1}));
    gtk_tree_path_free(path);
    path = gtk_tree_path_new_first();
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(GTK_TREE_VIEW(bookmarkWindow.list)), path);
    gtk_tree_path_free(path);
    EXPECT_EQ(bookmarkState.current, 0);
    EXPECT_EQ(buttons(), (std::vector<int>{1, 0, 0, 0, 0}));
    ASSERT_EQ(host_->log().size(), 2u);
    EXPECT_EQ(host_->log()[0].half_at(qel::ipc::kApplyMask), 31);
    EXPECT_EQ(host_->log()[1].half_at(qel::ipc::kApplyMask), 1);
    EXPECT_EQ(host_->state().cursor[2], 7.0f);
}

TEST_F(Window, DeleteRenumbersAndAppliesTheRowThatMovesUp) {
    fill(3);
    bookmarkState.current = 1;
    activate("/Edit/Delete");
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(row(0)[0], "1");  // renumbered without padding
    EXPECT_EQ(row(1), (Cells{"2", "row2", "30,0,0", "---", "---", "---", "---"}));
    EXPECT_EQ(bookmarkState.count, 2);
    EXPECT_EQ(bookmarkState.current, 1);
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(applied_rows(), std::vector<int>{2});

    // The last row: the one before it becomes current.
    host_->clear_log();
    activate("/Edit/Delete");
    EXPECT_EQ(bookmarkState.current, 0);
    EXPECT_EQ(applied_rows(), std::vector<int>{0});
    EXPECT_EQ(get(0).label, "row0");
    // The only row: the list empties and the labels start again at 1.
    host_->clear_log();
    bookmarkState.untitled = 9;
    activate("/Edit/Delete");
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(bookmarkState.count, 0);
    EXPECT_EQ(bookmarkState.current, 0);
    EXPECT_TRUE(host_->codes().empty());
    activate("/Edit/Delete");  // nothing to delete
    activate("/Edit/Record");
    EXPECT_EQ(row(0)[1], "untitled-1");
}

TEST_F(Window, MoveAcceleratorsStopAtTheEnds) {
    for (guint key : {GDK_KEY_n, GDK_KEY_b, GDK_KEY_f, GDK_KEY_l}) EXPECT_TRUE(press(key)) << key;
    EXPECT_TRUE(host_->codes().empty());  // an empty list selects nothing
    EXPECT_EQ(bookmarkState.current, 0);
    fill(3);
    press(GDK_KEY_b);  // Previous on the first row
    press(GDK_KEY_n);
    press(GDK_KEY_n);
    press(GDK_KEY_n);  // Next on the last row
    EXPECT_EQ(bookmarkState.current, 2);
    press(GDK_KEY_f);
    press(GDK_KEY_l);
    press(GDK_KEY_b);
    EXPECT_EQ(applied_rows(), (std::vector<int>{1, 2, 0, 2, 1}));
    EXPECT_EQ(selected(), 1);
}

TEST_F(Window, EditCommandsThroughTheirAcceleratorsAndDialogs) {
    // Relabel: no dialog on an empty list; the "get value" dialog otherwise.
    press(GDK_KEY_l, GDK_CONTROL_MASK);
    EXPECT_TRUE(qeltest::windows_titled("get value").empty());
    fill(3);
    bookmarkState.current = 2;
    {
        DialogDriver driver({qeltest::press("get value", "OK", [](GtkWindow* w) {
            GtkWidget* entry = qeltest::find_of_type(GTK_WIDGET(w), GTK_TYPE_ENTRY);
            EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(entry))), "row2");
            gtk_entry_set_text(GTK_ENTRY(entry), "tower");
        })});
        EXPECT_TRUE(press(GDK_KEY_l, GDK_CONTROL_MASK));
        EXPECT_TRUE(driver.all_answered());
    }
    EXPECT_EQ(row(2)[1], "tower");
    {
        DialogDriver driver({qeltest::press("get value", "cancel")});
        press(GDK_KEY_l, GDK_CONTROL_MASK);
    }
    EXPECT_EQ(get(2).label, "tower");

    // More info. of the third row: recorded and missing parts, origin before size.
    put(2, {"tower", "10,0,0", "4", "---", "10x20x30 1,2,3", "---"});
    std::string text;
    {
        DialogDriver driver({qeltest::press("Record #3", "      OK      ", [&](GtkWindow* w) { text = label_texts(w); })});
        EXPECT_TRUE(press(GDK_KEY_i, GDK_CONTROL_MASK));
        EXPECT_TRUE(driver.all_answered());
    }
    EXPECT_EQ(text, std::string(" CURSOR POSITION:\t(10,0,0) \n\n CHANNEL ID:\t\t 3 \n\n GRAYSCALE RANGE:\t --- \n\n "
                                "VOLUME OF INTEREST: (1,2,3) 10x20x30 \n\n VIEW PARAMETERS: ---\n") +
                        "      OK      ");

    // Interpolate doubles the list; Clear all empties it and stops the animation.
    activate("/Edit/Interpolate");
    ASSERT_EQ(rows(), 5);
    EXPECT_EQ(row(1)[1], "     :");
    EXPECT_EQ(row(1)[2], "15,0,0");
    EXPECT_EQ(row(4)[1], "tower");
    OnAnimateStart();
    activate("/Edit/Clear all");
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(bookmarkAnimation.animating, 0);
    {
        DialogDriver driver({qeltest::press("No record", "      OK      ")});
        press(GDK_KEY_i, GDK_CONTROL_MASK);
        EXPECT_TRUE(driver.all_answered());
    }
    {
        DialogDriver driver({qeltest::press("About", "      OK      ", [&](GtkWindow* w) { text = label_texts(w); })});
        activate("/Help/About");
        EXPECT_TRUE(driver.all_answered());
    }
    EXPECT_EQ(text, "Viewbookmarker ver.1.1\n(former Pointbookmarker)\n\nfor TALVEROX 1.64 or later\n\n      OK      ");

    // Quit closes the window.
    EXPECT_TRUE(press(GDK_KEY_q, GDK_CONTROL_MASK));
    EXPECT_EQ(bookmarkWindow.window, nullptr);
}

TEST_F(Window, TheTimerReplaysTheListAtTheChosenSpeed) {
    fill(3);
    for (int i = 0; i < 3; ++i) press(GDK_KEY_F11);
    EXPECT_EQ(bookmarkAnimation.interval, 100);
    press(GDK_KEY_F12);
    press(GDK_KEY_F11);
    EXPECT_TRUE(press(GDK_KEY_s));
    ASSERT_TRUE(qeltest::iterate_until([&] { return applied_rows().size() >= 4; }, 10000));
    EXPECT_TRUE(press(GDK_KEY_e));
    std::vector<int> seen = applied_rows();
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 4), (std::vector<int>{1, 2, 0, 1}));
    qeltest::settle(300);  // stopped: the timer still runs, the list stands
    EXPECT_EQ(applied_rows().size(), seen.size());

    host_->clear_log();
    bookmarkState.current = 0;
    EXPECT_TRUE(press(GDK_KEY_o));
    ASSERT_TRUE(qeltest::iterate_until([&] { return applied_rows().size() >= 5; }, 10000));
    activate("/Edit/Record");  // an editing command stops the animation
    seen = applied_rows();
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 5), (std::vector<int>{1, 2, 1, 0, 1}));
    EXPECT_EQ(bookmarkAnimation.animating, 0);
}

}  // namespace
}  // namespace bmtest
