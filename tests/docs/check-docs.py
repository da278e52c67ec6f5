#!/usr/bin/env python3
"""Keeps docs/page-api.md and docs/tarsen-web.d.ts equal to the code.

  names SOURCE_DIR: the script object's methods, argument counts and properties
      are those of the reference and the declarations; the reference quotes
      every failure text of plugin/common/Constants.h.
  types SOURCE_DIR WORK_DIR: tsc over the declarations and page-example.ts.
  examples REFERENCE DATA_DIR OUT_PAGE -- COMMAND...: the ```html
      example is the page's body, each ```js example (with its "example setup"
      and "example after" comments) a step run after the previous one's done();
      then runs COMMAND. With --bridge first, the ```js bridge-example steps
      make the page alone.
"""
import filecmp
import json
import re
import shutil
import subprocess
import sys
from pathlib import Path

INF = float("inf")


def fail(problems):
    sys.exit("\n".join("page-api: " + p for p in problems))


def adapter_counts(sources, method):
    """(min, max) arguments that the adapter of `method` accepts."""
    for text in sources:
        m = re.search(r"bool taTarsenWebPlugin::%s\(.*?\n\}\n" % method, text, re.S)
        if not m:
            continue
        fit = re.search(r'argumentsFit\(args, argCount, "\w*", (\d+), (\w+)\)', m.group(0))
        if fit:
            return int(fit.group(1)), INF if fit.group(2) == "kAnyMore" else int(fit.group(2))
        for pattern, low in ((r"argCount != (\d+)", None), (r"argCount > (\d+)", 0)):
            n = re.search(pattern, m.group(0))
            if n:
                return (int(n.group(1)) if low is None else low), int(n.group(1))
        fail(["cannot tell the argument count that %s checks; teach this script" % method])
    fail(["no adapter taTarsenWebPlugin::%s" % method])


def ts_interface(text, name):
    """{method: (min, max)} and [properties] of one interface of the declarations."""
    m = re.search(r"^interface %s(?: extends [\w, ]+)? \{\n(.*?)^\}" % name, text, re.S | re.M)
    if not m:
        fail(["docs/tarsen-web.d.ts declares no interface %s" % name])
    body = re.sub(r"\s+", " ", re.sub(r"/\*.*?\*/|//[^\n]*", "", m.group(1), flags=re.S))
    methods, properties = {}, []
    for member in filter(None, (s.strip() for s in body.split(";"))):
        call = re.match(r"(\w+)\((.*)\):", member)
        prop = re.match(r"(?:readonly )?(\w+)\??:", member)
        if call:
            # Top-level parameters: commas inside brackets belong to a type.
            params, inner = call.group(2), r"\([^()]*\)|\[[^\[\]]*\]|\{[^{}]*\}|<[^<>]*>"
            while re.search(inner, params):
                params = re.sub(inner, "", params)
            params = [p.strip() for p in params.split(",") if p.strip()]
            low = len([p for p in params if re.match(r"\w+:", p)])
            high = INF if any(p.startswith("...") for p in params) else len(params)
            if call.group(1) in methods:
                fail(["%s declares %s twice" % (name, call.group(1))])
            methods[call.group(1)] = (low, high)
        elif prop:
            properties.append(prop.group(1))
        else:
            fail(["%s: cannot read the member %r" % (name, member)])
    return methods, properties


def md_signatures(text):
    """{method: (min, max)} from '### name(a, b[, c])' headings, and the '### .property' names."""
    methods, properties = {}, []
    for heading in re.findall(r"^### (.+)$", text, re.M):
        call = re.match(r"`?(\w+)\((.*)\)`?$", heading)
        prop = re.match(r"`?\.(\w+)`?$", heading)
        if call:
            required, _, optional = call.group(2).replace(" ", "").partition("[")
            low = len([a for a in required.split(",") if a and a != "..."])
            high = low + len([a for a in optional.strip("]").split(",") if a.strip("]")])
            methods[call.group(1)] = (low, INF if "..." in call.group(2) else high)
        elif prop:
            properties.append(prop.group(1))
    return methods, properties


def names(root):
    host = root / "plugin" / "host"
    script = (host / "taTarsenWebScriptObject.cpp").read_text()
    tables = {}
    for table in ("kMethods", "kProperties"):
        m = re.search(r"\b%s\[\] = \{(.*?)\n\};" % table, script, re.S)
        tables[table] = re.findall(r'\{"(\w+)",', m.group(1)) if m else fail(["no " + table])
    methods = tables["kMethods"]
    if len(set(methods)) != 30 or len(methods) != 30:
        fail(["the method table holds %d names, expected 30 different ones" % len(methods)])
    adapters = [p.read_text() for p in sorted(host.glob("taTarsenWebPlugin*.cpp"))]
    expected = {name: adapter_counts(adapters, name) for name in methods}
    reference = (root / "docs" / "page-api.md").read_text()
    declarations = (root / "docs" / "tarsen-web.d.ts").read_text()
    problems = []
    for where, (found, props) in [("docs/page-api.md", md_signatures(reference))] + [
            ("tarsen-web.d.ts " + i, ts_interface(declarations, i))
            for i in ("TarsenWebPlugin", "TarsenWebBridgeObject")]:
        for name in sorted(set(expected) | set(found)):
            if found.get(name) != expected.get(name):
                problems.append("%s: %s takes %s argument(s) (min, max); the code says %s" % (
                    where, name, found.get(name, "no"), expected.get(name, "no such method")))
        if sorted(props) != sorted(tables["kProperties"]):
            problems.append("%s has the properties %s; the object has %s" % (
                where, sorted(props), sorted(tables["kProperties"])))
    # Texts may be wrapped across lines of the reference, as they render.
    flowing = re.sub(r"\s+", " ", reference)
    constants = (root / "plugin" / "common" / "Constants.h").read_text()
    for name, text in re.findall(r'constexpr char (kError\w+)\[\] =\s*((?:"[^"]*"\s*)+);', constants):
        message = "".join(re.findall(r'"([^"]*)"', text))
        if message not in flowing:
            problems.append("docs/page-api.md does not quote %s: %s" % (name, message))
    if problems:
        fail(problems)
    print("page-api: %d methods and %d properties agree with the code" % (
        len(methods), len(tables["kProperties"])))


def types(source, work):
    if not shutil.which("node") or not shutil.which("npm"):
        print("tsc check skipped: node and npm are not installed")
        sys.exit(77)
    # A copy of docs/package*.json, so the source tree stays clean and build folders do not race.
    work.mkdir(parents=True, exist_ok=True)
    fresh = True
    for name in ("package.json", "package-lock.json"):
        if not (work / name).exists() or not filecmp.cmp(source / "docs" / name, work / name, False):
            shutil.copyfile(source / "docs" / name, work / name)
            fresh = False
    tsc = work / "node_modules" / "typescript" / "bin" / "tsc"
    if not fresh or not tsc.exists():
        subprocess.check_call(["npm", "ci", "--no-audit", "--no-fund"], cwd=work)
    sys.exit(subprocess.call([
        "node", str(tsc), "--noEmit", "--strict", "--target", "es2017", "--lib", "es2017,dom",
        str(source / "docs" / "tarsen-web.d.ts"), str(source / "tests" / "docs" / "page-example.ts")]))


BLOCK = re.compile(
    r"(?:<!-- example setup: (?P<setup>.*?) -->\s*)?"
    r"```(?P<lang>html|js) (?P<kind>example|bridge-example)\n(?P<code>.*?)```"
    r"(?:\s*<!-- example after: (?P<after>.*?) -->)?", re.S)

HARNESS = """<script>
var DATA = %s;
console.log = (function (log) {
  return function (text) { log(String(text).split(DATA).join('DATA/')); };
})(console.log);
testRunner.waitUntilDone();
var steps = [%s], at = 0;
function next() {
  if (at === steps.length) return testRunner.notifyDone();
  var step = steps[at++], finished = false;
  console.log('-- example ' + at);
  step(function done() {
    if (finished) throw new Error('example ' + at + ' called done() twice');
    finished = true;
    setTimeout(next, 0);
  });
}
next();
</script>
"""


def examples(args):
    kind = "bridge-example" if args[:1] == ["--bridge"] else "example"
    args = args[kind != "example":]
    if len(args) < 4 or args[3] != "--":
        sys.exit(__doc__)
    reference = Path(args[0]).read_text()
    body, steps, comments = None, [], 0
    for m in BLOCK.finditer(reference):
        comments += bool(m.group("setup")) + bool(m.group("after"))
        if m.group("kind") != kind:
            continue
        if m.group("lang") == "html":
            if body is not None:
                sys.exit("page-api examples: more than one html example block")
            body = m.group("code")
        else:
            code = "\n".join(p for p in m.group("setup", "code", "after") if p)
            steps.append("function (done) {\n%s}" % code)
    if comments != reference.count("<!-- example "):
        sys.exit("page-api examples: an example comment stands apart from its block")
    if (body is None and kind == "example") or not steps:
        sys.exit("page-api examples: the reference has no html example block or no js examples")
    data = json.dumps(str(Path(args[1]).resolve()) + "/")
    Path(args[2]).write_text(
        "<!DOCTYPE html>\n<html><head><title>page-api.md examples</title></head><body>\n" + (body or "") +
        HARNESS % (data, ",\n".join(steps)) + "</body></html>\n")
    sys.exit(subprocess.call(args[4:]))


if __name__ == "__main__":
    if sys.argv[1] == "names":
        names(Path(sys.argv[2]))
    elif sys.argv[1] == "types":
        types(Path(sys.argv[2]), Path(sys.argv[3]))
    else:
        examples(sys.argv[2:])
