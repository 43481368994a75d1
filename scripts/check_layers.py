#!/usr/bin/env python3
"""Fails when a source file includes a header from a folder above its own.

The folders are layers: a folder may include its own headers and those of
the folders below it, never those above, so that the core builds and is
tested without the windows and tools that sit on it.
"""
import re
import subprocess
import sys

# Lowest first; folders on one level may not include each other.
LEVELS = [["common"], ["logdata"], ["export"], ["config", "netlookup"], ["gridview"], ["app"], ["tools"]]
LEVEL = {folder: i for i, group in enumerate(LEVELS) for folder in group}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.M)

files = subprocess.run(["git", "ls-files", "*.cpp", "*.h"], capture_output=True, text=True,
                       check=True).stdout.split()
bad = 0
for path in files:
    own = path.split("/")[0]
    if own not in LEVEL:
        continue  # tests, benchmarks and fuzzing may reach every layer
    with open(path, encoding="utf-8") as f:
        text = f.read()
    for folder in INCLUDE.findall(text):
        if folder in LEVEL and folder != own and LEVEL[folder] >= LEVEL[own]:
            print(f"{path}: includes {folder}/, which is not below {own}/")
            bad += 1
sys.exit(1 if bad else 0)
