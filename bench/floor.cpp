// The floor the benchmark measures Ochrelight against: the same class and window, painted by GDI alone.
// Its cost is what the platform takes to open and paint a window, with no OpenGL at all.

#include <windows.h>

static HBRUSH Ochre;
static PAINTSTRUCT FloorPaint;
static MSG FloorMessage;
static WNDCLASSA FloorClass;

// Fills whatever needs painting with the same ochre the OpenGL clear shows on a 24-bit screen.
static LRESULT CALLBACK FloorProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_PAINT:
        FillRect(BeginPaint(hWnd, &FloorPaint), &FloorPaint.rcPaint, Ochre);
        EndPaint(hWnd, &FloorPaint);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// Opens the window as Ochrelight does and runs its loop.
extern "C" void EntryPoint(void)
{
    Ochre = CreateSolidBrush(RGB(217, 191, 128));
    FloorClass.style = CS_HREDRAW | CS_VREDRAW;
    FloorClass.lpfnWndProc = FloorProc;
    FloorClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    FloorClass.lpszClassName = "Ochrelight";
    RegisterClassA(&FloorClass);
    HWND hWnd = CreateWindowExA(0, "Ochrelight", "Ochrelight", WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    ShowWindow(hWnd, (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT);
    UpdateWindow(hWnd);
    while (GetMessageA(&FloorMessage, NULL, 0, 0) > 0) {
        TranslateMessage(&FloorMessage);
        DispatchMessageA(&FloorMessage);
    }
    ExitProcess((UINT)FloorMessage.wParam);
}
