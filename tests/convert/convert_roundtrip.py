#!/usr/bin/env python3
"""Converts every fixture with `quillfen-db convert` and reads the result back with the target's
own client: the sqlite3 shell, or psql against a PostgreSQL server this script starts on a Unix
socket in a temporary folder (no network). Every record must equal what `quillfen-db dump` reads;
Access's primary keys, unique indexes and enforced relationships must be in the target.

usage: convert_roundtrip.py --target sqlite|postgres QUILLFEN_DB FIXTURES_DIR...
"""
import argparse, glob, json, os, pwd, re, shutil, struct, subprocess, sys, tempfile
from decimal import Decimal

PASSWORDS = {"V2000_with-password.mdb": "password", "V2003_with-password.mdb": "password",
             "V2010_with-password.accdb": "password", "agile2010.accdb": "password",
             "rc4cryptoapi2007.accdb": "Test123"}
failures = []


def run(args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs).stdout


def quillfen(qdb, command, path, *args):
    password = PASSWORDS.get(os.path.basename(path))
    return run([qdb, command, path, *args] + (["--password", password] if password else []))


def dump(qdb, path, table=None):
    """{table: (columns, rows)}, values as the dump writes them."""
    tables, current = {}, None
    for line in quillfen(qdb, "dump", path, *(["--table", table] if table else [])).splitlines():
        item = json.loads(line, parse_float=Decimal)
        if isinstance(item, dict):
            current = item["table"]
            tables[current] = (item["columns"], [])
        else:
            tables[current][1].append(item)
    return tables


def access_keys(qdb, path, tables):
    """{table: (primary key, [unique columns], [(columns, referenced table)])}, from `schema`
    and MSysRelationships (the enforced relationships between user tables)."""
    keys, table = {}, None
    for line in quillfen(qdb, "schema", path).splitlines():
        if m := re.match(r"TABLE (.*) \(\d+ rows\)$", line):
            table = m.group(1)
            keys[table] = (set(), [], [])
        elif m := re.match(r"  INDEX .* \((.*)\)( PRIMARY KEY)?( FOREIGN KEY)?( UNIQUE)?", line):
            cols = {c.removesuffix(" DESC") for c in m.group(1).split(", ")}
            if m.group(2):
                keys[table][0].update(cols)
            elif m.group(4) and not m.group(3):
                keys[table][1].append(cols)
    columns, rows = dump(qdb, path, "MSysRelationships").get("MSysRelationships", ([], []))
    pairs = {}
    for row in rows:
        r = dict(zip([c["name"] for c in columns], row))
        if not r["grbit"] & 2 and {r["szObject"], r["szReferencedObject"]} <= set(tables):
            pairs.setdefault((r["szRelationship"], r["szObject"], r["szReferencedObject"]),
                             set()).add(r["szColumn"])
    for (_, source, target), cols in pairs.items():
        keys[source][2].append((cols, target))
    return keys


def canonical(type_name, value):
    """A value, read from the dump or from the target, in one form for comparing."""
    if value is None:
        return None
    if type_name == "YesNo":
        return value in (1, True, "t")
    if type_name in ("Currency", "Decimal"):
        return Decimal(str(value)).normalize()
    if type_name == "Single":
        return struct.unpack("f", struct.pack("f", float(value)))[0]
    if type_name == "Double":
        return float(value)
    if type_name in ("DateTime", "DateTimeExtended"):
        return str(value).replace(" ", "T")
    if type_name == "GUID":
        return "{" + str(value).strip("{}").upper() + "}"
    if type_name in ("Binary", "OLE", "Unknown"):
        return "0x" + str(value).removeprefix("0x").removeprefix("\\x").lower()
    return str(value) if type_name == "BigInt" else value


def compare(where, columns, want_rows, got_rows):
    types = [c["type"] for c in columns]
    want = sorted(repr([canonical(t, v) for t, v in zip(types, row)]) for row in want_rows)
    got = sorted(repr([canonical(t, v) for t, v in zip(types, row)]) for row in got_rows)
    if want != got:
        diff = next(((w, g) for w, g in zip(want, got) if w != g), (len(want), len(got)))
        failures.append(f"{where}: Access and the target differ: {str(diff)[:800]}")


def q(name):
    return '"' + name.replace('"', '""') + '"'


def literal(text):
    return "'" + text.replace("'", "''") + "'"


class SQLite:
    def load(self, qdb, path, work):
        self.db = os.path.join(work, "out.sqlite")
        if os.path.exists(self.db):
            os.remove(self.db)
        return quillfen(qdb, "convert", path, "--to", "sqlite", self.db)

    def query(self, sql):
        return json.loads(run(["sqlite3", "-json", self.db, sql]) or "[]", parse_float=Decimal)

    def rows(self, table, columns):
        cells = [f"CASE WHEN {q(c['name'])} IS NULL THEN NULL ELSE hex({q(c['name'])}) END"
                 if c["type"] in ("Binary", "OLE", "Unknown") else q(c["name"]) for c in columns]
        return [list(r.values()) for r in self.query(f"SELECT {', '.join(cells)} FROM {q(table)}")]

    def keys(self, table):
        t = literal(table)
        pk = {r["name"] for r in self.query(f"SELECT name FROM pragma_table_info({t}) WHERE pk")}
        unique = [{c["name"] for c in self.query(
            f"SELECT name FROM pragma_index_info({literal(ix['name'])})")}
            for ix in self.query(f"SELECT name FROM pragma_index_list({t}) WHERE [unique]")]
        foreign = {}
        for fk in self.query(f"SELECT * FROM pragma_foreign_key_list({t})"):
            foreign.setdefault(fk["id"], (set(), fk["table"]))[0].add(fk["from"])
        return pk, unique, list(foreign.values())

    def faults(self):
        found = run(["sqlite3", self.db, "PRAGMA integrity_check; PRAGMA foreign_key_check;"])
        return [] if found.split() == ["ok"] else [found[:400]]


class PostgreSQL:
    """A server of our own. Its tools refuse to run as root: then it runs as nobody."""

    def __init__(self):
        found = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"),
                       key=lambda p: int(p.split("/")[4]))
        if not found:
            raise SystemExit("PostgreSQL's server (Debian package postgresql) is not installed")
        bin_dir, self.folder = os.path.dirname(found[-1]), tempfile.mkdtemp(prefix="quillfen-pg-")
        as_user = []
        if os.geteuid() == 0:
            nobody = pwd.getpwnam("nobody")
            os.chown(self.folder, nobody.pw_uid, nobody.pw_gid)
            as_user = ["runuser", "-u", "nobody", "--"]
        data, env = os.path.join(self.folder, "data"), dict(os.environ, LC_ALL="C.UTF-8")
        self.stop_command = as_user + [f"{bin_dir}/pg_ctl", "-D", data, "-m", "immediate", "stop"]
        for command in ([f"{bin_dir}/initdb", "-D", data, "-U", "postgres", "--auth=trust",
                         "-E", "UTF8", "--no-sync"],
                        [f"{bin_dir}/pg_ctl", "-D", data, "-l", f"{self.folder}/log", "-w", "-o",
                         f"-c listen_addresses='' -k {self.folder} -c fsync=off", "start"]):
            subprocess.run(as_user + command, check=True, capture_output=True, env=env,
                           cwd=self.folder)

    def psql(self, *args):
        return run(["psql", "-X", "-q", "-h", self.folder, "-U", "postgres", "-d", "postgres",
                    "-v", "ON_ERROR_STOP=1", *args])

    def load(self, qdb, path, work):
        script = os.path.join(work, "out.sql")
        report = quillfen(qdb, "convert", path, "--to", "postgres", script)
        # Each fixture in a fresh schema: quicker than a database each.
        self.psql("-c", "DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public")
        self.psql("-f", script)
        os.remove(script)
        return report

    def rows(self, table, columns):
        out = self.psql("-At", "-c", f"SELECT row_to_json(t) FROM {q(table)} t")
        return [list(json.loads(line, parse_float=Decimal).values()) for line in out.splitlines()]

    def keys(self, table):
        columns = ("array(SELECT attname FROM pg_attribute WHERE attrelid = {0} "
                   "AND attnum = ANY({1}))")
        found = self.psql("-At", "-c", f"""SELECT json_build_object(
            'pk', (SELECT {columns.format('conrelid', 'conkey')} FROM pg_constraint
                   WHERE conrelid = {literal(q(table))}::regclass AND contype = 'p'),
            'unique', array(SELECT to_json({columns.format('indrelid', 'indkey')}) FROM pg_index
                            WHERE indrelid = {literal(q(table))}::regclass AND indisunique),
            'foreign', array(SELECT json_build_array({columns.format('conrelid', 'conkey')},
                                                     confrelid::regclass::text)
                             FROM pg_constraint
                             WHERE conrelid = {literal(q(table))}::regclass AND contype = 'f'))""")
        keys = json.loads(found)
        return (set(keys["pk"] or []), [set(u) for u in keys["unique"]],
                [(set(cols), target.strip('"')) for cols, target in keys["foreign"]])

    def faults(self):
        return []  # PostgreSQL checked every foreign key as the script added it

    def stop(self):
        subprocess.run(self.stop_command, capture_output=True, cwd=self.folder)
        shutil.rmtree(self.folder, ignore_errors=True)


def check(qdb, path, work, target):
    report = target.load(qdb, path, work)
    renamed = dict(re.findall(r"^Renamed: table '(.*)' is '(.*)' \(", report, re.M))
    tables = dump(qdb, path)
    for name, (columns, rows) in tables.items():
        compare(f"{path} {name}", columns, rows, target.rows(renamed.get(name, name), columns))
    # The hidden tables of attachment and multi-value fields, as child tables.
    for hidden, child in re.findall(r"hidden table '(.*?)'\) are in table '(.*?)'", report):
        columns, rows = dump(qdb, path, hidden)[hidden]
        compare(f"{path} {child}", columns, rows, target.rows(child, columns))
    relationships = 0
    for table, (pk, unique, foreign) in access_keys(qdb, path, tables).items():
        got_pk, got_unique, got_foreign = target.keys(renamed.get(table, table))
        if pk != got_pk:
            failures.append(f"{path} {table}: primary key {got_pk}, Access has {pk}")
        for cols in unique:
            if cols not in got_unique + [got_pk]:
                failures.append(f"{path} {table}: no unique index on {cols}")
        for cols, referenced in foreign:
            relationships += 1
            if (cols, renamed.get(referenced, referenced)) not in got_foreign:
                failures.append(f"{path} {table}: no foreign key on {cols} to {referenced}")
    failures.extend(f"{path}: {fault}" for fault in target.faults())
    return relationships


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target", choices=["sqlite", "postgres"], required=True)
    parser.add_argument("quillfen_db")
    parser.add_argument("fixtures", nargs="+")
    args = parser.parse_args()
    files = sorted(f for folder in args.fixtures for pattern in ("*.mdb", "*.accdb")
                   for f in glob.glob(os.path.join(folder, "**", pattern), recursive=True))
    work = tempfile.mkdtemp(prefix="quillfen-convert-")
    target = PostgreSQL() if args.target == "postgres" else SQLite()
    relationships = 0
    try:
        for path in files:
            try:
                relationships += check(args.quillfen_db, path, work, target)
            except subprocess.CalledProcessError as e:
                failures.append(f"{path}: {' '.join(e.cmd[:3])}... failed: {e.stderr[:600]}")
    finally:
        if args.target == "postgres":
            target.stop()
        shutil.rmtree(work, ignore_errors=True)
    if relationships == 0:
        failures.append("no fixture has an enforced relationship: foreign keys went unchecked")
    print("\n".join(failures))
    print(f"{len(files)} fixtures converted to {args.target}; {relationships} enforced "
          f"relationships; {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
