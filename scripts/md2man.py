#!/usr/bin/env python3
"""Turns a manual page written in a small Markdown subset into roff.

The subset: a first line "# NAME(SECTION) - summary", "## HEADING" sections,
plain paragraphs, "- term: text" definition items and blocks indented by four
spaces (printed as they stand). The program given with --help-from is the one
source of its synopsis and command list: its --help output is a usage block
("usage: " before the first form, the others aligned under it), the
commands' descriptions and an "Exit status: ..." paragraph, parted by blank
lines. On a line of its own "{{SYNOPSIS}}" becomes the usage forms without
"usage: ", "{{COMMANDS}}" the descriptions as they stand, and "{{EXIT}}" the
exit statuses as a paragraph.

usage: md2man.py SOURCE OUTPUT [--help-from PROGRAM] [--date YYYY-MM-DD] [--version V]
"""
import argparse
import re
import subprocess
import sys


def escape(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    # A line starting with a dot or quote would be taken as a request.
    if text.startswith((".", "'")):
        text = "\\&" + text
    return re.sub(r"`([^`]+)`", r"\\fB\1\\fR", text)


def convert(lines, date, version):
    title = re.match(r"#\s+(\S+)\((\d)\)\s+-\s+(.*)", lines[0])
    if not title:
        sys.exit("md2man: the first line must be '# name(section) - summary'")
    name, section, summary = title.groups()
    out = ['.TH "%s" "%s" "%s" "Vellumor %s" "User Commands"' % (name.upper(), section, date, version),
           ".SH NAME", "%s \\- %s" % (escape(name), escape(summary))]
    in_block = False
    for line in lines[1:]:
        if line.startswith("    ") or (in_block and not line.strip()):
            if not in_block:
                out += [".PP", ".nf", ".RS 2"]
                in_block = True
            out.append(escape(line[4:]) if line.strip() else "")
            continue
        if in_block:
            while out and out[-1] == "":
                out.pop()
            out += [".RE", ".fi"]
            in_block = False
        if line.startswith("## "):
            out.append(".SH " + escape(line[3:].strip().upper()))
        elif line.startswith("- "):
            term, _, text = line[2:].partition(": ")
            out += [".TP", escape(term), escape(text)]
        elif not line.strip():
            out.append(".PP")
        else:
            out.append(escape(line.strip()))
    if in_block:
        out += [".RE", ".fi"]
    # Collapse paragraph breaks that lead nowhere.
    cleaned = []
    for entry in out:
        if entry == ".PP" and cleaned and cleaned[-1] in (".PP", ".TP") or entry == ".PP" and cleaned and cleaned[-1].startswith(".SH"):
            continue
        cleaned.append(entry)
    return "\n".join(cleaned) + "\n"


def help_parts(help_text):
    """The --help output's usage forms, command descriptions and exit statuses."""
    blocks = [block.splitlines() for block in help_text.strip("\n").split("\n\n")]
    usage, exit_status = blocks[0], blocks[-1]
    if not usage[0].startswith("usage: ") or not exit_status[0].startswith("Exit status: "):
        sys.exit("md2man: the --help output lacks its usage block or its exit statuses")
    indent = len("usage: ")
    synopsis = ["    " + line[indent:] for line in usage]
    commands = []
    for block in blocks[1:-1]:
        commands += ["    " + line if line.strip() else "" for line in block] + [""]
    exit_text = " ".join(line.strip() for line in exit_status)[len("Exit status: "):]
    return {"{{SYNOPSIS}}": synopsis, "{{COMMANDS}}": commands[:-1], "{{EXIT}}": [exit_text]}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--help-from")
    parser.add_argument("--date", default="2026-12-01")
    parser.add_argument("--version", default="")
    args = parser.parse_args()
    lines = open(args.source, encoding="utf-8").read().splitlines()
    if args.help_from:
        help_text = subprocess.run([args.help_from, "--help"], capture_output=True, text=True, check=True).stdout
        parts = help_parts(help_text)
        expanded = []
        for line in lines:
            expanded += parts.get(line.strip(), [line])
        lines = expanded
    with open(args.output, "w", encoding="utf-8") as out:
        out.write(convert(lines, args.date, args.version))


if __name__ == "__main__":
    main()
