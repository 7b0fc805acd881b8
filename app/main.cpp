#include <windows.h>

#include "app/fpu.h"
#include "render/window_proc.h"

WNDCLASSA MainWindowClass;
MSG MainMessage;

static const char Ochrelight[] = "Ochrelight";

// x87: every exception masked, 64-bit precision, round to nearest.
static const unsigned short FpuControl = 0x133F;

#if defined(__x86_64__)
// SSE, which does the floating-point arithmetic on x86-64: every exception masked, round to nearest, denormals kept.
static const unsigned int SseControl = 0x1F80;
#endif

// Exit codes of the two runs that cannot go on; a closed window ends with 0.
static const UINT ExitNoWindow = 1;
static const UINT ExitNoMessages = 2;

// Runs the program: registers the class, opens and shows the window, pumps its messages and ends the process.
extern "C" void EntryPoint(void)
{
    // Masked before anything else, so a fault in the OpenGL driver's code on this thread yields a default result instead of a trap.
    LoadFpuControlWord(FpuControl);
#if defined(__x86_64__)
    LoadSseControlWord(SseControl);
#endif

    // Where the platform offers it, every later load by bare name searches the system directory alone.
    FARPROC restrictSearch = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (restrictSearch)
        reinterpret_cast<BOOL(WINAPI*)(DWORD)>(reinterpret_cast<void (*)(void)>(restrictSearch))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);

    MainWindowClass.style = CS_HREDRAW | CS_VREDRAW;
    MainWindowClass.lpfnWndProc = WindowProc;
    MainWindowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    MainWindowClass.lpszClassName = Ochrelight;
    RegisterClassA(&MainWindowClass);

    // Window creation runs the rendering set-up, which may leave its own control word behind.
    unsigned short control = StoreFpuControlWord();
#if defined(__x86_64__)
    unsigned int sseControl = StoreSseControlWord();
#endif
    HWND hWnd = CreateWindowExA(0, Ochrelight, Ochrelight,
                                WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                NULL, NULL, GetModuleHandleA(NULL), NULL);
    LoadFpuControlWord(control);
#if defined(__x86_64__)
    LoadSseControlWord(sseControl);
#endif
    // Without a window nothing could ever end the loop below: end now rather than wait unseen forever.
    if (hWnd == NULL)
        ExitProcess(ExitNoWindow);

    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    ShowWindow(hWnd, (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT);
    UpdateWindow(hWnd);

    BOOL got;
    while ((got = GetMessageA(&MainMessage, NULL, 0, 0)) != 0) {
        // The call itself failed: MainMessage holds nothing to dispatch, and asking again would fail again.
        if (got == -1)
            ExitProcess(ExitNoMessages);
        TranslateMessage(&MainMessage);
        DispatchMessageA(&MainMessage);
    }
    ExitProcess((UINT)MainMessage.wParam);
}
