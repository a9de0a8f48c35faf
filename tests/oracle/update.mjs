#!/usr/bin/env node
// The write oracle: runs UPDATE statements through quillfen-db on copies of one fixture and
// checks each result with the independent readers.
//
//   node update.mjs --db QUILLFEN_DB --fixtures DIR FIXTURE [--password P] [--no-mdbtools]
//                   [--verbose]
//
// For every user table, every numeric column that is neither an AutoNumber nor calculated
// (indexed ones and primary keys included) gets, each on a fresh copy of the file:
//   [C] + 10, [C] * 2, [C] - -2, and [C] * [O] for one other numeric column O of each type;
// and, where C is in a unique index, [C] = 5, in a primary key or a required index, [C] = Null;
// every table also gets rows that grow: [C] = 5 on a numeric column holding Nulls, and
// [X] & '...' on the unindexed Text column with the most room; and every indexed Text column
// with room gets [X] & '-k.1', which moves its index entries. The expected table is worked out
// from mdb-reader's reading of the original (update_values.mjs), and so is whether the result
// keeps the indexes and enforced relationships (settle(): unique and required keys, related
// records, cascaded updates into other tables). A statement whose result does not fit the column
// or breaks an index or relationship must fail with exit status 1 (for the latter, with the
// message that names the rule) and leave the file byte for byte as it was.
// After a statement that succeeds:
//   (a) mdb-reader reads every table as expected (the others unchanged, or cascaded into);
//   (b) mdb-export reads the updated table as expected (unless --no-mdbtools);
//   (c) `quillfen-db check` finds no fault;
// and no journal is left beside the file. Exit status 0 when everything holds, 1 otherwise.

import { spawnSync } from "node:child_process";
import { createHash } from "node:crypto";
import {
    chmodSync, copyFileSync, existsSync, mkdtempSync, readFileSync, readdirSync, rmSync,
} from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { sameValue } from "./compare.mjs";
import { columnException } from "./exceptions.mjs";
import { MDBTOOLS_UNREADABLE, matchesExport, mdbExport } from "./mdbtools.mjs";
import { NUMERIC_TYPES, OutOfRange, longLiteral, store, updatedValue, fromDump } from "./update_values.mjs";

const HERE = path.dirname(fileURLToPath(import.meta.url));
const MAX_REPORTED = 40;

// Statements the engine refuses on purpose, leaving the file as it was, because it cannot do
// them yet. Each refusal is listed as a LIMITATION (the file must still be unchanged); drop an
// entry once the engine does the work, and the statements are checked in full.
const KNOWN_REFUSALS = [
    {
        message: /changing index keys that hold .* is not supported yet/,
        reason: "the engine cannot change index keys that hold some types of field yet " +
            "(Memo, Decimal, Binary; Text with characters it does not key yet, or in other " +
            "sort orders)",
        // Only where an index the statement changes holds such a field.
        applies: (plan) => plan.mixedIndex,
    },
];

// What indexed Text columns get: a hyphen, which Access's General sort orders key apart from
// the letters, and characters the engine keys in both of them.
const INDEXED_SUFFIX = "-k.1";

const TEXT_SUFFIX = {
    jet3: " and then some more text, grown by the write oracle",
    unicode: " and then some more text: grüße, €5 — grown by the write oracle",
};

export function parseArgs(argv, script = "update.mjs") {
    const options = {};
    for (let i = 0; i < argv.length; ++i) {
        const arg = argv[i];
        if (["--db", "--fixtures", "--password"].includes(arg)) {
            if (i + 1 >= argv.length) throw new Error(`${arg} needs a value`);
            options[arg.slice(2)] = argv[++i];
        } else if (arg === "--verbose") {
            options.verbose = true;
        } else if (arg === "--no-mdbtools") {
            // mdbtools cannot open a file with Office encryption.
            options.noMdbtools = true;
        } else if (options.fixture === undefined && !arg.startsWith("--")) {
            options.fixture = arg;
        } else {
            throw new Error(`unexpected argument ${arg}`);
        }
    }
    if (!options.db || !options.fixtures || !options.fixture) {
        throw new Error(`usage: node ${script} --db QUILLFEN_DB --fixtures DIR FIXTURE [--password P] [--no-mdbtools]`);
    }
    options.file = path.join(options.fixtures, options.fixture);
    return options;
}

export function quillfen(options, args) {
    const full = [...args];
    if (options.password !== undefined) full.push("--password", options.password);
    const result = spawnSync(options.db, full, { encoding: "utf8", maxBuffer: 1 << 30 });
    if (result.error) throw new Error(`cannot run ${options.db}: ${result.error.message}`);
    return result;
}

// `quillfen-db schema` into [{name, columns: [{name, type, size, precision, scale, autoNumber,
// calculated}], indexes: [{name, columns: [names], primaryKey, foreignKey, unique, ignoreNulls,
// required}], indexed: Set of column names}].
const INDEX_LINE = /^ {2}INDEX (.*) \((.*)\)((?: (?:PRIMARY KEY|FOREIGN KEY|UNIQUE|IGNORE NULLS|REQUIRED))*)$/;

export function parseSchema(text) {
    const tables = [];
    for (const line of text.split("\n")) {
        let m;
        if ((m = /^TABLE (.*) \(\d+ rows?\)$/.exec(line))) {
            tables.push({ name: m[1], columns: [], indexes: [], indexed: new Set() });
        } else if ((m = INDEX_LINE.exec(line))) {
            // A descending column is listed as "Name DESC".
            const columns = m[2].split(", ").map((name) => name.replace(/ DESC$/, ""));
            const has = (marker) => m[3].includes(marker);
            tables.at(-1).indexes.push({ name: m[1], columns, primaryKey: has("PRIMARY KEY"),
                foreignKey: has("FOREIGN KEY"), unique: has("UNIQUE"), ignoreNulls: has("IGNORE NULLS"),
                required: has("REQUIRED") });
            for (const name of columns) tables.at(-1).indexed.add(name);
        } else if (line.startsWith("  ")) {
            const [name, typeText, ...markers] = line.slice(2).split("\t");
            const t = /^(\w+)(?:\((\d+)(?:,(\d+))?\))?$/.exec(typeText);
            if (!t) throw new Error(`unexpected schema line: ${line}`);
            const column = { name, type: t[1], autoNumber: markers.includes("AUTONUMBER"),
                calculated: markers.includes("CALCULATED") };
            if (t[1] === "Decimal") Object.assign(column, { precision: Number(t[2]), scale: Number(t[3]) });
            else if (t[2] !== undefined) column.size = Number(t[2]);
            tables.at(-1).columns.push(column);
        } else if (line.trim() !== "") {
            throw new Error(`unexpected schema line: ${line}`);
        }
    }
    return tables;
}

// Relationship flags in MSysRelationships.grbit.
const NOT_ENFORCED = 0x2;
const CASCADE_UPDATES = 0x100;

// The enforced relationships among MSysRelationships rows (dump.mjs readRelationships), one
// entry per relationship with its column pairs in order: [{name, table, columns,
// referencedTable, referencedColumns, cascadeUpdates}].
export function enforcedRelationships(rows) {
    const byName = new Map();
    for (const r of [...rows].sort((a, b) => a.position - b.position)) {
        if (r.flags & NOT_ENFORCED) continue;
        if (!byName.has(r.name)) {
            byName.set(r.name, { name: r.name, table: r.table, columns: [], referencedTable: r.referencedTable,
                referencedColumns: [], cascadeUpdates: (r.flags & CASCADE_UPDATES) !== 0 });
        }
        byName.get(r.name).columns.push(r.column);
        byName.get(r.name).referencedColumns.push(r.referencedColumn);
    }
    return [...byName.values()];
}

// Numeric types, which the engine puts into the index keys it changes. An index that also holds
// a field of another type may make it refuse the statement (KNOWN_REFUSALS): Text, Memo,
// Decimal and Binary do.
const KEY_TYPES = ["Byte", "Integer", "Long", "BigInt", "Currency", "Single", "Double"];

const NULL_KEY = "cannot contain a Null value";
const sameKey = (a, b) => JSON.stringify(a) === JSON.stringify(b);

// What the engine must make of a statement that turns the rows of table `name` into `rows`
// (dump notation, in the table's order), `assigned` naming the columns it sets. `db` is the
// database before: {tables: Map name -> {schema (parseSchema), columns: [names], rows},
// relationships: enforcedRelationships(...)}.
// Uniqueness and required keys are judged on the state after the whole statement, in every
// index that holds a column the statement (or a cascade) sets. An enforced relationship wants
// every changed non-Null referencing key held by the referenced table afterwards; a referenced
// key that changes under referencing rows takes them along when the relationship cascades
// updates, and fails the statement otherwise.
// Returns {tables: Map name -> rows after (the updated table and those a cascade changed),
// failures: [part of the message for each rule broken]}.
export function settle(db, name, rows, assigned) {
    const after = new Map([[name, rows]]);
    const setColumns = new Map([[name, new Set(assigned)]]);
    const failures = new Set();
    const rowsOf = (t) => after.get(t) ?? db.tables.get(t).rows;
    const keyOf = (t, row, columns) => columns.map((c) => row[db.tables.get(t).columns.indexOf(c)]);
    const hasNull = (key) => key.some((v) => v === null);
    const relationships = knownRelationships(db);

    for (const r of relationships.filter((x) => x.referencedTable === name)) {
        const moved = new Map();
        db.tables.get(name).rows.forEach((old, i) => {
            const from = keyOf(name, old, r.referencedColumns);
            const to = keyOf(name, rows[i], r.referencedColumns);
            if (!hasNull(from) && !sameKey(from, to)) moved.set(JSON.stringify(from), to);
        });
        if (!moved.size) continue;
        const at = r.columns.map((c) => db.tables.get(r.table).columns.indexOf(c));
        let cascaded = false;
        const referencing = rowsOf(r.table).map((row) => {
            const to = moved.get(JSON.stringify(keyOf(r.table, row, r.columns)));
            if (to === undefined) return row;
            if (!r.cascadeUpdates) {
                failures.add("includes related records");
                return row;
            }
            cascaded = true;
            return row.map((v, c) => (at.includes(c) ? to[at.indexOf(c)] : v));
        });
        if (cascaded) {
            after.set(r.table, referencing);
            setColumns.set(r.table, new Set([...(setColumns.get(r.table) ?? []), ...r.columns]));
        }
    }

    for (const r of relationships.filter((x) => after.has(x.table))) {
        const held = new Set(rowsOf(r.referencedTable).map((row) =>
            JSON.stringify(keyOf(r.referencedTable, row, r.referencedColumns))));
        db.tables.get(r.table).rows.forEach((old, i) => {
            const to = keyOf(r.table, after.get(r.table)[i], r.columns);
            if (!hasNull(to) && !sameKey(keyOf(r.table, old, r.columns), to) && !held.has(JSON.stringify(to))) {
                failures.add(`a related record is required in table '${r.referencedTable}'`);
            }
        });
    }

    for (const [t, set] of setColumns) {
        for (const index of db.tables.get(t).schema.indexes.filter((ix) => ix.columns.some((c) => set.has(c)))) {
            const keys = after.get(t).map((row) => keyOf(t, row, index.columns));
            if ((index.primaryKey || index.required) && keys.some(hasNull)) {
                failures.add(NULL_KEY);
            }
            if (index.primaryKey || index.unique) {
                const seen = new Set();
                for (const key of keys.filter((k) => !k.every((v) => v === null))) {
                    const text = JSON.stringify(key);
                    if (seen.has(text)) failures.add(`would create duplicate values in the index '${index.name}'`);
                    seen.add(text);
                }
            }
        }
    }
    return { tables: after, failures: [...failures] };
}

const knownRelationships = (db) =>
    db.relationships.filter((r) => db.tables.has(r.table) && db.tables.has(r.referencedTable));

// What a statement setting the `assigned` columns of table `name` reaches, whatever the values:
// {mixedIndex: whether an index holding one of them holds a field of a type outside KEY_TYPES,
// relationships: names of the enforced relationships over them, on either side}.
export function reach(db, name, assigned) {
    const { schema } = db.tables.get(name);
    const typeOf = (c) => schema.columns.find((x) => x.name === c)?.type;
    const mixedIndex = schema.indexes.some((ix) =>
        ix.columns.some((c) => assigned.includes(c)) && ix.columns.some((c) => !KEY_TYPES.includes(typeOf(c))));
    const relationships = knownRelationships(db).filter((r) =>
        (r.table === name && r.columns.some((c) => assigned.includes(c))) ||
        (r.referencedTable === name && r.referencedColumns.some((c) => assigned.includes(c))));
    return { mixedIndex, relationships: relationships.map((r) => r.name) };
}

function isJet3(file) {
    return readFileSync(file).subarray(0x14, 0x15)[0] === 0;
}

const bracket = (name) => `[${name}]`;
const sqlText = (text) => `'${text.replaceAll("'", "''")}'`;

// The statements for one table, each with its expected rows (or the reason it must fail).
// `db` is the whole database for settle().
function planTable(schemaTable, before, jet3, db) {
    const plans = [];
    const columns = before.header.columns;
    const at = (name) => columns.findIndex((c) => c.name === name);
    const typed = schemaTable.columns.filter((c) => {
        const i = at(c.name);
        return i >= 0 && columns[i].type === c.type;
    });
    const numeric = typed.filter((c) => NUMERIC_TYPES.includes(c.type) && !c.calculated);
    const free = (c) => !schemaTable.indexed.has(c.name) && !c.autoNumber && !c.calculated;
    // Indexed columns too: the engine keeps the indexes (and the relationships over them).
    const targets = numeric.filter((c) => !c.autoNumber && !c.calculated);
    const T = bracket(schemaTable.name);

    const plan = (column, sql, valueOf) => {
        const i = at(column.name);
        const p = { table: schemaTable.name, column, index: i, sql, ...reach(db, schemaTable.name, [column.name]) };
        try {
            const rows = before.rows.map((row) => row.map((v, k) => (k === i ? valueOf(row) : v)));
            const { tables, failures } = settle(db, schemaTable.name, rows, [column.name]);
            if (failures.length) {
                // A Null refused by a key is as well refused by the field's own Required property,
                // which the engine may judge first; mdb-reader does not show that property.
                const messages = failures.includes(NULL_KEY)
                    ? [...failures, `You must enter a value in the '${schemaTable.name}.${column.name}' field`]
                    : failures;
                plans.push({ ...p, failure: failures.join("; "), messages });
            } else {
                tables.delete(schemaTable.name);
                plans.push({ ...p, rows, cascaded: tables });
            }
        } catch (error) {
            if (!(error instanceof OutOfRange)) throw error;
            plans.push({ ...p, failure: error.message });
        }
    };

    for (const c of targets) {
        const i = at(c.name);
        const C = bracket(c.name);
        plan(c, `UPDATE ${T} SET ${C} = ${C} + 10`, (row) => updatedValue(c, row[i], "+", longLiteral(10)));
        plan(c, `UPDATE ${T} SET ${C} = ${C} * 2`, (row) => updatedValue(c, row[i], "*", longLiteral(2)));
        plan(c, `UPDATE ${T} SET ${C} = ${C} - -2`, (row) => updatedValue(c, row[i], "-", longLiteral(-2)));
        const seen = new Set();
        for (const o of numeric) {
            if (o === c || seen.has(o.type)) continue;
            seen.add(o.type);
            const j = at(o.name);
            plan(c, `UPDATE ${T} SET ${C} = ${C} * ${bracket(o.name)}`,
                (row) => updatedValue(c, row[i], "*", fromDump(o.type, row[j])));
        }
    }

    // The index rules on the whole column: one value in every row breaks a unique index (given two
    // rows), Null breaks a primary key or a required index.
    const keyed = (c, marks) => schemaTable.indexes.some((ix) => ix.columns.includes(c.name) && marks(ix));
    for (const c of targets) {
        if (keyed(c, (ix) => ix.unique || ix.primaryKey)) {
            plan(c, `UPDATE ${T} SET ${bracket(c.name)} = 5`, () => store(longLiteral(5), c));
        }
        if (keyed(c, (ix) => ix.required || ix.primaryKey)) {
            plan(c, `UPDATE ${T} SET ${bracket(c.name)} = Null`, () => null);
        }
    }

    // Rows that grow: a Null numeric gets a value, a Text gets longer (in the column with the most
    // room). Where the engine refuses one on purpose, the next candidate is tried.
    const chain = (candidates) => {
        const start = plans.length;
        candidates.forEach((make) => make());
        const chained = plans.splice(start);
        chained.slice(1).forEach((p, k) => (chained[k].fallback = p));
        if (chained.length) plans.push(chained[0]);
    };
    // Columns outside the indexes first, then indexed ones outside unique keys (those got [C] = 5).
    const nullable = targets.filter((c) => before.rows.some((row) => row[at(c.name)] === null));
    const unkeyed = nullable.filter((c) => !free(c) && !keyed(c, (ix) => ix.unique || ix.primaryKey));
    chain([...nullable.filter(free), ...unkeyed]
        .map((c) => () => plan(c, `UPDATE ${T} SET ${bracket(c.name)} = 5`, () => store(longLiteral(5), c))));

    const charsOf = (c) => (jet3 ? c.size : c.size / 2);
    const texts = typed.filter((x) => x.type === "Text" && free(x)).map((column) => {
        const i = at(column.name);
        const longest = Math.max(0, ...before.rows.map((row) => (row[i] ?? "").length));
        return { column, room: charsOf(column) - longest };
    }).filter((t) => t.room >= 8).sort((a, b) => b.room - a.room);
    chain(texts.map(({ column, room }) => () => {
        const suffix = (jet3 ? TEXT_SUFFIX.jet3 : TEXT_SUFFIX.unicode).slice(0, room);
        const i = at(column.name);
        const X = bracket(column.name);
        plan(column, `UPDATE ${T} SET ${X} = ${X} & ${sqlText(suffix)}`, (row) => (row[i] ?? "") + suffix);
    }));

    const indexedTexts = typed.filter((x) =>
        x.type === "Text" && schemaTable.indexed.has(x.name) && !x.autoNumber && !x.calculated);
    for (const column of indexedTexts) {
        const i = at(column.name);
        const longest = Math.max(0, ...before.rows.map((row) => (row[i] ?? "").length));
        if (charsOf(column) - longest < INDEXED_SUFFIX.length) continue;
        const X = bracket(column.name);
        plan(column, `UPDATE ${T} SET ${X} = ${X} & ${sqlText(INDEXED_SUFFIX)}`,
            (row) => (row[i] ?? "") + INDEXED_SUFFIX);
    }
    return plans;
}

function sha256(file) {
    return createHash("sha256").update(readFileSync(file)).digest("hex");
}

const show = (v) => (v === undefined ? "(nothing)" : JSON.stringify(v));
const sameCell = (type, a, b) =>
    typeof a === "object" || typeof b === "object" ? JSON.stringify(a) === JSON.stringify(b) : sameValue(type, a, b);

// Pairs each got row with an expected row: in order when the order holds, else by content (a
// row moved to another page is read where it now lies). null when no pairing works.
function pairRows(expectedCount, got, same) {
    if (expectedCount !== got.length) return null;
    const identity = got.map((_, j) => j);
    if (identity.every((j) => same(j, j))) return identity;
    const used = new Set();
    const pairing = [];
    for (let j = 0; j < got.length; ++j) {
        let i = 0;
        while (i < expectedCount && (used.has(i) || !same(i, j))) ++i;
        if (i === expectedCount) return null;
        used.add(i);
        pairing.push(i);
    }
    return pairing;
}

class Run {
    constructor(options, readDatabase, beforeTables) {
        this.options = options;
        this.jet3 = isJet3(options.file);
        this.beforeTables = beforeTables;
        this.readDatabase = readDatabase;
        this.faults = [];
        this.limitations = new Map();  // refusal -> {count, example}
        this.notes = new Set();
        this.counts = { statements: 0, succeeded: 0, outOfRange: 0, againstRules: 0, refused: 0 };
        this.exportBefore = new Map();
        this.work = mkdtempSync(path.join(os.tmpdir(), "quillfen-update-"));
        this.copy = path.join(this.work, path.basename(options.file));
    }

    fault(plan, text) {
        this.faults.push(`FAULT [${plan.table}].[${plan.column.name}] ${plan.sql}\n    ${text}`);
    }

    freshCopy() {
        rmSync(this.copy, { force: true });
        copyFileSync(this.options.file, this.copy);
        chmodSync(this.copy, 0o644);
    }

    leftovers() {
        return readdirSync(this.work).filter((n) => n !== path.basename(this.copy));
    }

    execute(plan, beforeTables) {
        ++this.counts.statements;
        this.freshCopy();
        const original = sha256(this.copy);
        const result = quillfen(this.options, ["sql", this.copy, plan.sql]);
        const message = `${result.stdout}${result.stderr}`.trim();
        if (this.options.verbose) {
            const outcome = plan.failure ?? JSON.stringify(plan.rows.map((r) => r[plan.index]));
            console.log(`${plan.sql}\n    expected ${outcome}\n    got ${message}`);
        }
        const extra = this.leftovers();
        if (extra.length) this.fault(plan, `files left beside the database: ${extra.join(", ")}`);
        for (const name of extra) rmSync(path.join(this.work, name), { recursive: true, force: true });

        if (result.status !== 0) {
            const unchanged = sha256(this.copy) === original;
            if (!unchanged) this.fault(plan, `the statement failed (${message}) but the file changed`);
            if (result.status !== 1) this.fault(plan, `exit status ${result.status}, expected 1: ${message}`);
            const refusal = KNOWN_REFUSALS.find((r) => r.message.test(message));
            if (refusal?.applies && !refusal.applies(plan)) {
                this.fault(plan, `refused (${message}), though nothing the statement changes calls for it`);
            } else if (refusal && plan.fallback) {
                --this.counts.statements;
                this.execute(plan.fallback, beforeTables);
            } else if (refusal) {
                ++this.counts.refused;
                const seen = this.limitations.get(refusal) ?? { count: 0, example: `${plan.sql}: ${message}` };
                this.limitations.set(refusal, { ...seen, count: seen.count + 1 });
            } else if (plan.messages) {
                ++this.counts.againstRules;
                if (!plan.messages.some((m) => message.includes(m))) {
                    this.fault(plan, `failed (${message}), expected a message containing ` +
                        plan.messages.map(show).join(" or "));
                }
            } else if (plan.failure !== undefined) {
                ++this.counts.outOfRange;
            } else if (this.recomputes(plan, /calculated field '([^']*)'/.exec(message)?.[1])) {
                // A recomputed result that does not fit fails the statement; only the unchanged
                // file is checked.
                ++this.counts.outOfRange;
                this.notes.add(`${plan.sql} fails recomputing a calculated field: ${message}`);
            } else {
                this.fault(plan, `failed, expected to succeed: ${message}`);
            }
            return;
        }
        if (plan.failure !== undefined) {
            this.fault(plan, `succeeded (${message}), expected to fail: ${plan.failure}` +
                this.storedValues(plan));
            return;
        }
        ++this.counts.succeeded;
        const affected = /^(\d+) row\(s\) affected\.$/.exec(result.stdout.trim());
        if (!affected || Number(affected[1]) !== plan.rows.length) {
            this.fault(plan, `printed ${show(result.stdout.trim())}, expected "${plan.rows.length} row(s) affected."`);
        }
        const pairing = this.checkReader(plan, beforeTables);
        this.checkExport(plan, pairing);
        const check = quillfen(this.options, ["check", this.copy]);
        if (check.status !== 0) {
            const lines = `${check.stdout}${check.stderr}`.trim().split("\n").filter((l) => !l.startsWith("warning"));
            this.fault(plan, `quillfen-db check exits ${check.status}:\n      ${lines.slice(0, 8).join("\n      ")}`);
        }
    }

    // What the engine stored where the statement should have failed: mdb-reader's column.
    storedValues(plan) {
        try {
            const t = this.readDatabase(this.copy, { password: this.options.password, table: plan.table })[0];
            return `; mdb-reader now reads ${show(t.rows.map((r) => r[plan.index]))}`;
        } catch (error) {
            return `; mdb-reader cannot read the result: ${error.message}`;
        }
    }

    // (a): mdb-reader's reading of every table; returns the row pairing of the updated table.
    checkReader(plan, beforeTables) {
        let after;
        try {
            after = this.readDatabase(this.copy, { password: this.options.password });
        } catch (error) {
            this.fault(plan, `mdb-reader cannot read the result: ${error.message}`);
            return null;
        }
        const names = (ts) => JSON.stringify(ts.map((t) => t.header.table));
        if (names(after) !== names(beforeTables)) {
            this.fault(plan, `mdb-reader's tables were ${names(beforeTables)}, now ${names(after)}`);
            return null;
        }
        let pairing = null;
        after.forEach((t, k) => {
            const b = beforeTables[k];
            const name = t.header.table;
            if (JSON.stringify(t.header) !== JSON.stringify(b.header) || t.error !== b.error) {
                this.fault(plan, `mdb-reader: table "${name}" reads differently: ${t.error ?? "header"}`);
                return;
            }
            const updated = name === plan.table;
            const cascaded = plan.cascaded.has(name);
            const expected = updated ? plan.rows : plan.cascaded.get(name) ?? b.rows;
            const types = t.header.columns.map((c) => c.type);
            // In a rewritten row, a column mdb-reader misreads is checked as exceptions.mjs says.
            const stated = updated ? this.statedColumns(plan) : new Map();
            const same = (i, j) =>
                expected[i].every((v, c) => stated.has(c) || sameCell(types[c], v, t.rows[j][c]));
            const p = pairRows(expected.length, t.rows, same);
            if (p && (updated || cascaded || p.every((i, j) => i === j))) {
                if (updated) pairing = p;
                for (const [c, values] of stated) {
                    if (p.some((i, j) => !sameCell(types[c], expected[i][c], t.rows[j][c]))) {
                        this.notes.add(`[${name}].[${t.header.columns[c].name}]: mdb-reader's reading changes ` +
                            `when the row is rewritten (e.g. ${plan.sql}); checked against the stated values`);
                    }
                    this.checkStatedValues(plan, t.header.columns[c], values);
                }
                return;
            }
            if (expected.length !== t.rows.length) {
                this.fault(plan, `mdb-reader: table "${name}" has ${t.rows.length} rows, expected ${expected.length}`);
                return;
            }
            const shown = [];
            t.rows.forEach((row, r) => row.forEach((v, c) => {
                if (!stated.has(c) && !sameCell(types[c], expected[r][c], v) && shown.length < 6) {
                    shown.push(`row ${r + 1} "${t.header.columns[c].name}" (${types[c]}): ` +
                        `expected ${show(expected[r][c])}, mdb-reader ${show(v)}`);
                }
            }));
            const how = updated ? "" : cascaded ? " (the update cascades into it)" : " (it was not updated)";
            this.fault(plan, `mdb-reader: table "${name}" differs${how}` +
                `${shown.length ? ":\n      " : " in row order"}${shown.join("\n      ")}`);
        });
        return pairing;
    }

    // Columns of the updated table that exceptions.mjs checks against stated values: index ->
    // values (in the dump's row order).
    statedColumns(plan) {
        const stated = new Map();
        this.header(plan).columns.forEach((column, c) => {
            const values = columnException(this.options.fixture, plan.table, column)?.check?.values;
            if (values) stated.set(c, values);
        });
        return stated;
    }

    header(plan) {
        return this.beforeTables.find((t) => t.header.table === plan.table).header;
    }

    // Whether the statement changes a field the calculated column reads, so that the engine
    // recomputes it.
    recomputes(plan, name) {
        const column = this.header(plan).columns.find((c) => c.name === name);
        const reads = column && columnException(this.options.fixture, plan.table, column)?.check?.reads;
        return reads?.includes(plan.column.name) ?? false;
    }

    // A column mdb-reader misreads must still hold its stated values, as quillfen-db reads them.
    // Where the statement recomputes it, neither reader gives an independent value: the stated
    // values are checked in the rows whose input stayed as it was, and the engine's own tests
    // check recomputed results worked out by hand.
    checkStatedValues(plan, column, values) {
        const result = quillfen(this.options, ["dump", this.copy, "--table", plan.table]);
        const lines = result.stdout.split("\n").filter((l) => l !== "");
        if (result.status !== 0 || !lines.length) {
            this.fault(plan, `quillfen-db dump --table ${plan.table} fails: ${result.stderr.trim()}`);
            return;
        }
        const c = JSON.parse(lines[0]).columns.findIndex((x) => x.name === column.name);
        const got = lines.slice(1).map((l) => JSON.parse(l)[c]);
        const type = JSON.parse(lines[0]).columns[c].type;
        let kept = () => true;
        if (this.recomputes(plan, column.name)) {
            const before = this.beforeTables.find((t) => t.header.table === plan.table).rows;
            const inputType = plan.column.type;
            kept = (r) => sameCell(inputType, before[r]?.[plan.index], plan.rows[r]?.[plan.index]);
            this.notes.add(`[${plan.table}].[${column.name}] is recomputed by updates of ` +
                `[${plan.column.name}]: checked against its stated values in unchanged rows only`);
        }
        if (got.length !== values.length || got.some((v, r) => kept(r) && !sameValue(type, values[r], v))) {
            this.fault(plan, `"${column.name}" (stated values in exceptions.mjs) ${show(values)}, ` +
                `quillfen-db now reads ${show(got)}`);
        }
    }

    // (b): mdb-export's reading of the updated table: the updated column as expected (numbers
    // numerically), every other column as mdb-export read it before.
    checkExport(plan, readerPairing) {
        if (this.options.noMdbtools) return;
        if (!this.exportBefore.has(plan.table)) {
            this.exportBefore.set(plan.table, mdbExport(this.options.file, plan.table));
        }
        const before = this.exportBefore.get(plan.table);
        let after;
        try {
            after = mdbExport(this.copy, plan.table);
        } catch (error) {
            this.fault(plan, `mdb-export: ${error.message}`);
            return;
        }
        if (JSON.stringify(after.columns) !== JSON.stringify(before.columns)) {
            this.fault(plan, `mdb-export: columns were ${show(before.columns)}, now ${show(after.columns)}`);
            return;
        }
        const at = after.columns.indexOf(plan.column.name);
        if (at < 0) {
            this.fault(plan, `mdb-export has no column "${plan.column.name}"`);
            return;
        }
        const type = plan.column.type;
        const readable = !MDBTOOLS_UNREADABLE.has(type);
        if (!readable) this.notes.add(`mdb-export cannot read ${type}: [${plan.table}].[${plan.column.name}] is checked by mdb-reader alone`);
        // mdbtools misreads calculated columns as mdb-reader does; checkReader checks those.
        const stated = new Set([...this.statedColumns(plan).keys()]
            .map((c) => after.columns.indexOf(this.header(plan).columns[c].name)));
        const cellOk = (i, j, c) =>
            c === at ? !readable || matchesExport(type, plan.rows[i][plan.index], after.rows[j][c] ?? null, this.jet3)
                : stated.has(c) || (after.rows[j][c] ?? null) === (before.rows[i][c] ?? null);
        const same = (i, j) => after.columns.every((_, c) => cellOk(i, j, c));
        const ok = (p) => p && p.every((i, j) => same(i, j));
        if (ok(readerPairing) || pairRows(plan.rows.length, after.rows, same)) return;
        if (after.rows.length !== plan.rows.length) {
            this.fault(plan, `mdb-export has ${after.rows.length} rows, expected ${plan.rows.length}`);
            return;
        }
        const shown = [];
        after.rows.forEach((row, r) => after.columns.forEach((name, c) => {
            if (!cellOk(r, r, c) && shown.length < 6) {
                const expected = c === at ? show(plan.rows[r][plan.index]) : show(before.rows[r][c] ?? null);
                shown.push(`row ${r + 1} "${name}": expected ${expected}, mdb-export ${show(row[c] ?? null)}`);
            }
        }));
        this.fault(plan, `mdb-export differs:\n      ${shown.join("\n      ") || "in row order"}`);
    }

    finish() {
        rmSync(this.work, { recursive: true, force: true });
    }
}

async function main(options) {
    if (!existsSync(path.join(HERE, "node_modules", "mdb-reader"))) {
        throw new Error(`mdb-reader is not installed in ${HERE}/node_modules: run scripts/test (or "npm ci" in tests/oracle)`);
    }
    const { readDatabase, readRelationships } = await import("./dump.mjs");
    const schemaRun = quillfen(options, ["schema", options.file]);
    if (schemaRun.status !== 0) throw new Error(`quillfen-db schema failed: ${schemaRun.stderr.trim()}`);
    const schema = parseSchema(schemaRun.stdout);
    const beforeTables = readDatabase(options.file, { password: options.password });
    const jet3 = isJet3(options.file);
    const db = { tables: new Map(), relationships: enforcedRelationships(readRelationships(options.file, options)) };
    for (const s of schema) {
        const before = beforeTables.find((t) => t.header.table === s.name);
        if (before && before.error === undefined) {
            db.tables.set(s.name, { schema: s, columns: before.header.columns.map((c) => c.name), rows: before.rows });
        }
    }

    const plans = [];
    const notes = [];
    for (const s of schema) {
        const before = beforeTables.find((t) => t.header.table === s.name);
        if (!before) {
            notes.push(`mdb-reader does not list table "${s.name}"`);
        } else if (before.error !== undefined) {
            notes.push(`mdb-reader cannot read table "${s.name}" (${before.error}): no expectation for it`);
        } else {
            plans.push(...planTable(s, before, jet3, db));
        }
    }

    const title = `update ${options.fixture}`;
    if (!plans.length) {
        console.log(`OK ${title}: nothing to update (no numeric column to change, no Text column with room)`);
        for (const n of notes) console.log(`  note: ${n}`);
        return notes.length ? 1 : 0;
    }
    const run = new Run(options, readDatabase, beforeTables);
    try {
        for (const plan of plans) run.execute(plan, beforeTables);
    } finally {
        run.finish();
    }
    const c = run.counts;
    const summary = `${c.statements} statements: ${c.succeeded} succeeded and checked, ` +
        `${c.outOfRange} failed as they must (out of range), ${c.againstRules} failed as they must ` +
        `(against an index or relationship), ${c.refused} refused (limitation)`;
    for (const [refusal, { count, example }] of run.limitations) {
        console.log(`LIMITATION: ${count} statement(s) refused: ${refusal.reason}\n    e.g. ${example}`);
    }
    for (const n of run.notes) console.log(`NOTE ${n}`);
    for (const n of notes) console.log(`  note: ${n}`);
    if (!run.faults.length && !notes.length) {
        console.log(`OK ${title}: ${summary}`);
        return 0;
    }
    console.log(`FAIL ${title}: ${summary}; ${run.faults.length} fault(s)`);
    for (const f of run.faults.slice(0, MAX_REPORTED)) console.log(f);
    if (run.faults.length > MAX_REPORTED) console.log(`... and ${run.faults.length - MAX_REPORTED} more`);
    return 1;
}

if (import.meta.url === pathToFileURL(process.argv[1] ?? "").href) {
    try {
        process.exitCode = await main(parseArgs(process.argv.slice(2)));
    } catch (error) {
        console.log(`FAIL update ${process.argv.slice(2).join(" ")}\n  ${error?.stack ?? error}`);
        process.exitCode = 1;
    }
}
