#!/usr/bin/env python3
"""klovin-extract on the demo store: every attachment of expected.txt is saved under the
name expected.txt gives, byte for byte, one source at a time into a folder of its own.

    demo_names.py --make-demo-store PATH --dbx-writer PATH --work DIR [--] KLOVIN_EXTRACT...

KLOVIN_EXTRACT is the command that runs the program (a wrapper and its arguments may come
first). Repeated names with other bytes take numbered names (NAME_1.EXT, ...).
"""

import argparse
import hashlib
import shutil
import subprocess
import sys
from pathlib import Path


def read_expected(path):
    sources, attachments = [], {}
    for line in path.read_text(encoding="utf-8").splitlines():
        parts = line.split("\t")
        if parts[0] == "source":
            sources.append((parts[1], parts[2]))
            attachments[parts[1]] = []
        elif parts[0] == "attachment":
            attachments[parts[1]].append((parts[2], parts[4]))
    return sources, attachments


def numbered(name, n):
    stem, dot, extension = name.rpartition(".")
    if not dot:
        return "%s_%d" % (name, n)
    return "%s_%d.%s" % (stem, n, extension)


def check_source(files, records):
    """Problems of one source's output: files maps name -> sha256."""
    problems = []
    taken = set()
    for name, digest in records:
        candidates = [name] + [numbered(name, n) for n in range(1, len(records) + 1)]
        found = next((c for c in candidates if files.get(c) == digest), None)
        if found is None:
            problems.append("no file %r holds its bytes (have %s)" % (name, sorted(files)))
        else:
            taken.add(found)
    extra = sorted(set(files) - taken)
    if extra:
        problems.append("files nobody expected: %s" % extra)
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--make-demo-store", required=True)
    parser.add_argument("--dbx-writer", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("program", nargs="+")
    args = parser.parse_args()

    work = Path(args.work)
    shutil.rmtree(work, ignore_errors=True)
    demo = work / "demo"
    subprocess.run([sys.executable, args.make_demo_store, "--dbx-writer", args.dbx_writer,
                    str(demo)], check=True, stdout=subprocess.DEVNULL)
    sources, attachments = read_expected(demo / "expected.txt")
    problems = []
    for index, (source, kind) in enumerate(sources):
        out = work / ("out-%d" % index)
        command = args.program + ["--yes", "-q", "-o", str(out)]
        if kind == "eml":
            # One folder of message files: a copy without its subfolders, which are sources
            # of their own.
            alone = work / ("source-%d" % index)
            alone.mkdir()
            for f in (demo / source).iterdir():
                if f.is_file():
                    shutil.copy(f, alone / f.name)
            command += ["--eml", str(alone)]
        else:
            command.append(str(demo / source))
        result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True)
        if result.returncode != 0:
            problems.append("%s: exit status %d: %s" % (source, result.returncode,
                                                        result.stderr.decode("utf-8", "replace")))
        files = {}
        if out.is_dir():
            files = {p.name: hashlib.sha256(p.read_bytes()).hexdigest() for p in out.iterdir()}
        problems += ["%s: %s" % (source, p) for p in check_source(files, attachments[source])]
    for p in problems:
        print(p)
    total = sum(len(a) for a in attachments.values())
    print("%d sources, %d attachments, %d problems" % (len(sources), total, len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
