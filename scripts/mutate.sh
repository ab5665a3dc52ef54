#!/bin/bash
# The mutation check: small, realistic faults put one at a time into a clean
# copy of the sources, each followed by an incremental build and the test
# programs. A fault no test notices (a survivor) shows where the tests are
# blind. Not part of CI: it takes a build and a test run per mutant.
#
#   scripts/mutate.sh [list]          # default list: scripts/mutants.txt
#
# The copy is of the last commit (git archive HEAD), kept with its build in
# MUTATE_DIR (default build-mutate/ here) so that later runs build only what
# changed. Each mutant first builds and runs the test programs its "tests:"
# line names (only the tests of a filter given there); when those pass it
# builds and runs every test program whole. A mutant is caught when a test program fails, crashes or runs past
# MUTATE_TEST_SECONDS (default 900); one whose text is not found, or found
# more than once, is reported as not applied; one that does not build is
# reported so and left out of the score. The score, the survivors and the
# mutants not applied are printed at the end; each mutant's build and test
# output is kept in MUTATE_DIR/logs.
#
#   MUTATE_DIR=...              where the copy, its build and the logs go
#   MUTATE_JOBS=2               build jobs
#   MUTATE_ONLY=regex           only the mutants whose text of "mutant:" matches
#   MUTATE_SKIP_BASELINE=1      do not build and run the tests on the
#                               unchanged copy first (they must pass there for
#                               a sound score)
#
# Run it niced on a shared machine: nice -n 10 scripts/mutate.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
list=${1:-$repo/scripts/mutants.txt}
exec python3 - "$repo" "$list" <<'PYTHON'
import os, re, shutil, signal, subprocess, sys, tarfile, io, time

repo, listPath = sys.argv[1], os.path.abspath(sys.argv[2])
work = os.path.abspath(os.environ.get("MUTATE_DIR", os.path.join(repo, "build-mutate")))
tree = os.path.join(work, "tree")
build = os.path.join(tree, "build-test")
logs = os.path.join(work, "logs")
jobs = os.environ.get("MUTATE_JOBS", "2")
limit = int(os.environ.get("MUTATE_TEST_SECONDS", "900"))
only = os.environ.get("MUTATE_ONLY")


def say(text):
    print(text, flush=True)


def parseList(path):
    mutants = []
    for block in re.split(r"\n\s*\n", open(path).read()):
        fields = {}
        for line in block.split("\n"):
            if line.startswith("#") or not line.strip():
                continue
            key, colon, value = line.partition(": ")
            if not colon:
                key, value = line.rstrip(":"), ""
            fields[key.strip()] = value
        if not fields:
            continue
        missing = [k for k in ("mutant", "file", "find", "put") if k not in fields]
        if missing:
            sys.exit(f"{path}: a mutant without {', '.join(missing)}: {block.strip()[:200]}")
        # "\n" in find and put stands for a line break, for a text that
        # occurs once only together with the line after it.
        for key in ("find", "put"):
            fields[key] = fields[key].replace("\\n", "\n")
        fields["tests"] = fields.get("tests", "").split()
        mutants.append(fields)
    return mutants


def syncCopy():
    """The tree becomes the last commit; files that did not change keep their
    time, so the build stays incremental."""
    archive = subprocess.run(["git", "-C", repo, "archive", "HEAD"], check=True, capture_output=True).stdout
    wanted = {}
    with tarfile.open(fileobj=io.BytesIO(archive)) as tar:
        for member in tar.getmembers():
            if member.isfile():
                wanted[member.name] = (tar.extractfile(member).read(), member.mode)
    for name, (data, mode) in wanted.items():
        path = os.path.join(tree, name)
        try:
            with open(path, "rb") as f:
                if f.read() == data:
                    continue
        except OSError:
            pass
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, mode & 0o777)
    for top, dirs, files in os.walk(tree):
        if top == tree and "build-test" in dirs:
            dirs.remove("build-test")
        for file in files:
            name = os.path.relpath(os.path.join(top, file), tree)
            if name not in wanted:
                os.unlink(os.path.join(top, file))
    return wanted


def run(command, log, timeout=None, env=None, cwd=None):
    """Runs command with its output appended to log; returns the exit status,
    or None when it ran past timeout (it is then killed, with its children)."""
    with open(log, "a") as out:
        out.write("$ " + " ".join(command) + "\n")
        out.flush()
        process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, env=env, cwd=cwd,
                                   start_new_session=True)
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return None


def buildTargets(targets, log):
    return run(["cmake", "--build", build, "-j", jobs] + (["--target"] + targets if targets else []), log) == 0


def testPrograms():
    """One test program for each folder of tests/ with sources of its own
    (see tests/CMakeLists.txt)."""
    folder = os.path.join(tree, "tests")
    return sorted("tests_" + name for name in os.listdir(folder)
                  if name not in ("support", "shim") and os.path.isdir(os.path.join(folder, name))
                  and any(f.endswith(".cpp") for f in os.listdir(os.path.join(folder, name))))


testEnv = dict(os.environ)
# Every test program resets the signals it needs; these are the settings
# its sanitizers and widgets run with in the suite, and a ceiling on its
# memory: a mutant that loops while it allocates (a loop of index pages
# followed without end) stops at 4 GB instead of filling the machine's
# memory before its time runs out.
testEnv.update({
    "QT_QPA_PLATFORM": "offscreen",
    "ASAN_OPTIONS": "detect_leaks=1:abort_on_error=1:hard_rss_limit_mb=4096",
    "LSAN_OPTIONS": f"suppressions={tree}/tests/lsan.supp:print_suppressions=0",
    "GTEST_FAIL_FAST": "1",
})


def runTests(programs, log):
    """The first program (program:filter) that fails, crashes or hangs, or
    None."""
    for entry in programs:
        program, colon, only = entry.partition(":")
        command = [os.path.join(build, "tests", program), "--gtest_brief=1"]
        if only:
            command.append("--gtest_filter=" + only)
        status = run(command, log, timeout=limit, env=testEnv, cwd=build)
        if status is None:
            return entry + " (ran past its time)"
        if status != 0:
            return entry
    return None


mutants = parseList(listPath)
if only:
    mutants = [m for m in mutants if re.search(only, m["mutant"])]
os.makedirs(logs, exist_ok=True)
os.makedirs(tree, exist_ok=True)
say(f"mutation check of {repo} (HEAD) in {tree}: {len(mutants)} mutants")
pristine = syncCopy()
if not os.path.exists(os.path.join(build, "build.ninja")):
    subprocess.run(["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
                    "-DTARVEX_WERROR=ON", "-DTARVEX_SANITIZE=ON", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache",
                    "-DCMAKE_C_COMPILER_LAUNCHER=ccache"], check=True, stdout=subprocess.DEVNULL)
baseLog = os.path.join(logs, "baseline.log")
open(baseLog, "w").close()
programs = testPrograms()
if os.environ.get("MUTATE_SKIP_BASELINE") != "1":
    if not buildTargets([], baseLog):
        sys.exit(f"the unchanged copy does not build; see {baseLog}")
    failing = runTests(programs, baseLog)
    if failing:
        sys.exit(f"the unchanged copy fails {failing}; see {baseLog}. Fix that first.")
    say("the unchanged copy passes: " + " ".join(programs))

caught, survived, notApplied, notBuilt = [], [], [], []
started = time.time()
for number, mutant in enumerate(mutants, 1):
    name = f"[{number}/{len(mutants)}] {mutant['mutant']}"
    path = os.path.join(tree, mutant["file"])
    original = pristine.get(mutant["file"], (None, 0))[0]
    text = original.decode() if original is not None else ""
    found = text.count(mutant["find"])
    if found != 1:
        why = "file not found" if original is None else ("text not found" if found == 0 else f"text found {found} times")
        notApplied.append(f"{mutant['mutant']} ({mutant['file']}: {why})")
        say(f"{name}: not applied ({why})")
        continue
    log = os.path.join(logs, f"{number:02d}.log")
    with open(log, "w") as f:
        f.write(f"{mutant['mutant']}\n{mutant['file']}\n- {mutant['find']}\n+ {mutant['put']}\n")
    with open(path, "w") as f:
        f.write(text.replace(mutant["find"], mutant["put"]))
    try:
        first = [p for p in mutant["tests"] if p.partition(":")[0] in programs]
        rest = [p for p in programs if p not in first]
        if not buildTargets(sorted({p.partition(":")[0] for p in first}) or None, log):
            notBuilt.append(mutant["mutant"])
            say(f"{name}: did not build")
            continue
        by = runTests(first, log)
        if not by and rest:
            if not buildTargets([], log):
                notBuilt.append(mutant["mutant"])
                say(f"{name}: did not build")
                continue
            by = runTests(rest, log)
        if by:
            caught.append(mutant["mutant"])
            say(f"{name}: caught by {by}")
        else:
            survived.append(f"{mutant['mutant']} ({mutant['file']})")
            say(f"{name}: SURVIVED")
    finally:
        with open(path, "wb") as f:
            f.write(original)

applied = len(caught) + len(survived)
say("")
say(f"score: {len(caught)} of {applied} mutants caught" +
    (f" ({100 * len(caught) // applied}%)" if applied else "") +
    f"; {len(notApplied)} not applied, {len(notBuilt)} did not build; {int(time.time() - started) // 60} min")
for title, names in (("survivors", survived), ("not applied", notApplied), ("did not build", notBuilt)):
    if names:
        say(f"{title}:")
        for entry in names:
            say("  " + entry)
PYTHON
