#!/usr/bin/env python3
"""Fails when a Windows program needs anything newer than Windows 7 SP1.

    scripts/check-imports.py [--delay-def DEF]... EXE...

For each EXE (PE32 or PE32+) it reads the PE header and the import tables (ordinary and
delay-load) and checks:
  - the header's OS and subsystem versions are at most 6.1 (Windows 7);
  - every function imported by name from a Windows DLL exists on Windows 7 SP1.

How it knows the second: each imported name is compiled against MinGW-w64's own Windows
headers with _WIN32_WINNT and WINVER at 0x0601, for the EXE's architecture. Those headers
declare a function only for the Windows versions that have it, so a newer function is
"undeclared" there. Two lists fill the headers' gaps:
  - NEWER_THAN_WINDOWS_7: functions the headers still declare at 0x0601 although they
    appeared later (found by probing the headers with known Windows 8 and 10 functions);
  - CRT_ENTRIES: msvcrt.dll's start-up and internal entries, which no header declares but
    every msvcrt.dll since Windows 2000 exports.
Any other name the headers do not know fails too: what cannot be checked is not passed.
An import by ordinal alone fails for the same reason.

GNU dlltool's delay-load import libraries (--output-delaylib) leave no delay-load
directory in the PE file; their names are read from the .def file each was made from
(--delay-def). (lld's --delayload writes the directory, which is read as well.) For such a
DLL the check also finds its delay-load descriptor in the image and fails unless every slot
of its address table holds the address of code (the stub that loads the DLL at the first
call) and the table has one slot per function of the .def.
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile

WINDOWS_7 = (6, 1)

# Declared by MinGW-w64 10's headers at _WIN32_WINNT=0x0601 but missing from Windows 7 SP1
# (minimum version from Microsoft's documentation of each function).
NEWER_THAN_WINDOWS_7 = {
    "GetSystemTimePreciseAsFileTime": "Windows 8",
    "SetDefaultDllDirectories": "Windows 8 (Windows 7 only with update KB2533623)",
    "AddDllDirectory": "Windows 8 (Windows 7 only with update KB2533623)",
    "RemoveDllDirectory": "Windows 8 (Windows 7 only with update KB2533623)",
    "WaitOnAddress": "Windows 8",
    "WakeByAddressSingle": "Windows 8",
    "WakeByAddressAll": "Windows 8",
    "GetOverlappedResultEx": "Windows 8",
    "CopyFile2": "Windows 8",
    "InitializeSynchronizationBarrier": "Windows 8",
    "EnterSynchronizationBarrier": "Windows 8",
    "DeleteSynchronizationBarrier": "Windows 8",
    "SetDisplayAutoRotationPreferences": "Windows 8",
    "GetDisplayAutoRotationPreferences": "Windows 8",
    "IsImmersiveProcess": "Windows 8",
    "CreateFileMappingFromApp": "Windows 8",
    "MapViewOfFileFromApp": "Windows 10",
    "SetDialogControlDpiChangeBehavior": "Windows 10 1703",
}

# msvcrt.dll entries for the C run-time's start-up and internals, not declared in any
# public header; all exported by msvcrt.dll since Windows 2000.
CRT_ENTRIES = {
    "__getmainargs", "__wgetmainargs", "__set_app_type", "__setusermatherr", "__p__fmode",
    "__p__commode", "__p__acmdln", "__p__wcmdln", "__initenv", "__winitenv", "_amsg_exit",
    "_initterm", "_cexit", "_onexit", "__dllonexit", "_XcptFilter", "__C_specific_handler",
    "_setjmp3", "_setjmp", "_setjmpex", "__lconv_init", "_lock", "_unlock", "__iob_func", "_iob",
    "__mb_cur_max", "___mb_cur_max_func", "___lc_codepage_func", "__badioinfo", "__pioinfo",
    "_fmode", "_commode", "_acmdln", "_wcmdln",
}

# MinGW-w64's headers for the DLLs a Windows program here may import from.
HEADERS = [
    "winsock2.h", "ws2tcpip.h", "windows.h", "commctrl.h", "commdlg.h", "shellapi.h",
    "shlobj.h", "shlwapi.h", "ole2.h", "oleauto.h", "oleacc.h", "objbase.h", "uxtheme.h",
    "psapi.h", "winver.h", "sql.h", "sqlext.h", "sqlucode.h", "stdio.h", "stdlib.h",
    "string.h", "wchar.h", "wctype.h", "ctype.h", "locale.h", "signal.h", "setjmp.h",
    "time.h", "math.h", "errno.h", "process.h", "io.h", "malloc.h", "fcntl.h",
]

COMPILERS = {0x14C: "i686-w64-mingw32-gcc", 0x8664: "x86_64-w64-mingw32-gcc"}


class PeFile:
    """The parts of a PE image this check needs."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError(f"{path}: not a PE file")
        nt = struct.unpack_from("<I", d, 0x3C)[0]
        if d[nt:nt + 4] != b"PE\0\0":
            raise ValueError(f"{path}: no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", d, nt + 4)
        opt_size = struct.unpack_from("<H", d, nt + 20)[0]
        opt = nt + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        self.pe32plus = magic == 0x20B
        self.os_version = struct.unpack_from("<HH", d, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", d, opt + 48)
        dirs = opt + (112 if self.pe32plus else 96)
        self.directories = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", d, s + 8)
            flags = struct.unpack_from("<I", d, s + 36)[0]
            self.sections.append((va, max(vsize, rawsize), rawptr, flags))

    def offset(self, rva):
        for va, size, raw, _ in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError(f"RVA {rva:#x} is in no section")

    def cstring(self, rva):
        o = self.offset(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("ascii")

    def thunk_names(self, rva):
        """The names of one import lookup table; ordinals as '#N'."""
        size, flag = (8, 1 << 63) if self.pe32plus else (4, 1 << 31)
        names = []
        o = self.offset(rva)
        while True:
            value = struct.unpack_from("<Q" if self.pe32plus else "<I", self.data, o)[0]
            if value == 0:
                return names
            names.append(f"#{value & 0xFFFF}" if value & flag else self.cstring((value & 0x7FFFFFFF) + 2))
            o += size

    def imports(self):
        """(dll, name) for the import directory and the delay-load directory."""
        result = []
        rva, size = self.directories[1]
        o = self.offset(rva) if size else None
        while o is not None:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, o)
            if name == 0:
                break
            dll = self.cstring(name)
            result += [(dll, n) for n in self.thunk_names(lookup or first)]
            o += 20
        rva, size = self.directories[13]
        o = self.offset(rva) if size else None
        while o is not None:
            # Attributes, name, module handle, address table, name table, ...
            attrs, name, _, _, lookup = struct.unpack_from("<IIIII", self.data, o)
            if name == 0:
                break
            # Version 1 descriptors hold RVAs; the old form holds addresses.
            base = 0 if attrs & 1 else self.image_base()
            dll = self.cstring(name - base)
            result += [(dll, n) for n in self.thunk_names(lookup - base)]
            o += 32
        return result

    def in_code(self, rva):
        return any(va <= rva < va + size and flags & 0x20000000 for va, size, _, flags in self.sections)

    def unbound_delay_imports(self, dll):
        """For a DLL delay-loaded through dlltool's library (no directory entry), the
        number of its functions and the slots of its address table that do not point into
        the program's code. Each slot must first hold the address of its function's stub,
        which loads the DLL; one that does not sends the first call to nowhere. None when
        the image holds no descriptor for DLL."""
        d, base = self.data, self.image_base()
        size = 8 if self.pe32plus else 4
        names = {m.start() for m in re.finditer(re.escape(dll.encode()) + b"\0", d, re.IGNORECASE)}
        name_rvas = set()
        for va, sec_size, raw, _ in self.sections:
            name_rvas |= {o - raw + va for o in names if raw <= o < raw + sec_size}
        for o in range(0, len(d) - 32, 4):
            attrs, name, _, iat, lookup = struct.unpack_from("<IIIII", d, o)
            if attrs != 1 or name not in name_rvas:
                continue
            bad, count = [], 0
            fmt = "<Q" if self.pe32plus else "<I"
            while struct.unpack_from(fmt, d, self.offset(lookup + count * size))[0]:
                slot = struct.unpack_from(fmt, d, self.offset(iat + count * size))[0]
                if not self.in_code(slot - base):
                    bad.append(count)
                count += 1
            return count, bad
        return None

    def image_base(self):
        nt = struct.unpack_from("<I", self.data, 0x3C)[0]
        opt = nt + 24
        return struct.unpack_from("<Q", self.data, opt + 24)[0] if self.pe32plus else \
            struct.unpack_from("<I", self.data, opt + 28)[0]


def def_file_imports(path):
    """(dll, name) for the EXPORTS of a module-definition file, decorations removed."""
    dll, names, in_exports = None, [], False
    with open(path) as f:
        for line in f:
            line = line.split(";", 1)[0].strip()
            if not line:
                continue
            if line.upper().startswith("LIBRARY"):
                dll = line.split()[1]
            elif line.upper() == "EXPORTS":
                in_exports = True
            elif in_exports:
                names.append(re.sub(r"@\d+$", "", line.split()[0]))
    return [(dll, n) for n in names]


def undeclared(names, compiler):
    """The names that MinGW-w64's headers at Windows 7 do not declare."""
    source = "".join(f"#include <{h}>\n" for h in HEADERS)
    source += "".join(f"void *probe_{i} = (void *)&{n};\n" for i, n in enumerate(names))
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "probe.c")
        with open(path, "w") as f:
            f.write(source)
        run = subprocess.run(
            [compiler, "-fsyntax-only", "-fmax-errors=0", "-w", "-DUNICODE", "-D_UNICODE",
             "-D_WIN32_WINNT=0x0601", "-DWINVER=0x0601", path],
            capture_output=True, text=True, env={**os.environ, "LC_ALL": "C"})
    found = set(re.findall(r"error: '([A-Za-z_0-9]+)' undeclared", run.stderr))
    if run.returncode != 0 and not found:
        raise RuntimeError(f"the header probe did not compile:\n{run.stderr[:2000]}")
    return found


def check(path, delay_defs):
    pe = PeFile(path)
    problems = []
    for what, version in (("OS version", pe.os_version), ("subsystem version", pe.subsystem_version)):
        if tuple(version) > WINDOWS_7:
            problems.append(f"PE header {what} {version[0]}.{version[1]} is newer than Windows 7 (6.1)")
    imports = pe.imports()
    for d in delay_defs:
        from_def = def_file_imports(d)
        imports += from_def
        if pe.directories[13][1] == 0 and from_def:
            found = pe.unbound_delay_imports(from_def[0][0])
            if found is None:
                problems.append(f"{from_def[0][0]}: no delay-load descriptor in the image")
            elif found[1] or found[0] != len(from_def):
                problems.append(f"{from_def[0][0]}: {len(found[1])} of {found[0]} delay-load address "
                                f"slots do not point at their stubs (the first call jumps to nowhere); "
                                f"{len(from_def)} functions in {os.path.basename(d)}")
    by_name = {}
    for dll, name in imports:
        if name.startswith("#"):
            problems.append(f"{dll}: import by ordinal {name} cannot be checked")
        else:
            by_name.setdefault(name, dll)
    missing = undeclared(sorted(by_name), COMPILERS[pe.machine])
    for name in sorted(by_name):
        dll = by_name[name]
        if name in NEWER_THAN_WINDOWS_7:
            problems.append(f"{dll}: {name} needs {NEWER_THAN_WINDOWS_7[name]}")
        elif name in missing and not (dll.lower() == "msvcrt.dll" and name in CRT_ENTRIES):
            problems.append(f"{dll}: {name} is newer than Windows 7 SP1 (not in the Windows 7 headers)")
    arch = "x64" if pe.pe32plus else "x86"
    if problems:
        print(f"{path} ({arch}): {len(problems)} problem(s) in its imports or header:")
        for p in problems:
            print(f"  {p}")
        return False
    dlls = sorted({dll for dll, _ in imports}, key=str.lower)
    print(f"{path} ({arch}): {len(by_name)} imported functions from {', '.join(dlls)}; "
          f"PE header {pe.os_version[0]}.{pe.os_version[1]}: all within Windows 7 SP1")
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--delay-def", action="append", default=[], help="a delay-load .def file")
    parser.add_argument("exe", nargs="+")
    args = parser.parse_args()
    ok = all([check(exe, args.delay_def) for exe in args.exe])
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
