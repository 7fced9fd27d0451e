#include "mesher_shell.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "brick_mesher.h"
#include "ipc/qel_ipc.h"
#include "mesher_host.h"
#include "objects/qel_mesh.h"
#include "values/qel_value_text.hpp"

int ParseMesherArguments(int argc, char** argv, int* serverId) {
    if (argc != 2 || !argv || !argv[1] || !serverId) return 0;
    *serverId = qel::parse_int32_low_bits(argv[1]);  // as every other program reads it
    return 1;
}

MesherSettings* NewMesherSettings(int serverId) {
    auto* s = static_cast<MesherSettings*>(std::calloc(1, sizeof(MesherSettings)));
    if (!s) return nullptr;
    s->serverId = serverId;
    s->groupId = -1;
    s->uniformColor[0] = 0.7f;
    s->uniformColor[1] = 0.7f;
    s->uniformColor[2] = 0.5f;
    s->alpha = 1.0f;
    s->gradientMode = MESHER_GRADIENT_UNUSE;
    s->resolutionMode = MESHER_RESOLUTION_LOW;
    s->colorMode = MESHER_COLOR_ORIGINAL;
    s->sigma = 1.0f;
    s->ccAnalysis = 0;
    s->components = 1;
    return s;
}

int NewEmptyMeshGroup(MesherSettings* s) {
    if (!s) return -1;
    QelDataObjectGroup* group = QEL_NewDataObjectGroup(MESHER_START_GROUP_CAPACITY);
    if (!group) return -1;
    QEL_DeleteDataObjectGroup(s->group);
    s->group = group;
    return 0;
}

int StartMesherSession(MesherSettings* s) {
    if (!s) return -1;
    if (CreateMeshObjectGroup(s) != 0) return -1;
    if (NewEmptyMeshGroup(s) != 0) return -1;
    s->uniformColor[0] = 0.7f;
    s->uniformColor[1] = 0.7f;
    s->uniformColor[2] = 0.5f;
    s->alpha = 1.0f;
    QELipc_DeleteBroadcaster(s->hostState);
    s->hostState = QELipc_NewBroadcaster();
    if (!s->hostState) return -1;
    RefreshHostState(s);
    s->threshold = (s->hostState->greyscale->min + s->hostState->greyscale->max) * 0.5f;
    return 0;
}

void DeleteMesherSettings(MesherSettings* s) {
    if (!s) return;
    QEL_DeleteRawVolumeData(s->volume);
    QELipc_DeleteBroadcaster(s->hostState);
    QEL_DeleteDataObjectGroup(s->group);
    std::free(s);
}

void CleanupMesherSettings(MesherSettings* s) {
    if (!s) return;
    const int groupId = s->groupId;
    DeleteMesherSettings(s);
    DeleteMeshObjectGroup(groupId);
}

void CountMeshGroup(const QelDataObjectGroup* group, long long* triangles, long long* vertices) {
    long long t = 0, v = 0;
    if (group && group->objects && group->types) {
        for (int i = 0; i < group->count && i < group->capacity; ++i) {
            if (group->types[i] != QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH || !group->objects[i]) continue;
            const auto* mesh = static_cast<const QelTriangularMesh*>(group->objects[i]);
            t += mesh->nTriangles;
            v += mesh->nVertices;
        }
    }
    if (triangles) *triangles = t;
    if (vertices) *vertices = v;
}

int ExecuteMeshing(MesherSettings* s, char* status, size_t size) {
    if (!s) return -1;
    RefreshHostState(s);
    if (DownloadCurrentChannel(s) != 0) return -1;
    // A failed run keeps the previous group, which is then sent again.
    RunMesher(s);
    UploadMeshObjectGroup(s);
    long long triangles = 0, vertices = 0;
    CountMeshGroup(s->group, &triangles, &vertices);
    if (status && size) std::snprintf(status, size, " %lld triangles / %lld vertices", triangles, vertices);
    return 0;
}

int ImportThreshold(MesherSettings* s, char* status, size_t size) {
    if (!s) return -1;
    RefreshHostState(s);
    if (s->volume && s->volume->attribute[0] == QEL_ATTRIBUTE_RGBA) return 1;
    if (s->hostState) s->threshold = (s->hostState->greyscale->min + s->hostState->greyscale->max) * 0.5f;
    if (status && size) std::snprintf(status, size, " T=%3.2f. Push button for re-meshing.", s->threshold);
    return 0;
}

void FormatFloatSetting(float value, char* text, size_t size) {
    if (text && size) std::snprintf(text, size, "%3.2f", value);
}

void FormatIntSetting(int value, char* text, size_t size) {
    if (text && size) std::snprintf(text, size, "%d", value);
}

void ReadFloatSetting(const char* text, float* value) {
    float v;
    if (text && value && std::sscanf(text, "%f", &v) == 1) *value = v;
}

void ReadIntSetting(const char* text, int* value) {
    if (!text || !value) return;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (end == text) return;
    *value = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}
