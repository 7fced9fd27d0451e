// hdrimporter: the run after GTK has started: the file dialog, the orientation notice, the
// host connection, reading, the question whether to resample, and the transfer.
#include <gtk/gtk.h>

#include <cstdio>

#include "gui/qel_gtk_beep.h"
#include "gui/qel_gtk_dialogs.h"
#include "gui/qel_gtk_plugin.hpp"
#include "ipc/qel_ipc.h"
#include "programs/hdrimporter/hdrimporter.h"

namespace {

// Blanks at the line ends are part of the text: the dialog shows it as one block.
const char* const kImportNotice =
    "Check the orientation of the volume data after import.   \n"
    "It might be false due to creator of this file.  To change  \n"
    "orientation, use command(s);                                    \n"
    "\n"
    "Edit->Transform->Flip (or Rotate).";

const char* const kQuestionFormat = "Data is NOT isotropic:\n%f\t(mm) x\n%f\t(mm) \n%f\t(mm)\n\n Do you interpolate now?";

}  // namespace

int RunHdrImporter(int serverID) {
    char name[HDRIMPORTER_NAME_SIZE] = "";
    // The dialogs' parent, never shown: the program has no window of its own.
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (QELgtk_SelectFile(window, name, name, sizeof name) != QELGTK_OK) {
        gtk_widget_destroy(window);
        std::fprintf(stderr, "canceled\n");
        return 0;
    }
    QELgtk_Beep();
    QELgtk_MessageBox("Important Notice", kImportNotice, 360, 180);
    gtk_widget_destroy(window);

    if (QELipc_InitializeClient("hdrimporter", serverID) != 0) {
        std::fprintf(stderr, "ICP failure\n");
        return 0;
    }
    qel::ClientSession session;
    AnalyzeHeader hdr;
    QelRawVolumeData* vol = ReadAnalyzePair(name, &hdr);
    if (!vol) return 0;

    const float* spacing = &hdr.dime.pixdim[1];
    float voxelSize = spacing[0];
    if (spacing[0] != spacing[1] || spacing[0] != spacing[2]) {
        char question[4096];
        std::snprintf(question, sizeof question, kQuestionFormat, spacing[0], spacing[1], spacing[2]);
        QELgtk_Beep();
        if (QELgtk_QuestionBox("Important Notice", question, 240, 200) == QELGTK_QUESTION_OK)
            ResampleToCubicVoxels(vol, spacing, &voxelSize);
    }
    QELipc_TransferRawVolumeData(vol);
    QEL_DeleteRawVolumeData(vol);
    if (QELipc_SetVoxelSize(voxelSize) != 0)
        std::fprintf(stderr, "Warning: Voxel size is NOT specified in TALVEROX\n");
    return 0;
}
