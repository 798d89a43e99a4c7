// Message boxes for start-up errors: no owner window, the error icon and an OK button.
#pragma once

void gui_error_box(const char *caption, const char *text);
