#include "standin.h"

#include "app/fpu.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <strings.h>
#include <map>
#include <sstream>

const HWND kWindow = reinterpret_cast<HWND>(0x1000);
const HDC kWindowDC = reinterpret_cast<HDC>(0x2000);
const HGLRC kContext = reinterpret_cast<HGLRC>(0x4000);
const HCURSOR kArrow = reinterpret_cast<HCURSOR>(0x6000);

Platform platform;

namespace {

const HDC kPaintDC = reinterpret_cast<HDC>(0x3000);
const HMODULE kModule = reinterpret_cast<HMODULE>(0x400000);
const HMODULE kKernel32 = reinterpret_cast<HMODULE>(0x7000);
const HMODULE kOpenGL32 = reinterpret_cast<HMODULE>(0x8000);

// Paints in a row after which the stand-in calls the window's paint handling endless.
const int kPaintLoopLimit = 100;

struct Process {
    bool quitPending = false;
    int quitCode = 0;
    bool invalid = false;
    bool formatSet = false;
    bool contextAlive = false;
    int paintsInARow = 0;
};
Process process;

// The x87 control word, without bit 6: reserved, it reads back as 1 whatever was loaded.
unsigned short FpuControl()
{
    return StoreFpuControlWord() & ~0x40;
}

// The x87 status word.
unsigned short FpuStatus()
{
    unsigned short word;
    __asm__ __volatile__("fnstsw %0" : "=m"(word));
    return word;
}

// MXCSR, where the processor has one.
unsigned int SseControl()
{
#if defined(__x86_64__)
    return StoreSseControlWord();
#else
    return 0;
#endif
}

std::string Hex(uintptr_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(value));
    return text;
}

std::string Name(const void* handle)
{
    if (handle == nullptr)
        return "NULL";
    auto found = platform.names.find(handle);
    return found != platform.names.end() ? found->second : Hex(reinterpret_cast<uintptr_t>(handle));
}

std::string Message(const MSG* message)
{
    return Name(message) + " = {" + Name(message->hwnd) + ", " + Hex(message->message) + ", " + Hex(message->wParam) +
           ", " + Hex(static_cast<uintptr_t>(message->lParam)) + "}";
}

std::string Text(LPCSTR text)
{
    if (text == nullptr)
        return "NULL";
    if (reinterpret_cast<uintptr_t>(text) < 0x10000)
        return "#" + std::to_string(reinterpret_cast<uintptr_t>(text));
    return std::string("\"") + text + "\"";
}

// Bytes of the request, grouped by field: two 16-bit, one 32-bit, twenty 8-bit, three 32-bit.
std::string Bytes(const PIXELFORMATDESCRIPTOR* request)
{
    static const int widths[] = {2, 2, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 4, 4, 4};
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(request);
    std::string text;
    for (int width : widths) {
        if (!text.empty())
            text += ' ';
        for (int i = 0; i < width; ++i, ++bytes) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02X", *bytes);
            text += pair;
        }
    }
    return text;
}

std::string Bits(GLfloat value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return Hex(bits);
}

void Log(const char* call, std::initializer_list<std::string> args = {})
{
    std::string joined;
    for (const std::string& arg : args)
        joined += (joined.empty() ? "" : ", ") + arg;
    platform.trace.push_back({{call, joined}, platform.current, FpuControl(), FpuStatus(), SseControl()});
}

LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return platform.windowProc(kWindow, message, wParam, lParam);
}

bool MinimisedOrHidden(int show)
{
    return show == SW_HIDE || show == SW_SHOWMINIMIZED || show == SW_MINIMIZE || show == SW_SHOWMINNOACTIVE ||
           show == SW_FORCEMINIMIZE;
}

}  // namespace

void ResetPlatform()
{
    platform = Platform();
    platform.names = {
        {kWindow, "hWnd"},       {kWindowDC, "windowDC"}, {kPaintDC, "paintDC"},
        {kContext, "GLContext"}, {kModule, "hModule"},    {kArrow, "arrow"},
        {kKernel32, "kernel32"}, {kOpenGL32, "opengl32"},
    };
    process = Process();
}

void Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    platform.queue.push_back({kWindow, message, wParam, lParam});
}

std::vector<Call> Calls()
{
    std::vector<Call> calls;
    for (const Record& record : platform.trace)
        calls.push_back(record.call);
    return calls;
}

std::ostream& operator<<(std::ostream& out, const Call& call)
{
    return out << "{\"" << call.call << "\", \"" << call.args << "\"}";
}

std::string Show(const std::vector<Call>& calls)
{
    std::ostringstream out;
    for (const Call& call : calls)
        out << "    " << call << "\n";
    return out.str();
}

void ExitProcess(UINT uExitCode)
{
    Log("ExitProcess", {std::to_string(uExitCode)});
    throw ProcessExit{uExitCode};
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName)
{
    Log("GetModuleHandleA", {Text(lpModuleName)});
    if (lpModuleName == nullptr)
        return kModule;
    return strcasecmp(lpModuleName, "kernel32.dll") == 0 ? kKernel32 : nullptr;
}

namespace {

BOOL SetDefaultDllDirectories(DWORD DirectoryFlags)
{
    Log("SetDefaultDllDirectories", {Hex(DirectoryFlags)});
    platform.dllSearch = DirectoryFlags;
    return TRUE;
}

template <typename Function>
FARPROC Export(Function* function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(function));
}

}  // namespace

UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    Log("GetSystemDirectoryA", {std::to_string(uSize)});
    const std::string& directory = platform.systemDirectory;
    if (directory.size() + 1 > uSize)
        return static_cast<UINT>(directory.size() + 1);
    std::memcpy(lpBuffer, directory.c_str(), directory.size() + 1);
    return static_cast<UINT>(directory.size());
}

HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags)
{
    Log("LoadLibraryExA", {Text(lpLibFileName), Name(hFile), Hex(dwFlags)});
    bool systemOpenGL = platform.systemDirectory + "\\opengl32.dll" == lpLibFileName;
    return systemOpenGL && platform.openglInstalled ? kOpenGL32 : nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    Log("GetProcAddress", {Name(hModule), Text(lpProcName)});
    const std::string name = lpProcName;
    if (hModule == kKernel32 && name == "SetDefaultDllDirectories" && platform.offersDllDirectories)
        return Export(SetDefaultDllDirectories);
    if (hModule != kOpenGL32 || name == platform.missingExport)
        return nullptr;
    const std::map<std::string, FARPROC> exports = {
        {"wglCreateContext", Export(wglCreateContext)}, {"wglMakeCurrent", Export(wglMakeCurrent)},
        {"wglDeleteContext", Export(wglDeleteContext)}, {"glClearColor", Export(glClearColor)},
        {"glClear", Export(glClear)},                   {"glFlush", Export(glFlush)},
    };
    auto found = exports.find(name);
    return found != exports.end() ? found->second : nullptr;
}

void GetStartupInfoA(STARTUPINFOA* lpStartupInfo)
{
    Log("GetStartupInfoA");
    *lpStartupInfo = STARTUPINFOA();
    lpStartupInfo->cb = sizeof *lpStartupInfo;
    lpStartupInfo->dwFlags = platform.startupFlags;
    lpStartupInfo->wShowWindow = platform.startupShowWindow;
}

HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    Log("LoadCursorA", {Name(hInstance), Text(lpCursorName)});
    return hInstance == nullptr && lpCursorName == IDC_ARROW ? kArrow : nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* lpWndClass)
{
    Log("RegisterClassA", {Name(lpWndClass)});
    platform.registered = *lpWndClass;
    platform.windowProc = lpWndClass->lpfnWndProc;
    if (platform.onRegisterClass)
        platform.onRegisterClass();
    return 0xC001;
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, void* lpParam)
{
    Log("CreateWindowExA",
        {Hex(dwExStyle), Text(lpClassName), Text(lpWindowName), Hex(dwStyle), Hex(static_cast<uint32_t>(X)),
         Hex(static_cast<uint32_t>(Y)), Hex(static_cast<uint32_t>(nWidth)), Hex(static_cast<uint32_t>(nHeight)),
         Name(hWndParent), Name(hMenu), Name(hInstance), Name(lpParam)});
    if (platform.createWindowFails || platform.windowProc == nullptr ||
        std::strcmp(platform.registered.lpszClassName, lpClassName) != 0)
        return nullptr;
    platform.windowExists = true;
    Send(WM_CREATE, 0, 0xC5);
    if (platform.onCreateWindow)
        platform.onCreateWindow();
    return kWindow;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
    Log("ShowWindow", {Name(hWnd), std::to_string(nCmdShow)});
    bool wasVisible = platform.visible;
    platform.visible = !MinimisedOrHidden(nCmdShow);
    process.invalid = process.invalid || platform.visible;
    return wasVisible;
}

BOOL UpdateWindow(HWND hWnd)
{
    Log("UpdateWindow", {Name(hWnd)});
    if (hWnd != kWindow || !platform.windowExists)
        return FALSE;
    if (process.invalid)
        Send(WM_PAINT);
    return TRUE;
}

BOOL GetMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    Log("GetMessageA", {Name(lpMsg), Name(hWnd), std::to_string(wMsgFilterMin), std::to_string(wMsgFilterMax)});
    // Posted messages first, then the quit flag, then paints, as the platform orders them.
    if (!platform.queue.empty()) {
        *lpMsg = platform.queue.front();
        platform.queue.pop_front();
        process.paintsInARow = 0;
    } else if (process.quitPending) {
        process.quitPending = false;
        *lpMsg = {nullptr, WM_QUIT, static_cast<WPARAM>(process.quitCode), 0};
    } else if (process.invalid && platform.windowExists && platform.visible) {
        if (++process.paintsInARow > kPaintLoopLimit)
            throw StandInStop{"WM_PAINT without end: the paint never validates the window"};
        *lpMsg = {kWindow, WM_PAINT, 0, 0};
    } else if (platform.getMessageFails) {
        return -1;
    } else {
        throw StandInStop{"GetMessageA would wait forever: nothing is queued and no quit is pending"};
    }
    return lpMsg->message != WM_QUIT;
}

BOOL TranslateMessage(const MSG* lpMsg)
{
    Log("TranslateMessage", {Message(lpMsg)});
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* lpMsg)
{
    Log("DispatchMessageA", {Message(lpMsg)});
    if (lpMsg->hwnd != kWindow || !platform.windowExists)
        return 0;
    return Send(lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Log("DefWindowProcA", {Name(hWnd), Hex(Msg), Hex(wParam), Hex(static_cast<uintptr_t>(lParam))});
    if (Msg == WM_CLOSE && platform.windowExists) {
        Send(WM_DESTROY);
        Send(WM_NCDESTROY);
        platform.windowExists = false;
        return 0;
    }
    return platform.defWindowProcResult;
}

void PostQuitMessage(int nExitCode)
{
    Log("PostQuitMessage", {std::to_string(nExitCode)});
    process.quitPending = true;
    process.quitCode = nExitCode;
}

HDC GetDC(HWND hWnd)
{
    Log("GetDC", {Name(hWnd)});
    return hWnd == kWindow && platform.windowExists ? kWindowDC : nullptr;
}

int ReleaseDC(HWND hWnd, HDC hDC)
{
    Log("ReleaseDC", {Name(hWnd), Name(hDC)});
    return hDC == kWindowDC;
}

HDC BeginPaint(HWND hWnd, PAINTSTRUCT* lpPaint)
{
    Log("BeginPaint", {Name(hWnd), Name(lpPaint)});
    *lpPaint = PAINTSTRUCT();
    lpPaint->hdc = kPaintDC;
    process.invalid = false;
    return kPaintDC;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint)
{
    Log("EndPaint", {Name(hWnd), Name(lpPaint)});
    return TRUE;
}

int ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd)
{
    Log("ChoosePixelFormat", {Name(hdc), Bytes(ppfd)});
    return platform.choosePixelFormatResult;
}

BOOL SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR* ppfd)
{
    Log("SetPixelFormat", {Name(hdc), std::to_string(format), Bytes(ppfd)});
    // A window takes one pixel format for its life, and only one the device offers.
    if (process.formatSet || format <= 0)
        return FALSE;
    process.formatSet = true;
    return TRUE;
}

HGLRC wglCreateContext(HDC hdc)
{
    Log("wglCreateContext", {Name(hdc)});
    if (!process.formatSet)
        return nullptr;
    process.contextAlive = true;
    return kContext;
}

BOOL wglMakeCurrent(HDC hdc, HGLRC hglrc)
{
    Log("wglMakeCurrent", {Name(hdc), Name(hglrc)});
    bool usable = hglrc == nullptr || (hglrc == kContext && process.contextAlive && hdc != nullptr);
    platform.current = usable ? hglrc : nullptr;
    return usable;
}

BOOL wglDeleteContext(HGLRC hglrc)
{
    Log("wglDeleteContext", {Name(hglrc)});
    if (hglrc != kContext || !process.contextAlive)
        return FALSE;
    process.contextAlive = false;
    if (platform.current == hglrc)
        platform.current = nullptr;
    return TRUE;
}

void glClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    Log("glClearColor", {Bits(red), Bits(green), Bits(blue), Bits(alpha)});
}

void glClear(GLbitfield mask)
{
    Log("glClear", {Hex(mask)});
}

void glFlush(void)
{
    Log("glFlush");
}
