#!/usr/bin/python3
"""A stand-in for isql that checks a load's order as the server would.

    isql_stub.py -S SERVER -U LOGIN -D DATABASE -i SCRIPT   (password on stdin)

Each call is one session loading one script. The state of the database
(tables made, their identity columns, foreign keys, rows) is kept between
calls in the JSON file $ISQL_STUB_STATE. The script is cut into batches at
lines that hold only "GO"; every batch is checked against what the server
requires, and the first fault fails the call (exit 1, the fault on stderr):

  - a table is made once, and exists before any key, index, identity switch
    or row names it;
  - a foreign key's own and referenced tables exist, and no row goes into
    a table once any foreign key exists (every row is in before the keys);
  - a row that gives a value to an identity column comes only while
    identity_insert is on for its table; it is on for one table at a time,
    and off again when the session ends;
  - the password comes on stdin, never as -P, and equals $ISQL_STUB_PASSWORD;
    the database is $ISQL_STUB_DATABASE.

Rows are counted per table in the state, for the caller to compare.
"""

import json
import os
import re
import sys

NAME = r"(?:\[(?:[^\]]|\]\])*\]|[^\s(\[]+)"


def unquote(name):
    if name.startswith("[") and name.endswith("]"):
        return name[1:-1].replace("]]", "]")
    return name


def fail(script, problem):
    sys.stderr.write("isql stub: %s: %s\n" % (script, problem))
    sys.exit(1)


def main(argv):
    args = {}
    i = 0
    while i < len(argv):
        if argv[i] in ("-S", "-U", "-D", "-P", "-i") and i + 1 < len(argv):
            args[argv[i]] = argv[i + 1]
            i += 2
        else:
            i += 1
    script = args.get("-i", "?")
    if "-P" in args:
        fail(script, "the password was given on the command line")
    password = sys.stdin.readline().rstrip("\n")
    if password != os.environ.get("ISQL_STUB_PASSWORD", password):
        fail(script, "wrong password on stdin: %r" % password)
    if args.get("-D") != os.environ.get("ISQL_STUB_DATABASE", args.get("-D")):
        fail(script, "database %r, not %r" % (args.get("-D"), os.environ.get("ISQL_STUB_DATABASE")))

    state_path = os.environ["ISQL_STUB_STATE"]
    state = {"tables": {}, "fkeys": [], "rows": {}}
    if os.path.exists(state_path):
        with open(state_path) as f:
            state = json.load(f)
    tables = state["tables"]

    def need(name, what):
        if name not in tables:
            fail(script, "%s names table %s, which does not exist yet" % (what, name))

    with open(script, encoding="latin-1") as f:
        text = f.read()
    if text and not text.endswith("\n"):
        fail(script, "the script does not end with a line break")
    identity_on = None
    batch = []
    batches = []
    for line in text.split("\n"):
        if line.strip() == "GO":
            batches.append("\n".join(batch))
            batch = []
        else:
            batch.append(line)
    batches.append("\n".join(batch))

    for b in batches:
        body = b.strip()
        if not body:
            continue
        m = re.match(r"set identity_insert (%s) (on|off)$" % NAME, body)
        if m:
            t = unquote(m.group(1))
            need(t, "identity_insert")
            if not tables[t]["identity"]:
                fail(script, "identity_insert for %s, which has no identity column" % t)
            if m.group(2) == "on":
                if identity_on is not None:
                    fail(script, "identity_insert on for %s while on for %s" % (t, identity_on))
                identity_on = t
            else:
                if identity_on != t:
                    fail(script, "identity_insert off for %s, which is not on" % t)
                identity_on = None
            continue
        if "identity_insert" in body:
            fail(script, "identity_insert not in a batch of its own")
        m = re.match(r"CREATE TABLE (%s)\(" % NAME, body)
        if m:
            t = unquote(m.group(1))
            if t in tables:
                fail(script, "table %s made twice" % t)
            columns = body[m.end():].split(", \n")
            identity = []
            for c in columns:
                cm = re.match(r"\s*(%s)\s" % NAME, c)
                if cm and re.search(r"\bIDENTITY\b", c[cm.end():]):
                    identity.append(unquote(cm.group(1)))
            if len(identity) > 1:
                fail(script, "table %s has %d identity columns" % (t, len(identity)))
            tables[t] = {"identity": identity}
            continue
        for m in re.finditer(r"ALTER TABLE (%s)\s*\n\s*ADD CONSTRAINT (%s) FOREIGN KEY \([^)]*\)\n REFERENCES (%s)\("
                             % (NAME, NAME, NAME), body):
            child, parent = unquote(m.group(1)), unquote(m.group(3))
            need(child, "foreign key " + m.group(2))
            need(parent, "foreign key " + m.group(2))
            state["fkeys"].append([child, parent])
        for m in re.finditer(r"ALTER TABLE (%s) \n ADD CONSTRAINT" % NAME, body):
            need(unquote(m.group(1)), "key")
        for m in re.finditer(r"CREATE INDEX (%s) ON (%s)" % (NAME, NAME), body):
            need(unquote(m.group(2)), "index " + m.group(1))
        for m in re.finditer(r"INSERT INTO (%s)\(([^)]*)\)" % NAME, body):
            t = unquote(m.group(1))
            need(t, "a row")
            if state["fkeys"]:
                fail(script, "a row of %s after the foreign key %s -> %s" % (t, *state["fkeys"][0]))
            named = [unquote(c.strip()) for c in re.findall(NAME, m.group(2))]
            for ident in tables[t]["identity"]:
                if ident in named and identity_on != t:
                    fail(script, "a value for identity column %s.%s without identity_insert on" % (t, ident))
            state["rows"][t] = state["rows"].get(t, 0) + 1
    if identity_on is not None:
        fail(script, "the session ends with identity_insert on for %s" % identity_on)

    with open(state_path, "w") as f:
        json.dump(state, f)
    with open(state_path + ".calls", "a") as f:
        f.write("%s|%s|%s|%s\n" % (args.get("-S"), args.get("-U"), args.get("-D"), os.path.basename(script)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
