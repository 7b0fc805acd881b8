#pragma once

// A PE32 or PE32+ image read whole from a file, with its headers, sections, resources and imported DLL names.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

struct PeImage {
    std::vector<unsigned char> bytes;
    const IMAGE_FILE_HEADER* header = nullptr;
    // The optional header's fields that differ in place between PE32 and PE32+.
    WORD magic = 0;
    WORD subsystem = 0;
    WORD dllCharacteristics = 0;
    DWORD sizeOfHeaders = 0;
    DWORD entryPoint = 0;
    ULONGLONG imageBase = 0;
    // The Windows version the image asks for: operating system and subsystem, major and minor.
    WORD osVersion[2] = {};
    WORD subsystemVersion[2] = {};
    const IMAGE_DATA_DIRECTORY* directories = nullptr;
    const IMAGE_SECTION_HEADER* sections = nullptr;

    // Reads the file; false when it cannot be read or is not a PE32 or PE32+ image.
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
            bytes.size() < dos->e_lfanew + sizeof(IMAGE_NT_HEADERS64))
            return false;
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(bytes.data() + dos->e_lfanew);
        if (nt->Signature != IMAGE_NT_SIGNATURE)
            return false;
        header = &nt->FileHeader;
        sections = IMAGE_FIRST_SECTION(nt);
        magic = nt->OptionalHeader.Magic;
        if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
            return ReadOptional(nt->OptionalHeader);
        if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
            return ReadOptional(reinterpret_cast<const IMAGE_NT_HEADERS64*>(nt)->OptionalHeader);
        return false;
    }

    template <typename OptionalHeader>
    bool ReadOptional(const OptionalHeader& optional)
    {
        subsystem = optional.Subsystem;
        dllCharacteristics = optional.DllCharacteristics;
        sizeOfHeaders = optional.SizeOfHeaders;
        entryPoint = optional.AddressOfEntryPoint;
        imageBase = optional.ImageBase;
        osVersion[0] = optional.MajorOperatingSystemVersion;
        osVersion[1] = optional.MinorOperatingSystemVersion;
        subsystemVersion[0] = optional.MajorSubsystemVersion;
        subsystemVersion[1] = optional.MinorSubsystemVersion;
        directories = optional.DataDirectory;
        const auto* end = reinterpret_cast<const unsigned char*>(sections + header->NumberOfSections);
        return end <= bytes.data() + bytes.size();
    }

    // The bytes in the file at an address of the loaded image, or null.
    const unsigned char* At(DWORD rva) const
    {
        for (WORD i = 0; i < header->NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& section = sections[i];
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
                DWORD at = rva - section.VirtualAddress + section.PointerToRawData;
                return at < bytes.size() ? bytes.data() + at : nullptr;
            }
        }
        return nullptr;
    }

    // The section holding an address of the loaded image, or null.
    const IMAGE_SECTION_HEADER* SectionOf(DWORD rva) const
    {
        for (WORD i = 0; i < header->NumberOfSections; ++i)
            if (rva >= sections[i].VirtualAddress && rva < sections[i].VirtualAddress + sections[i].Misc.VirtualSize)
                return &sections[i];
        return nullptr;
    }

    std::string SectionName(WORD i) const
    {
        const char* name = reinterpret_cast<const char*>(sections[i].Name);
        return std::string(name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
    }

    // The data of the resource of this type and numeric id, in its first language, or null; `size` gets its length.
    const unsigned char* Resource(WORD type, WORD id, DWORD* size) const
    {
        DWORD root = directories[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
        if (!root)
            return nullptr;
        // Type, then id, then language: each level's entry points at the next directory, the last at the data.
        DWORD at = 0;
        const WORD wanted[] = {type, id, 0};
        for (int level = 0; level < 3; ++level) {
            const auto* directory = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY*>(At(root + at));
            if (!directory)
                return nullptr;
            const auto* entries = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY_ENTRY*>(directory + 1);
            int count = directory->NumberOfNamedEntries + directory->NumberOfIdEntries, found = -1;
            for (int i = 0; i < count && found < 0; ++i)
                if (level == 2 || (!entries[i].NameIsString && entries[i].Id == wanted[level]))
                    found = i;
            if (found < 0 || entries[found].DataIsDirectory != (level < 2))
                return nullptr;
            at = level < 2 ? entries[found].OffsetToDirectory : entries[found].OffsetToData;
        }
        const auto* entry = reinterpret_cast<const IMAGE_RESOURCE_DATA_ENTRY*>(At(root + at));
        const unsigned char* data = entry ? At(entry->OffsetToData) : nullptr;
        if (!data || data + entry->Size > bytes.data() + bytes.size())
            return nullptr;
        *size = entry->Size;
        return data;
    }

    // The DLL names of the import table, in its order; "?" for a name that cannot be read.
    std::vector<std::string> Imports() const
    {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY& imports = directories[IMAGE_DIRECTORY_ENTRY_IMPORT];
        const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(At(imports.VirtualAddress));
        for (; descriptor && descriptor->Name; ++descriptor) {
            const char* name = reinterpret_cast<const char*>(At(descriptor->Name));
            names.push_back(name ? name : "?");
        }
        return names;
    }
};
