// The view-bookmark program's exchange with its host: the client connection, capturing the host's
// view state into a bookmark, applying a bookmark to the host, rendered images, and the animation
// that replays the list. Needs no GTK: the window reads its check buttons into a field mask for a
// capture and sets them from the mask that an apply returns.
#pragma once

#define BOOKMARK_CLIENT_NAME "Viewbookmarker:v1.0"

// A bookmark's five value fields, as the bits of the host's apply mask (QELipc_APPLY_...).
#define BOOKMARK_FIELD_CURSOR 1
#define BOOKMARK_FIELD_CHANNEL 2
#define BOOKMARK_FIELD_GREYSCALE 4
#define BOOKMARK_FIELD_VOI 8
#define BOOKMARK_FIELD_VIEW 16
#define BOOKMARK_FIELD_COUNT 5

// Raises the poll count of every wait for the program's run and opens the client connection,
// telling on stderr whether it worked. 0 connected, -1 not (the program goes on without a host).
int InitializeBookmarkIpc(int serverID);
// Ends the client connection when one was opened.
void TerminateBookmarkIpc(void);
int IsBookmarkIpcConnected(void);

// Fills the five value fields of a slot from the host's present state: a field whose bit is in
// fields gets the host's value, the others "---". When the host state cannot be read every
// value field is "---" and -1 is returned. The label is not touched.
int CaptureBookmark(int slot, int fields);

// Moves the host to the recorded fields of a slot (one state request carrying every item, with
// the recorded ones in its apply mask) and returns the mask of recorded fields, or -1 when the
// host state cannot be read (nothing is sent then). The request's own result is not reported.
int ApplyBookmark(int slot);

// Has the host render its 3-D view and writes the fetched image (channel 0) to path. 0 written,
// 1 when the host sent no image or it could not be written, -1 when the render request failed
// (a line on stderr).
int SaveRenderedImage(const char* path);

// Writes one rendered image per bookmark, directory/image000.pnm onwards, creating the directory
// when missing; selectRow(i) is called before row i is rendered and must apply that row (NULL
// applies it here). Each file name goes to stderr before it is written. Stops at the first
// render request that fails. Returns the number of images written.
int SaveAllRenderedImages(const char* directory, void (*selectRow)(int row));

// The animation that replays the list: mode 0 cycles, 1 oscillates; interval in milliseconds.
#define BOOKMARK_ANIMATE_CYCLE 0
#define BOOKMARK_ANIMATE_OSCILLATE 1
#define BOOKMARK_INTERVAL_MIN 100
#define BOOKMARK_INTERVAL_MAX 1000
#define BOOKMARK_INTERVAL_STEP 100
struct BookmarkAnimation {
    int animating;
    int mode;
    int direction;  // +1 or -1 while oscillating
    int interval;
};
extern BookmarkAnimation bookmarkAnimation;

void OnAnimateStart(void);
void OnAnimateOscillate(void);
void StopAnimation(void);
void OnSpeedUp(void);
void OnSpeedDown(void);
// One tick: moves the current row on when animating and bookmarks exist, and returns the row now
// to be selected, or -1 when the animation stands still.
int AdvanceAnimation(void);
