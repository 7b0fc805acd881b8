// A planted opengl32.dll: the moment any process loads it, the process ends with a code that says so.

// The platform header would declare the same names as the system library's imports.
#define NOGDI
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        ExitProcess(0x00BADD11);
    return TRUE;
}

// The names a program importing OpenGL statically would bind, so that the loader gets as far as running DllMain.
extern "C" {
__declspec(dllexport) void WINAPI glClear(unsigned) {}
__declspec(dllexport) void WINAPI glClearColor(float, float, float, float) {}
__declspec(dllexport) void WINAPI glFlush() {}
__declspec(dllexport) void* WINAPI wglCreateContext(void*) { return nullptr; }
__declspec(dllexport) BOOL WINAPI wglMakeCurrent(void*, void*) { return FALSE; }
__declspec(dllexport) BOOL WINAPI wglDeleteContext(void*) { return FALSE; }
}
