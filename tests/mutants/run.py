#!/usr/bin/env python3
"""Seeds each fault of faults.tsv alone into the source tree, rebuilds the
build folder and runs the tests; prints caught or MISSED per fault, then the
count. Usage: run.py SOURCE BUILD [fault-number...] (all by default)"""
import pathlib, subprocess, sys

src, build = pathlib.Path(sys.argv[1]), sys.argv[2]
faults = [l.rstrip("\n").split("\t") for l in open(pathlib.Path(__file__).with_name("faults.tsv"))
          if l.strip() and not l.startswith("#")]
caught = 0
for n, (name, old, new) in enumerate(faults, 1):
    if sys.argv[3:] and str(n) not in sys.argv[3:]:
        continue
    old, new, path = old.replace("\\n", "\n"), new.replace("\\n", "\n"), src / name
    text = path.read_text()
    assert text.count(old) == 1, f"{name}: {old!r} not found once"
    path.write_text(text.replace(old, new))
    try:
        run = lambda *a: subprocess.run(a, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
        built = run("cmake", "--build", build, "-j2")
        failed = not built or not run("ctest", "--test-dir", build, "-j2", "--stop-on-failure", "--timeout", "300")
    finally:
        path.write_text(text)
    caught += failed
    print(f"{n:2} {'caught' if failed else 'MISSED'}{'' if built else ' (no build)'} {name}: {old.strip()}",
          flush=True)
print(f"{caught} caught")
