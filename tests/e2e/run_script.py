#!/usr/bin/env python3
"""Runs one end-to-end script on a fresh sandbox and checks its transcript.

Lines of the script that start with "#!" are for this runner (quellin-script reads them as
comments):

  #! sandbox ARGS...          quellin-sandbox ARGS before the run (after "init")
  #! on KIND: sandbox ARGS...  quellin-sandbox ARGS as soon as the first KIND event is written
  #! exit N                   the expected exit code (default 0)
  #! expect {JSON}            an event matching this, after the previous expected one
  #! absent {JSON}            no event matches this
  #! after sandbox ARGS... => TEXT
                              after the run, that command prints TEXT (blanks around
                              it aside); with "!=>" it prints anything else
  #! remember NAME: sandbox ARGS...
                              before the run (after the set-up), keeps what that command
                              prints; "$NAME" in an after line's TEXT stands for it
  #! file WINDOWS-PATH => NAME
                              after the run, the one sandbox file that the path names
                              ("*" stands for any part of a name) holds exactly the bytes of
                              the file NAME beside the script; "=> none": no file matches;
                              "=> unchanged": the bytes it held before the run

An event matches when every field given has the same value; objects match the same way, field
by field, so a dump can name only the controls and fields that matter.

With --wine, the Windows programs run under Wine in $WINEPREFIX instead, on a machine with the
printer (quellin-wine-machine seeds it before each script). The sandbox lines that Windows
calls can carry take that form (registry values, the driver files); a script that needs any
other one is skipped, naming it and why (exit 77).
"""

import argparse
import glob
import json
import os
import shlex
import subprocess
import sys
import tempfile
import time


def matches(expected, actual):
    if isinstance(expected, dict):
        return isinstance(actual, dict) and all(
            key in actual and matches(value, actual[key]) for key, value in expected.items())
    return expected == actual


def parse_directives(path):
    d = {"setup": [], "on": [], "exit": 0, "expect": [], "absent": [], "after": [],
         "remember": [], "file": []}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line.startswith("#!"):
                continue
            word, _, rest = line[2:].strip().partition(" ")
            rest = rest.strip()
            where = f"{path}:{number}"
            if word == "sandbox":
                d["setup"].append(shlex.split(rest))
            elif word == "on":
                kind, _, command = rest.partition(":")
                args = shlex.split(command)
                if not args or args[0] != "sandbox":
                    sys.exit(f"{where}: on KIND: sandbox ARGS")
                d["on"].append((kind.strip(), args[1:]))
            elif word == "exit":
                d["exit"] = int(rest)
            elif word in ("expect", "absent"):
                try:
                    d[word].append((where, json.loads(rest)))
                except json.JSONDecodeError as e:
                    sys.exit(f"{where}: bad JSON: {e}")
            elif word == "after":
                command, _, text = rest.partition("=>")
                differs = command.endswith("!")
                args = shlex.split(command[:-1] if differs else command)
                if not args or args[0] != "sandbox":
                    sys.exit(f"{where}: after sandbox ARGS => TEXT")
                d["after"].append((where, args[1:], text.strip(), differs))
            elif word == "remember":
                name, _, command = rest.partition(":")
                args = shlex.split(command)
                if not name.strip() or not args or args[0] != "sandbox":
                    sys.exit(f"{where}: remember NAME: sandbox ARGS")
                d["remember"].append((name.strip(), args[1:]))
            elif word == "file":
                pattern, _, name = rest.partition("=>")
                if not pattern.strip() or not name.strip():
                    sys.exit(f"{where}: file WINDOWS-PATH => NAME")
                d["file"].append((where, pattern.strip(), name.strip()))
            else:
                sys.exit(f"{where}: unknown directive {word!r}")
    return d


def read_events(path):
    events = []
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                if line.endswith("\n"):
                    events.append(json.loads(line))
    return events


SKIPPED = 77

# What Wine cannot show, by the sandbox command a script needs.
WINE_LIMITS = [
    ("config --user", "the token is always an elevated administrator under Wine"),
    ("job", "EnumJobsA is a stub under Wine: no job is ever listed"),
    ("jobs", "EnumJobsA is a stub under Wine: no job is ever listed"),
    ("printer", "other printers need CUPS under Wine"),
    ("printers", "other printers need CUPS under Wine"),
    ("init --no-pdf-printer", "the Wine machine has the printer; removing it needs CUPS"),
    ("service", "printer calls still succeed with the spooler stopped under Wine"),
    ("feature", "the optional features live only in the sandbox (no DISM under Wine)"),
    ("log", "the launch log is the sandbox's own record"),
]


# Scripts that meet a difference of Wine's own, by name.
WINE_SCRIPT_LIMITS = {
    "promotions_off": "shows the window as it was before November 2020: Wine runs on the real date",
    "set_as_default": "Wine's printui.dll does not act on PrintUIEntry /y: the default stays",
    "restore": "RegRestoreKeyA is a stub under Wine: it restores nothing and reports success",
    "restore_truncated": "needs the archive of the restore run, which Wine cannot carry",
}


def wine_skip_reason(d, name):
    """Why the script cannot run under Wine, or None."""
    if name in WINE_SCRIPT_LIMITS:
        return WINE_SCRIPT_LIMITS[name]
    commands = ([words for words in d["setup"]] + [words for _, words in d["on"]] +
                [words for _, words, _, _ in d["after"]] + [words for _, words in d["remember"]])
    for words in commands:
        line = " ".join(words)
        if words[0] in ("reg", "path") or line.startswith("config --date"):
            continue
        for prefix, reason in WINE_LIMITS:
            if line == prefix or line.startswith(prefix + " "):
                return f"sandbox {prefix}: {reason}"
        return f"sandbox {words[0]}: no Windows form"
    return None


def before_promotions(d):
    """True when the script sets a date before the promotions began (November 2020)."""
    for words in d["setup"]:
        if words[:2] == ["config", "--date"] and words[2] < "2020-11":
            return True
    return False


class WineMachine:
    """The sandbox commands the scripts use, done through Windows calls in a Wine prefix."""

    def __init__(self, bin_dir):
        self.tool = os.path.join(bin_dir, "quellin-wine-machine.exe")
        self.drive = os.path.join(os.environ["WINEPREFIX"], "drive_c")

    def run(self, words):
        # Through a file: Wine's background processes may hold a pipe open after the tool ends.
        with tempfile.TemporaryFile() as out:
            subprocess.run(["wine", self.tool] + words, check=True, stdout=out,
                           stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            out.seek(0)
            return out.read().decode()

    def reset(self):
        self.run(["pdf-printer"])
        # The scripts name the sandbox's user's documents; Wine's user has another name.
        os.makedirs(self.host_path("C:\\Users\\User\\Documents"), exist_ok=True)

    def command(self, words):
        if words[:2] == ["config", "--date"]:
            return ""  # the real date; before_promotions() deals with the difference
        if words[:2] == ["reg", "set"]:
            return self.run(["reg-set"] + words[2:])
        if words[:2] == ["reg", "get"]:
            return self.run(["reg-get"] + words[2:])
        if words[0] == "path":
            return self.host_path(words[1])
        raise RuntimeError(f"no Windows form for sandbox {' '.join(words)}")

    def host_path(self, windows_path):
        """The prefix's file for a C: path, its names matched without case as Windows does."""
        path = self.drive
        for part in [p for p in windows_path.split("\\")[1:] if p]:
            names = {n.lower(): n for n in os.listdir(path)} if os.path.isdir(path) else {}
            path = os.path.join(path, names.get(part.lower(), part))
        return path


def wine_script(script, d, work):
    """The script for the real date: before the promotions began there was no prompt at the
    main window's close, so under Wine each such close is preceded by an answer to it."""
    if not before_promotions(d):
        return script
    lines = []
    with open(script, encoding="utf-8") as f:
        for line in f:
            if line.strip() == "close TForm1":
                lines.append("answer no\n")
            lines.append(line)
    path = os.path.join(work, os.path.basename(script))
    with open(path, "w", encoding="utf-8") as f:
        f.writelines(lines)
    return path


def without_close_prompts(events):
    """The events without the boxes answered just before the main window closed."""
    kept = []
    for i, event in enumerate(events):
        following = events[i + 1] if i + 1 < len(events) else {}
        if (event.get("event") == "messagebox" and event.get("answer") == "no" and
                following == {"event": "closed", "form": "TForm1"}):
            continue
        kept.append(event)
    return kept


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--wine", action="store_true",
                        help="run the Windows programs under Wine in $WINEPREFIX")
    parser.add_argument("script")
    args = parser.parse_args()
    d = parse_directives(args.script)
    if args.wine:
        reason = wine_skip_reason(d, os.path.splitext(os.path.basename(args.script))[0])
        if reason:
            print(f"skipped: {reason}")
            return SKIPPED
        return run_wine(args, d)
    sandbox_tool = os.path.join(args.bin, "quellin-sandbox")
    with tempfile.TemporaryDirectory(prefix="quellin-e2e-") as work:
        sandbox = os.path.join(work, "sandbox")
        env = dict(os.environ, QUELLIN_SANDBOX=sandbox, QT_QPA_PLATFORM="offscreen")

        def sandbox_command(words):
            return subprocess.run([sandbox_tool, "--sandbox", sandbox] + words, env=env,
                                  check=True, capture_output=True, text=True).stdout

        sandbox_command(["init"])
        return run_and_check(args.script, d, work, [os.path.join(args.bin, "quellin-script"),
                                                    args.script], env, sandbox_command,
                             lambda path: sandbox_command(["path", path]).strip(), list)


def run_wine(args, d):
    # Windows starts what the shell is asked to open; only the sandbox records those launches.
    d = dict(d, expect=[e for e in d["expect"] if e[1].get("event") != "shell"])
    args.bin = os.path.abspath(args.bin)
    machine = WineMachine(args.bin)
    with tempfile.TemporaryDirectory(prefix="quellin-e2e-wine-") as work:
        machine.reset()
        script = wine_script(args.script, d, work)
        command = ["wine", os.path.join(args.bin, "quellin-script.exe"), script]
        env = {k: v for k, v in os.environ.items() if k != "QT_QPA_PLATFORM"}
        shown = without_close_prompts if before_promotions(d) else list
        return run_and_check(args.script, d, work, command, env, machine.command,
                             machine.host_path, shown)


def matching_files(pattern, host_path):
    """The host files that a Windows path with "*" in its names stands for."""
    parts = pattern.split("\\")
    fixed = next((i for i, part in enumerate(parts) if "*" in part), len(parts))
    base = host_path("\\".join(parts[:fixed]))
    return sorted(glob.glob(os.path.join(base, *parts[fixed:])))


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def run_and_check(script, d, work, command, env, sandbox_command, host_path, shown_events):
    """Sets up with sandbox_command, runs command + [transcript] and checks what it wrote."""
    for words in d["setup"]:
        sandbox_command(words)
    remembered = {name: sandbox_command(words).strip() for name, words in d["remember"]}
    # The machine's own files as set up, for the "=> unchanged" checks.
    before = {pattern: [read_bytes(path) for path in matching_files(pattern, host_path)]
              for _, pattern, name in d["file"] if name == "unchanged"}

    transcript = os.path.join(work, "transcript.jsonl")
    # Its output through a file: under Wine, background processes may hold a pipe open.
    log = open(os.path.join(work, "output.txt"), "w+b")
    process = subprocess.Popen(command + [transcript], env=env, cwd=work,
                               stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
    pending = list(d["on"])
    while process.poll() is None:
        if pending:
            kinds = {event.get("event") for event in read_events(transcript)}
            for item in [p for p in pending if p[0] in kinds]:
                sandbox_command(item[1])
                pending.remove(item)
        time.sleep(0.05)
    code = process.returncode
    events = read_events(transcript)
    checked = shown_events(events)

    failures = []
    if code != d["exit"]:
        failures.append(f"exit code {code}, expected {d['exit']}")
    if not events or events[-1] != {"event": "end", "exit": code}:
        failures.append("the transcript does not end with the end event")
    position = 0
    for where, expected in d["expect"]:
        found = next((i for i in range(position, len(checked))
                      if matches(expected, checked[i])), None)
        if found is None:
            failures.append(f"{where}: no event matches {json.dumps(expected)} "
                            f"after event {position}")
        else:
            position = found + 1
    for where, unexpected in d["absent"]:
        for event in checked:
            if matches(unexpected, event):
                failures.append(f"{where}: unexpected {json.dumps(event)[:300]}")
    for where, words, text, differs in d["after"]:
        for name, value in remembered.items():
            text = text.replace("$" + name, value)
        output = sandbox_command(words)
        if (output.strip() == text) == differs:
            failures.append(f"{where}: {' '.join(words)} gave {output.strip()[:300]!r}")

    for where, pattern, name in d["file"]:
        found = matching_files(pattern, host_path)
        if name == "none":
            if found:
                failures.append(f"{where}: {pattern} exists")
            continue
        if len(found) != 1 or (name == "unchanged" and len(before[pattern]) != 1):
            failures.append(f"{where}: {pattern} matches {len(found)} files")
            continue
        actual = read_bytes(found[0])
        if name == "unchanged":
            expected = before[pattern][0]
        else:
            expected = read_bytes(os.path.join(os.path.dirname(os.path.abspath(script)), name))
        if actual != expected:
            at = next((i for i in range(min(len(actual), len(expected)))
                       if actual[i] != expected[i]), min(len(actual), len(expected)))
            failures.append(f"{where}: {pattern} differs from {name} at byte {at}: "
                            f"{actual[max(0, at - 40):at + 80]!r}")

    log.seek(0)
    output = log.read().decode(errors="replace")
    log.close()
    if failures:
        if output.strip():
            print("output:\n" + output[-2000:])
        print("transcript:")
        for event in events:
            print("  " + json.dumps(event)[:400])
        for failure in failures:
            print("FAIL " + failure)
        return 1
    print(f"ok: {len(events)} events, exit {code}")
    return 0

if __name__ == "__main__":
    sys.exit(main())
