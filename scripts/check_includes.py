#!/usr/bin/env python3
"""Fails when a source file includes a module its row in README.md's level
table does not allow.

The table's first backticked folder in the "module" column names the module;
the backticked folders in the "may use" column are the modules its files may
include besides its own. A quoted include ("movie/movie_format.h") belongs to
the module whose folder is the longest prefix of its path.
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def read_table():
    modules = {}
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as readme:
        for line in readme:
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if len(cells) != 4:
                continue
            names = re.findall(r"`([^`]+/)`", cells[1])
            if not names:
                continue
            allowed = {a.rstrip("/") for a in re.findall(r"`([^`]+/)`", cells[3])}
            for name in names:
                modules[name.rstrip("/")] = allowed
    return modules


def module_of(path, modules):
    best = None
    for name in modules:
        if path == name or path.startswith(name + "/"):
            if best is None or len(name) > len(best):
                best = name
    return best


def main():
    modules = read_table()
    if not modules:
        print("check_includes: no level table found in README.md")
        return 1
    faults = []
    checked = 0
    for module in sorted(modules):
        folder = os.path.join(ROOT, module)
        if not os.path.isdir(folder):
            continue
        for directory, _, files in os.walk(folder):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(directory, name)
                relative = os.path.relpath(path, ROOT)
                if module_of(os.path.dirname(relative), modules) != module:
                    continue
                checked += 1
                with open(path, encoding="utf-8", errors="replace") as source:
                    text = source.read()
                for included in INCLUDE.findall(text):
                    target = module_of(os.path.dirname(included), modules)
                    if target is None:
                        faults.append(f"{relative}: \"{included}\" belongs to no module of the table")
                    elif target != module and target not in modules[module]:
                        faults.append(f"{relative}: \"{included}\" ({target}/) is not among what {module}/ may use")
    for fault in faults:
        print(fault)
    print(f"check_includes: {checked} files, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
