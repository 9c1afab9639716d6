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
                              the file NAME beside the script; "=> none": no file matches

An event matches when every field given has the same value; objects match the same way, field
by field, so a dump can name only the controls and fields that matter.
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("script")
    args = parser.parse_args()
    d = parse_directives(args.script)
    sandbox_tool = os.path.join(args.bin, "quellin-sandbox")
    script_tool = os.path.join(args.bin, "quellin-script")

    with tempfile.TemporaryDirectory(prefix="quellin-e2e-") as work:
        sandbox = os.path.join(work, "sandbox")
        env = dict(os.environ, QUELLIN_SANDBOX=sandbox, QT_QPA_PLATFORM="offscreen")

        def sandbox_command(words):
            return subprocess.run([sandbox_tool, "--sandbox", sandbox] + words, env=env,
                                  check=True, capture_output=True, text=True).stdout

        sandbox_command(["init"])
        for words in d["setup"]:
            sandbox_command(words)
        remembered = {name: sandbox_command(words).strip() for name, words in d["remember"]}

        transcript = os.path.join(work, "transcript.jsonl")
        process = subprocess.Popen([script_tool, args.script, transcript], env=env, cwd=work)
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

        failures = []
        if code != d["exit"]:
            failures.append(f"exit code {code}, expected {d['exit']}")
        if not events or events[-1] != {"event": "end", "exit": code}:
            failures.append("the transcript does not end with the end event")
        position = 0
        for where, expected in d["expect"]:
            found = next((i for i in range(position, len(events))
                          if matches(expected, events[i])), None)
            if found is None:
                failures.append(f"{where}: no event matches {json.dumps(expected)} "
                                f"after event {position}")
            else:
                position = found + 1
        for where, unexpected in d["absent"]:
            for event in events:
                if matches(unexpected, event):
                    failures.append(f"{where}: unexpected {json.dumps(event)[:300]}")
        for where, words, text, differs in d["after"]:
            for name, value in remembered.items():
                text = text.replace("$" + name, value)
            output = sandbox_command(words)
            if (output.strip() == text) == differs:
                failures.append(f"{where}: {' '.join(words)} gave {output.strip()[:300]!r}")

        for where, pattern, name in d["file"]:
            parts = pattern.split("\\")
            fixed = next((i for i, part in enumerate(parts) if "*" in part), len(parts))
            base = sandbox_command(["path", "\\".join(parts[:fixed])]).strip()
            found = sorted(glob.glob(os.path.join(base, *parts[fixed:])))
            if name == "none":
                if found:
                    failures.append(f"{where}: {pattern} exists")
                continue
            if len(found) != 1:
                failures.append(f"{where}: {pattern} matches {len(found)} files")
                continue
            with open(found[0], "rb") as f:
                actual = f.read()
            with open(os.path.join(os.path.dirname(os.path.abspath(args.script)), name), "rb") as f:
                expected = f.read()
            if actual != expected:
                at = next((i for i in range(min(len(actual), len(expected)))
                           if actual[i] != expected[i]), min(len(actual), len(expected)))
                failures.append(f"{where}: {pattern} differs from {name} at byte {at}: "
                                f"{actual[max(0, at - 40):at + 80]!r}")

        if failures:
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
