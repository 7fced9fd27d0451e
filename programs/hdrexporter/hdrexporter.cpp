#include "programs/hdrexporter/hdrexporter.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "filters/qel_rotate.h"
#include "gui/qel_analyze.h"
#include "gui/qel_gtk_beep.h"
#include "gui/qel_gtk_dialogs.h"
#include "gui/qel_gtk_plugin.hpp"
#include "ipc/qel_ipc.h"

namespace {

// Blanks at the line ends are part of the text: the dialog shows it as one block.
const char* const kExportNotice =
    "Check the orientation of the volume data after export.\n"
    "It might be false for loader of this file.  To change     \n"
    "orientation, use command(s);                                  \n"
    "\n"
    "Edit->Transform->Flip (or Rotate)";

struct VolumeDeleter {
    void operator()(QelRawVolumeData* vol) const { QEL_DeleteRawVolumeData(vol); }
};

// name + suffix into path; false when it does not fit.
bool form_path(char (&path)[HDREXPORTER_NAME_SIZE], const char* name, const char* suffix) {
    const int n = std::snprintf(path, sizeof path, "%s%s", name, suffix);
    return n >= 0 && static_cast<size_t>(n) < sizeof path;
}

// Closes the file and reports whether everything written to it reached the system.
bool close_checked(FILE* file) {
    const bool ok = !std::ferror(file);
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int CheckExportableVolume(const QelRawVolumeData* vol) {
    if (IsExportableVolume(vol)) return 1;
    const QelSize4i* s = vol ? vol->size : nullptr;
    if (s && (s->nx > QEL_ANALYZE_MAX_DIMENSION || s->ny > QEL_ANALYZE_MAX_DIMENSION ||
              s->nz > QEL_ANALYZE_MAX_DIMENSION || s->nChannels > QEL_ANALYZE_MAX_DIMENSION))
        std::fprintf(stderr, "Cannot export: a dimension or the channel count is above 32767\n");
    else
        std::fprintf(stderr, "Cannot export: channels must share one unit of Uint8, Int16 or Int32\n");
    return 0;
}

int WriteAnalyzePair(const char* name, QelRawVolumeData* vol, float voxelSize) {
    if (!name || !vol || std::strlen(name) > HDREXPORTER_MAX_NAME_LENGTH) return -1;
    // A NaN is not below 0 and is written as it is.
    if (voxelSize < 0.0f) {
        std::fprintf(stderr, "Invalid voxel size?\n");
        voxelSize = 0.0f;
    }
    if (QEL_RotateRawVolumeData180(vol, "X") != 0) {
        std::fprintf(stderr, "Memory full\n");
        return -1;
    }
    AnalyzeHeader hdr;
    MakeAnalyzeHeader(&hdr, vol, voxelSize);

    char hdrPath[HDREXPORTER_NAME_SIZE];
    char imgPath[HDREXPORTER_NAME_SIZE];
    if (!form_path(hdrPath, name, ".hdr") || !form_path(imgPath, name, ".img")) return -1;
    // Both files are opened first, so that a data file that cannot be created leaves no
    // header without its voxels.
    FILE* hdrFile = std::fopen(hdrPath, "wb");
    if (!hdrFile) return -1;
    FILE* imgFile = std::fopen(imgPath, "wb");
    if (!imgFile) {
        std::fclose(hdrFile);
        std::remove(hdrPath);
        return -1;
    }
    const bool hdrWritten = QEL_WriteAnalyzeHeader(hdrFile, &hdr) == 0;
    const bool imgWritten = hdrWritten && QEL_WriteAnalyzeData(imgFile, vol) == 0;
    const bool hdrClosed = close_checked(hdrFile);
    const bool imgClosed = close_checked(imgFile);
    if (hdrWritten && imgWritten && hdrClosed && imgClosed) return 0;
    // Half a pair would read back as a volume with missing voxels: leave none.
    std::remove(hdrPath);
    std::remove(imgPath);
    std::fprintf(stderr, "Failed to write the ANALYZE files\n");
    return -1;
}

int RunHdrExporter(int serverID) {
    char name[HDREXPORTER_NAME_SIZE] = "";
    // The dialogs' parent, never shown: the program has no window of its own.
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    // A longer name would leave no room for its suffix: the dialog counts it as cancel.
    if (QELgtk_SelectFile(window, name, name, HDREXPORTER_MAX_NAME_LENGTH + 1) != QELGTK_OK) {
        gtk_widget_destroy(window);
        return 0;
    }
    QELgtk_Beep();
    QELgtk_MessageBox("Important Notice", kExportNotice, 360, 180);
    gtk_widget_destroy(window);

    if (QELipc_InitializeClient("hdrexporter", serverID) != 0) return 0;
    qel::ClientSession session;
    std::unique_ptr<QelRawVolumeData, VolumeDeleter> vol(QELipc_ReceiveRawVolumeData());
    if (!vol || !CheckExportableVolume(vol.get())) return 0;
    WriteAnalyzePair(name, vol.get(), QELipc_GetVoxelSize());
    return 0;
}
