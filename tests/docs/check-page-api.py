#!/usr/bin/env python3
"""Keeps the page author's reference and the type declarations equal to the code.

  check-page-api.py SOURCE_DIR

Reads the script object's method and property tables and each adapter's
argument check, then requires docs/page-api.md and docs/tarsen-web.d.ts to
name exactly those methods and properties with those argument counts, and
the reference to quote every failure text of plugin/common/Constants.h.
"""
import math
import re
import sys
from pathlib import Path

INF = math.inf


def fail(problems):
    for p in problems:
        print("page-api: " + p)
    sys.exit(1)


def table(text, name):
    m = re.search(r"\b%s\[\] = \{(.*?)\n\};" % name, text, re.S)
    if not m:
        fail(["no table %s in the script object" % name])
    return re.findall(r'\{"(\w+)",', m.group(1))


def adapter_counts(sources, method):
    """(min, max) arguments that the adapter of `method` accepts."""
    for text in sources:
        m = re.search(r"bool taTarsenWebPlugin::%s\(.*?\n\}\n" % method, text, re.S)
        if not m:
            continue
        body = m.group(0)
        fit = re.search(r'argumentsFit\(args, argCount, "\w*", (\d+), (\w+)\)', body)
        if fit:
            high = INF if fit.group(2) == "kAnyMore" else int(fit.group(2))
            return int(fit.group(1)), high
        exact = re.search(r"argCount != (\d+)", body)
        if exact:
            return int(exact.group(1)), int(exact.group(1))
        most = re.search(r"argCount > (\d+)", body)
        if most:
            return 0, int(most.group(1))
        fail(["cannot tell the argument count that %s checks; teach this script" % method])
    fail(["no adapter taTarsenWebPlugin::%s" % method])


def split_params(text):
    """Top-level comma-separated parts of a parameter list."""
    parts, depth, current = [], 0, ""
    for c in text:
        if c in "([{<":
            depth += 1
        elif c in ")]}>":
            depth -= 1
        if c == "," and depth == 0:
            parts.append(current.strip())
            current = ""
        else:
            current += c
    if current.strip():
        parts.append(current.strip())
    return parts


def ts_interface(text, name):
    """{method: (min, max)} and [properties] of one interface of the declarations."""
    m = re.search(r"^interface %s(?: extends [\w, ]+)? \{\n(.*?)^\}" % name, text, re.S | re.M)
    if not m:
        fail(["docs/tarsen-web.d.ts declares no interface %s" % name])
    body = re.sub(r"/\*.*?\*/|//[^\n]*", "", m.group(1), flags=re.S)
    body = re.sub(r"\s+", " ", body)
    methods, properties, problems = {}, [], []
    for member in filter(None, (s.strip() for s in body.split(";"))):
        call = re.match(r"(\w+)\((.*)\):", member)
        if call:
            low, high = 0, 0
            for p in split_params(call.group(2)):
                if p.startswith("..."):
                    high = INF
                elif re.match(r"\w+\?:", p):
                    high += 1
                else:
                    low += 1
                    high += 1
            if call.group(1) in methods:
                problems.append("%s declares %s twice" % (name, call.group(1)))
            methods[call.group(1)] = (low, high)
            continue
        prop = re.match(r"(?:readonly )?(\w+)\??:", member)
        if prop:
            properties.append(prop.group(1))
        else:
            problems.append("%s: cannot read the member %r" % (name, member))
    if problems:
        fail(problems)
    return methods, properties


def md_signatures(text):
    """{method: (min, max)} from '### name(a, b[, c])' headings, and the '### .property' names."""
    methods, properties = {}, []
    for heading in re.findall(r"^### (.+)$", text, re.M):
        call = re.match(r"`?(\w+)\((.*)\)`?$", heading)
        if call:
            args = call.group(2).replace(" ", "")
            required, _, optional = args.partition("[")
            low = len([a for a in required.split(",") if a and a != "..."])
            if "..." in args:
                high = INF
            else:
                high = low + len([a for a in optional.strip("]").split(",") if a.strip("]")])
            methods[call.group(1)] = (low, high)
        prop = re.match(r"`?\.(\w+)`?$", heading)
        if prop:
            properties.append(prop.group(1))
    return methods, properties


def describe(counts):
    low, high = counts
    if high == INF:
        return "at least %d" % low
    return str(low) if low == high else "%d to %d" % (low, high)


def compare(where, expected, methods, properties, expected_props, problems):
    for name in sorted(set(expected) - set(methods)):
        problems.append("%s lacks the method %s" % (where, name))
    for name in sorted(set(methods) - set(expected)):
        problems.append("%s names %s, which is not in the method table" % (where, name))
    for name in sorted(set(expected) & set(methods)):
        if methods[name] != expected[name]:
            problems.append("%s gives %s %s argument(s); the adapter checks %s" % (
                where, name, describe(methods[name]), describe(expected[name])))
    if sorted(properties) != sorted(expected_props):
        problems.append("%s has the properties %s; the object has %s" % (
            where, sorted(properties), sorted(expected_props)))


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    host = root / "plugin" / "host"
    script = (host / "taTarsenWebScriptObject.cpp").read_text()
    adapters = [p.read_text() for p in sorted(host.glob("taTarsenWebPlugin*.cpp"))]
    names = table(script, "kMethods")
    props = table(script, "kProperties")
    if len(names) != 30 or len(set(names)) != len(names):
        fail(["the method table holds %d names, expected 30 different ones" % len(names)])
    expected = {name: adapter_counts(adapters, name) for name in names}

    problems = []
    reference = (root / "docs" / "page-api.md").read_text()
    methods, properties = md_signatures(reference)
    compare("docs/page-api.md", expected, methods, properties, props, problems)

    declarations = (root / "docs" / "tarsen-web.d.ts").read_text()
    for interface in ("TarsenWebPlugin", "TarsenWebBridgeObject"):
        methods, properties = ts_interface(declarations, interface)
        compare("tarsen-web.d.ts " + interface, expected, methods, properties, props, problems)

    # Texts may be wrapped across lines of the reference, as they render.
    flowing = re.sub(r"\s+", " ", reference)
    constants = (root / "plugin" / "common" / "Constants.h").read_text()
    for name, text in re.findall(r'constexpr char (kError\w+)\[\] =\s*((?:"[^"]*"\s*)+);', constants):
        message = "".join(re.findall(r'"([^"]*)"', text))
        if message not in flowing:
            problems.append("docs/page-api.md does not quote %s: %s" % (name, message))

    if problems:
        fail(problems)
    print("page-api: %d methods and %d properties agree with the method table" % (
        len(names), len(props)))


if __name__ == "__main__":
    main()
