// Measures Ochrelight against the GDI floor, interleaved in one run, and prints a table with ratios to the floor.
// Beside them it measures the OpenGL driver's start-up, which any program that sets a pixel format pays, and
// compares the first frame with the floor's plus that.
// Usage: bench OCHRELIGHT.EXE FLOOR.EXE JSON-FILE [FIRST-FRAME-RUNS] [REPAINTS] [IDLE-SECONDS]
// (run as "bench --pixel-format", it is the fresh process that one start-up is measured in)

#include "clock.h"
#include "../tests/e2e/driver.h"
#include "render/pixel_format.h"

#include <imagehlp.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Subject {
    const char* name;
    const char* exe;
    std::vector<double> firstFrame;  // ms
    std::vector<double> windowFound; // ms, the part of the first frame before the window exists
    std::vector<double> repaint;     // ms
    SIZE_T peakWorkingSet = 0;
    ULONGLONG idleCpu = 0;           // ms
    size_t bytes = 0;
    std::string imports;
    std::string sections;
};

// The largest working set the process has had, as the platform reports it.
SIZE_T PeakWorkingSet(const Instance& instance)
{
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(instance.process.hProcess, &memory, sizeof memory);
    return memory.PeakWorkingSetSize;
}

void Close(Instance& instance)
{
    if (instance.window)
        CloseWith(instance, WM_CLOSE, 0, 0);
    Kill(instance);
}

// From CreateProcessA to the centre of the client area seen in ochre on screen.
void MeasureFirstFrame(Subject& subject)
{
    double start = Now();
    Instance instance = Start("", -1, subject.exe);
    double found = 0;
    while (Now() - start < 20000) {
        if (!instance.window && (instance.window = FindWindowOf(instance.process.dwProcessId)) != nullptr)
            found = Now() - start;
        RECT client;
        if (instance.window && GetClientRect(instance.window, &client) && client.right > 0 &&
            IsOchre(ClientPixel(instance.window, client.right / 2, client.bottom / 2))) {
            subject.firstFrame.push_back(Now() - start);
            subject.windowFound.push_back(found);
            break;
        }
    }
    Close(instance);
}

// From a size change to the newly exposed bottom-right corner seen in ochre.
void MeasureRepaint(Subject& subject, HWND window, int left)
{
    const int kSmall = 300, kLarge = 500;
    SetWindowPos(window, nullptr, left, 0, kSmall, kSmall, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT frame;
    GetWindowRect(window, &frame);
    POINT corner = {frame.left + kLarge - 12, frame.top + kLarge - 12};
    HDC screen = GetDC(nullptr);
    // The corner must show the desktop again before it counts: an old frame left there is no repaint.
    WaitFor([&] { return !IsOchre(GetPixel(screen, corner.x, corner.y)); }, 2000);
    double start = Now();
    SetWindowPos(window, nullptr, left, 0, kLarge, kLarge, SWP_NOZORDER | SWP_NOACTIVATE);
    while (Now() - start < 5000) {
        if (IsOchre(GetPixel(screen, corner.x, corner.y))) {
            subject.repaint.push_back(Now() - start);
            break;
        }
    }
    ReleaseDC(nullptr, screen);
}

// Sets Ochrelight's pixel format on a new window of this fresh process; the microseconds it took, 0 if it failed.
UINT TimePixelFormat()
{
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
    HDC dc = GetDC(window);
    double start = Now();
    SetupPixelFormat(dc);
    double took = Now() - start;
    return dc && GetPixelFormat(dc) ? static_cast<UINT>(took * 1000) + 1 : 0;
}

// The driver's start-up, measured in a fresh process each time: later formats in a process come from a cache.
void MeasureDriverStartUp(std::vector<double>& times)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    Instance instance = Start("--pixel-format", -1, self);
    DWORD code = 0;
    if (instance.process.hProcess && WaitForSingleObject(instance.process.hProcess, 20000) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(instance.process.hProcess, &code) && code != 0)
        times.push_back((code - 1) / 1000.0);
    Kill(instance);
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Min(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double Max(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// The executable's size, imports and sections, as the platform's own image helper reads them.
void ReadImage(Subject& subject)
{
    LOADED_IMAGE image;
    if (!MapAndLoad(subject.exe, nullptr, &image, FALSE, TRUE))
        return;
    subject.bytes = image.SizeOfImage;
    ULONG size = 0;
    auto* import = static_cast<IMAGE_IMPORT_DESCRIPTOR*>(
        ImageDirectoryEntryToData(image.MappedAddress, FALSE, IMAGE_DIRECTORY_ENTRY_IMPORT, &size));
    for (; import && import->Name; ++import)
        subject.imports += std::string(subject.imports.empty() ? "" : " ") +
                           static_cast<const char*>(ImageRvaToVa(image.FileHeader, image.MappedAddress, import->Name,
                                                                 nullptr));
    for (ULONG i = 0; i < image.NumberOfSections; ++i)
        subject.sections += (subject.sections.empty() ? "" : " ") +
                            std::string(reinterpret_cast<const char*>(image.Sections[i].Name), 0,
                                        strnlen(reinterpret_cast<const char*>(image.Sections[i].Name), 8)) +
                            "=" + std::to_string(image.Sections[i].SizeOfRawData);
    subject.sections += " headers=" + std::to_string(image.FileHeader->OptionalHeader.SizeOfHeaders);
    UnMapAndLoad(&image);
}

std::string Series(const std::vector<double>& values)
{
    std::string text = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "%s%.2f", i ? ", " : "", values[i]);
        text += number;
    }
    return text + "]";
}

// A figure as JSON, or null where this platform does not report it.
std::string Figure(bool seen, unsigned long long value)
{
    return seen ? std::to_string(value) : "null";
}

void WriteJson(const char* path, const Subject& product, const Subject& floor, double startUp, double ratio,
               bool workingSetRead, bool idleRead)
{
    std::FILE* out = std::fopen(path, "w");
    if (!out)
        return;
    std::fprintf(out, "{\n  \"driver_start_up_ms\": {\"median\": %.2f},\n", startUp);
    std::fprintf(out, "  \"first_frame_to_floor_plus_start_up\": %.3f,\n", ratio);
    const Subject* subjects[] = {&product, &floor};
    for (int i = 0; i < 2; ++i) {
        const Subject& s = *subjects[i];
        std::fprintf(out,
                     "  \"%s\": {\n"
                     "    \"first_frame_ms\": {\"min\": %.2f, \"median\": %.2f, \"max\": %.2f, \"runs\": %s},\n"
                     "    \"window_found_ms\": {\"median\": %.2f},\n"
                     "    \"repaint_ms\": {\"min\": %.2f, \"median\": %.2f, \"max\": %.2f, \"runs\": %s},\n"
                     "    \"peak_working_set_kib\": %s,\n"
                     "    \"idle_cpu_ms\": %s,\n"
                     "    \"bytes\": %zu,\n"
                     "    \"imports\": \"%s\",\n"
                     "    \"sections\": \"%s\"\n"
                     "  }%s\n",
                     s.name, Min(s.firstFrame), Median(s.firstFrame), Max(s.firstFrame), Series(s.firstFrame).c_str(),
                     Median(s.windowFound), Min(s.repaint), Median(s.repaint), Max(s.repaint),
                     Series(s.repaint).c_str(), Figure(workingSetRead, s.peakWorkingSet / 1024).c_str(),
                     Figure(idleRead, s.idleCpu).c_str(),
                     s.bytes, s.imports.c_str(), s.sections.c_str(), i == 0 ? "," : "");
    }
    std::fprintf(out, "}\n");
    std::fclose(out);
}

double Ratio(double value, double floor)
{
    return floor > 0 ? value / floor : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // The probe's lines come out as they are printed, as in the driver.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 2 && std::strcmp(argv[1], "--pixel-format") == 0)
        return static_cast<int>(TimePixelFormat());
    if (argc == 3 && std::strcmp(argv[1], "--probe-helper") == 0)
        return ProbeHelper(argv[2]);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench OCHRELIGHT.EXE FLOOR.EXE JSON-FILE [RUNS] [REPAINTS] [IDLE-SECONDS]\n");
        return 2;
    }
    Scenario = "bench";
    Subject product, floor;
    product.name = "ochrelight";
    product.exe = OchrelightPath = WindowsPath(argv[1]);
    floor.name = "gdi_floor";
    floor.exe = WindowsPath(argv[2]);
    int runs = argc > 4 ? std::atoi(argv[4]) : 15;
    int repaints = argc > 5 ? std::atoi(argv[5]) : 50;
    int idleSeconds = argc > 6 ? std::atoi(argv[6]) : 10;
    Subject* order[2] = {&product, &floor};
    // Figures this platform does not report for another process are left out, never printed as a zero.
    const Sight& sight = ProbeSight();

    // A first start of each warms the file cache and Wine's own start-up; it is not counted.
    for (Subject* subject : order) {
        Subject warmUp = *subject;
        MeasureFirstFrame(warmUp);
    }
    std::vector<double> startUp;
    for (int run = 0; run < runs; ++run) {
        for (int i = 0; i < 2; ++i)
            MeasureFirstFrame(*order[(run + i) % 2]);
        MeasureDriverStartUp(startUp);
    }

    Instance productInstance = Launch("", -1, product.exe);
    Instance floorInstance = Launch("", -1, floor.exe);
    if (!productInstance.window || !floorInstance.window) {
        std::printf("a window did not open\n");
        return 1;
    }
    for (int change = 0; change < repaints; ++change) {
        if (change % 2 == 0) {
            MeasureRepaint(product, productInstance.window, 0);
            MeasureRepaint(floor, floorInstance.window, 512);
        } else {
            MeasureRepaint(floor, floorInstance.window, 512);
            MeasureRepaint(product, productInstance.window, 0);
        }
    }
    ULONGLONG productCpu = 0, floorCpu = 0, productAfter = 0, floorAfter = 0;
    bool idleRead = CpuTime(productInstance, &productCpu) && CpuTime(floorInstance, &floorCpu);
    Sleep(idleSeconds * 1000);
    idleRead = idleRead && CpuTime(productInstance, &productAfter) && CpuTime(floorInstance, &floorAfter);
    product.idleCpu = productAfter - productCpu;
    floor.idleCpu = floorAfter - floorCpu;
    product.peakWorkingSet = PeakWorkingSet(productInstance);
    floor.peakWorkingSet = PeakWorkingSet(floorInstance);
    Close(productInstance);
    Close(floorInstance);
    ReadImage(product);
    ReadImage(floor);

    std::printf("%-28s %14s %14s %8s\n", "figure", "ochrelight", "gdi floor", "ratio");
    auto row = [](const char* figure, double value, double floorValue, const char* unit) {
        std::printf("%-28s %11.1f %-2s %11.1f %-2s %8.2f\n", figure, value, unit, floorValue, unit,
                    Ratio(value, floorValue));
    };
    std::printf("first frame, %d runs each\n", runs);
    row("  min", Min(product.firstFrame), Min(floor.firstFrame), "ms");
    row("  median", Median(product.firstFrame), Median(floor.firstFrame), "ms");
    row("  max", Max(product.firstFrame), Max(floor.firstFrame), "ms");
    row("  window exists (median)", Median(product.windowFound), Median(floor.windowFound), "ms");
    double startUpMedian = Median(startUp);
    double frameRatio = Ratio(Median(product.firstFrame), Median(floor.firstFrame) + startUpMedian);
    std::printf("driver start-up of setting a pixel format, median of %zu: %.1f ms\n", startUp.size(), startUpMedian);
    std::printf("first frame against the floor's plus that start-up (medians): %.1f / (%.1f + %.1f) ms = %.2f "
                "(goal: at most 1.05)\n",
                Median(product.firstFrame), Median(floor.firstFrame), startUpMedian, frameRatio);
    std::printf("repaint after a size change, %d each\n", repaints);
    row("  min", Min(product.repaint), Min(floor.repaint), "ms");
    row("  median", Median(product.repaint), Median(floor.repaint), "ms");
    row("  max", Max(product.repaint), Max(floor.repaint), "ms");
    if (sight.workingSet)
        row("peak working set", product.peakWorkingSet / 1024.0, floor.peakWorkingSet / 1024.0, "KiB");
    else
        std::printf("peak working set: not reported by this platform for another process\n");
    char idle[64];
    std::snprintf(idle, sizeof idle, "idle CPU over %d s", idleSeconds);
    if (sight.cpu && idleRead)
        row(idle, static_cast<double>(product.idleCpu), static_cast<double>(floor.idleCpu), "ms");
    else
        std::printf("%s: not read (%s)\n", idle,
                    sight.cpu ? "a process's CPU time could not be found" : "not reported for another process");
    row("executable size", static_cast<double>(product.bytes), static_cast<double>(floor.bytes), "B");
    std::printf("imports     ochrelight: %s\n            gdi floor:  %s\n", product.imports.c_str(),
                floor.imports.c_str());
    std::printf("sections    ochrelight: %s\n            gdi floor:  %s\n", product.sections.c_str(),
                floor.sections.c_str());
    std::printf("counted: %zu/%d first frames and %zu/%d repaints of ochrelight, %zu/%d and %zu/%d of the floor\n",
                product.firstFrame.size(), runs, product.repaint.size(), repaints, floor.firstFrame.size(), runs,
                floor.repaint.size(), repaints);

    WriteJson(argv[3], product, floor, startUpMedian, frameRatio, sight.workingSet, sight.cpu && idleRead);
    bool complete = product.firstFrame.size() == static_cast<size_t>(runs) && startUp.size() == static_cast<size_t>(runs) &&
                    floor.firstFrame.size() == static_cast<size_t>(runs) &&
                    product.repaint.size() == static_cast<size_t>(repaints) &&
                    floor.repaint.size() == static_cast<size_t>(repaints);
    return complete ? 0 : 1;
}
