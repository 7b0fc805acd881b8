// Reads an executable's PE headers and checks that it is built hardened: a GUI program for Windows Vista and later on
// the machine this checker is built for, with ASLR backed by real relocations (using the whole 64-bit address space on
// x64), DEP, no exception handlers on x86 and unwind data for its functions on x64, terminal-server aware, no writable
// code, only system DLLs imported, and with the manifest and the version resource that Windows reads.
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

// The element names of a well-formed XML document, in order; empty when it is not well-formed (a tag unclosed or
// closed out of turn, an attribute not quoted, text outside the root).
std::vector<std::string> XmlElements(const std::string& xml)
{
    std::vector<std::string> names, open;
    size_t at = 0;
    if (xml.compare(0, 5, "<?xml") == 0)
        at = xml.find("?>") + 2;
    while ((at = xml.find_first_not_of(" \t\r\n", at)) != std::string::npos) {
        if (xml[at] != '<')
            return {};
        size_t end = xml.find('>', at);
        if (end == std::string::npos)
            return {};
        std::string tag = xml.substr(at + 1, end - at - 1);
        at = end + 1;
        if (tag[0] == '/') {
            if (open.empty() || open.back() != tag.substr(1))
                return {};
            open.pop_back();
        } else {
            bool empty = tag.back() == '/';
            if (empty)
                tag.pop_back();
            std::string name = tag.substr(0, tag.find_first_of(" \t\r\n"));
            // Each attribute is name="value".
            for (size_t equals = tag.find('='); equals != std::string::npos; equals = tag.find('=', equals + 1)) {
                size_t close = tag[equals + 1] == '"' ? tag.find('"', equals + 2) : std::string::npos;
                if (close == std::string::npos)
                    return {};
                equals = close;
            }
            names.push_back(name);
            if (!empty)
                open.push_back(name);
        }
        if (open.empty())
            return xml.find_first_not_of(" \t\r\n", at) == std::string::npos ? names : std::vector<std::string>();
        // Text inside an element runs to the next tag.
        at = xml.find('<', at);
        if (at == std::string::npos)
            return {};
    }
    return {};
}

// The manifest runs the program as its user, for Vista to 11, per-monitor DPI aware, and asks for nothing else.
void CheckManifest(const PeImage& image)
{
    DWORD size = 0;
    const unsigned char* data = image.Resource(24, 1, &size);
    if (!Check(data != nullptr, "manifest: resource 1 of type RT_MANIFEST, %lu bytes", size))
        return;
    std::string xml(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> elements = XmlElements(xml);
    Check(!elements.empty() && elements[0] == "assembly", "manifest: well-formed, %zu elements in <assembly>",
          elements.size());
    const char* const allowed[] = {"assembly", "trustInfo", "security", "requestedPrivileges",
                                   "requestedExecutionLevel", "compatibility", "application", "supportedOS",
                                   "windowsSettings", "dpiAware", "dpiAwareness"};
    for (const std::string& element : elements) {
        bool known = false;
        for (const char* name : allowed)
            known = known || element == name;
        if (!known)
            Check(false, "manifest: <%s> is not one it should have", element.c_str());
    }
    const struct {
        const char* text;
        const char* meaning;
    } says[] = {
        {"<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>", "runs as its user, no UI access"},
        {"<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>", "supports Windows Vista"},
        {"<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>", "supports Windows 7"},
        {"<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>", "supports Windows 8"},
        {"<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>", "supports Windows 8.1"},
        {"<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>", "supports Windows 10 and 11"},
        {">true/pm</dpiAware>", "per-monitor DPI aware before Windows 10 1607"},
        {">PerMonitorV2, PerMonitor</dpiAwareness>", "per-monitor v2 DPI aware where Windows has it"},
    };
    for (const auto& say : says)
        Check(xml.find(say.text) != std::string::npos, "manifest: %s", say.meaning);
}

// One block of a version resource: its key, value and children, each 32-bit aligned from the resource's start.
struct VersionBlock {
    std::string key;
    const unsigned char* value;
    WORD valueLength, type;
    const unsigned char *children, *end;
};

// The first 32-bit boundary at or after `at`, counted from the resource's start.
const unsigned char* Aligned(const unsigned char* base, const unsigned char* at)
{
    return base + ((at - base + 3) & ~3);
}

bool ReadVersionBlock(const unsigned char* base, const unsigned char* at, const unsigned char* limit,
                      VersionBlock* block)
{
    WORD length, valueLength, type;
    if (at + 6 > limit)
        return false;
    std::memcpy(&length, at, 2);
    std::memcpy(&valueLength, at + 2, 2);
    std::memcpy(&type, at + 4, 2);
    block->end = at + length;
    if (length < 6 || block->end > limit)
        return false;
    block->key.clear();
    const unsigned char* p = at + 6;
    for (; p + 2 <= block->end && (p[0] || p[1]); p += 2)
        block->key += static_cast<char>(p[0]);
    block->value = Aligned(base, p + 2);
    block->valueLength = valueLength;
    block->type = type;
    // A string's length counts characters, a binary value's bytes.
    block->children = Aligned(base, block->value + valueLength * (type == 1 ? 2 : 1));
    return block->value <= block->end;
}

// The version resource says what the build's project says: its version, in numbers and in words, and its names.
void CheckVersion(const PeImage& image)
{
    DWORD size = 0;
    const unsigned char* data = image.Resource(16, 1, &size);
    if (!Check(data != nullptr, "version: resource 1 of type RT_VERSION, %lu bytes", size))
        return;
    const unsigned char* limit = data + size;
    VersionBlock root, table, info, string;
    DWORD fixed[4] = {};
    if (ReadVersionBlock(data, data, limit, &root) && root.valueLength >= sizeof fixed)
        std::memcpy(fixed, root.value, sizeof fixed);
    unsigned major = 0, minor = 0, patch = 0;
    std::sscanf(OCHRELIGHT_VERSION, "%u.%u.%u", &major, &minor, &patch);
    Check(root.key == "VS_VERSION_INFO" && fixed[0] == 0xFEEF04BD && fixed[2] == (major << 16 | minor) &&
              fixed[3] == patch << 16,
          "version: file version %lu.%lu.%lu.%lu", fixed[2] >> 16, fixed[2] & 0xFFFF, fixed[3] >> 16,
          fixed[3] & 0xFFFF);
    std::vector<std::pair<std::string, std::string>> strings;
    for (const unsigned char* at = root.children; at < root.end && ReadVersionBlock(data, at, limit, &info);
         at = Aligned(data, info.end)) {
        if (info.key != "StringFileInfo" || !ReadVersionBlock(data, info.children, info.end, &table))
            continue;
        for (const unsigned char* s = table.children; s < table.end && ReadVersionBlock(data, s, table.end, &string);
             s = Aligned(data, string.end)) {
            std::string text;
            for (WORD i = 0; i + 1 < string.valueLength; ++i)
                text += static_cast<char>(string.value[2 * i]);
            strings.push_back({string.key, text});
        }
    }
    const std::pair<std::string, std::string> expected[] = {
        {"CompanyName", OCHRELIGHT_AUTHORS},       {"FileDescription", "Ochrelight"},
        {"FileVersion", OCHRELIGHT_VERSION},       {"LegalCopyright", OCHRELIGHT_COPYRIGHT},
        {"OriginalFilename", "Ochrelight.exe"},    {"ProductName", "Ochrelight"},
        {"ProductVersion", OCHRELIGHT_VERSION},
    };
    for (const auto& want : expected) {
        std::string seen = "(none)";
        for (const auto& string : strings)
            if (string.first == want.first)
                seen = "\"" + string.second + "\"";
        Check(seen == "\"" + want.second + "\"", "version: %s %s", want.first.c_str(), seen.c_str());
    }
}

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

    CheckManifest(image);
    CheckVersion(image);

    std::vector<std::string> imports = image.Imports();
    for (const std::string& dll : imports)
        Check(KnownSystemDll(dll.c_str()), "imports %s", dll.c_str());
    Check(!imports.empty(), "%zu DLLs imported", imports.size());

    std::printf("%d passed, %d failed\n", Passed, Failed);
    return Failed == 0 ? 0 : 1;
}
