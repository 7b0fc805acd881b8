// Drives the real Ochrelight.exe from outside, as any other program on the desktop could, and checks what it shows.
// Usage: driver OCHRELIGHT.EXE [SHOT-DIRECTORY] [SCENARIO...]
//        driver   (the verify kit: the everyday and load scenarios against the Ochrelight.exe beside it, on the
//                  desktop it runs on, its report also in verify-report.txt and its failed pixel checks' screens
//                  beside it)
//        driver --first-frame OCHRELIGHT.EXE SHOT-DIRECTORY   (opens, photographs and closes one window)
//        driver --load-opengl   (loads opengl32.dll by bare name: 0 when it loads, 1 when it does not)

#include "driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const DWORD kStyle = 0x06CF0000;
const DWORD kStateBits = WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE;

// The frame the platform gives a window of the program's style made with CW_USEDEFAULT on this desktop: one of the
// driver's own, never shown.
SIZE DefaultFrame()
{
    HWND window = CreateWindowExA(0, "STATIC", "", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, nullptr, nullptr);
    RECT frame = {};
    GetWindowRect(window, &frame);
    DestroyWindow(window);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

// The window's class has no such handle, where the probe showed that the platform reads it across processes.
void CheckClassLacks(HWND window, bool seen, int index, const char* name, const char* what)
{
    if (!seen)
        return Note("%s: not read across processes here (the probe above); the class record's unit test shows it%s", what,
                    index == GCLP_HBRBACKGROUND ? ", and the sessions without OpenGL show no brush on screen" : "");
    ULONG_PTR handle = GetClassLongPtrA(window, index);
    Check(handle == 0, "%s: GetClassLongPtrA(%s) reads 0x%lX", what, name, static_cast<unsigned long>(handle));
}

}  // namespace

void CheckOchre(HWND window, const char* what)
{
    POINT where = {};
    COLORREF seen = 0;
    if (WaitOchre(window) || ClientIsOchre(window, &where, &seen))
        CheckPixels(true, "%s: client area is ochre", what);
    else
        CheckPixels(false, "%s: client area is ochre, but %ld,%ld is %d,%d,%d; %s", what, where.x, where.y,
                    GetRValue(seen), GetGValue(seen), GetBValue(seen), OchreMissing().c_str());
}

namespace {

// Xlib's report of the first X error in the text, its error and its request on one line; "" where there is none.
std::string XError(const std::string& text)
{
    size_t at = text.find("X Error of failed request:");
    std::string report = at == std::string::npos ? "" : text.substr(at, text.find("  Serial number", at) - at);
    std::replace(report.begin(), report.end(), '\n', ' ');
    return report;
}

ULONGLONG SystemTime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FileTimeValue(now);
}

// Posts the message that closes the instance; CheckEndsWithZero then checks the close. Several closes may overlap:
// each is timed from its own message.
void PostClose(Instance& instance, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    instance.closePosted = Alive(instance) ? SystemTime() : 0;
    PostMessageA(instance.window, message, wParam, lParam);
}

// Checks that the instance ended with exit code 0, promptly after its close was posted.
void CheckEndsWithZero(Instance& instance, const char* how)
{
    // A process that never started was counted as a failure when it was started; one that had ended before its close
    // did not close.
    if (!instance.process.hProcess || (!instance.closePosted && Ended(instance, how)))
        return;
    DWORD code = ExitCodeWithin(instance, kPromptly);
    // Timed to the process's own end, which the platform records: after several closes at once, the driver looks at
    // each process only once it is done waiting for the ones before.
    FILETIME created, exited, kernel, user;
    ULONGLONG ended = SystemTime();
    if (code != STILL_ACTIVE && GetProcessTimes(instance.process.hProcess, &created, &exited, &kernel, &user) &&
        FileTimeValue(exited) >= instance.closePosted && FileTimeValue(exited) <= ended)
        ended = FileTimeValue(exited);
    DWORD took = static_cast<DWORD>((ended - instance.closePosted) / 10000);
    // Wine 8 gives 0 as the exit code of a process that Xlib ended over an X error.
    std::string error = XError(ErrorsSince(instance));
    Check(code == 0 && took < HangBound(kPromptly) && error.empty(), "%s: %s after %lu ms%s%s", how,
          Ending(code).c_str(), took, error.empty() ? "" : ", after ", error.c_str());
    Kill(instance);
}

}  // namespace

bool Ended(Instance& instance, const char* what)
{
    if (Alive(instance))
        return false;
    DWORD code = ExitCodeWithin(instance, 0);
    std::string error = XError(ErrorsSince(instance));
    const Reading& open = RequestReadings().open;
    // softpipe reads a single-buffered window back, which the X server refuses for one partly off the screen, where
    // Wine 10 may leave a window for a moment as it restores it: tests/README.md.
    if (code == 1 && WineVersion() && std::strstr(open.renderer, "softpipe") &&
        error.find("BadMatch") != std::string::npos && error.find("(X_GetImage)") != std::string::npos)
        Note("%s: ended by a known fault of the platform, not of Ochrelight, softpipe reading back a window partly off "
             "the screen: %s, exit code 1 (Wine %s, OpenGL %s)", what, error.c_str(), WineVersion(), open.version);
    else
        Check(false, "%s: the process ended before its close, with %s%s%s", what, Ending(code).c_str(),
              error.empty() ? "" : " after ", error.c_str());
    Kill(instance);
    return true;
}

void CheckClosesWithZero(Instance& instance, const char* how, UINT message, WPARAM wParam, LPARAM lParam)
{
    PostClose(instance, message, wParam, lParam);
    CheckEndsWithZero(instance, how);
}

namespace {

// The platform's own version API reads the executable's version resource, as Explorer does.
void VersionInfo()
{
    DWORD unused = 0, size = GetFileVersionInfoSizeA(OchrelightPath, &unused);
    std::string data(size, '\0');
    if (!Check(size && GetFileVersionInfoA(OchrelightPath, 0, size, &data[0]), "version resource read (%lu bytes)",
               size))
        return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    unsigned major = 0, minor = 0, patch = 0;
    std::sscanf(OCHRELIGHT_VERSION, "%u.%u.%u", &major, &minor, &patch);
    bool numbers = VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) &&
                   length >= sizeof *fixed && fixed->dwFileVersionMS == (major << 16 | minor) &&
                   fixed->dwFileVersionLS == patch << 16 && fixed->dwProductVersionMS == fixed->dwFileVersionMS;
    Check(numbers, "version %u.%u.%u.0 in numbers", major, minor, patch);
    const char* const strings[][2] = {
        {"FileDescription", "Ochrelight"},     {"ProductName", "Ochrelight"},
        {"CompanyName", OCHRELIGHT_AUTHORS},    {"LegalCopyright", OCHRELIGHT_COPYRIGHT},
        {"OriginalFilename", "Ochrelight.exe"}, {"FileVersion", OCHRELIGHT_VERSION},
        {"ProductVersion", OCHRELIGHT_VERSION},
    };
    for (const auto& string : strings) {
        const char* value = nullptr;
        std::string key = std::string("\\StringFileInfo\\040904B0\\") + string[0];
        VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(const_cast<char**>(&value)), &length);
        Check(value && std::strcmp(value, string[1]) == 0, "version %s \"%s\"", string[0], value ? value : "(none)");
    }
}

void Identity()
{
    VersionInfo();
    const Sight& sight = ProbeSight();
    SIZE expected = DefaultFrame();
    Instance instance = Launch();
    if (!Opened(instance, "default launch"))
        return;
    HWND window = instance.window;
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    Check(std::strcmp(title, "Ochrelight") == 0, "title \"%s\"", title);
    DWORD classStyle = GetClassLongA(window, GCL_STYLE);
    Check(classStyle == (CS_HREDRAW | CS_VREDRAW), "class style 0x%lX", classStyle);
    CheckClassLacks(window, sight.classBrush, GCLP_HBRBACKGROUND, "GCLP_HBRBACKGROUND", "no class background brush");
    CheckClassLacks(window, sight.classIcon, GCLP_HICON, "GCLP_HICON", "no class icon");
    if (!sight.cursor)
        Note("the arrow cursor: not read across processes here (the probe above); the class record's unit test shows it");
    else
        Check(CursorOver(window) == LoadCursorA(nullptr, IDC_ARROW), "the arrow cursor over the client area");
    DWORD style = GetWindowLongA(window, GWL_STYLE);
    Check((style & ~kStateBits) == kStyle, "window style 0x%08lX", style);
    DWORD exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    Check((exStyle & ~WS_EX_WINDOWEDGE) == 0, "extended style 0x%08lX (the platform adds only the edge)", exStyle);
    Check(GetParent(window) == nullptr && GetAncestor(window, GA_ROOT) == window, "top level, no parent");
    Check(GetMenu(window) == nullptr, "no menu");
    RECT frame;
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    Check(width == expected.cx && height == expected.cy && frame.left >= 0 && frame.top >= 0 &&
              frame.right <= GetSystemMetrics(SM_CXSCREEN) && frame.bottom <= GetSystemMetrics(SM_CYSCREEN),
          "default frame %ld,%ld %dx%d lies on the screen, the size of a window made with CW_USEDEFAULT here (%ldx%ld)",
          frame.left, frame.top, width, height, expected.cx, expected.cy);
    Check(IsWindowVisible(window) && !IsIconic(window) && !IsZoomed(window), "no show state given: shown normal");
    CheckOchre(window, "first frame");
    int windows = VisibleWindowsOf(instance.process.dwProcessId);
    Check(windows == 1, "the process shows one top-level window: %d", windows);
    // A harness session keeps one screenshot, which a test reads with another PNG decoder.
    if (ShotDirectory && !Kit)
        SaveScreen("first-frame");
    CheckClosesWithZero(instance, "WM_CLOSE", WM_CLOSE);
}

void ShowStates()
{
    struct State {
        int show;
        const char* name;
        bool visible, iconic, zoomed;
    };
    const State states[] = {
        {SW_HIDE, "SW_HIDE", false, false, false},
        {SW_SHOWNORMAL, "SW_SHOWNORMAL", true, false, false},
        {SW_SHOWMINIMIZED, "SW_SHOWMINIMIZED", true, true, false},
        {SW_SHOWMAXIMIZED, "SW_SHOWMAXIMIZED", true, false, true},
        {SW_SHOWMINNOACTIVE, "SW_SHOWMINNOACTIVE", true, true, false},
        {SW_SHOWNOACTIVATE, "SW_SHOWNOACTIVATE", true, false, false},
    };
    for (const State& state : states) {
        Instance instance = Launch("", state.show);
        if (!Opened(instance, state.name))
            continue;
        HWND window = instance.window;
        bool visible = IsWindowVisible(window) != 0, iconic = IsIconic(window) != 0, zoomed = IsZoomed(window) != 0;
        Check(visible == state.visible && iconic == state.iconic && zoomed == state.zoomed,
              "%s: visible %d, minimised %d, maximised %d", state.name, visible, iconic, zoomed);
        int windows = VisibleWindowsOf(instance.process.dwProcessId);
        Check(windows == state.visible, "%s: the process shows %d top-level window(s)", state.name, windows);
        // A minimised window is not mapped, so no window manager gives it the focus.
        if (state.show == SW_SHOWNOACTIVATE && SessionDesktop == Desktop::Managed)
            Note("%s: the window manager decides what a newly mapped window's focus is; checked instead "
                             "that it is shown as asked, paints ochre and closes with 0", state.name);
        else if (state.show == SW_SHOWMINNOACTIVE || state.show == SW_SHOWNOACTIVATE)
            Check(GetForegroundWindow() != window, "%s: not activated", state.name);
        if (state.zoomed && SessionDesktop == Desktop::BareX) {
            // Windows' state says maximised, but with no window manager nothing resizes the X window.
            Note("%s: with no window manager nothing maximises the X window; checked instead that the "
                             "window is restored through the system menu command, paints ochre and closes with 0",
                             state.name);
            SystemCommand(window, SC_RESTORE);
            Check(!IsZoomed(window), "%s: restored", state.name);
        } else if (state.zoomed) {
            RECT client, work;
            GetClientRect(window, &client);
            SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
            Check(client.right >= (work.right - work.left) * 9 / 10, "%s: client %ldx%ld fills the work area",
                  state.name, client.right, client.bottom);
        }
        if (state.visible && !state.iconic)
            CheckOchre(window, state.name);
        CheckClosesWithZero(instance, state.name, WM_CLOSE);
    }
}

void Resize()
{
    Instance instance = Launch();
    if (!Opened(instance, "before resizing"))
        return;
    HWND window = instance.window;
    CheckOchre(window, "before resizing");
    struct Size {
        const char* name;
        int width, height;
    } sizes[] = {{"wider", 900, 400}, {"narrower", 300, 400}, {"taller", 300, 700}, {"shorter", 300, 200},
                 {"larger both ways", 1000, 740}, {"smaller both ways", 160, 120}};
    // The platform keeps a frame at least as large as its caption's buttons need, which grow with the DPI.
    int smallestWidth = GetSystemMetrics(SM_CXMINTRACK), smallestHeight = GetSystemMetrics(SM_CYMINTRACK);
    for (const Size& size : sizes) {
        int width = std::max(size.width, smallestWidth), height = std::max(size.height, smallestHeight);
        if (width != size.width || height != size.height)
            Note("%s: %dx%d is below this desktop's smallest frame, %dx%d; checked instead that the frame is that",
                 size.name, size.width, size.height, width, height);
        SetWindowPos(window, nullptr, 10, 10, size.width, size.height, SWP_NOZORDER | SWP_NOACTIVATE);
        RECT frame;
        GetWindowRect(window, &frame);
        Check(frame.right - frame.left == width && frame.bottom - frame.top == height, "%s: frame %ldx%ld",
              size.name, frame.right - frame.left, frame.bottom - frame.top);
        CheckOchre(window, size.name);
    }
    CheckClosesWithZero(instance, "after resizing", WM_CLOSE);
}

void Cover()
{
    Instance instance = Launch();
    if (!Opened(instance, "before covering"))
        return;
    HWND window = instance.window;
    CheckOchre(window, "before covering");
    RECT client;
    GetClientRect(window, &client);
    POINT corner = {client.right / 4, client.bottom / 4};
    ClientToScreen(window, &corner);

    WNDCLASSA cover = {};
    cover.lpfnWndProc = DefWindowProcA;
    cover.hInstance = GetModuleHandleA(nullptr);
    cover.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    cover.lpszClassName = "OchrelightDriverCover";
    RegisterClassA(&cover);
    HWND blind = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, cover.lpszClassName, "", WS_POPUP | WS_VISIBLE,
                                 corner.x, corner.y, client.right / 2, client.bottom / 2, nullptr, nullptr,
                                 cover.hInstance, nullptr);
    int middleX = client.right / 2, middleY = client.bottom / 2;
    bool covered = WaitFor([&] { return ClientPixel(window, middleX, middleY) == RGB(0, 0, 0); }, 3000);
    CheckPixels(covered, "the covering window shows black over the client area");
    DestroyWindow(blind);
    CheckOchre(window, "uncovered");

    SystemCommand(window, SC_MINIMIZE);
    Check(WaitFor([&] { return IsIconic(window) != 0; }, 3000), "minimised through the system menu command");
    SystemCommand(window, SC_RESTORE);
    Check(WaitFor([&] { return !IsIconic(window); }, 3000), "restored through the system menu command");
    CheckOchre(window, "restored");
    CheckClosesWithZero(instance, "after covering", WM_CLOSE);
}

void Arguments()
{
    const char* tails[] = {"--help", "/x C:\\nowhere\\file.txt -- \"quoted argument\"", "%s%n%x"};
    for (const char* tail : tails) {
        Instance instance = Launch(tail);
        if (!Opened(instance, tail))
            continue;
        HWND window = instance.window;
        DWORD style = GetWindowLongA(window, GWL_STYLE);
        Check((style & ~kStateBits) == kStyle && IsWindowVisible(window), "[%s]: style 0x%08lX, visible", tail,
              style);
        CheckOchre(window, tail);
        CheckClosesWithZero(instance, tail, WM_CLOSE);
    }
}

void Closing()
{
    struct Close {
        const char* how;
        int show;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } const closes[] = {
        {"system menu close", -1, WM_SYSCOMMAND, SC_CLOSE, 0},
        // Alt+F4 as the keyboard delivers it: through the loop's translation into the default key handling.
        {"Alt+F4", -1, WM_SYSKEYDOWN, VK_F4, 0x203E0001},
        {"close while minimised", SW_SHOWMINIMIZED, WM_SYSCOMMAND, SC_CLOSE, 0},
        {"close while maximised", SW_SHOWMAXIMIZED, WM_CLOSE, 0, 0},
    };
    const int kCount = sizeof closes / sizeof closes[0];
    Instance instances[kCount];
    for (int i = 0; i < kCount; ++i)
        instances[i] = Launch("", closes[i].show);
    Check(IsIconic(instances[2].window), "started minimised");
    Check(IsZoomed(instances[3].window), "started maximised");
    // Each window closes in its own process: all at once, as a user may close several.
    for (int i = 0; i < kCount; ++i)
        PostClose(instances[i], closes[i].message, closes[i].wParam, closes[i].lParam);
    for (int i = 0; i < kCount; ++i)
        CheckEndsWithZero(instances[i], closes[i].how);
}

void SideBySide()
{
    const int kCount = 3;
    Instance instances[kCount];
    for (Instance& instance : instances)
        instance = Launch();
    for (int i = 0; i < kCount; ++i) {
        HWND window = instances[i].window;
        if (Check(window != nullptr, "instance %d: window found", i + 1))
            SetWindowPos(window, HWND_TOP, 20 + 320 * i, 40, 300, 300, SWP_NOACTIVATE);
    }
    for (int i = 0; i < kCount; ++i)
        if (instances[i].window)
            CheckOchre(instances[i].window, "instance side by side");
    for (Instance& instance : instances)
        PostClose(instance, WM_CLOSE);
    for (Instance& instance : instances)
        CheckEndsWithZero(instance, "instance closed");
}

void Idle()
{
    Instance instance = Launch();
    if (!Opened(instance, "before idling"))
        return;
    WaitOchre(instance.window);
    CheckCpuAtMost(instance, 2000, 200, "idling");
    CheckClosesWithZero(instance, "after idling", WM_CLOSE);
}

// The session is the one asked for: the screen's depth and DPI and Mesa's OpenGL driver, as the platform reports
// them; and the program sees the desktop's DPI, as a per-monitor aware program does.
void Setting()
{
    // What can be read of another process is proven here, before any scenario relies on it.
    ProbeSight();
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL), dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (Kit) {
        Note("the screen's depth and DPI and the OpenGL driver are this desktop's own: shown above, not checked");
    } else {
        int depth = IntegerVariable("OCHRELIGHT_SCREEN_DEPTH", 24), asked = IntegerVariable("OCHRELIGHT_DPI", 96);
        // Wine reports a 24-bit X screen as 32 bits a pixel, the layout it has in memory.
        Check(bits == (depth == 24 ? 32 : depth), "a %d-bit screen: %d bits a pixel", depth, bits);
        Check(dpi == asked, "a %d-DPI desktop: the screen has %d DPI", asked, dpi);
        const Reading& open = RequestReadings().open;
        Check(open.context && std::strstr(open.renderer, SessionGLDriver), "OpenGL renders with %s: %s",
              SessionGLDriver, open.context ? ("\"" + std::string(open.renderer) + "\"").c_str() : open.why);
        // Read, not checked: the lines the kit's header shows, for comparing a report from Windows with this run.
        for (const auto& line : ReadingLines())
            Note("%s: %s", line.first.c_str(), line.second.c_str());
    }
    auto dpiForWindow = Export<UINT(WINAPI*)(HWND)>(GetModuleHandleA("user32.dll"), "GetDpiForWindow");
    if (!dpiForWindow)
        return Note("this Windows has no GetDpiForWindow (it came with Windows 10 1607): the program's DPI is not read");
    if (GetSystemMetrics(SM_CMONITORS) > 1)
        return Note("several monitors, whose DPIs may differ: the program's DPI is not checked against the screen's");
    Instance instance = Launch();
    if (!Opened(instance, "reading its DPI"))
        return;
    UINT seen = dpiForWindow(instance.window);
    Check(seen == static_cast<UINT>(dpi), "the program's window has %u DPI, the desktop's (%d)", seen, dpi);
    CheckClosesWithZero(instance, "after reading its DPI", WM_CLOSE);
}

// The harness itself: a program under test that crashes is reported at once, with the exception that ended it.
void Crash()
{
    if (Kit)
        return Note("a desktop of the user's own may hold a crashing program for its debugger or error report: not run");
    char name[64];
    std::snprintf(name, sizeof name, "OchrelightCrashing-%lu", GetCurrentProcessId());
    HANDLE crashing = CreateEventA(nullptr, TRUE, FALSE, name);
    Instance crasher = Start((std::string("--crash ") + name).c_str(), -1, DriverPath());
    // Timed from the helper's word that it crashes now: the start of a process is no part of it.
    bool said = WaitForSingleObject(crashing, HangBound(kPromptly)) == WAIT_OBJECT_0;
    DWORD start = GetTickCount();
    DWORD code = said ? ExitCodeWithin(crasher, kPromptly) : STILL_ACTIVE;
    DWORD took = GetTickCount() - start;
    Check(said && code == 0xC0000005 && took <= HangBound(1000),
          "a program that crashes is seen to end with %s, %lu ms after the crash",
          code == STILL_ACTIVE ? "nothing yet" : Ending(code).c_str(), took);
    Kill(crasher);
    CloseHandle(crashing);
}

struct {
    const char* name;
    void (*run)();
} const kScenarios[] = {
    {"setting", Setting},   {"identity", Identity}, {"show-states", ShowStates}, {"resize", Resize},       {"cover", Cover},
    {"arguments", Arguments}, {"closing", Closing},     {"side-by-side", SideBySide}, {"idle", Idle},
    {"planting", Planting},   {"no-opengl", NoOpenGL},   {"storm", Storm},             {"flood", Flood},
    {"close-in-storm", CloseInStorm}, {"sixteen", Sixteen}, {"no-gl-display", NoOpenGL},
    {"crash", Crash},
};

// Run only when named, in a session set up for them.
const char* const kOnDemand[] = {"planting", "no-opengl", "no-gl-display"};

bool Selected(const char* name, int argc, char** argv)
{
    auto same = [name](const char* other) { return std::strcmp(name, other) == 0; };
    if (argc <= 3)
        return std::none_of(std::begin(kOnDemand), std::end(kOnDemand), same);
    return std::any_of(argv + 3, argv + argc, same);
}

// Opens one window, saves the screen once it is painted, closes it and gives Ochrelight's exit code.
int FirstFrame()
{
    Instance instance = Launch();
    bool painted = instance.window && WaitOchre(instance.window, 10000);
    SaveScreen("ochrelight");
    std::printf(painted ? "first frame painted\n" : "no ochre frame within %lu s\n", HangBound(10000) / 1000);
    if (!instance.window)
        return 1;
    DWORD code = CloseWith(instance, WM_CLOSE, 0, 0);
    std::printf("Ochrelight exited with code %lu\n", code);
    return painted ? static_cast<int>(code) : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    // Every line out at once, so that a run that ends abruptly still shows how far it got.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 3 && std::strcmp(argv[1], "--probe-helper") == 0)
        return ProbeHelper(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--read-request") == 0)
        return ReadRequest(argv[2], std::strcmp(argv[3], "restricted") == 0);
    if (argc == 2 && std::strcmp(argv[1], "--load-opengl") == 0)
        return LoadLibraryA("opengl32.dll") ? 0 : 1;
    if (argc == 3 && std::strcmp(argv[1], "--crash") == 0) {
        SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]));
        int* volatile nowhere = nullptr;
        return *nowhere;
    }
    if (argc == 4 && std::strcmp(argv[1], "--first-frame") == 0) {
        OchrelightPath = WindowsPath(argv[2]);
        ShotDirectory = WindowsPath(argv[3]);
        return FirstFrame();
    }
    BeDpiAware();
    if (argc == 1)
        return Verify();
    if (argc == 2 && std::strcmp(argv[1], "--kit") == 0) {
        Kit = true;
        OchrelightPath = BesideDriver("Ochrelight.exe");
        ShotDirectory = BesideDriver("");
        PrintEnvironment();
        argc = 1;
    } else {
        OchrelightPath = WindowsPath(argv[1]);
        ShotDirectory = argc > 2 ? WindowsPath(argv[2]) : nullptr;
    }
    ReadSession();
    if (HangBound(1) > 1)
        std::printf("hang bounds widened %lu times (OCHRELIGHT_HANG_FACTOR)\n", HangBound(1));
    for (const auto& scenario : kScenarios) {
        if (!Selected(scenario.name, argc, argv))
            continue;
        Scenario = scenario.name;
        DWORD start = GetTickCount();
        int failedBefore = Failed, passedBefore = Passed, skippedBefore = Skipped;
        scenario.run();
        int passed = Passed - passedBefore, failed = Failed - failedBefore, skipped = Skipped - skippedBefore;
        std::printf("scenario %s: %d passed, %d failed, %d skipped, %lu ms%s\n", scenario.name, passed, failed,
                    skipped, GetTickCount() - start, passed + failed == 0 && skipped ? ": every check a note" : "");
    }
    std::printf("%d passed, %d failed, %d skipped%s\n", Passed, Failed, Skipped, SummaryCause().c_str());
    return Failed == 0 && Passed > 0 ? 0 : 1;
}
