#!/usr/bin/env python3
"""Brings back, one at a time, the faults the project has mended, and tells
whether the tests still catch each one.

    python3 tools/mutation/mutate.py [--only ID[,ID...]] [--jobs N] [--work DIR]

Each entry of tools/mutation/faults.txt names a file, an exact text of it
(`find`, which must occur once), the text that brings the fault back
(`replace`), the ctest tests that should catch it and, optionally, a gtest
filter for them. For every entry, in a copy of the working tree with a build
of its own (DIR/jN/src and DIR/jN/build, default build/mutation), the script
applies the replacement alone, rebuilds, runs those tests and prints

    caught     the tests failed
    survived   the tests passed: the fault would come back unnoticed
    broken     the entry no longer applies (text not found) or does not build

then restores the file. The unmutated copy must pass every listed test first.
Run by hand, not in CI: a whole run takes about an hour.
"""

import argparse
import os
import queue
import re
import shutil
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FIELDS = ("id", "fault", "file", "find", "replace", "tests", "filter")


def parse_faults(path):
    """The entries of the list: '- id: ...' starts one; 'find: |' and
    'replace: |' take the lines indented below them, less the two spaces past
    the key that make the block."""
    entries, entry, block, indent, key_indent = [], None, None, None, 0
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, line in enumerate(lines, 1):
        if block is not None:
            depth = len(line) - len(line.lstrip(" "))
            # The block holds blank lines and lines indented deeper than its
            # key; two spaces past the key are the block's, the rest is text.
            if not line.strip() or depth > key_indent:
                entry[block].append(line[indent:] if line.strip() else "")
                continue
            block = None
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        match = re.match(r"^(- )?\s*(\w+):\s?(.*)$", line)
        if not match or match.group(2) not in FIELDS:
            sys.exit("%s:%d: cannot read %r" % (path, number, line))
        if match.group(1):
            entry = {}
            entries.append(entry)
        if entry is None:
            sys.exit("%s:%d: a field before the first '- id:'" % (path, number))
        key, value = match.group(2), match.group(3)
        if value == "|":
            key_indent = len(line) - len(line.lstrip(" -"))
            entry[key], block, indent = [], key, key_indent + 2
        else:
            entry[key] = value.strip()
    for entry in entries:
        for key in ("find", "replace"):
            text = "\n".join(entry.get(key, [])).rstrip("\n")
            entry[key] = text
        missing = [k for k in ("id", "file", "find", "tests") if not entry.get(k)]
        if missing:
            sys.exit("%s: entry %s lacks %s" % (path, entry.get("id", "?"), ", ".join(missing)))
    ids = [e["id"] for e in entries]
    doubled = {i for i in ids if ids.count(i) > 1}
    if doubled:
        sys.exit("%s: ids used twice: %s" % (path, ", ".join(sorted(doubled))))
    return entries


def run(command, cwd, log, env=None, timeout=None):
    with open(log, "a", encoding="utf-8") as out:
        out.write("\n$ %s\n" % " ".join(command))
        out.flush()
        try:
            return subprocess.call(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                   env=env, timeout=timeout)
        except subprocess.TimeoutExpired:
            out.write("(timed out)\n")
            return 124


class Worker:
    """A copy of the tree with its own build, where one mutation at a time is tried."""

    def __init__(self, work, number, cores):
        self.folder = os.path.join(work, "j%d" % number)
        self.src = os.path.join(self.folder, "src")
        self.build = os.path.join(self.folder, "build")
        self.log = os.path.join(self.folder, "log.txt")
        self.cores = cores

    def prepare(self):
        shutil.rmtree(self.src, ignore_errors=True)
        os.makedirs(self.src)
        files = subprocess.check_output(["git", "ls-files", "-co", "--exclude-standard", "-z"],
                                        cwd=ROOT).decode().split("\0")
        for name in filter(None, files):
            source = os.path.join(ROOT, name)
            if not os.path.isfile(source) or name.startswith("build"):
                continue
            target = os.path.join(self.src, name)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            # A fresh modification time: an earlier run's build may hold objects
            # of a mutated file, newer than the file's own time.
            shutil.copy(source, target)
        os.symlink(os.path.join(ROOT, "third_party"), os.path.join(self.src, "third_party"))
        open(self.log, "w").close()
        if run(["cmake", "-S", self.src, "-B", self.build,
                "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/mingw-i686.cmake" % self.src,
                "-DCMAKE_BUILD_TYPE=Release"], self.folder, self.log) != 0:
            return "configure failed"
        if not self.make():
            return "build failed"
        # The fixtures once; the tests below exclude their setup.
        if run(["xvfb-run", "-a", "ctest", "-R", "^fixture_", "-j", str(self.cores)],
               self.build, self.log) != 0:
            return "fixtures failed"
        return None

    def make(self):
        return run(["cmake", "--build", self.build, "-j", str(self.cores)], self.folder,
                   self.log) == 0

    def tests_pass(self, tests, gtest_filter):
        """True when the tests pass; None when a program ran no test at all
        (a filter that matches nothing would pass whatever the code does)."""
        env = dict(os.environ)
        env.pop("GTEST_FILTER", None)
        if gtest_filter:
            env["GTEST_FILTER"] = gtest_filter
        pattern = "^(%s)$" % "|".join(re.escape(t) for t in tests.split())
        start = os.path.getsize(self.log)
        passed = run(["xvfb-run", "-a", "ctest", "-R", pattern, "-FS", ".*", "-j",
                      str(self.cores), "--output-on-failure", "-V"], self.build, self.log,
                     env=env, timeout=3600) == 0
        with open(self.log, encoding="utf-8", errors="replace") as f:
            f.seek(start)
            if "Running 0 tests" in f.read():
                return None
        return passed

    def attempt(self, entry):
        path = os.path.join(self.src, entry["file"])
        try:
            with open(path, encoding="utf-8", newline="") as f:
                original = f.read()
        except OSError:
            return "broken", "no file " + entry["file"]
        if original.count(entry["find"]) != 1:
            return "broken", "text found %d times" % original.count(entry["find"])
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(original.replace(entry["find"], entry["replace"]))
        try:
            if not self.make():
                return "broken", "does not build"
            passed = self.tests_pass(entry["tests"], entry.get("filter", ""))
            if passed is None:
                return "broken", "a test program ran no test (filter)"
            return ("survived" if passed else "caught"), ""
        finally:
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(original)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", default=os.path.join(ROOT, "tools", "mutation", "faults.txt"))
    parser.add_argument("--only", default="", help="comma-separated ids")
    parser.add_argument("--jobs", type=int, default=2, help="copies tried side by side")
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "mutation"))
    parser.add_argument("--check", action="store_true",
                        help="only check that every entry applies to the working tree")
    options = parser.parse_args()

    entries = parse_faults(options.list)
    if options.only:
        wanted = set(options.only.split(","))
        entries = [e for e in entries if e["id"] in wanted]
        unknown = wanted - {e["id"] for e in entries}
        if unknown:
            sys.exit("unknown ids: " + ", ".join(sorted(unknown)))
    if options.check:
        bad = 0
        for entry in entries:
            with open(os.path.join(ROOT, entry["file"]), encoding="utf-8", newline="") as f:
                count = f.read().count(entry["find"])
            if count != 1:
                bad += 1
                print("%-40s text found %d times in %s" % (entry["id"], count, entry["file"]))
        print("%d of %d entries apply" % (len(entries) - bad, len(entries)))
        return 1 if bad else 0

    cores = max(1, (os.cpu_count() or 2) // max(1, options.jobs))
    # The copies build elsewhere than the current folder: a relative folder would
    # be taken from each copy's build folder.
    options.work = os.path.abspath(options.work)
    workers = [Worker(options.work, n, cores) for n in range(max(1, options.jobs))]
    print("Preparing %d cop%s in %s ..." % (len(workers), "y" if len(workers) == 1 else "ies",
                                           options.work), flush=True)
    failures = []
    threads = [threading.Thread(target=lambda w=w: failures.append(w.prepare())) for w in workers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if any(failures):
        sys.exit("preparation failed (%s); see %s/j*/log.txt" %
                 (", ".join(f for f in failures if f), options.work))
    # The unmutated tree must pass what the entries run, or a failure means nothing.
    every_test = sorted({t for e in entries for t in e["tests"].split()})
    if workers[0].tests_pass(" ".join(every_test), "") is not True:
        sys.exit("the unmutated tree fails its tests; see %s" % workers[0].log)

    todo = queue.Queue()
    for entry in entries:
        todo.put(entry)
    results, lock = {}, threading.Lock()

    def work(worker):
        while True:
            try:
                entry = todo.get_nowait()
            except queue.Empty:
                return
            start = time.time()
            verdict, why = worker.attempt(entry)
            with lock:
                results[entry["id"]] = (verdict, why, time.time() - start)
                print("%-40s %-9s %4.0f s  %s" % (entry["id"], verdict, time.time() - start,
                                                  why or entry.get("fault", "")), flush=True)

    threads = [threading.Thread(target=work, args=(w,)) for w in workers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()

    counts = {}
    for verdict, _, _ in results.values():
        counts[verdict] = counts.get(verdict, 0) + 1
    print("\n%d mutations: %s" % (len(results), ", ".join(
        "%d %s" % (counts[k], k) for k in ("caught", "survived", "broken") if k in counts)))
    return 0 if counts.get("caught", 0) == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
