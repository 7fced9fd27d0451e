// The client side of the host connection: boards, request and message codes, the parameter
// block, the protocol primitives, the board accessors, the launcher and the host state.
//
// The host publishes its state on the broadcast board (BB), answers on the message board
// (MB) and reads requests from the request board (RB); all three carry the server ID in
// their names. Every wait polls a board word a bounded number of times, and every access
// maps the whole board, touches one field and unmaps it. Not re-entrant: one client per
// process, called from one thread.
#pragma once
#include <cstdint>

#include "ipc/qel_shm.h"
#include "objects/qel_data_objects.h"
#include "volume/qel_geometry.h"
#include "volume/qel_image.h"
#include "volume/qel_units.h"
#include "volume/qel_volume.h"

// Requests, written by the client at RB offset 0. "Upload" and "download" are seen from
// the host: an upload fills a data board for the client, a download reads the client's.
#define QELipc_REQUEST_TYPE_CONNECTION 211
#define QELipc_REQUEST_TYPE_DISCONNECTION 212
#define QELipc_REQUEST_TYPE_UPLOAD_RAW_VOLUMEDATA 221
#define QELipc_REQUEST_TYPE_DOWNLOAD_RAW_VOLUMEDATA 222
#define QELipc_REQUEST_TYPE_UPLOAD_CURRENT_CHANNEL 230
#define QELipc_REQUEST_TYPE_UPLOAD_SINGLE_CHANNEL 231
#define QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA 232
#define QELipc_REQUEST_TYPE_CLOSE_DATABOARD 233
#define QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA 234
#define QELipc_REQUEST_TYPE_UNLOCK_VOLUMEDATA 235
#define QELipc_REQUEST_TYPE_DOWNLOAD_LOCKED_VOLUMEDATA 236
#define QELipc_REQUEST_TYPE_RENDER_3D_IMAGE 251
#define QELipc_REQUEST_TYPE_UPLOAD_3D_IMAGE 253
#define QELipc_REQUEST_TYPE_GET_VOXEL_SIZE 321
#define QELipc_REQUEST_TYPE_SET_VOXEL_SIZE 322
#define QELipc_REQUEST_TYPE_SET_CURSOR_POSITION 464
#define QELipc_REQUEST_TYPE_SET_VOLUME_OF_INTEREST 465
#define QELipc_REQUEST_TYPE_SET_GREYSCALE 466
#define QELipc_REQUEST_TYPE_SET_CURRENT_CHANNEL 467
#define QELipc_REQUEST_TYPE_SET_VIEW_PARAMETERS 469
#define QELipc_REQUEST_TYPE_SET_STATE 470
#define QELipc_REQUEST_TYPE_CREATE_DATA_OBJECT_GROUP 511
#define QELipc_REQUEST_TYPE_DOWNLOAD_DATA_OBJECT_GROUP 512
#define QELipc_REQUEST_TYPE_DELETE_DATA_OBJECT_GROUP 514
#define QELipc_REQUEST_TYPE_QUERY_INT3 601

// Messages, written by the host at MB offset 0.
#define QELipc_MESSAGE_TYPE_REQUEST_ACCEPTED 22
#define QELipc_MESSAGE_TYPE_DATA_UPLOAD_COMPLETED 55
#define QELipc_MESSAGE_TYPE_DATA_DOWNLOAD_COMPLETED 66
#define QELipc_MESSAGE_TYPE_DATA_OBJECT_GROUP_CREATED 77

// The empty mark of the boards, and the result of a board read that failed.
#define QELipc_NO_VALUE (-123)
#define QELipc_SERVER_STATE_FREE 0
#define QELipc_SERVER_STATE_CONNECTED 1

// Apply mask of request 470: which items of the state the host takes.
#define QELipc_APPLY_CURSOR_POSITION 1
#define QELipc_APPLY_CHANNEL_ID 2
#define QELipc_APPLY_GREYSCALE 4
#define QELipc_APPLY_VOLUME_OF_INTEREST 8
#define QELipc_APPLY_VIEW_PARAMETERS 16

// Longest client ID, without its NUL.
#define QELipc_MAX_CLIENT_ID 32
// Polls of every wait, from process start; the receives raise it to the long count.
#define QELipc_DEFAULT_RETRY_COUNT 1310700
#define QELipc_LONG_RETRY_COUNT 6553500

// The block that travels with every request and message: 116 words of 32 bits (int32 or
// float32, as each request defines), at offset 48 of RB and of MB.
struct QelIpcParameterBlock {
    int32_t word[116];
};
#define QELipc_PARAMETER_BLOCK_SIZE 464
static_assert(sizeof(QelIpcParameterBlock) == QELipc_PARAMETER_BLOCK_SIZE);

// The host's state as published on BB. The record owns every part it points to.
struct QelBroadcaster {
    int state;                     // server state word, -123 until read
    char* text;                    // 36 reserved bytes, never filled or sent
    QelValueRange* greyscale;      // grey window {lower, upper}
    QelSize4i* volumeMatrix;       // the four words of BB offset 40, in their order
    int channelID;                 // the host's current channel
    QelPoint3f* cursor;
    QelBox3i* volumeOfInterest;
    float view[12];                // position, then the vectors u, v, w
    float distance;                // to the rotation centre
    float viewAngle;               // degrees
};

// Opening and closing.
int QELipc_InitializeClient(const char* clientID, int serverID);
int QELipc_TerminateClient();

// Server state.
int QELipc_GetServerState();
int QELipc_IsServerFree();
int QELipc_IsConnectedToMe();

// The client's parameter block (464 bytes in and out).
int QELipc_SetParameterBlock(const void* block);
int QELipc_GetParameterBlock(void* block);

// Requests and messages. Two traps of the protocol for plug-in authors:
// - The host answers a request by writing message 22 and the accepted code on the message
//   board, and nothing takes them away. A second request of the same code therefore sees the
//   previous acceptance still there and returns at once, before the host has read it: clear
//   the message board first (QELipc_ClearMessageBoard, while the host is free or serves this
//   client), as the view-bookmark program does before each of its requests.
// - There is one request board. A request posted without waiting (wait 0) can be overwritten
//   by the next request before the host has read it; post with wait 1, or wait for its
//   answer, before posting another.
int QELipc_SendRequest(int code, int wait);
int QELipc_IsRequestAccepted(int code);
int QELipc_WaitForAcceptance(int code);
int QELipc_ReadMessage();
int QELipc_WaitForMessage(int code);
int QELipc_ClearMessageBoard();
int QELipc_SendConnectionRequest();
int QELipc_SendDisconnectionRequest();

// The number of polls that bounds every wait.
void QELipc_SetRetryCount(int count);
int QELipc_GetRetryCount();

// Board accessors: each maps the whole board, touches one field and unmaps. -1 when the
// board cannot be mapped or the field does not lie inside it. Int words are read and
// written atomically. A string is read up to its NUL, at most size - 1 characters, and
// text is always terminated.
int QELipc_ReadBoardInt(QelBoard* board, int offset, int* value);
int QELipc_WriteBoardInt(QelBoard* board, int offset, int value);
int QELipc_ReadBoardString(QelBoard* board, int offset, char* text, unsigned size);
int QELipc_WriteBoardString(QelBoard* board, int offset, const char* text);
int QELipc_ReadBoardBytes(QelBoard* board, int offset, void* destination, unsigned length);
int QELipc_WriteBoardBytes(QelBoard* board, int offset, const void* source, unsigned length);

// Data boards. An upload creates the data board at exactly the payload's size and keeps it
// open while the host reads it, until QELipc_CloseDataBoard; a download opens the host's
// board, unpacks a new record (the caller's, to delete) and closes it at once. The client
// has one data-board handle: a new upload or download closes one still open.
int QELipc_UploadRawVolumeData(QelRawVolumeData* volume);
int QELipc_UploadSingleChannelOfRawVolumeData(QelRawVolumeData* volume, int channelIndex);
int QELipc_UploadDataObjectGroup(QelDataObjectGroup* group);
QelRawVolumeData* QELipc_DownloadRawVolumeData();
QelRawVolumeData* QELipc_DownloadSingleChannelRawVolumeData();
// Replaces channel channelIndex of volume by the board's channel: -1 when there is no board
// or the channel does not fit the volume (the volume is then unchanged).
int QELipc_DownloadSingleChannelIntoRawVolumeData(QelRawVolumeData* volume, int channelIndex);
QelDataObjectGroup* QELipc_DownloadDataObjectGroup();
QelRawImageData* QELipc_DownloadRawImageData();
int QELipc_CloseDataBoard();

// Transactions. A receive connects, locks (not for one given channel), asks for the data,
// downloads it, has the host close its data board, unlocks and disconnects; it raises the
// retry count to the long count for good. Each prints its one line on failure and returns
// NULL / -1; none exits.
QelRawVolumeData* QELipc_ReceiveRawVolumeData();
QelRawVolumeData* QELipc_ReceiveCurrentChannel(int* channelID);
QelRawVolumeData* QELipc_ReceiveSingleChannel(int channelID);
QelRawImageData* QELipc_ReceiveRendered3DImage();
// Transfers upload a data board, post their request (without connecting, except the locked
// one, which connects and locks around it), wait until the host has read the board, close it
// and disconnect. A failure still closes the board and disconnects (and unlocks).
int QELipc_TransferRawVolumeData(QelRawVolumeData* volume);
int QELipc_TransferSingleChannel(QelRawVolumeData* volume, int channelID, int channelIndex);
int QELipc_TransferSingleChannelLocked(QelRawVolumeData* volume, int channelIndex);
// Data-object groups in the host: created (the host gives the ID), replaced, deleted.
int QELipc_CreateDataObjectGroup(QelDataObjectGroup* group, int* groupID);
int QELipc_UpdateDataObjectGroup(QelDataObjectGroup* group, int groupID);
int QELipc_DeleteDataObjectGroup(int groupID);

// Starts a plug-in as the host does: "program serverID [argument]". Prints the command.
int QELipc_LaunchClient(const char* program, int serverID, const char* argument);

// The broadcast record.
QelBroadcaster* QELipc_NewBroadcaster();
void QELipc_DeleteBroadcaster(QelBroadcaster* record);
int QELipc_UnpackBroadcaster(const void* board, QelBroadcaster* record);
int QELipc_PackBroadcaster(void* block, const QelBroadcaster* record);
int QELipc_ReadBroadcastBoard(QelBroadcaster* record);
int QELipc_RefreshBroadcaster();
QelBroadcaster* QELipc_GetBroadcaster();

// Getters: one item of the host's state, read from BB.
int QELipc_GetCurrentChannel(int* channelID);
int QELipc_GetCursorPosition(float* position);
int QELipc_GetViewParameters(float* view, float* distance, float* angle);
int QELipc_GetVolumeOfInterest(QelBox3i* box);
int QELipc_GetCurrentGreyscale(QelValueRange* range);
int QELipc_GetVolumeMatrix(int* matrix);

// Setters: ask the host to change items of its state and wait until it accepts.
int QELipc_SetState(const QelBroadcaster* record, uint16_t mask);
int QELipc_SetCurrentChannel(int channelID);
int QELipc_SetCursorPosition(const void* block);
int QELipc_SetCurrentGreyscale(const void* block);
int QELipc_SetViewParameters(const float* view, float distance, float angle);
int QELipc_SetVolumeOfInterest(const QelBox3i* box);

// Voxel size and the three-integer query.
float QELipc_GetVoxelSize();
int QELipc_SetVoxelSize(float size);
int QELipc_QueryInt3(int* values);
