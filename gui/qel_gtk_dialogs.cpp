// The modal dialogs on GTK 3.
//
// Each call keeps its state in a record on its own stack, reached from the dialog window, so a
// dialog opened from a timeout while another one is open cannot disturb it. The nested loop is
// a GMainLoop of the dialog's own: gtk_main_quit from the program (or a late "destroy") can then
// never end the wrong loop.
#include "gui/qel_gtk_dialogs.h"

#include <clocale>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kModalKey = "qel-modal";

struct Modal {
    GMainLoop* loop = nullptr;
    bool destroyed = false;
    int result = 0;
    char* buffer = nullptr;  // value and file dialogs
    size_t capacity = 0;
    GtkWidget* entry = nullptr;  // value dialog
    float* rgba = nullptr;       // colour dialog
};

Modal* modal_of(gpointer dialog) {
    return dialog ? static_cast<Modal*>(g_object_get_data(G_OBJECT(dialog), kModalKey)) : nullptr;
}

// Copies text into the caller's buffer, cut to capacity - 1 bytes and terminated.
void copy_cut(char* buffer, size_t capacity, const char* text) {
    if (!buffer || capacity == 0) return;
    const size_t n = text ? strnlen(text, capacity - 1) : 0;
    if (n) std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

// Ties the dialog to its call's record; "destroy" ends the dialog's loop.
void attach(GtkWidget* dialog, Modal* m) {
    g_object_set_data(G_OBJECT(dialog), kModalKey, m);
    g_signal_connect(dialog, "destroy", G_CALLBACK(QELgtk_QuitOnDestroy), nullptr);
}

// Shows the dialog, grabs input and runs its nested loop until the window is destroyed.
void run(GtkWidget* dialog, Modal* m) {
    m->loop = g_main_loop_new(nullptr, FALSE);
    gtk_widget_show(dialog);
    gtk_grab_add(dialog);
    if (!m->destroyed) g_main_loop_run(m->loop);
    g_main_loop_unref(m->loop);
    m->loop = nullptr;
}

GtkWidget* action_area(GtkWidget* dialog) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    return gtk_dialog_get_action_area(GTK_DIALOG(dialog));
    G_GNUC_END_IGNORE_DEPRECATIONS
}

// The window shared by the message box, the value entry and the question box: a fixed-size
// dialog whose title is also its data key, and a homogeneous row for the label (and entry).
GtkWidget* new_row_dialog(const char* title, int width, int height, Modal* m, GtkWidget** row) {
    const char* t = title ? title : "";
    GtkWidget* dialog = gtk_dialog_new();
    g_object_set_data(G_OBJECT(dialog), t, dialog);
    gtk_window_set_title(GTK_WINDOW(dialog), t);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    gtk_widget_set_size_request(dialog, width, height);
    attach(dialog, m);
    gtk_container_set_border_width(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), 5);
    gtk_container_set_border_width(GTK_CONTAINER(action_area(dialog)), 4);
    *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 5);
    gtk_box_set_homogeneous(GTK_BOX(*row), TRUE);
    return dialog;
}

void pack_row(GtkWidget* dialog, GtkWidget* row) {
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row, TRUE, TRUE, 5);
}

GtkWidget* new_text_dialog(const char* title, const char* text, int width, int height, Modal* m) {
    GtkWidget* row;
    GtkWidget* dialog = new_row_dialog(title, width, height, m, &row);
    GtkWidget* label = gtk_label_new(text);
    gtk_widget_show(row);
    gtk_widget_show(label);
    gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 10);
    pack_row(dialog, row);
    return dialog;
}

GtkWidget* add_button(GtkWidget* dialog, const char* label, bool at_start, gboolean expand, gboolean fill,
                      GCallback on_click) {
    GtkWidget* button = gtk_button_new_with_label(label);
    gtk_widget_show(button);
    if (at_start)
        gtk_box_pack_start(GTK_BOX(action_area(dialog)), button, expand, fill, 2);
    else
        gtk_box_pack_end(GTK_BOX(action_area(dialog)), button, expand, fill, 2);
    g_signal_connect(button, "clicked", on_click, dialog);
    return button;
}

void make_default(GtkWidget* button) {
    gtk_widget_set_can_default(button, TRUE);
    gtk_widget_grab_default(button);
}

GtkWidget* file_chooser_of(GtkWidget* widget) {
    if (GTK_IS_FILE_CHOOSER_WIDGET(widget)) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = nullptr;
    for (GList* l = children; l && !found; l = l->next) found = file_chooser_of(GTK_WIDGET(l->data));
    g_list_free(children);
    return found;
}

// A GtkFileChooserWidget goes on with its folder lookups after it has been destroyed, and
// their completions then reach its destroyed children: a series of Gtk-CRITICAL lines whenever
// the user answers before the folder has loaded (a slow disk, a busy machine). So the chooser
// is taken out of the dialog before the dialog is destroyed, and only let go: the lookups hold
// it, and it is destroyed and freed at once when the last of them has finished.
void destroy_file_dialog(GtkWidget* dialog) {
    gtk_grab_remove(dialog);
    GtkWidget* chooser = file_chooser_of(dialog);
    if (chooser) {
        g_object_ref(chooser);
        // What the dialog listens to: a late answer must not reach the destroyed dialog.
        g_signal_handlers_disconnect_matched(chooser, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, dialog);
        gtk_container_remove(GTK_CONTAINER(gtk_widget_get_parent(chooser)), chooser);
    }
    gtk_widget_destroy(dialog);
    if (chooser) g_object_unref(chooser);
}

// The file chooser answers through "response"; its own handler runs first and stops the
// emission when the typed name cannot be accepted yet (a folder, say). Escape and the window
// manager's close come as a response too.
void on_file_response(GtkDialog* dialog, gint response, gpointer) {
    if (response == GTK_RESPONSE_ACCEPT)
        QELgtk_SelectFileOk(nullptr, dialog);
    else
        destroy_file_dialog(GTK_WIDGET(dialog));
}

// The close was answered as a response, which destroyed the dialog its own way.
gboolean on_file_delete(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }

}  // namespace

int QELgtk_Init(int* argc, char*** argv) {
    if (!gtk_init_check(argc, argv)) return 0;
    std::setlocale(LC_NUMERIC, "C");
    return 1;
}

void QELgtk_QuitOnDestroy(GtkWidget* dialog, gpointer) {
    gtk_grab_remove(dialog);
    Modal* m = modal_of(dialog);
    if (!m) return;
    m->destroyed = true;
    if (m->loop) g_main_loop_quit(m->loop);
}

void QELgtk_DestroyOnClick(GtkWidget*, gpointer dialog) {
    if (dialog) gtk_widget_destroy(GTK_WIDGET(dialog));
}

void QELgtk_CloseGrabbed(GtkWidget*, gpointer dialog) {
    if (!dialog) return;
    gtk_grab_remove(GTK_WIDGET(dialog));
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

void QELgtk_MessageBox(const char* title, const char* text, int width, int height) {
    Modal m;
    GtkWidget* dialog = new_text_dialog(title, text, width, height, &m);
    GtkWidget* ok = add_button(dialog, "      OK      ", false, FALSE, FALSE, G_CALLBACK(QELgtk_DestroyOnClick));
    make_default(ok);
    run(dialog, &m);
}

void QELgtk_GetValueOk(GtkWidget*, gpointer dialog) {
    Modal* m = modal_of(dialog);
    if (!m) return;
    copy_cut(m->buffer, m->capacity, gtk_entry_get_text(GTK_ENTRY(m->entry)));
    m->result = QELGTK_OK;
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

int QELgtk_GetValue(const char* prompt, char* buffer, size_t capacity) {
    Modal m;
    m.buffer = buffer;
    m.capacity = capacity;
    m.result = QELGTK_VALUE_CANCEL;
    GtkWidget* row;
    GtkWidget* dialog = new_row_dialog("get value", 240, 120, &m, &row);
    GtkWidget* label = gtk_label_new(prompt);
    m.entry = gtk_entry_new();
    gtk_widget_show(row);
    gtk_widget_show(label);
    gtk_widget_show(m.entry);
    gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 10);
    gtk_box_pack_end(GTK_BOX(row), m.entry, TRUE, TRUE, 10);
    pack_row(dialog, row);
    GtkWidget* ok = add_button(dialog, "OK", true, TRUE, TRUE, G_CALLBACK(QELgtk_GetValueOk));
    add_button(dialog, "cancel", false, TRUE, TRUE, G_CALLBACK(QELgtk_DestroyOnClick));
    make_default(ok);
    if (buffer && capacity > 0) {
        // The caller's text is read no further than its buffer reaches.
        gchar* text = g_strndup(buffer, strnlen(buffer, capacity - 1));
        gtk_entry_set_text(GTK_ENTRY(m.entry), text);
        g_free(text);
    }
    run(dialog, &m);
    return m.result;
}

void QELgtk_SelectFileOk(GtkWidget*, gpointer dialog) {
    Modal* m = modal_of(dialog);
    if (!m) return;
    gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
    const size_t length = name ? std::strlen(name) : 0;
    if (length >= m->capacity) {
        std::fprintf(stderr, "QELgtk_SelectFile: too long file name\n");
    } else {
        copy_cut(m->buffer, m->capacity, name);
        m->result = QELGTK_OK;
    }
    g_free(name);
    destroy_file_dialog(GTK_WIDGET(dialog));
}

int QELgtk_SelectFile(GtkWidget*, char* buffer, const char* initial, size_t capacity) {
    Modal m;
    m.buffer = buffer;
    m.capacity = buffer ? capacity : 0;
    m.result = QELGTK_FILE_CANCEL;
    GtkWidget* dialog = gtk_file_chooser_dialog_new("File Selection", nullptr, GTK_FILE_CHOOSER_ACTION_SAVE,
                                                    "_Cancel", GTK_RESPONSE_CANCEL, "_OK", GTK_RESPONSE_ACCEPT,
                                                    nullptr);
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(dialog), FALSE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    g_signal_connect(dialog, "response", G_CALLBACK(on_file_response), nullptr);
    g_signal_connect(dialog, "delete-event", G_CALLBACK(on_file_delete), nullptr);
    attach(dialog, &m);
    if (initial) {
        // As the old file selection did: the folder part opens that folder, the rest is the
        // typed name. Copied first: the initial name may be the answer buffer itself.
        gchar* name = g_strdup(initial);
        const char* base = name;
        if (char* slash = std::strrchr(name, '/')) {
            base = slash + 1;
            gchar* folder = slash == name ? g_strdup("/") : g_strndup(name, static_cast<gsize>(slash - name));
            if (!g_path_is_absolute(folder)) {
                gchar* cwd = g_get_current_dir();
                gchar* absolute = g_build_filename(cwd, folder, nullptr);
                g_free(cwd);
                g_free(folder);
                folder = absolute;
            }
            gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), folder);
            g_free(folder);
        }
        if (base[0]) gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(dialog), base);
        g_free(name);
    }
    run(dialog, &m);
    return m.result;
}

void QELgtk_SelectColorOk(GtkWidget*, gpointer dialog) {
    Modal* m = modal_of(dialog);
    if (!m) return;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* selection = gtk_color_selection_dialog_get_color_selection(GTK_COLOR_SELECTION_DIALOG(dialog));
    GdkRGBA colour;
    gtk_color_selection_get_current_rgba(GTK_COLOR_SELECTION(selection), &colour);
    G_GNUC_END_IGNORE_DEPRECATIONS
    m->rgba[0] = static_cast<float>(colour.red);
    m->rgba[1] = static_cast<float>(colour.green);
    m->rgba[2] = static_cast<float>(colour.blue);
    m->result = QELGTK_COLOR_OK;
    QELgtk_CloseGrabbed(nullptr, dialog);
}

int QELgtk_SelectColor(float rgba[4]) {
    if (!rgba) return QELGTK_COLOR_CANCEL;
    Modal m;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* dialog = gtk_color_selection_dialog_new("Color Selection");
    GtkWidget* ok = nullptr;
    GtkWidget* cancel = nullptr;
    g_object_get(dialog, "ok-button", &ok, "cancel-button", &cancel, nullptr);
    // GTK 3 calls it "Select"; the programs' users know it as OK.
    gtk_button_set_label(GTK_BUTTON(ok), "_OK");
    g_signal_connect(ok, "clicked", G_CALLBACK(QELgtk_SelectColorOk), dialog);
    g_signal_connect(cancel, "clicked", G_CALLBACK(QELgtk_CloseGrabbed), dialog);
    g_object_unref(ok);
    g_object_unref(cancel);
    attach(dialog, &m);
    m.rgba = rgba;
    m.result = QELGTK_COLOR_CANCEL;
    const GdkRGBA colour{rgba[0], rgba[1], rgba[2], rgba[3]};
    GtkWidget* selection = gtk_color_selection_dialog_get_color_selection(GTK_COLOR_SELECTION_DIALOG(dialog));
    gtk_color_selection_set_current_rgba(GTK_COLOR_SELECTION(selection), &colour);
    G_GNUC_END_IGNORE_DEPRECATIONS
    run(dialog, &m);
    return m.result;
}

void QELgtk_QuestionBoxOk(GtkWidget*, gpointer dialog) {
    Modal* m = modal_of(dialog);
    if (!m) return;
    m->result = QELGTK_QUESTION_OK;
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

int QELgtk_QuestionBox(const char* title, const char* text, int width, int height) {
    Modal m;
    m.result = QELGTK_QUESTION_CANCEL;
    GtkWidget* dialog = new_text_dialog(title, text, width, height, &m);
    add_button(dialog, "  OK  ", true, TRUE, TRUE, G_CALLBACK(QELgtk_QuestionBoxOk));
    GtkWidget* cancel = add_button(dialog, " Cancel ", false, TRUE, TRUE, G_CALLBACK(QELgtk_DestroyOnClick));
    make_default(cancel);
    run(dialog, &m);
    return m.result;
}
