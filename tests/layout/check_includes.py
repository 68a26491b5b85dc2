#!/usr/bin/env python3
"""Checks the include rules of the product folders.

Usage: check_includes.py SOURCE_ROOT PUBLIC_HEADERS_FILE

A file may include any header of its own folder (zip/methods/ belongs to
zip/), and of another folder only the headers that folder declares public.
A public header includes only public headers, or its public face would
hand on a private one. Only platform/ includes the system headers that
stand for the operating system.
"""
import pathlib
import re
import sys

PRODUCT = ("base", "platform", "cache", "zip", "json", "xml", "package", "plugin", "tools")
SYSTEM = ("unistd.h", "windows.h", "sys/stat.h", "dlfcn.h")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.MULTILINE)


def main():
    root = pathlib.Path(sys.argv[1])
    public = set(pathlib.Path(sys.argv[2]).read_text().split())
    faults = []
    for folder in PRODUCT:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            name = path.relative_to(root).as_posix()
            for kind, header in INCLUDE.findall(path.read_text(encoding="utf-8")):
                if kind == "<":
                    if header.lower() in SYSTEM and folder != "platform":
                        faults.append(f"{name}: includes <{header}> outside platform/")
                    continue
                owner = header.split("/")[0]
                if owner not in PRODUCT:
                    continue
                if owner != folder and header not in public:
                    faults.append(f"{name}: includes {header}, a private header of {owner}/")
                elif name in public and header not in public:
                    faults.append(f"{name}: a public header that includes the private {header}")
    for fault in faults:
        print(fault)
    print(f"{len(faults)} include rule faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
