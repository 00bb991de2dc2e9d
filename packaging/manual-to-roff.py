#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes a manual page (roff, man macros) from a program's --help manual.

The program is run with --help at build time, so the page and the help text cannot differ.
The text is laid out as a manual: section headings in capitals at the left margin, text
indented by 4 spaces. Inside a section
  - a line at 4 spaces followed by lines at 8 spaces is a term and its description
    (options, commands);
  - a line at 4 spaces holding a term, two or more spaces and text is a term with a short
    description; deeper indented lines below continue it (exit codes, environment, files);
  - other lines at 4 spaces are paragraphs, separated by empty lines.
NAME gives the whatis line, SYNOPSIS and EXAMPLES are kept line by line.
"""
import argparse
import re
import subprocess
import sys

TERM_GAP = re.compile(r"^(\S(?:.*?\S)?) {2,}(\S.*)$")


def escape(text):
    """Text as roff reads it: backslashes and non-ASCII characters escaped, an option's or a
    number's leading hyphen a minus sign."""
    text = text.replace("\\", "\\e")
    text = re.sub(r"(?<![\w.])-", r"\\-", text)
    return "".join(c if ord(c) < 128 else "\\[u%04X]" % ord(c) for c in text)


def text_line(text):
    """A line of running text; a leading dot or quote would read as a request."""
    line = escape(text)
    return "\\&" + line if line[:1] in (".", "'") else line


def term(text):
    """A synopsis of an option or command: names (options, commands, environment variables)
    bold, placeholders in capitals (PORT, FILE.svg) italic."""
    out = []
    for token in re.split(r"(\.\.\.|[\[\]|,= ])", text):
        if not token:
            continue
        if re.fullmatch(r"-{1,2}[\w-]+|[a-z][\w-]*|[A-Z][A-Z0-9]*_[A-Z0-9_]+", token):
            out.append("\\fB%s\\fR" % escape(token))
        elif re.fullmatch(r"[A-Z][A-Z0-9.]*(\.[a-z]+)?", token):
            out.append("\\fI%s\\fR" % escape(token))
        else:
            out.append(escape(token))
    return "".join(out)


def indent(line):
    return len(line) - len(line.lstrip(" "))


def sections(lines):
    """[(heading, [body lines])] in order."""
    result = []
    for line in lines:
        if line and not line.startswith(" "):
            result.append((line.strip(), []))
        elif result:
            result[-1][1].append(line.rstrip())
    return result


def blocks(body):
    """Runs of non-empty lines."""
    block = []
    for line in body + [""]:
        if line.strip():
            block.append(line)
        elif block:
            yield block
            block = []


def section_body(heading, body, program):
    out = []
    if heading == "NAME":
        name, _, purpose = " ".join(l.strip() for l in body if l.strip()).partition(" - ")
        return ["%s \\- %s" % (escape(name), escape(purpose))]
    if heading in ("SYNOPSIS", "EXAMPLES"):
        out += [".nf"] if heading == "EXAMPLES" else []
        for line in (l.strip() for l in body if l.strip()):
            if heading == "SYNOPSIS" and line.startswith(program + " "):
                out += ["\\fB%s\\fR %s" % (escape(program), term(line[len(program) + 1:])),
                        ".br"]
            else:
                out.append(text_line(line))
        out += [".fi"] if heading == "EXAMPLES" else []
        return out
    for block in blocks(body):
        i = 0
        paragraph = []
        while i < len(block):
            line = block[i]
            deeper = []
            for l in block[i + 1:]:
                if indent(l) <= indent(line):
                    break
                deeper.append(l.strip())
            gap = TERM_GAP.match(line.strip())
            if deeper and indent(block[i + 1]) == 8 and not gap:
                out += [".TP", term(line.strip())] + [text_line(l) for l in deeper]
            elif gap:
                out += [".TP", term(gap.group(1)), text_line(gap.group(2))]
                out += [text_line(l) for l in deeper]
            else:
                paragraph.append(line.strip())
                i += 1
                continue
            i += 1 + len(deeper)
        if paragraph:
            out += [".PP"] + [text_line(l) for l in paragraph]
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", help="the program; run with --help")
    parser.add_argument("--name", required=True, help="the program's name")
    parser.add_argument("--version", required=True, help="the version shown in the footer")
    parser.add_argument("--date", required=True, help="the date shown in the footer")
    parser.add_argument("--manual", default="Kavri Control", help="the manual's title")
    parser.add_argument("--see-also", default="", help="the SEE ALSO line")
    parser.add_argument("-o", "--output", required=True)
    args = parser.parse_args()

    manual = subprocess.run([args.program, "--help"], check=True, capture_output=True,
                            text=True, encoding="utf-8").stdout
    out = ['.TH %s 1 "%s" "%s %s" "%s"' % (args.name.upper(), args.date, args.manual,
                                            args.version, args.manual)]
    # Identifiers (focuserStepMicrosteps, /dev/ttyUSB0) stay whole, lines ragged on the right.
    out += [".nh", ".ad l"]
    for heading, body in sections(manual.splitlines()):
        out.append('.SH "%s"' % heading)
        out += section_body(heading, body, args.name)
    if args.see_also:
        out += ['.SH "SEE ALSO"', escape(args.see_also)]
    with open(args.output, "w", encoding="utf-8") as page:
        page.write("\n".join(out) + "\n")


if __name__ == "__main__":
    sys.exit(main())
