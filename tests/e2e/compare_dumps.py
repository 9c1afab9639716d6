#!/usr/bin/env python3
"""Compares the main window and the two editors as the sandbox shows them with the same windows
under Wine: every control's name, caption, position and size.

  compare_dumps.py --bin BUILD/bin --wine-bin BUILD-WIN/bin     (run with $WINEPREFIX set, in a
                                                                 display Wine can use)
"""

import argparse
import datetime
import os
import subprocess
import sys
import tempfile

from run_script import WineMachine, read_events

SCRIPT = """dump TForm1
click TForm1.SpeedButton4
dump TForm2
click TForm2.btnCancel
click TForm1.SpeedButton7
dump TForm4
click TForm4.btnCancelRes
answer no
close TForm1
"""
FIELDS = ("caption", "left", "top", "width", "height")


def shape(event):
    """What must agree: the form's size and each control's name, caption, position and size."""
    controls = {name: tuple(c.get(f) for f in FIELDS)
                for name, c in event.get("controls", {}).items()}
    return (event.get("width"), event.get("height")), controls


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--wine-bin", required=True)
    args = parser.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory(prefix="quellin-dumps-") as work:
        script = os.path.join(work, "dumps.script")
        with open(script, "w", encoding="utf-8") as f:
            f.write(SCRIPT)
        sandbox = os.path.join(work, "sandbox")
        env = dict(os.environ, QUELLIN_SANDBOX=sandbox, QT_QPA_PLATFORM="offscreen")
        tool = os.path.join(args.bin, "quellin-sandbox")
        # Wine runs on the real date, which the copyright line shows.
        today = datetime.date.today().isoformat()
        for words in (["init"], ["config", "--date", today]):
            subprocess.run([tool, "--sandbox", sandbox] + words, env=env, check=True,
                           capture_output=True)
        sim = os.path.join(work, "sim.jsonl")
        subprocess.run([os.path.join(args.bin, "quellin-script"), script, sim], env=env,
                       check=True, capture_output=True)

        WineMachine(os.path.abspath(args.wine_bin)).reset()
        wine = os.path.join(work, "wine.jsonl")
        with open(os.path.join(work, "wine.txt"), "wb") as log:
            subprocess.run(["wine", os.path.join(os.path.abspath(args.wine_bin),
                                                 "quellin-script.exe"), script, wine],
                           cwd=work, stdin=subprocess.DEVNULL, stdout=log,
                           stderr=subprocess.STDOUT, check=True)

        dumps = [{e["form"]: shape(e) for e in read_events(path) if e.get("event") == "dump"}
                 for path in (sim, wine)]
        differences = []
        for form in ("TForm1", "TForm2", "TForm4"):
            if form not in dumps[0] or form not in dumps[1]:
                differences.append(f"{form}: not dumped on both")
                continue
            (size0, controls0), (size1, controls1) = dumps[0][form], dumps[1][form]
            if size0 != size1:
                differences.append(f"{form}: size {size0} on the sandbox, {size1} under Wine")
            for name in sorted(set(controls0) | set(controls1)):
                a, b = controls0.get(name), controls1.get(name)
                if a != b:
                    differences.append(f"{form}.{name}: {a} on the sandbox, {b} under Wine "
                                       f"({', '.join(FIELDS)})")
        for line in differences:
            print("DIFFERS " + line)
        if not differences:
            print("the dumps of TForm1, TForm2 and TForm4 agree")
        return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
