// Helpers for tests of windowed code (areas tests/gtk_*): open GTK on the display, find windows
// and widgets, and answer modal dialogs from a timeout as a user would, with watchdogs so that a
// dialog nobody answers can never hang a test. Header-only: only GTK test areas include it.
#pragma once
#include <gtk/gtk.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gui/qel_gtk_dialogs.h"

namespace qeltest {

// GTK 3's file chooser, when destroyed while it still loads its folder (a dialog answered at
// once on a loaded machine), later sets up the tree view it no longer has, and GTK prints
// criticals about gtk_tree_view_* into whatever stderr a test is capturing. Those lines are
// GTK's own, not the program's: they are dropped; every other message is printed as usual.
inline void drop_orphaned_chooser_criticals(const gchar* domain, GLogLevelFlags level, const gchar* message,
                                            gpointer data) {
    if (message && std::strstr(message, "assertion 'GTK_IS_TREE_VIEW")) return;
    g_log_default_handler(domain, level, message, data);
}

// Starts GTK once per process. False when no display opens: GUI tests then fail, never skip.
inline bool open_gtk() {
    static int state = -1;
    if (state < 0) {
        // Keep the session bus, the accessibility bus and dconf out of the tests.
        setenv("NO_AT_BRIDGE", "1", 1);
        setenv("GTK_A11Y", "none", 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        // A heavily loaded X server can miss a connection now and then: try a few times
        // before failing (never skipping) the test.
        state = 0;
        for (int attempt = 0; attempt < 5 && state == 0; ++attempt) {
            if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(300));
            state = QELgtk_Init(nullptr, nullptr) ? 1 : 0;
        }
        g_log_set_handler("Gtk", G_LOG_LEVEL_CRITICAL, drop_orphaned_chooser_criticals, nullptr);
    }
    return state == 1;
}

// Runs the default main context until done() holds or timeout_ms pass; returns done().
inline bool iterate_until(const std::function<bool()>& done, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Lets pending events and idles run for a while.
inline void settle(int ms) {
    iterate_until([] { return false; }, ms);
}

// Every toplevel window titled `title` (visible or not).
inline std::vector<GtkWindow*> windows_titled(const std::string& title) {
    std::vector<GtkWindow*> found;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next) {
        const char* t = gtk_window_get_title(GTK_WINDOW(l->data));
        if (t && title == t) found.push_back(GTK_WINDOW(l->data));
    }
    g_list_free(all);
    return found;
}

// The visible toplevel titled `title`, or NULL.
inline GtkWindow* find_window(const std::string& title) {
    for (GtkWindow* w : windows_titled(title))
        if (gtk_widget_get_visible(GTK_WIDGET(w))) return w;
    return nullptr;
}

// Depth-first search through a widget tree, internal children included.
inline GtkWidget* find_widget(GtkWidget* root, const std::function<bool(GtkWidget*)>& match) {
    if (!root) return nullptr;
    if (match(root)) return root;
    if (!GTK_IS_CONTAINER(root)) return nullptr;
    std::vector<GtkWidget*> children;
    gtk_container_forall(
        GTK_CONTAINER(root), [](GtkWidget* w, gpointer v) { static_cast<std::vector<GtkWidget*>*>(v)->push_back(w); },
        &children);
    for (GtkWidget* child : children)
        if (GtkWidget* hit = find_widget(child, match)) return hit;
    return nullptr;
}

// The text a button shows (its label, mnemonic underscores included), or "".
inline std::string button_label(GtkWidget* button) {
    const char* text = gtk_button_get_label(GTK_BUTTON(button));
    if (text) return text;
    GtkWidget* label = find_widget(button, [](GtkWidget* w) { return GTK_IS_LABEL(w); });
    return label ? gtk_label_get_label(GTK_LABEL(label)) : "";
}

// The visible button whose label is exactly `label` (blanks included).
inline GtkWidget* find_button(GtkWidget* root, const std::string& label) {
    return find_widget(root, [&](GtkWidget* w) {
        return GTK_IS_BUTTON(w) && gtk_widget_get_visible(w) && button_label(w) == label;
    });
}

inline GtkWidget* find_of_type(GtkWidget* root, GType type) {
    return find_widget(root, [type](GtkWidget* w) { return G_TYPE_CHECK_INSTANCE_TYPE(w, type); });
}

// What the window manager does when the user closes a window with its frame: a delete event.
inline void close_by_window_manager(GtkWindow* window) {
    GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(window));
    if (!gdk) return;
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gdk));
    event->any.send_event = TRUE;
    gdk_event_put(event);
    gdk_event_free(event);
}

// A key press and release of Escape delivered to the window, as the keyboard would.
inline void press_escape(GtkWindow* window) {
    GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(window));
    if (!gdk) return;
    GdkDisplay* display = gdk_window_get_display(gdk);
    GdkKeymapKey* keys = nullptr;
    gint n = 0;
    guint16 keycode = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), GDK_KEY_Escape, &keys, &n) && n > 0)
        keycode = static_cast<guint16>(keys[0].keycode);
    g_free(keys);
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.window = GDK_WINDOW(g_object_ref(gdk));
        event->key.send_event = TRUE;
        event->key.time = GDK_CURRENT_TIME;
        event->key.keyval = GDK_KEY_Escape;
        event->key.hardware_keycode = keycode;
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
        gdk_event_put(event);
        gdk_event_free(event);
    }
}

// How one dialog is to be answered.
struct Answer {
    enum class How { Press, WindowManagerClose, Escape };
    std::string title;                       // the dialog's window title
    std::function<void(GtkWindow*)> fill;    // fills the dialog in (may be empty)
    How how = How::Press;
    std::string button;                      // label of the button to press
    int after_ms = 0;                        // waits this long after the dialog shows
};

inline Answer press(std::string title, std::string button, std::function<void(GtkWindow*)> fill = {},
                    int after_ms = 0) {
    return Answer{std::move(title), std::move(fill), Answer::How::Press, std::move(button), after_ms};
}
inline Answer close_window(std::string title, int after_ms = 0) {
    return Answer{std::move(title), {}, Answer::How::WindowManagerClose, "", after_ms};
}
inline Answer escape(std::string title, int after_ms = 0) {
    return Answer{std::move(title), {}, Answer::How::Escape, "", after_ms};
}

// Answers the listed dialogs in order from a timeout of the default main context, so that it
// runs inside the dialogs' nested loops. A dialog is answered once it is shown and holds the
// grab. The soft watchdog closes whatever dialog is still waiting; the hard one ends the
// process when even the main loop no longer runs.
class DialogDriver {
public:
    explicit DialogDriver(std::vector<Answer> answers, int watchdog_ms = 20000)
        : answers_(std::move(answers)) {
        poll_ = g_timeout_add(10, &DialogDriver::poll, this);
        soft_ = g_timeout_add(static_cast<guint>(watchdog_ms), &DialogDriver::soft_watchdog, this);
        hard_ = std::thread([this, watchdog_ms] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!cv_.wait_for(lock, std::chrono::milliseconds(watchdog_ms + 30000), [this] { return stop_; })) {
                std::fprintf(stderr, "DialogDriver: the main loop hung; giving up\n");
                std::_Exit(3);
            }
        });
    }
    ~DialogDriver() {
        forget_answered();
        if (poll_) g_source_remove(poll_);
        if (soft_) g_source_remove(soft_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        hard_.join();
    }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    size_t answered() const { return next_; }
    bool all_answered() const { return next_ == answers_.size(); }
    bool timed_out() const { return timed_out_; }
    const std::string& error() const { return error_; }

private:
    static gboolean poll(gpointer self) { return static_cast<DialogDriver*>(self)->step(); }

    gboolean step() {
        // The dialog to answer is the one holding the grab: a dialog opened over another one of
        // the same title is answered before it.
        GtkWidget* grab = gtk_grab_get_current();
        GtkWidget* top = grab ? gtk_widget_get_toplevel(grab) : nullptr;
        const auto now = std::chrono::steady_clock::now();
        // A dialog can swallow an answer given too early (the file chooser while it still loads
        // its folder): when the answered dialog is still there a while later, answer it again,
        // as a user would.
        if (answered_ && top == answered_) {
            if (now - answered_at_ >= std::chrono::milliseconds(700) && repeats_ < 20) {
                ++repeats_;
                answer(GTK_WINDOW(top), answers_[next_ - 1]);
                answered_at_ = now;
            }
            return G_SOURCE_CONTINUE;
        }
        if (next_ >= answers_.size()) {
            if (!answered_) {
                poll_ = 0;
                return G_SOURCE_REMOVE;
            }
            return G_SOURCE_CONTINUE;
        }
        const Answer& a = answers_[next_];
        const char* title = top && GTK_IS_WINDOW(top) ? gtk_window_get_title(GTK_WINDOW(top)) : nullptr;
        if (!title || a.title != title || !gtk_widget_get_mapped(top)) {
            seen_ = false;
            return G_SOURCE_CONTINUE;
        }
        if (!seen_ || seen_window_ != top) seen_ = true, seen_at_ = now, seen_window_ = top;
        if (now - seen_at_ < std::chrono::milliseconds(a.after_ms)) return G_SOURCE_CONTINUE;
        seen_ = false;
        ++next_;
        forget_answered();
        answered_ = top;
        g_object_add_weak_pointer(G_OBJECT(answered_), reinterpret_cast<gpointer*>(&answered_));
        answered_at_ = now;
        answer(GTK_WINDOW(top), a);
        return G_SOURCE_CONTINUE;
    }

    void answer(GtkWindow* w, const Answer& a) {
        if (a.fill) a.fill(w);
        switch (a.how) {
            case Answer::How::Press:
                if (GtkWidget* b = find_button(GTK_WIDGET(w), a.button)) {
                    gtk_button_clicked(GTK_BUTTON(b));
                } else {
                    error_ += "no button \"" + a.button + "\" in \"" + a.title + "\"; ";
                    close_by_window_manager(w);
                }
                break;
            case Answer::How::WindowManagerClose: close_by_window_manager(w); break;
            case Answer::How::Escape: press_escape(w); break;
        }
    }

    void forget_answered() {
        if (answered_) g_object_remove_weak_pointer(G_OBJECT(answered_), reinterpret_cast<gpointer*>(&answered_));
        answered_ = nullptr;
    }

    static gboolean soft_watchdog(gpointer p) {
        auto* self = static_cast<DialogDriver*>(p);
        self->soft_ = 0;
        self->timed_out_ = true;
        for (size_t i = self->next_; i < self->answers_.size(); ++i)
            for (GtkWindow* w : windows_titled(self->answers_[i].title)) gtk_widget_destroy(GTK_WIDGET(w));
        if (GtkWidget* grab = gtk_grab_get_current()) gtk_widget_destroy(gtk_widget_get_toplevel(grab));
        return G_SOURCE_REMOVE;
    }

    std::vector<Answer> answers_;
    size_t next_ = 0;
    bool seen_ = false;
    GtkWidget* seen_window_ = nullptr;
    GtkWidget* answered_ = nullptr;  // weak: the last dialog answered, while it lives
    std::chrono::steady_clock::time_point answered_at_;
    int repeats_ = 0;
    std::chrono::steady_clock::time_point seen_at_;
    bool timed_out_ = false;
    std::string error_;
    guint poll_ = 0;
    guint soft_ = 0;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::thread hard_;
};

}  // namespace qeltest
