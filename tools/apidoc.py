#!/usr/bin/env python3
"""Keeps docs/API.md in step with the public header lib/include/tessel.h.

The header is the source of the document's shape: its banner comments give
the sections, its declarations give one entry each (functions, constants,
enumerations, structures and type names), in the header's order, and each
entry shows its declaration as the header writes it. The prose under each
entry is written by hand and kept across updates.

  apidoc.py update [HEADER DOC]  rewrites DOC: new declarations get a stub
                                 made from the header's comments, marked as
                                 not yet documented; code blocks follow the
                                 header; entries no longer declared go.
  apidoc.py check [HEADER DOC]   exit 1, listing what is wrong, when DOC lacks
                                 a declaration, keeps one the header dropped,
                                 shows an old declaration, holds a stub, or a
                                 function entry lacks its arguments or result.
"""
import os
import re
import sys

STUB = "<!-- not yet documented: describe it, then remove this line -->"
CONTENTS = "## Contents"


class Entry:
    """One public declaration of the header."""

    def __init__(self, name, kind, code, comment, params):
        self.name = name        # the declared name
        self.kind = kind        # function, constant, enum, struct or type
        self.code = code        # the declaration as the header writes it
        self.comment = comment  # the header's comments on it, joined
        self.params = params    # parameter names of a function


def strip_comment(line):
    at = line.find("//")
    return line if at < 0 else line[:at]


def is_banner(line):
    return re.fullmatch(r"\s*// -{10,}\s*", line) is not None


def param_names(code):
    inner = code[code.index("(") + 1:code.rindex(")")]
    names, depth, part = [], 0, ""
    for ch in inner + ",":
        if ch == "," and depth == 0:
            words = re.findall(r"\w+", re.sub(r"\[.*?\]", "", part))
            pointer = re.search(r"\(\s*\*\s*(\w+)\s*\)", part)
            if pointer:
                names.append(pointer.group(1))
            elif words and part.strip() not in ("void", "...") and len(words) > 1:
                names.append(words[-1])
            elif part.strip() == "...":
                names.append("...")
            part = ""
            continue
        depth += ch in "(["
        depth -= ch in ")]"
        part += ch
    return names


def classify(code):
    text = " ".join(strip_comment(l) for l in code.splitlines())
    text = re.sub(r"\s+", " ", text).strip()
    for kind, pattern in (("enum", r"^enum (\w+)"), ("struct", r"^struct (\w+)"),
                          ("type", r"^using (\w+) ="), ("constant", r"^constexpr [\w:<> ]+? (\w+) =")):
        m = re.match(pattern, text)
        if m:
            return m.group(1), kind, []
    m = re.search(r"(\w+)\s*\(", text.replace("[[noreturn]]", ""))
    if not m:
        raise SystemExit("apidoc: cannot read the declaration: " + text)
    return m.group(1), "function", param_names(code)


def header_lines(path, seen=None):
    """The header's lines with each of its parts (#include "tessel/...")
    spliced in where it is first included, the way the compiler reads them
    through their include guards."""
    seen = set() if seen is None else seen
    lines = []
    for line in open(path, encoding="utf-8").read().splitlines():
        m = re.fullmatch(r'\s*#\s*include\s*"(tessel/\w+\.h)"\s*', line)
        if not m:
            lines.append(line)
            continue
        part = os.path.join(os.path.dirname(path), m.group(1))
        if not os.path.exists(part):
            part = os.path.join(os.path.dirname(os.path.dirname(path)), m.group(1))
        if m.group(1) not in seen:
            seen.add(m.group(1))
            lines.extend(header_lines(part, seen))
    return lines


def parse_header(path):
    """[(section title, [Entry])] in the header's order."""
    lines = header_lines(path)
    sections, group, code, depth, i = [], [], [], 0, 0
    while i < len(lines):
        line = lines[i]
        if not code and is_banner(line) and i + 2 < len(lines) and is_banner(lines[i + 2]):
            sections.append((lines[i + 1].strip()[2:].strip(), []))
            group, i = [], i + 3
            continue
        stripped = line.strip()
        if not code:
            if not stripped or stripped.startswith("#"):
                group = []
                i += 1
                continue
            if stripped.startswith("//"):
                # A comment after declarations starts a new group.
                if group and not group[-1].startswith("//"):
                    group = []
                group.append(stripped)
                i += 1
                continue
        if not sections:
            raise SystemExit("apidoc: a declaration before the first section banner: " + stripped)
        code.append(line.rstrip())
        body = strip_comment(line)
        depth += body.count("{") - body.count("}")
        if depth == 0 and body.rstrip().endswith(";"):
            text = "\n".join(code)
            name, kind, params = classify(text)
            comments = [c[2:].strip() for c in group if c.startswith("//")]
            if kind == "function" or kind == "constant" or kind == "type":
                trailing = [strip_comment(l).rstrip() for l in code]
                own = [l[l.find("//") + 2:].strip() for l in code if "//" in l]
                text = "\n".join(trailing)
                comments += own
            sections[-1][1].append(Entry(name, kind, text, " ".join(comments), params))
            group.append(text)
            code = []
        i += 1
    return sections


def normalise(code):
    text = " ".join(strip_comment(l) for l in code.splitlines())
    text = re.sub(r"\s+", " ", text)
    return re.sub(r"\s*([(),;{}*&=])\s*", r"\1", text).strip()


def parse_doc(path):
    """(intro, {section: prose}, {name: (section, code, prose)}, order)."""
    if not os.path.exists(path):
        return "", {}, {}, []
    text = open(path, encoding="utf-8").read()
    intro, sections, entries, order = [], {}, {}, []
    section, name, where, code, prose = None, None, "intro", [], []

    def finish():
        if name is not None:
            entries[name] = (section, "\n".join(code), "\n".join(prose).strip())
            order.append(name)
        elif section is not None:
            sections[section] = "\n".join(prose).strip()

    for line in text.splitlines():
        if line.startswith("## "):
            finish()
            name, code, prose = None, [], []
            section = None if line == CONTENTS else line[3:].strip()
            where = "contents" if line == CONTENTS else "section"
            continue
        if line.startswith("### ") and section is not None:
            finish()
            name, code, prose = line[4:].strip().strip("`"), [], []
            where = "entry-head"
            continue
        if where == "intro":
            intro.append(line)
        elif where == "entry-head" and line.startswith("```"):
            where = "entry-code"
        elif where == "entry-code":
            if line.startswith("```"):
                where = "entry-prose"
            else:
                code.append(line)
        elif where in ("entry-head", "entry-prose", "section"):
            prose.append(line)
    finish()
    return "\n".join(intro).strip(), sections, entries, order


def stub(entry):
    lines = [STUB, "", entry.comment or "(no comment in the header)"]
    if entry.kind == "function":
        lines.append("")
        if entry.params:
            lines.append("**Arguments:** " + ", ".join("`%s`" % p for p in entry.params) + ".")
            lines.append("")
        lines.append("**Returns:** ")
    return "\n".join(lines)


def render(header_sections, doc):
    intro, section_prose, entries, _ = doc
    out = [intro or "# Tessel API", "", CONTENTS, ""]
    for title, items in header_sections:
        out.append("- %s: %s" % (title, ", ".join("`%s`" % e.name for e in items)))
    for title, items in header_sections:
        out += ["", "## " + title]
        if section_prose.get(title):
            out += ["", section_prose[title]]
        for e in items:
            prose = entries[e.name][2] if e.name in entries else stub(e)
            out += ["", "### `%s`" % e.name, "", "```cpp", e.code, "```", "", prose]
    return "\n".join(out).rstrip() + "\n"


def problems(header_sections, doc, doc_text):
    _, _, entries, _ = doc
    found = []
    declared = {}
    for title, items in header_sections:
        for e in items:
            declared[e.name] = e
            if e.name not in entries:
                found.append("%s: declared in the header (%s) but not documented" % (e.name, title))
                continue
            section, code, prose = entries[e.name]
            if section != title:
                found.append("%s: documented under \"%s\", declared under \"%s\"" % (e.name, section, title))
            if normalise(code) != normalise(e.code):
                found.append("%s: the document shows another declaration than the header" % e.name)
            if STUB in prose:
                found.append("%s: still a stub" % e.name)
            if e.kind == "function":
                if "**Returns:**" not in prose or not re.search(r"\*\*Returns:\*\*\s*\S", prose):
                    found.append("%s: no **Returns:** (result and failure values)" % e.name)
                if e.params and "**Arguments:**" not in prose:
                    found.append("%s: no **Arguments:**" % e.name)
    for name in entries:
        if name not in declared:
            found.append("%s: documented but no longer declared in the header" % name)
    if not found and render(header_sections, doc) != doc_text:
        found.append("the layout (order, contents list) differs from the header's: run update")
    return found


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if len(argv) not in (2, 4) or argv[1] not in ("check", "update"):
        sys.stderr.write(__doc__)
        return 2
    header = argv[2] if len(argv) == 4 else os.path.join(root, "lib/include/tessel.h")
    path = argv[3] if len(argv) == 4 else os.path.join(root, "docs/API.md")
    sections = parse_header(header)
    doc = parse_doc(path)
    if argv[1] == "update":
        with open(path, "w", encoding="utf-8") as f:
            f.write(render(sections, doc))
        left = sum(1 for _, items in sections for e in items
                   if e.name not in doc[2] or STUB in doc[2][e.name][2])
        print("%s: %d entries, %d to document" % (path, sum(len(i) for _, i in sections), left))
        return 0
    text = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
    found = problems(sections, doc, text)
    for line in found:
        print("%s: %s" % (path, line))
    if found:
        print("%d problem(s); `python3 tools/apidoc.py update` adds stubs for new declarations"
              % len(found))
        return 1
    print("%s documents all %d declarations of %s" % (path, sum(len(i) for _, i in sections), header))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
