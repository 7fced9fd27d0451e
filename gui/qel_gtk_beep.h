// The audible signal that the ANALYZE programs give before a notice or a question.
#pragma once

// Rings the bell of the default display; does nothing when GTK has no display open.
void QELgtk_Beep();
