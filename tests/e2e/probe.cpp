// Readings of another process: its CPU time and resource counts, each proven once against a helper process that
// spends or holds them on purpose before any check relies on it.

#include "driver.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// What the helper holds: far above what any process starts with, so a reading that sees them cannot miss them.
const int kHelperHandles = 200;
const int kHelperGdiObjects = 200;
const int kHelperWindows = 50;
const SIZE_T kHelperMiB = 64;
// The helper spins on one core. A blind reading gives 0 and a reading in the wrong unit gives ten times too much or
// too little; a loaded machine (two cores, other sessions beside) may give the helper a fifth of its core.
// The upper bound is the time that really passed between the readings, which a loaded machine stretches past the
// sleep between them, and then some ticks' rounding.
const DWORD kSpinWindow = 1000;
const ULONGLONG kSpinSeenAtLeast = kSpinWindow / 10;
const ULONGLONG kSpinRounding = 50;
const char* const kHelperClass = "OchrelightProbeHelper";

// Spins until the process is ended.
DWORD WINAPI Spin(void*)
{
    for (volatile unsigned long long spin = 0;; spin = spin + 1) {
    }
}

// Linux counts a process's time in ticks of 1/100 s (USER_HZ) on every architecture Wine runs on.
const ULONGLONG kMillisecondsPerTick = 10;

// The variable, as "\0NAME=VALUE\0", in a Linux process's environment; empty when it has none.
std::string UnixVariable(const std::string& pid, const char* name)
{
    std::string environment = '\0' + ReadWholeFile("Z:\\proc\\" + pid + "\\environ");
    size_t start = environment.find('\0' + std::string(name) + "=");
    if (start == std::string::npos)
        return "";
    size_t end = environment.find('\0', start + 1);
    return end == std::string::npos ? "" : environment.substr(start, end - start + 1);
}

// The Linux process id of the instance, 0 where none is found. Wine shows a Windows process to Linux with its
// arguments as the program parsed them, and every process of a Wine session has the session's WINEPREFIX: the one
// process of this session showing exactly the instance's arguments is it. Two alike at once cannot be told apart, and
// give none.
int UnixPid(Instance& instance)
{
    if (instance.unixPid)
        return instance.unixPid > 0 ? instance.unixPid : 0;
    static const std::string session = UnixVariable("self", "WINEPREFIX");
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int found = 0, matches = 0;
    do {
        int pid = std::atoi(entry.cFileName);
        if (pid <= 0)
            continue;
        std::string shown = ReadWholeFile(std::string("Z:\\proc\\") + entry.cFileName + "\\cmdline");
        std::replace(shown.begin(), shown.end(), '\0', ' ');
        shown.erase(shown.find_last_not_of(' ') + 1);
        if (shown == instance.arguments && UnixVariable(entry.cFileName, "WINEPREFIX") == session) {
            found = pid;
            ++matches;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    instance.unixPid = matches == 1 ? found : -1;
    return instance.unixPid > 0 ? instance.unixPid : 0;
}

// User and system time from /proc/PID/stat, in ms; fields 14 and 15, counted past the command name's ")".
bool UnixCpuTime(int pid, ULONGLONG* milliseconds)
{
    std::string stat = ReadWholeFile("Z:\\proc\\" + std::to_string(pid) + "\\stat");
    size_t name = stat.rfind(')');
    unsigned long long user = 0, system = 0;
    if (name == std::string::npos ||
        std::sscanf(stat.c_str() + name + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                    &system) != 2)
        return false;
    *milliseconds = (user + system) * kMillisecondsPerTick;
    return true;
}

// A size field of /proc/PID/status ("VmData:" and the like), in bytes.
bool UnixStatusBytes(int pid, const char* field, SIZE_T* bytes)
{
    std::string status = ReadWholeFile("Z:\\proc\\" + std::to_string(pid) + "\\status");
    size_t at = status.find(std::string("\n") + field);
    unsigned long kib = 0;
    if (at == std::string::npos || std::sscanf(status.c_str() + at + 1 + std::strlen(field), " %lu kB", &kib) != 1)
        return false;
    *bytes = static_cast<SIZE_T>(kib) * 1024;
    return true;
}

// Wine shows Linux's /proc on drive Z:, and with it Linux's own accounting of every process.
bool LinuxUnderneath()
{
    static const bool underneath = GetFileAttributesA("Z:\\proc\\self\\stat") != INVALID_FILE_ATTRIBUTES;
    return underneath;
}

// Windows' own accounting of the process, in ms.
bool ProcessTimes(HANDLE process, ULONGLONG* milliseconds)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return false;
    *milliseconds = (FileTimeValue(kernel) + FileTimeValue(user)) / 10000;
    return true;
}

// What the process uses while the driver sleeps, with the time that passed meanwhile; false when it cannot be read.
bool CpuUsedOver(Instance& instance, DWORD milliseconds, ULONGLONG* used, ULONGLONG* window = nullptr)
{
    ULONGLONG before = 0, after = 0, start = GetTickCount64();
    if (!CpuTime(instance, &before))
        return false;
    Sleep(milliseconds);
    if (!CpuTime(instance, &after))
        return false;
    *used = after - before;
    if (window)
        *window = GetTickCount64() - start;
    return true;
}

}  // namespace

bool CpuTime(Instance& instance, ULONGLONG* milliseconds)
{
    // Under Wine the platform reports no CPU time for any process but the caller's; Linux, underneath, accounts for
    // every one. Where there is a Linux underneath, its figure or none.
    if (LinuxUnderneath())
        return UnixPid(instance) && UnixCpuTime(UnixPid(instance), milliseconds);
    return ProcessTimes(instance.process.hProcess, milliseconds);
}

void CheckCpuAtMost(Instance& instance, DWORD milliseconds, ULONGLONG bound, const char* what)
{
    if (!ProbeSight().cpu)
        return Note("%s: CPU time not checked, as this platform does not report it for another process", what);
    ULONGLONG used = 0;
    if (!CpuUsedOver(instance, milliseconds, &used) || !Alive(instance))
        return (void)Check(false, "%s: no reading of the process's CPU time%s", what,
                           Alive(instance) ? "" : ": the process has ended");
    Check(used <= bound, "%s: CPU time over %lu ms: %llu ms (at most %llu)", what, milliseconds, used, bound);
}

Usage Measure(Instance& instance)
{
    Usage usage = {};
    HANDLE process = instance.process.hProcess;
    GetProcessHandleCount(process, &usage.handles);
    usage.gdiObjects = GetGuiResources(process, GR_GDIOBJECTS);
    usage.userObjects = GetGuiResources(process, GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        usage.workingSet = memory.WorkingSetSize;
        usage.committed = memory.PrivateUsage;
    }
    // Under Wine the private bytes of another process are only what it has touched; Linux's count of its private
    // writable memory, underneath, grows with every commit.
    int pid = LinuxUnderneath() ? UnixPid(instance) : 0;
    if (pid && !UnixStatusBytes(pid, "VmData:", &usage.committed))
        usage.committed = 0;
    usage.alive = Alive(instance);
    return usage;
}

int ProbeHelper(const char* events)
{
    for (int i = 0; i < kHelperHandles; ++i)
        CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (int i = 0; i < kHelperGdiObjects; ++i)
        CreateSolidBrush(RGB(i, 0, 0));
    for (int i = 0; i < kHelperWindows; ++i)
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
    SIZE_T bytes = kHelperMiB << 20;
    if (char* memory = static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT, PAGE_READWRITE)))
        for (SIZE_T i = 0; i < bytes; i += 4096)
            memory[i] = 1;
    WNDCLASSA probe = {};
    probe.lpfnWndProc = DefWindowProcA;
    probe.hInstance = GetModuleHandleA(nullptr);
    probe.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    probe.hCursor = LoadCursorA(nullptr, IDC_CROSS);
    probe.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    probe.lpszClassName = kHelperClass;
    RegisterClassA(&probe);
    CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kHelperClass, "", WS_POPUP | WS_VISIBLE, 0, 0, 16, 16, nullptr,
                    nullptr, probe.hInstance, nullptr);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string(events) + "-ready").c_str());
    HANDLE more = OpenEventA(SYNCHRONIZE, FALSE, (std::string(events) + "-commit").c_str());
    if (!ready || !more)
        return 1;
    // Then as much again committed and never touched, which only a reading of what is committed sees.
    SetEvent(ready);
    WaitForSingleObject(more, INFINITE);
    VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SetEvent(ready);
    // Spins on a thread of its own until the harness ends it, while this one answers its window, which shows its
    // cursor only so.
    CreateThread(nullptr, 0, Spin, nullptr, 0, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

const Sight& ProbeSight()
{
    static Sight sight;
    static bool probed = false;
    if (probed)
        return sight;
    probed = true;

    char events[64];
    std::snprintf(events, sizeof events, "OchrelightProbe-%lu", GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, (std::string(events) + "-ready").c_str());
    HANDLE commit = CreateEventA(nullptr, FALSE, FALSE, (std::string(events) + "-commit").c_str());
    Instance helper = Start((std::string("--probe-helper ") + events).c_str(), -1, DriverPath());
    Usage held = {};
    bool readied = helper.process.hProcess && WaitForSingleObject(ready, HangBound(10000)) == WAIT_OBJECT_0;
    if (readied) {
        held = Measure(helper);
        SetEvent(commit);
        readied = WaitForSingleObject(ready, HangBound(10000)) == WAIT_OBJECT_0;
    }
    CloseHandle(ready);
    CloseHandle(commit);
    if (!readied) {
        Check(false, "probe: the helper process that spins and holds resources did not get ready");
        Kill(helper);
        return sight;
    }
    Usage afterCommit = Measure(helper);
    HWND probe = FindWindowOf(helper.process.dwProcessId, kHelperClass);

    // Where nothing could be read, the failure names the window asked for.
    ULONGLONG spun = 0, window = kSpinWindow;
    sight.cpu = CpuUsedOver(helper, kSpinWindow, &spun, &window) && spun >= kSpinSeenAtLeast &&
                spun <= window + kSpinRounding;
    Check(sight.cpu, "probe: CPU time of another process: a helper spinning for %llu ms reads %llu ms (%llu to %llu; %s)",
          window, spun, kSpinSeenAtLeast, window + kSpinRounding, UnixPid(helper) ? "Linux's accounting" : "GetProcessTimes");

    struct Count {
        const char* what;
        bool* seen;
        unsigned long read, holds;
    } const counts[] = {
        {"handles", &sight.handles, held.handles, kHelperHandles},
        {"GDI objects", &sight.gdiObjects, held.gdiObjects, kHelperGdiObjects},
        {"USER objects", &sight.userObjects, held.userObjects, kHelperWindows},
        {"working set (KiB)", &sight.workingSet, static_cast<unsigned long>(held.workingSet / 1024),
         static_cast<unsigned long>(kHelperMiB * 1024)},
        {"memory committed past what it touched (KiB)", &sight.committed,
         static_cast<unsigned long>((afterCommit.committed - std::min(afterCommit.committed, held.committed)) / 1024),
         static_cast<unsigned long>(kHelperMiB * 1024)},
        {"class background brush", &sight.classBrush, GetClassLongPtrA(probe, GCLP_HBRBACKGROUND) != 0, 1},
        {"class icon", &sight.classIcon, GetClassLongPtrA(probe, GCLP_HICON) != 0, 1},
        {"cursor shown over a window (IDC_CROSS)", &sight.cursor, CursorOver(probe) == LoadCursorA(nullptr, IDC_CROSS), 1},
    };
    for (const Count& count : counts) {
        *count.seen = count.read >= count.holds;
        if (*count.seen)
            std::printf("probe %s: %s of another process: a helper holding %lu reads %lu\n", Scenario, count.what,
                        count.holds, count.read);
        else
            Note("%s of another process cannot be read on this platform: a helper holding %lu reads %lu; every "
                 "check of it is a note",
                 count.what, count.holds, count.read);
    }
    Kill(helper);
    return sight;
}
