#include "driver.h"

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const char* OchrelightPath;
const char* ShotDirectory;
const char* Scenario = "";
int Passed;
int Failed;
int Skipped;
Desktop SessionDesktop = Desktop::Virtual;
char SessionGLDriver[32] = "llvmpipe";

namespace {

// A process's top-level windows: the first of the class, and how many are visible.
struct Search {
    DWORD processId;
    const char* className;
    HWND window;
    int visible;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    Search* search = reinterpret_cast<Search*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char className[32];
    if (processId != search->processId)
        return TRUE;
    search->visible += IsWindowVisible(window) != 0;
    if (!search->window && GetClassNameA(window, className, sizeof className) &&
        lstrcmpA(className, search->className) == 0)
        search->window = window;
    return TRUE;
}

// A channel of `bits` bits reads as the exact value: within half a step, the rounding alone, where the screen keeps 8
// bits a channel; within one step more where it keeps fewer, as a 16-bit format's dithering may take one.
bool Near(int seen, double exact, int bits)
{
    double step = 255.0 / ((1 << bits) - 1);
    return std::fabs(seen - exact) <= (bits >= 8 ? 0.5 : step + 0.5);
}

}  // namespace

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got = 0;
    while (text.size() < 16 << 20 && ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::string ErrorsSince(const Instance& instance)
{
    std::string errors = ShotDirectory ? ReadWholeFile(std::string(ShotDirectory) + "\\stderr.log") : "";
    return errors.substr(std::min(instance.errorsFrom, errors.size()));
}

HWND FindWindowOf(DWORD processId, const char* className)
{
    Search search = {processId, className, nullptr, 0};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.window;
}

int VisibleWindowsOf(DWORD processId)
{
    Search search = {processId, "", nullptr, 0};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.visible;
}

bool IsOchre(COLORREF colour)
{
    static int bits = 0;
    if (!bits) {
        HDC screen = GetDC(nullptr);
        bits = GetDeviceCaps(screen, BITSPIXEL);
        ReleaseDC(nullptr, screen);
    }
    // A 16-bit screen keeps 5 bits of red and blue and 6 of green.
    int redBlue = bits >= 24 ? 8 : 5, green = bits >= 24 ? 8 : 6;
    return Near(GetRValue(colour), kOchre[0] * 255, redBlue) && Near(GetGValue(colour), kOchre[1] * 255, green) &&
           Near(GetBValue(colour), kOchre[2] * 255, redBlue);
}

void SaveScreen(const char* name)
{
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    // The platform's own PNG encoder, GDI+'s, in every Windows since XP and in Wine.
    static const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    std::string path = std::string(ShotDirectory) + "\\" + name + ".png";
    wchar_t widePath[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GpBitmap* image = nullptr;
    bool saved = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok &&
                 Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok &&
                 Gdiplus::DllExports::GdipSaveImageToFile(image, widePath, &kPngEncoder, nullptr) == Gdiplus::Ok;
    if (image)
        Gdiplus::DllExports::GdipDisposeImage(image);
    if (token)
        Gdiplus::GdiplusShutdown(token);
    std::printf("    screen %s: %s\n", saved ? "saved" : "could not be saved", path.c_str());
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

bool Record(bool ok, bool pixels, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::printf("%s %s: %s\n", ok ? "ok  " : "FAIL", Scenario, text);
    ++(ok ? Passed : Failed);
    if (!ok && pixels && ShotDirectory)
        SaveScreen(("failure-" + std::string(Scenario) + "-" + std::to_string(Failed)).c_str());
    return ok;
}

Instance Start(const char* tail, int show, const char* exe, const char* directory)
{
    Instance instance = {};
    instance.errorsFrom = ErrorsSince(instance).size();
    if (!exe)
        exe = OchrelightPath;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (show >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(show);
    }
    std::string commandLine = std::string("\"") + exe + "\"" + (*tail ? " " : "") + tail;
    instance.arguments = std::string(exe) + (*tail ? " " : "") + tail;
    auto create = [&] {
        return CreateProcessA(exe, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                              &instance.process);
    };
    BOOL created = create();
    // Wine answers ERROR_INTERNAL_ERROR when the new process ended in Wine's own start-up, before the image or any
    // DLL it imports ran: once in thousands of starts on a loaded machine. A second such answer is a failure.
    if (!created && GetLastError() == ERROR_INTERNAL_ERROR) {
        Note("CreateProcessA(%s) failed with error %lu, the new process ending before any of its code ran; "
             "starting it once more", exe, GetLastError());
        created = create();
    }
    if (!created)
        Check(false, "CreateProcessA(%s) failed with error %lu", exe, GetLastError());
    return instance;
}

void Attach(Instance& instance)
{
    if (!instance.process.hProcess)
        return;
    WaitForInputIdle(instance.process.hProcess, HangBound(kPromptly));
    WaitFor([&] { return (instance.window = FindWindowOf(instance.process.dwProcessId)) != nullptr ||
                         !Alive(instance); },
            kPromptly);
    // The window is found from the middle of CreateWindowExA on, before it is shown; and Wine's WaitForInputIdle
    // may return before the program has a message queue. A sent message is answered only once the program's
    // thread takes messages, by which time it has shown and updated its window.
    instance.answers = instance.window &&
                       SendMessageTimeoutA(instance.window, WM_NULL, 0, 0, SMTO_NORMAL, HangBound(kPromptly), nullptr);
}

Instance Launch(const char* tail, int show, const char* exe, const char* directory)
{
    Instance instance = Start(tail, show, exe, directory);
    Attach(instance);
    return instance;
}

bool Opened(Instance& instance, const char* what)
{
    if (instance.window && instance.answers)
        return Check(true, "%s: window of class \"Ochrelight\" found for the process, answering messages", what);
    DWORD code = ExitCodeWithin(instance, 0);
    Check(false, "%s: window of class \"Ochrelight\" found for the process, but %s", what,
          instance.window        ? "WM_NULL not answered"
          : code == STILL_ACTIVE ? "none opened"
                                 : ("the process ended with " + Ending(code)).c_str());
    Kill(instance);
    return false;
}

std::string Ending(DWORD code)
{
    // An unhandled exception ends a process with the exception's own code, an NTSTATUS of severity error.
    static const struct {
        DWORD code;
        const char* name;
    } kExceptions[] = {
        {0xC0000005, "access violation"},        {0xC000001D, "illegal instruction"},
        {0xC0000094, "integer division by zero"}, {0xC00000FD, "stack overflow"},
        {0xC000008E, "float division by zero"},   {0xC0000090, "invalid float operation"},
        {0xC0000409, "stack buffer overrun"},     {0xC0000374, "heap corruption"},
        {0x80000003, "breakpoint"},
    };
    if (code < 0x80000000)
        return "exit code " + std::to_string(code);
    const char* name = "unknown exception";
    for (const auto& exception : kExceptions)
        if (exception.code == code)
            name = exception.name;
    char text[96];
    std::snprintf(text, sizeof text, "exception 0x%08lX (%s)", code, name);
    return text;
}

DWORD ExitCodeWithin(const Instance& instance, DWORD milliseconds)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(instance.process.hProcess, HangBound(milliseconds)) == WAIT_OBJECT_0)
        GetExitCodeProcess(instance.process.hProcess, &code);
    return code;
}

bool Alive(const Instance& instance)
{
    return instance.process.hProcess && WaitForSingleObject(instance.process.hProcess, 0) == WAIT_TIMEOUT;
}

void ReadSession()
{
    char driver[sizeof SessionGLDriver] = "";
    DWORD length = GetEnvironmentVariableA("OCHRELIGHT_GL_DRIVER", driver, sizeof driver);
    if (length > 0 && length < sizeof driver)
        std::strcpy(SessionGLDriver, driver);
    char name[32] = "";
    GetEnvironmentVariableA("OCHRELIGHT_DESKTOP", name, sizeof name);
    if (std::strcmp(name, "openbox") == 0)
        SessionDesktop = Desktop::Managed;
    else if (std::strcmp(name, "bare-x") == 0)
        SessionDesktop = Desktop::BareX;
    std::printf("desktop: %s\n", *name ? name : "virtual-desktop");
}

void Note(const char* format, ...)
{
    ++Skipped;
    va_list args;
    va_start(args, format);
    std::printf("note %s: ", Scenario);
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
}

void SystemCommand(HWND window, WPARAM command)
{
    RECT client;
    GetClientRect(window, &client);
    POINT centre = {client.right / 2, client.bottom / 2};
    ClientToScreen(window, &centre);
    // Not abandoned as hung: in the emulated guest a busy program may not look at its queue for seconds, and a
    // command dropped then would leave the window in the state before it; the hang bound still ends the wait.
    SendMessageTimeoutA(window, WM_SYSCOMMAND, command, 0, SMTO_NORMAL, HangBound(2000), nullptr);
    if (SessionDesktop != Desktop::Managed)
        return;
    if (command == SC_MINIMIZE) {
        HDC screen = GetDC(nullptr);
        WaitFor([&] { return !IsOchre(GetPixel(screen, centre.x, centre.y)); }, 3000);
        ReleaseDC(nullptr, screen);
    } else {
        WaitOchre(window, 3000);
    }
}

int IntegerVariable(const char* name, int unset)
{
    char text[16] = "";
    GetEnvironmentVariableA(name, text, sizeof text);
    return *text ? std::atoi(text) : unset;
}

ULONGLONG FileTimeValue(const FILETIME& time)
{
    return ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart;
}

const char* WineVersion()
{
    auto version = Export<const char*(CDECL*)()>(GetModuleHandleA("ntdll.dll"), "wine_get_version");
    return version ? version() : nullptr;
}

DWORD HangBound(DWORD milliseconds)
{
    // Past a few dozen times a hang no longer looks different from slowness; nonsense means no widening.
    static const int asked = IntegerVariable("OCHRELIGHT_HANG_FACTOR", 1);
    static const DWORD factor = asked >= 1 && asked <= 50 ? asked : 1;
    return milliseconds * factor;
}

const char* DriverPath()
{
    static char path[MAX_PATH];
    if (!*path)
        GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

const char* BesideDriver(const char* name)
{
    std::string folder = DriverPath();
    folder.erase(folder.find_last_of('\\'));
    return (new std::string(*name ? folder + "\\" + name : folder))->c_str();
}

bool WaitFor(const std::function<bool()>& done, DWORD milliseconds)
{
    DWORD start = GetTickCount(), pause = 10;
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= HangBound(milliseconds))
            return false;
        // Each look is a round trip to the Wine server and often to the X server. Under emulation that costs about a
        // millisecond of the one processor that the awaited program needs too: through a storm of size changes,
        // looking every 10 ms took the driver twice the processor time. A wait that lasts looks less often, at most
        // 100 ms late.
        Sleep(pause);
        pause = pause < 50 ? pause * 2 : 100;
    }
}

COLORREF ClientPixel(HWND window, int x, int y)
{
    POINT point = {x, y};
    ClientToScreen(window, &point);
    HDC screen = GetDC(nullptr);
    COLORREF colour = GetPixel(screen, point.x, point.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

HCURSOR CursorOver(HWND window)
{
    RECT frame = {};
    GetWindowRect(window, &frame);
    CURSORINFO shown = {sizeof shown, 0, nullptr, {0, 0}};
    GetCursorInfo(&shown);
    HCURSOR before = shown.hCursor;
    SetCursorPos((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2);
    WaitFor([&] { return GetCursorInfo(&shown) && shown.hCursor != before; }, 1000);
    return shown.hCursor;
}

namespace {

// The points sampled of the client area: a grid over it and one near each corner; none where it is too small.
int SamplePoints(HWND window, POINT (&points)[4 + 25])
{
    RECT client;
    if (!GetClientRect(window, &client) || client.right < 4 || client.bottom < 4)
        return 0;
    int right = client.right - 1, bottom = client.bottom - 1, count = 0;
    for (const POINT& corner : {POINT{1, 1}, POINT{right - 1, 1}, POINT{1, bottom - 1}, POINT{right - 1, bottom - 1}})
        points[count++] = corner;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            points[count++] = {right * (2 * i + 1) / 10, bottom * (2 * j + 1) / 10};
    return count;
}

}  // namespace

bool ClientIs(HWND window, bool (*matches)(COLORREF), POINT* where, COLORREF* seen)
{
    POINT points[4 + 25];
    int count = SamplePoints(window, points);
    for (int i = 0; i < count; ++i) {
        COLORREF colour = ClientPixel(window, points[i].x, points[i].y);
        if (!matches(colour)) {
            if (where)
                *where = points[i];
            if (seen)
                *seen = colour;
            return false;
        }
    }
    return count > 0;
}

bool ClientIsOchre(HWND window, POINT* where, COLORREF* seen)
{
    return ClientIs(window, IsOchre, where, seen);
}

bool WaitOchre(HWND window, DWORD milliseconds)
{
    return WaitFor([&] { return ClientIsOchre(window); }, milliseconds);
}

DWORD CloseWith(Instance& instance, UINT message, WPARAM wParam, LPARAM lParam)
{
    PostMessageA(instance.window, message, wParam, lParam);
    DWORD code = ExitCodeWithin(instance, kPromptly);
    Kill(instance);
    return code;
}

void Kill(Instance& instance)
{
    if (!instance.process.hProcess)
        return;
    if (WaitForSingleObject(instance.process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(instance.process.hProcess, 0xDEAD);
        WaitForSingleObject(instance.process.hProcess, HangBound(5000));
    }
    CloseHandle(instance.process.hThread);
    CloseHandle(instance.process.hProcess);
    instance.process = PROCESS_INFORMATION();
}

const char* WindowsPath(const char* path)
{
    if (path[0] != '/')
        return path;
    std::string* converted = new std::string("Z:" + std::string(path));
    std::replace(converted->begin(), converted->end(), '/', '\\');
    return converted->c_str();
}
