#!/usr/bin/env python3
"""Runs the examples of docs/page-api.md as one page.

  run-examples.py [--bridge] REFERENCE DATA_DIR OUT_PAGE -- COMMAND...

Writes OUT_PAGE from the reference's blocks: the ```html example block is the
page's body, and each ```js example block becomes one step, run after the
previous one called done(). An HTML comment "<!-- example setup: CODE -->"
right before a block runs CODE first (the scripted user's answers); one
"<!-- example after: CODE -->" right after it runs CODE after the block (a
drop by the test user). Then runs COMMAND (the page test) and exits with
its status. With --bridge, the ```js bridge-example blocks make the page
instead, for headless Chromium with the bridge's extension.
"""
import json
import re
import subprocess
import sys
from pathlib import Path

BLOCK = re.compile(
    r"(?:<!-- example setup: (?P<setup>.*?) -->\s*)?"
    r"```(?P<lang>html|js) (?P<kind>example|bridge-example)\n(?P<code>.*?)```"
    r"(?:\s*<!-- example after: (?P<after>.*?) -->)?", re.S)

HARNESS = """<script>
var DATA = %(data)s;
(function () {
  var log = console.log;
  console.log = function (text) { log(String(text).split(DATA).join('DATA/')); };
})();
testRunner.waitUntilDone();
var steps = [];
%(steps)s
var at = 0;
function next() {
  if (at === steps.length) {
    testRunner.notifyDone();
    return;
  }
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


def main():
    args = sys.argv[1:]
    bridge = args[:1] == ["--bridge"]
    args = args[1:] if bridge else args
    if len(args) < 4 or args[3] != "--":
        sys.exit("usage: run-examples.py [--bridge] REFERENCE DATA_DIR OUT_PAGE -- COMMAND...")
    reference = Path(args[0]).read_text()
    data = str(Path(args[1]).resolve()) + "/"
    body, steps = ("" if bridge else None), []
    for m in BLOCK.finditer(reference):
        if (m.group("kind") == "bridge-example") != bridge:
            continue
        if m.group("lang") == "html":
            if body is not None:
                sys.exit("page-api examples: more than one html example block")
            body = m.group("code")
            continue
        parts = [m.group("setup"), m.group("code"), m.group("after")]
        steps.append("steps.push(function (done) {\n%s});" % "\n".join(p for p in parts if p))
    used = sum(1 for m in BLOCK.finditer(reference) for g in ("setup", "after") if m.group(g))
    if bridge:
        used = reference.count("<!-- example ")
    if used != reference.count("<!-- example "):
        sys.exit("page-api examples: an example comment stands apart from its block")
    if body is None or not steps:
        sys.exit("page-api examples: the reference has no html example block or no js examples")
    page = ("<!DOCTYPE html>\n<html><head><title>page-api.md examples</title></head><body>\n" +
            body + HARNESS % {"data": json.dumps(data), "steps": "\n".join(steps)} +
            "</body></html>\n")
    Path(args[2]).write_text(page)
    sys.exit(subprocess.call(args[4:]))


if __name__ == "__main__":
    main()
