#!/usr/bin/env bash
# The module layering, checked on the sources (docs/architecture.md says why each rule holds):
#  - no file reaches into another module's src/ folder (the tests, benchmarks and fuzz targets
#    only where their own CMakeLists.txt puts that folder on the include path);
#  - app/ never includes cli/;
#  - the libraries below the front ends (core, report, metertalk, linkselect, session, archive,
#    compliance, textfit) never include app/, cli/, download/ or watch/;
#  - download/ and watch/ never include app/ or cli/;
#  - the archive's parts point down: storage includes none of the others, history and register
#    only storage, sync history and storage; nor does a part's CMakeLists.txt link a part above it;
#  - cli/, download/ and watch/ never call the program's presenter (OnGo, OnFullDay, SelectNode,
#    OnAllSessions): they ask the download core;
#  - nothing in app/gui/ names the protocol engine (ModuleCommsEngine, CommsEngine, CComms, the
#    engine's headers): the program reaches its instrument through session/'s InstrumentSession;
#  - no function of the product (tests, benchmarks and fuzz targets aside) runs over 80 lines,
#    brace to brace;
#  - each source file's name is unique in the tree (a program's main.cpp aside), so that a name
#    in a message or a review points at one file.
# Usage: scripts/check-layers.sh [source root]   (default: this checkout). Each violation goes to
# standard error with its file and line, and the exit status is 1.
set -euo pipefail
root=${1:-"$(cd "$(dirname "$0")/.." && pwd)"}
exec python3 - "$root" <<'PY'
import os
import re
import sys

root = os.path.abspath(sys.argv[1])
TEST_LIKE = ("tests", "bench", "fuzz")
LOWER = ("core", "report", "metertalk", "linkselect", "session", "archive", "compliance", "textfit")
FRONT_END_RUNNERS = ("download", "watch")
PRESENTER_CALLS = ("OnGo", "OnFullDay", "SelectNode", "OnAllSessions")
# The archive's parts and those each may use: the arrows point down.
ARCHIVE_USES = {
    "storage": (),
    "history": ("storage",),
    "register": ("storage",),
    "sync": ("history", "storage"),
}
SPLIT = ("app", "archive")  # modules made of parts, each part a module of its own
# What the program's windows never name: the engine is the session's (InstrumentSession).
ENGINE_NAMES = re.compile(r"\b(ModuleCommsEngine|CommsEngine|CComms|MeterTalkComms)\b")
ENGINE_HEADERS = ("metertalk/Comms.h", "metertalk/CommsEngine.h", "session/MeterTalkComms.h")
ENGINE_FREE = ("app/gui",)
MAX_FUNCTION_LINES = 80
SOURCE_EXT = (".cpp", ".h")


def rel(path):
    return os.path.relpath(path, root).replace(os.sep, "/")


def modules():
    """Every folder with a CMakeLists.txt directly under the root, app/ and archive/ split into
    their parts."""
    found = []
    for name in sorted(os.listdir(root)):
        if name.startswith(".") or name in TEST_LIKE or name in ("build", "scripts", "docs"):
            continue
        folder = os.path.join(root, name)
        if not os.path.isfile(os.path.join(folder, "CMakeLists.txt")):
            continue
        parts = [p for p in sorted(os.listdir(folder))
                 if os.path.isfile(os.path.join(folder, p, "CMakeLists.txt"))]
        if name in SPLIT and parts:
            found += [name + "/" + p for p in parts]
        else:
            found.append(name)
    return found


MODULES = modules()


def module_of(relpath):
    for m in sorted(MODULES, key=len, reverse=True):
        if relpath == m or relpath.startswith(m + "/"):
            return m
    first = relpath.split("/")[0]
    return first if first in TEST_LIKE else None


def sources():
    for top in MODULES + list(TEST_LIKE):
        base = os.path.join(root, top)
        for folder, dirs, files in os.walk(base):
            dirs[:] = [d for d in dirs if d not in ("corpus",) and not d.startswith(".")]
            for f in files:
                if f.endswith(SOURCE_EXT):
                    yield rel(os.path.join(folder, f))


ALL = sorted(set(sources()))
BY_NAME = {}
for path in ALL:
    BY_NAME.setdefault(os.path.basename(path), []).append(path)


def in_src_of(path):
    """The module whose src/ folder holds path, or None."""
    m = module_of(path)
    if m and m not in TEST_LIKE and path.startswith(m + "/src/"):
        return m
    return None


def strip_code(text):
    """The text with comments, string and character literals blanked; line breaks kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif text.startswith('R"', i) and not (i and (text[i - 1].isalnum() or text[i - 1] == "_")):
            k = text.find("(", i + 2)
            delim = text[i + 2:k] if k >= 0 else ""
            end = text.find(")" + delim + '"', k + 1) if k >= 0 else -1
            j = n if end < 0 else end + len(delim) + 2
            out.append('""' + re.sub(r"[^\n]", " ", text[i + 2:j]))
            i = j
        elif c == "'" and i > 0 and text[i - 1].isalnum() and text[i + 1:i + 2].isalnum():
            out.append(c)  # a digit separator: 1'000
            i += 1
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * max(0, min(j, n) - i - 1) + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def includes(text):
    for match in INCLUDE.finditer(text):
        yield text.count("\n", 0, match.start()) + 1, match.group(1)


def test_src_dirs(path):
    """The module src/ folders a test-like file's CMakeLists.txt (its folder or above) adds."""
    dirs = set()
    folder = os.path.dirname(path)
    while folder:
        cmake = os.path.join(root, folder, "CMakeLists.txt")
        if os.path.isfile(cmake):
            with open(cmake, encoding="utf-8", errors="replace") as f:
                for d in re.findall(r"\$\{(?:PROJECT|CMAKE)_SOURCE_DIR\}/([\w/]+?)/src\b", f.read()):
                    dirs.add(d)
        folder = os.path.dirname(folder)
    return dirs


def reached_src(path, name):
    """The other module whose src/ folder an include reaches into, or None."""
    own = module_of(path)
    here = os.path.dirname(path)
    if "/" not in name:
        if os.path.isfile(os.path.join(root, here, name)):
            return None
        holders = BY_NAME.get(name, [])
        if own and any(module_of(h) == own for h in holders):
            return None
        if own in TEST_LIKE and any(module_of(h) in TEST_LIKE for h in holders):
            return None
        if any(in_src_of(h) is None for h in holders):
            return None  # a public folder (or no header of ours: a generated or outside one)
        others = sorted({in_src_of(h) for h in holders} - {own})
        return others[0] if others else None
    parts = name.split("/")
    if "src" not in parts:
        return None
    candidates = [os.path.normpath(p).replace(os.sep, "/")
                  for p in (os.path.join(here, name), name)]
    existing = [c for c in candidates if os.path.isfile(os.path.join(root, c))]
    for candidate in existing or candidates[1:]:
        m = in_src_of(candidate)
        if m:
            return None if m == own else m
    if existing:
        return None
    return "/".join(p for p in parts[:parts.index("src")] if p not in ("..", ".")) or "?"


def top_folder(name):
    return name.split("/")[0] if "/" in name else None


def family(module):
    """The module a part belongs to (app/gui: app), or the module itself."""
    return module.split("/")[0] if module else module


def archive_part_of_header(name):
    """The archive part whose include/ holds the header "archive/NAME", or None."""
    parts = [m.split("/")[1] for m in MODULES if m.startswith("archive/")
             and os.path.isfile(os.path.join(root, m, "include", name))]
    return parts[0] if len(parts) == 1 else None


def forbidden_include(module, name):
    top = top_folder(name)
    if top is None or module is None:
        return None
    if module.startswith("app/") and top == "cli":
        return "app/ must not include cli/"
    if family(module) in LOWER and top in ("app", "cli", "download", "watch"):
        return "%s/ lies below the front ends and must not include %s/" % (family(module), top)
    if module.startswith("archive/") and top == "archive":
        part, other = module.split("/")[1], archive_part_of_header(name)
        if other and other != part and other not in ARCHIVE_USES.get(part, ()):
            return "archive/%s/ must not include archive/%s/ (the archive's parts point down)" % (
                part, other)
    if module in FRONT_END_RUNNERS and top in ("app", "cli"):
        return "%s/ must not include %s/ (the program's and the command line's own)" % (module, top)
    return None


PRESENTER = re.compile(r"\b(%s)\s*\(" % "|".join(PRESENTER_CALLS))
TYPE_BLOCK = re.compile(r"^(template\s*<.*>\s*)?(class|struct|union)\b[^(]*$", re.S)
NAMESPACE_BLOCK = re.compile(r'^(inline\s+)?namespace\b[\w:\s]*$|^extern\s*"\s*"$', re.S)
FUNCTION_HEAD = re.compile(
    r"[)}]\s*(const|override|final|noexcept(\s*\([^)]*\))?|mutable|&&?|->[\w:<>,\s*&]+|\s)*$", re.S)


def long_functions(text):
    """(first line, lines) of each function body at file, namespace or class scope."""
    found = []
    stack = []  # entries: [kind, start line]; kinds: scope (transparent), fn, other
    head = ""
    line = 1
    for c in text:
        if c == "\n":
            line += 1
        inside = stack and stack[-1][0] in ("fn", "other", "inner")
        if not inside and (head.startswith("#") or (c == "#" and not head.strip())):
            # A preprocessor line at scope level: its braces and semicolons are not code.
            if c == "\n" and not head.rstrip(" ").endswith("\\"):
                head = ""
            else:
                head = (head if head.startswith("#") else "") + c
            continue
        if inside:
            if c == "{":
                stack.append(["inner", line])
            elif c == "}":
                kind, start = stack.pop()
                if kind == "fn":
                    if line - start + 1 > MAX_FUNCTION_LINES:
                        found.append((start, line - start + 1))
                    head = ""
                elif kind == "other":
                    head += "{}"
            continue
        if c == "{":
            h = head.strip()
            if NAMESPACE_BLOCK.match(h) or TYPE_BLOCK.match(h):
                stack.append(["scope", line])
            elif "(" in h and "=" not in re.sub(r"operator\s*[^\s(]+", "", h).split("(")[0] \
                    and FUNCTION_HEAD.search(h):
                stack.append(["fn", line])
            elif "(" in h and re.search(r"\]\s*(\([^)]*\))?[\w\s]*(->[\w:<>\s*&]+)?$", h):
                stack.append(["fn", line])  # a lambda at namespace scope
            else:
                # A brace initialiser or a table: a constructor's body may still follow.
                stack.append(["other", line])
                continue
            head = ""
        elif c == "}":
            if stack:
                stack.pop()
            head = ""
        elif c == ";":
            head = ""
        else:
            head += c
    return found


def archive_links():
    """Each link of an archive part's CMakeLists.txt to a part it may not use."""
    targets = {}
    texts = {}
    for m in MODULES:
        if not m.startswith("archive/"):
            continue
        with open(os.path.join(root, m, "CMakeLists.txt"), encoding="utf-8") as f:
            texts[m] = re.sub(r"#[^\n]*", "", f.read())
        for target in re.findall(r"\badd_library\s*\(\s*([\w-]+)", texts[m]):
            targets[target] = m.split("/")[1]
    found = []
    for m, text in sorted(texts.items()):
        part = m.split("/")[1]
        for match in re.finditer(r"\btarget_link_libraries\s*\(([^)]*)\)", text):
            line = text.count("\n", 0, match.start()) + 1
            for word in match.group(1).split()[1:]:
                other = targets.get(word)
                if other and other != part and other not in ARCHIVE_USES.get(part, ()):
                    found.append("%s/CMakeLists.txt:%d: links %s of archive/%s/: the archive's "
                                 "parts point down" % (m, line, word, other))
    return found


problems = archive_links()
for path in ALL:
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        raw = f.read()
    module = module_of(path)
    for line, name in includes(raw):
        other = reached_src(path, name)
        if other:
            if module in TEST_LIKE and other in test_src_dirs(path):
                pass
            else:
                problems.append('%s:%d: includes "%s" from %s/src/, which is private to %s; use '
                                "its include/%s/ header"
                                % (path, line, name, other, other, family(other)))
        rule = forbidden_include(module, name)
        if rule:
            problems.append('%s:%d: includes "%s": %s' % (path, line, name, rule))
        if module in ENGINE_FREE and (name in ENGINE_HEADERS or name.startswith("metertalk/engine/")):
            problems.append('%s:%d: includes "%s": %s/ reaches the instrument through '
                            "InstrumentSession, never the protocol engine" % (path, line, name, module))
    if module in ENGINE_FREE:
        code = strip_code(raw)
        for match in ENGINE_NAMES.finditer(code):
            line = code.count("\n", 0, match.start()) + 1
            problems.append("%s:%d: names the protocol engine (%s): %s/ asks InstrumentSession"
                            % (path, line, match.group(1), module))
    if module not in TEST_LIKE:
        checked = family(module)
        code = strip_code(raw)
        if module in ("cli", "download", "watch"):
            for match in PRESENTER.finditer(code):
                line = code.count("\n", 0, match.start()) + 1
                problems.append("%s:%d: calls the program's presenter (%s): %s/ asks the download "
                                "core, not app/" % (path, line, match.group(1), module))
        if path.endswith(".cpp"):
            for start, lines in long_functions(code):
                problems.append("%s:%d: a function of %d lines; at most %d in %s/, split it"
                                % (path, start, lines, MAX_FUNCTION_LINES, checked))

by_name = {}
for path in ALL:
    base = path.rsplit("/", 1)[-1]
    if base != "main.cpp":
        by_name.setdefault(base, []).append(path)
for base, paths in sorted(by_name.items()):
    if len(paths) > 1:
        problems.append("%s: %s share the name; name each after what it holds"
                        % (base, ", ".join(sorted(paths))))

for p in problems:
    print("check-layers: " + p, file=sys.stderr)
if problems:
    print("check-layers: %d violation(s) of the module layering (docs/architecture.md)"
          % len(problems), file=sys.stderr)
    sys.exit(1)
print("check-layers: %d files in %d modules keep the layering" % (len(ALL), len(MODULES)))
PY
