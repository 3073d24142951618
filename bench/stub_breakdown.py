#!/usr/bin/env python3
"""Where the bytes of plinth-setup.exe go, from the GNU ld map file of an unstripped link.

Usage: stub_breakdown.py MAP_FILE [--top N]

Every input section that lands in a loaded output section (.text, .rdata, .data, .pdata,
.xdata, ...) is charged to a group. A template instantiation is charged by its symbol (the
COMDAT section's name: RapidJSON's instantiations live in our own object files), everything else
by the object or archive member it came from. Sizes are the sections' own, before the 512-byte
file alignment of the output sections, so the total is a little below the file's size.
"""
import re
import sys
from collections import defaultdict

LOADED = {".text", ".data", ".rdata", ".pdata", ".xdata", ".bss", ".idata", ".CRT", ".tls",
          ".rsrc", ".reloc", ".edata"}

# (group, test on the archive member or object path) in order; the first match wins.
LIBSTDCXX_IOSTREAM = re.compile(
    r"(locale|ios|stream|istream|ostream|iostream|sstream|fstream|codecvt|ctype|messages|"
    r"monetary|numeric_members|time_members|collate|basic_file|c\+\+locale|wlocale|"
    r"compatibility|globals_io|stdio_filebuf|stdio_sync_filebuf)", re.I)
LIBSTDCXX_EH = re.compile(
    r"(eh_|cp-demangle|vterminate|del_op|new_op|guard|pure|bad_|exception|stdexcept|"
    r"functexcept|cxx11-shim|snprintf_lite|system_error|functional|atexit_thread|"
    r"class_type_info|si_class|vmi_class|tinfo|pbase|pointer_type|fundamental|"
    r"dyncast|vec\.o|throw|terminate|unexpected)", re.I)


def group_of(section_name: str, source: str) -> str:
    # Instantiations (COMDAT sections carry the mangled symbol).
    if "rapidjson" in section_name:
        return "RapidJSON instantiations"
    src = source.replace("\\", "/")
    member = ""
    m = re.search(r"\(([^()]*)\)\s*$", src)
    if m:
        member = m.group(1)
    lib = src.split("(")[0].rsplit("/", 1)[-1]
    if lib == "libz.a":
        return "zlib"
    if lib in ("libgcc_eh.a",) or member.startswith("unwind"):
        return "exceptions/unwind (libgcc_eh, libsupc++)"
    if lib in ("libstdc++.a", "libsupc++.a"):
        if "cp-demangle" in member or "vterminate" in member:
            return "terminate handler + demangler (libstdc++)"
        if LIBSTDCXX_IOSTREAM.search(member) and not LIBSTDCXX_EH.search(member):
            return "iostreams/locale (libstdc++)"
        if LIBSTDCXX_EH.search(member) or member.startswith("eh_"):
            return "exceptions/unwind (libgcc_eh, libsupc++)"
        return "libstdc++ other (strings, COW strings, containers)"
    if lib in ("libwinpthread.a", "libpthread.a"):
        return "winpthread (posix thread model)"
    if lib in ("libmingwex.a",):
        if re.search(r"(gdtoa|strtod|strtof|strtold|gethex|hexnan|pformat|printf|dmisc|gmisc|"
                     r"misc\.o|sum\.o|smisc|ulp|strtopx|strtodg|g_|mingw_pformat)", member, re.I):
            return "C runtime: printf/strtod (mingwex)"
        return "C runtime: other (mingwex)"
    if lib in ("libmingw32.a", "libmsvcrt.a", "libucrt.a", "libucrtbase.a", "libgcc.a") or \
            re.search(r"crt[0-9a-z]*\.o$|crtbegin|crtend", src):
        return "C runtime: start-up (mingw32, libgcc)"
    if re.match(r"lib(kernel32|user32|shell32|ole32|oleaut32|advapi32|gdi32|comctl32|"
                r"plinth-comctl32|uuid|comdlg32|winspool)\.a$", lib):
        return "imports (Windows DLLs)"
    if section_name.startswith(".rsrc") or src.endswith(".res") or ".rc.res" in src:
        return "resources (icon, manifest, version)"
    # Our own objects: template instantiations of the standard library still count as ours only
    # when they are not std:: code; charge std:: instantiations to the library they belong to.
    if re.search(r"\$_ZN?K?St|\$_ZNSt|\$_ZSt|\$_ZNKSt|\$_ZNSs|\$_ZNKSs|\$_ZNSa", section_name):
        return "std:: instantiations in our objects"
    # (Under link-time optimization our code comes from the compiler's own objects: see
    # stub_objects.py for each source file's share.)
    if "plinth" in src or src.endswith(".obj") or ".ltrans" in src:
        return "our code"
    return "other: " + lib


def parse(path):
    """Yields (output_section, input_section_name, size, source)."""
    out_section = None
    pending = None  # an input section name on a line of its own (long names wrap)
    in_memory_map = False
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                in_memory_map = True
                continue
            if not in_memory_map:
                continue
            m = re.match(r"^(\.[A-Za-z_$.0-9]+|/DISCARD/)\s", line + " ")
            if m and not line.startswith(" "):
                out_section = m.group(1)
                pending = None
                continue
            if out_section not in LOADED:
                continue
            m = re.match(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+)$", line)
            if m:
                yield out_section, m.group(1), int(m.group(3), 16), m.group(4)
                pending = None
                continue
            m = re.match(r"^ (\.\S+)$", line)
            if m:
                pending = m.group(1)
                continue
            m = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.+)$", line)
            if m and pending:
                yield out_section, pending, int(m.group(2), 16), m.group(3)
                pending = None
                continue


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    top = 0
    if "--top" in sys.argv:
        top = int(sys.argv[sys.argv.index("--top") + 1])
    groups = defaultdict(int)
    by_section = defaultdict(lambda: defaultdict(int))
    members = defaultdict(int)
    for out_section, name, size, source in parse(sys.argv[1]):
        if out_section == ".bss":
            continue  # takes no file space
        g = group_of(name, source)
        if out_section == ".rsrc":
            g = "resources (icon, manifest, version)"
        elif out_section == ".idata":
            g = "imports (Windows DLLs)"
        groups[g] += size
        # (The unwind codes are in .rdata: the stub's linker script merges them.)
        by_section[g][".xdata" if name.startswith(".xdata") else out_section] += size
        members[source.rsplit("/", 1)[-1]] += size
    total = sum(groups.values())
    print(f"  {'group':<44} {'bytes':>9} {'KiB':>7} {'share':>6}  code/rdata/unwind")
    for g, size in sorted(groups.items(), key=lambda kv: -kv[1]):
        s = by_section[g]
        code = s.get(".text", 0)
        unwind = s.get(".pdata", 0) + s.get(".xdata", 0)
        data = size - code - unwind
        print(f"  {g:<44} {size:>9} {size / 1024:>7.1f} {100 * size / total:>5.1f}%"
              f"  {code}/{data}/{unwind}")
    print(f"  {'total (input sections, before alignment)':<44} {total:>9} {total / 1024:>7.1f}")
    if top:
        print(f"\n  largest input files (top {top}):")
        for src, size in sorted(members.items(), key=lambda kv: -kv[1])[:top]:
            print(f"    {size:>8}  {src}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
