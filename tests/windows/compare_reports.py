"""Compares the host command's --json reports of two builds.

usage: compare_reports.py ROOT LINUX_JSON WINDOWS_JSON

Files are matched by their path below ROOT (the two builds spell absolute
paths differently); every other member must be equal, field for field. An
empty report counts as a failure: the comparison must have compared
something.
"""
import json
import sys


def load(path, root_marker):
    reports = {}
    with open(path, encoding="utf-8") as stream:
        for line in stream:
            line = line.rstrip("\r\n")
            if not line:
                continue
            record = json.loads(line)
            full = record.pop("path").replace("\\", "/")
            at = full.find(root_marker)
            key = full[at + len(root_marker):] if at >= 0 else full
            reports[key] = record
    return reports


def main():
    root, linux_path, windows_path = sys.argv[1:4]
    marker = "/" + root.rstrip("/").split("/")[-1] + "/"
    linux = load(linux_path, marker)
    windows = load(windows_path, marker)
    problems = []
    if not linux:
        problems.append("the Linux build reported no files")
    for key in sorted(set(linux) | set(windows)):
        if key not in windows:
            problems.append("%s: missing from the Windows report" % key)
        elif key not in linux:
            problems.append("%s: missing from the Linux report" % key)
        else:
            a, b = linux[key], windows[key]
            for field in sorted(set(a) | set(b)):
                if a.get(field) != b.get(field):
                    problems.append("%s: %s: Linux %r, Windows %r" % (key, field, a.get(field), b.get(field)))
    for problem in problems:
        print(problem)
    print("%d files compared" % len(linux))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
