// Internal: the process-wide client state, shared by the primitives, the host-state calls
// and the transactions, and the knobs that tests use.
#pragma once
#include <cstddef>

#include "ipc/qel_ipc.h"

namespace qel::ipc {

// Stems of the four board names; a board name is "%s(%04d)" of a stem and the server ID.
inline constexpr const char* kBroadcastStem = "QEL_IPC_BB";
inline constexpr const char* kMessageStem = "QEL_IPC_MB";
inline constexpr const char* kRequestStem = "QEL_IPC_RB";
inline constexpr const char* kDataStem = "QEL_IPC_DB";
// Long enough for a stem, "(", any int and ")".
inline constexpr size_t kBoardNameSize = 32;

void format_board_name(char* out, size_t size, const char* stem, int serverID);

struct ClientState {
    int serverID;
    char clientID[QELipc_MAX_CLIENT_ID + 1];
    char bbName[kBoardNameSize];
    char mbName[kBoardNameSize];
    char rbName[kBoardNameSize];
    char dbName[kBoardNameSize];
    QelBoard* bb;
    QelBoard* mb;
    QelBoard* rb;
    QelBoard* db;  // the current data board (hFM_DB); initialise and terminate leave it alone
    QelIpcParameterBlock block;
    int retryCount;
    QelBroadcaster* broadcaster;
};

ClientState& client();

// The polls that a wait may make now: the retry count, or the cap when that is lower.
int poll_limit();
// Lowers every wait of this process to at most cap polls (cap <= 0 removes the cap), so that
// tests of failure paths do not spin millions of polls. Raising the retry count, as the
// receives do, does not lift the cap.
void set_poll_cap(int cap);

// QELipc_SendRequest with the reason of a failure told apart: a request that could not be
// posted at all is not the same as one that the host did not accept in time.
enum class Post { Ok, Refused, WriteFailed, NotAccepted };
Post post_request(int code, int wait);

}  // namespace qel::ipc
