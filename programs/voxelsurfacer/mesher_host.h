// The host exchange of voxelsurfacer. Unlike the one-shot plug-ins the program stays a client
// for its whole life: it has the host create one data-object group at start, downloads the
// current channel and uploads the new mesh group on every "Execute Meshing", and has the host
// delete the group when it quits. Progress and errors go to stderr; nothing here exits.
#pragma once
#include "mesher_settings.h"

// The name the program connects with.
#define MESHER_CLIENT_NAME "Facetweaver:v1.1"

// Opens the host's boards of serverId. A failure prints its line and leaves the program
// without a connection; the group request that follows then decides whether it goes on.
void InitializeMesherIpc(int serverId);
// 1 once InitializeMesherIpc succeeded (until TerminateMesherIpc), 0 otherwise.
int MesherIpcAvailable();
// Terminates the client when it was initialised.
void TerminateMesherIpc();

// Asks the host for a new data-object group and keeps its ID in settings->groupId.
// -1 when the host's answer (message 77) does not come.
int CreateMeshObjectGroup(MesherSettings* settings);

// Reads the broadcast board into settings->hostState (grey window, volume of interest).
void RefreshHostState(MesherSettings* settings);

// Downloads the host's current channel into settings->volume (the previous one is deleted
// first) inside a connection and a volume lock. -1 after a failure, whose line has been
// printed and after which the host has been released again; the caller ends the process.
int DownloadCurrentChannel(MesherSettings* settings);

// Hands settings->group to the host's group and has the host redraw. -1 when there is no
// group to send, the board cannot be made or the host never reports that it read it.
int UploadMeshObjectGroup(MesherSettings* settings);

// Asks the host to drop group groupId, then terminates the client.
void DeleteMeshObjectGroup(int groupId);
