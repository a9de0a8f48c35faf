#!/usr/bin/env node
// The encrypted-write oracle: on a copy of an encoded or encrypted fixture, quillfen-db grows
// every row's Text field, adds and fills a new field, and inserts a row, all carrying words
// that stand nowhere in the original. Afterwards:
//   (a) mdb-reader, given the password, reads every table exactly as `quillfen-db dump` does,
//       and Table1 as the statements made it;
//   (b) `quillfen-db check` finds no fault, and no journal is left beside the file;
//   (c) none of those words stands in the file in the clear, in any of the ways a Text value
//       can be stored (UTF-16LE, compressed to one byte a character, or a code page).
//
//   node encrypted.mjs --db QUILLFEN_DB --fixtures DIR FIXTURE [--password P]
//
// Table1's Text field is its first one. Exit status 0 when everything holds, 1 otherwise.

import { chmodSync, copyFileSync, existsSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import os from "node:os";
import path from "node:path";
import { pathToFileURL } from "node:url";
import { dumpLines, readDatabase } from "./dump.mjs";
import { parseArgs, parseSchema, quillfen } from "./update.mjs";

const GROWN = "Zebragrown";
const INSERTED = "Quokkainserted";

function run(options, file, args) {
    const result = quillfen(options, [...args.slice(0, 1), file, ...args.slice(1)]);
    if (result.status !== 0) {
        throw new Error(`quillfen-db ${args[0]} exits ${result.status}: ${result.stderr.trim()}`);
    }
    return result.stdout;
}

function clearTextProblems(bytes, words) {
    return words.flatMap((word) =>
        [["one byte a character", Buffer.from(word, "latin1")], ["UTF-16LE", Buffer.from(word, "utf16le")]]
            .filter(([, form]) => bytes.includes(form))
            .map(([how]) => `"${word}" stands in the file in the clear (${how})`));
}

function main(options) {
    const work = mkdtempSync(path.join(os.tmpdir(), "quillfen-encrypted-"));
    try {
        const copy = path.join(work, path.basename(options.file));
        copyFileSync(options.file, copy);
        chmodSync(copy, 0o644);
        const table = parseSchema(run(options, copy, ["schema", "Table1"]))[0];
        const text = table.columns.find((c) => c.type === "Text");
        if (!text) throw new Error("Table1 has no Text field");
        run(options, copy, ["sql",
            `UPDATE [Table1] SET [${text.name}] = [${text.name}] & '${GROWN}'`,
            "ALTER TABLE [Table1] ADD COLUMN [Total] INT",
            "UPDATE [Table1] SET [Total] = [ID] * 7",
            `INSERT INTO [Table1] ([${text.name}], [Total]) VALUES ('${INSERTED}', 99)`]);

        const problems = [];
        const ours = run(options, copy, ["dump"]).trim().split("\n");
        const theirs = dumpLines(readDatabase(copy, { password: options.password }));
        if (JSON.stringify(ours) !== JSON.stringify(theirs)) {
            problems.push(`mdb-reader reads\n    ${theirs.join("\n    ")}\n  quillfen-db dumps\n    ${ours.join("\n    ")}`);
        }
        const original = readDatabase(options.file, { password: options.password, table: "Table1" })[0];
        const after = readDatabase(copy, { password: options.password, table: "Table1" })[0];
        // The grown rows in full; of the inserted one, its new ID and the two values it was given
        // (the others take their fields' defaults).
        const at = original.header.columns.findIndex((c) => c.name === text.name);
        const grown = original.rows.map((r) => [...r.slice(0, at), `${r[at]}${GROWN}`, ...r.slice(at + 1), r[0] * 7]);
        const inserted = after.rows.at(-1) ?? [];
        const maxId = Math.max(0, ...original.rows.map((r) => r[0]));
        if (JSON.stringify(after.rows.slice(0, -1)) !== JSON.stringify(grown) ||
            !(inserted[0] > maxId) || inserted[at] !== INSERTED || inserted.at(-1) !== 99) {
            problems.push(`Table1 reads ${JSON.stringify(after.rows)}; expected ${JSON.stringify(grown)} ` +
                `and a new row with ID above ${maxId}, "${INSERTED}" and 99`);
        }
        const check = quillfen(options, ["check", copy]);
        if (check.status !== 0) problems.push(`quillfen-db check exits ${check.status}: ${check.stdout}${check.stderr}`);
        if (existsSync(`${copy}-journal`)) problems.push("a journal was left beside the file");
        problems.push(...clearTextProblems(readFileSync(copy), [GROWN, INSERTED]));

        const title = `encrypted ${options.fixture}`;
        if (!problems.length) {
            console.log(`OK ${title}: ${after.rows.length} rows grown, filled or inserted, read back by mdb-reader`);
            return 0;
        }
        console.log(`FAIL ${title}`);
        for (const p of problems) console.log(`  ${p}`);
        return 1;
    } finally {
        rmSync(work, { recursive: true, force: true });
    }
}

if (import.meta.url === pathToFileURL(process.argv[1] ?? "").href) {
    try {
        process.exitCode = main(parseArgs(process.argv.slice(2), "encrypted.mjs"));
    } catch (error) {
        console.log(`FAIL encrypted ${process.argv.slice(2).join(" ")}\n  ${error?.stack ?? error}`);
        process.exitCode = 1;
    }
}
