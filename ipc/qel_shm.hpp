// Internal: what the board accessors and the test host need beyond the five board operations.
#pragma once
#include <cstddef>

#include "ipc/qel_shm.h"

namespace qel::ipc {

// Maps the whole board like QELipc_MapBoard and tells its length, so that every access can
// be bounded by what is really mapped. Release with QELipc_UnmapBoard.
void* map_board(QelBoard* board, size_t* length);

// Removes a board name whoever created it (a data board left behind by a plug-in that died).
// 0 when removed, -1 when there was none.
int remove_board_name(const char* name);

// The object behind an open board: two handles of one object give the same identity, a
// board created anew under the same name another one. False for NULL.
struct BoardIdentity {
    unsigned long long device = 0, inode = 0;
    bool operator==(const BoardIdentity&) const = default;
};
bool board_identity(QelBoard* board, BoardIdentity* identity);

// Board opens and mappings made by the calling thread since it started: the cost of a
// protocol step is counted in mappings, and tests check that count.
unsigned long board_opens_on_this_thread();
unsigned long board_maps_on_this_thread();

}  // namespace qel::ipc
