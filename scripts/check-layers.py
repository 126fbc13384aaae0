#!/usr/bin/env python3
"""Checks that the folders under src/ are the libraries and that every include points down.

check-layers.py SRC_DIR

Each folder's CMakeLists.txt names its libraries and what they link (DEPS, PRIVATE_DEPS). A file
in a folder may include headers of its own folder and of the folders its libraries reach through
those links, nothing else: a header of a library above it, or of one beside it that it does not
link, is reported, as is a library defined outside the folder its sources are in.
"""
import os
import re
import sys


def libraries(src):
    """{library: (folder, [linked libraries])} from the folders' CMakeLists.txt files."""
    found = {}
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder, 'CMakeLists.txt')
        if not os.path.isfile(path):
            continue
        text = re.sub(r'#.*', '', open(path).read())
        for name, body in re.findall(r'splicor_library\(\s*(\w+)(.*?)\)', text, re.S):
            deps = re.findall(r'\bsplicor_\w+', body)
            found[name] = (folder, deps)
    return found


def reach(libs):
    """{folder: set of folders it may include from}."""
    def closure(name, seen):
        if name in seen or name not in libs:
            return seen
        seen.add(name)
        for dep in libs[name][1]:
            closure(dep, seen)
        return seen

    allowed = {}
    for name, (folder, _) in libs.items():
        allowed.setdefault(folder, set()).update(libs[n][0] for n in closure(name, set()))
    return allowed


def main():
    src = sys.argv[1]
    libs = reach(libraries(src))
    problems = []
    folders = [f for f in sorted(os.listdir(src)) if os.path.isdir(os.path.join(src, f))]
    for folder in folders:
        if folder not in libs:
            problems.append(f'{folder}/: no library of its own')
            continue
        for root, _, files in os.walk(os.path.join(src, folder)):
            for name in files:
                if not name.endswith(('.cpp', '.h')):
                    continue
                path = os.path.join(root, name)
                for n, line in enumerate(open(path, errors='replace'), 1):
                    m = re.match(r'\s*#\s*include\s+"(\w+)/', line)
                    if m and m.group(1) in folders and m.group(1) not in libs[folder]:
                        rel = os.path.relpath(path, src)
                        problems.append(f'{rel}:{n}: includes {m.group(1)}/, which '
                                        f'{folder}/ does not link')
    for p in problems:
        print(p)
    if problems:
        sys.exit(1)
    print(f'{len(folders)} folders, every include points down')


if __name__ == '__main__':
    main()
