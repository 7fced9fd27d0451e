// voxelsurfacer's window "ZANT-RENDER": a menu bar (File, Settings, Help), the buttons
// "Execute Meshing" and "Import Threshold", and a status line. The program's one settings
// record and its widgets live here for the life of the process.
#pragma once
#include <gtk/gtk.h>

#include "gui/qel_gtk_menu.h"
#include "mesher_settings.h"

struct MesherWindow {
    GtkWidget* window;
    GtkWidget* vbox;
    GtkWidget* menuRow;
    GtkWidget* menuBar;
    GtkWidget* executeButton;
    GtkWidget* importButton;
    GtkWidget* statusFrame;
    GtkWidget* statusBox;
    GtkWidget* statusLabel;
    GtkAccelGroup* accelGroup;
};

#define MESHER_MENU_ENTRIES 31
extern const QelGtkMenuEntry kMesherMenu[MESHER_MENU_ENTRIES];

// Start-up after GTK: the record, the host client, the window and the host's group. 1 ready
// for the main loop; 0 to end the program (a wrong argument count ends it silently), with
// whatever was built released again.
int InitializeMesher(int argc, char** argv);
// After the main loop: the record goes, the host drops the group, the client ends, and the
// window goes when it is still there.
void CleanupMesher();

// The program's record and widgets; NULL / all NULL outside InitializeMesher..CleanupMesher.
MesherSettings* MesherGetSettings();
const MesherWindow* MesherGetWindow();

void SetStatusMessage(const char* text);

void BuildMesherGui();
void CreateMesherWindow();
void CreateMesherMenuRow();
void CreateMesherMenuBar(GtkWidget* window, GtkWidget** menuBar);
void CreateMesherStatusArea();

// Menu callbacks; they ignore their arguments.
void OnMesherQuit(gpointer, guint, GtkWidget*);
void OnSetThreshold(gpointer, guint, GtkWidget*);
void OnColorOriginal(gpointer, guint, GtkWidget*);
void OnColorUniform(gpointer, guint, GtkWidget*);
void OnColorHybrid(gpointer, guint, GtkWidget*);
void OnUniformColor(gpointer, guint, GtkWidget*);
void OnSetAlpha(gpointer, guint, GtkWidget*);
void OnResolutionLow(gpointer, guint, GtkWidget*);
void OnResolutionHigh(gpointer, guint, GtkWidget*);
void OnGradientUnuse(gpointer, guint, GtkWidget*);
void OnGradientUse(gpointer, guint, GtkWidget*);
void OnSetSmoothness(gpointer, guint, GtkWidget*);
void OnCcAnalysisUnuse(gpointer, guint, GtkWidget*);
void OnCcAnalysisUse(gpointer, guint, GtkWidget*);
void OnSetComponents(gpointer, guint, GtkWidget*);
void OnMesherAbout(gpointer, guint, GtkWidget*);

// The buttons' "clicked" handlers. A failed download ends the process.
void OnExecuteMeshing(GtkWidget*, gpointer);
void OnImportThreshold(GtkWidget*, gpointer);
