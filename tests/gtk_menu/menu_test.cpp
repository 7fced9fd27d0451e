// Menu bars from item-factory tables: structure, radio groups, check items, accelerators.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/qel_gtk_menu.h"
#include "support/gtk_driver.hpp"

namespace {

// Every callback records its action number and the data it was given.
struct Calls {
    std::vector<guint> actions;
    std::vector<gpointer> data;
};
Calls* g_calls = nullptr;

void record(gpointer data, guint action, GtkWidget*) {
    g_calls->actions.push_back(action);
    g_calls->data.push_back(data);
}

// The mesher window's table, with each callback's action numbered after its row.
const QelGtkMenuEntry kMesherMenu[] = {
    {"/File", nullptr, nullptr, 0, "<Branch>"},
    {"/File/Quit", "<control>Q", record, 1, nullptr},
    {"/Settings", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Threshold", nullptr, record, 3, nullptr},
    {"/Settings/sep_P1", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Color", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Color/RGB", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Color/RGB/Original", nullptr, record, 7, "<RadioItem>"},
    {"/Settings/Color/RGB/Uniform", nullptr, record, 8, "/Settings/Color/RGB/Original"},
    {"/Settings/Color/RGB/Hybrid", nullptr, record, 9, "/Settings/Color/RGB/Original"},
    {"/Settings/Color/RGB/sep_P2", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Color/RGB/Uniform color...", nullptr, record, 11, nullptr},
    {"/Settings/Color/sep_P3", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Color/Alpha", nullptr, record, 13, nullptr},
    {"/Settings/sep_P3", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Meshing Quality", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Meshing Quality/Resolution", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Meshing Quality/Resolution/Low (half)", nullptr, record, 17, "<RadioItem>"},
    {"/Settings/Meshing Quality/Resolution/High (full)", nullptr, record, 18,
     "/Settings/Meshing Quality/Resolution/Low (half)"},
    {"/Settings/Meshing Quality/Gradient", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Meshing Quality/Gradient/Unuse", nullptr, record, 20, "<RadioItem>"},
    {"/Settings/Meshing Quality/Gradient/sep_P4", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Meshing Quality/Gradient/Use", nullptr, record, 22, "/Settings/Meshing Quality/Gradient/Unuse"},
    {"/Settings/Meshing Quality/Gradient/Smoothness...", nullptr, record, 23, nullptr},
    {"/Settings/Meshing Quality/sep_P5", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Meshing Quality/CC Analysis/Unuse", nullptr, record, 25, "<RadioItem>"},
    {"/Settings/Meshing Quality/CC Analysis/----", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Meshing Quality/CC Analysis/Use", nullptr, record, 27, "/Settings/Meshing Quality/CC Analysis/Unuse"},
    {"/Settings/Meshing Quality/CC Analysis/Components...", nullptr, record, 28, nullptr},
    {"/_Help", nullptr, nullptr, 0, "<LastBranch>"},
    {"/_Help/About", nullptr, record, 30, nullptr},
};

// Part of the bookmark window's table: lower-case and bare-key accelerators, function keys,
// repeated separator paths and a branch made for its items.
const QelGtkMenuEntry kBookmarkMenu[] = {
    {"/File", nullptr, nullptr, 0, "<Branch>"},
    {"/File/Open record", "<control>o", record, 2, nullptr},
    {"/File/Save record as text", "<control>s", record, 3, nullptr},
    {"/File/---", nullptr, nullptr, 0, "<Separator>"},
    {"/File/Save 3D image as PNM/Current", nullptr, record, 5, nullptr},
    {"/File/Save 3D image as PNM/All", nullptr, record, 6, nullptr},
    {"/File/---", nullptr, nullptr, 0, "<Separator>"},
    {"/File/Quit", "<control>q", record, 8, nullptr},
    {"/Edit", nullptr, nullptr, 0, "<Branch>"},
    {"/Edit/Relabel", "<control>L", record, 16, nullptr},
    {"/Display", nullptr, nullptr, 0, "<Branch>"},
    {"/Display/Move", nullptr, nullptr, 0, "<Branch>"},
    {"/Display/Move/Next", "N", record, 23, nullptr},
    {"/Display/Move/Previous", "B", record, 24, nullptr},
    {"/Display/Animate", nullptr, nullptr, 0, "<Branch>"},
    {"/Display/Animate/Speed", nullptr, nullptr, 0, "<Branch>"},
    {"/Display/Animate/Speed/Up", "F11", record, 36, nullptr},
    {"/Display/Animate/Speed/Down", "F12", record, 37, nullptr},
    {"/Display/Show grid", nullptr, record, 40, "<CheckItem>"},
    {"/_Help", nullptr, nullptr, 0, "<LastBranch>"},
    {"/_Help/About", nullptr, record, 39, nullptr},
};

// Labels of a menu shell's items in order; separators show as "--".
std::vector<std::string> labels_of(GtkWidget* shell) {
    std::vector<std::string> out;
    GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
    for (GList* l = children; l; l = l->next) {
        if (GTK_IS_SEPARATOR_MENU_ITEM(l->data))
            out.push_back("--");
        else
            out.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(l->data)));
    }
    g_list_free(children);
    return out;
}

GtkWidget* submenu(GtkWidget* bar, const char* path) {
    GtkWidget* item = QELgtk_GetMenuItem(bar, path);
    return item ? gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)) : nullptr;
}

bool active(GtkWidget* bar, const char* path) {
    return gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(QELgtk_GetMenuItem(bar, path)));
}

class MenuBar : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qeltest::open_gtk()) << "no display opens: GUI tests need DISPLAY (Xvfb)";
        g_calls = &calls_;
    }
    void TearDown() override {
        if (window_) gtk_widget_destroy(window_);
        if (accel_) g_object_unref(accel_);
        g_calls = nullptr;
        qeltest::settle(5);
    }

    // A shown window holding the bar, as the programs build it; accelerators only act on
    // menus that are on screen.
    GtkWidget* build(const QelGtkMenuEntry* entries, int count) {
        accel_ = gtk_accel_group_new();
        GtkWidget* bar = QELgtk_NewMenuBar(entries, count, accel_, &calls_);
        if (!bar) return nullptr;
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_add_accel_group(GTK_WINDOW(window_), accel_);
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 1);
        gtk_container_add(GTK_CONTAINER(window_), box);
        gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
        gtk_widget_show_all(window_);
        EXPECT_TRUE(qeltest::iterate_until(
            [&] { return gtk_widget_get_mapped(bar) && gdk_window_is_viewable(gtk_widget_get_window(bar)); }, 5000));
        return bar;
    }

    bool press(guint keyval, GdkModifierType mods) {
        return gtk_accel_groups_activate(G_OBJECT(window_), keyval, mods);
    }

    Calls calls_;
    GtkWidget* window_ = nullptr;
    GtkAccelGroup* accel_ = nullptr;
};

TEST_F(MenuBar, MesherTableBuildsItsBranchesInOrder) {
    GtkWidget* bar = build(kMesherMenu, G_N_ELEMENTS(kMesherMenu));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(labels_of(bar), (std::vector<std::string>{"File", "Settings", "_Help"}));
    EXPECT_EQ(labels_of(submenu(bar, "/File")), (std::vector<std::string>{"Quit"}));
    EXPECT_EQ(labels_of(submenu(bar, "/Settings")),
              (std::vector<std::string>{"Threshold", "--", "Color", "--", "Meshing Quality"}));
    EXPECT_EQ(labels_of(submenu(bar, "/Settings/Color")), (std::vector<std::string>{"RGB", "--", "Alpha"}));
    EXPECT_EQ(labels_of(submenu(bar, "/Settings/Color/RGB")),
              (std::vector<std::string>{"Original", "Uniform", "Hybrid", "--", "Uniform color..."}));
    // "CC Analysis" has no entry of its own: it is made where its first item needs it.
    EXPECT_EQ(labels_of(submenu(bar, "/Settings/Meshing Quality")),
              (std::vector<std::string>{"Resolution", "Gradient", "--", "CC Analysis"}));
    EXPECT_EQ(labels_of(submenu(bar, "/Settings/Meshing Quality/CC Analysis")),
              (std::vector<std::string>{"Unuse", "--", "Use", "Components..."}));
    EXPECT_EQ(labels_of(submenu(bar, "/Settings/Meshing Quality/Gradient")),
              (std::vector<std::string>{"Unuse", "--", "Use", "Smoothness..."}));

    // The help branch: a mnemonic, matched by path with or without it, at the right end.
    GtkWidget* help = QELgtk_GetMenuItem(bar, "/Help");
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help, QELgtk_GetMenuItem(bar, "/_Help"));
    EXPECT_TRUE(gtk_menu_item_get_use_underline(GTK_MENU_ITEM(help)));
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    EXPECT_TRUE(gtk_menu_item_get_right_justified(GTK_MENU_ITEM(help)));
    EXPECT_FALSE(gtk_menu_item_get_right_justified(GTK_MENU_ITEM(QELgtk_GetMenuItem(bar, "/Settings"))));
    G_GNUC_END_IGNORE_DEPRECATIONS
    EXPECT_EQ(QELgtk_GetMenuItem(bar, "/_Help/About"), QELgtk_GetMenuItem(bar, "/Help/About"));
    EXPECT_EQ(QELgtk_GetMenuItem(bar, "/Settings/Nothing"), nullptr);
    EXPECT_EQ(QELgtk_GetMenuItem(bar, "Settings"), nullptr);
    EXPECT_TRUE(calls_.actions.empty());  // building calls nothing
}

TEST_F(MenuBar, RadioGroupsStartAtTheirFirstItemAndCallOnlyTheChosenOne) {
    GtkWidget* bar = build(kMesherMenu, G_N_ELEMENTS(kMesherMenu));
    ASSERT_NE(bar, nullptr);
    const char* rgb[] = {"/Settings/Color/RGB/Original", "/Settings/Color/RGB/Uniform", "/Settings/Color/RGB/Hybrid"};
    for (const char* p : rgb) ASSERT_TRUE(GTK_IS_RADIO_MENU_ITEM(QELgtk_GetMenuItem(bar, p))) << p;
    EXPECT_TRUE(active(bar, rgb[0]));
    EXPECT_FALSE(active(bar, rgb[1]));
    EXPECT_FALSE(active(bar, rgb[2]));
    EXPECT_TRUE(active(bar, "/Settings/Meshing Quality/Resolution/Low (half)"));
    EXPECT_FALSE(active(bar, "/Settings/Meshing Quality/Resolution/High (full)"));
    EXPECT_TRUE(active(bar, "/Settings/Meshing Quality/Gradient/Unuse"));
    EXPECT_TRUE(active(bar, "/Settings/Meshing Quality/CC Analysis/Unuse"));

    // The three colour items share one group; the other groups are separate.
    GSList* group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(QELgtk_GetMenuItem(bar, rgb[0])));
    EXPECT_EQ(g_slist_length(group), 3u);
    for (const char* p : rgb) EXPECT_NE(g_slist_find(group, QELgtk_GetMenuItem(bar, p)), nullptr) << p;
    EXPECT_EQ(g_slist_length(gtk_radio_menu_item_get_group(
                  GTK_RADIO_MENU_ITEM(QELgtk_GetMenuItem(bar, "/Settings/Meshing Quality/Gradient/Use")))),
              2u);

    gtk_menu_item_activate(GTK_MENU_ITEM(QELgtk_GetMenuItem(bar, rgb[1])));
    EXPECT_EQ(calls_.actions, std::vector<guint>{8});
    EXPECT_EQ(calls_.data, std::vector<gpointer>{&calls_});
    EXPECT_FALSE(active(bar, rgb[0]));
    EXPECT_TRUE(active(bar, rgb[1]));
    EXPECT_TRUE(active(bar, "/Settings/Meshing Quality/Resolution/Low (half)"));  // other groups untouched

    gtk_menu_item_activate(GTK_MENU_ITEM(QELgtk_GetMenuItem(bar, rgb[2])));
    gtk_menu_item_activate(GTK_MENU_ITEM(QELgtk_GetMenuItem(bar, "/Settings/Meshing Quality/CC Analysis/Use")));
    gtk_menu_item_activate(GTK_MENU_ITEM(QELgtk_GetMenuItem(bar, "/Settings/Threshold")));
    EXPECT_EQ(calls_.actions, (std::vector<guint>{8, 9, 27, 3}));
    EXPECT_TRUE(active(bar, rgb[2]));
    EXPECT_TRUE(active(bar, "/Settings/Meshing Quality/CC Analysis/Use"));
    EXPECT_FALSE(active(bar, "/Settings/Meshing Quality/CC Analysis/Unuse"));
}

TEST_F(MenuBar, AcceleratorsActivateTheirItemsThroughTheGroup) {
    GtkWidget* bar = build(kBookmarkMenu, G_N_ELEMENTS(kBookmarkMenu));
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(press(GDK_KEY_o, GDK_CONTROL_MASK));
    EXPECT_TRUE(press(GDK_KEY_s, GDK_CONTROL_MASK));
    EXPECT_TRUE(press(GDK_KEY_q, GDK_CONTROL_MASK));
    EXPECT_TRUE(press(GDK_KEY_l, GDK_CONTROL_MASK));
    EXPECT_TRUE(press(GDK_KEY_n, static_cast<GdkModifierType>(0)));
    EXPECT_TRUE(press(GDK_KEY_b, static_cast<GdkModifierType>(0)));
    EXPECT_TRUE(press(GDK_KEY_F11, static_cast<GdkModifierType>(0)));
    EXPECT_TRUE(press(GDK_KEY_F12, static_cast<GdkModifierType>(0)));
    EXPECT_EQ(calls_.actions, (std::vector<guint>{2, 3, 8, 16, 23, 24, 36, 37}));
    // Keys and modifiers that no entry names do nothing.
    EXPECT_FALSE(press(GDK_KEY_n, GDK_CONTROL_MASK));
    EXPECT_FALSE(press(GDK_KEY_x, static_cast<GdkModifierType>(0)));
    EXPECT_FALSE(press(GDK_KEY_F10, static_cast<GdkModifierType>(0)));
    EXPECT_EQ(calls_.actions.size(), 8u);

    // The mesher's Quit, written with a capital Q, answers Ctrl+q.
    gtk_widget_destroy(window_);
    window_ = nullptr;
    g_object_unref(accel_);
    calls_.actions.clear();
    bar = build(kMesherMenu, G_N_ELEMENTS(kMesherMenu));
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(press(GDK_KEY_q, GDK_CONTROL_MASK));
    EXPECT_EQ(calls_.actions, std::vector<guint>{1});
}

TEST_F(MenuBar, ParentBranchesAndCheckItems) {
    GtkWidget* bar = build(kBookmarkMenu, G_N_ELEMENTS(kBookmarkMenu));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(labels_of(submenu(bar, "/File")),
              (std::vector<std::string>{"Open record", "Save record as text", "--", "Save 3D image as PNM", "--",
                                        "Quit"}));
    EXPECT_EQ(labels_of(submenu(bar, "/File/Save 3D image as PNM")), (std::vector<std::string>{"Current", "All"}));
    EXPECT_EQ(labels_of(submenu(bar, "/Display")), (std::vector<std::string>{"Move", "Animate", "Show grid"}));

    GtkWidget* grid = QELgtk_GetMenuItem(bar, "/Display/Show grid");
    ASSERT_TRUE(GTK_IS_CHECK_MENU_ITEM(grid));
    EXPECT_FALSE(GTK_IS_RADIO_MENU_ITEM(grid));
    EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(grid)));
    gtk_menu_item_activate(GTK_MENU_ITEM(grid));
    EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(grid)));
    gtk_menu_item_activate(GTK_MENU_ITEM(grid));
    EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(grid)));
    EXPECT_EQ(calls_.actions, (std::vector<guint>{40, 40}));  // both toggles call
}

TEST_F(MenuBar, MalformedTablesBuildNothing) {
    const QelGtkMenuEntry bad_type[] = {{"/File", nullptr, nullptr, 0, "<Branch>"},
                                        {"/File/Keep", "<control>a", record, 1, nullptr},
                                        {"/File/Open", nullptr, record, 2, "<Bogus>"}};
    const QelGtkMenuEntry no_group[] = {{"/File/A", nullptr, record, 1, "/File/Missing"}};
    const QelGtkMenuEntry plain_group[] = {{"/File/A", nullptr, record, 1, nullptr},
                                           {"/File/B", nullptr, record, 2, "/File/A"}};
    const QelGtkMenuEntry relative[] = {{"File/A", nullptr, record, 1, nullptr}};
    const QelGtkMenuEntry no_label[] = {{"/File/", nullptr, record, 1, nullptr}};
    const QelGtkMenuEntry null_path[] = {{nullptr, nullptr, record, 1, nullptr}};
    const QelGtkMenuEntry bad_accel[] = {{"/File/A", "<control>", record, 1, nullptr}};
    const QelGtkMenuEntry unknown_key[] = {{"/File/A", "<control>NoSuchKey", record, 1, nullptr}};
    struct Table {
        const char* name;
        const QelGtkMenuEntry* entries;
        int count;
    } tables[] = {
        {"unknown item type", bad_type, 3}, {"missing radio group", no_group, 1},
        {"group of a plain item", plain_group, 2}, {"relative path", relative, 1},
        {"empty label", no_label, 1}, {"no path", null_path, 1},
        {"modifier only", bad_accel, 1}, {"unknown key", unknown_key, 1},
    };
    GtkAccelGroup* accel = gtk_accel_group_new();
    for (const Table& t : tables) EXPECT_EQ(QELgtk_NewMenuBar(t.entries, t.count, accel, nullptr), nullptr) << t.name;
    EXPECT_EQ(QELgtk_NewMenuBar(nullptr, 3, accel, nullptr), nullptr);
    EXPECT_EQ(QELgtk_NewMenuBar(kMesherMenu, -1, accel, nullptr), nullptr);
    // Nothing of a refused table stays in the group, not even the accelerator of an item built
    // before the fault.
    guint n = 0;
    gtk_accel_group_query(accel, GDK_KEY_a, GDK_CONTROL_MASK, &n);
    EXPECT_EQ(n, 0u);
    g_object_unref(accel);

    // Without a group the accelerators are left out and the bar is built.
    GtkWidget* bar = QELgtk_NewMenuBar(kMesherMenu, G_N_ELEMENTS(kMesherMenu), nullptr, nullptr);
    ASSERT_NE(bar, nullptr);
    g_object_ref_sink(bar);
    gtk_widget_destroy(bar);
    g_object_unref(bar);
}

}  // namespace
