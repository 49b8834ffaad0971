# SPDX-License-Identifier: Apache-2.0
"""Turns docgen's output (the program's own usage texts) into the manual page and the
bash completion, so that neither can drift from the program's help: the page carries each
module's option table and, word for word, the text its help prints after it.

    gen_docs.py USAGE_TEXT MAN_OUT COMPLETION_OUT VERSION
"""
import re
import sys

ROW = re.compile(r"^(?:-(?P<short>[A-Za-z])  |    )--(?P<long>[^\t\[]+?)(?: \[(?P<kind>[^\]]*)\])?\t+(?P<help>.*)$")
STARS = "*" * 80

# Help text that a module reads from the camera as it prints it: after this line the
# manual says what comes instead of what docgen's run happened to find.
LIVE = {
    "db": ("DB table list: ", "(the tables of the current database file, listed when the help is printed)"),
}

# What a technician needs to read a module's output that its help, fixed text the program
# prints, does not say.
NOTES = {
    "sdmmc": "A repair that corrects errors is followed by the shell's time saying \"Command exited "
             "with non-zero status 1\": dosfsck ends with 1 when it found errors, which -a corrects. "
             "The card is then checked again, read-only: \"Sd/mmc repair ... success!\" means it is "
             "clean now, \"faild!\" that errors are left or the card has no FAT file system.",
}


def parse(text):
    """Module names in registry order, and for each its option rows and the lines its
    help prints after them (tabs expanded, no blank lines at either end)."""
    modules, current, in_frame = {}, None, False
    for line in text.split("\n"):
        if line.startswith("@@module "):
            current, in_frame = line.split(" ", 1)[1], False
            modules[current] = {"rows": [], "text": []}
            continue
        if current is None:
            continue
        if line.startswith(STARS):
            in_frame = not in_frame
            continue
        m = ROW.match(line)
        if in_frame and m:
            modules[current]["rows"].append(m.groupdict())
        elif not in_frame:
            modules[current]["text"].append(line.expandtabs(8).rstrip())
    for name, module in modules.items():
        text = module["text"]
        if name in LIVE:
            text[text.index(LIVE[name][0].rstrip()) + 1:] = []
        while text and not text[-1]:
            text.pop()
        while text and not text[0]:
            text.pop(0)
    return modules


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-").replace("'", "\\(aq").replace("`", "\\(ga")
    return "\\&" + text if text[:1] in (".", "'") else text


def manual(modules, version):
    out = [
        f'.TH DEBUG 1 "" "debug {version}" "User Commands"',
        ".SH NAME",
        "debug \\- diagnostic and factory\\-test tool of the camera",
        ".SH SYNOPSIS",
        ".B debug",
        ".B \\-M",
        ".I module",
        "[\\fImodule options\\fR]",
        ".br",
        ".B debug",
        ".B \\-h",
        "[\\fImodule\\fR]",
        ".SH DESCRIPTION",
        "One invocation selects one module with \\fB\\-M\\fR and hands it the rest of the command",
        "line; \\fB\\-h\\fR prints a module's options instead. Every module accepts its own",
        "\\fB\\-M\\fR option and ignores it.",
        ".SH MODULES",
    ]
    for name, module in modules.items():
        out.append(f".SS {roff(name)}")
        for row in module["rows"]:
            if row["long"] == "module":
                continue
            head = f"\\fB\\-{row['short']}\\fR, " if row["short"] else ""
            head += f"\\fB\\-\\-{roff(row['long'])}\\fR"
            if row["kind"]:
                head += f" [\\fI{roff(row['kind'])}\\fR]"
            out += [".TP", head, roff(row["help"].strip()) or "(no description)"]
        if module["text"]:
            # As the help prints it, line for line.
            out += [".PP", ".nf", *(roff(line) for line in module["text"])]
            if name in LIVE:
                out.append(f"\\fI{roff(LIVE[name][1])}\\fR")
            out.append(".fi")
        if name in NOTES:
            out += [".PP", roff(NOTES[name])]
    out += [
        ".SH EXIT STATUS",
        "0, or 255 when a module rejects an option and ends the process itself.",
        ".SH FILES",
        ".TP",
        ".I /mnt/nand/debug.log",
        "the shared log that test results are appended to",
        ".TP",
        ".I /mnt/nand/tqdb.db, /mnt/nand2/oem.db",
        "the camera's databases (copied from \\fI/opt/app/\\fR when missing)",
        ".TP",
        ".I /tmp/media/",
        "the media pipeline's state logs",
        "",
    ]
    return "\n".join(out)


def completion(modules):
    lines = [
        "# bash completion for debug: module names after -M/-h, a module's options after -M <module>",
        "_debug()",
        "{",
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}",
        "    local modules=\"%s\"" % " ".join(modules),
        "    case $prev in",
        "        -M|--module|-h|--help)",
        "            COMPREPLY=($(compgen -W \"$modules\" -- \"$cur\"))",
        "            return",
        "            ;;",
        "    esac",
        "    local i module=",
        "    for ((i = 1; i < COMP_CWORD - 1; i++)); do",
        "        case ${COMP_WORDS[i]} in -M|--module) module=${COMP_WORDS[i+1]} ;; esac",
        "    done",
        "    local options",
        "    case $module in",
    ]
    for name, module in modules.items():
        words = []
        for row in module["rows"]:
            if row["short"]:
                words.append("-" + row["short"])
            if " " not in row["long"]:
                words.append("--" + row["long"])
        lines.append(f"        {name}) options=\"{' '.join(words)}\" ;;")
    lines += [
        "        *) options=\"-M --module -h --help\" ;;",
        "    esac",
        "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))",
        "}",
        "complete -F _debug debug",
        "",
    ]
    return "\n".join(lines)


def main():
    usage_text, man_out, completion_out, version = sys.argv[1:5]
    with open(usage_text, encoding="latin-1") as f:
        modules = parse(f.read())
    with open(man_out, "w", encoding="latin-1") as f:
        f.write(manual(modules, version))
    with open(completion_out, "w", encoding="latin-1") as f:
        f.write(completion(modules))


if __name__ == "__main__":
    main()
