// Message boxes for start-up errors: no owner window, the error icon and an OK button; and the
// informative text that says which file failed and why.
#pragma once

#include <QString>

struct emu_file_error_t;

void gui_error_box(const char *caption, const char *text);
// The same box with an informative text below the message.
void gui_error_box_details(const char *caption, const char *text, const QString &details);

// The file's path, then what went wrong: "Line N: reason" or the system's text.
QString gui_file_error_details(const char *path, const emu_file_error_t &error);

// "Unable to load tessik.hex ROM file" with the path, the reason and the folder the program
// looked in (the current directory).
void gui_rom_error_box(const char *file_name, const emu_file_error_t &error);
