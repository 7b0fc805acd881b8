// A frame of two pages, which a build without stack probes must refuse to compile: its test builds this on purpose.

#include <windows.h>

extern "C" void EntryPoint()
{
    char directory[8192];
    ExitProcess(GetWindowsDirectoryA(directory, sizeof directory));
}
