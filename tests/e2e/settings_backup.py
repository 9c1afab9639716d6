#!/usr/bin/env python3
"""Settings backup end to end, across several runs of the program on one sandbox.

1. "Save Settings" writes C:\\Users\\User\\Documents\\pdf.roy; quellin-archive lists "1.reg",
   "2.reg", "3.reg", the merged description and "pdc.xml" in that order, deflated at level 9.
2. Outside the program, HKCU\\Printers\\DevModePerUser and the paper sizes of the description
   (and the capabilities document) change.
3. "Restore Settings" reads the archive back: `reg export "HKCU\\Printers"` and both driver
   files are byte-identical to step 1, and no extraction folder is left in the temp folder.
4. A truncated copy of the archive restores nothing: the archive's error shows, and registry
   and driver files stay as they were changed.

The scripts of the runs are in settings_backup/; their "#! expect" and "#! absent" lines are
checked as run_script.py checks them.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_script  # noqa: E402

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "settings_backup")
PRINTER_DATA = ("HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\"
                "Microsoft Print to PDF")
ARCHIVE = "C:\\Users\\User\\Documents\\pdf.roy"
TRUNCATED = "C:\\Users\\User\\Documents\\cut.roy"


class Failure(Exception):
    pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    sandbox_tool = os.path.join(args.bin, "quellin-sandbox")
    script_tool = os.path.join(args.bin, "quellin-script")
    archive_tool = os.path.join(args.bin, "quellin-archive")

    with tempfile.TemporaryDirectory(prefix="quellin-e2e-backup-") as work:
        env = dict(os.environ, QUELLIN_SANDBOX=os.path.join(work, "sandbox"),
                   QT_QPA_PLATFORM="offscreen")

        def sandbox(*words):
            return subprocess.run([sandbox_tool] + list(words), env=env, check=True,
                                  capture_output=True, text=True).stdout

        def host(windows_path):
            return sandbox("path", windows_path).strip()

        def read(windows_path):
            with open(host(windows_path), "rb") as f:
                return f.read()

        def run(name):
            script = os.path.join(HERE, name)
            d = run_script.parse_directives(script)
            transcript = os.path.join(work, name + ".jsonl")
            code = subprocess.run([script_tool, script, transcript], env=env, cwd=work,
                                  capture_output=True).returncode
            events = run_script.read_events(transcript)
            problems = [] if code == 0 else [f"exit code {code}"]
            position = 0
            for where, expected in d["expect"]:
                found = next((i for i in range(position, len(events))
                              if run_script.matches(expected, events[i])), None)
                if found is None:
                    problems.append(f"{where}: no event matches {json.dumps(expected)}")
                else:
                    position = found + 1
            for where, unexpected in d["absent"]:
                problems += [f"{where}: unexpected {json.dumps(e)[:300]}"
                             for e in events if run_script.matches(unexpected, e)]
            if problems:
                for event in events:
                    print("  " + json.dumps(event)[:400])
                raise Failure(f"{name}: " + "; ".join(problems))

        def driver_files():
            folder = sandbox("reg", "get", PRINTER_DATA, "PrintQueueV4DriverDirectory").strip()
            data = PRINTER_DATA + "\\PrinterDriverData"
            names = [sandbox("reg", "get", data, value).strip()
                     for value in ("V4_Merged_ConfigFile_Name", "V4_PrintDeviceCapabilities")]
            base = "C:\\Windows\\System32\\spool\\V4Dirs\\" + folder + "\\"
            return [base + name for name in names]

        def state():
            return sandbox("reg", "export", "HKCU\\Printers"), [read(p) for p in files]

        sandbox("init")
        sandbox("config", "--date", "2020-10-15")  # no promotions, no prompt at close
        files = driver_files()
        before = state()

        run("save.script")
        listing = json.loads(subprocess.run([archive_tool, "list", host(ARCHIVE)], check=True,
                                            capture_output=True, text=True).stdout)
        names = [e["name"] for e in listing["entries"]]
        wanted = ["1.reg", "2.reg", "3.reg", files[0].rsplit("\\", 1)[1], "pdc.xml"]
        if names != wanted:
            raise Failure(f"archive entries {names}, expected {wanted}")
        for e in listing["entries"]:
            if e["method"] != 8 or e["flags"] != "0x2":
                raise Failure(f"entry {e['name']}: method {e['method']} flags {e['flags']}")

        # The user changes the per-user settings and the paper sizes.
        sandbox("reg", "set", "HKCU\\Printers\\DevModePerUser", "Microsoft Print to PDF",
                "REG_BINARY", "00ff00ff")
        sandbox("reg", "set", "HKCU\\Printers\\Settings", "Added later", "REG_SZ", "gone after")
        for path, old, new in ((files[0], b"*Option: TABLOID", b"*Option: A6"),
                               (files[1], b"NorthAmericaTabloid", b"ISOA6")):
            text = read(path)
            with open(host(path), "wb") as f:
                f.write(text.replace(old, new, 1))
        changed = state()
        if changed == before:
            raise Failure("the change did not change anything")

        run("restore.script")
        if state() != before:
            raise Failure("after the restore, registry or driver files differ from the saved state")
        temp = os.listdir(host("C:\\Users\\User\\AppData\\Local\\Temp"))
        if any(name.startswith("PrintToPDF") for name in temp):
            raise Failure(f"extraction folder left behind: {temp}")

        # A truncated archive: nothing restored.
        sandbox("reg", "set", "HKCU\\Printers\\DevModePerUser", "Microsoft Print to PDF",
                "REG_BINARY", "00ff00ff")
        with open(host(files[0]), "ab") as f:
            f.write(b"*% changed again\r\n")
        changed = state()
        whole = read(ARCHIVE)
        with open(host(TRUNCATED), "wb") as f:
            f.write(whole[: len(whole) - 40])
        run("restore_truncated.script")
        if state() != changed:
            raise Failure("a truncated archive changed the registry or the driver files")
        temp = os.listdir(host("C:\\Users\\User\\AppData\\Local\\Temp"))
        if any(name.startswith("PrintToPDF") for name in temp):
            raise Failure(f"extraction folder left behind after the error: {temp}")
    print("ok")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as failure:
        print(f"FAIL {failure}")
        sys.exit(1)
