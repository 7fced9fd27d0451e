// The host exchange of the view-bookmark program and its animation.
#include "programs/viewbookmarker/bookmark_host.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "gui/qel_pnm.h"
#include "ipc/qel_ipc.h"
#include "programs/viewbookmarker/bookmark_store.h"

BookmarkAnimation bookmarkAnimation = {0, BOOKMARK_ANIMATE_CYCLE, 1, 400};

namespace {

int g_connected = 0;

// The message board still shows the acceptance of the previous request; a request of the same
// code would take it for its own answer and return before the host has read it, and the next
// request could then overwrite it unread. Cleared first, every request waits for its own
// acceptance. The board is left alone while the host serves another client.
void clear_acceptance() {
    if (QELipc_IsServerFree() == 1 || QELipc_IsConnectedToMe() == 1) QELipc_ClearMessageBoard();
}

int send_request(int code) {
    clear_acceptance();
    return QELipc_SendRequest(code, 1);
}

bool valid_slot(int slot) { return slot >= 0 && slot < BOOKMARK_CAPACITY; }

// A copy of the host's present state, or NULL when it cannot be read.
QelBroadcaster* read_host_state() {
    QelBroadcaster* r = QELipc_NewBroadcaster();
    if (!r) return nullptr;
    if (QELipc_RefreshBroadcaster() != 0 || QELipc_ReadBroadcastBoard(r) != 0) {
        QELipc_DeleteBroadcaster(r);
        return nullptr;
    }
    return r;
}

// Field i (0..4) of a bookmark, in the order of the apply-mask bits.
char* value_field(ViewBookmark& b, int i) {
    char* fields[BOOKMARK_FIELD_COUNT] = {b.cursor, b.channel, b.greyscale, b.voi, b.view};
    return fields[i];
}

void format_field(char* text, int i, const QelBroadcaster& r) {
    switch (i) {
    case 0: FormatCursorField(text, r.cursor); break;
    case 1: FormatChannelField(text, r.channelID); break;
    case 2: FormatGreyscaleField(text, r.greyscale); break;
    case 3: FormatVoiField(text, r.volumeOfInterest); break;
    default: FormatViewField(text, r.view, r.distance, r.viewAngle); break;
    }
}

void parse_field(const char* text, int i, QelBroadcaster* r) {
    switch (i) {
    case 0: ParseCursorField(text, r->cursor); break;
    case 1: ParseChannelField(text, &r->channelID); break;
    case 2: ParseGreyscaleField(text, r->greyscale); break;
    case 3: ParseVoiField(text, r->volumeOfInterest); break;
    default: ParseViewField(text, r->view, &r->distance, &r->viewAngle); break;
    }
}

// 0 with the fetched image (NULL when the host sent none), or -1 when the render request failed.
int render_and_fetch(QelRawImageData** image) {
    *image = nullptr;
    if (send_request(QELipc_REQUEST_TYPE_RENDER_3D_IMAGE) != 0) {
        std::fprintf(stderr, "Failed <QELipc_REQUEST_TYPE_RENDER_3D_IMAGE>. Exit now.\n");
        return -1;
    }
    *image = QELipc_ReceiveRendered3DImage();
    return 0;
}

}  // namespace

int InitializeBookmarkIpc(int serverID) {
    QELipc_SetRetryCount(QELipc_LONG_RETRY_COUNT);
    if (QELipc_InitializeClient(BOOKMARK_CLIENT_NAME, serverID) == -1) {
        std::fprintf(stderr, "IPC NOT available (IPC Client initialization failure)\n");
        return -1;
    }
    std::fprintf(stderr, "IPC available (IPC Client initialization succeeded)\n");
    g_connected = 1;
    return 0;
}

void TerminateBookmarkIpc(void) {
    if (!g_connected) return;
    QELipc_TerminateClient();
    g_connected = 0;
}

int IsBookmarkIpcConnected(void) { return g_connected; }

int CaptureBookmark(int slot, int fields) {
    if (!valid_slot(slot)) return -1;
    ViewBookmark& b = bookmarks[slot];
    QelBroadcaster* r = read_host_state();
    // Without the host's state nothing is known: the fields say so rather than keep the texts of
    // whatever bookmark used the slot before.
    if (!r) fields = 0;
    for (int i = 0; i < BOOKMARK_FIELD_COUNT; ++i) {
        char* text = value_field(b, i);
        if (fields & (1 << i)) format_field(text, i, *r);
        else std::snprintf(text, BOOKMARK_FIELD_SIZE, "%s", BOOKMARK_NOT_RECORDED);
    }
    QELipc_DeleteBroadcaster(r);
    return r ? 0 : -1;
}

int ApplyBookmark(int slot) {
    if (!valid_slot(slot)) return -1;
    // The request carries the whole state: items outside the mask travel with the host's own values.
    QelBroadcaster* r = read_host_state();
    if (!r) return -1;
    ViewBookmark& b = bookmarks[slot];
    int mask = 0;
    for (int i = 0; i < BOOKMARK_FIELD_COUNT; ++i) {
        const char* text = value_field(b, i);
        if (!IsFieldRecorded(text)) continue;
        parse_field(text, i, r);
        mask |= 1 << i;
    }
    clear_acceptance();
    QELipc_SetState(r, static_cast<uint16_t>(mask));
    QELipc_DeleteBroadcaster(r);
    return mask;
}

int SaveRenderedImage(const char* path) {
    QelRawImageData* image;
    if (render_and_fetch(&image) != 0) return -1;
    const int written = image && path && QEL_WritePnmImage(path, image, 0) == 0;
    QEL_DeleteRawImageData(image);
    return written ? 0 : 1;
}

int SaveAllRenderedImages(const char* directory, void (*selectRow)(int row)) {
    if (!directory || !directory[0]) return 0;
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);  // a failure shows as files not written
    send_request(QELipc_REQUEST_TYPE_RENDER_3D_IMAGE);
    int written = 0;
    for (int i = 0; i < bookmarkState.count && i < BOOKMARK_CAPACITY; ++i) {
        if (selectRow) {
            selectRow(i);
        } else {
            bookmarkState.current = i;
            ApplyBookmark(i);
        }
        QelRawImageData* image;
        if (render_and_fetch(&image) != 0) break;
        if (!image) continue;
        char name[BOOKMARK_FIELD_SIZE];
        const int n = std::snprintf(name, sizeof name, "%s/image%03d.pnm", directory, i);
        if (n > 0 && n < static_cast<int>(sizeof name)) {
            std::fprintf(stderr, "%s\n", name);
            if (QEL_WritePnmImage(name, image, 0) == 0) ++written;
        }
        QEL_DeleteRawImageData(image);
    }
    return written;
}

void OnAnimateStart(void) { bookmarkAnimation = {1, BOOKMARK_ANIMATE_CYCLE, 1, bookmarkAnimation.interval}; }

void OnAnimateOscillate(void) {
    bookmarkAnimation = {1, BOOKMARK_ANIMATE_OSCILLATE, 1, bookmarkAnimation.interval};
}

void StopAnimation(void) { bookmarkAnimation = {0, BOOKMARK_ANIMATE_CYCLE, 0, bookmarkAnimation.interval}; }

void OnSpeedUp(void) {
    if (bookmarkAnimation.interval > BOOKMARK_INTERVAL_MIN) bookmarkAnimation.interval -= BOOKMARK_INTERVAL_STEP;
}

void OnSpeedDown(void) {
    if (bookmarkAnimation.interval < BOOKMARK_INTERVAL_MAX) bookmarkAnimation.interval += BOOKMARK_INTERVAL_STEP;
}

int AdvanceAnimation(void) {
    const int count = bookmarkState.count;
    if (!bookmarkAnimation.animating || count <= 0) return -1;
    int& current = bookmarkState.current;
    if (bookmarkAnimation.mode == BOOKMARK_ANIMATE_CYCLE) {
        ++current;
        if (current >= count || current < 0) current = 0;
    } else {
        current += bookmarkAnimation.direction;
        if (current >= count - 1) {
            current = count - 1;
            bookmarkAnimation.direction = -1;
        } else if (current <= 0) {
            current = 0;
            bookmarkAnimation.direction = 1;
        }
    }
    return current;
}
