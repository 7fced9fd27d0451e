// The bookmark window, its list, its commands and the animation timer.
#include "programs/viewbookmarker/bookmark_window.h"

#include <cstdio>
#include <cstring>

#include "gui/qel_gtk_dialogs.h"
#include "gui/qel_gtk_menu.h"
#include "programs/viewbookmarker/bookmark_locale.hpp"
#include "programs/viewbookmarker/bookmark_store.h"
#include "volume/qel_store.hpp"

BookmarkWindow bookmarkWindow = {};

namespace {

constexpr int kRecordLimit = 255;  // Record stops here; only a file brings the list to 256
constexpr int kRowHeight = 20;

const char* const kColumnTitles[BOOKMARK_LIST_COLUMNS] = {
    " No. ", "     label    ", "     cursor    ", " ch. ", "greyscale", "       VOI       ", "  3D view"};
// 0.5 centres a column, 0.0 sets it to the left.
const float kColumnAlignment[BOOKMARK_LIST_COLUMNS] = {0.5f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.0f};
const char* const kFieldLabels[BOOKMARK_FIELD_COUNT] = {"cursor", "ch.", "greyscale", "VOI", "3D view"};

constexpr char kAboutText[] = "Viewbookmarker ver.1.1\n(former Pointbookmarker)\n\nfor TALVEROX 1.64 or later\n\n";

// Every command is a plain function; the menu calls it through this adapter.
template <void (*Command)(void)>
void menu_command(gpointer, guint, GtkWidget*) {
    Command();
}

const QelGtkMenuEntry kMenu[] = {
    {"/File", nullptr, nullptr, 0, "<Branch>"},
    {"/File/Open record", "<control>o", menu_command<OnOpenBookmarks>, 0, nullptr},
    {"/File/Save record as text", "<control>s", menu_command<OnSaveBookmarks>, 0, nullptr},
    {"/File/---", nullptr, nullptr, 0, "<Separator>"},
    {"/File/Save 3D image as PNM/Current", nullptr, menu_command<OnSaveImageCurrent>, 0, nullptr},
    {"/File/Save 3D image as PNM/All", nullptr, menu_command<OnSaveImageAll>, 0, nullptr},
    {"/File/---", nullptr, nullptr, 0, "<Separator>"},
    {"/File/Quit", "<control>q", menu_command<OnBookmarkQuit>, 0, nullptr},
    {"/Edit", nullptr, nullptr, 0, "<Branch>"},
    {"/Edit/Record", nullptr, menu_command<OnRecordBookmark>, 0, nullptr},
    {"/Edit/Replace", nullptr, menu_command<OnReplaceBookmark>, 0, nullptr},
    {"/Edit/---", nullptr, nullptr, 0, "<Separator>"},
    {"/Edit/Delete", nullptr, menu_command<OnDeleteBookmark>, 0, nullptr},
    {"/Edit/Clear all", nullptr, menu_command<OnClearBookmarks>, 0, nullptr},
    {"/Edit/---", nullptr, nullptr, 0, "<Separator>"},
    {"/Edit/Relabel", "<control>L", menu_command<OnRelabelBookmark>, 0, nullptr},
    {"/Edit/---", nullptr, nullptr, 0, "<Separator>"},
    {"/Edit/Interpolate", nullptr, menu_command<OnInterpolateBookmarks>, 0, nullptr},
    {"/Display", nullptr, nullptr, 0, "<Branch>"},
    {"/Display/More info.", "<control>I", menu_command<OnMoreInfo>, 0, nullptr},
    {"/Display/---", nullptr, nullptr, 0, "<Separator>"},
    {"/Display/Move", nullptr, nullptr, 0, "<Branch>"},
    {"/Display/Move/Next", "N", menu_command<OnMoveNext>, 0, nullptr},
    {"/Display/Move/Previous", "B", menu_command<OnMovePrevious>, 0, nullptr},
    {"/Display/Move/---", nullptr, nullptr, 0, "<Separator>"},
    {"/Display/Move/First", "F", menu_command<OnMoveFirst>, 0, nullptr},
    {"/Display/Move/Last", "L", menu_command<OnMoveLast>, 0, nullptr},
    {"/Display/---", nullptr, nullptr, 0, "<Separator>"},
    {"/Display/Animate", nullptr, nullptr, 0, "<Branch>"},
    {"/Display/Animate/Start", "S", menu_command<OnAnimateStart>, 0, nullptr},
    {"/Display/Animate/Oscillate", "O", menu_command<OnAnimateOscillate>, 0, nullptr},
    {"/Display/Animate/---", nullptr, nullptr, 0, "<Separator>"},
    {"/Display/Animate/End", "E", menu_command<StopAnimation>, 0, nullptr},
    {"/Display/Animate/---", nullptr, nullptr, 0, "<Separator>"},
    {"/Display/Animate/Speed", nullptr, nullptr, 0, "<Branch>"},
    {"/Display/Animate/Speed/Up", "F11", menu_command<OnSpeedUp>, 0, nullptr},
    {"/Display/Animate/Speed/Down", "F12", menu_command<OnSpeedDown>, 0, nullptr},
    {"/_Help", nullptr, nullptr, 0, "<LastBranch>"},
    {"/_Help/About", nullptr, menu_command<OnBookmarkAbout>, 0, nullptr},
};

int truncated(float x) { return qel::store_real<int32_t>(x); }

// The cells of bookmark i, as the list shows them.
struct RowCells {
    char text[BOOKMARK_LIST_COLUMNS][BOOKMARK_FIELD_SIZE];
};

void fill_cells(int i, RowCells* cells) {
    qel::CNumericScope numbers;
    const ViewBookmark& b = bookmarks[i];
    std::snprintf(cells->text[0], BOOKMARK_FIELD_SIZE, "%3d", i + 1);
    std::snprintf(cells->text[1], BOOKMARK_FIELD_SIZE, "%s", b.label);
    std::snprintf(cells->text[2], BOOKMARK_FIELD_SIZE, "%s", b.cursor);
    std::snprintf(cells->text[3], BOOKMARK_FIELD_SIZE, "%s", b.channel);
    std::snprintf(cells->text[4], BOOKMARK_FIELD_SIZE, "%s", b.greyscale);
    // The size part of the VOI only: the origin is in More info.
    std::snprintf(cells->text[5], BOOKMARK_FIELD_SIZE, "%.*s", static_cast<int>(std::strcspn(b.voi, " ")), b.voi);
    if (!IsFieldRecorded(b.view)) {
        std::snprintf(cells->text[6], BOOKMARK_FIELD_SIZE, "%s", BOOKMARK_NOT_RECORDED);
        return;
    }
    float v[12] = {};
    float d = 0.0f, angle = 0.0f;
    ParseViewField(b.view, v, &d, &angle);
    const float centre[3] = {v[0] + d * v[9], v[1] + d * v[10], v[2] + d * v[11]};
    std::snprintf(cells->text[6], BOOKMARK_FIELD_SIZE, "(%3.1f,%3.1f,%3.1f)->(%3.1f,%3.1f,%3.1f) > %3.1f(deg)", v[0],
                  v[1], v[2], centre[0], centre[1], centre[2], angle);
}

void set_row(GtkTreeIter* iter, const RowCells& cells) {
    for (int c = 0; c < BOOKMARK_LIST_COLUMNS; ++c)
        gtk_list_store_set(bookmarkWindow.rows, iter, c, cells.text[c], -1);
}

// Changes to the list that the program makes itself select nothing on the user's behalf.
struct QuietSelection {
    GtkTreeSelection* selection = nullptr;
    QuietSelection() {
        if (!bookmarkWindow.list) return;
        selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(bookmarkWindow.list));
        g_signal_handler_block(selection, bookmarkWindow.selectHandler);
    }
    ~QuietSelection() {
        if (selection) g_signal_handler_unblock(selection, bookmarkWindow.selectHandler);
    }
};

void clear_rows() {
    if (!bookmarkWindow.rows) return;
    QuietSelection quiet;
    gtk_list_store_clear(bookmarkWindow.rows);
}

// The user picked a row.
void on_selection_changed(GtkTreeSelection* selection, gpointer) {
    GtkTreeModel* model;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(selection, &model, &iter)) return;
    GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
    const int row = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
    OnSelectBookmarkRow(row);
}

void on_record_clicked(GtkWidget*, gpointer) { OnRecordBookmark(); }

// GtkDialog closes on Escape; this window only closes through Quit or the window manager.
void keep_open_on_escape(GtkWidget* window, gpointer) { g_signal_stop_emission_by_name(window, "close"); }

void OnBookmarkWindowDestroyed(GtkWidget*, gpointer) {
    if (bookmarkWindow.timeoutId) g_source_remove(bookmarkWindow.timeoutId);
    bookmarkWindow = {};
    if (gtk_main_level() > 0) gtk_main_quit();
}

void RearmAnimationTimer() {
    if (bookmarkWindow.timeoutId) g_source_remove(bookmarkWindow.timeoutId);
    bookmarkWindow.timeoutId =
        g_timeout_add(static_cast<guint>(bookmarkAnimation.interval), OnAnimationTick, nullptr);
}

GtkWidget* new_list() {
    GType types[BOOKMARK_LIST_COLUMNS];
    for (GType& t : types) t = G_TYPE_STRING;
    bookmarkWindow.rows = gtk_list_store_newv(BOOKMARK_LIST_COLUMNS, types);
    GtkWidget* list = gtk_tree_view_new_with_model(GTK_TREE_MODEL(bookmarkWindow.rows));
    g_object_unref(bookmarkWindow.rows);  // the view keeps it
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(list), TRUE);
    gtk_tree_view_set_enable_search(GTK_TREE_VIEW(list), FALSE);  // keys belong to the menu
    for (int c = 0; c < BOOKMARK_LIST_COLUMNS; ++c) {
        GtkCellRenderer* cell = gtk_cell_renderer_text_new();
        gtk_cell_renderer_set_alignment(cell, kColumnAlignment[c], 0.5f);
        gtk_cell_renderer_set_fixed_size(cell, -1, kRowHeight);
        GtkTreeViewColumn* column = gtk_tree_view_column_new_with_attributes(kColumnTitles[c], cell, "text", c, nullptr);
        gtk_tree_view_column_set_alignment(column, kColumnAlignment[c]);
        gtk_tree_view_append_column(GTK_TREE_VIEW(list), column);
    }
    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(list));
    gtk_tree_selection_set_mode(selection, GTK_SELECTION_SINGLE);
    bookmarkWindow.selectHandler = g_signal_connect(selection, "changed", G_CALLBACK(on_selection_changed), nullptr);
    return list;
}

GtkWidget* new_field_buttons() {
    GtkWidget* hbox = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 1);
    gtk_box_set_homogeneous(GTK_BOX(hbox), FALSE);
    gtk_widget_show(hbox);
    GtkWidget* label = gtk_label_new(" recorded items: ");
    gtk_widget_show(label);
    gtk_box_pack_start(GTK_BOX(hbox), label, TRUE, TRUE, 1);
    for (int i = 0; i < BOOKMARK_FIELD_COUNT; ++i) {
        GtkWidget* button = gtk_check_button_new_with_label(kFieldLabels[i]);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), i == 0);
        gtk_widget_show(button);
        gtk_box_pack_start(GTK_BOX(hbox), button, TRUE, TRUE, 1);
        bookmarkWindow.fieldButtons[i] = button;
    }
    return hbox;
}

bool has_list() { return bookmarkState.count > 0; }

// The first steps of a file command: the buffer starts as the last opened name.
bool choose_file(char (&name)[BOOKMARK_NAME_SIZE], const char* start, bool startIsInitial) {
    std::snprintf(name, sizeof name, "%s", start);
    return QELgtk_SelectFile(bookmarkWindow.window, name, startIsInitial ? name : nullptr, sizeof name) == QELGTK_OK;
}

void set_current_and_select(int row) {
    bookmarkState.current = row;
    SelectBookmarkRow(row);
}

}  // namespace

GtkWidget* BuildBookmarkWindow(void) {
    if (bookmarkWindow.window) return bookmarkWindow.window;
    GtkAccelGroup* accel = gtk_accel_group_new();
    bookmarkState.count = 0;
    bookmarkState.current = 0;

    GtkWidget* window = gtk_dialog_new();
    bookmarkWindow.window = window;
    g_object_set_data(G_OBJECT(window), BOOKMARK_WINDOW_TITLE, window);
    gtk_window_set_title(GTK_WINDOW(window), BOOKMARK_WINDOW_TITLE);
    gtk_window_set_resizable(GTK_WINDOW(window), TRUE);
    gtk_window_set_default_size(GTK_WINDOW(window), 480, 500);
    g_signal_connect(window, "destroy", G_CALLBACK(OnBookmarkWindowDestroyed), nullptr);
    g_signal_connect(window, "close", G_CALLBACK(keep_open_on_escape), nullptr);
    GtkWidget* vbox = gtk_dialog_get_content_area(GTK_DIALOG(window));
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* actionArea = gtk_dialog_get_action_area(GTK_DIALOG(window));
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_container_set_border_width(GTK_CONTAINER(vbox), 2);
    gtk_container_set_border_width(GTK_CONTAINER(actionArea), 4);

    bookmarkWindow.menuBar = QELgtk_NewMenuBar(kMenu, G_N_ELEMENTS(kMenu), accel, nullptr);
    gtk_window_add_accel_group(GTK_WINDOW(window), accel);
    g_object_unref(accel);  // the window keeps it
    gtk_widget_show(bookmarkWindow.menuBar);

    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_widget_show(scrolled);
    bookmarkWindow.list = new_list();
    gtk_container_add(GTK_CONTAINER(scrolled), bookmarkWindow.list);
    gtk_widget_show(bookmarkWindow.list);

    GtkWidget* hbox = new_field_buttons();
    gtk_box_pack_start(GTK_BOX(vbox), bookmarkWindow.menuBar, FALSE, FALSE, 1);
    gtk_box_pack_start(GTK_BOX(vbox), scrolled, TRUE, TRUE, 1);
    gtk_box_pack_end(GTK_BOX(vbox), hbox, FALSE, FALSE, 1);

    GtkWidget* record = gtk_button_new_with_label("Record");
    bookmarkWindow.recordButton = record;
    gtk_widget_show(record);
    gtk_box_pack_start(GTK_BOX(actionArea), record, TRUE, TRUE, 0);
    g_signal_connect(record, "clicked", G_CALLBACK(on_record_clicked), nullptr);
    gtk_widget_set_can_default(record, TRUE);
    gtk_widget_grab_default(record);

    RefreshBookmarkList();
    gtk_widget_show(window);
    StartAnimationTimer();
    return window;
}

void RefreshBookmarkList(void) {
    if (!bookmarkWindow.window) return;
    {
        QuietSelection quiet;
        gtk_list_store_clear(bookmarkWindow.rows);
        RowCells cells;
        for (int i = 0; i < bookmarkState.count && i < BOOKMARK_CAPACITY; ++i) {
            fill_cells(i, &cells);
            GtkTreeIter iter;
            gtk_list_store_append(bookmarkWindow.rows, &iter);
            set_row(&iter, cells);
        }
    }
    SelectBookmarkRow(bookmarkState.current);
}

void SelectBookmarkRow(int row) {
    if (!bookmarkWindow.window || row < 0 || row >= bookmarkState.count ||
        row >= gtk_tree_model_iter_n_children(GTK_TREE_MODEL(bookmarkWindow.rows), nullptr))
        return;
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    {
        QuietSelection quiet;
        gtk_tree_view_set_cursor(GTK_TREE_VIEW(bookmarkWindow.list), path, nullptr, FALSE);
    }
    OnSelectBookmarkRow(row);
    GtkTreeViewColumn* first = gtk_tree_view_get_column(GTK_TREE_VIEW(bookmarkWindow.list), 0);
    gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(bookmarkWindow.list), path, first, TRUE, 0.0f, 0.0f);
    gtk_tree_path_free(path);
}

void OnSelectBookmarkRow(int row) {
    bookmarkState.current = row;
    const int recorded = ApplyBookmark(row);
    if (recorded < 0 || !bookmarkWindow.window) return;
    for (int i = 0; i < BOOKMARK_FIELD_COUNT; ++i)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(bookmarkWindow.fieldButtons[i]), (recorded >> i) & 1);
}

int RecordedFieldsOfButtons(void) {
    if (!bookmarkWindow.window) return 0;
    int fields = 0;
    for (int i = 0; i < BOOKMARK_FIELD_COUNT; ++i)
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(bookmarkWindow.fieldButtons[i]))) fields |= 1 << i;
    return fields;
}

void StartAnimationTimer(void) {
    if (bookmarkWindow.window) RearmAnimationTimer();
}

gboolean OnAnimationTick(gpointer) {
    const int row = AdvanceAnimation();
    if (row >= 0) SelectBookmarkRow(row);
    // This timeout is removed with the pending ID: the speed may have changed since it was added.
    RearmAnimationTimer();
    return G_SOURCE_REMOVE;
}

void OnOpenBookmarks(void) {
    char name[BOOKMARK_NAME_SIZE];
    if (choose_file(name, bookmarkState.lastName, true) && ReadBookmarkFile(name) == 0) RefreshBookmarkList();
}

void OnSaveBookmarks(void) {
    char name[BOOKMARK_NAME_SIZE];
    if (choose_file(name, bookmarkState.lastName, true)) WriteBookmarkFile(name);
}

void OnSaveImageCurrent(void) {
    StopAnimation();
    if (!has_list()) return;
    char name[BOOKMARK_NAME_SIZE];
    if (!choose_file(name, "untitled", true)) return;
    SelectBookmarkRow(bookmarkState.current);
    SaveRenderedImage(name);
}

void OnSaveImageAll(void) {
    StopAnimation();
    if (!has_list()) return;
    char name[BOOKMARK_NAME_SIZE];
    if (choose_file(name, "", false)) SaveAllRenderedImages(name, SelectBookmarkRow);
}

void OnBookmarkQuit(void) {
    if (bookmarkWindow.window) gtk_widget_destroy(bookmarkWindow.window);
}

void OnRecordBookmark(void) {
    StopAnimation();
    if (bookmarkState.count >= kRecordLimit) return;
    const int slot = bookmarkState.count < 0 ? 0 : bookmarkState.count;
    CaptureBookmark(slot, RecordedFieldsOfButtons());
    std::snprintf(bookmarks[slot].label, BOOKMARK_FIELD_SIZE, "untitled-%d", bookmarkState.untitled);
    bookmarkState.untitled = qel::wrap_add(bookmarkState.untitled, 1);
    bookmarkState.count = slot + 1;
    bookmarkState.current = slot;
    RefreshBookmarkList();
}

void OnReplaceBookmark(void) {
    StopAnimation();
    if (!has_list()) return;
    CaptureBookmark(bookmarkState.current, RecordedFieldsOfButtons());
    RefreshBookmarkList();
}

void OnDeleteBookmark(void) {
    StopAnimation();
    const int count = bookmarkState.count;
    int& current = bookmarkState.current;
    if (count <= 0 || current < 0 || current >= count || !bookmarkWindow.window) return;
    GtkTreeModel* model = GTK_TREE_MODEL(bookmarkWindow.rows);
    GtkTreeIter iter;
    {
        QuietSelection quiet;
        if (gtk_tree_model_iter_nth_child(model, &iter, nullptr, current))
            gtk_list_store_remove(bookmarkWindow.rows, &iter);
    }
    if (current < count - 1) {
        std::memmove(&bookmarks[current], &bookmarks[current + 1],
                     static_cast<size_t>(count - 1 - current) * sizeof(ViewBookmark));
        SelectBookmarkRow(current);
    } else {
        --current;
        SelectBookmarkRow(current);
    }
    bookmarkState.count = count - 1;
    // Only the numbers change; unlike a rebuild they are not padded.
    int i = 0;
    for (bool more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
        char number[16];
        std::snprintf(number, sizeof number, "%d", ++i);
        gtk_list_store_set(bookmarkWindow.rows, &iter, 0, number, -1);
    }
    if (bookmarkState.count == 0) {
        current = 0;
        bookmarkState.untitled = 1;
    }
}

void OnClearBookmarks(void) {
    StopAnimation();
    bookmarkState.count = 0;
    bookmarkState.current = 0;
    bookmarkState.untitled = 1;
    clear_rows();
}

void OnRelabelBookmark(void) {
    StopAnimation();
    if (!has_list()) return;
    char label[BOOKMARK_FIELD_SIZE];
    std::snprintf(label, sizeof label, "%s", bookmarks[bookmarkState.current].label);
    if (QELgtk_GetValue("label", label, sizeof label) != QELGTK_OK) return;
    std::memcpy(bookmarks[bookmarkState.current].label, label, sizeof label);
    RefreshBookmarkList();
}

void OnInterpolateBookmarks(void) {
    StopAnimation();
    if (InterpolateAllBookmarks() == 0) RefreshBookmarkList();
}

void OnMoreInfo(void) {
    StopAnimation();
    if (bookmarkState.count < 1) {
        QELgtk_MessageBox("No record", "No record", 360, 360);
        return;
    }
    qel::CNumericScope numbers;
    const ViewBookmark& b = bookmarks[bookmarkState.current];
    char part[BOOKMARK_FIELD_COUNT][BOOKMARK_FIELD_SIZE];
    if (IsFieldRecorded(b.cursor)) {
        QelPoint3f p{};
        ParseCursorField(b.cursor, &p);
        std::snprintf(part[0], BOOKMARK_FIELD_SIZE, " CURSOR POSITION:\t(%d,%d,%d) \n\n", truncated(p.x), truncated(p.y),
                      truncated(p.z));
    } else {
        std::snprintf(part[0], BOOKMARK_FIELD_SIZE, " CURSOR POSITION:\t --- \n\n");
    }
    if (IsFieldRecorded(b.channel)) {
        int id = 0;
        ParseChannelField(b.channel, &id);
        std::snprintf(part[1], BOOKMARK_FIELD_SIZE, "CHANNEL ID:\t\t %d \n\n", id);
    } else {
        std::snprintf(part[1], BOOKMARK_FIELD_SIZE, "CHANNEL ID:\t\t--- \n\n");
    }
    if (IsFieldRecorded(b.greyscale)) {
        QelValueRange g{};
        ParseGreyscaleField(b.greyscale, &g);
        std::snprintf(part[2], BOOKMARK_FIELD_SIZE, "GRAYSCALE RANGE:\t %d / %d \n\n", truncated(g.min), truncated(g.max));
    } else {
        std::snprintf(part[2], BOOKMARK_FIELD_SIZE, "GRAYSCALE RANGE:\t --- \n\n");
    }
    if (IsFieldRecorded(b.voi)) {
        QelPoint3i o{};
        QelSize3i s{};
        QelBox3i box{&o, &s};
        ParseVoiField(b.voi, &box);
        std::snprintf(part[3], BOOKMARK_FIELD_SIZE, "VOLUME OF INTEREST: (%d,%d,%d) %dx%dx%d \n\n", o.x, o.y, o.z, s.nx,
                      s.ny, s.nz);
    } else {
        std::snprintf(part[3], BOOKMARK_FIELD_SIZE, "VOLUME OF INTEREST: --- \n\n");
    }
    if (IsFieldRecorded(b.view)) {
        float v[12] = {};
        float d = 0.0f, angle = 0.0f;
        ParseViewField(b.view, v, &d, &angle);
        std::snprintf(part[4], BOOKMARK_FIELD_SIZE,
                      "VIEW PARAMETERS:\n \t\t\tposition:\t(%f,%f,%f) \n \t\t\tu vector:\t(%f,%f,%f) \n \t\t\tv "
                      "vector:\t(%f,%f,%f) \n \t\t\tw vector:\t(%f,%f,%f) \n \t\t\tdistance to rotation center:\t%f "
                      "\n \t\t\tview angle:\t%f (deg.)",
                      v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], d, angle);
    } else {
        std::snprintf(part[4], BOOKMARK_FIELD_SIZE, "VIEW PARAMETERS: ---");
    }
    char title[32];
    std::snprintf(title, sizeof title, "Record #%d", bookmarkState.current + 1);
    char text[BOOKMARK_FIELD_COUNT * BOOKMARK_FIELD_SIZE + 8];
    std::snprintf(text, sizeof text, "%s %s %s %s %s\n", part[0], part[1], part[2], part[3], part[4]);
    QELgtk_MessageBox(title, text, 360, 360);
}

void OnMoveNext(void) {
    if (has_list() && bookmarkState.current != bookmarkState.count - 1) set_current_and_select(bookmarkState.current + 1);
}

void OnMovePrevious(void) {
    if (has_list() && bookmarkState.current != 0) set_current_and_select(bookmarkState.current - 1);
}

void OnMoveFirst(void) {
    if (has_list()) set_current_and_select(0);
}

void OnMoveLast(void) {
    if (has_list()) set_current_and_select(bookmarkState.count - 1);
}

void OnBookmarkAbout(void) { QELgtk_MessageBox("About", kAboutText, 300, 180); }
