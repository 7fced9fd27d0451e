#include "mesher_window.h"

#include <cstdio>
#include <cstdlib>

#include "gui/qel_gtk_dialogs.h"
#include "ipc/qel_ipc.h"
#include "mesher_host.h"
#include "mesher_shell.h"

namespace {

MesherSettings* mesher = nullptr;
MesherWindow widgets{};

constexpr const char* kAboutText =
    "ZANT-RENDER ver.1.31\n\nfor TALVEROX 1.64 or later\n\nThis software is not based on\nthe MarchingCubes algorithm.";

// Status texts are short; the longest is the totals of a mesh.
constexpr size_t kStatusSize = 128;

// The window may go before the main loop runs (a start-up that gives up) or after it ended
// (the clean-up): only a running loop is told to end.
void OnMesherWindowDestroy(GtkWidget*, gpointer) {
    widgets = MesherWindow{};
    if (gtk_main_level() > 0) gtk_main_quit();
}

void pack_button(GtkWidget** button, const char* label, GCallback handler) {
    *button = gtk_button_new_with_label(label);
    gtk_box_pack_start(GTK_BOX(widgets.vbox), *button, FALSE, FALSE, 2);
    g_signal_connect(*button, "clicked", handler, nullptr);
    gtk_widget_show(*button);
    gtk_widget_set_size_request(*button, 200, 30);
}

// A value dialog on one field: the entry starts with the field's value and OK stores what
// it reads. The status line asks for a new mesh after OK and cancel alike.
void edit_float(float* field, const char* prompt) {
    char buffer[QELGTK_VALUE_BUFFER_SIZE];
    FormatFloatSetting(*field, buffer, sizeof buffer);
    if (QELgtk_GetValue(prompt, buffer, sizeof buffer) == QELGTK_OK) ReadFloatSetting(buffer, field);
    SetStatusMessage(MESHER_STATUS_REMESH);
}

void set_mode(int* field, int value) {
    *field = value;
    SetStatusMessage(MESHER_STATUS_REMESH);
}

}  // namespace

const QelGtkMenuEntry kMesherMenu[MESHER_MENU_ENTRIES] = {
    {"/File", nullptr, nullptr, 0, "<Branch>"},
    {"/File/Quit", "<control>Q", OnMesherQuit, 0, nullptr},
    {"/Settings", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Threshold", nullptr, OnSetThreshold, 0, nullptr},
    {"/Settings/sep_P1", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Color", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Color/RGB", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Color/RGB/Original", nullptr, OnColorOriginal, 0, "<RadioItem>"},
    {"/Settings/Color/RGB/Uniform", nullptr, OnColorUniform, 0, "/Settings/Color/RGB/Original"},
    {"/Settings/Color/RGB/Hybrid", nullptr, OnColorHybrid, 0, "/Settings/Color/RGB/Original"},
    {"/Settings/Color/RGB/sep_P2", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Color/RGB/Uniform color...", nullptr, OnUniformColor, 0, nullptr},
    {"/Settings/Color/sep_P3", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Color/Alpha", nullptr, OnSetAlpha, 0, nullptr},
    {"/Settings/sep_P3", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Meshing Quality", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Meshing Quality/Resolution", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Meshing Quality/Resolution/Low (half)", nullptr, OnResolutionLow, 0, "<RadioItem>"},
    {"/Settings/Meshing Quality/Resolution/High (full)", nullptr, OnResolutionHigh, 0,
     "/Settings/Meshing Quality/Resolution/Low (half)"},
    {"/Settings/Meshing Quality/Gradient", nullptr, nullptr, 0, "<Branch>"},
    {"/Settings/Meshing Quality/Gradient/Unuse", nullptr, OnGradientUnuse, 0, "<RadioItem>"},
    {"/Settings/Meshing Quality/Gradient/sep_P4", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Meshing Quality/Gradient/Use", nullptr, OnGradientUse, 0, "/Settings/Meshing Quality/Gradient/Unuse"},
    {"/Settings/Meshing Quality/Gradient/Smoothness...", nullptr, OnSetSmoothness, 0, nullptr},
    {"/Settings/Meshing Quality/sep_P5", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Meshing Quality/CC Analysis/Unuse", nullptr, OnCcAnalysisUnuse, 0, "<RadioItem>"},
    {"/Settings/Meshing Quality/CC Analysis/----", nullptr, nullptr, 0, "<Separator>"},
    {"/Settings/Meshing Quality/CC Analysis/Use", nullptr, OnCcAnalysisUse, 0,
     "/Settings/Meshing Quality/CC Analysis/Unuse"},
    {"/Settings/Meshing Quality/CC Analysis/Components...", nullptr, OnSetComponents, 0, nullptr},
    {"/_Help", nullptr, nullptr, 0, "<LastBranch>"},
    {"/_Help/About", nullptr, OnMesherAbout, 0, nullptr},
};

MesherSettings* MesherGetSettings() { return mesher; }
const MesherWindow* MesherGetWindow() { return &widgets; }

void SetStatusMessage(const char* text) {
    if (widgets.statusLabel) gtk_label_set_text(GTK_LABEL(widgets.statusLabel), text);
}

int InitializeMesher(int argc, char** argv) {
    int serverId = 0;
    if (!ParseMesherArguments(argc, argv, &serverId)) return 0;
    mesher = NewMesherSettings(serverId);
    if (!mesher) return 0;
    InitializeMesherIpc(serverId);
    BuildMesherGui();
    if (StartMesherSession(mesher) != 0) {
        // Nothing of the start-up outlives it: no group in the host was made.
        if (widgets.window) gtk_widget_destroy(widgets.window);
        DeleteMesherSettings(mesher);
        mesher = nullptr;
        TerminateMesherIpc();
        return 0;
    }
    SetStatusMessage(MESHER_STATUS_READY);
    return 1;
}

void CleanupMesher() {
    MesherSettings* s = mesher;
    mesher = nullptr;
    CleanupMesherSettings(s);
    if (widgets.window) gtk_widget_destroy(widgets.window);
}

void BuildMesherGui() {
    if (!mesher) return;
    CreateMesherWindow();
    CreateMesherMenuRow();
    pack_button(&widgets.executeButton, "Execute Meshing", G_CALLBACK(OnExecuteMeshing));
    pack_button(&widgets.importButton, "Import Threshold", G_CALLBACK(OnImportThreshold));
    CreateMesherStatusArea();
    gtk_widget_show(widgets.window);
}

void CreateMesherWindow() {
    widgets.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_signal_connect(widgets.window, "destroy", G_CALLBACK(OnMesherWindowDestroy), const_cast<char*>("WM destroy"));
    gtk_widget_set_size_request(widgets.window, 270, 135);
    gtk_window_set_resizable(GTK_WINDOW(widgets.window), FALSE);
    gtk_window_set_title(GTK_WINDOW(widgets.window), "ZANT-RENDER");
    widgets.vbox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 1);
    gtk_container_set_border_width(GTK_CONTAINER(widgets.vbox), 2);
    gtk_container_add(GTK_CONTAINER(widgets.window), widgets.vbox);
    gtk_widget_show(widgets.vbox);
}

void CreateMesherMenuRow() {
    widgets.menuRow = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_box_pack_start(GTK_BOX(widgets.vbox), widgets.menuRow, FALSE, FALSE, 0);
    gtk_widget_show(widgets.menuRow);
    CreateMesherMenuBar(widgets.window, &widgets.menuBar);
    if (!widgets.menuBar) return;
    gtk_box_pack_start(GTK_BOX(widgets.menuRow), widgets.menuBar, TRUE, TRUE, 0);
    gtk_widget_show(widgets.menuBar);
}

void CreateMesherMenuBar(GtkWidget* window, GtkWidget** menuBar) {
    GtkAccelGroup* accel = gtk_accel_group_new();
    *menuBar = QELgtk_NewMenuBar(kMesherMenu, MESHER_MENU_ENTRIES, accel, nullptr);
    // The window keeps the group alive from here on.
    gtk_window_add_accel_group(GTK_WINDOW(window), accel);
    g_object_unref(accel);
    widgets.accelGroup = accel;
}

void CreateMesherStatusArea() {
    widgets.statusFrame = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(widgets.statusFrame), GTK_SHADOW_ETCHED_IN);
    gtk_widget_set_size_request(widgets.statusFrame, 200, 32);
    gtk_widget_show(widgets.statusFrame);
    widgets.statusBox = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    gtk_container_add(GTK_CONTAINER(widgets.statusFrame), widgets.statusBox);
    gtk_widget_show(widgets.statusBox);
    widgets.statusLabel = gtk_label_new(MESHER_STATUS_START);
    gtk_box_pack_start(GTK_BOX(widgets.statusBox), widgets.statusLabel, FALSE, FALSE, 4);
    gtk_widget_show(widgets.statusLabel);
    gtk_box_pack_end(GTK_BOX(widgets.vbox), widgets.statusFrame, FALSE, FALSE, 0);
}

void OnMesherQuit(gpointer, guint, GtkWidget*) {
    if (gtk_main_level() > 0) gtk_main_quit();
}

void OnSetThreshold(gpointer, guint, GtkWidget*) {
    if (mesher) edit_float(&mesher->threshold, "threhsold");
}

void OnColorOriginal(gpointer, guint, GtkWidget*) {
    if (mesher) set_mode(&mesher->colorMode, MESHER_COLOR_ORIGINAL);
}

void OnColorUniform(gpointer, guint, GtkWidget*) {
    if (mesher) set_mode(&mesher->colorMode, MESHER_COLOR_UNIFORM);
}

void OnColorHybrid(gpointer, guint, GtkWidget*) {
    if (mesher) set_mode(&mesher->colorMode, MESHER_COLOR_HYBRID);
}

void OnUniformColor(gpointer, guint, GtkWidget*) {
    if (!mesher) return;
    // The dialog edits the colour as one RGBA value, but the alpha of the bricks has its
    // own menu item: only red, green and blue are taken from it.
    float rgba[4] = {mesher->uniformColor[0], mesher->uniformColor[1], mesher->uniformColor[2], mesher->alpha};
    QELgtk_SelectColor(rgba);
    mesher->uniformColor[0] = rgba[0];
    mesher->uniformColor[1] = rgba[1];
    mesher->uniformColor[2] = rgba[2];
    SetStatusMessage(MESHER_STATUS_REMESH);
}

void OnSetAlpha(gpointer, guint, GtkWidget*) {
    if (mesher) edit_float(&mesher->alpha, "mesh alpha");
}

void OnResolutionLow(gpointer, guint, GtkWidget*) {
    if (mesher) set_mode(&mesher->resolutionMode, MESHER_RESOLUTION_LOW);
}

void OnResolutionHigh(gpointer, guint, GtkWidget*) {
    if (mesher) set_mode(&mesher->resolutionMode, MESHER_RESOLUTION_HIGH);
}

void OnGradientUnuse(gpointer, guint, GtkWidget*) {
    if (mesher) set_mode(&mesher->gradientMode, MESHER_GRADIENT_UNUSE);
}

void OnGradientUse(gpointer, guint, GtkWidget*) {
    if (mesher) set_mode(&mesher->gradientMode, MESHER_GRADIENT_USE);
}

void OnSetSmoothness(gpointer, guint, GtkWidget*) {
    if (mesher) edit_float(&mesher->sigma, "sigma (>1)");
}

void OnCcAnalysisUnuse(gpointer, guint, GtkWidget*) {
    if (mesher) set_mode(&mesher->ccAnalysis, 0);
}

void OnCcAnalysisUse(gpointer, guint, GtkWidget*) {
    if (mesher) set_mode(&mesher->ccAnalysis, 1);
}

void OnSetComponents(gpointer, guint, GtkWidget*) {
    if (!mesher || mesher->ccAnalysis == 0) return;
    char buffer[QELGTK_VALUE_BUFFER_SIZE];
    FormatIntSetting(mesher->components, buffer, sizeof buffer);
    if (QELgtk_GetValue("pick up largest", buffer, sizeof buffer) == QELGTK_OK)
        ReadIntSetting(buffer, &mesher->components);
    SetStatusMessage(MESHER_STATUS_REMESH);
}

void OnMesherAbout(gpointer, guint, GtkWidget*) { QELgtk_MessageBox("About", kAboutText, 280, 240); }

void OnExecuteMeshing(GtkWidget*, gpointer) {
    if (!mesher) return;
    char status[kStatusSize];
    if (ExecuteMeshing(mesher, status, sizeof status) != 0) {
        // The download has said why and let go of the host; the program ends here. Its own
        // data board must not outlive it.
        QELipc_CloseDataBoard();
        std::exit(0);
    }
    SetStatusMessage(status);
}

void OnImportThreshold(GtkWidget*, gpointer) {
    if (!mesher) return;
    char status[kStatusSize];
    const int rc = ImportThreshold(mesher, status, sizeof status);
    if (rc == 1)
        QELgtk_MessageBox("Notice", "This function is not for RGBA volume", 280, 120);
    else if (rc == 0)
        SetStatusMessage(status);
}
