#include "render/window_proc.h"

#include "render/pixel_format.h"

HGLRC GLContext;
HDC CurrentDC;
PAINTSTRUCT PaintInfo;
const GLfloat ClearColour[4] = {0.85f, 0.75f, 0.5f, 1.0f};

// Creates the rendering context with the window, clears to ClearColour on every paint, and ends the run when the window is destroyed.
LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_CREATE:
        CurrentDC = GetDC(hWnd);
        SetupPixelFormat(CurrentDC);
        GLContext = wglCreateContext(CurrentDC);
        // The context belongs to the window's pixel format, so it outlives this device context.
        ReleaseDC(hWnd, CurrentDC);
        break;
    case WM_PAINT:
        CurrentDC = BeginPaint(hWnd, &PaintInfo);
        wglMakeCurrent(CurrentDC, GLContext);
        glClearColor(ClearColour[0], ClearColour[1], ClearColour[2], ClearColour[3]);
        glClear(GL_COLOR_BUFFER_BIT);
        // The format is single-buffered: releasing the context is what brings the clear to the window.
        wglMakeCurrent(CurrentDC, NULL);
        EndPaint(hWnd, &PaintInfo);
        break;
    case WM_DESTROY:
        wglDeleteContext(GLContext);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}
