#!/usr/bin/env node
// The new-database oracle: makes a database of each format with `quillfen-db create`, gives it
// tables with CREATE TABLE and rows with INSERT, takes one away with DROP TABLE, and checks each
// step with the independent readers.
//
//   node newdb.mjs --db QUILLFEN_DB --fixtures DIR [--sample SAMPLE_MDB]
//
// For each format (2000 .mdb; 2007, 2010, 2016 .accdb; and Access 97, in a copy of an
// Access-made file, as no empty one is at hand):
//   (a) the new file's system tables, read by mdb-reader, are those of the Access-made empty
//       database of the same version in fixtures/empty/, table for table and column for column;
//   (b) after CREATE TABLE and the INSERTs, mdb-reader reads exactly the rows inserted, and
//       mdb-export agrees field by field; mdb-tables lists the new tables;
//   (c) after DROP TABLE, both readers no longer see the table and read the other as before;
//   (d) `quillfen-db check` finds no fault after every step.
// With --sample, the sample database the build makes is read by both readers: its tables have
// the rows the script inserts, and every value mdb-reader reads is what mdb-export prints.
// Exit status 0 when everything holds, 1 otherwise.

import { spawnSync } from "node:child_process";
import { chmodSync, copyFileSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import MDBReader from "mdb-reader";
import { readDatabase } from "./dump.mjs";
import { matchesExport, mdbExport, mdbTables } from "./mdbtools.mjs";

const FORMATS = [
    { format: "2000", file: "new.mdb", empty: "empty/empty.mdb" },
    { format: "2007", file: "new.accdb", empty: "empty/empty2007.accdb" },
    { format: "2010", file: "new.accdb", empty: "empty/empty2010.accdb" },
    { format: "2016", file: "new.accdb", empty: "empty/empty2016.accdb" },
    // No empty Access 97 database is at hand: the tables go into a copy of an Access-made one.
    { format: "97", file: "new97.mdb", copyOf: "jet3/test97.mdb" },
];

const CREATE_ITEMS =
    "CREATE TABLE Items (Id COUNTER PRIMARY KEY, Name TEXT(40), Qty SHORT, Stock LONG, " +
    "Price CURRENCY, Ratio DOUBLE, Weight SINGLE, Shelf BYTE, Active BIT, Added DATETIME, " +
    "Exact DECIMAL(12, 3), Notes MEMO)";
const LONG_NOTE = Array.from({ length: 300 }, (_, i) => `line ${i} of a long note`).join("; ");
const INSERTS = [
    "INSERT INTO Items (Name, Qty, Stock, Price, Ratio, Weight, Shelf, Active, Added, Exact, Notes) " +
        "VALUES ('Kettle', 2, 140, 42.5, 0.125, 1.5, 7, True, #2024-03-01 10:30:00#, 12.345, 'short')",
    "INSERT INTO Items (Name, Qty, Price, Active, Notes) VALUES ('Grinder', -3, 89.99, False, " +
        `'${LONG_NOTE}')`,
    "INSERT INTO Items (Name) VALUES ('Grüße, €5')",
    "INSERT INTO Items (Name, Stock) SELECT Name, Stock FROM Items WHERE Stock > 100",
];
const EXPECTED_ITEMS = [
    [1, "Kettle", 2, 140, "42.5000", 0.125, 1.5, 7, true, "2024-03-01T10:30:00", "12.345", "short"],
    [2, "Grinder", -3, null, "89.9900", null, null, null, false, null, null, LONG_NOTE],
    [3, "Grüße, €5", null, null, null, null, null, null, false, null, null, null],
    [4, "Kettle", null, 140, null, null, null, null, false, null, null, null],
];
const CREATE_OTHER = "CREATE TABLE Other (Code LONG, Label TEXT(10), CONSTRAINT Pk PRIMARY KEY (Code))";

const failures = [];
const fail = (what) => failures.push(what);

function parseArgs(argv) {
    const options = {};
    for (let i = 0; i < argv.length; ++i) {
        if (["--db", "--fixtures", "--sample"].includes(argv[i]) && i + 1 < argv.length) {
            options[argv[i].slice(2)] = argv[++i];
        } else {
            throw new Error(`unexpected argument ${argv[i]}`);
        }
    }
    if (!options.db || !options.fixtures) {
        throw new Error("usage: node newdb.mjs --db QUILLFEN_DB --fixtures DIR [--sample FILE]");
    }
    return options;
}

function quillfen(options, args) {
    const result = spawnSync(options.db, args, { encoding: "utf8", maxBuffer: 1 << 28 });
    if (result.error) throw new Error(`cannot run ${options.db}: ${result.error.message}`);
    return result;
}

function mustRun(options, label, args) {
    const r = quillfen(options, args);
    if (r.status !== 0) fail(`${label}: quillfen-db ${args[0]} failed: ${r.stderr.trim()}`);
    return r.status === 0;
}

function checked(options, label, file) {
    const r = quillfen(options, ["check", file]);
    if (r.status !== 0) fail(`${label}: check found faults:\n${r.stdout}${r.stderr}`);
}

// System tables and their columns as mdb-reader reads them.
export function systemTables(file) {
    const reader = new MDBReader(readFileSync(file));
    const names = reader.getTableNames({ normalTables: false, systemTables: true }).sort();
    return names.map((name) => {
        let columns;
        try {
            columns = reader.getTable(name).getColumns().map((c) => `${c.name}:${c.type}`);
        } catch (error) {
            columns = [`unreadable: ${error.message}`];
        }
        return `${name} (${columns.join(", ")})`;
    });
}

function same(a, b) {
    return JSON.stringify(a) === JSON.stringify(b);
}

function compareRows(label, file, table, expected) {
    const [reading] = readDatabase(file, { table });
    if (reading.error) return fail(`${label}: mdb-reader cannot read ${table}: ${reading.error}`);
    if (!same(reading.rows, expected)) {
        fail(`${label}: mdb-reader reads ${table} as\n${JSON.stringify(reading.rows)}\n` +
            `expected\n${JSON.stringify(expected)}`);
    }
    agreesWithExport(label, file, table, reading);
}

function agreesWithExport(label, file, table, reading) {
    const exported = mdbExport(file, table);
    const names = reading.header.columns.map((c) => c.name);
    if (!same(exported.columns, names)) {
        return fail(`${label}: mdb-export lists ${table}'s fields as ${exported.columns}`);
    }
    if (exported.rows.length !== reading.rows.length) {
        return fail(`${label}: mdb-export reads ${exported.rows.length} rows of ${table}, ` +
            `mdb-reader ${reading.rows.length}`);
    }
    reading.rows.forEach((row, r) => row.forEach((value, c) => {
        const type = reading.header.columns[c].type;
        if (!matchesExport(type, value, exported.rows[r][c])) {
            fail(`${label}: ${table} row ${r + 1} ${names[c]}: mdb-reader ${JSON.stringify(value)}, ` +
                `mdb-export ${JSON.stringify(exported.rows[r][c])}`);
        }
    }));
}

// Access 97 has no Decimal fields: its Items go without Exact.
function withoutExact(statement) {
    return statement.replace("Exact DECIMAL(12, 3), ", "").replace(", Exact", "").replace(", 12.345", "");
}

function newDatabase(options, dir, { format, file, empty, copyOf }) {
    const label = `format ${format}`;
    const target = path.join(dir, format, file);
    spawnSync("mkdir", ["-p", path.dirname(target)]);
    let before = [];
    if (copyOf) {
        copyFileSync(path.join(options.fixtures, copyOf), target);
        chmodSync(target, 0o644);
        before = mdbTables(target);
    } else {
        if (!mustRun(options, label, ["create", target, "--format", format])) return;
        checked(options, label, target);
        const accessEmpty = systemTables(path.join(options.fixtures, empty));
        if (!same(systemTables(target), accessEmpty)) {
            fail(`${label}: system tables differ from ${empty}:\n${systemTables(target).join("\n")}`);
        }
    }
    const exact = format !== "97";
    const statements = [CREATE_ITEMS, CREATE_OTHER, ...INSERTS].map((s) => (exact ? s : withoutExact(s)));
    const expected = exact ? EXPECTED_ITEMS : EXPECTED_ITEMS.map((row) => row.filter((_, i) => i !== 10));
    const tables = (names) => names.filter((n) => !before.includes(n)).sort();

    if (!mustRun(options, label, ["sql", target, ...statements,
        "INSERT INTO Other VALUES (7, 'seven')"])) return;
    checked(options, `${label}, after CREATE TABLE and INSERT`, target);
    compareRows(label, target, "Items", expected);
    compareRows(label, target, "Other", [[7, "seven"]]);
    if (!same(tables(mdbTables(target)), ["Items", "Other"])) {
        fail(`${label}: mdb-tables lists ${mdbTables(target)}`);
    }

    if (!mustRun(options, label, ["sql", target, "DROP TABLE Other"])) return;
    checked(options, `${label}, after DROP TABLE`, target);
    if (!same(tables(mdbTables(target)), ["Items"])) fail(`${label}: after DROP, mdb-tables lists ${mdbTables(target)}`);
    const reader = new MDBReader(readFileSync(target));
    if (!same(tables(reader.getTableNames()), ["Items"])) {
        fail(`${label}: after DROP, mdb-reader lists ${reader.getTableNames()}`);
    }
    compareRows(`${label}, after DROP`, target, "Items", expected);
}

// The sample database: its three tables, the rows its script inserts, read alike by both.
function sample(options) {
    const script = readFileSync(path.join(path.dirname(fileURLToPath(import.meta.url)),
        "../../samples/sample.sql"), "utf8");
    checked(options, "sample", options.sample);
    for (const table of ["Customers", "Orders", "Products"]) {
        const inserts = script.split("\n").filter((l) => l.startsWith(`INSERT INTO ${table} `)).length;
        const [reading] = readDatabase(options.sample, { table });
        if (reading.error || reading.rows.length !== inserts) {
            fail(`sample: mdb-reader reads ${reading.rows.length} rows of ${table}, the script ` +
                `inserts ${inserts}${reading.error ? ` (${reading.error})` : ""}`);
            continue;
        }
        agreesWithExport("sample", options.sample, table, reading);
    }
}

function main() {
    const options = parseArgs(process.argv.slice(2));
    const dir = mkdtempSync(path.join(os.tmpdir(), "quillfen-newdb-"));
    try {
        for (const f of FORMATS) newDatabase(options, dir, f);
        if (options.sample) sample(options);
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
    for (const f of failures) console.log(`FAIL ${f}`);
    console.log(failures.length ? `${failures.length} failure(s)` : "all good");
    process.exit(failures.length ? 1 : 0);
}

main();
