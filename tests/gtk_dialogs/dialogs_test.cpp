// The modal dialogs under a real display: answers, result codes, buffers, and what they leave.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gui/qel_gtk_dialogs.h"
#include "support/capture.hpp"
#include "support/gtk_driver.hpp"

namespace {

namespace fs = std::filesystem;
using qeltest::Answer;
using qeltest::DialogDriver;

constexpr char kGuard = 0x5A;
const char kFileSelection[] = "File Selection";

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qeltest::open_gtk()) << "no display opens: GUI tests need DISPLAY (Xvfb)";
        // The program's own window, as every caller has one.
        main_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(main_), "qel test program");
        gtk_widget_set_size_request(main_, 200, 100);
        gtk_widget_show(main_);
    }
    void TearDown() override {
        if (main_) gtk_widget_destroy(main_);
        qeltest::settle(5);
    }

    // After a dialog call: no window of that title and no grab remain.
    static void expect_gone(const std::string& title) {
        EXPECT_TRUE(qeltest::windows_titled(title).empty()) << "\"" << title << "\" still exists";
        EXPECT_EQ(gtk_grab_get_current(), nullptr);
    }
    static void expect_all_answered(const DialogDriver& driver) {
        EXPECT_TRUE(driver.all_answered());
        EXPECT_FALSE(driver.timed_out());
        EXPECT_EQ(driver.error(), "");
    }

    GtkWidget* main_ = nullptr;
};

GtkWidget* entry_of(GtkWindow* w) { return qeltest::find_of_type(GTK_WIDGET(w), GTK_TYPE_ENTRY); }

std::string entry_text(GtkWindow* w) {
    GtkWidget* e = entry_of(w);
    return e ? gtk_entry_get_text(GTK_ENTRY(e)) : "<no entry>";
}

std::function<void(GtkWindow*)> type_into_entry(std::string text) {
    return [text](GtkWindow* w) {
        if (GtkWidget* e = entry_of(w)) gtk_entry_set_text(GTK_ENTRY(e), text.c_str());
    };
}

bool has_default(GtkWindow* w, const std::string& label) {
    GtkWidget* b = qeltest::find_button(GTK_WIDGET(w), label);
    return b && gtk_widget_has_default(b);
}

bool has_label(GtkWindow* w, const std::string& text) {
    return qeltest::find_widget(GTK_WIDGET(w), [&](GtkWidget* x) {
               return GTK_IS_LABEL(x) && text == gtk_label_get_text(GTK_LABEL(x));
           }) != nullptr;
}

// ---- message box -----------------------------------------------------------------------------

TEST_F(Dialogs, MessageBoxShowsItsTextAndClosesEveryWay) {
    const char* text = "ZANT-RENDER ver.1.31\n\nfor TALVEROX 1.64 or later";
    bool looked = false;
    auto inspect = [&](GtkWindow* w) {
        looked = true;
        EXPECT_TRUE(has_label(w, text));
        EXPECT_TRUE(has_default(w, "      OK      "));
        EXPECT_EQ(g_object_get_data(G_OBJECT(w), "About"), w);  // the title is also its data key
        int width = 0, height = 0;
        gtk_widget_get_size_request(GTK_WIDGET(w), &width, &height);
        EXPECT_EQ(width, 280);
        EXPECT_EQ(height, 240);
        EXPECT_FALSE(gtk_window_get_resizable(w));
    };
    for (Answer a : {qeltest::press("About", "      OK      ", inspect), qeltest::close_window("About"),
                     qeltest::escape("About")}) {
        DialogDriver driver({a});
        QELgtk_MessageBox("About", text, 280, 240);
        expect_all_answered(driver);
        expect_gone("About");
    }
    EXPECT_TRUE(looked);
}

// ---- value entry -----------------------------------------------------------------------------

TEST_F(Dialogs, GetValueOkUneditedKeepsTheBuffer) {
    char buffer[QELGTK_VALUE_BUFFER_SIZE] = "3.50";
    std::string shown;
    DialogDriver driver({qeltest::press("get value", "OK", [&](GtkWindow* w) {
        shown = entry_text(w);
        EXPECT_TRUE(has_label(w, "threhsold"));
        EXPECT_TRUE(has_default(w, "OK"));
        EXPECT_TRUE(qeltest::find_button(GTK_WIDGET(w), "cancel"));
        int width = 0, height = 0;
        gtk_widget_get_size_request(GTK_WIDGET(w), &width, &height);
        EXPECT_EQ(width, 240);
        EXPECT_EQ(height, 120);
    })});
    EXPECT_EQ(QELgtk_GetValue("threhsold", buffer), QELGTK_OK);
    expect_all_answered(driver);
    EXPECT_EQ(shown, "3.50");
    EXPECT_STREQ(buffer, "3.50");
    expect_gone("get value");
}

TEST_F(Dialogs, GetValueOkEditedStoresTheEntry) {
    char buffer[QELGTK_VALUE_BUFFER_SIZE] = "1";
    DialogDriver driver({qeltest::press("get value", "OK", type_into_entry("12.25"))});
    EXPECT_EQ(QELgtk_GetValue("sigma (>1)", buffer), QELGTK_OK);
    expect_all_answered(driver);
    EXPECT_STREQ(buffer, "12.25");
    expect_gone("get value");

    // An emptied entry is an empty answer with the OK result.
    DialogDriver again({qeltest::press("get value", "OK", type_into_entry(""))});
    EXPECT_EQ(QELgtk_GetValue("label", buffer), QELGTK_OK);
    EXPECT_STREQ(buffer, "");
}

TEST_F(Dialogs, GetValueCancelCloseAndEscapeLeaveTheBuffer) {
    for (Answer a : {qeltest::press("get value", "cancel", type_into_entry("99")),
                     qeltest::close_window("get value"), qeltest::escape("get value")}) {
        char buffer[QELGTK_VALUE_BUFFER_SIZE] = "0.70";
        if (!a.fill) a.fill = type_into_entry("42");  // edited, then abandoned
        DialogDriver driver({a});
        EXPECT_EQ(QELgtk_GetValue("mesh alpha", buffer), QELGTK_VALUE_CANCEL);
        expect_all_answered(driver);
        EXPECT_STREQ(buffer, "0.70");
        expect_gone("get value");
    }
}

TEST_F(Dialogs, GetValueCutsALongEntryAtTheCapacity) {
    // A small buffer between guard bytes.
    std::vector<char> storage(8 + 32, kGuard);
    char* buffer = storage.data() + 16;
    std::strcpy(buffer, "ab");
    DialogDriver driver({qeltest::press("get value", "OK", type_into_entry("0123456789abcdef"))});
    EXPECT_EQ(QELgtk_GetValue("label", buffer, 8), QELGTK_OK);
    expect_all_answered(driver);
    EXPECT_STREQ(buffer, "0123456");
    for (size_t i = 0; i < storage.size(); ++i) {
        if (i < 16 || i >= 24) {
            EXPECT_EQ(storage[i], kGuard) << "guard byte " << i;
        }
    }

    // The programs' 1024-byte buffer, the default capacity.
    std::vector<char> big(QELGTK_VALUE_BUFFER_SIZE + 64, kGuard);
    std::strcpy(big.data(), "untitled-1");
    const std::string long_text(3000, 'x');
    DialogDriver again({qeltest::press("get value", "OK", type_into_entry(long_text))});
    EXPECT_EQ(QELgtk_GetValue("label", big.data()), QELGTK_OK);
    EXPECT_EQ(std::string(big.data()), long_text.substr(0, QELGTK_VALUE_BUFFER_SIZE - 1));
    for (size_t i = QELGTK_VALUE_BUFFER_SIZE; i < big.size(); ++i) EXPECT_EQ(big[i], kGuard) << "guard byte " << i;
}

TEST_F(Dialogs, GetValueReadsTheInitialTextNoFurtherThanTheBuffer) {
    // Four bytes without a terminator, then guard bytes: only capacity - 1 of them are shown.
    std::vector<char> storage(4 + 8, kGuard);
    std::memcpy(storage.data(), "abcd", 4);
    std::string shown;
    DialogDriver driver({qeltest::press("get value", "OK", [&](GtkWindow* w) { shown = entry_text(w); })});
    EXPECT_EQ(QELgtk_GetValue("label", storage.data(), 4), QELGTK_OK);
    EXPECT_EQ(shown, "abc");
    EXPECT_STREQ(storage.data(), "abc");
    for (size_t i = 4; i < storage.size(); ++i) EXPECT_EQ(storage[i], kGuard);
}

// ---- file selection --------------------------------------------------------------------------

class FileDialogs : public Dialogs {
protected:
    void SetUp() override {
        Dialogs::SetUp();
        char name[] = "/tmp/qel-files-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
        Dialogs::TearDown();
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
};

auto choose_name(std::string folder, std::string name) {
    return [folder, name](GtkWindow* w) {
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(w), folder.c_str());
        gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(w), name.c_str());
    };
}

TEST_F(FileDialogs, OkUneditedReturnsThePreselectedName) {
    char buffer[QELGTK_FILE_BUFFER_SIZE];
    std::string current_name;
    DialogDriver driver({qeltest::press("File Selection", "_OK", [&](GtkWindow* w) {
        gchar* n = gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(w));
        current_name = n ? n : "";
        g_free(n);
        EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(w)), GTK_FILE_CHOOSER_ACTION_SAVE);
    })});
    EXPECT_EQ(QELgtk_SelectFile(main_, buffer, path("views.txt").c_str()), QELGTK_OK);
    expect_all_answered(driver);
    EXPECT_EQ(current_name, "views.txt");
    EXPECT_EQ(std::string(buffer), path("views.txt"));
    expect_gone("File Selection");
}

TEST_F(FileDialogs, TheBufferMayBeItsOwnInitialName) {
    char buffer[QELGTK_FILE_BUFFER_SIZE];
    std::snprintf(buffer, sizeof buffer, "%s", path("last.txt").c_str());
    DialogDriver driver({qeltest::press("File Selection", "_OK")});
    EXPECT_EQ(QELgtk_SelectFile(nullptr, buffer, buffer), QELGTK_OK);
    expect_all_answered(driver);
    EXPECT_EQ(std::string(buffer), path("last.txt"));
}

TEST_F(FileDialogs, ExistingFilesAreChosenWithoutOverwriteQuestion) {
    const std::string existing = path("old.pnm");
    std::ofstream(existing) << "keep";
    char buffer[QELGTK_FILE_BUFFER_SIZE] = "";
    // Any confirmation dialog would never be answered: the watchdog would report it.
    DialogDriver driver({qeltest::press("File Selection", "_OK")}, 8000);
    EXPECT_EQ(QELgtk_SelectFile(main_, buffer, existing.c_str()), QELGTK_OK);
    expect_all_answered(driver);
    EXPECT_EQ(std::string(buffer), existing);
    std::ifstream in(existing);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "keep");  // choosing writes nothing
}

TEST_F(FileDialogs, OkEditedAndWithoutInitialName) {
    char buffer[QELGTK_FILE_BUFFER_SIZE] = "untitled";
    DialogDriver driver({qeltest::press("File Selection", "_OK", choose_name(dir_, "other.pnm"))});
    EXPECT_EQ(QELgtk_SelectFile(main_, buffer, buffer), QELGTK_OK);
    expect_all_answered(driver);
    EXPECT_EQ(std::string(buffer), path("other.pnm"));

    std::string current_name = "<not looked>";
    DialogDriver again({qeltest::press("File Selection", "_OK", [&](GtkWindow* w) {
        if (current_name == "<not looked>") {  // the driver may answer twice
            gchar* n = gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(w));
            current_name = n ? n : "";
            g_free(n);
        }
        choose_name(dir_, "prefix")(w);
    })});
    EXPECT_EQ(QELgtk_SelectFile(main_, buffer, nullptr), QELGTK_OK);
    EXPECT_EQ(current_name, "");
    EXPECT_EQ(std::string(buffer), path("prefix"));
}

TEST_F(FileDialogs, CancelCloseAndEscapeLeaveTheBuffer) {
    for (Answer a : {qeltest::press("File Selection", "_Cancel", choose_name(dir_, "x.txt")),
                     qeltest::close_window("File Selection"), qeltest::escape("File Selection")}) {
        char buffer[QELGTK_FILE_BUFFER_SIZE] = "before";
        DialogDriver driver({a});
        EXPECT_EQ(QELgtk_SelectFile(main_, buffer, path("y.txt").c_str()), QELGTK_FILE_CANCEL);
        expect_all_answered(driver);
        EXPECT_STREQ(buffer, "before");
        expect_gone("File Selection");
    }
}

TEST_F(FileDialogs, ANameLongerThanTheBufferCountsAsCancel) {
    // Room for exactly "<dir>/abcde".
    const size_t capacity = dir_.size() + 1 + 5 + 1;
    std::vector<char> storage(capacity + 16, kGuard);
    std::strcpy(storage.data(), "before");

    DialogDriver fits({qeltest::press("File Selection", "_OK", choose_name(dir_, "abcde"))});
    EXPECT_EQ(QELgtk_SelectFile(main_, storage.data(), nullptr, capacity), QELGTK_OK);
    EXPECT_EQ(std::string(storage.data()), path("abcde"));

    std::strcpy(storage.data(), "before");
    qeltest::StderrCapture capture;
    DialogDriver too_long({qeltest::press("File Selection", "_OK", choose_name(dir_, "abcdef"))});
    const int result = QELgtk_SelectFile(main_, storage.data(), nullptr, capacity);
    const std::string err = capture.stop();
    EXPECT_EQ(result, QELGTK_FILE_CANCEL);
    expect_all_answered(too_long);
    EXPECT_EQ(err, "QELgtk_SelectFile: too long file name\n");
    EXPECT_STREQ(storage.data(), "before");
    for (size_t i = capacity; i < storage.size(); ++i) EXPECT_EQ(storage[i], kGuard);
    expect_gone("File Selection");
}

TEST_F(FileDialogs, AnAnswerWhileTheChooserIsStillBusyLeavesNoGtkWarning) {
    // A folder that takes a while to list, and a hold on the chooser such as a lookup still
    // running has: the answers come while the chooser is busy, and its work ends after them.
    for (int i = 0; i < 2000; ++i) std::ofstream(path("f" + std::to_string(i)));
    for (const char* button : {"_Cancel", "_OK", ""}) {
        SCOPED_TRACE(*button ? button : "escape");
        GtkWidget* held = nullptr;
        auto hold = [&](GtkWindow* w) {
            if (!held) held = GTK_WIDGET(g_object_ref(qeltest::find_of_type(GTK_WIDGET(w), GTK_TYPE_FILE_CHOOSER_WIDGET)));
        };
        Answer a = *button ? qeltest::press(kFileSelection, button, hold) : qeltest::escape(kFileSelection);
        if (!*button) a.fill = hold;
        char buffer[QELGTK_FILE_BUFFER_SIZE] = "";
        qeltest::StderrCapture err;
        {
            DialogDriver driver({a});
            QELgtk_SelectFile(main_, buffer, path("f1").c_str());
            expect_all_answered(driver);
        }
        qeltest::settle(800);  // the chooser's loading timer (half a second) and listing run out
        ASSERT_NE(held, nullptr);
        g_object_unref(held);
        qeltest::settle(20);
        EXPECT_EQ(err.stop(), "");
        expect_gone(kFileSelection);
    }
}

// ---- colour selection ------------------------------------------------------------------------

auto pick_colour(double r, double g, double b) {
    return [r, g, b](GtkWindow* w) {
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        GtkWidget* sel = qeltest::find_of_type(GTK_WIDGET(w), GTK_TYPE_COLOR_SELECTION);
        const GdkRGBA c{r, g, b, 1.0};
        if (sel) gtk_color_selection_set_current_rgba(GTK_COLOR_SELECTION(sel), &c);
        G_GNUC_END_IGNORE_DEPRECATIONS
    };
}

TEST_F(Dialogs, ColourOkUneditedKeepsTheColour) {
    // rgba[4] lies between guards; the alpha and the guards must never be written.
    float storage[6] = {-7.0f, 0.25f, 0.5f, 0.75f, 0.3f, -9.0f};
    float* rgba = storage + 1;
    bool opacity = true;
    DialogDriver driver({qeltest::press("Color Selection", "_OK", [&](GtkWindow* w) {
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        GtkWidget* sel = qeltest::find_of_type(GTK_WIDGET(w), GTK_TYPE_COLOR_SELECTION);
        opacity = sel && gtk_color_selection_get_has_opacity_control(GTK_COLOR_SELECTION(sel));
        G_GNUC_END_IGNORE_DEPRECATIONS
    })});
    EXPECT_EQ(QELgtk_SelectColor(rgba), QELGTK_COLOR_OK);
    expect_all_answered(driver);
    EXPECT_FALSE(opacity);
    EXPECT_EQ(storage[0], -7.0f);
    EXPECT_FLOAT_EQ(rgba[0], 0.25f);
    EXPECT_FLOAT_EQ(rgba[1], 0.5f);
    EXPECT_FLOAT_EQ(rgba[2], 0.75f);
    EXPECT_EQ(rgba[3], 0.3f);
    EXPECT_EQ(storage[5], -9.0f);
    expect_gone("Color Selection");
}

TEST_F(Dialogs, ColourOkEditedWritesOnlyRedGreenBlue) {
    float storage[6] = {-7.0f, 0.7f, 0.7f, 0.5f, 0.4f, -9.0f};
    float* rgba = storage + 1;
    DialogDriver driver({qeltest::press("Color Selection", "_OK", pick_colour(0.125, 1.0, 0.0))});
    EXPECT_EQ(QELgtk_SelectColor(rgba), QELGTK_COLOR_OK);
    expect_all_answered(driver);
    EXPECT_FLOAT_EQ(rgba[0], 0.125f);
    EXPECT_FLOAT_EQ(rgba[1], 1.0f);
    EXPECT_FLOAT_EQ(rgba[2], 0.0f);
    EXPECT_EQ(rgba[3], 0.4f);
    EXPECT_EQ(storage[0], -7.0f);
    EXPECT_EQ(storage[5], -9.0f);
}

TEST_F(Dialogs, ColourCancelCloseAndEscapeLeaveTheColour) {
    for (Answer a : {qeltest::press("Color Selection", "_Cancel", pick_colour(0.0, 0.0, 1.0)),
                     qeltest::close_window("Color Selection"), qeltest::escape("Color Selection")}) {
        float rgba[4] = {0.7f, 0.7f, 0.5f, 1.0f};
        if (!a.fill) a.fill = pick_colour(1.0, 0.0, 0.0);
        DialogDriver driver({a});
        EXPECT_EQ(QELgtk_SelectColor(rgba), QELGTK_COLOR_CANCEL);
        expect_all_answered(driver);
        EXPECT_EQ(rgba[0], 0.7f);
        EXPECT_EQ(rgba[1], 0.7f);
        EXPECT_EQ(rgba[2], 0.5f);
        EXPECT_EQ(rgba[3], 1.0f);
        expect_gone("Color Selection");
    }
}

// ---- question box ----------------------------------------------------------------------------

TEST_F(Dialogs, QuestionBoxResultsAndDefaultButton) {
    bool looked = false;
    auto inspect = [&](GtkWindow* w) {
        looked = true;
        EXPECT_TRUE(has_default(w, " Cancel "));
        EXPECT_FALSE(has_default(w, "  OK  "));
        EXPECT_TRUE(has_label(w, "Overwrite?"));
    };
    const struct {
        Answer answer;
        int result;
    } cases[] = {
        {qeltest::press("Question", "  OK  ", inspect), QELGTK_QUESTION_OK},
        {qeltest::press("Question", " Cancel "), QELGTK_QUESTION_CANCEL},
        {qeltest::close_window("Question"), QELGTK_QUESTION_CANCEL},
        {qeltest::escape("Question"), QELGTK_QUESTION_CANCEL},
    };
    for (const auto& c : cases) {
        DialogDriver driver({c.answer});
        EXPECT_EQ(QELgtk_QuestionBox("Question", "Overwrite?", 300, 120), c.result);
        expect_all_answered(driver);
        expect_gone("Question");
    }
    EXPECT_TRUE(looked);
}

// ---- nested loops ----------------------------------------------------------------------------

// A program timeout that counts its ticks while the dialog titled `title` holds the grab, and
// on the fifth one presses `button`: the dialog can only end if the timeout keeps firing.
struct Ticker {
    std::string title;
    std::string button;
    int during = 0;
    guint id = 0;
    Ticker(std::string t, std::string b) : title(std::move(t)), button(std::move(b)) {
        id = g_timeout_add(5, [](gpointer p) -> gboolean {
            auto* self = static_cast<Ticker*>(p);
            GtkWidget* grab = gtk_grab_get_current();
            GtkWindow* w = qeltest::find_window(self->title);
            if (!w || !grab || gtk_widget_get_toplevel(grab) != GTK_WIDGET(w)) return G_SOURCE_CONTINUE;
            if (++self->during == 5) {
                if (GtkWidget* b = qeltest::find_button(GTK_WIDGET(w), self->button)) gtk_button_clicked(GTK_BUTTON(b));
            }
            return G_SOURCE_CONTINUE;
        }, this);
    }
    ~Ticker() { g_source_remove(id); }
};

// One call of each dialog kind, with its buttons.
struct AnyDialog {
    const char* title;
    const char* ok;
    const char* cancel;
    std::function<void()> open;
};

std::vector<AnyDialog> every_dialog() {
    static char value[QELGTK_VALUE_BUFFER_SIZE];
    static char file[QELGTK_FILE_BUFFER_SIZE];
    static float rgba[4];
    std::strcpy(value, "1");
    std::strcpy(file, "/tmp/qel-never-written");
    return {
        {"About", "      OK      ", "      OK      ", [] { QELgtk_MessageBox("About", "text", 200, 100); }},
        {"get value", "OK", "cancel", [] { QELgtk_GetValue("label", value); }},
        {"File Selection", "_OK", "_Cancel", [] { QELgtk_SelectFile(nullptr, file, file); }},
        {"Color Selection", "_OK", "_Cancel", [] { QELgtk_SelectColor(rgba); }},
        {"Question", "  OK  ", " Cancel ", [] { QELgtk_QuestionBox("Question", "text", 200, 100); }},
    };
}

TEST_F(Dialogs, ProgramTimeoutsKeepFiringWhileADialogIsOpen) {
    for (const auto& d : every_dialog()) {
        SCOPED_TRACE(d.title);
        Ticker ticker(d.title, d.cancel);
        DialogDriver watchdog({});  // answers nothing; closes the dialog if the ticker never does
        d.open();
        EXPECT_FALSE(watchdog.timed_out());
        EXPECT_GE(ticker.during, 5);
        expect_gone(d.title);
    }
}

// Runs the program's main loop; `start` runs from a timeout inside it. The loop is ended by
// a later timeout that sees it still running, or by the guard.
struct OuterLoop {
    std::function<void()> start;
    int level_inside_dialog = -1;
    bool still_running_after = false;
    bool guard_fired = false;

    void run() {
        g_timeout_add(10, [](gpointer p) -> gboolean {
            auto* self = static_cast<OuterLoop*>(p);
            self->start();
            self->level_inside_dialog = static_cast<int>(gtk_main_level());
            // Fires only if this loop is still running after the dialog.
            g_timeout_add(100, [](gpointer q) -> gboolean {
                static_cast<OuterLoop*>(q)->still_running_after = true;
                gtk_main_quit();
                return G_SOURCE_REMOVE;
            }, self);
            return G_SOURCE_REMOVE;
        }, this);
        guint guard = g_timeout_add(30000, [](gpointer p) -> gboolean {
            static_cast<OuterLoop*>(p)->guard_fired = true;
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        }, this);
        gtk_main();
        if (!guard_fired) g_source_remove(guard);
    }
};

TEST_F(Dialogs, ADialogNeverEndsTheProgramsLoop) {
    for (const auto& d : every_dialog()) {
        for (Answer a : {qeltest::press(d.title, d.ok), qeltest::press(d.title, d.cancel),
                         qeltest::close_window(d.title), qeltest::escape(d.title)}) {
            SCOPED_TRACE(std::string(d.title) + " answered by " + (a.button.empty() ? "close/escape" : a.button));
            DialogDriver driver({a});
            OuterLoop outer;
            outer.start = d.open;
            outer.run();
            expect_all_answered(driver);
            EXPECT_EQ(outer.level_inside_dialog, 1);
            EXPECT_TRUE(outer.still_running_after);
            EXPECT_FALSE(outer.guard_fired);
            expect_gone(d.title);
        }
    }
}

TEST_F(Dialogs, AProgramQuitDuringADialogEndsTheProgramsLoopAfterIt) {
    struct State {
        char buffer[QELGTK_VALUE_BUFFER_SIZE] = "5";
        int result = 0;
        bool quit_while_open = false;
        bool guard_fired = false;
    } st;
    DialogDriver driver({qeltest::press("get value", "OK", type_into_entry("6"), 150)});
    g_timeout_add(10, [](gpointer p) -> gboolean {
        auto* s = static_cast<State*>(p);
        // The program quits from a timer while the dialog is open.
        g_timeout_add(50, [](gpointer q) -> gboolean {
            static_cast<State*>(q)->quit_while_open = qeltest::find_window("get value") != nullptr;
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        }, s);
        s->result = QELgtk_GetValue("label", s->buffer);
        return G_SOURCE_REMOVE;
    }, &st);
    const guint guard = g_timeout_add(30000, [](gpointer p) -> gboolean {
        static_cast<State*>(p)->guard_fired = true;
        gtk_main_quit();
        return G_SOURCE_REMOVE;
    }, &st);
    gtk_main();
    if (!st.guard_fired) g_source_remove(guard);
    EXPECT_FALSE(st.guard_fired);
    EXPECT_TRUE(st.quit_while_open);
    EXPECT_EQ(st.result, QELGTK_OK);  // the dialog was answered, not cut short
    EXPECT_STREQ(st.buffer, "6");
    expect_all_answered(driver);
    expect_gone("get value");
}

TEST_F(Dialogs, ADialogOpenedOverAnotherOneOfTheSameKindKeepsBothAnswers) {
    char outer_buffer[QELGTK_VALUE_BUFFER_SIZE] = "outer";
    char inner_buffer[QELGTK_VALUE_BUFFER_SIZE] = "inner";
    int inner_result = 0;
    // A timer opens a second value dialog while the first one is open.
    struct Inner {
        char* buffer;
        int* result;
    } inner{inner_buffer, &inner_result};
    g_timeout_add(10, [](gpointer p) -> gboolean {
        auto* in = static_cast<Inner*>(p);
        *in->result = QELgtk_GetValue("second", in->buffer);
        return G_SOURCE_REMOVE;
    }, &inner);
    std::string inner_shown, outer_shown;
    DialogDriver driver({
        qeltest::press("get value", "OK",
                       [&](GtkWindow* w) {
                           inner_shown = entry_text(w);
                           type_into_entry("inner answer")(w);
                       },
                       150),
        qeltest::press("get value", "cancel",
                       [&](GtkWindow* w) {
                           outer_shown = entry_text(w);
                           type_into_entry("lost")(w);
                       }),
    });
    EXPECT_EQ(QELgtk_GetValue("first", outer_buffer), QELGTK_VALUE_CANCEL);
    expect_all_answered(driver);
    EXPECT_EQ(inner_result, QELGTK_OK);
    EXPECT_EQ(inner_shown, "inner");
    EXPECT_EQ(outer_shown, "outer");
    EXPECT_STREQ(inner_buffer, "inner answer");
    EXPECT_STREQ(outer_buffer, "outer");
    expect_gone("get value");
}

}  // namespace
