#!/usr/bin/env python3
"""Type-checks docs/tarsen-web.d.ts and a page script written against it.

  check-types.py SOURCE_DIR WORK_DIR

Installs the TypeScript of docs/package-lock.json with `npm ci` into
WORK_DIR (a copy of docs/package*.json, so the source tree stays clean and
build folders do not race), then runs `tsc --noEmit --strict`. Exits 77
(skipped) when node or npm is absent.
"""
import filecmp
import shutil
import subprocess
import sys
from pathlib import Path


def main():
    source, work = Path(sys.argv[1]), Path(sys.argv[2])
    if not shutil.which("node") or not shutil.which("npm"):
        print("tsc check skipped: node and npm are not installed")
        sys.exit(77)
    work.mkdir(parents=True, exist_ok=True)
    fresh = True
    for name in ("package.json", "package-lock.json"):
        target = work / name
        if not target.exists() or not filecmp.cmp(source / "docs" / name, target, shallow=False):
            shutil.copyfile(source / "docs" / name, target)
            fresh = False
    tsc = work / "node_modules" / "typescript" / "bin" / "tsc"
    if not fresh or not tsc.exists():
        subprocess.check_call(["npm", "ci", "--no-audit", "--no-fund"], cwd=work)
    sys.exit(subprocess.call([
        "node", str(tsc), "--noEmit", "--strict", "--target", "es2017", "--lib", "es2017,dom",
        str(source / "docs" / "tarsen-web.d.ts"), str(source / "tests" / "docs" / "page-example.ts")]))


if __name__ == "__main__":
    main()
