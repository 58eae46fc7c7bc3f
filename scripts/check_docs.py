#!/usr/bin/env python3
"""Checks what scripts/docs.sh renders and the documents it renders from:
every relative link of the Markdown documents leads to a file of the
repository (and a heading of it, for an anchor), every relative link of the
rendered HTML to a file of the output (and an element of it, for an
anchor), and the tour of docs/development.md names every source file.

    python3 scripts/check_docs.py HTML_DIR
"""
import glob
import os
import re
import subprocess
import sys

problems = []


def slug(heading):
    """The anchor GitHub gives a Markdown heading."""
    text = re.sub(r"[`*_\[\]()]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def markdown_links(path):
    text = open(path, encoding="utf-8").read()
    text = re.sub(r"```.*?```", "", text, flags=re.S)  # code is not linked
    return re.findall(r"\]\(([^)\s]+)\)", text)


def check_markdown(path):
    for link in markdown_links(path):
        if re.match(r"^[a-z]+:", link) or link.startswith("#") and not link[1:]:
            continue
        target, _, anchor = link.partition("#")
        full = os.path.normpath(os.path.join(os.path.dirname(path), target)) if target else path
        if not os.path.exists(full):
            problems.append(f"{path}: the link to {link} leads nowhere")
        elif anchor and full.endswith(".md"):
            headings = re.findall(r"^#+ (.*)$", open(full, encoding="utf-8").read(), flags=re.M)
            if anchor not in {slug(h) for h in headings}:
                problems.append(f"{path}: the link to {link} names no heading of {target or path}")


def check_html(folder):
    ids = {}
    for page in glob.glob(os.path.join(folder, "*.html")):
        text = open(page, encoding="utf-8", errors="replace").read()
        ids[os.path.basename(page)] = set(re.findall(r'(?:id|name)="([^"]+)"', text))
    for page in glob.glob(os.path.join(folder, "*.html")):
        text = open(page, encoding="utf-8", errors="replace").read()
        for link in set(re.findall(r'href="([^"]+)"', text)):
            # In-page links are the renderer's own (its summaries).
            if re.match(r"^[a-z]+:", link) or link.startswith("#"):
                continue
            target, _, anchor = link.partition("#")
            name = os.path.basename(target) if target else os.path.basename(page)
            if target and not os.path.exists(os.path.join(folder, target)):
                problems.append(f"{os.path.basename(page)}: the link to {link} leads nowhere")
            elif anchor and name in ids and anchor not in ids[name]:
                problems.append(f"{os.path.basename(page)}: the link to {link} names no element of {name}")


def check_tour():
    tour = open("docs/development.md", encoding="utf-8").read()
    files = subprocess.run(["git", "ls-files", "src", "include", "tools", "platform"], capture_output=True,
                           text=True, check=True).stdout.split()
    for path in files:
        if re.search(r"\.(cpp|h|c)$", path) and "/tests/" not in path and os.path.basename(path) not in tour:
            problems.append(f"docs/development.md: the tour does not name {path}")


def main():
    documents = ["README.md", "CHANGELOG.md"] + glob.glob("docs/*.md") + glob.glob("platform/*/README.md")
    for path in documents:
        check_markdown(path)
    if len(sys.argv) > 1:
        check_html(sys.argv[1])
    check_tour()
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
