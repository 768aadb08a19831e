#!/usr/bin/env python3
"""Checks the user manual (docs/manual/) and the documents that link into it.

Fails, naming each fault, when
  - a picture a page names does not exist;
  - a link to another page or file goes nowhere;
  - a manual page links to a place inside a page (page.md#place): the program's User Guide
    opens pages, not places in them;
  - a manual page links to a file the program does not carry in its resources, so that the link
    would go nowhere in Help > User Guide;
  - a page or picture of docs/manual/ is missing from resources/tavon.qrc, or the qrc names a
    manual file that is not there.

Usage: scripts/check-manual.py [SOURCE_DIR]   (default: the folder above this script)
"""
import os
import re
import sys
import xml.etree.ElementTree as ElementTree

LINK = re.compile(r"(!?)\[((?:[^\]\\]|\\.)*)\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
FENCE = re.compile(r"^(```|~~~)")
INLINE_CODE = re.compile(r"(`+)(.+?)\1", re.S)


def prose(text):
    """The text without code blocks and inline code, whose brackets are no links."""
    kept, fenced, in_code, previous_blank = [], False, False, True
    for line in text.split("\n"):
        if FENCE.match(line.strip()):
            fenced = not fenced
            kept.append("")
        elif fenced or (line.startswith("    ") and (previous_blank or in_code)):
            in_code = not fenced
            kept.append("")
        elif not line.strip():
            kept.append(line)
            previous_blank = True
        else:
            kept.append(line)
            in_code = previous_blank = False
    return INLINE_CODE.sub(lambda m: " " * len(m.group(0)), "\n".join(kept))


def links(path):
    with open(path, encoding="utf-8") as page:
        text = prose(page.read())
    for match in LINK.finditer(text):
        line = text.count("\n", 0, match.start()) + 1
        yield line, match.group(1) == "!", match.group(3)


def qrc_files(qrc_path):
    """The files the program's resources carry, as paths relative to the source folder, each
    with its path inside the resources."""
    root = ElementTree.parse(qrc_path).getroot()
    folder = os.path.dirname(qrc_path)
    carried = {}
    for resource in root.iter("qresource"):
        prefix = resource.get("prefix", "/").strip("/")
        for entry in resource.iter("file"):
            source = os.path.normpath(os.path.join(folder, entry.text.strip()))
            inside = "/".join(p for p in (prefix, entry.get("alias", entry.text.strip())) if p)
            carried[source] = inside
    return carried


def main():
    source = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                             os.path.join(os.path.dirname(__file__), ".."))
    manual = os.path.join(source, "docs", "manual")
    qrc = os.path.join(source, "resources", "tavon.qrc")
    faults = []
    if not os.path.isfile(os.path.join(manual, "index.md")):
        faults.append("docs/manual/index.md: missing (the manual's first page)")

    carried = qrc_files(qrc)
    pages = sorted(os.path.join(manual, name) for name in os.listdir(manual) if name.endswith(".md"))
    checked = pages + [os.path.join(source, "README.md")] + sorted(
        os.path.join(source, "docs", name) for name in os.listdir(os.path.join(source, "docs"))
        if name.endswith(".md"))

    def shown(path):
        return os.path.relpath(path, source)

    for page in checked:
        in_manual = os.path.dirname(page) == manual
        for line, picture, target in links(page):
            where = f"{shown(page)}, line {line}"
            if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                continue  # https:, mailto: and the like open outside
            file_part, _, place = target.partition("#")
            if not file_part:
                if in_manual:
                    faults.append(f"{where}: the link \"{target}\" goes to a place in the page, "
                                  "which the program's User Guide cannot follow")
                continue
            resolved = os.path.normpath(os.path.join(os.path.dirname(page), file_part))
            what = "picture" if picture else "link"
            if not os.path.exists(resolved):
                faults.append(f"{where}: the {what} \"{target}\" names {shown(resolved)}, "
                              "which does not exist")
                continue
            if in_manual and place:
                faults.append(f"{where}: the link \"{target}\" goes to a place in a page, which "
                              "the program's User Guide cannot follow: link the page")
            if in_manual and resolved not in carried:
                faults.append(f"{where}: the {what} \"{target}\" names {shown(resolved)}, which "
                              "the program does not carry (add it to resources/tavon.qrc)")

    for folder, _, names in os.walk(manual):
        for name in sorted(names):
            path = os.path.join(folder, name)
            if path not in carried:
                faults.append(f"{shown(path)}: not in resources/tavon.qrc, so Help > User Guide "
                              "lacks it")
    for path in sorted(carried):
        if path.startswith(manual + os.sep) and not os.path.exists(path):
            faults.append(f"resources/tavon.qrc names {shown(path)}, which does not exist")

    for fault in faults:
        print(f"check-manual: {fault}", file=sys.stderr)
    if faults:
        return 1
    print(f"check-manual: {len(pages)} pages, their pictures and links are whole")
    return 0


if __name__ == "__main__":
    sys.exit(main())
