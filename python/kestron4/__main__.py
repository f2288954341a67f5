"""``python -m kestron4 ...`` runs the kstrn command with the same arguments.

kstrn is a program of its own, built with the library by CMake
(``cmake --build build --target kstrn``; ``cmake --install build`` puts it in
<prefix>/bin). This finds it on PATH, beside this interpreter, or in the
build tree the package was staged in, and says how to get it otherwise.
"""

from __future__ import annotations

import os
import shutil
import sys
from pathlib import Path
from typing import List, Optional


def find_kstrn() -> Optional[str]:
    here = Path(__file__).resolve().parent
    candidates: List[Optional[str]] = [os.environ.get("KESTRON4_KSTRN"), shutil.which("kstrn"),
                                       str(Path(sys.executable).parent / "kstrn")]
    # A CMake build tree stages the package in <build>/python/kestron4.
    candidates.append(str(here.parent.parent / "tools" / "kstrn" / "kstrn"))
    # An install under a prefix: <prefix>/lib/python3.X/.../kestron4 -> <prefix>/bin/kstrn.
    candidates += [str(parent / "bin" / "kstrn") for parent in here.parents[:5]]
    return next((c for c in candidates if c and os.path.isfile(c) and os.access(c, os.X_OK)), None)


HOW_TO_GET = """kstrn was not found (on PATH, beside {python}, or in a build tree).
It is built with the library from the source tree, not by pip:

    tools/install-deps.sh
    cmake -S . -B build -G Ninja && cmake --build build --target kstrn
    build/tools/kstrn/kstrn --help          # or: cmake --install build

Set KESTRON4_KSTRN to its path to use it from here."""


def main(argv: List[str]) -> int:
    program = find_kstrn()
    if program is None:
        print(HOW_TO_GET.format(python=sys.executable), file=sys.stderr)
        return 2
    os.execv(program, [program] + argv)
    return 0  # not reached


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
