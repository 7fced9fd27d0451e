// The view-bookmark program's window (GTK 3): a menu bar, the list of bookmarks, the check buttons
// that choose what Record and Replace capture, and the "Record" button; the menu commands; and the
// timer that drives the animation. GTK main thread only.
#pragma once
#include <gtk/gtk.h>

#include "programs/viewbookmarker/bookmark_host.h"

#define BOOKMARK_WINDOW_TITLE "Viewbookmarker 1.1"
#define BOOKMARK_LIST_COLUMNS 7

// The one window and its parts; every pointer is NULL while no window exists.
struct BookmarkWindow {
    GtkWidget* window;
    GtkWidget* list;       // the list view, one row per bookmark
    GtkListStore* rows;    // its cells, as texts (owned by the view)
    GtkWidget* menuBar;
    GtkWidget* fieldButtons[BOOKMARK_FIELD_COUNT];  // "cursor", "ch.", "greyscale", "VOI", "3D view"
    GtkWidget* recordButton;
    gulong selectHandler;  // the list's selection handler, blocked while the program selects
    guint timeoutId;       // the pending animation timeout
};
extern BookmarkWindow bookmarkWindow;

// Builds and shows the window (once; a second call returns the existing one), empties the list and
// starts the animation timer. Destroying the window ends gtk_main.
GtkWidget* BuildBookmarkWindow(void);

// Rebuilds the list from the store, then selects the current row, which applies it to the host.
void RefreshBookmarkList(void);
// Selects a row of the list as the program does: applies it and scrolls to it. Rows outside the
// list are ignored.
void SelectBookmarkRow(int row);
// What selecting a row does: it becomes current, is applied to the host, and the check buttons
// show its recorded fields (when the host state could be read).
void OnSelectBookmarkRow(int row);
// The fields whose check buttons are active, as BOOKMARK_FIELD_... bits.
int RecordedFieldsOfButtons(void);

// The animation timer: one timeout pending at any time, re-added with the current interval on
// every tick.
void StartAnimationTimer(void);
gboolean OnAnimationTick(gpointer unused);

// Menu and button commands.
void OnOpenBookmarks(void);
void OnSaveBookmarks(void);
void OnSaveImageCurrent(void);
void OnSaveImageAll(void);
void OnBookmarkQuit(void);
void OnRecordBookmark(void);
void OnReplaceBookmark(void);
void OnDeleteBookmark(void);
void OnClearBookmarks(void);
void OnRelabelBookmark(void);
void OnInterpolateBookmarks(void);
void OnMoreInfo(void);
void OnMoveNext(void);
void OnMovePrevious(void);
void OnMoveFirst(void);
void OnMoveLast(void);
void OnBookmarkAbout(void);
