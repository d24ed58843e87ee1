#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the manual page kolvane(3) from the documentation in the public headers, so the page
says what the headers say and never drifts from them.

Usage: header_page.py VERSION OUT HEADER...

The first header's leading comment is the page's description; every later comment with the
declarations right below it becomes one entry: functions under FUNCTIONS, macros and types
under CONSTANTS AND TYPES."""

import re
import sys

# Lines that only frame the header (include guards, C++ linkage, the export macro).
FRAMING = re.compile(r"^\s*(#\s*(ifndef|ifdef|if|else|endif|include)\b|#\s*define\s+(KOLVANE_H|KOLVANE_VERSION_H|KOLVANE_API)\b"
                     r"|extern \"C\"|}\s*$)")
EXPORT = "KOLVANE_API "
FUNCTION = re.compile(r"\b(kolvane_\w+)\s*\(")


def roff_text(line):
    """One line of text, safe for roff: backslashes escaped, no control character at the start."""
    line = line.replace("\\", "\\e")
    return "\\&" + line if line.startswith((".", "'")) else line


def comment_lines(comment):
    """The text of a C comment, without its delimiters and leading asterisks."""
    body = comment.strip()[2:-2]
    lines = [re.sub(r"^\s*\*? ?", "", line) for line in body.splitlines()]
    while lines and not lines[0].strip():
        lines.pop(0)
    while lines and not lines[-1].strip():
        lines.pop()
    return [line.rstrip() for line in lines]


def prose(lines):
    """Comment text as roff: paragraphs filled, indented lines and JSON examples kept as written."""
    out, literal = [], False
    for line in lines:
        if not line.strip():
            out.append(".PP")
            literal = False
            continue
        keep = line.startswith(" ") or line.startswith(("{", "\""))
        if keep and not literal:
            out.append(".nf")
        elif literal and not keep:
            out.append(".fi")
        literal = keep
        out.append(roff_text(line))
    if literal:
        out.append(".fi")
    return out


def items(text):
    """(comment lines, declaration lines) for each comment that starts a line, in order: the
    declarations are the lines after it up to the first blank line that follows one of them."""
    found = []
    for match in re.finditer(r"^[ \t]*/\*.*?\*/", text, re.S | re.M):
        declaration = []
        for line in text[match.end():].splitlines()[1:]:
            if line.lstrip().startswith("/*") or (not line.strip() and declaration):
                break
            if not FRAMING.match(line):
                declaration.append(line.rstrip())
        found.append((comment_lines(match.group(0)), without_export_macro(declaration)))
    return found


def without_export_macro(declaration):
    """The declaration without KOLVANE_API, its continuation lines moved left to stay aligned."""
    if not declaration or not declaration[0].startswith(EXPORT):
        return declaration
    shift = " " * len(EXPORT)
    return [declaration[0][len(EXPORT):]] + [line.removeprefix(shift) for line in declaration[1:]]


def literal_block(lines):
    return [".nf"] + [roff_text(line) for line in lines] + [".fi"]


def page(version, headers):
    texts = [open(path, encoding="utf-8").read() for path in headers]
    entries = [entry for text in texts for entry in items(text)]
    description, entries = entries[0][0], entries[1:]
    functions = [(c, d) for c, d in entries if d and FUNCTION.search(" ".join(d))]
    others = [(c, d) for c, d in entries if d and (c, d) not in functions]

    out = [f'.TH KOLVANE 3 "" "kolvane {version}" "kolvane manual"',
           ".SH NAME",
           "kolvane \\- read em133 and em235 electricity meters over Modbus TCP (C interface)",
           ".SH SYNOPSIS", ".nf", ".B #include <kolvane.h>", ".PP"]
    for _, declaration in functions:
        out += [roff_text(line) for line in declaration]
    out += [".fi", ".PP", "Link with \\fB\\-lkolvane\\fR, or take the flags from "
            "\\fBpkg\\-config \\-\\-cflags \\-\\-libs kolvane\\fR.", ".SH DESCRIPTION"]
    out += prose(description)
    out.append(".SH FUNCTIONS")
    for comment, declaration in functions:
        out.append(".SS " + FUNCTION.search(" ".join(declaration)).group(1))
        out += literal_block(declaration) + [".PP"] + prose(comment)
    out.append('.SH "CONSTANTS AND TYPES"')
    for comment, declaration in others:
        out += literal_block(declaration) + [".PP"] + prose(comment) + [".PP"]
    out += [".SH \"SEE ALSO\"", ".BR kolvane (1),", ".BR pkg\\-config (1)"]
    return "\n".join(out) + "\n"


def main(argv):
    if len(argv) < 4:
        sys.exit("usage: header_page.py VERSION OUT HEADER...")
    with open(argv[2], "w", encoding="utf-8") as out:
        out.write(page(argv[1], argv[3:]))


if __name__ == "__main__":
    main(sys.argv)
