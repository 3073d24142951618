#!/usr/bin/env python3
"""What each of our source files costs in plinth-setup.exe when it is optimized across objects.

Usage: stub_objects.py BUILD_DIR [--top N]

BUILD_DIR must be configured with -DPLINTH_STUB_SECTION_PER_FUNCTION=ON: the shipped stub puts
the optimized code in one section, and the map then can't tell the functions apart. Sizes then
include each function's padding to 16 bytes, which the shipped stub doesn't have.

The stub is linked with link-time optimization, so the map shows one object of the compiler's
making rather than ours. Each function keeps a section of its own (.text$<symbol>, with its
.pdata/.xdata), and the objects of the build still say which symbols they define (gcc-nm reads
their intermediate code): a function is charged to the one source file that defines it, a template
instantiation that several files define to "instantiations (shared)", and what no file names to
"inlined or merged" (read-only data: texts, tables, literals). A function local to a file
(which gcc-nm doesn't list) is charged to the one .cpp file whose text calls or defines it. Code inlined into a caller counts
for the caller. Sizes are the sections' own, before alignment.
"""
import os
import re
import subprocess
import sys
from collections import defaultdict

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from stub_breakdown import group_of, parse  # noqa: E402

NM = "x86_64-w64-mingw32-gcc-nm-win32"
# The targets whose objects the stub links (as their folders under the build).
TARGETS = ("CMakeFiles/plinth_logic_stub.dir", "runtime/resources/CMakeFiles/plinth_win32.dir",
           "runtime/resources/CMakeFiles/plinth-setup.dir")
# Features spread over several files: (name, the files' paths match).
FEATURES = (("the update code", re.compile(r"^runtime/(setup/updates/|setup/entry/update_run\.|"
                                           r"setup/package/update_url\.|platform/win32/(network|crypto))")),
            ("the language code (choosing and reading a table)", re.compile(r"^runtime/setup/texts/")))
# What the compiler appends to a function it specialised or kept local.
CLONE_SUFFIX = re.compile(r"(\.(lto_priv|part|isra|constprop|cold)\.?\d*)+$")


def definitions(build):
    """symbol -> set of source files (relative to the source tree) that define it."""
    defined = defaultdict(set)
    for target in TARGETS:
        top = os.path.join(build, target)
        for folder, _, files in os.walk(top):
            for name in files:
                if not name.endswith(".obj"):
                    continue
                path = os.path.join(folder, name)
                source = os.path.relpath(path, top)[: -len(".obj")].replace("__/", "")
                source = re.sub(r"^(\.\./)*", "", source)
                if target.startswith("runtime/resources/"):
                    source = "runtime/platform/win32/" + os.path.basename(source)
                out = subprocess.run([NM, "--defined-only", path], capture_output=True, text=True,
                                     check=True).stdout
                for line in out.splitlines():
                    parts = line.split()
                    if len(parts) == 3 and parts[1] in "TtWw":
                        defined[parts[2]].add(source)
    return defined


def local_owner(symbol, sources, cache={}):
    """The one .cpp file of ours that defines a function local to it (gcc-nm lists only what an
    object exports): found by its name in the sources."""
    if symbol not in cache:
        name = subprocess.run(["c++filt", symbol], capture_output=True, text=True).stdout.strip()
        name = re.sub(r"\(.*", "", name.replace("(anonymous namespace)", "")).rsplit("::", 1)[-1]
        found = [s for s, text in sources.items() if re.search(r"\b" + re.escape(name) + r"\(", text)]
        cache[symbol] = found[0] if len(found) == 1 else None
    return cache[symbol]


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = sys.argv[1]
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
        if "PLINTH_STUB_SECTION_PER_FUNCTION:BOOL=ON" not in f.read():
            print("stub_objects.py: configure the build with -DPLINTH_STUB_SECTION_PER_FUNCTION=ON", file=sys.stderr)
            return 2
    top = int(sys.argv[sys.argv.index("--top") + 1]) if "--top" in sys.argv else 0
    defined = definitions(build)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    sources = {}
    for folder, _, names in os.walk(os.path.join(root, "runtime")):
        for n in names:
            if n.endswith(".cpp"):
                path = os.path.join(folder, n)
                with open(path, encoding="utf-8") as f:
                    sources[os.path.relpath(path, root)] = f.read()
    files = defaultdict(int)
    symbols = defaultdict(int)
    for out_section, name, size, source in parse(os.path.join(build, "plinth-setup.map")):
        if out_section == ".bss" or ".ltrans" not in source:
            continue
        symbol = CLONE_SUFFIX.sub("", name.split("$", 1)[1]) if "$" in name else ""
        owners = defined.get(symbol, set())
        if not owners and "_GLOBAL__N_" in symbol and local_owner(symbol, sources):
            owner = local_owner(symbol, sources)
        elif len(owners) == 1:
            owner = next(iter(owners))
        elif owners or group_of(name, "x.obj") != "our code":
            owner = "instantiations (shared)" if owners else group_of(name, "x.obj")
        else:
            owner = "inlined or merged (" + out_section + ")"
        files[owner] += size
        if symbol:
            symbols[symbol] += size
    folders = defaultdict(int)
    for owner, size in files.items():
        folders[os.path.dirname(owner) if owner.startswith("runtime/") else owner] += size
    print(f"  {'folder':<52} {'bytes':>8}")
    for folder, size in sorted(folders.items(), key=lambda kv: -kv[1]):
        print(f"  {folder:<52} {size:>8}")
    print(f"\n  {'file':<52} {'bytes':>8}")
    for owner, size in sorted(files.items(), key=lambda kv: -kv[1]):
        if owner.startswith("runtime/"):
            print(f"  {owner:<52} {size:>8}")
    print()
    for feature, pattern in FEATURES:
        size = sum(size for owner, size in files.items() if pattern.search(owner))
        print(f"  {feature:<52} {size:>8}")
    if top:
        print(f"\n  largest functions (top {top}, with their unwind data):")
        for symbol, size in sorted(symbols.items(), key=lambda kv: -kv[1])[:top]:
            print(f"    {size:>7}  {symbol}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
