// Scenarios of a hostile or missing OpenGL: a planted opengl32.dll, OpenGL switched off, a display without it.
// Each needs its session set up for it (Wine reads its DLL overrides only from the session's environment):
//   planting       WINEDLLOVERRIDES=opengl32=n,b  native before builtin, the order Windows itself loads in
//   no-opengl      WINEDLLOVERRIDES=opengl32=d    opengl32 switched off
//   no-gl-display  an X server without GLX

#include "driver.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const DWORD kPlantedExitCode = 0x00BADD11;

// The session's own proof that a planted DLL would be loaded: the driver, copied beside it and started in the other
// planted folder, loads opengl32.dll by bare name, and the marker ends it with its code. Without that proof Ochrelight
// painting ochre would show nothing, as it does too where the session's override leaves Wine's own DLL first.
bool PlantingTakes(const std::string& loader, const std::string& directory)
{
    Instance probe = Start("--load-opengl", -1, loader.c_str(), directory.c_str());
    DWORD code = ExitCodeWithin(probe, kPromptly);
    Kill(probe);
    if (code == kPlantedExitCode)
        return Check(true, "the planting takes: a program beside it that loads opengl32.dll by bare name gets it");
    return Check(false, "the planting did not take: a program beside the planted opengl32.dll that loads it by bare "
                        "name got another one (%s)", code == STILL_ACTIVE ? "it did not end" : Ending(code).c_str());
}

}  // namespace

void Planting()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string root = std::string(temp) + "ochrelight-planting-" + std::to_string(GetCurrentProcessId());
    std::string app = root + "\\app", cwd = root + "\\cwd";
    // The build puts the planted DLL in marker\ beside the driver.
    std::string exe = app + "\\Ochrelight.exe", loader = app + "\\loader.exe";
    std::string marker = BesideDriver("marker\\opengl32.dll");
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA(app.c_str(), nullptr);
    CreateDirectoryA(cwd.c_str(), nullptr);
    bool planted = CopyFileA(OchrelightPath, exe.c_str(), FALSE) && CopyFileA(DriverPath(), loader.c_str(), FALSE) &&
                   CopyFileA(marker.c_str(), (app + "\\opengl32.dll").c_str(), FALSE) &&
                   CopyFileA(marker.c_str(), (cwd + "\\opengl32.dll").c_str(), FALSE);
    if (Check(planted, "opengl32.dll planted beside the executable and in the working directory") &&
        PlantingTakes(loader, cwd)) {
        Instance instance = Launch("", -1, exe.c_str(), cwd.c_str());
        if (Check(instance.window != nullptr, "window opens")) {
            CheckOchre(instance.window, "with the system's OpenGL");
            CheckClosesWithZero(instance, "planted DLL never loaded", WM_CLOSE);
        } else {
            DWORD code = ExitCodeWithin(instance, 5000);
            Check(false, "the process ended with 0x%lX%s", code,
                  code == kPlantedExitCode ? ": it loaded the planted opengl32.dll" : "");
            Kill(instance);
        }
    }
    for (const std::string& file : {cwd + "\\opengl32.dll", app + "\\opengl32.dll", exe, loader})
        DeleteFileA(file.c_str());
    for (const std::string& folder : {cwd, app, root})
        RemoveDirectoryA(folder.c_str());
}

// Without OpenGL the window opens and answers, paints nothing, does not spin on WM_PAINT, and closes with 0. The
// session first shows that it has no OpenGL: a window of the driver's own gets no context either.
void NoOpenGL()
{
    const char* what = std::strcmp(Scenario, "no-opengl") == 0 ? "opengl32 switched off" : "display without GLX";
    Instance instance = Launch();
    const Reading& open = RequestReadings().open;
    if (open.context)
        Check(false, "%s: the session still has OpenGL: a window of the driver's own renders with \"%s\"", what,
              open.renderer);
    else
        Check(true, "%s: the session has no OpenGL: a window of the driver's own gets no context (%s), and a check "
                    "missing ochre would name the %s", what, open.why, CauseOfMissingOchre().c_str());
    HWND window = instance.window;
    if (!Check(window != nullptr && IsWindowVisible(window), "%s: window opens", what))
        return Kill(instance);
    POINT where = {};
    auto notOchre = [](COLORREF colour) { return !IsOchre(colour); };
    bool painted = WaitFor([&] { return !ClientIs(window, notOchre, &where); }, 1000);
    if (painted)
        CheckPixels(false, "%s: nothing is painted, but %ld,%ld turned ochre", what, where.x, where.y);
    else
        CheckPixels(true, "%s: nothing is painted: no sampled point turned ochre in %lu ms", what, HangBound(1000));
    // Nothing paints over an erase here, so a class background brush would show: Wine makes a window's bits black.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    COLORREF seen = 0;
    bool black = ClientIs(window, [](COLORREF colour) { return colour == RGB(0, 0, 0); }, &where, &seen);
    const char* brush = "%s: no class background brush: after an erase the client area is black, as Wine made it";
    if (black)
        CheckPixels(true, brush, what);
    else
        CheckPixels(false, (brush + std::string(", but %ld,%ld is %d,%d,%d")).c_str(), what, where.x, where.y,
                    GetRValue(seen), GetGValue(seen), GetBValue(seen));
    std::string paints = std::string(what) + ": paints validate the window, no endless WM_PAINT";
    CheckCpuAtMost(instance, 1000, 100, paints.c_str());
    SetWindowPos(window, nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Check(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, HangBound(2000), nullptr) != 0,
          "%s: answers messages after a resize", what);
    CheckClosesWithZero(instance, what, WM_CLOSE);
}
