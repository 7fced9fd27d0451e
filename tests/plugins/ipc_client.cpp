// A small plug-in for the host-connection tests. Started as "ipc_client serverID [mode]":
//   (no mode)  initialise, connect, read the host's state and print it, set channel, volume
//              of interest, view and (with a mask) cursor and grey window, query three
//              integers, disconnect, terminate;
//   crash      initialise, connect, create the data board as an upload would, then abort.
// Exit code 0 when every step succeeded, 1 otherwise (the failed step is printed).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ipc/qel_ipc.h"

namespace {

int fail(const char* step) {
    std::printf("failed %s\n", step);
    QELipc_TerminateClient();
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    int id = std::atoi(argv[1]);
    const char* mode = argc > 2 ? argv[2] : "";
    if (QELipc_InitializeClient("IpcTestPlugin", id) != 0) return fail("initialise");
    if (QELipc_SendConnectionRequest() != 0) return fail("connect");

    if (std::strcmp(mode, "crash") == 0) {
        char name[32];
        std::snprintf(name, sizeof name, "QEL_IPC_DB(%04d)", id);
        if (!QELipc_CreateBoard(name, 4096)) return fail("data board");
        std::fflush(stdout);
        std::abort();
    }

    int channel, matrix[4];
    float cursor[3], view[12], distance, angle;
    QelValueRange grey;
    QelPoint3i origin;
    QelSize3i size;
    QelBox3i voi{&origin, &size};
    if (QELipc_GetCurrentChannel(&channel) != 0) return fail("channel");
    if (QELipc_GetCursorPosition(cursor) != 0) return fail("cursor");
    if (QELipc_GetVolumeOfInterest(&voi) != 0) return fail("volume of interest");
    if (QELipc_GetCurrentGreyscale(&grey) != 0) return fail("greyscale");
    if (QELipc_GetViewParameters(view, &distance, &angle) != 0) return fail("view");
    if (QELipc_GetVolumeMatrix(matrix) != 0) return fail("matrix");
    std::printf("channel %d\n", channel);
    std::printf("cursor %.9g %.9g %.9g\n", cursor[0], cursor[1], cursor[2]);
    std::printf("voi %d %d %d %d %d %d\n", origin.x, origin.y, origin.z, size.nx, size.ny, size.nz);
    std::printf("grey %.9g %.9g\n", grey.min, grey.max);
    std::printf("view");
    for (float v : view) std::printf(" %.9g", v);
    std::printf(" %.9g %.9g\n", distance, angle);
    std::printf("matrix %d %d %d %d\n", matrix[0], matrix[1], matrix[2], matrix[3]);

    // Each change is derived from what was read, so the host's end state proves both ways.
    if (QELipc_SetCurrentChannel(channel + 1) != 0) return fail("set channel");
    origin.x += 1;
    size.nz += 2;
    if (QELipc_SetVolumeOfInterest(&voi) != 0) return fail("set volume of interest");
    for (float& v : view) v = -v;
    if (QELipc_SetViewParameters(view, distance * 2, angle + 1) != 0) return fail("set view");
    QelBroadcaster* state = QELipc_GetBroadcaster();
    if (!state) return fail("broadcaster");
    state->cursor->x += 10;
    state->greyscale->max += 100;
    state->channelID = -1;  // not in the mask: the host keeps its channel
    int rc = QELipc_SetState(state, QELipc_APPLY_CURSOR_POSITION | QELipc_APPLY_GREYSCALE);
    QELipc_DeleteBroadcaster(state);
    if (rc != 0) return fail("set state");
    int three[3];
    if (QELipc_QueryInt3(three) != 0) return fail("query");
    std::printf("int3 %d %d %d\n", three[0], three[1], three[2]);
    if (QELipc_SendDisconnectionRequest() != 0) return fail("disconnect");
    QELipc_TerminateClient();
    return 0;
}
