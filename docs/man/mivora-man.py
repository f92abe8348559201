#!/usr/bin/env python3
"""Writes the man page mivora(1): the template with its COMMANDS section made from
the program's own --help, so the page lists exactly the options the program takes.

    mivora-man.py MIVORA TEMPLATE OUTPUT VERSION
"""
import re
import subprocess
import sys


def run_help(program, *args):
    result = subprocess.run([program, *args, "--help"], capture_output=True, text=True, check=False)
    if result.returncode != 0:
        sys.exit(f"mivora-man.py: '{program} {' '.join(args)} --help' failed: {result.stderr.strip()}")
    return result.stdout


def roff(text):
    """Text for a roff line: backslashes, hyphens and a leading dot escaped."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def sections(help_text):
    """The help split into (heading, lines): the text before the first heading has
    heading None; the footer after the last list has heading "footer"."""
    parts, heading, lines = [], None, []
    for line in help_text.splitlines():
        match = re.fullmatch(r"([A-Z][A-Za-z ]*):", line)
        if match:
            parts.append((heading, lines))
            heading, lines = match.group(1), []
        elif heading not in (None, "footer") and line and not line.startswith(" "):
            # Unindented text after a list is the footer.
            parts.append((heading, lines))
            heading, lines = "footer", [line]
        else:
            lines.append(line)
    parts.append((heading, lines))
    return parts


def entries(lines):
    """A list section as (term, description) pairs; descriptions may continue on
    more deeply indented lines."""
    result = []
    for line in lines:
        if not line.strip():
            continue
        if re.match(r"  \S", line):
            parts = re.split(r"\s{2,}", line.strip(), maxsplit=1)
            result.append([parts[0], parts[1] if len(parts) > 1 else ""])
        elif result:
            result[-1][1] = (result[-1][1] + " " + line.strip()).strip()
    return result


def subcommand_page(program, name):
    out = [f'.SS "mivora {name}"']
    for heading, lines in sections(run_help(program, name)):
        if heading is None:
            for line in lines:
                if line.startswith("Usage:"):
                    # The usage names the program by the path it was run from.
                    usage = line[len("Usage: "):].split(" ", 1)
                    out += [".PP", ".B " + roff("mivora " + usage[1] if len(usage) > 1 else "mivora")]
                elif line.strip():
                    out += [".PP", roff(line.strip())]
        elif heading == "footer":
            # Paragraphs of text; the exit codes have a section of their own.
            for paragraph in "\n".join(lines).split("\n\n"):
                if paragraph.strip() and not paragraph.startswith("Exit codes:"):
                    out += [".PP"] + [roff(line) for line in paragraph.splitlines()]
        else:
            for term, description in entries(lines):
                if term.startswith("-h,--help"):
                    continue
                out += [".TP", ".B " + roff(term), roff(description)]
    return out


def main():
    program, template, output, version = sys.argv[1:5]
    top = run_help(program)
    commands = []
    for heading, lines in sections(top):
        if heading == "Subcommands":
            commands = [term for term, _ in entries(lines)]
    if not commands:
        sys.exit("mivora-man.py: 'mivora --help' lists no commands")
    body = []
    for name in commands:
        body += subcommand_page(program, name)
    page = open(template, encoding="utf-8").read()
    page = page.replace("@VERSION@", version).replace("@COMMANDS@", "\n".join(body))
    with open(output, "w", encoding="utf-8") as file:
        file.write(page)


if __name__ == "__main__":
    main()
