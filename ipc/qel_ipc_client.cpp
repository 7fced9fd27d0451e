// The client's connection to its host: opening and closing the boards, the server state,
// posting requests, reading messages, connecting and disconnecting.
#include <cstdio>
#include <cstring>

#include "ipc/qel_ipc.h"
#include "ipc/qel_ipc_client.hpp"
#include "ipc/qel_ipc_layout.hpp"

namespace qel::ipc {
namespace {

int g_poll_cap = 0;

// The number of re-reads after a wait has seen its message: the host has written the
// message's block by the last of them.
constexpr int kMessageRereads = 50;

// Writes one request: client ID, then parameter block, then the code, so that a host that
// sees the code never reads a stale block. Stops at the first failed write: a code posted
// over a stale ID or block would be a request this client never made.
bool write_request(ClientState& c, int code, bool with_block) {
    if (QELipc_WriteBoardString(c.rb, kRbClientId, c.clientID) != 0) return false;
    if (with_block &&
        QELipc_WriteBoardBytes(c.rb, kRbBlock, &c.block, QELipc_PARAMETER_BLOCK_SIZE) != 0)
        return false;
    return QELipc_WriteBoardInt(c.rb, kRbCode, code) == 0;
}

void close_boards(ClientState& c) {
    QELipc_CloseBoard(c.bb);
    QELipc_CloseBoard(c.mb);
    QELipc_CloseBoard(c.rb);
    c.bb = c.mb = c.rb = nullptr;
}

}  // namespace

void format_board_name(char* out, size_t size, const char* stem, int serverID) {
    std::snprintf(out, size, "%s(%04d)", stem, serverID);
}

ClientState& client() {
    static ClientState state = [] {
        ClientState s{};
        s.retryCount = QELipc_DEFAULT_RETRY_COUNT;
        return s;
    }();
    return state;
}

int poll_limit() {
    int n = client().retryCount;
    return (g_poll_cap > 0 && g_poll_cap < n) ? g_poll_cap : n;
}

void set_poll_cap(int cap) { g_poll_cap = cap; }

Post post_request(int code, int wait) {
    ClientState& c = client();
    // While the server serves another client nothing is written: its request would be lost.
    if (QELipc_IsServerFree() != 1 && QELipc_IsConnectedToMe() != 1) return Post::Refused;
    if (!write_request(c, code, true)) return Post::WriteFailed;
    if (wait != 1) return Post::Ok;
    // Re-posted before every test: a host that missed the request sees it again.
    int limit = poll_limit();
    for (int i = 0; i < limit; ++i) {
        if (!write_request(c, code, true)) return Post::WriteFailed;
        if (QELipc_IsRequestAccepted(code) == 1) return Post::Ok;
    }
    return Post::NotAccepted;
}

}  // namespace qel::ipc

using qel::ipc::ClientState;

int QELipc_InitializeClient(const char* clientID, int serverID) {
    ClientState& c = qel::ipc::client();
    // A second initialisation starts afresh instead of leaking the first one's boards.
    qel::ipc::close_boards(c);
    QELipc_DeleteBroadcaster(c.broadcaster);
    c.broadcaster = nullptr;

    c.serverID = serverID;
    c.broadcaster = QELipc_NewBroadcaster();
    if (!c.broadcaster) {
        std::fprintf(stderr, "broadcaster NULL\n");
        return -1;
    }
    if (!clientID || strnlen(clientID, QELipc_MAX_CLIENT_ID + 1) > QELipc_MAX_CLIENT_ID) {
        if (clientID) std::fprintf(stderr, "too long client ID\n");
        QELipc_DeleteBroadcaster(c.broadcaster);
        c.broadcaster = nullptr;
        return -1;
    }
    std::snprintf(c.clientID, sizeof c.clientID, "%s", clientID);
    qel::ipc::format_board_name(c.bbName, sizeof c.bbName, qel::ipc::kBroadcastStem, serverID);
    qel::ipc::format_board_name(c.mbName, sizeof c.mbName, qel::ipc::kMessageStem, serverID);
    qel::ipc::format_board_name(c.rbName, sizeof c.rbName, qel::ipc::kRequestStem, serverID);
    qel::ipc::format_board_name(c.dbName, sizeof c.dbName, qel::ipc::kDataStem, serverID);

    c.bb = QELipc_OpenBoard(c.bbName);
    if (c.bb) c.mb = QELipc_OpenBoard(c.mbName);
    if (c.mb) c.rb = QELipc_OpenBoard(c.rbName);
    if (!c.rb) {
        qel::ipc::close_boards(c);
        QELipc_DeleteBroadcaster(c.broadcaster);
        c.broadcaster = nullptr;
        return -1;
    }
    return 0;
}

int QELipc_TerminateClient() {
    ClientState& c = qel::ipc::client();
    qel::ipc::close_boards(c);
    QELipc_DeleteBroadcaster(c.broadcaster);
    c.broadcaster = nullptr;
    return 0;
}

int QELipc_GetServerState() {
    ClientState& c = qel::ipc::client();
    if (!c.broadcaster) return QELipc_NO_VALUE;
    int state;
    if (QELipc_ReadBoardInt(c.bb, qel::ipc::kBbState, &state) != 0) return QELipc_NO_VALUE;
    c.broadcaster->state = state;
    return state;
}

int QELipc_IsServerFree() { return QELipc_GetServerState() == QELipc_SERVER_STATE_FREE ? 1 : 0; }

int QELipc_IsConnectedToMe() {
    ClientState& c = qel::ipc::client();
    if (QELipc_GetServerState() != QELipc_SERVER_STATE_CONNECTED) return 0;
    char id[qel::ipc::kBbClientIdChars + 1];
    if (QELipc_ReadBoardString(c.bb, qel::ipc::kBbClientId, id, sizeof id) != 0) return 0;
    return std::strcmp(id, c.clientID) == 0 ? 1 : 0;
}

int QELipc_SetParameterBlock(const void* block) {
    if (!block) return -1;
    std::memcpy(&qel::ipc::client().block, block, QELipc_PARAMETER_BLOCK_SIZE);
    return 0;
}

int QELipc_GetParameterBlock(void* block) {
    if (!block) return -1;
    std::memcpy(block, &qel::ipc::client().block, QELipc_PARAMETER_BLOCK_SIZE);
    return 0;
}

int QELipc_SendRequest(int code, int wait) {
    return qel::ipc::post_request(code, wait) == qel::ipc::Post::Ok ? 0 : -1;
}

int QELipc_IsRequestAccepted(int code) {
    ClientState& c = qel::ipc::client();
    int message = 0, accepted = 0;
    int r1 = QELipc_ReadBoardInt(c.mb, qel::ipc::kMbCode, &message);
    int r2 = QELipc_ReadBoardInt(c.mb, qel::ipc::kMbAccepted, &accepted);
    return (r1 == 0 && r2 == 0 && message == QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED &&
            accepted == code)
               ? 1
               : 0;
}

int QELipc_WaitForAcceptance(int code) {
    int limit = qel::ipc::poll_limit();
    for (int i = 0; i < limit; ++i)
        if (QELipc_IsRequestAccepted(code) == 1) return 0;
    return -1;
}

int QELipc_ReadMessage() {
    ClientState& c = qel::ipc::client();
    int code = 0;
    int r1 = QELipc_ReadBoardInt(c.mb, qel::ipc::kMbCode, &code);
    int r2 = QELipc_ReadBoardBytes(c.mb, qel::ipc::kMbBlock, &c.block, QELipc_PARAMETER_BLOCK_SIZE);
    return (r1 == 0 && r2 == 0) ? code : QELipc_NO_VALUE;
}

int QELipc_WaitForMessage(int code) {
    int limit = qel::ipc::poll_limit();
    int i = 0;
    while (i < limit && QELipc_ReadMessage() != code) ++i;
    if (i == limit) return -1;
    for (int k = 0; k < qel::ipc::kMessageRereads; ++k) QELipc_ReadMessage();
    return 0;
}

int QELipc_ClearMessageBoard() {
    ClientState& c = qel::ipc::client();
    int r1 = QELipc_WriteBoardInt(c.mb, qel::ipc::kMbCode, QELipc_NO_VALUE);
    int r2 = QELipc_WriteBoardString(c.mb, qel::ipc::kMbText, "   ");
    int r3 = QELipc_WriteBoardInt(c.mb, qel::ipc::kMbAccepted, QELipc_NO_VALUE);
    return (r1 == 0 && r2 == 0 && r3 == 0) ? 0 : -1;
}

int QELipc_SendConnectionRequest() {
    ClientState& c = qel::ipc::client();
    if (QELipc_IsServerFree() != 1) return -1;
    if (!qel::ipc::write_request(c, QELipc_REQUEST_TYPE_CONNECTION, false)) return -1;
    int limit = qel::ipc::poll_limit();
    for (int i = 0; i < limit; ++i)
        if (QELipc_IsConnectedToMe() == 1) return 0;
    // The host may still take the request later: tell it to let go again.
    QELipc_SendRequest(QELipc_REQUEST_TYPE_DISCONNECTION, 1);
    return -1;
}

int QELipc_SendDisconnectionRequest() {
    ClientState& c = qel::ipc::client();
    if (QELipc_IsServerFree() == 1) return 0;
    // Another client's connection is not ours to end.
    if (QELipc_IsConnectedToMe() != 1) return -1;
    if (!qel::ipc::write_request(c, QELipc_REQUEST_TYPE_DISCONNECTION, false)) return -1;
    int limit = qel::ipc::poll_limit();
    for (int i = 0; i < limit; ++i)
        if (QELipc_IsServerFree() == 1) return 0;
    return -1;
}

void QELipc_SetRetryCount(int count) { qel::ipc::client().retryCount = count; }

int QELipc_GetRetryCount() { return qel::ipc::client().retryCount; }
