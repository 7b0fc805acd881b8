// Reads an executable's PE headers and checks that it is built hardened: a GUI program for the machine this checker
// is built for, with ASLR backed by real relocations (using the whole 64-bit address space on x64), DEP, no exception
// handlers on x86, terminal-server aware, no writable code, and only system DLLs imported.
// Usage: pe_check EXECUTABLE

#include <windows.h>

#include "pe_image.h"

#include <cstdarg>
#include <cstdio>

namespace {

int Passed, Failed;

void Check(bool ok, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::printf("%s ", ok ? "ok  " : "FAIL");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
    ++(ok ? Passed : Failed);
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: pe_check EXECUTABLE\n");
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

    WORD flags = image.dllCharacteristics;
    const IMAGE_DATA_DIRECTORY& relocations = image.directories[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    Check((flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) && !(header.Characteristics & IMAGE_FILE_RELOCS_STRIPPED) &&
              relocations.VirtualAddress != 0 && relocations.Size > sizeof(IMAGE_BASE_RELOCATION),
          "ASLR: DYNAMIC_BASE with a %lu-byte relocation table", relocations.Size);
    Check(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, "DEP: NX_COMPAT");
#if defined(_WIN64)
    Check(flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA, "HIGH_ENTROPY_VA");
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
