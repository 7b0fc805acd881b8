#!/usr/bin/python3
"""Checks with pefile that an executable is built hardened: a GUI program for Windows Vista and later of the word size
asked for, ASLR with real relocations (the whole 64-bit address space on x64), DEP, no exception handlers on x86 and
unwind data for its functions on x64, terminal-server aware, no writable code, only system DLLs, and the manifest and
version resource that Windows reads.
Usage: pe_headers.py EXECUTABLE BITS VERSION AUTHORS COPYRIGHT [LINKER-MAP]   (the map names x64's functions)"""

import re
import sys
import xml.etree.ElementTree as ElementTree

import pefile

results = []


def check(ok, text):
    """Records one check and prints its line."""
    print(("ok   " if ok else "FAIL ") + text)
    results.append(bool(ok))
    return ok


def resource(pe, kind, ident):
    """The bytes of resource IDENT of type KIND, in its first language, or None."""
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in directory.entries if directory else []:
        if entry.id != kind:
            continue
        for named in entry.directory.entries:
            if named.id == ident:
                data = named.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def check_unwind_data(pe, map_path):
    """The exception directory's function table is sound, and covers the entry routine and the named functions."""
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXCEPTION"]]
    section = pe.get_section_by_rva(directory.VirtualAddress)
    read_only = section and not section.Characteristics & 0xA0000000
    if not check(directory.Size and directory.Size % 12 == 0 and read_only,
                 "exception directory: %d bytes in a read-only data section" % directory.Size):
        return
    entries = [(entry.struct.BeginAddress, entry.struct.EndAddress, entry.struct.UnwindData)
               for entry in getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", [])]
    sound, end = 0, 0
    for begin, finish, unwind in entries:
        code = pe.get_section_by_rva(begin)
        in_code = code and code.Characteristics & 0x20000000 and begin < finish <= code.VirtualAddress + code.Misc_VirtualSize
        sound += bool(in_code and begin >= end and pe.get_data(unwind, 1)[0] & 7 == 1)
        end = finish
    if not check(entries and sound == len(entries),
                 "function table: %d of %d entries sorted, in code, with unwind data" % (sound, len(entries))):
        entries = []
    covered = lambda rva: any(begin <= rva < finish for begin, finish, _ in entries)
    entry_point = pe.OPTIONAL_HEADER.AddressOfEntryPoint
    check(covered(entry_point), "unwind data covers the entry routine at 0x%X" % entry_point)
    if not map_path:
        return
    with open(map_path) as map_file:
        text = map_file.read()
    base = pe.OPTIONAL_HEADER.ImageBase
    for name in ("WindowProc", "LoadOpenGL", "SetupPixelFormat"):
        found = re.search(r"^\s+0x([0-9a-f]+)\s+%s(\(|$)" % name, text, re.M)
        rva = int(found.group(1), 16) - base if found else 0
        check(rva > 0 and covered(rva), "unwind data covers %s at 0x%X" % (name, max(rva, 0)))


ASM3, COMPATIBILITY = "{urn:schemas-microsoft-com:asm.v3}", "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS = "{http://schemas.microsoft.com/SMI/%s/WindowsSettings}"
# Each element the manifest must have, by its attributes or its text, and what it means.
MANIFEST_SAYS = [(ASM3 + "requestedExecutionLevel", {"level": "asInvoker", "uiAccess": "false"}, None,
                  "runs as its user, no UI access")] + [
    (COMPATIBILITY + "supportedOS", {"Id": "{%s}" % guid}, None, "supports Windows " + name) for guid, name in [
        ("e2011457-1546-43c5-a5fe-008deee3d3f0", "Vista"), ("35138b9a-5d96-4fbd-8e2d-a2440225f93a", "7"),
        ("4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "8"), ("1f676c76-80e1-4239-95bb-83d0f6d0da78", "8.1"),
        ("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a", "10 and 11")]] + [
    (SETTINGS % 2005 + "dpiAware", {}, "true/pm", "per-monitor DPI aware before Windows 10 1607"),
    (SETTINGS % 2016 + "dpiAwareness", {}, "PerMonitorV2, PerMonitor", "per-monitor v2 DPI aware where Windows has it")]
MANIFEST_ELEMENTS = {"assembly", "trustInfo", "security", "requestedPrivileges", "requestedExecutionLevel",
                     "compatibility", "application", "supportedOS", "windowsSettings", "dpiAware", "dpiAwareness"}


def check_manifest(pe):
    """The manifest runs the program as its user, for Vista to 11, per-monitor DPI aware, and asks for nothing else."""
    data = resource(pe, 24, 1)
    if not check(data is not None, "manifest: resource 1 of type RT_MANIFEST, %d bytes" % len(data or b"")):
        return
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError as error:
        check(False, "manifest: well-formed XML, but %s" % error)
        return
    elements = list(root.iter())
    check(root.tag == "{urn:schemas-microsoft-com:asm.v1}assembly",
          "manifest: well-formed, %d elements in <assembly>" % len(elements))
    for element in elements:
        local = element.tag.split("}")[-1]
        if local not in MANIFEST_ELEMENTS:
            check(False, "manifest: <%s> is not one it should have" % local)
    for tag, attributes, text, meaning in MANIFEST_SAYS:
        check(any(element.attrib == attributes and (text is None or element.text == text) for element in root.iter(tag)),
              "manifest: " + meaning)


def check_version(pe, version, authors, copyright_line):
    """The version resource says what the build's project says: its version, in numbers and in words, and its names."""
    data = resource(pe, 16, 1)
    check(data is not None, "version: resource 1 of type RT_VERSION, %d bytes" % len(data or b""))
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    major, minor, patch = (int(part) for part in version.split("."))
    numbers = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16,
               fixed.FileVersionLS & 0xFFFF) if fixed else (0, 0, 0, 0)
    check(fixed and fixed.Signature == 0xFEEF04BD and numbers == (major, minor, patch, 0),
          "version: file version %d.%d.%d.%d" % numbers)
    strings = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({key.decode(): value.decode() for key, value in table.entries.items()})
    for key, wanted in [("CompanyName", authors), ("FileDescription", "Ochrelight"), ("FileVersion", version),
                        ("LegalCopyright", copyright_line), ("OriginalFilename", "Ochrelight.exe"),
                        ("ProductName", "Ochrelight"), ("ProductVersion", version)]:
        seen = '"%s"' % strings[key] if key in strings else "(none)"
        check(seen == '"%s"' % wanted, "version: %s %s" % (key, seen))


def main(path, bits, version, authors, copyright_line, map_path=None):
    try:
        pe = pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        print("FAIL %s is not a readable PE image: %s\n0 passed, 1 failed" % (path, error))
        return 1
    header, optional = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    print("%s: %d bytes" % (path, len(pe.__data__)))
    machine, magic, kind = (0x8664, 0x20B, "PE32+ for x86-64") if bits == "64" else (0x14C, 0x10B, "PE32 for i386")
    check(header.Machine == machine and optional.Magic == magic,
          "%s (machine 0x%X, magic 0x%X)" % (kind, header.Machine, optional.Magic))
    check(optional.Subsystem == 2, "GUI subsystem (%d)" % optional.Subsystem)
    os_version = (optional.MajorOperatingSystemVersion, optional.MinorOperatingSystemVersion,
                  optional.MajorSubsystemVersion, optional.MinorSubsystemVersion)
    check(os_version == (6, 0, 6, 0),
          "for Windows Vista and later: OS version %d.%d, subsystem version %d.%d" % os_version)

    relocations = optional.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    check(optional.IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE and not header.IMAGE_FILE_RELOCS_STRIPPED and
          relocations.VirtualAddress and relocations.Size > 8,
          "ASLR: DYNAMIC_BASE with a %d-byte relocation table" % relocations.Size)
    check(optional.IMAGE_DLLCHARACTERISTICS_NX_COMPAT, "DEP: NX_COMPAT")
    if bits == "64":
        check(optional.IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA, "HIGH_ENTROPY_VA")
        check_unwind_data(pe, map_path)
    else:
        check(optional.IMAGE_DLLCHARACTERISTICS_NO_SEH, "NO_SEH")
    check(optional.IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, "TERMINAL_SERVER_AWARE")

    for section in pe.sections:
        writable, executable = section.IMAGE_SCN_MEM_WRITE, section.IMAGE_SCN_MEM_EXECUTE
        check(not (writable and executable), "section %-8s %5d bytes in file, %s%s" % (
            section.Name.rstrip(b"\0").decode(), section.SizeOfRawData, "writable" if writable else "read-only",
            ", executable" if executable else ""))

    check_manifest(pe)
    check_version(pe, version, authors, copyright_line)

    imports = [entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    for dll in imports:
        check(dll.lower() in ("kernel32.dll", "user32.dll", "gdi32.dll"), "imports %s" % dll)
    check(imports, "%d DLLs imported" % len(imports))

    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    if len(sys.argv) not in (6, 7):
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
