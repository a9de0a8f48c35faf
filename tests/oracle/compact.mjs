#!/usr/bin/env node
// The compact oracle: compacts a copy of a fixture with `quillfen-db compact` and checks it with
// the independent readers.
//
//   node compact.mjs --db QUILLFEN_DB --fixtures DIR FIXTURE [--password P] [--no-mdbtools]
//
// Before and after, mdb-reader reads every table, the system tables (queries, relationships,
// properties, ...) included: each must hold the same fields and the same rows, row order aside.
// After, `quillfen-db compact` must have exited with 0 and left no journal, `quillfen-db check`
// finds no fault, `quillfen-db dump` agrees with mdb-reader (compare.mjs dump, the fixture's
// exceptions applying), and mdb-export agrees with mdb-reader (compare.mjs oracles) where
// mdbtools can open the file, as far as they agree on the fixture itself. Exit status 0 when everything holds, 1 otherwise.

import { spawnSync } from "node:child_process";
import { chmodSync, copyFileSync, existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { parseArgs, quillfen } from "./update.mjs";

const HERE = path.dirname(fileURLToPath(import.meta.url));

// Every table mdb-reader lists, system tables too: {name: {columns, rows (sorted JSON)}}.
async function readAll(file, password) {
    const { default: MDBReader } = await import("mdb-reader");
    const reader = new MDBReader(readFileSync(file), password ? { password } : {});
    const tables = {};
    for (const name of reader.getTableNames({ normalTables: true, systemTables: true })) {
        // A table mdb-reader cannot read (a system table with a type it does not know) must
        // stay so, with the same message.
        try {
            const table = reader.getTable(name);
            const columns = table.getColumns().map((c) => `${c.name}:${c.type}`);
            const readable = table.getColumns().filter((c) => c.type !== "complex").map((c) => c.name);
            const rows = table.getData({ columns: readable }).map((r) =>
                JSON.stringify(readable.map((c) => (r[c] instanceof Buffer ? r[c].toString("hex") : r[c]))));
            tables[name] = { columns, rows: rows.sort() };
        } catch (error) {
            tables[name] = { columns: [], rows: [`unreadable: ${error?.message ?? error}`] };
        }
    }
    return tables;
}

function node(script, args) {
    const result = spawnSync(process.execPath, [path.join(HERE, script), ...args], { encoding: "utf8" });
    return { ok: result.status === 0, output: `${result.stdout}${result.stderr}`.trim() };
}

async function main(options) {
    const problems = [];
    const work = mkdtempSync(path.join(os.tmpdir(), "quillfen-compact-"));
    try {
        // The copy keeps the fixture's relative path, which keys the readers' exceptions.
        const copy = path.join(work, options.fixture);
        mkdirSync(path.dirname(copy), { recursive: true });
        copyFileSync(options.file, copy);
        chmodSync(copy, 0o644);
        const before = await readAll(copy, options.password);

        const compacted = quillfen(options, ["compact", copy]);
        if (compacted.status !== 0) {
            problems.push(`quillfen-db compact exited with ${compacted.status}:\n${compacted.stdout}${compacted.stderr}`);
        }
        if (existsSync(`${copy}-journal`)) problems.push("a journal was left beside the file");
        const after = await readAll(copy, options.password);
        for (const name of new Set([...Object.keys(before), ...Object.keys(after)])) {
            const a = before[name];
            const b = after[name];
            if (!a || !b) {
                problems.push(`table ${name} ${a ? "went" : "appeared"}`);
            } else if (JSON.stringify(a.columns) !== JSON.stringify(b.columns)) {
                problems.push(`table ${name}: fields ${JSON.stringify(a.columns)} became ${JSON.stringify(b.columns)}`);
            } else if (JSON.stringify(a.rows) !== JSON.stringify(b.rows)) {
                const lost = a.rows.filter((r) => !b.rows.includes(r)).slice(0, 3);
                const gained = b.rows.filter((r) => !a.rows.includes(r)).slice(0, 3);
                problems.push(`table ${name}: rows differ; before only ${lost.join(" ")}; after only ${gained.join(" ")}`);
            }
        }
        const checked = quillfen(options, ["check", copy]);
        if (checked.status !== 0) problems.push(`quillfen-db check:\n${checked.stdout}${checked.stderr}`);

        const common = ["--fixtures", work, options.fixture];
        if (options.password !== undefined) common.push("--password", options.password);
        const rewritten = [...compacted.stdout.matchAll(/^Table '(.*)': [\d,]+ rows?, /gm)]
            .flatMap((m) => ["--rewritten", m[1]]);
        const dump = node("compare.mjs", ["dump", "--db", options.db, ...rewritten, ...common]);
        if (!dump.ok) problems.push(dump.output);
        if (!options.noMdbtools) {
            // Where the readers disagree on the fixture itself (calculated fields, say), they
            // must disagree the same way on the copy.
            const pristine = node("compare.mjs", ["oracles", "--fixtures", options.fixtures, ...common.slice(2)]);
            const oracles = node("compare.mjs", ["oracles", ...common]);
            if (!oracles.ok && oracles.output !== pristine.output) problems.push(oracles.output);
        }
    } finally {
        rmSync(work, { recursive: true, force: true });
    }
    if (!problems.length) {
        console.log(`OK compact ${options.fixture}`);
        return 0;
    }
    console.log(`FAIL compact ${options.fixture}`);
    for (const p of problems) console.log(p);
    return 1;
}

try {
    process.exitCode = await main(parseArgs(process.argv.slice(2), "compact.mjs"));
} catch (error) {
    console.log(`FAIL ${process.argv.slice(2).join(" ")}\n  ${error?.message ?? error}`);
    process.exitCode = 1;
}
