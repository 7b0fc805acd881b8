// The verify kit: the driver run on a desktop of the user's own, on Windows or under Wine, with what its results
// depend on printed first and its report kept beside it.

#include "driver.h"
#include "render/pixel_format.h"

#include <cstdio>
#include <string>

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
            std::fflush(stdout);
            std::fwrite(buffer, 1, got, report);
        }
    }
    DWORD code = 1;
    GetExitCodeProcess(run.hProcess, &code);
    std::fprintf(report, "exit code %lu\n", code);
    std::fclose(report);
    std::printf("report written to %s; exit code %lu\n", reportPath, code);
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
    std::string vendor;
    std::string renderer = OpenGLRenderer(&vendor);
    std::printf("  OpenGL      %s, from %s\n", renderer.c_str(), vendor.c_str());
    std::printf("  elevated    %s\n", Elevated() ? "yes" : "no");
    std::printf("  session     %s\n", GetSystemMetrics(SM_REMOTESESSION) ? "remote" : "console");
    std::printf("  executable  %s\n", OchrelightPath);
    std::fflush(stdout);
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

std::string OpenGLRenderer(std::string* vendor)
{
    const unsigned kVendor = 0x1F00, kRenderer = 0x1F01;
    if (vendor)
        *vendor = "none";
    HMODULE gl = LoadLibraryA("opengl32.dll");
    if (!gl)
        return "none (no opengl32.dll)";
    auto create = Export<HGLRC(WINAPI*)(HDC)>(gl, "wglCreateContext");
    auto makeCurrent = Export<BOOL(WINAPI*)(HDC, HGLRC)>(gl, "wglMakeCurrent");
    auto destroy = Export<BOOL(WINAPI*)(HGLRC)>(gl, "wglDeleteContext");
    auto getString = Export<const char*(WINAPI*)(unsigned)>(gl, "glGetString");
    std::string renderer = "none";
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr, nullptr, nullptr);
    HDC dc = GetDC(window);
    // The program's own request.
    SetupPixelFormat(dc);
    HGLRC context = nullptr;
    if (create && makeCurrent && destroy && getString && GetPixelFormat(dc) &&
        (context = create(dc)) != nullptr && makeCurrent(dc, context)) {
        const char* name = getString(kRenderer);
        renderer = name ? name : "none (no renderer string)";
        if (vendor) {
            const char* maker = getString(kVendor);
            *vendor = maker ? maker : "none (no vendor string)";
        }
        makeCurrent(nullptr, nullptr);
    }
    if (context)
        destroy(context);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    return renderer;
}
