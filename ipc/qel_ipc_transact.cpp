// Data boards and the transactions built on them: receiving the host's volume, channel or
// rendered view, handing volumes and channels back, and the host's data-object groups.
#include <cstdio>

#include "ipc/qel_board_formats.h"
#include "ipc/qel_board_group.h"
#include "ipc/qel_ipc.h"
#include "ipc/qel_ipc_client.hpp"
#include "ipc/qel_shm.hpp"

namespace {

using namespace qel::ipc;

// On a failed receive, how often the closing of the host's data board and the unlock are
// tried before the client gives up on them and disconnects.
constexpr int kCleanupAttempts = 3;

void say(const char* line) { std::fputs(line, stderr); }

// The data-board handle is replaced, never dropped: a board still open is closed first.
void set_data_board(QelBoard* board) {
    ClientState& c = client();
    if (c.db != board) QELipc_CloseBoard(c.db);
    c.db = board;
}

// Creates the data board at exactly size bytes and packs into it; the board stays open.
template <class Pack>
int upload(long long size, Pack pack, bool loud) {
    QelBoard* board = nullptr;
    // A record whose payload cannot be sized gets no board.
    if (size > 0 && size <= 0xFFFFFFFFLL)
        board = QELipc_CreateBoard(client().dbName, static_cast<unsigned>(size));
    // Made before the old handle goes, so that closing that one cannot take the name along.
    set_data_board(board);
    if (!board) {
        if (loud) say("hFM_DB == NULL\n");
        return -1;
    }
    void* base = QELipc_MapBoard(board);
    int rc = base ? pack(base) : -1;
    QELipc_UnmapBoard(base);
    // A board that could not be filled must not reach the host.
    if (rc != 0) set_data_board(nullptr);
    return rc == 0 ? 0 : -1;
}

// Opens the data board by name into the handle; an old handle is closed after the open, so
// that it cannot take the name along.
QelBoard* open_data_board() {
    QelBoard* board = QELipc_OpenBoard(client().dbName);
    set_data_board(board);
    return board;
}

// Unpacks a new record from the data board, reading only what the board really holds.
template <class Unpack>
auto download(Unpack unpack) -> decltype(unpack(nullptr, size_t{0})) {
    QelBoard* board = open_data_board();
    if (!board) return nullptr;
    size_t size = 0;
    void* base = map_board(board, &size);
    auto record = base ? unpack(base, size) : nullptr;
    QELipc_UnmapBoard(base);
    set_data_board(nullptr);
    return record;
}

// --- receives ---

enum class Want { Volume, CurrentChannel, SingleChannel, Image };

bool locks(Want w) { return w != Want::SingleChannel; }

int data_request(Want w) {
    switch (w) {
    case Want::Volume: return QELipc_REQUEST_TYPE_UPLOAD_RAW_VOLUMEDATA;
    case Want::CurrentChannel: return QELipc_REQUEST_TYPE_UPLOAD_CURRENT_CHANNEL;
    case Want::SingleChannel: return QELipc_REQUEST_TYPE_UPLOAD_SINGLE_CHANNEL;
    default: return QELipc_REQUEST_TYPE_UPLOAD_3D_IMAGE;
    }
}

const char* download_failure(Want w) {
    return (w == Want::Volume || w == Want::Image)
               ? "Failed <QELipc_DownloadRawVolumeData>. Exit now.\n"
               : "Failed <QELipc_DownloadSingleChannelRawVolumeData>. Exit now.\n";
}

// Asks the host to close its data board: up to attempts times (0: until it accepts), with a
// warning after every further attempt.
bool close_host_board(int attempts) {
    if (QELipc_SendRequest(QELipc_REQUEST_TYPE_CLOSE_DATABOARD, 1) == 0) return true;
    for (int i = 1; attempts == 0 || i < attempts; ++i) {
        int rc = QELipc_SendRequest(QELipc_REQUEST_TYPE_CLOSE_DATABOARD, 1);
        say("<Warning> Server busy. To trying to close data board\n");
        if (rc == 0) return true;
    }
    return false;
}

bool unlock_host(int attempts) {
    for (int i = 0; i < attempts; ++i)
        if (QELipc_SendRequest(QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA, 1) == 0) return true;
    return false;
}

void receive_failed(const char* line) {
    QELipc_SendDisconnectionRequest();
    say(line);
}

template <class Record, class Fetch, class Delete>
Record* receive(Want want, int channelID, int* channelOut, Fetch fetch, Delete remove) {
    QELipc_SetRetryCount(QELipc_LONG_RETRY_COUNT);
    if (QELipc_SendConnectionRequest() != 0) {
        receive_failed("Failed <QELipc_SendConnectionRequest>. Exit now.\n");
        return nullptr;
    }
    if (locks(want) && QELipc_SendRequest(QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA, 1) != 0) {
        receive_failed("Failed <QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA>. Exit now.\n");
        return nullptr;
    }
    if (want == Want::SingleChannel) client().block.word[0] = channelID;
    QELipc_SendRequest(data_request(want), 0);
    // The host may be slow to fill its board: the client waits as long as it takes.
    if (QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_UPLOAD_COMPLETED) != 0) {
        for (;;) {
            int rc = QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_UPLOAD_COMPLETED);
            say("<Warning> Server busy. To trying to send upload message\n");
            if (rc == 0) break;
        }
    }
    if (want == Want::CurrentChannel) *channelOut = client().block.word[0];

    Record* record = fetch();
    if (!record) {
        // The host must not stay locked, nor keep its board, because this client failed.
        close_host_board(kCleanupAttempts);
        if (locks(want)) unlock_host(kCleanupAttempts);
        receive_failed(download_failure(want));
        return nullptr;
    }
    close_host_board(0);
    if (locks(want) && QELipc_SendRequest(QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA, 1) != 0) {
        remove(record);
        receive_failed("Missed <QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA>. Exit now.\n");
        return nullptr;
    }
    if (QELipc_SendDisconnectionRequest() != 0) {
        QELipc_SendDisconnectionRequest();
        remove(record);
        say("Failed <QELipc_SendDisconnectionRequest>. Exit now.\n");
        return nullptr;
    }
    return record;
}

QelRawVolumeData* receive_volume(Want want, int channelID, int* channelOut) {
    auto fetch = [want] {
        return want == Want::Volume ? QELipc_DownloadRawVolumeData()
                                    : QELipc_DownloadSingleChannelRawVolumeData();
    };
    return receive<QelRawVolumeData>(want, channelID, channelOut, fetch, QEL_DeleteRawVolumeData);
}

// --- transfers and groups ---

// Ends a transfer or group operation that failed: its board goes, and so does a connection.
int give_up(const char* line) {
    QELipc_CloseDataBoard();
    QELipc_SendDisconnectionRequest();
    if (line) say(line);
    return -1;
}

// Waits for the host's report that it has read the data board.
bool download_completed() {
    return QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED) == 0;
}

// The group operations' last steps: the board has been read; the host redraws.
int group_sent() {
    if (!download_completed())
        return give_up("Missed <QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED>\n");
    QELipc_CloseDataBoard();
    QELipc_SendRequest(QELipc_REQUEST_TYPE_RENDER_3D_IMAGE, 1);
    return 0;
}

}  // namespace

int QELipc_UploadRawVolumeData(QelRawVolumeData* volume) {
    if (!volume) {
        say("volume to be uploaded NULL\n");
        return -1;
    }
    return upload(
        QELipc_SizeOfRawVolumeData(volume),
        [&](void* board) { return QELipc_PackRawVolumeData(volume, board); }, true);
}

int QELipc_UploadSingleChannelOfRawVolumeData(QelRawVolumeData* volume, int channelIndex) {
    if (!volume) return -1;
    return upload(
        QELipc_SizeOfSingleChannel(volume, channelIndex),
        [&](void* board) { return QELipc_PackSingleChannel(volume, channelIndex, board); }, false);
}

int QELipc_UploadDataObjectGroup(QelDataObjectGroup* group) {
    if (!group) return -1;
    return upload(
        QELipc_SizeOfDataObjectGroup(group),
        [&](void* board) { return QELipc_PackDataObjectGroup(group, board); }, false);
}

QelRawVolumeData* QELipc_DownloadRawVolumeData() { return download(QELipc_UnpackRawVolumeData); }

QelRawVolumeData* QELipc_DownloadSingleChannelRawVolumeData() {
    return download(QELipc_UnpackSingleChannel);
}

int QELipc_DownloadSingleChannelIntoRawVolumeData(QelRawVolumeData* volume, int channelIndex) {
    QelBoard* board = open_data_board();
    if (!board) return -1;
    size_t size = 0;
    void* base = map_board(board, &size);
    int rc = base ? QELipc_UnpackSingleChannelInto(volume, channelIndex, base, size) : -1;
    QELipc_UnmapBoard(base);
    set_data_board(nullptr);
    return rc == 0 ? 0 : -1;
}

QelDataObjectGroup* QELipc_DownloadDataObjectGroup() {
    return download(QELipc_UnpackDataObjectGroup);
}

QelRawImageData* QELipc_DownloadRawImageData() { return download(QELipc_UnpackRawImageData); }

int QELipc_CloseDataBoard() {
    set_data_board(nullptr);
    return 0;
}

QelRawVolumeData* QELipc_ReceiveRawVolumeData() {
    return receive_volume(Want::Volume, 0, nullptr);
}

QelRawVolumeData* QELipc_ReceiveCurrentChannel(int* channelID) {
    if (!channelID) return nullptr;
    return receive_volume(Want::CurrentChannel, 0, channelID);
}

QelRawVolumeData* QELipc_ReceiveSingleChannel(int channelID) {
    return receive_volume(Want::SingleChannel, channelID, nullptr);
}

QelRawImageData* QELipc_ReceiveRendered3DImage() {
    return receive<QelRawImageData>(Want::Image, 0, nullptr, QELipc_DownloadRawImageData,
                                    QEL_DeleteRawImageData);
}

int QELipc_TransferRawVolumeData(QelRawVolumeData* volume) {
    if (QELipc_UploadRawVolumeData(volume) != 0) return give_up(nullptr);
    if (QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_RAW_VOLUMEDATA, 1) != 0)
        return give_up(nullptr);
    bool completed = download_completed();
    QELipc_CloseDataBoard();
    int rc = QELipc_SendDisconnectionRequest();
    return completed && rc == 0 ? 0 : -1;
}

int QELipc_TransferSingleChannel(QelRawVolumeData* volume, int channelID, int channelIndex) {
    if (QELipc_UploadSingleChannelOfRawVolumeData(volume, channelIndex) != 0)
        return give_up("QELipc_UploadSingleChannelOfRawVolumeData: Error\n");
    client().block.word[0] = channelID;
    int rc = QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA, 1);
    // Waited for also when the request was not accepted: the host may have taken it anyway,
    // and the board must live until the host has read it.
    bool completed = download_completed();
    if (rc != 0) return give_up("QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA): Error\n");
    if (!completed) return give_up("Missed <QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED>\n");
    QELipc_CloseDataBoard();
    if (QELipc_SendDisconnectionRequest() != 0) {
        say("QELipc_SendDisconnectionRequest: Error\n");
        return -1;
    }
    return 0;
}

int QELipc_TransferSingleChannelLocked(QelRawVolumeData* volume, int channelIndex) {
    if (QELipc_SendConnectionRequest() != 0) {
        say("QELipc_SendConnectionRequest: Error\n");
        return -1;
    }
    if (QELipc_SendRequest(QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA, 1) != 0)
        return give_up("QELipc_SendRequest(QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA): Error\n");
    // From here on a failure also releases the lock it took.
    auto unlock_and_give_up = [](const char* line) {
        QELipc_CloseDataBoard();
        unlock_host(kCleanupAttempts);
        return give_up(line);
    };
    if (QELipc_UploadSingleChannelOfRawVolumeData(volume, channelIndex) != 0)
        return unlock_and_give_up("QELipc_UploadSingleChannelOfRawVolumeData: Error\n");
    int rc = QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_LOCKED_VOLUMEDATA, 1);
    bool completed = download_completed();
    if (rc != 0)
        return unlock_and_give_up(
            "QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA): Error\n");
    if (!completed)
        return unlock_and_give_up("Missed <QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED>\n");
    QELipc_CloseDataBoard();
    if (QELipc_SendRequest(QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA, 1) != 0)
        return give_up("QELipc_SendRequest(QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA): Error\n");
    if (QELipc_SendDisconnectionRequest() != 0) {
        say("QELipc_SendDisconnectionRequest: Error\n");
        return -1;
    }
    return 0;
}

int QELipc_CreateDataObjectGroup(QelDataObjectGroup* group, int* groupID) {
    if (!groupID) return -1;
    QELipc_SendRequest(QELipc_REQUEST_TYPE_CREATE_DATA_OBJECT_GROUP, 0);
    if (QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_OBJECT_GROUP_CREATED) != 0) {
        say("Missed <QELipc_MESSAGE_TYPE_DATA_OBJECT_GROUP_CREATED>\n");
        return -1;
    }
    // Message 77's block goes back with the group: word 0 is the new ID.
    QelIpcParameterBlock created = client().block;
    QELipc_ClearMessageBoard();
    *groupID = created.word[0];
    if (QELipc_UploadDataObjectGroup(group) != 0) return give_up(nullptr);
    client().block = created;
    QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_DATA_OBJECT_GROUP, 0);
    return group_sent();
}

int QELipc_UpdateDataObjectGroup(QelDataObjectGroup* group, int groupID) {
    if (QELipc_UploadDataObjectGroup(group) != 0) return give_up(nullptr);
    client().block.word[0] = groupID;
    // A completion left on the board by an earlier transaction must not be taken for ours.
    QELipc_ClearMessageBoard();
    QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_DATA_OBJECT_GROUP, 0);
    return group_sent();
}

int QELipc_DeleteDataObjectGroup(int groupID) {
    client().block.word[0] = groupID;
    QELipc_SendRequest(QELipc_REQUEST_TYPE_DELETE_DATA_OBJECT_GROUP, 1);
    QELipc_ClearMessageBoard();
    return 0;
}
