// voxelsurfacer's window under a real display, connected to the test host: its widgets and
// menus, the settings dialogs answered as a user would, the buttons, quitting, and the
// program's own start on paths that end it at once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "programs/voxelsurfacer/mesher_window.h"
#include "support/capture.hpp"
#include "support/gtk_driver.hpp"
#include "support/menu_outline.hpp"
#include "voxelsurfacer/session_support.hpp"

using namespace surfacertest;

namespace {

const char* kValueDialog = "get value";
const char* kRemesh = " Push button for re-meshing.";

const MesherWindow& w() { return *MesherGetWindow(); }
MesherSettings* s() { return MesherGetSettings(); }
std::string status() { return gtk_label_get_text(GTK_LABEL(w().statusLabel)); }
void activate(const char* path) { gtk_menu_item_activate(GTK_MENU_ITEM(QELgtk_GetMenuItem(w().menuBar, path))); }
bool active(const char* path) {
    return gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(QELgtk_GetMenuItem(w().menuBar, path)));
}

// Every label text of a window but those of its buttons, joined.
std::string label_texts(GtkWindow* window) {
    std::string all;
    qeltest::find_widget(GTK_WIDGET(window), [&](GtkWidget* x) {
        if (GTK_IS_LABEL(x) && !gtk_widget_get_ancestor(x, GTK_TYPE_BUTTON)) all += gtk_label_get_text(GTK_LABEL(x));
        return false;
    });
    return all;
}

GtkEntry* entry_of(GtkWindow* dialog) {
    return GTK_ENTRY(qeltest::find_of_type(GTK_WIDGET(dialog), GTK_TYPE_ENTRY));
}

// Answers one value dialog: notes its prompt and first text, types the answer, presses button.
struct ValueAnswer {
    std::string prompt, initial;
    qeltest::Answer answer(const std::string& typed, const char* button = "OK") {
        return qeltest::press(kValueDialog, button, [this, typed](GtkWindow* d) {
            prompt = label_texts(d);
            initial = gtk_entry_get_text(entry_of(d));
            gtk_entry_set_text(entry_of(d), typed.c_str());
        });
    }
};

class Window : public Session {
protected:
    void SetUp() override {
        ASSERT_TRUE(qeltest::open_gtk()) << "no display opens: GUI tests need DISPLAY (Xvfb)";
        Session::SetUp();
        if (HasFatalFailure()) return;
        std::string id = std::to_string(host_->server_id());
        char prog[] = "voxelsurfacer";
        char* argv[] = {prog, id.data(), nullptr};
        qeltest::StderrCapture startup;
        ASSERT_EQ(InitializeMesher(2, argv), 1) << startup.stop();
        // Accelerators act only on a menu bar that is on screen.
        ASSERT_TRUE(qeltest::iterate_until([] { return gtk_widget_get_mapped(w().menuBar); }, 5000));
    }
    void TearDown() override {
        if (s()) CleanupMesher();
        qeltest::settle(5);
        Session::TearDown();
    }

    // Runs the main loop as the program does, with act() called from inside it; false when
    // the loop had to be ended from outside.
    static bool run_main_loop(void (*act)()) {
        struct Run {
            void (*act)();
            bool timedOut = false;
        } run{act};
        g_timeout_add(50, [](gpointer p) { static_cast<Run*>(p)->act(); return G_SOURCE_REMOVE; }, &run);
        const guint guard = g_timeout_add(10000, [](gpointer p) {
            static_cast<Run*>(p)->timedOut = true;
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        }, &run);
        gtk_main();
        if (!run.timedOut) g_source_remove(guard);
        return !run.timedOut;
    }
};

TEST_F(Window, ShowsItsButtonsStatusLineAndMenus) {
    GtkWindow* window = GTK_WINDOW(w().window);
    EXPECT_STREQ(gtk_window_get_title(window), "ZANT-RENDER");
    EXPECT_FALSE(gtk_window_get_resizable(window));
    EXPECT_EQ(qeltest::find_button(w().window, "Execute Meshing"), w().executeButton);
    EXPECT_EQ(qeltest::find_button(w().window, "Import Threshold"), w().importButton);
    EXPECT_EQ(status(), " initialized");
    // The whole menu bar: order, separators, radio groups with the start values chosen, the
    // one accelerator, and the CC Analysis branch made where its first item needs it.
    EXPECT_EQ(qeltest::menu_outline(w().menuBar),
              "File\n"
              "  Quit  <Primary>q\n"
              "Settings\n"
              "  Threshold\n"
              "  ---\n"
              "  Color\n"
              "    RGB\n"
              "      (*) Original\n"
              "      ( ) Uniform  [group of Original]\n"
              "      ( ) Hybrid  [group of Original]\n"
              "      ---\n"
              "      Uniform color...\n"
              "    ---\n"
              "    Alpha\n"
              "  ---\n"
              "  Meshing Quality\n"
              "    Resolution\n"
              "      (*) Low (half)\n"
              "      ( ) High (full)  [group of Low (half)]\n"
              "    Gradient\n"
              "      (*) Unuse\n"
              "      ---\n"
              "      ( ) Use  [group of Unuse]\n"
              "      Smoothness...\n"
              "    ---\n"
              "    CC Analysis\n"
              "      (*) Unuse\n"
              "      ---\n"
              "      ( ) Use  [group of Unuse]\n"
              "      Components...\n"
              "_Help  (right)\n"
              "  About\n");
}

TEST_F(Window, RadioItemsSetTheModes) {
    const struct {
        const char* path;
        int MesherSettings::*field;
        int value;
    } items[] = {
        {"/Settings/Color/RGB/Uniform", &MesherSettings::colorMode, 678},
        {"/Settings/Color/RGB/Hybrid", &MesherSettings::colorMode, 901},
        {"/Settings/Color/RGB/Original", &MesherSettings::colorMode, 345},
        {"/Settings/Meshing Quality/Resolution/High (full)", &MesherSettings::resolutionMode, 345},
        {"/Settings/Meshing Quality/Resolution/Low (half)", &MesherSettings::resolutionMode, 234},
        {"/Settings/Meshing Quality/Gradient/Use", &MesherSettings::gradientMode, 123},
        {"/Settings/Meshing Quality/Gradient/Unuse", &MesherSettings::gradientMode, 456},
        {"/Settings/Meshing Quality/CC Analysis/Use", &MesherSettings::ccAnalysis, 1},
        {"/Settings/Meshing Quality/CC Analysis/Unuse", &MesherSettings::ccAnalysis, 0},
    };
    for (const auto& item : items) {
        SetStatusMessage("x");
        activate(item.path);
        EXPECT_EQ(s()->*item.field, item.value) << item.path;
        EXPECT_TRUE(active(item.path)) << item.path;
        EXPECT_EQ(status(), kRemesh) << item.path;
    }
}

TEST_F(Window, ValueDialogsShowTheirFieldAndKeepWhatIsTyped) {
    s()->alpha = 0.3f;
    const struct {
        const char* path;
        float MesherSettings::*field;
        const char *prompt, *initial, *typed, *button;
        float expected;
    } edits[] = {
        {"/Settings/Threshold", &MesherSettings::threshold, "threhsold", "100.00", "42.5", "OK", 42.5f},
        {"/Settings/Threshold", &MesherSettings::threshold, "threhsold", "42.50", "7", "cancel", 42.5f},
        {"/Settings/Color/Alpha", &MesherSettings::alpha, "mesh alpha", "0.30", "abc", "OK", 0.3f},
        {"/Settings/Color/Alpha", &MesherSettings::alpha, "mesh alpha", "0.30", "-0.5", "OK", -0.5f},
        {"/Settings/Meshing Quality/Gradient/Smoothness...", &MesherSettings::sigma, "sigma (>1)", "1.00", "0.25",
         "OK", 0.25f},
    };
    for (const auto& e : edits) {
        SetStatusMessage("x");
        ValueAnswer v;
        {
            qeltest::DialogDriver driver({v.answer(e.typed, e.button)});
            activate(e.path);
            EXPECT_TRUE(driver.all_answered()) << e.path;
            EXPECT_EQ(driver.error(), "");
        }
        EXPECT_EQ(v.prompt, e.prompt);
        EXPECT_EQ(v.initial, e.initial) << e.path;
        EXPECT_EQ(s()->*e.field, e.expected) << e.path << " " << e.typed;
        EXPECT_EQ(status(), kRemesh);  // after cancel too
    }
}

TEST_F(Window, ComponentsAskOnlyWithCcAnalysis) {
    SetStatusMessage("before");
    {
        // With CC analysis off no dialog opens: the driver would close it.
        qeltest::DialogDriver driver({qeltest::close_window(kValueDialog)}, 3000);
        activate("/Settings/Meshing Quality/CC Analysis/Components...");
        qeltest::settle(100);
        EXPECT_EQ(driver.answered(), 0u);
    }
    EXPECT_EQ(status(), "before");
    EXPECT_EQ(s()->components, 1);

    activate("/Settings/Meshing Quality/CC Analysis/Use");
    ValueAnswer v;
    {
        qeltest::DialogDriver driver({v.answer("3")});
        activate("/Settings/Meshing Quality/CC Analysis/Components...");
        EXPECT_TRUE(driver.all_answered());
    }
    EXPECT_EQ(v.prompt, "pick up largest");
    EXPECT_EQ(v.initial, "1");
    EXPECT_EQ(s()->components, 3);
    EXPECT_EQ(status(), kRemesh);
}

TEST_F(Window, UniformColourKeepsTheAlphaAndAboutShowsItsText) {
    s()->alpha = 0.3f;
    GdkRGBA shown{};
    {
        qeltest::DialogDriver driver({qeltest::press("Color Selection", "_OK", [&](GtkWindow* d) {
            G_GNUC_BEGIN_IGNORE_DEPRECATIONS
            GtkWidget* sel = gtk_color_selection_dialog_get_color_selection(GTK_COLOR_SELECTION_DIALOG(d));
            gtk_color_selection_get_current_rgba(GTK_COLOR_SELECTION(sel), &shown);
            const GdkRGBA pick{0.25, 0.5, 1.0, 0.0};
            gtk_color_selection_set_current_rgba(GTK_COLOR_SELECTION(sel), &pick);
            G_GNUC_END_IGNORE_DEPRECATIONS
        })});
        activate("/Settings/Color/RGB/Uniform color...");
        EXPECT_TRUE(driver.all_answered());
        EXPECT_EQ(driver.error(), "");
    }
    EXPECT_NEAR(shown.red, 0.7, 1e-6);
    EXPECT_NEAR(shown.blue, 0.5, 1e-6);
    EXPECT_NEAR(s()->uniformColor[0], 0.25f, 1e-6);
    EXPECT_NEAR(s()->uniformColor[1], 0.5f, 1e-6);
    EXPECT_NEAR(s()->uniformColor[2], 1.0f, 1e-6);
    EXPECT_EQ(s()->alpha, 0.3f);
    EXPECT_EQ(status(), kRemesh);

    SetStatusMessage("before");
    std::string text;
    {
        qeltest::DialogDriver driver(
            {qeltest::press("About", "      OK      ", [&](GtkWindow* d) { text = label_texts(d); })});
        activate("/Help/About");
        EXPECT_TRUE(driver.all_answered());
    }
    EXPECT_EQ(text,
              "ZANT-RENDER ver.1.31\n\nfor TALVEROX 1.64 or later\n\nThis software is not based on\nthe MarchingCubes "
              "algorithm.");
    EXPECT_EQ(status(), "before");
}

TEST_F(Window, ButtonsMeshAndImportTheThreshold) {
    show(rgba_voxel(5).get(), 10.0f, 51.0f);
    // Nothing downloaded yet: the window's middle, whatever the channel.
    gtk_button_clicked(GTK_BUTTON(w().importButton));
    EXPECT_EQ(s()->threshold, 30.5f);
    EXPECT_EQ(status(), " T=30.50. Push button for re-meshing.");

    activate("/Settings/Meshing Quality/Resolution/High (full)");
    {
        qeltest::StderrCapture quiet;
        gtk_button_clicked(GTK_BUTTON(w().executeButton));
    }
    EXPECT_EQ(status(), " 12 triangles / 24 vertices");
    EXPECT_EQ(host_->groups().at(s()->groupId).payload, transact::payload(s()->group));

    // An RGBA channel has no grey window to take a threshold from.
    std::string text;
    {
        qeltest::DialogDriver driver(
            {qeltest::press("Notice", "      OK      ", [&](GtkWindow* d) { text = label_texts(d); })});
        gtk_button_clicked(GTK_BUTTON(w().importButton));
        EXPECT_TRUE(driver.all_answered());
    }
    EXPECT_EQ(text, "This function is not for RGBA volume");
    EXPECT_EQ(s()->threshold, 30.5f);
    EXPECT_EQ(status(), " 12 triangles / 24 vertices");
}

TEST_F(Window, ControlQOrClosingEndsTheLoopAndTheCleanUpDeletesTheGroup) {
    const int groupId = s()->groupId;
    EXPECT_TRUE(run_main_loop([] {
        gtk_accel_groups_activate(G_OBJECT(w().window), GDK_KEY_q, GDK_CONTROL_MASK);
    }));
    EXPECT_NE(w().window, nullptr);  // quitting leaves the window to the clean-up
    EXPECT_TRUE(run_main_loop([] { qeltest::close_by_window_manager(GTK_WINDOW(w().window)); }));
    EXPECT_EQ(w().window, nullptr);
    host_->clear_log();
    CleanupMesher();
    EXPECT_EQ(host_->codes(), std::vector<int>{QELipc_REQUEST_TYPE_DELETE_DATA_OBJECT_GROUP});
    EXPECT_EQ(host_->log().at(0).word(0), groupId);
    EXPECT_TRUE(host_->groups().empty());
    EXPECT_EQ(s(), nullptr);
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// The real program on the paths that end it before its window runs.
TEST(Program, EndsAtOnceWithoutDisplayArgumentOrHost) {
    ASSERT_TRUE(qeltest::open_gtk()) << "no display opens: GUI tests need DISPLAY (Xvfb)";
    const std::string prog = std::string(QEL_BIN_DIR) + "/voxelsurfacer";
    std::string out;
    EXPECT_EQ(qel::testhost::run_plugin(prog, 1, "extra", 60000, &out), 0);
    EXPECT_EQ(out, "");

    char name[] = "/tmp/qel-voxelsurfacer-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::string command = "timeout 60 '" + prog + "' >'" + name + "' 2>&1";
    const int rc = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << rc;
    EXPECT_EQ(read_file(name), "");
    unlink(name);

    // No host behind the server ID: the group request decides.
    EXPECT_EQ(qel::testhost::run_plugin(prog, qel::testhost::unique_server_id(), nullptr, 120000, &out), 0);
    EXPECT_EQ(out,
              "IPC NOT available (IPC Client initialization failure)\n"
              "Missed <QELipc_MESSAGE_TYPE_DATA_OBJECT_GROUP_CREATED>\n");

    const std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const int code = qel::testhost::run_plugin(prog, 1, nullptr, 60000, &out);
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, "voxelsurfacer: cannot open display\n");
}

}  // namespace
