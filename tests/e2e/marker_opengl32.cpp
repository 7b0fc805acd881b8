// A planted opengl32.dll: the moment any process loads it, the process ends with a code that says so.

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        ExitProcess(0x00BADD11);
    return TRUE;
}
