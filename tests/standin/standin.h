#pragma once

// The test side of the platform stand-in: scripts what the platform answers and reads back what it was asked.

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

struct Call {
    std::string call;
    std::string args;
    bool operator==(const Call& other) const { return call == other.call && args == other.args; }
};

// One platform call as it was made, with the thread's state at that moment.
struct Record {
    Call call;
    HGLRC current;
    unsigned short fpuControl;
    unsigned short fpuStatus;
    unsigned int sseControl;  // MXCSR, flags included; 0 where there is none
};

// Handles the stand-in gives out; the trace prints them by these names.
extern const HWND kWindow;
extern const HDC kWindowDC;
extern const HGLRC kContext;
extern const HCURSOR kArrow;

// The entry routine ended the process through ExitProcess.
struct ProcessExit {
    UINT code;
};

// The product asked for something the stand-in cannot give, e.g. a wait that would never end.
struct StandInStop {
    std::string why;
};

struct Platform {
    // What the platform answers.
    DWORD startupFlags = 0;
    WORD startupShowWindow = 0;
    int choosePixelFormatResult = 7;
    bool createWindowFails = false;
    bool getMessageFails = false;
    bool offersDllDirectories = true;
    bool openglInstalled = true;
    std::string systemDirectory = "C:\\Windows\\system32";
    std::string missingExport;
    LRESULT defWindowProcResult = 0x5A5A;
    std::deque<MSG> queue;
    std::function<void()> onRegisterClass;
    std::function<void()> onCreateWindow;

    // What the product did.
    std::vector<Record> trace;
    WNDCLASSA registered = {};
    HGLRC current = nullptr;
    WNDPROC windowProc = nullptr;
    bool windowExists = false;
    bool visible = false;
    DWORD dllSearch = 0;

    // Names the trace prints for handles and for the product's own records.
    std::map<const void*, std::string> names;
};

extern Platform platform;

// Clears the stand-in to a fresh process: no class, no window, empty queue and trace.
void ResetPlatform();

// Queues a message for the window, as if posted.
void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// The calls recorded so far, without thread state.
std::vector<Call> Calls();

// Prints calls one a line, for failure messages.
std::string Show(const std::vector<Call>& calls);

std::ostream& operator<<(std::ostream& out, const Call& call);
