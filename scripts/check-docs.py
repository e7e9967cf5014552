#!/usr/bin/python3
"""Checks the map of the code against the code: scripts/check-docs.py [ROOT]

1. The folders. Every top-level folder git tracks is on README.md's map (the first column
   of its table names each folder as `name/`), and every folder on the map but docs/ has a
   README.md with a "May use:" and a "Used by:" line.

2. The edges. A folder's README (also a README below the top, such as tools/standin/, for
   the files under it) writes its edges at the start of a line, each line on its own:

       May use: `base/`, `win32/` (its handle owners), `controls/xpbutton/`.
       Used by: nothing (a note in parentheses may follow any item).

   After the colon comes a list of items separated by commas, ending with a full stop or
   the line: each item a folder in backticks (`tools/buttonstrip/`; any folder on the way
   down covers its files), or the one item "nothing". A note in parentheses may follow an
   item. Folder A uses folder B when a file under A (outside B) names a file under B:
     - C, C++ and resource files: `#include "B/..."` (the path from the source root);
     - resource files (.rc): the files their resource statements name, from the .rc's folder;
     - CMake files: a library that an add_library() under B defines (target_link_libraries
       or a function's LIBS), or a path `${ANY_VARIABLE}/B/...` (../ steps resolved);
     - scripts (.sh, .py, a first line "#!"), outside comment lines: a path `B/...` at the
       start of a word or after `$VARIABLE/` (so `$ROOT/cmake/x.cmake`), also inside a build
       tree (`build/native/tools/standin/dorvane-standin` names tools/standin/). This
       script, which reads every folder to check it, is left out.
   "May use:" must list every folder the folder uses and no other; "Used by:" every folder
   whose files use it (by the deepest README above them, or the top folder) and no other.

3. The route. README.md's numbered list after "**One detach, from click to message box.**"
   names in each step the file it passes through, in backticks, first; every backticked
   name of the step that ends in "()" (`Form1::Command3_Click()`) is a function defined in
   that file: a line of it that starts in the first column, is no comment and does not end
   in ";" holds the name followed by "(".

4. The include order docs/style.md asks for: a .cpp with a header of its own name in its
   folder includes that header first; any other .cpp outside tests/ and fuzz/ that is no
   entry point (main, wmain, wWinMain) includes a header of its own folder first.

5. The names' allow-list: every "<Kind>IgnoredRegexp" of .clang-tidy stands in docs/style.md
   as a line "<Kind> <regex>" of a code block, and no other such line does.

6. The stand-in's messages: every row of kMessages (tools/standin/src/messages.h) has its
   MessageId in a row of tools/standin/README.md's table "| Case | Number | Severity |
   `MessageId` |" with its number and severity, and the table names no MessageId the code
   does not have.

Each mismatch is printed with the file, the folder and the edge; the exit status is 1 when
there is any. Standard library only.
"""
import os
import re
import subprocess
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
problems = []


def read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
        return f.read()


files = sorted(
    subprocess.run(["git", "-C", ROOT, "ls-files", "--cached", "--others", "--exclude-standard"],
                   check=True, capture_output=True, text=True).stdout.split("\n"))
files = [f for f in files if f and os.path.isfile(os.path.join(ROOT, f))]
tracked = set(files)
folders = {os.path.dirname(f) for f in files}
for f in list(folders):
    while f:
        folders.add(f)
        f = os.path.dirname(f)
tops = sorted({f.split("/")[0] for f in files if "/" in f})


def existing(path):
    """The longest prefix of a path that git tracks (a file or a folder), or None."""
    path = os.path.normpath(path)
    while path and path != ".":
        if path in tracked or path in folders:
            return path
        path = os.path.dirname(path)
    return None


# --- 1. The map and the folders' READMEs -------------------------------------------------
readme = read("README.md")
mapped = set()
for line in readme.splitlines():
    if line.startswith("| `"):
        mapped |= {m.rstrip("/") for m in re.findall(r"`([^`]+/)`", line.split("|")[1])}
for top in tops:
    if top not in mapped:
        problems.append(f"README.md: the map leaves out `{top}/`")
for m in sorted(mapped - set(tops)):
    problems.append(f"README.md: the map names `{m}/`, which git does not track")

LINE = {"May use": re.compile(r"^May use:(.*)$", re.M), "Used by": re.compile(r"^Used by:(.*)$", re.M)}


def parse_list(readme_path, key, text):
    """The folders a May use/Used by line lists; None for an unparsable line."""
    found = LINE[key].findall(text)
    if len(found) != 1:
        problems.append(f"{readme_path}: {len(found)} lines start with \"{key}:\", not one")
        return None
    body = found[0].strip()
    while re.search(r"\([^()]*\)", body):
        body = re.sub(r"\s*\([^()]*\)", "", body)  # the notes
    body = body.rstrip(".").strip()
    if body == "nothing":
        return set()
    listed = set()
    for item in body.split(","):
        m = re.fullmatch(r"`([^`]+)/`", item.strip())
        if not m:
            problems.append(f"{readme_path}: {key}: \"{item.strip()}\" is not a folder in backticks")
            return None
        if m.group(1) not in folders:
            problems.append(f"{readme_path}: {key}: `{m.group(1)}/` is no folder")
        listed.add(m.group(1))
    return listed


units = {}  # folder -> (its README, May use, Used by)
for f in files:
    if os.path.basename(f) == "README.md" and "/" in f:
        text = read(f)
        if LINE["May use"].search(text) or LINE["Used by"].search(text):
            units[os.path.dirname(f)] = (f, parse_list(f, "May use", text), parse_list(f, "Used by", text))
for top in tops:
    if top != "docs" and top not in units:
        problems.append(f"{top}/: no README.md with \"May use:\" and \"Used by:\" lines")

# --- 2. The edges, from the files ----------------------------------------------------------
libraries = {}  # CMake library -> the folder that defines it
for f in files:
    if f.endswith("CMakeLists.txt"):
        for name in re.findall(r"add_library\(\s*([\w-]+)", read(f)):
            libraries[name] = os.path.dirname(f)

TOP = "|".join(re.escape(t) for t in tops)
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
VAR_PATH = re.compile(r"\$\{?\w+\}?/(?:build/[\w.-]+/)?((?:\.\./)*(?:" + TOP + r")/[\w./-]*)")
WORD_PATH = re.compile(r"(?:^|(?<=[\s\"'=(:,]))(?:build/[\w.-]+/)?((?:" + TOP + r")/[\w./-]*)")
RC_FILE = re.compile(r'^\s*\w+\s+\w+\s+"([^"]+)"', re.M)


def code_lines(text):
    return "\n".join(line for line in text.splitlines() if not line.lstrip().startswith("#"))


def references(f):
    """(target path, how) for every file or folder f names."""
    if f == "scripts/check-docs.py":
        return []  # it reads every folder to check them, and uses none
    text = read(f)
    out = []
    if f.endswith((".c", ".cpp", ".h", ".rc")):
        out += [(p, "includes") for p in INCLUDE.findall(text)]
    if f.endswith(".rc"):
        out += [(os.path.join(os.path.dirname(f), p), "compiles in") for p in RC_FILE.findall(text)]
    if f.endswith(("CMakeLists.txt", ".cmake")):
        body = code_lines(text)
        for lib, where in libraries.items():
            if re.search(r"(?<![\w-])" + re.escape(lib) + r"(?![\w-])", body):
                out.append((where + "/CMakeLists.txt", "links " + lib + " of"))
        out += [(os.path.join(os.path.dirname(f), p) if p.startswith("..") else p, "names")
                for p in VAR_PATH.findall(body)]
    elif f.endswith((".sh", ".py")) or text.startswith("#!"):
        body = code_lines(text)
        out += [(p, "names") for p in VAR_PATH.findall(body) + WORD_PATH.findall(body)]
    result = []
    for path, how in out:
        target = existing(path)
        if target:
            result.append((target, how))
    return result


def unit_of(path):
    """Every README folder above a file, deepest first (a top folder always counts)."""
    chain, d = [], os.path.dirname(path)
    while d:
        if d in units or "/" not in d:
            chain.append(d)
        d = os.path.dirname(d)
    return chain


def owner(path):
    """The folder a README would name for a path: the deepest README folder above it, or its
    top folder."""
    d = path
    while d and d not in units:
        d = os.path.dirname(d)
    return d or path.split("/")[0]


def under(path, folder):
    return path == folder or path.startswith(folder + "/")


uses = {u: {} for u in units}  # folder -> {used folder path: evidence}
users = {u: {} for u in units}  # folder -> {user file: evidence}
for f in files:
    for target, how in references(f):
        for u in unit_of(f):
            if u in units and not under(target, u):
                uses[u].setdefault(target, f"{f} {how} {target}")
        for u in units:
            if under(target, u) and not under(f, u):
                users[u].setdefault(f, f"{f} {how} {target}")

edges = 0
for u, (path, may_use, used_by) in sorted(units.items()):
    for key, listed, seen in (("May use", may_use, uses[u]), ("Used by", used_by, users[u])):
        if listed is None:
            continue
        edges += len(listed)
        for p, why in sorted(seen.items()):
            if not any(under(p, l) for l in listed):
                name = owner(p)
                problems.append(f"{path}: {key}: leaves out `{name}/` ({why})")
                listed = listed | {name}
        for l in sorted(listed):
            if not any(under(p, l) for p in seen):
                what = "it does not use" if key == "May use" else "uses nothing of it"
                problems.append(f"{path}: {key}: names `{l}/`, which {what}")

# --- 3. The route of one detach ------------------------------------------------------------
route = re.search(r"\*\*One detach, from click to message box\.\*\*\s*\n((?:\s*\d+\.\s.*\n(?:\s{3,}\S.*\n)*)+)",
                  readme)
steps = functions = 0
if not route:
    problems.append("README.md: no numbered route after **One detach, from click to message box.**")
else:
    for step in re.split(r"\n(?=\s*\d+\.\s)", route.group(1).strip()):
        steps += 1
        names = re.findall(r"`([^`]+)`", step)
        if not names or not existing(names[0]) or names[0] not in tracked:
            problems.append(f"README.md: route step {steps} does not start with a file that exists: {step[:60]}...")
            continue
        source = read(names[0]).splitlines()
        for name in (n[:-2] for n in names[1:] if re.fullmatch(r"[A-Za-z_][\w:]*\(\)", n)):
            functions += 1
            defined = re.compile(r"(?<![\w:])(?:\w+::)*" + re.escape(name) + r"\s*\(")
            if not any(defined.search(l) and not l[:1].isspace() and not l.startswith(("//", "#"))
                       and not l.rstrip().endswith(";") for l in source):
                problems.append(f"README.md: route step {steps}: {name}() is not defined in {names[0]}")

# --- 4. The own header first -----------------------------------------------------------------
ENTRY = re.compile(r"^\S.*\b(main|wmain|wWinMain)\s*\(", re.M)
for f in files:
    if not f.endswith(".cpp"):
        continue
    text = read(f)
    first = re.search(r'^\s*#\s*include\s+[<"]([^>"]+)[>"]', text, re.M)
    first = first.group(1) if first else ""
    own = f[:-4] + ".h"
    if own in tracked:
        if first != own:
            problems.append(f"{f}: includes {first} first, not its own header {own}")
    elif not f.startswith(("tests/", "fuzz/")) and "/tests/" not in f and not ENTRY.search(text):
        if os.path.dirname(first) != os.path.dirname(f):
            problems.append(f"{f}: includes {first} first, not the header of its folder that declares it")

# --- 5. The names' allow-list ------------------------------------------------------------------
allowed = set(re.findall(r"naming\.(\w+)IgnoredRegexp, value: '([^']*)'", read(".clang-tidy")))
blocks = "\n".join(re.findall(r"```\n(.*?)```", read("docs/style.md"), re.S))
written = set(re.findall(r"^(\w+) (\^.*)$", blocks, re.M))
for kind, regex in sorted(allowed - written):
    problems.append(f"docs/style.md: the allow-list leaves out {kind} {regex} (.clang-tidy)")
for kind, regex in sorted(written - allowed):
    problems.append(f"docs/style.md: the allow-list has {kind} {regex}, which .clang-tidy does not")

# --- 6. The stand-in's messages ------------------------------------------------------------------
messages = re.findall(r"\{MessageId::(\w+), (\d+), (\d+),", read("tools/standin/src/messages.h"))
table = re.search(r"^\| Case \| Number \| Severity \| `MessageId` \|\n\|[-|]+\n((?:\|.*\n)+)",
                  read("tools/standin/README.md"), re.M)
rows = table.group(1).splitlines() if table else []
if not table:
    problems.append("tools/standin/README.md: no table | Case | Number | Severity | `MessageId` |")
for message_id, number, severity in messages:
    row = next((r for r in rows if re.search(r"`" + message_id + r"`", r)), None)
    if not row:
        problems.append(f"tools/standin/README.md: the messages' table leaves out {message_id} ({number})")
    elif not re.search(r"\b" + number + r"\b", row) or f"| {severity} |" not in row:
        problems.append(f"tools/standin/README.md: the row of {message_id} does not say {number}, severity {severity}")
known = {m[0] for m in messages}
for row in rows:
    for name in re.findall(r"`(\w+)`", row.split("|")[-2]):
        if name not in known:
            problems.append(f"tools/standin/README.md: the messages' table names {name}, which messages.h has not")

for p in problems:
    print("check-docs: " + p)
if problems:
    print(f"check-docs: {len(problems)} mismatches between the docs and the code")
    sys.exit(1)
print(f"check-docs: {len(units)} folders and their {edges} edges, every edge as the includes and links have it; "
      f"the route's {steps} steps and {functions} functions where it says; {len(allowed)} allow-list entries "
      f"as .clang-tidy has them; the stand-in's {len(messages)} messages in its README")
