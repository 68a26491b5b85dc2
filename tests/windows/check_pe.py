"""Checks a Windows binary's tables, from `objdump -p` output.

usage: check_pe.py OBJDUMP_OUTPUT dll|exe x86_64|i686

Both kinds may import only DLLs that come with Windows: the compiler's
runtime DLLs (libstdc++, libgcc, winpthread) must be linked in. A plugin
DLL exports exactly the six host functions under their plain names: no
stdcall decoration, nothing else, no exports by ordinal only.
"""
import re
import sys

HOST_FUNCTIONS = {
    "ContentGetDetectString", "ContentGetSupportedField", "ContentGetValue",
    "ContentGetValueW", "ContentSetDefaultParams", "ContentSendStateInformationW",
}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll", "ntdll.dll", "advapi32.dll",
               "shell32.dll", "ole32.dll", "oleaut32.dll", "gdi32.dll", "bcrypt.dll"}
FORMATS = {"x86_64": "pei-x86-64", "i686": "pei-i386"}


def section(lines, title):
    """The indented entry lines that follow a heading line."""
    out = []
    inside = False
    for line in lines:
        if line.startswith(title):
            inside = True
            continue
        if inside:
            if re.match(r"^\t\[\s*\d+\]", line):
                out.append(line)
            elif out or line.strip() == "":
                if out:
                    break
            else:
                break
    return out


def main():
    text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
    kind, arch = sys.argv[2], sys.argv[3]
    lines = text.splitlines()
    problems = []

    if "file format " + FORMATS[arch] not in text:
        problems.append("not a %s image" % FORMATS[arch])

    imports = re.findall(r"DLL Name: (\S+)", text)
    if not imports:
        problems.append("no import table found")
    for dll in imports:
        if dll.lower() not in SYSTEM_DLLS:
            problems.append("imports a DLL that is not part of Windows: " + dll)

    if kind == "dll":
        names = [re.sub(r"^\t\[\s*\d+\]\s*", "", l).strip() for l in section(lines, "[Ordinal/Name Pointer] Table")]
        addresses = section(lines, "Export Address Table")
        if set(names) != HOST_FUNCTIONS or len(names) != len(HOST_FUNCTIONS):
            problems.append("exported names %s, expected exactly %s" % (sorted(names), sorted(HOST_FUNCTIONS)))
        if len(addresses) != len(HOST_FUNCTIONS):
            problems.append("%d entries in the export address table, expected %d" %
                            (len(addresses), len(HOST_FUNCTIONS)))

    for problem in problems:
        print(problem)
    print("imports: " + " ".join(imports))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
