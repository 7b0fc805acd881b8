#include <windows.h>

#include "app/fpu.h"
#include "render/window_proc.h"

WNDCLASSA MainWindowClass;
MSG MainMessage;

static const char Ochrelight[] = "Ochrelight";

// x87: every exception masked, 64-bit precision, round to nearest.
static const unsigned short FpuControl = 0x133F;

// Runs the program: registers the class, opens and shows the window, pumps its messages and ends the process.
extern "C" void EntryPoint(void)
{
    // Masked before anything else, so a fault in the OpenGL driver's code on this thread yields a default result instead of a trap.
    LoadFpuControlWord(FpuControl);

    MainWindowClass.style = CS_HREDRAW | CS_VREDRAW;
    MainWindowClass.lpfnWndProc = WindowProc;
    MainWindowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    MainWindowClass.lpszClassName = Ochrelight;
    RegisterClassA(&MainWindowClass);

    // Window creation runs the rendering set-up, which may leave its own control word behind.
    unsigned short control = StoreFpuControlWord();
    HWND hWnd = CreateWindowExA(0, Ochrelight, Ochrelight,
                                WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                NULL, NULL, GetModuleHandleA(NULL), NULL);
    LoadFpuControlWord(control);

    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    ShowWindow(hWnd, (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT);
    UpdateWindow(hWnd);

    while (GetMessageA(&MainMessage, NULL, 0, 0)) {
        TranslateMessage(&MainMessage);
        DispatchMessageA(&MainMessage);
    }
    ExitProcess((UINT)MainMessage.wParam);
}
