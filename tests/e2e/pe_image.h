#pragma once

// A PE image read whole from a file, with its headers, sections and imported DLL names.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

struct PeImage {
    std::vector<unsigned char> bytes;
    const IMAGE_NT_HEADERS32* nt = nullptr;
    const IMAGE_SECTION_HEADER* sections = nullptr;

    // Reads the file; false when it cannot be read or is not a 32-bit PE image.
    bool Load(const char* path)
    {
        std::FILE* file = std::fopen(path, "rb");
        if (!file)
            return false;
        unsigned char chunk[4096];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(file);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        if (bytes.size() < sizeof *dos || dos->e_magic != IMAGE_DOS_SIGNATURE ||
            bytes.size() < dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32))
            return false;
        nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(bytes.data() + dos->e_lfanew);
        sections = IMAGE_FIRST_SECTION(nt);
        return nt->Signature == IMAGE_NT_SIGNATURE && nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    }

    // The bytes in the file at an address of the loaded image, or null.
    const unsigned char* At(DWORD rva) const
    {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& section = sections[i];
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
                DWORD at = rva - section.VirtualAddress + section.PointerToRawData;
                return at < bytes.size() ? bytes.data() + at : nullptr;
            }
        }
        return nullptr;
    }

    std::string SectionName(WORD i) const
    {
        const char* name = reinterpret_cast<const char*>(sections[i].Name);
        return std::string(name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
    }

    // The DLL names of the import table, in its order; "?" for a name that cannot be read.
    std::vector<std::string> Imports() const
    {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(At(imports.VirtualAddress));
        for (; descriptor && descriptor->Name; ++descriptor) {
            const char* name = reinterpret_cast<const char*>(At(descriptor->Name));
            names.push_back(name ? name : "?");
        }
        return names;
    }
};
