#!/usr/bin/env python3
"""Round trips of `zelbasxml format --xml`, judged by Expat.

    roundtrip_test.py ZELBASXML SOURCE_DIR

On every XML file under tests/ and examples/ that Expat reads, and on
generated documents (mixed content, references, CDATA, comments inside text,
texts across the 256 KiB chunks of --chunked, attribute values with tabs,
line feeds, quotes, < and &), the output must be well-formed, give the same
tags, attributes and whole texts as the input, come out the same when
formatted again, and be the same with --chunked. `find TAG --text` must print
the whole texts of the matches.
"""
import concurrent.futures
import os
import random
import subprocess
import sys
import tempfile
import xml.parsers.expat

from expat_tree import tree, xml_files

CHUNK = 262144


def texts(node, tag):
    """Whole texts of the elements named `tag` below `node`, in document order."""
    found = []
    for child in node[3]:
        if child[0] == tag:
            found.append(child[2])
        found.extend(texts(child, tag))
    return found


def generated(rng):
    """Documents that take the default layout's text apart."""
    yield "mixed", b"<p>Hello <b>big</b> world<i/> and <b>more</b>.\n</p>"
    yield "references", b"<t a='&lt;&amp;&quot;&apos;&gt;'>Tom &amp; Jerry&#39;s &#x263A; shop&#13;</t>"
    yield "cdata", b"<r><c><![CDATA[a < b && c > d]]>tail</c><![CDATA[ ]]></r>"
    yield "comments", b"<r>one<!-- c -->two<?pi x?>three<e/>  <!-- only space -->  </r>"
    yield "attributes", b'<r t="a&#9;b&#10;c&#13;d" q=\'say "hi"\' l="&lt;&amp;" s="  x  y  "/>'
    yield "white space", b"<a>\n  <b/>\n  <c>  </c>\r\n<d>\t</d>\n</a>"
    yield "declared", (b'<?xml version="1.0" encoding="ISO-8859-1"?>\n'
                       b'<!DOCTYPE r [<!ENTITY e "E&#38;&#60;x">]><r>caf\xe9 &e;</r>')
    piece = "x" * 1000 + "&amp;\n" + "<![CDATA[<&>]]>"
    long_text = piece * (3 * CHUNK // len(piece))
    yield "long texts across chunks", ("<r><a>" + long_text + "</a><b k='v'>" + long_text[:CHUNK] +
                                       "<c/>" + long_text[:CHUNK] + "</b></r>").encode()
    words = ["word", "Tom &amp; Jerry", "&lt;tag&gt;", "&#10;", "&#9;", " ", "\n", "<![CDATA[&]]>",
             "<!--note-->", "<?go?>", "&quot;", "'", ">", "caf\u00e9", "&#x1F600;"]
    values = ["", "v", "a&amp;b", "&lt;", "&quot;", "'", "\t", "\n", "&#9;&#10;&#13;", " x ", "\u00e9"]
    for n in range(100):
        out = []

        def element(depth):
            tag = rng.choice(["a", "b", "c", "item", "x.y", "n-1"])
            attributes = rng.sample(["k", "id", "z", "A"], rng.randint(0, 3))
            out.append("<" + tag + "".join(' %s="%s"' % (name, rng.choice(values).replace('"', "&quot;"))
                                           for name in attributes))
            if depth > 4 or rng.random() < 0.2:
                out.append("/>")
                return
            out.append(">")
            for _ in range(rng.randint(0, 4)):
                if rng.random() < 0.5:
                    out.append(rng.choice(words))
                else:
                    element(depth + 1)
            out.append("</" + tag + ">")

        element(0)
        yield "generated %d" % n, "".join(out).encode()


def main():
    binary, source = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        return check(binary, source, work)


def check(binary, source, work):
    """Runs every case in the folder `work`; the exit status."""
    failures = []
    checked = 0

    # A command that runs away (a broken build writing without end) is
    # stopped, and so fails here rather than outliving the test.
    def run(*arguments):
        return subprocess.run([binary, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              stdin=subprocess.DEVNULL, check=False, timeout=120)

    inputs = [(name, data) for name, _, data in xml_files(source)]
    inputs.extend(generated(random.Random(20)))

    def one(number, name, data):
        """The problems of one document; None when Expat rejects it."""
        try:
            want = tree(data)
        except xml.parsers.expat.ExpatError:
            return None  # malformed inputs are the CLI test's business
        path = os.path.join(work, "%d.xml" % number)
        with open(path, "wb") as f:
            f.write(data)
        first = run("format", "--xml", path)
        if first.returncode != 0:
            return ["exit %d: %s" % (first.returncode, first.stderr.decode(errors="replace"))]
        problems = []
        try:
            if tree(first.stdout) != want:
                problems.append("read back with Expat, not the same tree")
        except xml.parsers.expat.ExpatError as error:
            problems.append("not well-formed: %s" % error)
        again = os.path.join(work, "%d.again.xml" % number)
        with open(again, "wb") as f:
            f.write(first.stdout)
        if run("format", "--xml", again).stdout != first.stdout:
            problems.append("a second format --xml gives other bytes")
        if run("format", "--xml", "--chunked", path).stdout != first.stdout:
            problems.append("--chunked gives other bytes")
        tag = want[3][0][0] if want[3] else want[0]
        expected = "".join(text + "\n" for text in texts(want, tag)).encode()
        if run("find", tag, "--text", path).stdout != expected:
            problems.append("find %s --text: not the whole texts" % tag)
        return problems

    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        results = pool.map(lambda case: (case[1][0], one(case[0], *case[1])), enumerate(inputs))
        for name, problems in results:
            if problems is not None:
                checked += 1
                failures.extend("FAIL: %s: %s" % (name, problem) for problem in problems)

    for line in failures:
        print(line)
    print("%d documents, %d failures" % (checked, len(failures)))
    return 1 if failures or checked < 100 else 0


if __name__ == "__main__":
    sys.exit(main())
