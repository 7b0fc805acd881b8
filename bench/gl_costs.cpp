// Times, inside one process, each step of the OpenGL path Ochrelight takes: the start-up before its first frame
// and the work of a repaint after a size change. This is where its figures part from the GDI floor's.

#include "clock.h"
#include "render/opengl.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Step {
    const char* name;
    std::vector<double> times;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main()
{
    Step create = {"CreateWindowExA (no rendering set-up)", {}}, load = {"LoadOpenGL (system opengl32.dll)", {}},
         choose = {"ChoosePixelFormat (driver start-up)", {}}, set = {"SetPixelFormat", {}},
         context = {"wglCreateContext", {}}, show = {"ShowWindow", {}}, current = {"wglMakeCurrent", {}},
         clear = {"glClearColor + glClear", {}}, flush = {"glFlush", {}}, release = {"wglMakeCurrent NULL", {}},
         gdi = {"GDI FillRect of the same area", {}};

    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "OchrelightCosts";
    RegisterClassA(&windowClass);
    double start = Now();
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "costs", WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS |
                                  WS_CLIPCHILDREN, 0, 0, 300, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    create.times.push_back(Now() - start);

    // The program's own loader: the same DLL, found the same way, bound the same way.
    start = Now();
    bool loaded = LoadOpenGL();
    load.times.push_back(Now() - start);
    if (!loaded) {
        std::printf("no OpenGL\n");
        return 1;
    }

    PIXELFORMATDESCRIPTOR request = {};
    request.nSize = sizeof request;
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    request.cColorBits = 16;
    request.cDepthBits = 32;
    HDC dc = GetDC(window);
    start = Now();
    int format = ChoosePixelFormat(dc, &request);
    choose.times.push_back(Now() - start);
    start = Now();
    SetPixelFormat(dc, format, &request);
    set.times.push_back(Now() - start);
    start = Now();
    HGLRC rc = OpenGL.wglCreateContext(dc);
    context.times.push_back(Now() - start);
    ReleaseDC(window, dc);
    start = Now();
    ShowWindow(window, SW_SHOWNORMAL);
    show.times.push_back(Now() - start);
    HBRUSH ochre = CreateSolidBrush(RGB(217, 191, 128));

    const int kPaints = 51;
    for (int paint = 0; paint < kPaints; ++paint) {
        if (paint > 0)
            SetWindowPos(window, nullptr, 0, 0, paint % 2 ? 500 : 300, paint % 2 ? 500 : 300,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        dc = GetDC(window);
        double t0 = Now();
        OpenGL.wglMakeCurrent(dc, rc);
        double t1 = Now();
        OpenGL.glClearColor(0.85f, 0.75f, 0.5f, 1.0f);
        OpenGL.glClear(GL_COLOR_BUFFER_BIT);
        double t2 = Now();
        OpenGL.glFlush();
        double t3 = Now();
        OpenGL.wglMakeCurrent(dc, nullptr);
        double t4 = Now();
        RECT client;
        GetClientRect(window, &client);
        FillRect(dc, &client, ochre);
        GdiFlush();
        double t5 = Now();
        ReleaseDC(window, dc);
        // The first paint is part of the start-up; the others each follow a size change.
        if (paint == 0)
            std::printf("first paint: wglMakeCurrent %.2f ms, clear %.2f ms, glFlush %.2f ms, release %.2f ms\n",
                        t1 - t0, t2 - t1, t3 - t2, t4 - t3);
        else {
            current.times.push_back(t1 - t0);
            clear.times.push_back(t2 - t1);
            flush.times.push_back(t3 - t2);
            release.times.push_back(t4 - t3);
            gdi.times.push_back(t5 - t4);
        }
    }

    std::printf("start-up, once:\n");
    for (const Step* step : {&create, &load, &choose, &set, &context, &show})
        std::printf("  %-40s %8.2f ms\n", step->name, step->times.front());
    std::printf("a repaint after a size change, median of %d:\n", kPaints - 1);
    for (const Step* step : {&current, &clear, &flush, &release, &gdi})
        std::printf("  %-40s %8.2f ms\n", step->name, Median(step->times));
    DestroyWindow(window);
    return 0;
}
