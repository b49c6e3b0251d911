#!/usr/bin/python3
"""Checks that the SQL scripts of a recovery parse.

    sql_check.py FOLDER
    sql_check.py --sample MKDUMP VRNRECOVER DESCRIPTION

The second form writes the dump DESCRIPTION describes with MKDUMP, recovers
it with VRNRECOVER into a temporary folder, checks that folder, and also
insists that the recovery wrote table definitions, rows, primary keys,
unique constraints, indexes and foreign keys.

Every .sql file below FOLDER is cut into batches at lines that hold only
"GO", and every batch is parsed with sqlglot's Transact-SQL reader. On top of
the parse, which is lenient in places, each CREATE TABLE must give every
column a type (and list as many columns as its text does), each INSERT must
give as many values as it names columns, type arguments must be sensible
numbers, no list may hold an empty item ("(a,)") and no key or index an
empty column list, and no script may hold control characters other than
line ends and tabs.

The sqlglot release this runs with does not know a few words of the
server's dialect. Before parsing they are mapped, outside string literals,
to words it knows with the same grammar:
    sysname, longsysname          -> varchar(30), varchar(255)
    unichar, univarchar, unitext  -> nchar, nvarchar, ntext
    unsigned smallint/int/bigint  -> smallint, int, bigint
    NONCLUSTERED                  -> (dropped)
    ADD CONSTRAINT c UNIQUE (...) -> ADD CONSTRAINT c PRIMARY KEY (...)
                                     (its ALTER TABLE reader fails on UNIQUE)
    ]] inside a [bracketed name]  -> _  (it does not read a doubled bracket)
The dialect needs nothing between the statements of a batch; this reader
needs a semicolon, so one is put before every line that begins with INSERT,
CREATE or ALTER.

Exit status: 0 all batches parse, 1 some do not (each is listed), 2 bad
arguments or no script found, 77 sqlglot is not installed (a skipped test).
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import sqlglot
    from sqlglot import exp
except ImportError:
    print("sql_check: sqlglot is not installed for %s; skipped" % sys.executable)
    sys.exit(77)

WORD_MAPPINGS = [
    (re.compile(r"\bunsigned\s+(smallint|int|bigint)\b", re.I), r"\1"),
    (re.compile(r"\blongsysname\b", re.I), "varchar(255)"),
    (re.compile(r"\bsysname\s*\(\s*\d+\s*\)", re.I), "varchar(30)"),
    (re.compile(r"\bsysname\b", re.I), "varchar(30)"),
    (re.compile(r"\bunichar\b", re.I), "nchar"),
    (re.compile(r"\bunivarchar\b", re.I), "nvarchar"),
    (re.compile(r"\bunitext\b", re.I), "ntext"),
    (re.compile(r"\s+NONCLUSTERED\b", re.I), ""),
    (re.compile(r"(\bADD\s+CONSTRAINT\s+\S+\s+)UNIQUE\b", re.I), r"\1PRIMARY KEY"),
    (re.compile(r"\n(?=[ \t]*(INSERT|CREATE|ALTER)\b)", re.I), ";\n"),
]


def segments(text):
    """Splits text into ('code'|'string'|'name', piece) parts."""
    out = []
    i = 0
    code_start = 0
    n = len(text)
    while i < n:
        c = text[i]
        if c in "'[":
            close = "'" if c == "'" else "]"
            if code_start < i:
                out.append(("code", text[code_start:i]))
            j = i + 1
            while j < n:
                if text[j] == close:
                    if j + 1 < n and text[j + 1] == close:
                        j += 2
                        continue
                    break
                j += 1
            out.append(("string" if c == "'" else "name", text[i:j + 1]))
            i = j + 1
            code_start = i
            continue
        i += 1
    if code_start < n:
        out.append(("code", text[code_start:]))
    return out


def mapped(text):
    parts = []
    for kind, piece in segments(text):
        if kind == "code":
            for pattern, replacement in WORD_MAPPINGS:
                piece = pattern.sub(replacement, piece)
        elif kind == "name":
            piece = "[" + piece[1:-1].replace("]]", "_") + "]"
        parts.append(piece)
    return "".join(parts)


def top_level_items(text, opening):
    """Items separated by commas in the parenthesis that opens at `opening`."""
    depth = 0
    items = []
    current = []
    for kind, piece in segments(text[opening:]):
        if kind != "code":
            current.append(piece)
            continue
        for c in piece:
            if c == "(":
                depth += 1
                if depth == 1:
                    continue
            elif c == ")":
                depth -= 1
                if depth == 0:
                    items.append("".join(current))
                    return [i for i in items if i.strip()]
            elif c == "," and depth == 1:
                items.append("".join(current))
                current = []
                continue
            current.append(c)
    return None


def column_list_start(text):
    """Offset of the "(" that opens the column list of a CREATE TABLE, or -1."""
    at = 0
    seen_create = False
    for kind, piece in segments(text):
        if kind == "code":
            start = 0
            if not seen_create:
                match = re.search(r"\bCREATE\s+TABLE\b", piece, re.I)
                if match:
                    seen_create = True
                    start = match.end()
            if seen_create:
                found = piece.find("(", start)
                if found >= 0:
                    return at + found
        at += len(piece)
    return -1


def check_statement(statement, batch):
    """Problems the lenient parse lets through."""
    problems = []
    if isinstance(statement, exp.Create) and str(statement.args.get("kind", "")).upper() == "TABLE":
        columns = list(statement.find_all(exp.ColumnDef))
        if not columns:
            problems.append("CREATE TABLE without columns")
        for column in columns:
            if column.args.get("kind") is None:
                problems.append("column %s has no type" % column.name)
        opening = column_list_start(batch)
        items = top_level_items(batch, opening) if opening >= 0 else None
        if items is not None and len(items) != len(columns):
            problems.append("%d column definitions written, %d read" % (len(items), len(columns)))
    if isinstance(statement, exp.Insert):
        target = statement.this
        names = len(target.expressions) if isinstance(target, exp.Schema) else None
        values = statement.args.get("expression")
        if names is not None and isinstance(values, exp.Values):
            for row in values.expressions:
                if len(row.expressions) != names:
                    problems.append("%d columns named, %d values given" % (names, len(row.expressions)))
    for data_type in statement.find_all(exp.DataType):
        for argument in data_type.expressions:
            if not (isinstance(argument, exp.Literal) and argument.this.isdigit()):
                problems.append("type %s has argument %s" % (data_type.sql(), argument.sql()))
    return problems


def list_faults(batch):
    """Empty items of a parenthesised list ("(a,)", "(,b)", "(a,,b)"), and
    an empty column list of a key or index, which the parse lets through."""
    code = "".join(piece if kind == "code" else "x" for kind, piece in segments(batch))
    faults = []
    if re.search(r"\(\s*,|,\s*,|,\s*\)", code):
        faults.append("a list with an empty item")
    if re.search(r"\b(KEY|UNIQUE|INDEX)\b", code, re.I) and re.search(r"\(\s*\)", code):
        faults.append("a key or index without columns")
    return faults


def batches(text):
    current = []
    for line in text.split("\n"):
        if line.strip() == "GO":
            yield "\n".join(current)
            current = []
        else:
            current.append(line)
    yield "\n".join(current)


def check_file(path):
    failures = []
    with open(path, "rb") as f:
        raw = f.read()
    for offset, byte in enumerate(raw):
        if byte < 0x20 and byte not in (0x09, 0x0A, 0x0D):
            failures.append("control character 0x%02x at byte %d" % (byte, offset))
            break
    text = raw.decode("latin-1")
    for number, batch in enumerate(batches(text), 1):
        if not batch.strip():
            continue
        source = mapped(batch)
        for fault in list_faults(batch):
            failures.append("batch %d: %s\n%s" % (number, fault, batch))
        try:
            statements = [s for s in sqlglot.parse(source, read="tsql") if s is not None]
        except Exception as error:  # sqlglot raises several kinds
            failures.append("batch %d does not parse: %s\n%s" % (number, str(error).splitlines()[0], batch))
            continue
        if not statements:
            failures.append("batch %d holds no statement:\n%s" % (number, batch))
        for statement in statements:
            for problem in check_statement(statement, source):
                failures.append("batch %d: %s\n%s" % (number, problem, batch))
    return failures


def check_folder(folder, want_content=False):
    files = []
    for root, _, names in os.walk(folder):
        files.extend(os.path.join(root, n) for n in names if n.lower().endswith(".sql"))
    if not files:
        print("sql_check: no .sql file below %s" % folder)
        return 2
    bad = 0
    for path in sorted(files):
        for failure in check_file(path):
            bad += 1
            print("%s: %s\n" % (path, failure))
    if want_content:
        texts = [open(p, "rb").read().decode("latin-1") for p in files]
        for wanted in ("CREATE TABLE", "INSERT INTO", "PRIMARY KEY", "UNIQUE", "CREATE INDEX", "FOREIGN KEY"):
            if not any(wanted in t for t in texts):
                bad += 1
                print("sql_check: no script holds %s" % wanted)
    print("sql_check: %d scripts checked, %d problems" % (len(files), bad))
    return 1 if bad else 0


def check_sample(mkdump, vrnrecover, description):
    work = tempfile.mkdtemp(prefix="sql_check_")
    try:
        dump = os.path.join(work, "sample.dump")
        target = os.path.join(work, "out")
        os.mkdir(target)
        for command in ([mkdump, description, dump], [vrnrecover, "-q", dump, target]):
            result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            if result.returncode != 0:
                print("sql_check: %s exited with %d:\n%s" % (" ".join(command), result.returncode,
                                                               result.stdout.decode("latin-1")))
                return 1
        return check_folder(target, want_content=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main(argv):
    if len(argv) == 5 and argv[1] == "--sample":
        return check_sample(argv[2], argv[3], argv[4])
    if len(argv) != 2 or not os.path.isdir(argv[1]):
        print("usage: sql_check.py FOLDER | sql_check.py --sample MKDUMP VRNRECOVER DESCRIPTION")
        return 2
    return check_folder(argv[1])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
