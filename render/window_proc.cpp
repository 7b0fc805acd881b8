#include "render/window_proc.h"

#include "render/opengl.h"
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
        // OpenGL must be in before a pixel format is chosen, or the platform would load it by bare name itself.
        // Without it the window has no format and no context, which every later message copes with.
        if (LoadOpenGL()) {
            CurrentDC = GetDC(hWnd);
            SetupPixelFormat(CurrentDC);
            GLContext = OpenGL.wglCreateContext(CurrentDC);
            // The context belongs to the window's pixel format, so it outlives this device context.
            ReleaseDC(hWnd, CurrentDC);
        }
        break;
    case WM_PAINT:
        // Beginning and ending the paint validates the window even when there is nothing to draw with.
        CurrentDC = BeginPaint(hWnd, &PaintInfo);
        if (OpenGL.wglMakeCurrent) {
            OpenGL.wglMakeCurrent(CurrentDC, GLContext);
            OpenGL.glClearColor(ClearColour[0], ClearColour[1], ClearColour[2], ClearColour[3]);
            OpenGL.glClear(GL_COLOR_BUFFER_BIT);
            // Single-buffered: some drivers show nothing of the clear until it is flushed.
            OpenGL.glFlush();
            OpenGL.wglMakeCurrent(CurrentDC, NULL);
        }
        EndPaint(hWnd, &PaintInfo);
        break;
    case WM_DESTROY:
        if (OpenGL.wglDeleteContext)
            OpenGL.wglDeleteContext(GLContext);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}
