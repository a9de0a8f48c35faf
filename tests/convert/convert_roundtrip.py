#!/usr/bin/env python3
"""Converts every fixture with `quillfen-db convert` and reads the result back with the target's
own client: the sqlite3 shell, or psql against a PostgreSQL server this script starts on a Unix
socket in a temporary folder (no network). Every value must equal what `quillfen-db dump` reads
from the Access file; the keys, unique indexes and enforced relationships must be in the target.

usage: convert_roundtrip.py --target sqlite|postgres QUILLFEN_DB FIXTURES_DIR...
"""
import argparse
import glob
import json
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
from decimal import Decimal

PASSWORDS = {
    "V2000_with-password.mdb": "password",
    "V2003_with-password.mdb": "password",
    "V2010_with-password.accdb": "password",
    "agile2010.accdb": "password",
    "rc4cryptoapi2007.accdb": "Test123",
}

failures = []


def fail(where, message):
    failures.append(f"{where}: {message}")
    print(f"FAIL {where}: {message}", file=sys.stderr)


def run(args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs).stdout


def password_args(path):
    password = PASSWORDS.get(os.path.basename(path))
    return ["--password", password] if password else []


def dump(qdb, path, table=None):
    """{table: (columns, rows)} in the dump's canonical values."""
    args = [qdb, "dump", path] + password_args(path) + (["--table", table] if table else [])
    tables, current = {}, None
    for line in run(args).splitlines():
        item = json.loads(line, parse_float=Decimal)
        if isinstance(item, dict):
            current = item["table"]
            tables[current] = (item["columns"], [])
        else:
            tables[current][1].append(item)
    return tables


def relationships(qdb, path, user_tables):
    """The enforced relationships between user tables: {(name, from, to): [(col, refcol)]}."""
    try:
        rows = dump(qdb, path, "MSysRelationships")
    except subprocess.CalledProcessError:
        return {}
    columns, data = rows["MSysRelationships"]
    names = [c["name"] for c in columns]
    found = {}
    for row in data:
        r = dict(zip(names, row))
        if r["grbit"] & 2 or not {r["szObject"], r["szReferencedObject"]} <= user_tables:
            continue
        key = (r["szRelationship"], r["szObject"], r["szReferencedObject"])
        found.setdefault(key, []).append((r["szColumn"], r["szReferencedColumn"]))
    return found


def schema_keys(qdb, path):
    """{table: {"pk": [cols], "unique": [[cols]...]}} from `quillfen-db schema`."""
    keys, table = {}, None
    for line in run([qdb, "schema", path] + password_args(path)).splitlines():
        m = re.match(r"TABLE (.*) \(\d+ rows\)$", line)
        if m:
            table = m.group(1)
            keys[table] = {"pk": None, "unique": []}
            continue
        m = re.match(r"  INDEX (.*) \((.*)\)( PRIMARY KEY)?( FOREIGN KEY)?( UNIQUE)?", line)
        if m and table is not None:
            cols = [c.removesuffix(" DESC") for c in m.group(2).split(", ")]
            if m.group(3):
                keys[table]["pk"] = cols
            elif m.group(5) and not m.group(4):
                keys[table]["unique"].append(cols)
    return keys


def canonical(type_name, value):
    """A value read back from the target, in the dump's form."""
    if value is None:
        return None
    if type_name == "YesNo":
        return value in (1, True, "t")
    if type_name == "BigInt":
        return str(value)
    if type_name in ("Currency", "Decimal"):
        return Decimal(str(value)).normalize()
    if type_name == "Single":
        import struct
        return struct.unpack("f", struct.pack("f", float(value)))[0]
    if type_name == "Double":
        return float(value)
    if type_name == "DateTime":
        return str(value).replace(" ", "T")
    if type_name == "DateTimeExtended":
        return str(value).replace(" ", "T")
    if type_name == "GUID":
        text = str(value).strip("{}").upper()
        return "{" + text + "}"
    if type_name in ("Binary", "OLE", "Unknown"):
        text = str(value)
        if text.startswith("\\x"):
            text = text[2:]
        return "0x" + text.lower()
    return value


def expected(type_name, value):
    if value is None:
        return None
    if type_name in ("Currency", "Decimal"):
        return Decimal(value).normalize()
    if type_name == "Single":
        import struct
        return struct.unpack("f", struct.pack("f", float(value)))[0]
    if type_name == "Double":
        return float(value)
    return value


def compare(where, columns, want_rows, got_rows):
    types = [c["type"] for c in columns]
    want = sorted((repr([expected(t, v) for t, v in zip(types, row)]) for row in want_rows))
    got = sorted((repr([canonical(t, v) for t, v in zip(types, row)]) for row in got_rows))
    if len(want) != len(got):
        fail(where, f"{len(got)} records in the target, {len(want)} in Access")
        return
    for w, g in zip(want, got):
        if w != g:
            fail(where, f"record differs:\n  Access: {w[:400]}\n  target: {g[:400]}")
            return


def report_names(report):
    """What the report says became of tables: renames and the hidden tables of complex fields."""
    renamed = dict(re.findall(r"^Renamed: table '(.*)' is '(.*)' \(", report, re.M))
    children = dict(
        re.findall(r"hidden table '(.*?)'\) are in table '(.*?)'(?:, whose|\.)", report, re.M))
    return renamed, children


# ----------------------------------------------------------------------------------- SQLite

def sqlite_rows(db, table, columns):
    selects = []
    for c in columns:
        q = '"' + c["name"].replace('"', '""') + '"'
        if c["type"] in ("Binary", "OLE", "Unknown"):
            q = f"CASE WHEN {q} IS NULL THEN NULL ELSE hex({q}) END"
        selects.append(q)
    tq = '"' + table.replace('"', '""') + '"'
    out = run(["sqlite3", "-json", db, f"SELECT {', '.join(selects)} FROM {tq}"])
    if not out.strip():
        return []
    return [list(r.values()) for r in json.loads(out, parse_float=Decimal)]


def sqlite_keys(db, table):
    tq = "'" + table.replace("'", "''") + "'"
    info = json.loads(run(["sqlite3", "-json", db, f"SELECT * FROM pragma_table_info({tq})"]) or "[]")
    pk = [r["name"] for r in sorted((r for r in info if r["pk"]), key=lambda r: r["pk"])]
    unique = []
    lists = json.loads(run(["sqlite3", "-json", db, f"SELECT * FROM pragma_index_list({tq})"]) or "[]")
    for ix in lists:
        if ix["unique"]:
            iq = "'" + ix["name"].replace("'", "''") + "'"
            cols = json.loads(run(["sqlite3", "-json", db,
                                   f"SELECT name FROM pragma_index_info({iq})"]) or "[]")
            unique.append(sorted(c["name"] for c in cols))
    fks = json.loads(run(["sqlite3", "-json", db,
                          f"SELECT * FROM pragma_foreign_key_list({tq})"]) or "[]")
    return pk, unique, fks


def check_sqlite(qdb, path, work):
    out = os.path.join(work, "out.sqlite")
    report = run([qdb, "convert", path, "--to", "sqlite", out] + password_args(path))
    renamed, children = report_names(report)
    tables = dump(qdb, path)
    for name, (columns, rows) in tables.items():
        target = renamed.get(name, name)
        compare(f"{path} {name}", columns, rows, sqlite_rows(out, target, columns))
    for hidden, target in children.items():
        columns, rows = dump(qdb, path, hidden)[hidden]
        compare(f"{path} {target}", columns, rows, sqlite_rows(out, target, columns))
    for table, keys in schema_keys(qdb, path).items():
        target = renamed.get(table, table)
        pk, unique, _ = sqlite_keys(out, target)
        if keys["pk"] and sorted(pk) != sorted(keys["pk"]):
            fail(f"{path} {table}", f"primary key {pk}, Access has {keys['pk']}")
        for cols in keys["unique"]:
            if sorted(cols) not in unique and sorted(cols) != sorted(pk):
                fail(f"{path} {table}", f"no unique index on {cols}")
    fk_count = 0
    for (_, source, referenced), pairs in relationships(qdb, path, set(tables)).items():
        _, _, fks = sqlite_keys(out, renamed.get(source, source))
        fk_count += 1
        got = sorted((f["from"], f["to"]) for f in fks if f["table"] == renamed.get(referenced, referenced))
        if not set(pairs) <= set(got):
            fail(f"{path} {source}", f"foreign keys {got}, Access enforces {pairs}")
    check = run(["sqlite3", out, "PRAGMA integrity_check; PRAGMA foreign_key_check;"]).split()
    if check != ["ok"]:
        fail(path, f"sqlite3 finds faults: {check[:5]}")
    return fk_count


# ------------------------------------------------------------------------------- PostgreSQL

class Cluster:
    """A PostgreSQL server of our own, on a Unix socket in a temporary folder. Its tools refuse
    to run as root: then the server runs as the unprivileged user nobody."""

    def __init__(self):
        found = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"),
                       key=lambda p: int(p.split("/")[4]))
        if not found:
            raise SystemExit("PostgreSQL's server (Debian package postgresql) is not installed")
        self.bin = os.path.dirname(found[-1])
        self.folder = tempfile.mkdtemp(prefix="quillfen-pg-")
        self.data = os.path.join(self.folder, "data")
        self.socket = self.folder
        self.as_user = []
        if os.geteuid() == 0:
            nobody = pwd.getpwnam("nobody")
            os.chown(self.folder, nobody.pw_uid, nobody.pw_gid)
            self.as_user = ["runuser", "-u", "nobody", "--"]
        env = dict(os.environ, LC_ALL="C.UTF-8")
        subprocess.run(self.as_user + [f"{self.bin}/initdb", "-D", self.data, "-U", "postgres",
                                       "--auth=trust", "-E", "UTF8", "--no-sync", "-N"],
                       check=True, capture_output=True, env=env, cwd=self.folder)
        options = f"-c listen_addresses='' -k {self.socket} -c fsync=off"
        subprocess.run(self.as_user + [f"{self.bin}/pg_ctl", "-D", self.data, "-o", options,
                                       "-l", os.path.join(self.folder, "log"), "-w", "start"],
                       check=True, capture_output=True, env=env, cwd=self.folder)

    def psql(self, *args, database="postgres", input=None):
        return subprocess.run(["psql", "-X", "-q", "-h", self.socket, "-U", "postgres", "-d",
                               database, "-v", "ON_ERROR_STOP=1", *args],
                              check=True, capture_output=True, text=True, input=input).stdout

    def stop(self):
        subprocess.run(self.as_user + [f"{self.bin}/pg_ctl", "-D", self.data, "-m", "immediate",
                                       "stop"], capture_output=True, cwd=self.folder)
        shutil.rmtree(self.folder, ignore_errors=True)


def pg_rows(cluster, database, table, columns):
    tq = '"' + table.replace('"', '""') + '"'
    out = cluster.psql("-At", "-c", f"SELECT row_to_json(t) FROM {tq} t", database=database)
    rows = []
    for line in out.splitlines():
        item = json.loads(line, parse_float=Decimal)
        rows.append(list(item.values()))
    return rows


def check_postgres(qdb, path, work, cluster, number):
    script = os.path.join(work, f"out{number}.sql")
    report = run([qdb, "convert", path, "--to", "postgres", script] + password_args(path))
    renamed, children = report_names(report)
    # Each fixture in a fresh schema of the one database: quicker than a database each.
    database = "postgres"
    cluster.psql("-c", "DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public")
    cluster.psql("-f", script, database=database)
    tables = dump(qdb, path)
    for name, (columns, rows) in tables.items():
        target = renamed.get(name, name)
        compare(f"{path} {name}", columns, rows, pg_rows(cluster, database, target, columns))
    for hidden, target in children.items():
        columns, rows = dump(qdb, path, hidden)[hidden]
        compare(f"{path} {target}", columns, rows, pg_rows(cluster, database, target, columns))
    constraints = cluster.psql("-At", "-F", "\t", "-c",
                               "SELECT conrelid::regclass::text, contype, "
                               "array_to_string(array(SELECT attname FROM pg_attribute a "
                               "WHERE a.attrelid = conrelid AND a.attnum = ANY(conkey) "
                               "ORDER BY attname), ',') FROM pg_constraint "
                               "WHERE contype IN ('p', 'f')", database=database)
    found = [tuple(line.split("\t")) for line in constraints.splitlines()]
    unique_indexes = cluster.psql("-At", "-F", "\t", "-c",
                                  "SELECT indrelid::regclass::text, array_to_string(array("
                                  "SELECT attname FROM pg_attribute a WHERE a.attrelid = "
                                  "indrelid AND a.attnum = ANY(indkey) ORDER BY attname), ',') "
                                  "FROM pg_index WHERE indisunique", database=database)
    unique = [tuple(line.split("\t")) for line in unique_indexes.splitlines()]

    def relation(name):
        return '"' + name.replace('"', '""') + '"' if re.search(r"[^a-z0-9_]", name) else name

    for table, keys in schema_keys(qdb, path).items():
        rel = relation(renamed.get(table, table))
        if keys["pk"] and (rel, "p", ",".join(sorted(keys["pk"]))) not in found:
            fail(f"{path} {table}", f"no primary key on {keys['pk']}")
        for cols in keys["unique"]:
            if (rel, ",".join(sorted(cols))) not in unique:
                fail(f"{path} {table}", f"no unique index on {cols}")
    fk_count = 0
    for (_, source, _), pairs in relationships(qdb, path, set(tables)).items():
        rel = relation(renamed.get(source, source))
        fk_count += 1
        cols = ",".join(sorted(p[0] for p in pairs))
        if (rel, "f", cols) not in found:
            fail(f"{path} {source}", f"no foreign key on {cols}")
    return fk_count


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target", choices=["sqlite", "postgres"], required=True)
    parser.add_argument("quillfen_db")
    parser.add_argument("fixtures", nargs="+")
    args = parser.parse_args()
    files = []
    for folder in args.fixtures:
        files += sorted(glob.glob(os.path.join(folder, "**", "*.mdb"), recursive=True) +
                        glob.glob(os.path.join(folder, "**", "*.accdb"), recursive=True))
    work = tempfile.mkdtemp(prefix="quillfen-convert-")
    cluster = Cluster() if args.target == "postgres" else None
    relationships_seen = 0
    try:
        for number, path in enumerate(files):
            try:
                if cluster:
                    relationships_seen += check_postgres(args.quillfen_db, path, work, cluster,
                                                         number)
                else:
                    relationships_seen += check_sqlite(args.quillfen_db, path, work)
                    os.remove(os.path.join(work, "out.sqlite"))
            except subprocess.CalledProcessError as e:
                fail(path, f"{' '.join(e.cmd[:3])}... failed: {e.stderr.strip()[:600]}")
    finally:
        if cluster:
            cluster.stop()
        shutil.rmtree(work, ignore_errors=True)
    print(f"{len(files)} fixtures converted to {args.target}; "
          f"{relationships_seen} enforced relationships; {len(failures)} failures")
    if relationships_seen == 0:
        fail("fixtures", "no fixture has an enforced relationship: the foreign keys went unchecked")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
