#!/usr/bin/env node
// The new-field oracle: adds a Long field holding a sum of numeric fields to one table of a copy
// of a fixture, fills it, does it over, and takes it away again, the statements going through
// quillfen-db exactly as a form wizard sends them, and checks each step with the independent
// readers.
//
//   node newfield.mjs --db QUILLFEN_DB --fixtures DIR FIXTURE [--password P] [--no-mdbtools]
//                     [--verbose]
//
// The table is the first user table (in the order of `quillfen-db tables`) with a numeric field
// that is not calculated and that the engine lets a field be added to: a refusal the engine
// makes on purpose (KNOWN_REFUSALS) must leave the file byte for byte as it was, and the next
// table is tried. The new field is named Total (Total2, ... when taken); its expression E is
// [A] for the first numeric field A, or "[A]+ [B]" where a later numeric field B is a Byte,
// Integer or Long. The statements, in order:
//   ALTER TABLE [T] ADD COLUMN [N] INT        update [T] set [N]=E
//   ALTER TABLE [T] DROP [N]                  ALTER TABLE [T] ADD COLUMN [N] INT
//   update [T] set [N]=E                      ALTER TABLE [T] DROP [N]
// After every statement `quillfen-db check` finds no fault and no journal is left beside the
// file. After an ADD, mdb-reader reads T with N last, Null in every row, and every other field
// and table as before; after an update, N holds E worked out from mdb-reader's reading of the
// original (update_values.mjs, stored into a Long, half to even) and mdb-export agrees on it. A
// result outside the Long range must make the update fail with exit status 1 and leave the file
// as it was; the sequence then goes on with the last DROP. After the last DROP, mdb-reader reads
// every table exactly as in the original: same fields, same rows, same order.
// Exit status 0 when everything holds, 1 otherwise.

import { createHash } from "node:crypto";
import { chmodSync, copyFileSync, existsSync, mkdtempSync, readFileSync, readdirSync, rmSync } from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { MDBTOOLS_UNREADABLE, matchesExport, mdbExport } from "./mdbtools.mjs";
import { parseArgs, parseSchema, quillfen } from "./update.mjs";
import { NUMERIC_TYPES, OutOfRange, arithmetic, fromDump, store } from "./update_values.mjs";

const HERE = path.dirname(fileURLToPath(import.meta.url));
const MAX_REPORTED = 40;

// Refusals the engine makes on purpose when asked to add a field, leaving the file as it was:
// the table is passed over and the next one tried.
export const KNOWN_REFUSALS = [];

// The field types B may have: the wizard adds a second field only when it is a whole number
// that fits a Long.
const SECOND_TYPES = ["Byte", "Integer", "Long"];
const NEW_TYPE = { type: "Long" };

// The first name of Total, Total2, Total3, ... that no field of the table has (field names
// ignore case).
export function newFieldName(columnNames) {
    const taken = new Set(columnNames.map((n) => n.toLowerCase()));
    for (let k = 1; ; ++k) {
        const name = k === 1 ? "Total" : `Total${k}`;
        if (!taken.has(name.toLowerCase())) return name;
    }
}

// The fields of a table (parseSchema) that E may read, in order.
export function numericFields(schemaTable) {
    return schemaTable.columns.filter((c) => NUMERIC_TYPES.includes(c.type) && !c.calculated);
}

// E for a table's numeric fields: {a, b (or undefined), text}, or null when there is none.
export function expressionFor(numeric) {
    if (!numeric.length) return null;
    const [a, ...rest] = numeric;
    const b = rest.find((c) => SECOND_TYPES.includes(c.type));
    const text = b ? `[${a.name}]+ [${b.name}]` : `[${a.name}]`;
    return { a, b, text };
}

// What N holds after `update [T] set [N]=E`, one value per row of mdb-reader's reading
// ({header, rows}): {values} or, when a result does not fit a Long, {failure}.
export function expectedValues(reading, expression) {
    const at = (column) => reading.header.columns.findIndex((c) => c.name === column.name);
    const i = at(expression.a);
    const j = expression.b ? at(expression.b) : -1;
    const values = [];
    for (const [r, row] of reading.rows.entries()) {
        const a = fromDump(expression.a.type, row[i]);
        const b = expression.b ? fromDump(expression.b.type, row[j]) : undefined;
        try {
            if (a === null || b === null) values.push(null);
            else values.push(store(b === undefined ? a : arithmetic("+", a, b), NEW_TYPE));
        } catch (error) {
            if (!(error instanceof OutOfRange)) throw error;
            return { failure: `row ${r + 1}: ${error.message}` };
        }
    }
    return { values };
}

// The statements of the sequence for table `table`, field `field` and expression text `e`.
export function statements(table, field, e) {
    const add = `ALTER TABLE [${table}] ADD COLUMN [${field}] INT`;
    const update = `update [${table}] set [${field}]=${e}`;
    const drop = `ALTER TABLE [${table}] DROP [${field}]`;
    return [
        { kind: "add", sql: add },
        { kind: "update", sql: update },
        { kind: "drop", sql: drop },
        { kind: "add", sql: add, again: true },
        { kind: "update", sql: update },
        { kind: "drop", sql: drop, last: true },
    ];
}

function sha256(file) {
    return createHash("sha256").update(readFileSync(file)).digest("hex");
}

const show = (v) => (v === undefined ? "(nothing)" : JSON.stringify(v));

// Counts of each row's JSON: a reading compared without its order.
function rowBag(rows) {
    const bag = new Map();
    for (const row of rows) {
        const key = JSON.stringify(row);
        bag.set(key, (bag.get(key) ?? 0) + 1);
    }
    return bag;
}

function sameBag(a, b) {
    return a.size === b.size && [...a].every(([key, n]) => b.get(key) === n);
}

class Run {
    constructor(options, readDatabase, original) {
        this.options = options;
        this.readDatabase = readDatabase;
        this.original = original;  // mdb-reader's reading of the fixture
        this.faults = [];
        this.notes = new Set();
        this.work = mkdtempSync(path.join(os.tmpdir(), "quillfen-newfield-"));
        this.copy = path.join(this.work, path.basename(options.file));
        this.exportBefore = null;
    }

    fault(step, text) {
        this.faults.push(`FAULT ${step ? step.sql : ""}\n    ${text}`);
    }

    freshCopy() {
        rmSync(this.copy, { force: true });
        copyFileSync(this.options.file, this.copy);
        chmodSync(this.copy, 0o644);
    }

    finish() {
        rmSync(this.work, { recursive: true, force: true });
    }

    // Runs one statement; reports files left beside the database. Returns {result, message,
    // unchanged}.
    run(step) {
        const before = sha256(this.copy);
        const result = quillfen(this.options, ["sql", this.copy, step.sql]);
        const message = `${result.stdout}${result.stderr}`.trim();
        if (this.options.verbose) console.log(`${step.sql}\n    exit ${result.status}: ${message}`);
        const extra = readdirSync(this.work).filter((n) => n !== path.basename(this.copy));
        if (extra.length) this.fault(step, `files left beside the database: ${extra.join(", ")}`);
        for (const name of extra) rmSync(path.join(this.work, name), { recursive: true, force: true });
        return { result, message, unchanged: sha256(this.copy) === before };
    }

    checkFaults(step) {
        const check = quillfen(this.options, ["check", this.copy]);
        if (check.status !== 0) {
            const lines = `${check.stdout}${check.stderr}`.trim().split("\n").filter((l) => !l.startsWith("warning"));
            this.fault(step, `quillfen-db check exits ${check.status}:\n      ${lines.slice(0, 8).join("\n      ")}`);
        }
    }

    // A failed statement must fail cleanly: exit status 1, the file as it was.
    failedCleanly(step, { result, message, unchanged }) {
        if (!unchanged) this.fault(step, `the statement failed (${message}) but the file changed`);
        if (result.status !== 1) this.fault(step, `exit status ${result.status}, expected 1: ${message}`);
    }

    // The candidate tables in turn until the engine adds the field to one: {table, ...} or null
    // when it refuses every one (the refusals are returned in `refused`).
    choose(candidates, refused) {
        for (const c of candidates) {
            this.freshCopy();
            const [first] = statements(c.table, c.field, c.expression.text);
            const outcome = this.run(first);
            if (outcome.result.status === 0) return { ...c, firstOutcome: outcome };
            const known = KNOWN_REFUSALS.some((r) => r.test(outcome.message));
            this.failedCleanly(first, outcome);
            if (!known) {
                this.fault(first, `failed, expected to succeed: ${outcome.message}`);
                return null;
            }
            this.checkFaults(first);
            refused.push(`[${c.table}]: ${outcome.message}`);
        }
        return null;
    }

    // The whole sequence on the chosen table; the first ADD has already run.
    sequence(chosen, expected) {
        const steps = statements(chosen.table, chosen.field, chosen.expression.text);
        for (let k = 0; k < steps.length; ++k) {
            const step = steps[k];
            const outcome = k === 0 ? chosen.firstOutcome : this.run(step);
            const { result, message } = outcome;
            const mustFail = step.kind === "update" && expected.failure !== undefined;
            if (result.status !== 0) {
                this.failedCleanly(step, outcome);
                this.checkFaults(step);
                if (!mustFail) {
                    this.fault(step, `failed, expected to succeed: ${message}`);
                    return;
                }
                // Nothing was added by the update: on to the last DROP.
                k = steps.length - 2;
                continue;
            }
            this.checkFaults(step);
            if (mustFail) {
                this.fault(step, `succeeded (${message}), expected to fail: ${expected.failure}` +
                    this.storedValues(chosen));
                k = steps.length - 2;
                continue;
            }
            if (step.kind === "update") {
                const rows = this.original.get(chosen.table).rows.length;
                if (result.stdout.trim() !== `${rows} row(s) affected.`) {
                    this.fault(step, `printed ${show(result.stdout.trim())}, expected "${rows} row(s) affected."`);
                }
            }
            const values = step.kind === "add" ? expected.nulls : step.kind === "update" ? expected.values : null;
            this.checkReader(step, chosen, values, step.again ? expected.values : undefined);
            // Only after an update: mdbtools takes a fixed field to be in a row by counting the
            // row's fixed fields, not by the field's number, so in rows written before the ADD
            // it reads whatever lies at the new field's offset where the table has dropped ones.
            if (step.kind === "update") this.checkExport(step, chosen, values);
        }
    }

    // What the engine stored where the update should have failed: mdb-reader's new field.
    storedValues(chosen) {
        try {
            const t = this.readDatabase(this.copy, { password: this.options.password, table: chosen.table })[0];
            return `; mdb-reader now reads ${show(t.rows.map((r) => r.at(-1)))}`;
        } catch (error) {
            return `; mdb-reader cannot read the result: ${error.message}`;
        }
    }

    // mdb-reader's reading of every table: the original one, T with the new field holding
    // `values` when given. Rows may come in another order: a row that grows too long for its
    // page moves, and mdb-reader reads it where it now lies (the engine's own dump keeps the
    // order; its tests check that). A field added again where one was dropped reads Null in the
    // rows written before, which hold fewer fields; mdb-reader reads past such a row's Null
    // mask, and may show the dropped field's value (`stale`) there instead.
    checkReader(step, chosen, values, stale) {
        let after;
        try {
            after = this.readDatabase(this.copy, { password: this.options.password });
        } catch (error) {
            this.fault(step, `mdb-reader cannot read the result: ${error.message}`);
            return;
        }
        const names = (ts) => JSON.stringify(ts.map((t) => t.header.table));
        const before = [...this.original.values()];
        if (names(after) !== names(before)) {
            this.fault(step, `mdb-reader's tables were ${names(before)}, now ${names(after)}`);
            return;
        }
        for (const t of after) {
            const name = t.header.table;
            const b = this.original.get(name);
            const grown = values && name === chosen.table;
            const header = grown
                ? { ...b.header, columns: [...b.header.columns, { name: chosen.field, type: "Long" }] }
                : b.header;
            const rows = grown ? b.rows.map((row, r) => [...row, values[r]]) : b.rows;
            if (JSON.stringify(t.header) !== JSON.stringify(header)) {
                this.fault(step, `mdb-reader: table "${name}" has the fields ` +
                    `${show(t.header.columns)}, expected ${show(header.columns)}`);
                continue;
            }
            if (t.error !== b.error) {
                this.fault(step, `mdb-reader: table "${name}": ${t.error ?? "reads now"}, was ${b.error ?? "read"}`);
                continue;
            }
            if (JSON.stringify(t.rows) === JSON.stringify(rows)) continue;
            if (sameBag(rowBag(t.rows), rowBag(rows))) {
                this.notes.add(`after ${step.sql} mdb-reader reads the rows of "${name}" in another order`);
                continue;
            }
            if (grown && stale) {
                const either = (row, r) => {
                    const old = [...b.rows[r], stale[r]];
                    return JSON.stringify(row) === JSON.stringify(rows[r]) ||
                        JSON.stringify(row) === JSON.stringify(old);
                };
                if (t.rows.length === rows.length && t.rows.every(either)) {
                    this.notes.add(`after ${step.sql} mdb-reader shows the dropped field's old ` +
                        `values in rows written before the ADD (they hold fewer fields: Null)`);
                    continue;
                }
            }
            this.fault(step, `mdb-reader: table "${name}" differs${step.last ? " from the original" : ""}:` +
                this.differences(t, rows));
        }
    }

    differences(t, rows) {
        if (t.rows.length !== rows.length) return ` ${t.rows.length} rows, expected ${rows.length}`;
        const shown = [];
        t.rows.forEach((row, r) => row.forEach((v, c) => {
            if (JSON.stringify(v) !== JSON.stringify(rows[r][c]) && shown.length < 6) {
                const column = t.header.columns[c];
                shown.push(`row ${r + 1} "${column.name}" (${column.type}): expected ${show(rows[r][c])}, ` +
                    `mdb-reader ${show(v)}`);
            }
        }));
        return shown.length ? `\n      ${shown.join("\n      ")}` : " in row order only";
    }

    // mdb-export's reading of T: the original fields as mdb-export read them before (in any row
    // order), and N as expected. A row's value of N is paired through A and B: the mdb-reader
    // rows of the original whose A and B mdb-export read alike give the values it may hold.
    // Where mdbtools cannot read A or B, N is compared as a whole, without the pairing.
    checkExport(step, chosen, values) {
        if (this.options.noMdbtools) return;
        this.exportBefore ??= mdbExport(this.options.file, chosen.table);
        const before = this.exportBefore;
        let after;
        try {
            after = mdbExport(this.copy, chosen.table);
        } catch (error) {
            this.fault(step, `mdb-export: ${error.message}`);
            return;
        }
        if (JSON.stringify(after.columns) !== JSON.stringify([...before.columns, chosen.field])) {
            this.fault(step, `mdb-export: fields ${show(after.columns)}, expected ${show([...before.columns, chosen.field])}`);
            return;
        }
        if (after.rows.length !== before.rows.length) {
            this.fault(step, `mdb-export has ${after.rows.length} rows, expected ${before.rows.length}`);
            return;
        }
        const n = before.columns.length;
        const field = (row, c) => row[c] ?? null;
        const kept = (rows) => rowBag(rows.map((row) => before.columns.map((_, c) => field(row, c))));
        if (!sameBag(kept(after.rows), kept(before.rows))) {
            this.fault(step, "mdb-export reads the other fields differently than before");
        }

        const reading = this.original.get(chosen.table);
        const inputs = [chosen.expression.a, chosen.expression.b].filter((c) => c !== undefined);
        if (inputs.some((c) => MDBTOOLS_UNREADABLE.has(c.type))) {
            this.notes.add(`mdb-export cannot read ${inputs.map((c) => c.type).join(", ")}: ` +
                `[${chosen.table}].[${chosen.field}] is compared with it as a whole, not row by row`);
            const got = after.rows.map((row) => field(row, n)).sort();
            const want = values.map((v) => (v === null ? null : String(v))).sort();
            if (JSON.stringify(got) !== JSON.stringify(want)) {
                this.fault(step, `mdb-export reads "${chosen.field}" as ${show(got)}, expected ${show(want)}`);
            }
            return;
        }
        const readerAt = inputs.map((c) => reading.header.columns.findIndex((x) => x.name === c.name));
        const exportAt = inputs.map((c) => before.columns.indexOf(c.name));
        const shown = [];
        after.rows.forEach((row, r) => {
            const candidates = reading.rows.map((_, i) => i).filter((i) =>
                inputs.every((c, k) => matchesExport(c.type, reading.rows[i][readerAt[k]], field(row, exportAt[k]))));
            if (!candidates.some((i) => matchesExport("Long", values[i], field(row, n))) && shown.length < 6) {
                const inputText = inputs.map((c, k) => `${c.name} ${show(field(row, exportAt[k]))}`).join(", ");
                shown.push(`row ${r + 1} (${inputText}): mdb-export reads "${chosen.field}" as ` +
                    `${show(field(row, n))}, expected ${candidates.length ? show(values[candidates[0]]) : "(no such row in the original)"}`);
            }
        });
        if (shown.length) this.fault(step, `mdb-export differs:\n      ${shown.join("\n      ")}`);
    }
}

async function main(options) {
    if (!existsSync(path.join(HERE, "node_modules", "mdb-reader"))) {
        throw new Error(`mdb-reader is not installed in ${HERE}/node_modules: run scripts/test (or "npm ci" in tests/oracle)`);
    }
    const { readDatabase } = await import("./dump.mjs");
    const title = `newfield ${options.fixture}`;
    const tablesRun = quillfen(options, ["tables", options.file]);
    if (tablesRun.status !== 0) throw new Error(`quillfen-db tables failed: ${tablesRun.stderr.trim()}`);
    const schemaRun = quillfen(options, ["schema", options.file]);
    if (schemaRun.status !== 0) throw new Error(`quillfen-db schema failed: ${schemaRun.stderr.trim()}`);
    const schema = parseSchema(schemaRun.stdout);
    const original = new Map(readDatabase(options.file, { password: options.password }).map((t) => [t.header.table, t]));

    const candidates = [];
    const notes = [];
    for (const table of tablesRun.stdout.split("\n").filter((l) => l !== "")) {
        const s = schema.find((x) => x.name === table);
        const expression = s && expressionFor(numericFields(s));
        if (!expression) continue;
        const reading = original.get(table);
        if (!reading || reading.error !== undefined) {
            notes.push(`mdb-reader cannot read table "${table}" (${reading?.error ?? "not listed"}): no expectation for it`);
            continue;
        }
        for (const c of [expression.a, expression.b].filter((x) => x !== undefined)) {
            const readerType = reading.header.columns.find((x) => x.name === c.name)?.type;
            if (readerType !== c.type) {
                notes.push(`[${table}].[${c.name}] is ${c.type}, mdb-reader reads ${readerType ?? "no such field"}`);
            }
        }
        candidates.push({ table, field: newFieldName(s.columns.map((c) => c.name)), expression });
    }
    if (notes.length) {
        console.log(`FAIL ${title}`);
        for (const n of notes) console.log(`  note: ${n}`);
        return 1;
    }
    if (!candidates.length) {
        console.log(`OK ${title}: nothing to do (no table with a numeric field)`);
        return 0;
    }

    const run = new Run(options, readDatabase, original);
    const refused = [];
    let chosen = null;
    let expected = null;
    try {
        chosen = run.choose(candidates, refused);
        if (chosen) {
            const reading = original.get(chosen.table);
            expected = { ...expectedValues(reading, chosen.expression), nulls: reading.rows.map(() => null) };
            if (options.verbose) console.log(`expected ${show(expected.values ?? expected.failure)}`);
            run.sequence(chosen, expected);
        }
    } finally {
        run.finish();
    }
    for (const r of refused) console.log(`  refused: ${r}`);
    for (const n of run.notes) console.log(`NOTE ${n}`);
    if (run.faults.length) {
        const where = chosen ? `: [${chosen.table}].[${chosen.field}] = ${chosen.expression.text}` : "";
        console.log(`FAIL ${title}${where}; ${run.faults.length} fault(s)`);
        for (const f of run.faults.slice(0, MAX_REPORTED)) console.log(f);
        if (run.faults.length > MAX_REPORTED) console.log(`... and ${run.faults.length - MAX_REPORTED} more`);
        return 1;
    }
    if (!chosen) {
        console.log(`OK ${title}: nothing to do (the engine adds no field to any table with a numeric field; ` +
            "each refusal left the file as it was)");
        return 0;
    }
    const outcome = expected.failure !== undefined
        ? `the update fails as it must (${expected.failure}) and leaves the file as it was`
        : `${expected.values.length} row(s) filled twice and checked`;
    console.log(`OK ${title}: [${chosen.table}].[${chosen.field}] = ${chosen.expression.text}: ${outcome}; ` +
        "every table reads as the original after the last DROP");
    return 0;
}

if (import.meta.url === pathToFileURL(process.argv[1] ?? "").href) {
    try {
        process.exitCode = await main(parseArgs(process.argv.slice(2), "newfield.mjs"));
    } catch (error) {
        console.log(`FAIL newfield ${process.argv.slice(2).join(" ")}\n  ${error?.stack ?? error}`);
        process.exitCode = 1;
    }
}
