"""The tree of a document as Expat reads it, and the XML files of the
source tree, for the command's tests."""
import os
import xml.parsers.expat


def xml_files(source):
    """(path from `source`, full path, bytes) of every XML file under tests/
    and examples/."""
    found = []
    for top in ("tests", "examples"):
        for folder, _, names in os.walk(os.path.join(source, top)):
            for name in sorted(names):
                if name.endswith(".xml"):
                    path = os.path.join(folder, name)
                    with open(path, "rb") as f:
                        found.append((os.path.relpath(path, source), path, f.read()))
    return found


def tree(data):
    """(tag, attributes, whole text, children) of the root, as Expat reads it.

    An element's text is its runs of character data joined: a run ends at a
    start or end tag, not at a comment or processing instruction; runs of
    nothing but space, tab, CR and LF are left out.
    """
    parser = xml.parsers.expat.ParserCreate()
    stack = [("", {}, [], [])]  # tag, attributes, runs, children
    run = []

    def close_run():
        text = "".join(run)
        if text.strip(" \t\r\n"):
            stack[-1][2].append(text)
        run.clear()

    def start(tag, attributes):
        close_run()
        stack.append((tag, attributes, [], []))

    def end(_tag):
        close_run()
        tag, attributes, runs, children = stack.pop()
        stack[-1][3].append((tag, attributes, "".join(runs), children))

    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.CharacterDataHandler = run.append
    parser.Parse(data, True)
    return stack[0][3][0]
