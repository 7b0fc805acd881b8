// The verify kit: the driver run on a desktop of the user's own, on Windows or under Wine, with what its results
// depend on printed first and its report kept beside it.

#include "driver.h"
#include "render/pixel_format.h"

#include "render/opengl.h"

#include <dwmapi.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

bool Kit;

int Verify()
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE reader = nullptr, writer = nullptr;
    const char* reportPath = BesideDriver("verify-report.txt");
    std::FILE* report = std::fopen(reportPath, "w");
    if (!report || !CreatePipe(&reader, &writer, &inherit, 0)) {
        std::printf("verify: cannot write %s\n", reportPath);
        return 2;
    }
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError = writer;
    std::string commandLine = std::string("\"") + DriverPath() + "\" --kit";
    PROCESS_INFORMATION run = {};
    if (!CreateProcessA(DriverPath(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &run)) {
        std::printf("verify: cannot start %s (error %lu)\n", DriverPath(), GetLastError());
        return 2;
    }
    CloseHandle(writer);
    // Read until the run has ended and the pipe is empty, not until the pipe's last writer is gone: a program the run
    // starts may take its handles with it and outlive it, as Wine's desktop process does.
    char buffer[4096];
    DWORD got = 0, waiting = 0;
    for (bool ended = false; !ended;) {
        ended = WaitForSingleObject(run.hProcess, 50) == WAIT_OBJECT_0;
        while (PeekNamedPipe(reader, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0 &&
               ReadFile(reader, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            std::fwrite(buffer, 1, got, stdout);
            std::fwrite(buffer, 1, got, report);
        }
    }
    DWORD code = 1;
    GetExitCodeProcess(run.hProcess, &code);
    std::fprintf(report, "exit code %lu\n", code);
    std::fclose(report);
    std::printf("report written to %s; exit code %lu\n", reportPath, code);
    // Started with a double click, the kit has a console of its own, which would close before anyone read it.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) {
        std::printf("Press Enter to close this window.\n");
        std::getchar();
    }
    return static_cast<int>(code);
}

namespace {

// The version Windows really is: GetVersionExA answers as the program's manifest allows, and the driver has none.
std::string WindowsVersion()
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    auto get = Export<LONG(WINAPI*)(OSVERSIONINFOEXW*)>(GetModuleHandleA("ntdll.dll"), "RtlGetVersion");
    if (!get || get(&version) != 0)
        return "unknown";
    char text[96];
    std::snprintf(text, sizeof text, "%lu.%lu build %lu%s", version.dwMajorVersion, version.dwMinorVersion,
                  version.dwBuildNumber, version.wProductType == VER_NT_WORKSTATION ? "" : " (server)");
    return text;
}

bool Elevated()
{
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    bool elevated = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                    GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                    elevation.TokenIsElevated;
    if (token)
        CloseHandle(token);
    return elevated;
}

}  // namespace

void PrintEnvironment()
{
    HDC screen = GetDC(nullptr);
    std::printf("Ochrelight verify kit\n");
    std::printf("  Windows     %s\n", WindowsVersion().c_str());
    std::printf("  under Wine  %s%s\n", WineVersion() ? "yes, Wine " : "no", WineVersion() ? WineVersion() : "");
    std::printf("  screen      %dx%d, %d bits a pixel, %d DPI, %d monitor(s)\n", GetSystemMetrics(SM_CXSCREEN),
                GetSystemMetrics(SM_CYSCREEN), GetDeviceCaps(screen, BITSPIXEL), GetDeviceCaps(screen, LOGPIXELSX),
                GetSystemMetrics(SM_CMONITORS));
    ReleaseDC(nullptr, screen);
    std::printf("  elevated    %s\n", Elevated() ? "yes" : "no");
    for (const auto& line : ReadingLines())
        std::printf("  %-11s %s\n", line.first.c_str(), line.second.c_str());
    std::printf("  executable  %s\n", OchrelightPath);
}

void BeDpiAware()
{
    HMODULE user = GetModuleHandleA("user32.dll");
    auto context = Export<BOOL(WINAPI*)(HANDLE)>(user, "SetProcessDpiAwarenessContext");
    auto legacy = Export<BOOL(WINAPI*)()>(user, "SetProcessDPIAware");
    // Per-monitor v2 where Windows has it, per-monitor before that, then system aware.
    if (!(context && (context(reinterpret_cast<HANDLE>(-4)) || context(reinterpret_cast<HANDLE>(-3)))) && legacy)
        legacy();
}

namespace {

// The paths of the process's modules.
std::vector<std::string> Modules()
{
    HMODULE modules[512];
    DWORD size = 0;
    std::vector<std::string> paths;
    if (!EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &size))
        return paths;
    for (DWORD i = 0; i < size / sizeof *modules && i < 512; ++i) {
        char path[MAX_PATH] = "";
        GetModuleFileNameA(modules[i], path, sizeof path);
        paths.push_back(path);
    }
    return paths;
}

template <size_t size>
void Copy(char (&to)[size], const std::string& from)
{
    std::snprintf(to, size, "%s", from.c_str());
}

// The request made in a process of the driver's own, handed back through the named mapping; the child's exit code
// says whether it could be.
Reading ReadInChild(bool restricted)
{
    char name[64];
    std::snprintf(name, sizeof name, "OchrelightReading-%lu-%d", GetCurrentProcessId(), restricted);
    HANDLE shared = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Reading), name);
    void* view = shared ? MapViewOfFile(shared, FILE_MAP_READ, 0, 0, sizeof(Reading)) : nullptr;
    if (shared && !view)
        CloseHandle(shared);
    Reading reading = {};
    if (!view) {
        Copy(reading.why, "no mapping to read it through");
        return reading;
    }
    Instance child = Start((std::string("--read-request ") + name + (restricted ? " restricted" : " open")).c_str(), -1,
                           DriverPath());
    DWORD code = ExitCodeWithin(child, kPromptly);
    if (code == 0)
        std::memcpy(&reading, view, sizeof reading);
    else
        Copy(reading.why, "the reading process " +
                              (code == STILL_ACTIVE ? std::string("did not end") : "ended with " + Ending(code)));
    Kill(child);
    UnmapViewOfFile(view);
    CloseHandle(shared);
    return reading;
}

// The primary display adapter's name, as Windows lists it.
std::string Adapter()
{
    DISPLAY_DEVICEA device = {};
    device.cb = sizeof device;
    for (DWORD i = 0; EnumDisplayDevicesA(nullptr, i, &device, 0); ++i)
        if (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE)
            return device.DeviceString;
    return "unknown: no primary display device listed";
}

// Whether the desktop window manager composes the desktop, as it always does from Windows 8 on.
std::string Composition()
{
    BOOL on = FALSE;
    return DwmIsCompositionEnabled(&on) != S_OK ? "unknown: DwmIsCompositionEnabled failed" : on ? "on" : "off";
}

bool MissedOchre;

}  // namespace

int ReadRequest(const char* mapping, bool restricted)
{
    HANDLE shared = OpenFileMappingA(FILE_MAP_WRITE, FALSE, mapping);
    Reading* reading = shared ? static_cast<Reading*>(MapViewOfFile(shared, FILE_MAP_WRITE, 0, 0, sizeof(Reading)))
                              : nullptr;
    if (!reading)
        return 2;
    // As Ochrelight does it, before any OpenGL DLL loads.
    FARPROC restrictSearch = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (restricted && restrictSearch)
        reinterpret_cast<BOOL(WINAPI*)(DWORD)>(reinterpret_cast<void (*)(void)>(restrictSearch))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr, nullptr, nullptr);
    HDC dc = GetDC(window);
    // What the window itself loads (the display driver, the theme) is no part of OpenGL's.
    std::vector<std::string> before = Modules();
    HGLRC context = nullptr;
    // Ochrelight's own loading and request, in its order.
    if (!LoadOpenGL()) {
        Copy(reading->why, "no opengl32.dll with every function Ochrelight binds");
    } else {
        SetupPixelFormat(dc);
        DWORD error = GetLastError();
        PIXELFORMATDESCRIPTOR format = {};
        reading->format = GetPixelFormat(dc);
        reading->formats = DescribePixelFormat(dc, 1, sizeof format, nullptr);
        if (reading->format && DescribePixelFormat(dc, reading->format, sizeof format, &format)) {
            reading->doubleBuffered = format.dwFlags & PFD_DOUBLEBUFFER;
            reading->generic = format.dwFlags & PFD_GENERIC_FORMAT;
            reading->genericAccelerated = format.dwFlags & PFD_GENERIC_ACCELERATED;
            reading->colourBits = format.cColorBits;
            reading->alphaBits = format.cAlphaBits;
            reading->depthBits = format.cDepthBits;
            reading->stencilBits = format.cStencilBits;
        }
        HMODULE gl = GetModuleHandleA("opengl32.dll");
        auto getString = Export<const GLubyte*(APIENTRY*)(GLenum)>(gl, "glGetString");
        if (!reading->format) {
            Copy(reading->why, "no format was set" + (error ? " (error " + std::to_string(error) + ")" : ""));
        } else if (!(context = OpenGL.wglCreateContext(dc))) {
            Copy(reading->why, "wglCreateContext failed (error " + std::to_string(GetLastError()) + ")");
        } else if (!OpenGL.wglMakeCurrent(dc, context)) {
            Copy(reading->why, "wglMakeCurrent failed (error " + std::to_string(GetLastError()) + ")");
        } else {
            reading->context = true;
            const struct {
                GLenum name;
                char* to;
            } strings[] = {
                {GL_RENDERER, reading->renderer}, {GL_VENDOR, reading->vendor}, {GL_VERSION, reading->version}};
            for (const auto& string : strings) {
                const GLubyte* text = getString ? getString(string.name) : nullptr;
                const char* chars = text ? reinterpret_cast<const char*>(text) : "none";
                std::snprintf(string.to, sizeof reading->renderer, "%s", chars);
            }
            OpenGL.wglMakeCurrent(nullptr, nullptr);
        }
        GetModuleFileNameA(gl, reading->opengl32, sizeof reading->opengl32);
        std::string loaded;
        for (const std::string& path : Modules())
            if (std::find(before.begin(), before.end(), path) == before.end() && path != reading->opengl32)
                loaded += (loaded.empty() ? "" : "; ") + path;
        Copy(reading->loaded, loaded);
    }
    if (context)
        OpenGL.wglDeleteContext(context);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    return 0;
}

const Readings& RequestReadings()
{
    static const Readings readings = {ReadInChild(false), ReadInChild(true)};
    return readings;
}

std::vector<std::pair<std::string, std::string>> ReadingLines()
{
    const Reading& open = RequestReadings().open;
    std::vector<std::pair<std::string, std::string>> lines;
    if (open.format) {
        lines.push_back({"format", std::to_string(open.format) + " of " + std::to_string(open.formats) +
                                       ", set by Ochrelight's request"});
        lines.push_back({"buffering", open.doubleBuffered ? "double-buffered" : "single-buffered"});
        lines.push_back({"whose", !open.generic ? "the driver's own"
                                  : open.genericAccelerated ? "generic accelerated"
                                                            : "generic: Microsoft's software OpenGL 1.1"});
        char bits[96];
        std::snprintf(bits, sizeof bits, "%d colour, %d alpha, %d depth, %d stencil", open.colourBits, open.alphaBits,
                      open.depthBits, open.stencilBits);
        lines.push_back({"bits", bits});
    } else {
        lines.push_back({"format", "none"});
    }
    if (open.context) {
        lines.push_back({"renderer", open.renderer});
        lines.push_back({"vendor", open.vendor});
        lines.push_back({"version", open.version});
    } else {
        lines.push_back({"context", std::string("none: ") + open.why});
    }
    lines.push_back({"opengl32", *open.opengl32 ? open.opengl32 : "not loaded"});
    lines.push_back({"DLLs loaded", *open.loaded ? open.loaded : "none beside opengl32.dll"});
    std::string differences = Differences(open, RequestReadings().restricted);
    lines.push_back({"restricted", differences.empty() ? "the same with the DLL search restricted as Ochrelight "
                                                         "restricts it"
                                                       : "with the DLL search restricted: " + differences});
    lines.push_back({"adapter", Adapter()});
    lines.push_back({"composition", Composition()});
    lines.push_back({"session", GetSystemMetrics(SM_REMOTESESSION) ? "remote" : "console"});
    return lines;
}

std::string CauseOfMissingOchre()
{
    const char* cause = LikelyCause(RequestReadings().open, RequestReadings().restricted);
    return cause ? std::string("likely cause: ") + cause
                 : "none of the known causes (a double-buffered format, no context, no context with the DLL search "
                   "restricted)";
}

std::string OchreMissing()
{
    MissedOchre = true;
    return CauseOfMissingOchre();
}

std::string SummaryCause()
{
    return MissedOchre ? "; ochre was missing, " + CauseOfMissingOchre() : "";
}
