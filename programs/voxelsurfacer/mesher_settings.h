// The one settings record of voxelsurfacer: what the menus set, what the host exchange
// downloads and what the mesher reads and replaces.
#pragma once
#include "objects/qel_data_objects.h"
#include "volume/qel_volume.h"

struct QelBroadcaster;

// Mode codes: compared for equality only.
#define MESHER_GRADIENT_USE 123
#define MESHER_GRADIENT_UNUSE 456
#define MESHER_RESOLUTION_LOW 234
#define MESHER_RESOLUTION_HIGH 345
#define MESHER_COLOR_ORIGINAL 345
#define MESHER_COLOR_UNIFORM 678
#define MESHER_COLOR_HYBRID 901

struct MesherSettings {
    int serverId;
    QelRawVolumeData* volume;        // channel of the last download, owned
    QelDataObjectGroup* group;       // current mesh group, owned; replaced by each mesher run
    int groupId;                     // the host's data-object group, -1 for none
    float threshold;                 // grey threshold; its low byte is the alpha threshold
    float uniformColor[3];           // R, G, B of uniform bricks
    float alpha;                     // alpha of every brick
    int gradientMode;                // MESHER_GRADIENT_*
    int resolutionMode;              // MESHER_RESOLUTION_*
    int colorMode;                   // MESHER_COLOR_*
    float sigma;                     // Gaussian smoothing of the gradient mesher
    int ccAnalysis;                  // 1: keep only the largest components
    int components;                  // how many of them
    QelBroadcaster* hostState;       // the host's grey window and volume of interest
};
