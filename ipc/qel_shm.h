// Named shared memory: the five board operations, the only platform calls of the host
// connection. A board named "QEL_IPC_BB(0007)" is the POSIX object "/QEL_IPC_BB(0007)",
// which is what other hosts on this platform open.
#pragma once

// An open board: the descriptor of the shared-memory object, its name and whether this
// process created it (the creator removes the name when it closes the board).
typedef struct QelBoard QelBoard;

// Creates the named board at size bytes, read-write, zero-filled. A stale object of the
// same name is replaced. NULL when it cannot be created or size is 0.
QelBoard* QELipc_CreateBoard(const char* name, unsigned size);
// Opens an existing board by name, read-write; the descriptor is not inherited. NULL when
// no board of that name exists.
QelBoard* QELipc_OpenBoard(const char* name);
// Maps the whole board read-write; NULL when it cannot be mapped (an empty board included).
void* QELipc_MapBoard(QelBoard* board);
// Removes a mapping made by QELipc_MapBoard; an unknown address is ignored. Returns 0.
int QELipc_UnmapBoard(const void* address);
// Closes the board (NULL is allowed). A board created here also loses its name, unless the
// name has meanwhile been given to another object. Returns 0.
int QELipc_CloseBoard(QelBoard* board);
