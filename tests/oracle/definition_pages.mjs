#!/usr/bin/env node
// The definition-pages oracle: on a copy of a fixture, adds Long fields with the longest names
// Access allows to one table until its definition continues on two more pages than it had,
// filling each new field, then drops them again one by one; the statements go through
// quillfen-db, and every step is checked with the independent readers.
//
//   node definition_pages.mjs --db QUILLFEN_DB --fixtures DIR FIXTURE [--verbose]
//
// The table is the fixture's in TABLES. After every statement `quillfen-db check` finds no
// fault, and mdb-reader reads the table with the original fields and then the added ones, the
// original rows with added field k holding k + 1 (Null before its update); after every update
// and every DROP, mdb-export reads the same fields and values (rows in any order). After the
// last DROP mdb-reader reads every table as in the original. How many pages the definition lies
// on is read from the file's bytes, along the chain of next-page pointers from the page the
// catalog (MSysObjects, as mdb-reader reads it) gives for the table.
// Exit status 0 when everything holds, 1 otherwise.

import { chmodSync, copyFileSync, existsSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { mdbExport } from "./mdbtools.mjs";
import { parseArgs, quillfen } from "./update.mjs";

const HERE = path.dirname(fileURLToPath(import.meta.url));
// Jet 3 (version byte 0 at 0x14) has 2 KB pages, Jet 4 and ACE 4 KB.
const pageSizeOf = (bytes) => (bytes[0x14] === 0 ? 2048 : 4096);
const MAX_REPORTED = 20;

// The table of each fixture: one Access wrote on one page, one it wrote on two.
export const TABLES = {
    "jet4/test2000.mdb": "Table1",
    "ace/test2010.accdb": "Table1",
    "jet4/test2V2000.mdb": "MSP_PROJECTS",
    "ace/test2V2010.accdb": "MSP_PROJECTS",
    "jet3/test97.mdb": "Table1",
};

// The n-th added field's name: 64 characters.
export function fieldName(n) {
    return `Field ${n} `.padEnd(64, "x");
}

// The pages a definition lies on, following the next-page pointers from its first page.
export function definitionPageCount(bytes, firstPage) {
    const pageSize = pageSizeOf(bytes);
    let count = 0;
    for (let page = firstPage; page !== 0; ++count) {
        const at = page * pageSize;
        if (at + pageSize > bytes.length || bytes[at] !== 0x02 || count > 64) {
            throw new Error(`the definition's chain reaches page ${page}, which is not a definition page`);
        }
        page = bytes.readUInt32LE(at + 4);
    }
    return count;
}

const show = (v) => JSON.stringify(v);

class Run {
    constructor(options, MDBReader, readDatabase) {
        this.options = options;
        this.MDBReader = MDBReader;
        this.readDatabase = readDatabase;
        this.table = TABLES[options.fixture];
        this.faults = [];
        this.work = mkdtempSync(path.join(os.tmpdir(), "quillfen-definition-pages-"));
        this.copy = path.join(this.work, path.basename(options.file));
        copyFileSync(options.file, this.copy);
        chmodSync(this.copy, 0o644);
        this.original = readDatabase(options.file);
        this.originalTable = this.original.find((t) => t.header.table === this.table);
        this.exportBefore = mdbExport(options.file, this.table);
        this.added = [];  // names of the added fields, and whether each has been filled
    }

    fault(sql, text) {
        this.faults.push(`FAULT ${sql}\n    ${text}`);
    }

    pages() {
        const bytes = readFileSync(this.copy);
        const reader = new this.MDBReader(bytes);
        const entry = reader.getTable("MSysObjects").getData()
            .find((r) => r.Name === this.table && r.Type === 1);
        return definitionPageCount(bytes, entry.Id & 0xffffff);
    }

    // Runs one statement and checks the file; false when it failed.
    step(sql, exportToo) {
        const result = quillfen(this.options, ["sql", this.copy, sql]);
        if (this.options.verbose) console.log(`${sql}\n    exit ${result.status}`);
        if (result.status !== 0) {
            this.fault(sql, `failed: ${`${result.stdout}${result.stderr}`.trim()}`);
            return false;
        }
        const check = quillfen(this.options, ["check", this.copy]);
        if (check.status !== 0) {
            const lines = `${check.stdout}${check.stderr}`.trim().split("\n").filter((l) => !l.startsWith("warning"));
            this.fault(sql, `quillfen-db check exits ${check.status}:\n      ${lines.slice(0, 8).join("\n      ")}`);
        }
        this.checkReader(sql);
        if (exportToo) this.checkExport(sql);
        return true;
    }

    // Field k: k + 1 once filled, Null before.
    addedValue(k) {
        return this.added[k].filled ? k + 1 : null;
    }

    checkReader(sql) {
        let t;
        try {
            [t] = this.readDatabase(this.copy, { table: this.table });
        } catch (error) {
            this.fault(sql, `mdb-reader cannot read the result: ${error.message}`);
            return;
        }
        const b = this.originalTable;
        const columns = [...b.header.columns, ...this.added.map((a) => ({ name: a.name, type: "Long" }))];
        if (show(t.header.columns) !== show(columns)) {
            this.fault(sql, `mdb-reader reads the fields ${show(t.header.columns.map((c) => c.name))}`);
            return;
        }
        const rows = b.rows.map((row) => [...row, ...this.added.map((_, k) => this.addedValue(k))]);
        if (show(t.rows) !== show(rows)) {
            this.fault(sql, `mdb-reader reads the rows ${show(t.rows).slice(0, 400)}, expected ` +
                `${show(rows).slice(0, 400)}`);
        }
    }

    checkExport(sql) {
        let after;
        try {
            after = mdbExport(this.copy, this.table);
        } catch (error) {
            this.fault(sql, `mdb-export: ${error.message}`);
            return;
        }
        const before = this.exportBefore;
        const columns = [...before.columns, ...this.added.map((a) => a.name)];
        if (show(after.columns) !== show(columns)) {
            this.fault(sql, `mdb-export reads the fields ${show(after.columns)}`);
            return;
        }
        const values = this.added.map((_, k) => this.addedValue(k));
        const want = before.rows.map((row) => show([...row, ...values.map((v) => (v === null ? null : String(v)))]));
        const got = after.rows.map((row) => show(row.map((v) => v ?? null)));
        if (show(got.sort()) !== show(want.sort())) {
            this.fault(sql, `mdb-export reads ${got.join(" ").slice(0, 400)}, expected ${want.join(" ").slice(0, 400)}`);
        }
    }

    run() {
        const T = `[${this.table}]`;
        const start = this.pages();
        let pages = start;
        while (pages < start + 2) {
            if (this.added.length >= 200) {
                this.fault("", `the definition is still on ${pages} page(s) after 200 fields`);
                return;
            }
            const name = fieldName(this.added.length);
            this.added.push({ name, filled: false });
            if (!this.step(`ALTER TABLE ${T} ADD COLUMN [${name}] INT`, false)) return;
            this.added.at(-1).filled = true;
            if (!this.step(`update ${T} set [${name}]=${this.added.length}`, true)) return;
            pages = this.pages();
        }
        this.grownTo = { pages, fields: this.added.length };
        while (this.added.length) {
            const { name } = this.added.pop();
            if (!this.step(`ALTER TABLE ${T} DROP [${name}]`, true)) return;
        }
        if (this.pages() !== start) this.fault("", `the definition ends on ${this.pages()} page(s), not ${start}`);
        if (show(this.readDatabase(this.copy)) !== show(this.original)) {
            this.fault("", "after the last DROP mdb-reader does not read every table as in the original");
        }
        this.start = start;
    }

    finish() {
        rmSync(this.work, { recursive: true, force: true });
    }
}

async function main(options) {
    if (!existsSync(path.join(HERE, "node_modules", "mdb-reader"))) {
        throw new Error(`mdb-reader is not installed in ${HERE}/node_modules: run scripts/test (or "npm ci" in tests/oracle)`);
    }
    if (!TABLES[options.fixture]) throw new Error(`no table chosen for ${options.fixture}`);
    const { default: MDBReader } = await import("mdb-reader");
    const { readDatabase } = await import("./dump.mjs");
    const title = `definition pages ${options.fixture} [${TABLES[options.fixture]}]`;
    const run = new Run(options, MDBReader, readDatabase);
    try {
        run.run();
    } finally {
        run.finish();
    }
    if (run.faults.length) {
        console.log(`FAIL ${title}; ${run.faults.length} fault(s)`);
        for (const f of run.faults.slice(0, MAX_REPORTED)) console.log(f);
        return 1;
    }
    console.log(`OK ${title}: ${run.grownTo.fields} fields took the definition from ${run.start} ` +
        `to ${run.grownTo.pages} pages and back, read alike by mdb-reader and mdb-export at every step`);
    return 0;
}

if (import.meta.url === pathToFileURL(process.argv[1] ?? "").href) {
    try {
        process.exitCode = await main(parseArgs(process.argv.slice(2), "definition_pages.mjs"));
    } catch (error) {
        console.log(`FAIL definition pages ${process.argv.slice(2).join(" ")}\n  ${error?.stack ?? error}`);
        process.exitCode = 1;
    }
}
