// Scenarios of load and endurance: resize storms, paint floods, minimise cycles, many instances, and no leak.

#include "driver.h"

#include <cstdio>
#include <cstring>

namespace {

const UINT kAsync = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;

// One count against its value from before the load, where this platform reports it at all.
void CheckCount(const char* what, const char* count, bool seen, DWORD before, DWORD after)
{
    if (seen)
        Check(after <= before + 4, "%s: %s %lu -> %lu", what, count, before, after);
    else
        Note("%s: %s not checked, as this platform does not report them for another process", what, count);
}

// What the working set and the committed memory may grow by, in MiB, under a load borne once already.
const SIZE_T kAllowance = 4;

// One memory figure grows by `allowance` MiB at most; over a number of paints, it says how much a paint.
void CheckGrowth(const char* what, const char* figure, bool seen, SIZE_T before, SIZE_T after, SIZE_T allowance,
                 int paints)
{
    if (!seen)
        return Note("%s: %s not checked, as this platform does not report it for another process", what, figure);
    SIZE_T grown = after > before ? after - before : 0;
    char perPaint[96] = "";
    if (paints > 0)
        std::snprintf(perPaint, sizeof perPaint, ": %lu B a paint over the %d paints it forced (at most %lu)",
                      static_cast<unsigned long>(grown / paints), paints,
                      static_cast<unsigned long>((allowance << 20) / paints));
    Check(grown <= allowance << 20, "%s: %s %lu KiB -> %lu KiB%s", what, figure,
          static_cast<unsigned long>(before / 1024), static_cast<unsigned long>(after / 1024), perPaint);
}

// No count grows, and neither memory figure by more than `allowance` MiB.
void CheckNoLeak(const Usage& before, const Usage& after, const char* what, SIZE_T allowance = kAllowance,
                 int paints = 0)
{
    if (!before.alive || !after.alive)
        return (void)Check(false, "%s: no leak reading: the process had ended before it was measured", what);
    const Sight& sight = ProbeSight();
    CheckCount(what, "handles", sight.handles, before.handles, after.handles);
    CheckCount(what, "GDI objects", sight.gdiObjects, before.gdiObjects, after.gdiObjects);
    CheckCount(what, "USER objects", sight.userObjects, before.userObjects, after.userObjects);
    CheckGrowth(what, "working set", sight.workingSet, before.workingSet, after.workingSet, allowance, paints);
    CheckGrowth(what, "committed memory", sight.committed, before.committed, after.committed, allowance, paints);
}

// Posts a last size change behind whatever is queued and waits until it is taken and painted.
bool SettleAt(HWND window, int width, int height, DWORD milliseconds)
{
    SetWindowPos(window, nullptr, 0, 0, width, height, kAsync);
    RECT frame;
    auto settled = [&] { return GetWindowRect(window, &frame) && frame.right - frame.left == width &&
                                frame.bottom - frame.top == height && ClientIsOchre(window); };
    return WaitFor(settled, milliseconds);
}

// Posts `count` size changes to the window's thread without waiting for any of them.
void PostResizes(HWND window, int count)
{
    for (int i = 0; i < count; ++i)
        SetWindowPos(window, nullptr, 0, 0, 160 + (i * 37) % 840, 120 + (i * 53) % 600, kAsync);
}

// A window that has taken every size it will take before measuring, so that growth later is a leak;
// the window is null (and the process gone) when none opened.
Instance LaunchWarm()
{
    Instance instance = Launch();
    if (!Opened(instance, "before the load"))
        return instance;
    CheckOchre(instance.window, "first frame");
    SetWindowPos(instance.window, nullptr, 0, 0, 1000, 720, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PostResizes(instance.window, 50);
    SettleAt(instance.window, 640, 480, 10000);
    return instance;
}

// One round of the flood: paints forced by invalidation, then minimise and restore cycles; the number of paints it
// forced and saw done, or -1 where the process ended in it.
int FloodRound(Instance& instance, const char* round)
{
    HWND window = instance.window;
    const int kInvalidations = 10000, kForcedEvery = 20;
    DWORD start = GetTickCount();
    int painted = 0, pending = 0;
    for (int i = 0; i < kInvalidations; ++i) {
        RECT part = {(i * 13) % 600, (i * 7) % 400, (i * 13) % 600 + 40, (i * 7) % 400 + 30};
        InvalidateRect(window, (i % 2) ? &part : nullptr, FALSE);
        // Now and then a paint forced at once, as a window dragged over it would cause: the program's paint has
        // validated the window when the call returns. A region seen pending before shows that the reading sees one.
        if (i % kForcedEvery == 0) {
            pending += GetUpdateRect(window, nullptr, FALSE) != 0;
            RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            painted += !GetUpdateRect(window, nullptr, FALSE);
        }
    }
    if (Ended(instance, round))
        return -1;
    Check(painted == kInvalidations / kForcedEvery && pending > 0,
          "%s: %d invalidations in %lu ms, %d of the %d paints they forced done (%d pending before), process alive",
          round, kInvalidations, GetTickCount() - start, painted, kInvalidations / kForcedEvery, pending);
    CheckOchre(window, "after the paint flood");

    const int kCycles = 100;
    start = GetTickCount();
    int minimised = 0, restored = 0;
    // Under a window manager a report of an earlier command, taken late, can turn the window's state back for a
    // while: each state is waited for, as a user would see it settle.
    for (int i = 0; i < kCycles && Alive(instance); ++i) {
        SystemCommand(window, SC_MINIMIZE);
        minimised += WaitFor([&] { return IsIconic(window) != 0; }, 3000);
        SystemCommand(window, SC_RESTORE);
        restored += WaitFor([&] { return !IsIconic(window); }, 3000);
    }
    if (Ended(instance, round))
        return -1;
    Check(minimised == kCycles && restored == kCycles, "%s: %d minimise/restore cycles in %lu ms: %d minimised, %d restored",
          round, kCycles, GetTickCount() - start, minimised, restored);
    CheckOchre(window, "after the cycles");
    return painted;
}

}  // namespace

void Storm()
{
    Instance instance = LaunchWarm();
    HWND window = instance.window;
    if (!window)
        return;
    Usage before = Measure(instance);
    SIZE_T allowance = kAllowance;
    bool managed = SessionDesktop == Desktop::Managed, softpipe = std::strcmp(SessionGLDriver, "softpipe") == 0;
    if (managed || softpipe) {
        allowance = 16;
        Note("%s: it may grow by %lu MiB", managed ? "the window takes the sizes the window manager answers with, "
             "which differ from run to run, and Mesa keeps buffers for new ones until the working set levels off"
             : "softpipe keeps buffers of several MiB for sizes it has drawn: past the warm-up's fifty sizes, the "
             "storm's thousand add 4 to 5 MiB", static_cast<unsigned long>(allowance));
    }

    const int kResizes = 1000;
    DWORD start = GetTickCount();
    PostResizes(window, kResizes);
    bool settled = SettleAt(window, 700, 500, 60000);
    Check(settled && Alive(instance), "%d size changes posted and taken in %lu ms, process alive", kResizes + 1,
          GetTickCount() - start);
    CheckOchre(window, "after the storm");
    CheckNoLeak(before, Measure(instance), "after the storm", allowance);
    CheckClosesWithZero(instance, "after the storm", WM_CLOSE);
}

void Flood()
{
    Instance instance = LaunchWarm();
    HWND window = instance.window;
    if (!window)
        return;
    // The first minimise and restore cycles make the buffers every later one reuses, a few MiB more on a busy
    // machine: as many cycles as are measured come before the measure, so that growth later is a leak.
    const int kWarmCycles = 100;
    for (int i = 0; i < kWarmCycles; ++i) {
        SystemCommand(window, SC_MINIMIZE);
        SystemCommand(window, SC_RESTORE);
    }
    WaitOchre(window);
    if (SessionDesktop == Desktop::Managed)
        Note("the window manager carries out each minimise and restore in its own time: each cycle waits "
             "until the screen shows it");
    Usage before = Measure(instance);
    int paints = FloodRound(instance, "first round");
    if (paints < 0)
        return;
    Usage after = Measure(instance);
    // On a busy machine a restore now and then still makes buffers once more, up to some 5 MiB, after which
    // the working set stays level through any number of rounds: a second round tells such a level from a
    // leak, which grows in every round alike.
    if ((ProbeSight().workingSet || ProbeSight().committed) &&
        (after.workingSet > before.workingSet + (kAllowance << 20) ||
         after.committed > before.committed + (kAllowance << 20))) {
        Note("the working set rose from %lu KiB to %lu KiB and the committed memory from %lu KiB to %lu KiB in the "
             "first round; a second round tells whether they keep rising",
             static_cast<unsigned long>(before.workingSet / 1024), static_cast<unsigned long>(after.workingSet / 1024),
             static_cast<unsigned long>(before.committed / 1024), static_cast<unsigned long>(after.committed / 1024));
        before = after;
        if ((paints = FloodRound(instance, "second round")) < 0)
            return;
        after = Measure(instance);
    }
    CheckNoLeak(before, after, "after the flood and the cycles", kAllowance, paints);
    CheckClosesWithZero(instance, "after the flood", WM_CLOSE);
}

void CloseInStorm()
{
    Instance instance = Launch();
    if (!Opened(instance, "before the storm"))
        return;
    DWORD start = GetTickCount();
    PostResizes(instance.window, 500);
    // The close goes the way the size changes go, so that it lands between the two halves of the storm: Windows
    // posts an asynchronous size change to another thread's window, Wine sends it as a notify message, which the
    // program takes before any posted one.
    if (WineVersion())
        SendNotifyMessageA(instance.window, WM_CLOSE, 0, 0);
    else
        PostMessageA(instance.window, WM_CLOSE, 0, 0);
    PostResizes(instance.window, 500);
    DWORD code = ExitCodeWithin(instance, kPromptly);
    Check(code == 0, "closed amid 1000 posted size changes: %s after %lu ms", Ending(code).c_str(),
          GetTickCount() - start);
    Kill(instance);
}

void Sixteen()
{
    const int kCount = 16;
    Instance instances[kCount];
    for (Instance& instance : instances)
        instance = Start();
    int found = 0;
    for (int i = 0; i < kCount; ++i) {
        Attach(instances[i]);
        if (!instances[i].window)
            continue;
        ++found;
        SetWindowPos(instances[i].window, HWND_TOP, (i % 4) * 256, (i / 4) * 190, 250, 185, SWP_NOACTIVATE);
    }
    Check(found == kCount, "%d of %d instances started at once opened a window", found, kCount);
    int painted = 0;
    for (Instance& instance : instances)
        painted += instance.window && WaitOchre(instance.window);
    CheckPixels(painted == kCount, "%d of %d instances painted%s", painted, kCount,
                painted == kCount ? "" : ("; " + OchreMissing()).c_str());
    // All closed at once: each ends in its own time, and one bound holds for the whole close.
    DWORD start = GetTickCount(), bound = HangBound(kPromptly);
    // One that had ended before its close did not close, whatever its exit code.
    for (Instance& instance : instances)
        if (instance.window && Alive(instance))
            PostMessageA(instance.window, WM_CLOSE, 0, 0);
        else
            instance.window = nullptr;
    int clean = 0;
    for (Instance& instance : instances) {
        DWORD passed = GetTickCount() - start, code = STILL_ACTIVE;
        if (instance.window &&
            WaitForSingleObject(instance.process.hProcess, passed < bound ? bound - passed : 0) == WAIT_OBJECT_0)
            GetExitCodeProcess(instance.process.hProcess, &code);
        clean += code == 0;
        Kill(instance);
    }
    DWORD took = GetTickCount() - start;
    Check(clean == kCount && took <= bound, "%d of %d instances closed at once ended with 0 within %lu ms: in %lu ms",
          clean, kCount, bound, took);
}
