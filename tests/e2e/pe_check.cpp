// Reads an executable's PE headers and checks that it is built hardened: a 32-bit GUI program with ASLR backed by
// real relocations, DEP, no exception handlers, terminal-server aware, no writable code, and only system DLLs imported.
// Usage: pe_check EXECUTABLE

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

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
    std::FILE* file = std::fopen(argv[1], "rb");
    if (!file) {
        std::fprintf(stderr, "pe_check: cannot open %s\n", argv[1]);
        return 2;
    }
    std::vector<unsigned char> image;
    unsigned char chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        image.insert(image.end(), chunk, chunk + got);
    std::fclose(file);

    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    if (image.size() < sizeof *dos || dos->e_magic != IMAGE_DOS_SIGNATURE ||
        image.size() < dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32)) {
        std::printf("FAIL not a PE image\n0 passed, 1 failed\n");
        return 1;
    }
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
    const IMAGE_FILE_HEADER& header = nt->FileHeader;
    const IMAGE_OPTIONAL_HEADER32& optional = nt->OptionalHeader;
    const auto* sections = IMAGE_FIRST_SECTION(nt);

    std::printf("%s: %zu bytes\n", argv[1], image.size());
    Check(nt->Signature == IMAGE_NT_SIGNATURE && header.Machine == IMAGE_FILE_MACHINE_I386 &&
              optional.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC,
          "PE32 for i386 (machine 0x%X)", header.Machine);
    Check(optional.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "GUI subsystem (%u)", optional.Subsystem);

    WORD flags = optional.DllCharacteristics;
    const IMAGE_DATA_DIRECTORY& relocations = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    Check((flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) && !(header.Characteristics & IMAGE_FILE_RELOCS_STRIPPED) &&
              relocations.VirtualAddress != 0 && relocations.Size > sizeof(IMAGE_BASE_RELOCATION),
          "ASLR: DYNAMIC_BASE with a %lu-byte relocation table", relocations.Size);
    Check(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, "DEP: NX_COMPAT");
    Check(flags & IMAGE_DLLCHARACTERISTICS_NO_SEH, "NO_SEH");
    Check(flags & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, "TERMINAL_SERVER_AWARE");

    // Translates an address of the loaded image to an offset in the file.
    auto offset = [&](DWORD rva) -> const unsigned char* {
        for (WORD i = 0; i < header.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& section = sections[i];
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
                DWORD at = rva - section.VirtualAddress + section.PointerToRawData;
                return at < image.size() ? image.data() + at : nullptr;
            }
        }
        return nullptr;
    };

    for (WORD i = 0; i < header.NumberOfSections; ++i) {
        const IMAGE_SECTION_HEADER& section = sections[i];
        char name[IMAGE_SIZEOF_SHORT_NAME + 1] = {};
        std::memcpy(name, section.Name, IMAGE_SIZEOF_SHORT_NAME);
        bool writable = section.Characteristics & IMAGE_SCN_MEM_WRITE;
        bool executable = section.Characteristics & IMAGE_SCN_MEM_EXECUTE;
        Check(!(writable && executable), "section %-8s %5lu bytes in file, %s%s", name, section.SizeOfRawData,
              writable ? "writable" : "read-only", executable ? ", executable" : "");
    }

    const IMAGE_DATA_DIRECTORY& imports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(offset(imports.VirtualAddress));
    int dlls = 0;
    for (; descriptor && descriptor->Name; ++descriptor, ++dlls) {
        const char* name = reinterpret_cast<const char*>(offset(descriptor->Name));
        Check(name && KnownSystemDll(name), "imports %s", name ? name : "(unreadable name)");
    }
    Check(dlls > 0, "%d DLLs imported", dlls);

    std::printf("%d passed, %d failed\n", Passed, Failed);
    return Failed == 0 ? 0 : 1;
}
