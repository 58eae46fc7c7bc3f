#!/usr/bin/env python3
"""`zelbasxml edit` on files shaped like real ones, beside `xmlstarlet ed`.

    edit_test.py ZELBASXML SOURCE_DIR [--report]

For each file of tests/cli/edit/ and its edits in edits.json: the result must
be well-formed (Expat), hold the edited values and keep the others; with
"lines" given for the file, `diff` against the input must show exactly that
many changed lines (only the edited ones). Where xmlstarlet is installed,
the same edits through `xmlstarlet ed` must give the same tree, and --report
prints both counts of changed lines as a Markdown table.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import xml.parsers.expat

from expat_tree import tree


def local(name):
    return name.split("}", 1)[-1]


def without_namespaces(root):
    for element in root.iter():
        element.tag = local(element.tag)
        element.attrib = {local(name): value for name, value in element.attrib.items()}
    return root


def unmet(data, expectations):
    """The expectations the edited document does not meet."""
    root = without_namespaces(ET.fromstring(data))
    problems = []
    for path, attribute, want in expectations:
        element = root if path == "." else root.find(path)
        if element is None:
            got = None
        elif attribute:
            got = element.get(attribute)
        else:
            got = "".join(element.itertext())
        if got != want:
            problems.append(f"{path} {attribute or 'text'}: {got!r}, want {want!r}")
    return problems


def xmlstarlet_paths(arguments, default_namespace):
    """The same edits for xmlstarlet: element names in a default namespace
    take its '_:' prefix."""
    if not default_namespace:
        return arguments
    out = []
    for i, argument in enumerate(arguments):
        if i > 0 and arguments[i - 1] in ("-u", "-d", "-s", "-r"):
            argument = re.sub(r"(^|/)([A-Za-z_][\w.-]*)(?=[\[/]|$)", r"\1_:\2", argument)
        out.append(argument)
    return out


def changed_lines(before, after, work):
    """Lines `diff` shows removed or added between the two texts."""
    paths = []
    for name, data in (("before", before), ("after", after)):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    result = subprocess.run(["diff", *paths], capture_output=True, check=False)
    return sum(1 for line in result.stdout.splitlines() if line[:1] in (b"<", b">"))


def main():
    zelbasxml, source = sys.argv[1], sys.argv[2]
    report = "--report" in sys.argv[3:]
    here = os.path.join(source, "tests", "cli", "edit")
    with open(os.path.join(here, "edits.json"), encoding="utf-8") as f:
        cases = {name: case for name, case in json.load(f).items() if name != "_"}
    xmlstarlet = shutil.which("xmlstarlet")
    rows = []
    failed = 0
    with tempfile.TemporaryDirectory() as work:
        for name, case in cases.items():
            path = os.path.join(here, name)
            with open(path, "rb") as f:
                original = f.read()
            problems = []
            ours = subprocess.run([zelbasxml, "edit", *case["edit"], path], capture_output=True, check=False)
            if ours.returncode != 0:
                problems.append(f"exit {ours.returncode}: {ours.stderr.decode(errors='replace').strip()}")
            else:
                try:
                    tree(ours.stdout)
                    problems += unmet(ours.stdout, case["expect"])
                except xml.parsers.expat.ExpatError as error:
                    problems.append(f"not well-formed: {error}")
            our_lines = changed_lines(original, ours.stdout, work)
            if not problems and "lines" in case and our_lines != case["lines"]:
                problems.append(f"{our_lines} lines changed, want {case['lines']}")
            their_lines = None
            if xmlstarlet and not problems:
                arguments = xmlstarlet_paths(case["edit"], case.get("default_namespace", False))
                theirs = subprocess.run([xmlstarlet, "ed", *arguments, path], capture_output=True, check=False)
                their_lines = changed_lines(original, theirs.stdout, work)
                if theirs.returncode != 0 or tree(theirs.stdout) != tree(ours.stdout):
                    problems.append("not the tree xmlstarlet ed gives")
            edits = sum(1 for argument in case["edit"] if argument in ("-u", "-d", "-s", "-r"))
            rows.append((name, edits, our_lines, their_lines))
            for problem in problems:
                print(f"FAIL: {name}: {problem}")
            failed += 1 if problems else 0
    if report:
        print("| file | edits | lines changed: zelbasxml edit | xmlstarlet ed |")
        print("| --- | --- | --- | --- |")
        for name, edits, our_lines, their_lines in rows:
            print(f"| {name} | {edits} | {our_lines} | {their_lines if their_lines is not None else 'n/a'} |")
    if not xmlstarlet:
        print("skipped: the comparison with xmlstarlet ed (not installed)")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
