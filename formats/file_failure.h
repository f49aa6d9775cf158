// How a failed open, read or write of a file is reported: the codec's own text with the file name,
// followed by the system's reason ("Can't open file x.bmp: Permission denied").
#pragma once

// Reports format (which takes the file name) with module through LumoError, adding ": reason" for the
// error number (none for 0). A text ending in a newline keeps it after the reason.
[[noreturn]] void FailOnFile(const char* module, const char* format, const char* fileName, int error);
