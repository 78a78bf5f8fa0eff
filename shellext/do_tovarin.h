// The transfer entry that tovarin.so exports for its launcher, in two forms: the names as
// one text, each in double quotes (as a desktop passes a command line), and the names as
// a list (as a program gets its arguments; any name, quotes included, arrives whole).
// `launcherPath` is the launcher's own file: its name selects the player family.
#pragma once

extern "C" void DoTovarin(char* files, char* launcherPath);
void DoTovarin(const char* const* names, int count, const char* launcherPath);

// For hosts: files pasted or dropped into one of the library's folders (the folder's
// item-id list, its last item the folder), as Windows-form paths.
extern "C" void PasteFilesIntoFolder(const void* folder, const char* const* paths, int count);
