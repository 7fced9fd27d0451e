// The host's state: the broadcast record, its board layout, the getters that read BB, the
// setters that ask the host for a change, the voxel size and the three-integer query.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ipc/qel_ipc.h"
#include "ipc/qel_ipc_client.hpp"
#include "ipc/qel_ipc_layout.hpp"
#include "ipc/qel_shm.hpp"

namespace {

using namespace qel::ipc;

constexpr size_t kTextSize = 36;

bool is_complete(const QelBroadcaster* r) {
    return r && r->greyscale && r->volumeMatrix && r->cursor && r->volumeOfInterest &&
           r->volumeOfInterest->origin && r->volumeOfInterest->size;
}

// One 32-bit field between the board layout and the record, bit for bit.
void get_field(void* field, const unsigned char* board, int offset) {
    load_bytes(field, board + offset, 4);
}
void put_field(unsigned char* block, int offset, const void* field) {
    store_bytes(block + offset, field, 4);
}

// Posts a setter's block and waits until the host accepts it.
int send_setter(int code, const QelIpcParameterBlock& block) {
    QELipc_SetParameterBlock(&block);
    return QELipc_SendRequest(code, 1);
}

// Reads BB into the global record and into a fresh one, whose item is handed to copy.
template <class Copy>
int read_item(Copy copy) {
    QelBroadcaster* fresh = QELipc_NewBroadcaster();
    if (!fresh) return -1;
    int rc = -1;
    if (QELipc_RefreshBroadcaster() == 0 && QELipc_ReadBroadcastBoard(fresh) == 0) {
        copy(*fresh);
        rc = 0;
    }
    QELipc_DeleteBroadcaster(fresh);
    return rc;
}

void print_missed_acceptance() {
    std::fprintf(stderr, "Missed <QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED>\n");
}

}  // namespace

QelBroadcaster* QELipc_NewBroadcaster() {
    auto* r = static_cast<QelBroadcaster*>(std::calloc(1, sizeof(QelBroadcaster)));
    if (!r) return nullptr;
    r->state = QELipc_NO_VALUE;
    r->text = static_cast<char*>(std::calloc(kTextSize, 1));
    r->greyscale = QEL_NewValueRange(0.0f, 0.0f);
    r->volumeMatrix = QEL_NewSize4i(0, 0, 0, 0);
    r->cursor = QEL_NewPoint3f(0.0f, 0.0f, 0.0f);
    r->volumeOfInterest = QEL_NewBox3i(nullptr, nullptr);
    if (!r->text || !is_complete(r)) {
        QELipc_DeleteBroadcaster(r);
        return nullptr;
    }
    return r;
}

void QELipc_DeleteBroadcaster(QelBroadcaster* r) {
    if (!r) return;
    std::free(r->text);
    QEL_DeleteValueRange(r->greyscale);
    QEL_DeleteSize4i(r->volumeMatrix);
    QEL_DeletePoint3f(r->cursor);
    QEL_DeleteBox3i(r->volumeOfInterest);
    std::free(r);
}

int QELipc_UnpackBroadcaster(const void* board, QelBroadcaster* r) {
    if (!board || !is_complete(r)) return -1;
    auto* b = static_cast<const unsigned char*>(board);
    QelSize4i* m = r->volumeMatrix;
    get_field(&m->nx, b, kBbMatrix);
    get_field(&m->ny, b, kBbMatrix + 4);
    get_field(&m->nz, b, kBbMatrix + 8);
    get_field(&m->nChannels, b, kBbMatrix + 12);
    get_field(&r->cursor->x, b, kBbCursor);
    get_field(&r->cursor->y, b, kBbCursor + 4);
    get_field(&r->cursor->z, b, kBbCursor + 8);
    QelPoint3i* o = r->volumeOfInterest->origin;
    QelSize3i* s = r->volumeOfInterest->size;
    get_field(&o->x, b, kBbVoiOrigin);
    get_field(&o->y, b, kBbVoiOrigin + 4);
    get_field(&o->z, b, kBbVoiOrigin + 8);
    get_field(&s->nx, b, kBbVoiSize);
    get_field(&s->ny, b, kBbVoiSize + 4);
    get_field(&s->nz, b, kBbVoiSize + 8);
    get_field(&r->greyscale->min, b, kBbGreyscale);
    get_field(&r->greyscale->max, b, kBbGreyscale + 4);
    get_field(&r->channelID, b, kBbChannel);
    for (int i = 0; i < 12; ++i) get_field(&r->view[i], b, kBbView + 4 * i);
    get_field(&r->distance, b, kBbDistance);
    get_field(&r->viewAngle, b, kBbAngle);
    return 0;
}

int QELipc_PackBroadcaster(void* block, const QelBroadcaster* r) {
    if (!block || !is_complete(r)) return -1;
    auto* b = static_cast<unsigned char*>(block);
    const QelSize4i* m = r->volumeMatrix;
    put_field(b, kBbMatrix, &m->nx);
    put_field(b, kBbMatrix + 4, &m->ny);
    put_field(b, kBbMatrix + 8, &m->nz);
    put_field(b, kBbMatrix + 12, &m->nChannels);
    put_field(b, kBbCursor, &r->cursor->x);
    put_field(b, kBbCursor + 4, &r->cursor->y);
    put_field(b, kBbCursor + 8, &r->cursor->z);
    const QelPoint3i* o = r->volumeOfInterest->origin;
    const QelSize3i* s = r->volumeOfInterest->size;
    put_field(b, kBbVoiOrigin, &o->x);
    put_field(b, kBbVoiOrigin + 4, &o->y);
    put_field(b, kBbVoiOrigin + 8, &o->z);
    put_field(b, kBbVoiSize, &s->nx);
    put_field(b, kBbVoiSize + 4, &s->ny);
    put_field(b, kBbVoiSize + 8, &s->nz);
    put_field(b, kBbGreyscale, &r->greyscale->min);
    put_field(b, kBbGreyscale + 4, &r->greyscale->max);
    put_field(b, kBbChannel, &r->channelID);
    for (int i = 0; i < 12; ++i) put_field(b, kBbView + 4 * i, &r->view[i]);
    put_field(b, kBbDistance, &r->distance);
    put_field(b, kBbAngle, &r->viewAngle);
    return 0;
}

int QELipc_ReadBroadcastBoard(QelBroadcaster* r) {
    if (!r) return -1;
    size_t size = 0;
    void* board = map_board(client().bb, &size);
    if (!board) return -1;
    int rc = size >= static_cast<size_t>(kBroadcastBoardUsed) ? QELipc_UnpackBroadcaster(board, r)
                                                               : -1;
    QELipc_UnmapBoard(board);
    return rc;
}

int QELipc_RefreshBroadcaster() { return QELipc_ReadBroadcastBoard(client().broadcaster); }

QelBroadcaster* QELipc_GetBroadcaster() {
    QelBroadcaster* r = QELipc_NewBroadcaster();
    if (r) QELipc_ReadBroadcastBoard(r);
    return r;
}

int QELipc_GetCurrentChannel(int* channelID) {
    if (!channelID) return -1;
    return read_item([&](const QelBroadcaster& b) { *channelID = b.channelID; });
}

int QELipc_GetCursorPosition(float* position) {
    if (!position) return -1;
    return read_item([&](const QelBroadcaster& b) {
        position[0] = b.cursor->x;
        position[1] = b.cursor->y;
        position[2] = b.cursor->z;
    });
}

int QELipc_GetViewParameters(float* view, float* distance, float* angle) {
    if (!view || !distance || !angle) return -1;
    return read_item([&](const QelBroadcaster& b) {
        std::memcpy(view, b.view, sizeof b.view);
        *distance = b.distance;
        *angle = b.viewAngle;
    });
}

int QELipc_GetVolumeOfInterest(QelBox3i* box) {
    if (!box || !box->origin || !box->size) return -1;
    return read_item([&](const QelBroadcaster& b) {
        *box->origin = *b.volumeOfInterest->origin;
        *box->size = *b.volumeOfInterest->size;
    });
}

int QELipc_GetCurrentGreyscale(QelValueRange* range) {
    if (!range) return -1;
    return read_item([&](const QelBroadcaster& b) { *range = *b.greyscale; });
}

int QELipc_GetVolumeMatrix(int* matrix) {
    if (!matrix) return -1;
    return read_item([&](const QelBroadcaster& b) {
        matrix[0] = b.volumeMatrix->nx;
        matrix[1] = b.volumeMatrix->ny;
        matrix[2] = b.volumeMatrix->nz;
        matrix[3] = b.volumeMatrix->nChannels;
    });
}

int QELipc_SetState(const QelBroadcaster* record, uint16_t mask) {
    QelIpcParameterBlock block{};
    if (QELipc_PackBroadcaster(&block, record) != 0) return -1;
    std::memcpy(reinterpret_cast<unsigned char*>(&block) + kApplyMask, &mask, sizeof mask);
    return send_setter(QELipc_REQUEST_TYPE_SET_STATE, block);
}

int QELipc_SetCurrentChannel(int channelID) {
    QelIpcParameterBlock block{};
    block.word[0] = channelID;
    return send_setter(QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL, block);
}

int QELipc_SetCursorPosition(const void* block) {
    if (!block) return -1;
    QelIpcParameterBlock b;
    std::memcpy(&b, block, sizeof b);
    return send_setter(QELipc_REQUEST_TYPE_SET_CURSOR_POSITION, b);
}

int QELipc_SetCurrentGreyscale(const void* block) {
    if (!block) return -1;
    QelIpcParameterBlock b;
    std::memcpy(&b, block, sizeof b);
    return send_setter(QELipc_REQUEST_TYPE_SET_GREYSCALE, b);
}

int QELipc_SetViewParameters(const float* view, float distance, float angle) {
    if (!view) return -1;
    QelIpcParameterBlock block{};
    for (int i = 0; i < 12; ++i) set_block_float(block, i, view[i]);
    set_block_float(block, 12, distance);
    set_block_float(block, 13, angle);
    return send_setter(QELipc_REQUEST_TYPE_SET_VIEW_PARAMETERS, block);
}

int QELipc_SetVolumeOfInterest(const QelBox3i* box) {
    if (!box || !box->origin || !box->size) return -1;
    QelIpcParameterBlock block{};
    block.word[0] = box->origin->x;
    block.word[1] = box->origin->y;
    block.word[2] = box->origin->z;
    block.word[3] = box->size->nx;
    block.word[4] = box->size->ny;
    block.word[5] = box->size->nz;
    return send_setter(QELipc_REQUEST_TYPE_SET_VOLUME_OF_INTEREST, block);
}

float QELipc_GetVoxelSize() {
    if (post_request(QELipc_REQUEST_TYPE_GET_VOXEL_SIZE, 0) != Post::Ok) {
        print_missed_acceptance();
        return -1.0f;
    }
    // The host's answer to 321 is not read: the size is word 0 of the last message read,
    // which after a whole-volume receive is message 55.
    QelIpcParameterBlock block = client().block;
    QELipc_ClearMessageBoard();
    return block_float(block, 0);
}

int QELipc_SetVoxelSize(float size) {
    set_block_float(client().block, 0, size);
    if (post_request(QELipc_REQUEST_TYPE_SET_VOXEL_SIZE, 0) != Post::Ok) {
        print_missed_acceptance();
        return -1;
    }
    return 0;
}

int QELipc_QueryInt3(int* values) {
    if (!values) return -1;
    // A request that could not be posted is never accepted: the same line, without waiting for it.
    const Post posted = post_request(QELipc_REQUEST_TYPE_QUERY_INT3, 1);
    if (posted == Post::Refused || posted == Post::WriteFailed ||
        QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED) != 0) {
        print_missed_acceptance();
        return -1;
    }
    QelIpcParameterBlock block = client().block;
    QELipc_ClearMessageBoard();
    values[0] = block.word[0];
    values[1] = block.word[1];
    values[2] = block.word[2];
    return 0;
}
