// What voxelsurfacer's window does, without the window: the settings record's life, the two
// buttons and the reading and writing of the values that the settings dialogs edit. The
// status texts come back in the caller's buffer.
#pragma once
#include <cstddef>

#include "mesher_settings.h"

// Status texts of the window.
#define MESHER_STATUS_START "(no message)"
#define MESHER_STATUS_READY " initialized"
#define MESHER_STATUS_REMESH " Push button for re-meshing."

// The group the program starts with, before any mesh was made.
#define MESHER_START_GROUP_CAPACITY 16

// 1 with the server ID of a command line that holds exactly one argument; 0 otherwise.
// The ID is read as every program reads it: an argument that is no number gives 0, and of a
// larger number the low 32 bits are kept.
int ParseMesherArguments(int argc, char** argv, int* serverId);

// A record with the start values: no volume, group or host state yet, group ID -1.
MesherSettings* NewMesherSettings(int serverId);

// settings->group := a new empty group (the previous one is deleted). -1 without memory.
int NewEmptyMeshGroup(MesherSettings* settings);

// The start-up's part with the host: has it create the group, and takes the first
// threshold from its grey window. -1 when the host gave no group (or memory ran out).
int StartMesherSession(MesherSettings* settings);

// Deletes the record and what it owns, without a word to the host (NULL: nothing).
void DeleteMesherSettings(MesherSettings* settings);

// The program's end: deletes the record, has the host drop the group, terminates the client.
void CleanupMesherSettings(MesherSettings* settings);

// "Execute Meshing": host state, download, mesher, upload, and the totals as status. -1 when
// the download failed: the program must end then.
int ExecuteMeshing(MesherSettings* settings, char* status, size_t size);

// "Import Threshold": the threshold becomes the middle of the host's grey window. 1 instead,
// with nothing changed, when the last downloaded channel is packed RGBA.
int ImportThreshold(MesherSettings* settings, char* status, size_t size);

// Triangles and vertices of every mesh of the group.
void CountMeshGroup(const QelDataObjectGroup* group, long long* triangles, long long* vertices);

// The texts of the value dialogs. A text that does not begin with a number leaves the value
// as it was; any number read is kept as it is.
void FormatFloatSetting(float value, char* text, size_t size);
void FormatIntSetting(int value, char* text, size_t size);
void ReadFloatSetting(const char* text, float* value);
void ReadIntSetting(const char* text, int* value);
