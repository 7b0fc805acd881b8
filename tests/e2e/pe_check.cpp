// Reads an executable's PE headers and checks that it is built hardened: a GUI program for Windows Vista and later on
// the machine this checker is built for, with ASLR backed by real relocations (using the whole 64-bit address space on
// x64), DEP, no exception handlers on x86 and unwind data for its functions on x64, terminal-server aware, no writable
// code, and only system DLLs imported.
// Usage: pe_check EXECUTABLE [LINKER-MAP]   (the map, on x64, names the functions the unwind data must cover)

#include <windows.h>

#include "pe_image.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Passed, Failed;

bool Check(bool ok, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::printf("%s ", ok ? "ok  " : "FAIL");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
    ++(ok ? Passed : Failed);
    return ok;
}

// Only DLLs the loader always takes from the system directory.
bool KnownSystemDll(const char* name)
{
    static const char* const known[] = {"kernel32.dll", "user32.dll", "gdi32.dll"};
    for (const char* dll : known)
        if (lstrcmpiA(name, dll) == 0)
            return true;
    return false;
}

#if defined(_WIN64)
struct FunctionEntry {
    DWORD begin, end, unwind;
};

// The function table of the exception directory, checked whole: in a read-only data section, sorted, each function
// in code and each with unwind data of version 1. Empty when there is none or it is not sound.
std::vector<FunctionEntry> FunctionTable(const PeImage& image)
{
    const IMAGE_DATA_DIRECTORY& directory = image.directories[IMAGE_DIRECTORY_ENTRY_EXCEPTION];
    const unsigned char* at = image.At(directory.VirtualAddress);
    const IMAGE_SECTION_HEADER* section = image.SectionOf(directory.VirtualAddress);
    std::vector<FunctionEntry> table;
    if (!Check(at && section && directory.Size > 0 && directory.Size % sizeof(FunctionEntry) == 0 &&
                   !(section->Characteristics & (IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_EXECUTE)),
               "exception directory: %lu bytes in a read-only data section", directory.Size))
        return table;
    DWORD sound = 0, count = directory.Size / sizeof(FunctionEntry);
    for (DWORD i = 0; i < count; ++i) {
        FunctionEntry entry;
        std::memcpy(&entry, at + i * sizeof entry, sizeof entry);
        const IMAGE_SECTION_HEADER* code = image.SectionOf(entry.begin);
        const unsigned char* unwind = image.At(entry.unwind);
        bool inCode = code && (code->Characteristics & IMAGE_SCN_MEM_EXECUTE) && entry.end > entry.begin &&
                      entry.end <= code->VirtualAddress + code->Misc.VirtualSize;
        bool sorted = table.empty() || entry.begin >= table.back().end;
        sound += inCode && sorted && unwind && (*unwind & 7) == 1;
        table.push_back(entry);
    }
    if (!Check(sound == count, "function table: %lu of %lu entries sorted, in code, with unwind data", sound, count))
        table.clear();
    return table;
}

bool Covered(const std::vector<FunctionEntry>& table, DWORD rva)
{
    for (const FunctionEntry& entry : table)
        if (rva >= entry.begin && rva < entry.end)
            return true;
    return false;
}

// The address of a function in the image, from GNU ld's map ("0x... Name(" or "0x... Name" on a line); 0 if absent.
DWORD MapAddress(const char* mapPath, const char* name, ULONGLONG imageBase)
{
    std::FILE* map = std::fopen(mapPath, "r");
    if (!map)
        return 0;
    char line[512];
    DWORD rva = 0;
    while (!rva && std::fgets(line, sizeof line, map)) {
        unsigned long long address = 0;
        char symbol[256] = "";
        if (std::sscanf(line, " 0x%llx %255[^(\n]", &address, symbol) == 2 && std::strcmp(symbol, name) == 0 &&
            address > imageBase)
            rva = static_cast<DWORD>(address - imageBase);
    }
    std::fclose(map);
    return rva;
}

void CheckUnwindData(const PeImage& image, const char* mapPath)
{
    std::vector<FunctionEntry> table = FunctionTable(image);
    Check(Covered(table, image.entryPoint), "unwind data covers the entry routine at 0x%lX", image.entryPoint);
    if (!mapPath)
        return;
    for (const char* name : {"WindowProc", "LoadOpenGL", "SetupPixelFormat"}) {
        DWORD rva = MapAddress(mapPath, name, image.imageBase);
        Check(rva && Covered(table, rva), "unwind data covers %s at 0x%lX", name, rva);
    }
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: pe_check EXECUTABLE [LINKER-MAP]\n");
        return 2;
    }
    PeImage image;
    if (!image.Load(argv[1])) {
        std::printf("FAIL %s is not a readable PE image\n0 passed, 1 failed\n", argv[1]);
        return 1;
    }
    const IMAGE_FILE_HEADER& header = *image.header;

    std::printf("%s: %zu bytes\n", argv[1], image.bytes.size());
#if defined(_WIN64)
    Check(header.Machine == IMAGE_FILE_MACHINE_AMD64 && image.magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC,
          "PE32+ for x86-64 (machine 0x%X, magic 0x%X)", header.Machine, image.magic);
#else
    Check(header.Machine == IMAGE_FILE_MACHINE_I386 && image.magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC,
          "PE32 for i386 (machine 0x%X, magic 0x%X)", header.Machine, image.magic);
#endif
    Check(image.subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "GUI subsystem (%u)", image.subsystem);
    Check(image.osVersion[0] == 6 && image.osVersion[1] == 0 && image.subsystemVersion[0] == 6 &&
              image.subsystemVersion[1] == 0,
          "for Windows Vista and later: OS version %u.%u, subsystem version %u.%u", image.osVersion[0],
          image.osVersion[1], image.subsystemVersion[0], image.subsystemVersion[1]);

    WORD flags = image.dllCharacteristics;
    const IMAGE_DATA_DIRECTORY& relocations = image.directories[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    Check((flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) && !(header.Characteristics & IMAGE_FILE_RELOCS_STRIPPED) &&
              relocations.VirtualAddress != 0 && relocations.Size > sizeof(IMAGE_BASE_RELOCATION),
          "ASLR: DYNAMIC_BASE with a %lu-byte relocation table", relocations.Size);
    Check(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, "DEP: NX_COMPAT");
#if defined(_WIN64)
    Check(flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA, "HIGH_ENTROPY_VA");
    CheckUnwindData(image, argc == 3 ? argv[2] : nullptr);
#else
    Check(flags & IMAGE_DLLCHARACTERISTICS_NO_SEH, "NO_SEH");
#endif
    Check(flags & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, "TERMINAL_SERVER_AWARE");

    for (WORD i = 0; i < header.NumberOfSections; ++i) {
        DWORD characteristics = image.sections[i].Characteristics;
        bool writable = characteristics & IMAGE_SCN_MEM_WRITE;
        bool executable = characteristics & IMAGE_SCN_MEM_EXECUTE;
        Check(!(writable && executable), "section %-8s %5lu bytes in file, %s%s", image.SectionName(i).c_str(),
              image.sections[i].SizeOfRawData, writable ? "writable" : "read-only", executable ? ", executable" : "");
    }

    std::vector<std::string> imports = image.Imports();
    for (const std::string& dll : imports)
        Check(KnownSystemDll(dll.c_str()), "imports %s", dll.c_str());
    Check(!imports.empty(), "%zu DLLs imported", imports.size());

    std::printf("%d passed, %d failed\n", Passed, Failed);
    return Failed == 0 ? 0 : 1;
}
