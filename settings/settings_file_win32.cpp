// Saving and loading settings files land here: the save and open dialogs, the file image with
// its banner and checksum, and the form transfer around them. Until then the buttons of the
// group "Файл" and a file named on the command line do nothing.
#include "settings/settings_file.h"

void settings_file_save_command() {}

void settings_file_open_command() {}

void save_settings_file(const wchar_t*) {}

void load_settings_file(const wchar_t*) {}
