// The modal dialogs of the windowed programs (GTK 3): message box, value entry, file selection,
// colour selection and OK/Cancel question. Each call builds its window, takes the input grab,
// runs a nested main loop (the program's timeouts keep firing) and returns once the window is
// gone. Callers compare the result with the OK value only.
#pragma once
#include <gtk/gtk.h>

#include <cstddef>

#define QELGTK_OK 789
#define QELGTK_VALUE_CANCEL 423
#define QELGTK_FILE_CANCEL 321
#define QELGTK_COLOR_OK 654
#define QELGTK_COLOR_CANCEL 456
#define QELGTK_QUESTION_OK 661
#define QELGTK_QUESTION_CANCEL 398

// The buffers the programs hand to the value entry and to the file selection.
#define QELGTK_VALUE_BUFFER_SIZE 1024
#define QELGTK_FILE_BUFFER_SIZE 512

// Starts GTK on the display and sets LC_NUMERIC back to "C", so that numbers are written and
// read with a dot. 1 ready, 0 when no display opens (nothing printed).
int QELgtk_Init(int* argc, char*** argv);

void QELgtk_MessageBox(const char* title, const char* text, int width, int height);

// The buffer holds the initial text and receives the answer, cut to capacity - 1 bytes.
int QELgtk_GetValue(const char* prompt, char* buffer, size_t capacity = QELGTK_VALUE_BUFFER_SIZE);

// A save-mode file chooser (a name can be typed or an existing file picked). `parent` is not
// used (callers pass whatever window they hold). `initial` (may be the buffer itself) is preselected when not NULL. A chosen
// name that does not fit the buffer counts as cancel, with one line on stderr.
int QELgtk_SelectFile(GtkWidget* parent, char* buffer, const char* initial,
                      size_t capacity = QELGTK_FILE_BUFFER_SIZE);

// Edits red, green and blue of rgba; rgba[3] is never written (the dialog offers no opacity).
int QELgtk_SelectColor(float rgba[4]);

// " Cancel " is the default button.
int QELgtk_QuestionBox(const char* title, const char* text, int width, int height);

// Signal handlers shared by the dialogs. "destroy" of every dialog ends that dialog's own
// nested loop and releases its grab, never an outer loop. The "clicked" handlers take the
// dialog as user data.
void QELgtk_QuitOnDestroy(GtkWidget* dialog, gpointer unused);
void QELgtk_DestroyOnClick(GtkWidget* button, gpointer dialog);
void QELgtk_CloseGrabbed(GtkWidget* button, gpointer dialog);
void QELgtk_GetValueOk(GtkWidget* button, gpointer dialog);
void QELgtk_SelectFileOk(GtkWidget* button, gpointer dialog);
void QELgtk_SelectColorOk(GtkWidget* button, gpointer dialog);
void QELgtk_QuestionBoxOk(GtkWidget* button, gpointer dialog);
