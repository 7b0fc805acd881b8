#pragma once

// Helpers of the end-to-end driver: launching Ochrelight, finding its window, reading its pixels, recording checks.

#include <windows.h>

#include "tests/e2e/reading.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct Instance {
    PROCESS_INFORMATION process;
    HWND window;
    // Its window answered a message sent once its thread takes messages.
    bool answers;
    // The program's path and arguments, split and joined again by single spaces, and the Linux process id found
    // by them (0 not looked for yet, -1 none).
    std::string arguments;
    int unixPid;
    // When the message that closes it was posted: the system time, in 100 ns units, as the platform keeps a
    // process's exit time; 0 where the process had already ended then.
    ULONGLONG closePosted;
    // How much the session's error output held when it started: what follows is its own or later.
    size_t errorsFrom;
};

// The executable checked, where failed pixel checks save the screen (or null), the scenario running, and the
// checks so far; a note counts as a skipped check.
extern const char* OchrelightPath;
extern const char* ShotDirectory;
extern const char* Scenario;
extern int Passed;
extern int Failed;
extern int Skipped;

// The desktop Wine's windows live on, from OCHRELIGHT_DESKTOP: virtual-desktop, openbox or bare-x (tests/README.md).
enum class Desktop { Virtual, Managed, BareX };
extern Desktop SessionDesktop;
// Mesa's OpenGL driver the session renders with, from OCHRELIGHT_GL_DRIVER: "llvmpipe" (the default) or "softpipe".
extern char SessionGLDriver[32];
// Reads the session's desktop and OpenGL driver from its environment.
void ReadSession();

// A function of a DLL, through the one function type that converts to every other.
template <typename Function>
Function Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

// The driver's own executable, and a file beside it ("" for its folder).
const char* DriverPath();
const char* BesideDriver(const char* name);

// A whole number from the environment, or `unset` where the variable is not set.
int IntegerVariable(const char* name, int unset);

// A FILETIME as one number of 100-ns units.
ULONGLONG FileTimeValue(const FILETIME& time);

// Wine's version where the driver runs under Wine; null on Windows.
const char* WineVersion();

// The verify kit's run, on a desktop of the user's own rather than in a session of the harness's.
extern bool Kit;
// Runs the driver again as "--kit", its output shown and written to verify-report.txt beside it; its exit code.
int Verify();
// Prints what the run's results depend on: Windows, Wine, the screen, OpenGL, elevation and session.
void PrintEnvironment();
// Makes the driver per-monitor DPI aware, as Ochrelight is, so that Windows scales none of its coordinates.
void BeDpiAware();

// What Ochrelight's request gets here, read by Ochrelight's own loading and request on a window of the driver's in a
// process of its own, with the DLL search open and restricted as Ochrelight restricts it: read once, on first use.
struct Readings {
    Reading open, restricted;
};
const Readings& RequestReadings();
// The reading's process, started with "--read-request MAPPING open|restricted": writes its reading into the mapping.
int ReadRequest(const char* mapping, bool restricted);
// Those readings and the display's adapter, composition and session, as labelled lines for the kit's header and the
// setting scenario's notes.
std::vector<std::pair<std::string, std::string>> ReadingLines();
// The likely cause of ochre missing, from those readings: "likely cause: ...", or that it is none of the known ones.
std::string CauseOfMissingOchre();
// The same, for the line of a check that missed ochre; the run's summary then names it too, through SummaryCause
// ("" while no check has missed ochre).
std::string OchreMissing();
std::string SummaryCause();

// Says what a scenario cannot check on this platform or desktop, and what is checked instead: a skipped check.
void Note(const char* format, ...);

// Sends a system menu command (SC_MINIMIZE, SC_RESTORE). A window manager carries it out in its own time, and one
// overtaken by the next command would leave the X window out of step with Windows' state: there it waits until the
// screen shows the command done.
void SystemCommand(HWND window, WPARAM command);

// A path as Windows programs under Wine take it: Linux paths live on drive Z:.
const char* WindowsPath(const char* path);

// The program's clear colour, red, green and blue, as the single-precision values it clears to.
const float kOchre[3] = {0.85f, 0.75f, 0.5f};

// Records one check and prints its line; a failed pixel check also saves the screen.
bool Record(bool ok, bool pixels, const char* format, ...);
template <typename... Arguments>
bool Check(bool ok, const char* format, Arguments... arguments)
{
    return Record(ok, false, format, arguments...);
}
template <typename... Arguments>
bool CheckPixels(bool ok, const char* format, Arguments... arguments)
{
    return Record(ok, true, format, arguments...);
}

// Starts Ochrelight (or `exe`, in `directory`) with an optional command-line tail and launcher show state
// (-1: none given); Attach then waits for its window and for its thread to take messages. Launch does both.
Instance Start(const char* tail = "", int show = -1, const char* exe = nullptr, const char* directory = nullptr);
void Attach(Instance& instance);
Instance Launch(const char* tail = "", int show = -1, const char* exe = nullptr, const char* directory = nullptr);

// Checks that the instance opened its window and the window answers, and ends it when not.
bool Opened(Instance& instance, const char* what);

// How a process ended: "exit code N", or the unhandled exception that ended it, by code and name.
std::string Ending(DWORD code);

// The process's exit code once it has ended, waiting up to a hang bound of `milliseconds`; STILL_ACTIVE if it has not.
DWORD ExitCodeWithin(const Instance& instance, DWORD milliseconds);

// The process is still running.
bool Alive(const Instance& instance);

// A whole file, read until it ends, as the files of Linux's /proc need (they report no size); "" where it cannot be
// opened.
std::string ReadWholeFile(const std::string& path);

// What the session's processes wrote to their error output since the instance started, as the harness keeps it in
// stderr.log in the shot directory (the X errors that end a process among it); "" on a desktop of the user's own.
std::string ErrorsSince(const Instance& instance);

// False while the process runs. Once it has ended before its close, says why and gives true: a note where that is a
// known fault of the platform, named with its versions and the failed request, and a failure otherwise.
bool Ended(Instance& instance, const char* what);

// The window of the class that the process owns, or null; and how many top-level windows it shows.
HWND FindWindowOf(DWORD processId, const char* className = "Ochrelight");
int VisibleWindowsOf(DWORD processId);

// The colour reads as the clear colour, within the screen's own quantisation of it.
bool IsOchre(COLORREF colour);

// The bound of a window found, a close ended, a message answered: wide enough for a loaded machine, as what it catches
// (a hang, a spinning loop) is far beyond it.
const DWORD kPromptly = 10000;

// A bound that only catches a hang, widened by OCHRELIGHT_HANG_FACTOR (a whole number, 1 when unset) where the
// platform itself runs emulated and every step takes many times longer.
DWORD HangBound(DWORD milliseconds);

// Waits, serving the driver's own windows, until `done` holds or the time is up (a hang bound).
bool WaitFor(const std::function<bool()>& done, DWORD milliseconds);

// True when every point of a grid over the client area and one near each corner matches; `where` and `seen` get the
// first that does not.
bool ClientIs(HWND window, bool (*matches)(COLORREF), POINT* where = nullptr, COLORREF* seen = nullptr);
// True when the client area reads as ochre on that grid; WaitOchre waits for it.
bool ClientIsOchre(HWND window, POINT* where = nullptr, COLORREF* seen = nullptr);
bool WaitOchre(HWND window, DWORD milliseconds = 5000);

// The colour on screen at a point of the window's client area.
COLORREF ClientPixel(HWND window, int x, int y);

// The cursor shown once the pointer, moved to the middle of the window, shows another than before (or a second has
// passed).
HCURSOR CursorOver(HWND window);

// Posts a message, waits for the process to end, and gives its exit code.
DWORD CloseWith(Instance& instance, UINT message, WPARAM wParam, LPARAM lParam);

// Writes the whole screen as NAME.png in the shot directory.
void SaveScreen(const char* name);

// CPU time the process has used, in milliseconds; false when it cannot be read.
bool CpuTime(Instance& instance, ULONGLONG* milliseconds);

// Checks that the process uses at most `bound` ms of CPU while the driver sleeps `milliseconds`.
void CheckCpuAtMost(Instance& instance, DWORD milliseconds, ULONGLONG bound, const char* what);

// What a process holds, as the platform reports it to another process.
struct Usage {
    DWORD handles;
    DWORD gdiObjects;
    DWORD userObjects;
    SIZE_T workingSet;
    // What it has committed, touched or not.
    SIZE_T committed;
    // The process still ran once they were read: figures of one that has ended are no reading of it.
    bool alive;
};
Usage Measure(Instance& instance);

// Which readings of another process this platform really gives, proven once (on first use) against a helper process
// that spins and holds resources on purpose; a reading that is not seen is said in a note, never checked.
struct Sight {
    bool cpu, handles, gdiObjects, userObjects, workingSet, committed, classBrush, classIcon, cursor;
};
const Sight& ProbeSight();

// The helper's own run, in a process started with "--probe-helper EVENTS": holds resources and a window of a class
// with a brush, an icon and the cross cursor, says so through EVENTS-ready, commits more once EVENTS-commit is set,
// says so again and spins until it is ended.
int ProbeHelper(const char* events);

// Checks that the client area turns ochre, saving the screen when it does not.
void CheckOchre(HWND window, const char* what);

// Closes with the message and checks for exit code 0, promptly.
void CheckClosesWithZero(Instance& instance, const char* how, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Scenarios of faults and of load, beside the everyday ones.
void Planting();
// Both sessions without OpenGL, OpenGL switched off and a display without GLX, by the scenario's name.
void NoOpenGL();
void Storm();
void Flood();
void CloseInStorm();
void Sixteen();

// Ends an instance a check left running.
void Kill(Instance& instance);
