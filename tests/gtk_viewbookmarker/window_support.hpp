// The bookmark window under a real display, connected to a test host.
#pragma once
#include <string>
#include <vector>

#include "gui/qel_gtk_menu.h"
#include "ipc/qel_ipc_layout.hpp"
#include "programs/viewbookmarker/bookmark_window.h"
#include "support/gtk_driver.hpp"
#include "viewbookmarker/program_support.hpp"

namespace bmtest {

// Bookmark i of a list whose rows the host can tell apart by the cursor x = 10 * (i + 1).
inline Texts row_texts(int i) {
    return {"row" + std::to_string(i), std::to_string(10 * (i + 1)) + ",0,0", "---", "---", "---", "---"};
}

class Window : public Session {
protected:
    void SetUp() override {
        ASSERT_TRUE(qeltest::open_gtk()) << "no display opens: GUI tests need DISPLAY (Xvfb)";
        Session::SetUp();
        connect();
        if (HasFatalFailure()) return;
        window_ = BuildBookmarkWindow();
        ASSERT_NE(window_, nullptr);
        // Accelerators act only on a menu bar that is on screen.
        ASSERT_TRUE(qeltest::iterate_until([&] { return gtk_widget_get_mapped(bookmarkWindow.menuBar); }, 5000));
    }
    void TearDown() override {
        if (bookmarkWindow.window) gtk_widget_destroy(bookmarkWindow.window);
        qeltest::settle(5);
        Session::TearDown();
    }

    // n bookmarks from row_texts, shown as a file read would show them.
    void fill(int n) {
        for (int i = 0; i < n; ++i) put(i, row_texts(i));
        bookmarkState.count = n;
        bookmarkState.current = 0;
        RefreshBookmarkList();
        host_->clear_log();
    }

    static bool press(guint key, int mods = 0) {
        return gtk_accel_groups_activate(G_OBJECT(bookmarkWindow.window), key, static_cast<GdkModifierType>(mods));
    }
    static void activate(const char* path) {
        gtk_menu_item_activate(GTK_MENU_ITEM(QELgtk_GetMenuItem(bookmarkWindow.menuBar, path)));
    }

    static int rows() { return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(bookmarkWindow.rows), nullptr); }
    static std::vector<std::string> row(int i) {
        std::vector<std::string> cells;
        GtkTreeIter iter;
        if (!gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(bookmarkWindow.rows), &iter, nullptr, i)) return cells;
        for (int c = 0; c < BOOKMARK_LIST_COLUMNS; ++c) {
            gchar* text = nullptr;
            gtk_tree_model_get(GTK_TREE_MODEL(bookmarkWindow.rows), &iter, c, &text, -1);
            cells.push_back(text ? text : "");
            g_free(text);
        }
        return cells;
    }
    static int selected() {
        GtkTreeModel* model;
        GtkTreeIter iter;
        GtkTreeSelection* s = gtk_tree_view_get_selection(GTK_TREE_VIEW(bookmarkWindow.list));
        if (!gtk_tree_selection_get_selected(s, &model, &iter)) return -1;
        GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
        const int i = gtk_tree_path_get_indices(path)[0];
        gtk_tree_path_free(path);
        return i;
    }
    static std::vector<int> buttons() {
        std::vector<int> active;
        for (GtkWidget* b : bookmarkWindow.fieldButtons) active.push_back(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(b)));
        return active;
    }
    static void set_buttons(const std::vector<int>& active) {
        for (int i = 0; i < BOOKMARK_FIELD_COUNT; ++i)
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(bookmarkWindow.fieldButtons[i]), active[i]);
    }

    // The rows that the host was moved to since the log was cleared, told by the cursor x.
    std::vector<int> applied_rows() const {
        std::vector<int> out;
        for (const auto& r : host_->log())
            if (r.code == QELipc_REQUEST_TYPE_SET_STATE)
                out.push_back(static_cast<int>(r.real_at(qel::ipc::kBbCursor)) / 10 - 1);
        return out;
    }

    GtkWidget* window_ = nullptr;
};

// Every label text of a dialog, joined.
inline std::string label_texts(GtkWindow* w) {
    std::string all;
    qeltest::find_widget(GTK_WIDGET(w), [&](GtkWidget* x) {
        if (GTK_IS_LABEL(x)) all += gtk_label_get_text(GTK_LABEL(x));
        return false;
    });
    return all;
}

}  // namespace bmtest
