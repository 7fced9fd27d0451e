// voxelsurfacer's own exchange with the host, strung together from the protocol primitives
// and the data-board calls: the program keeps one group in the host for its whole life.
#include "mesher_host.h"

#include <cstdio>

#include "ipc/qel_ipc.h"

namespace {

// After a failed download, how often the closing of the host's data board and the unlock
// are tried before the program lets go of the host.
constexpr int kReleaseAttempts = 3;

int ipcAvailable = 0;

void say(const char* text) { std::fputs(text, stderr); }
void dot() { say("."); }

// The block of the group requests: word 0 is the group ID, the rest is zero.
void set_group_block(int groupId) {
    QelIpcParameterBlock block{};
    block.word[0] = groupId;
    QELipc_SetParameterBlock(&block);
}

int download_failed(const char* line) {
    QELipc_SendDisconnectionRequest();
    say(line);
    return -1;
}

// A download that fails once the host holds its lock and has filled its data board must not
// leave the host locked for the rest of its life: both are released, as far as the host
// answers, before the program disconnects.
int release_and_fail(const char* line) {
    for (int i = 0; i < kReleaseAttempts; ++i)
        if (QELipc_SendRequest(QELipc_REQUEST_TYPE_CLOSE_DATABOARD, 1) == 0) break;
    for (int i = 0; i < kReleaseAttempts; ++i)
        if (QELipc_SendRequest(QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA, 1) == 0) break;
    return download_failed(line);
}

}  // namespace

void InitializeMesherIpc(int serverId) {
    QELipc_SetRetryCount(QELipc_LONG_RETRY_COUNT);
    if (QELipc_InitializeClient(MESHER_CLIENT_NAME, serverId) != 0) {
        say("IPC NOT available (IPC Client initialization failure)\n");
        return;
    }
    say("IPC available (IPC Client initialization succeeded)\n");
    ipcAvailable = 1;
}

int MesherIpcAvailable() { return ipcAvailable; }

void TerminateMesherIpc() {
    if (ipcAvailable == 1) QELipc_TerminateClient();
    ipcAvailable = 0;
}

int CreateMeshObjectGroup(MesherSettings* s) {
    if (!s) return -1;
    QELipc_SendRequest(QELipc_REQUEST_TYPE_CREATE_DATA_OBJECT_GROUP, 0);
    if (QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_OBJECT_GROUP_CREATED) != 0) {
        say("Missed <QELipc_MESSAGE_TYPE_DATA_OBJECT_GROUP_CREATED>\n");
        return -1;
    }
    QelIpcParameterBlock block{};
    QELipc_GetParameterBlock(&block);
    s->groupId = block.word[0];
    std::fprintf(stderr, "Assigned object group ID: %d\n", s->groupId);
    return 0;
}

void RefreshHostState(MesherSettings* s) {
    if (s) QELipc_ReadBroadcastBoard(s->hostState);
}

int DownloadCurrentChannel(MesherSettings* s) {
    if (!s) return -1;
    QEL_DeleteRawVolumeData(s->volume);
    s->volume = nullptr;
    QELipc_SetRetryCount(QELipc_LONG_RETRY_COUNT);
    say(">> Establishing connection ");
    dot();
    if (QELipc_SendConnectionRequest() != 0) return download_failed("Failed <QELipc_SendConnectionRequest>. Exit now.\n");
    dot();
    if (QELipc_SendRequest(QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA, 1) != 0)
        return download_failed("Failed <QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA>. Exit now.\n");
    dot();
    QELipc_SendRequest(QELipc_REQUEST_TYPE_UPLOAD_CURRENT_CHANNEL, 0);
    dot();
    // The host may take long to fill its board: the program waits as long as it takes.
    if (QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_UPLOAD_COMPLETED) != 0) {
        for (;;) {
            const int rc = QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_UPLOAD_COMPLETED);
            say("<Warning> Server busy. To trying to send upload message\n");
            if (rc == 0) break;
        }
    }
    dot();
    QelIpcParameterBlock block{};
    QELipc_GetParameterBlock(&block);
    if (block.word[0] < 0) return release_and_fail("Failed <Invalid Channel>. Exit now.\n");
    QelRawVolumeData* volume = QELipc_DownloadSingleChannelRawVolumeData();
    if (!volume) return release_and_fail("Failed <QELipc_DownloadSingleChannelRawVolumeData>. Exit now.\n");
    dot();
    if (QELipc_SendRequest(QELipc_REQUEST_TYPE_CLOSE_DATABOARD, 1) != 0) {
        for (;;) {
            const int rc = QELipc_SendRequest(QELipc_REQUEST_TYPE_CLOSE_DATABOARD, 1);
            say("<Warning> Server busy. To trying to close data board\n");
            if (rc == 0) break;
        }
    }
    dot();
    if (QELipc_SendRequest(QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA, 1) != 0) {
        QEL_DeleteRawVolumeData(volume);
        return download_failed("Missed <QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA>. Exit now.\n");
    }
    say("done.\n");
    if (QELipc_SendDisconnectionRequest() != 0) {
        QEL_DeleteRawVolumeData(volume);
        return download_failed("Failed <QELipc_SendDisconnectionRequest>. Exit now.\n");
    }
    s->volume = volume;
    return 0;
}

int UploadMeshObjectGroup(MesherSettings* s) {
    say("send start... ");
    if (!s || s->groupId == -1 || !s->group) return -1;
    // Without a board of its own the host would read whatever the name holds: nothing is sent.
    if (QELipc_UploadDataObjectGroup(s->group) != 0) {
        say("Failed <QELipc_UploadDataObjectGroup>\n");
        return -1;
    }
    // A completion left on the board by an earlier exchange must not be taken for this one.
    QELipc_ClearMessageBoard();
    set_group_block(s->groupId);
    QELipc_SendRequest(QELipc_REQUEST_TYPE_DOWNLOAD_DATA_OBJECT_GROUP, 0);
    // Without the host's report the board stays open: the host may still read it. The next
    // upload or the program's end closes it.
    if (QELipc_WaitForMessage(QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED) != 0) {
        say("Missed <QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED>\n");
        return -1;
    }
    QELipc_CloseDataBoard();
    QELipc_SendRequest(QELipc_REQUEST_TYPE_RENDER_3D_IMAGE, 1);
    say("completed\n");
    return 0;
}

void DeleteMeshObjectGroup(int groupId) {
    set_group_block(groupId);
    QELipc_SendRequest(QELipc_REQUEST_TYPE_DELETE_DATA_OBJECT_GROUP, 1);
    // A board whose reading the host never reported must not outlive the program.
    QELipc_CloseDataBoard();
    TerminateMesherIpc();
}
