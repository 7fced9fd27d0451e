// fuzz_seeds DIR: writes the starting corpus of every harness into DIR/<harness>/, each input
// made by the library's own writers and packers, so that fuzzing starts from well-formed
// payloads and files and mutates them from there.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gui/qel_analyze.h"
#include "gui/qel_pnm.h"
#include "ipc/qel_board_formats.h"
#include "ipc/qel_board_group.h"
#include "objects/qel_mesh.h"
#include "programs/viewbookmarker/bookmark_store.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string g_root;

std::string dir_of(const std::string& harness) {
    const std::string dir = g_root + "/" + harness;
    mkdir(dir.c_str(), 0755);
    return dir;
}

void seed(const std::string& harness, const std::string& name, const Bytes& bytes) {
    std::ofstream out(dir_of(harness) + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Channel c, element i holds a value that differs from its neighbours in every unit.
void fill(void* block, int64_t elements, int unit, int c) {
    auto* p = static_cast<uint8_t*>(block);
    const int64_t bytes = elements * QEL_GetVoxelUnitSize(unit);
    for (int64_t i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(i * 37 + c * 11 + 1);
}

QelRawVolumeData* volume(int nx, int ny, int nz, const std::vector<int>& units, const std::vector<int>& attributes) {
    const QelSize4i size{nx, ny, nz, static_cast<int>(units.size())};
    QelRawVolumeData* v = QEL_NewRawVolumeData(&size, units.data(), attributes.data());
    for (int c = 0; v && c < size.nChannels; ++c) fill(v->data[c], int64_t{nx} * ny * nz, units[c], c);
    return v;
}

QelRawImageData* image(int w, int h, const std::vector<int>& units, const std::vector<int>& attributes) {
    const QelSize3i size{w, h, static_cast<int>(units.size())};
    QelRawImageData* im = QEL_NewRawImageData(&size, units.data(), attributes.data());
    for (int c = 0; im && c < size.nz; ++c) fill(im->data[c], int64_t{w} * h, units[c], c);
    return im;
}

template <class Size, class Pack>
Bytes packed(Size size, Pack pack) {
    const int n = size();
    Bytes b(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0) pack(b.data());
    return b;
}

void volume_boards() {
    QelRawVolumeData* a = volume(2, 2, 2, {0, 6}, {0, 0});
    QelRawVolumeData* b = volume(3, 1, 2, {0, 1, 2, 3, 4, 5, 6, 7, 9}, {0, 0, 0, 0, 2, 0, 0, 0, 0});
    seed("volume_board", "two-channels", packed([&] { return QELipc_SizeOfRawVolumeData(a); },
                                               [&](void* p) { return QELipc_PackRawVolumeData(a, p); }));
    seed("volume_board", "every-unit", packed([&] { return QELipc_SizeOfRawVolumeData(b); },
                                             [&](void* p) { return QELipc_PackRawVolumeData(b, p); }));
    for (int c = 0; c < b->size->nChannels; ++c)
        seed("volume_board", "channel-" + std::to_string(c),
             packed([&] { return QELipc_SizeOfSingleChannel(b, c); },
                    [&](void* p) { return QELipc_PackSingleChannel(b, c, p); }));
    QEL_DeleteRawVolumeData(a);
    QEL_DeleteRawVolumeData(b);
}

void image_boards() {
    QelRawImageData* im = image(4, 3, {0, 4, 3, 7}, {0, 2, 0, 0});
    seed("image_board", "view", packed([&] { return QELipc_SizeOfRawImageData(im); },
                                      [&](void* p) { return QELipc_PackRawImageData(im, p); }));
    for (int c = 0; c < im->size->nz; ++c)
        seed("image_board", "channel-" + std::to_string(c),
             packed([&] { return QELipc_SizeOfSingleImageChannel(im, c); },
                    [&](void* p) { return QELipc_PackSingleImageChannel(im, c, p); }));
    QEL_DeleteRawImageData(im);
}

// A group with a member of every kind, a nested group among them; and each body on its own.
void group_boards() {
    QelPoint3f a{1, 2, 3}, b{-4, 5.5f, 6}, c{7, -8, 9.25f}, d{0.1f, 0.2f, 0.3f};
    const QelColor tint{0.2f, 0.4f, 0.6f, 0.8f};
    QelDataObjectGroup* g = QEL_NewDataObjectGroup(20);
    auto add = [&](void* o, int kind, const std::string& name, Bytes body) {
        QEL_AddDataObjectToGroup(o, kind, kind % 2 ? &tint : nullptr, g);
        seed("group_board", name, body);
    };
    QelSphere* s = QEL_NewSphere(&a, 3.5f);
    add(s, 11, "sphere", packed([&] { return QELipc_SizeOfSphere(s); }, [&](void* p) { return QELipc_PackSphere(s, p); }));
    QelDataObject12* o12 = QEL_NewDataObject12(&a, &b, &c, &d, -1, 2, 3);
    add(o12, 12, "kind12", packed([&] { return QELipc_SizeOfDataObject12(o12); },
                                  [&](void* p) { return QELipc_PackDataObject12(o12, p); }));
    QelCone* cone = QEL_NewCone(&b, &c, 1.25f, 2.5f);
    add(cone, 13, "cone", packed([&] { return QELipc_SizeOfCone(cone); }, [&](void* p) { return QELipc_PackCone(cone, p); }));
    QelDataObject14* o14 = QEL_NewDataObject14(&a, &b, 5, 6, 7, 8, &c, &d, &a, &b);
    add(o14, 14, "kind14", packed([&] { return QELipc_SizeOfDataObject14(o14); },
                                  [&](void* p) { return QELipc_PackDataObject14(o14, p); }));
    QEL_AddDataObjectToGroup(QEL_NewDataObject15(&a, &b, &c), 15, nullptr, g);
    QelDataObject16* o16 = QEL_NewDataObject16(&d, &c, &b, &a);
    add(o16, 16, "kind16", packed([&] { return QELipc_SizeOfDataObject16(o16); },
                                  [&](void* p) { return QELipc_PackDataObject16(o16, p); }));
    QelDataObject17* o17 = QEL_NewDataObject17(&d, &c, &b, &a, 12, 13, 14);
    add(o17, 17, "kind17", packed([&] { return QELipc_SizeOfDataObject17(o17); },
                                  [&](void* p) { return QELipc_PackDataObject17(o17, p); }));
    QelDataObject18* o18 = QEL_NewDataObject18(&a, &d, 17, -18);
    add(o18, 18, "kind18", packed([&] { return QELipc_SizeOfDataObject18(o18); },
                                  [&](void* p) { return QELipc_PackDataObject18(o18, p); }));
    QelPointList* list = QEL_NewPointList(3);
    for (int i = 0; i < 3; ++i) *list->points[i] = QelPoint3f{float(i), float(-i), float(i * i)};
    add(list, 21, "point-list", packed([&] { return QELipc_SizeOfPointList(list); },
                                       [&](void* p) { return QELipc_PackPointList(list, p); }));
    QelPointPairList* pairs = QEL_NewPointPairList(2);
    pairs->count = 2;
    for (int i = 0; i < 2; ++i) {
        pairs->a[i] = QEL_NewPoint3f(float(i), 1, 1);
        pairs->b[i] = QEL_NewPoint3f(2, float(i), 2);
    }
    add(pairs, 31, "pair-list", packed([&] { return QELipc_SizeOfPointPairList(pairs); },
                                       [&](void* p) { return QELipc_PackPointPairList(pairs, p); }));
    QelPointSet* set = QEL_NewPointSet(3);
    QEL_AllocPointSetColors(set);
    set->count = 3;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 4; ++k) {
            if (k < 3) set->xyz[i][k] = float(i - k);
            set->rgba[i][k] = 0.125f * float(i + k);
        }
    add(set, 61, "point-set", packed([&] { return QELipc_SizeOfPointSet(set); },
                                     [&](void* p) { return QELipc_PackPointSet(set, p); }));
    QelValuedPointSet* valued = QEL_NewValuedPointSet(2);
    valued->count = 2;
    for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < 3; ++k) valued->xyz[i][k] = float(i * k);
        valued->values[i] = -1000 * (i + 1);
    }
    add(valued, 62, "valued-set", packed([&] { return QELipc_SizeOfValuedPointSet(valued); },
                                         [&](void* p) { return QELipc_PackValuedPointSet(valued, p); }));
    QelTriangularMesh* m = QEL_NewTriangularMesh(1, 3);
    m->nTriangles = 1;
    m->nVertices = 3;
    QEL_AllocTriangularMeshColors(m);
    for (int v = 0; v < 3; ++v) {
        m->triangles[0][v] = v;
        for (int k = 0; k < 3; ++k) m->vertices[v][k] = float(v * 3 + k);
        m->vertexNormals[v][2] = 1.0f;
        for (int k = 0; k < 4; ++k) m->colours[v][k] = 0.25f * float(v + k);
    }
    add(m, 71, "mesh", packed([&] { return QELipc_SizeOfTriangularMesh(m); },
                              [&](void* p) { return QELipc_PackTriangularMesh(m, p); }));
    QelDataObjectGroup* inner = QEL_NewDataObjectGroup(2);
    QEL_AddDataObjectToGroup(QEL_NewSphere(&b, 1.0f), 11, nullptr, inner);
    QEL_AddDataObjectToGroup(QEL_NewDataObject18(&c, &d, 1, 2), 18, &tint, inner);
    QEL_AddDataObjectToGroup(inner, 99, nullptr, g);
    seed("group_board", "every-kind", packed([&] { return QELipc_SizeOfDataObjectGroup(g); },
                                             [&](void* p) { return QELipc_PackDataObjectGroup(g, p); }));
    QEL_DeleteDataObjectGroup(g);
}

void pnm_files() {
    const std::string dir = dir_of("pnm");
    QelRawImageData* grey = image(5, 3, {0}, {0});
    QelRawImageData* colour = image(4, 2, {4}, {2});
    QEL_WritePnmImage((dir + "/grey.pgm").c_str(), grey, 0);
    QEL_WritePnmImage((dir + "/colour.ppm").c_str(), colour, 0);
    QEL_DeleteRawImageData(grey);
    QEL_DeleteRawImageData(colour);
}

// A pair as the exporter writes it: the 348 header bytes, then the data file.
Bytes pair_bytes(QelRawVolumeData* v, int datatype, const float spacing[3], float voxOffset) {
    AnalyzeHeader hdr;
    MakeAnalyzeHeader(&hdr, v, spacing[0]);
    if (datatype) {
        hdr.dime.datatype = static_cast<int16_t>(datatype);
        hdr.dime.bitpix = 32;
    }
    for (int i = 0; i < 3; ++i) hdr.dime.pixdim[1 + i] = spacing[i];
    hdr.dime.vox_offset = voxOffset;
    Bytes out(QEL_ANALYZE_HEADER_SIZE);
    QEL_PackAnalyzeHeader(&hdr, out.data());
    out.resize(out.size() + static_cast<size_t>(voxOffset), 0xCD);
    const std::string tmp = g_root + "/.analyze-data";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    QEL_WriteAnalyzeData(f, v);
    std::fclose(f);
    const Bytes data = file_bytes(tmp);
    std::remove(tmp.c_str());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

void analyze_pairs() {
    const float cubic[3] = {1.5f, 1.5f, 1.5f}, flat[3] = {0.5f, 0.5f, 2.0f};
    struct Pair {
        const char* name;
        int unit, datatype, channels;
        const float* spacing;
        float offset;
    };
    const Pair pairs[] = {{"uint8", 0, 0, 1, cubic, 0},        {"int16-two-channels", 3, 0, 2, cubic, 0},
                          {"int32-offset", 5, 0, 1, cubic, 16}, {"float", 6, 16, 1, cubic, 0},
                          {"uint8-flat", 0, 0, 1, flat, 0}};
    for (const Pair& p : pairs) {
        QelRawVolumeData* v = volume(3, 4, 2, std::vector<int>(p.channels, p.unit), std::vector<int>(p.channels, 0));
        const Bytes bytes = pair_bytes(v, p.datatype, p.spacing, p.offset);
        seed("analyze", p.name, bytes);
        seed("hdrimporter", p.name, bytes);
        QEL_DeleteRawVolumeData(v);
    }
}

void bookmark_files() {
    bookmarkState.count = 3;
    for (int i = 0; i < 3; ++i) {
        ViewBookmark& b = bookmarks[i];
        std::snprintf(b.label, sizeof b.label, "view %d", i);
        const QelPoint3f cursor{10.0f * i, 20.5f, -3.0f};
        FormatCursorField(b.cursor, &cursor);
        FormatChannelField(b.channel, i);
        const QelValueRange window{-100.0f * i, 255.0f};
        FormatGreyscaleField(b.greyscale, &window);
        QelPoint3i origin{i, 2, 3};
        QelSize3i size{64, 32, 16 + i};
        const QelBox3i voi{&origin, &size};
        FormatVoiField(b.voi, &voi);
        const float view[12] = {0, 0, -100.0f * (i + 1), 1, 0, 0, 0, 1, 0, 0, 0, 1};
        FormatViewField(b.view, view, 100.0f, 30.0f + i);
    }
    std::snprintf(bookmarks[2].voi, sizeof bookmarks[2].voi, "%s", BOOKMARK_NOT_RECORDED);
    WriteBookmarkFile((dir_of("viewbookmarker") + "/three").c_str());
}

void board_accesses() {
    auto with_params = [](int32_t offset, uint16_t length, uint16_t room, const std::string& board) {
        Bytes b(8);
        std::memcpy(b.data(), &offset, 4);
        b[4] = static_cast<uint8_t>(length), b[5] = static_cast<uint8_t>(length >> 8);
        b[6] = static_cast<uint8_t>(room), b[7] = static_cast<uint8_t>(room >> 8);
        b.insert(b.end(), board.begin(), board.end());
        return b;
    };
    const std::string text("Grouper\0\0\0\x37\0\0\0 host", 20);
    seed("board_access", "inside", with_params(0, 12, 16, text));
    seed("board_access", "at-end", with_params(16, 4, 8, text));
    seed("board_access", "past-end", with_params(18, 4, 2, text));
    seed("board_access", "empty", with_params(0, 0, 1, ""));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    g_root = argv[1];
    mkdir(g_root.c_str(), 0755);
    volume_boards();
    image_boards();
    group_boards();
    pnm_files();
    analyze_pairs();
    bookmark_files();
    board_accesses();
    return 0;
}
