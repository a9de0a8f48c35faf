#!/usr/bin/env node
// Compares quillfen-db's reading of an Access file with the independent readers.
//
//   node compare.mjs dump    --db QUILLFEN_DB --fixtures DIR FIXTURE [--password P]
//                            [--rewritten TABLE]...
//       `quillfen-db dump` against mdb-reader (dump.mjs), with the columns listed in
//       exceptions.mjs checked their own way; the rows of each TABLE were written afresh
//       (compacted), so the moved rows whose order exceptions.mjs gives no longer are;
//   node compare.mjs tables  --db QUILLFEN_DB --fixtures DIR FIXTURE [--password P]
//       `quillfen-db tables` against `mdb-tables -1`, both sorted ignoring case;
//   node compare.mjs oracles --fixtures DIR FIXTURE [--password P]
//       mdb-reader's reading against mdb-export, column by column: a check of the oracles.
//
// FIXTURE is the path under the fixtures folder (e.g. jet4/test2000.mdb); it keys the
// exceptions. Exit status 0 when everything matches, 1 otherwise.

import { spawnSync } from "node:child_process";
import { existsSync } from "node:fs";
import path from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { columnException, isNotUserTable, rowOrderException } from "./exceptions.mjs";
import { MDBTOOLS_UNREADABLE, matchesExport, mdbExport, mdbTables } from "./mdbtools.mjs";

const HERE = path.dirname(fileURLToPath(import.meta.url));
const MAX_REPORTED = 12;

class Report {
    constructor(title) {
        this.title = title;
        this.problems = [];
    }
    add(text) {
        this.problems.push(text);
    }
    finish() {
        if (!this.problems.length) {
            console.log(`OK ${this.title}`);
            return 0;
        }
        console.log(`FAIL ${this.title}: ${this.problems.length} difference(s)`);
        for (const p of this.problems.slice(0, MAX_REPORTED)) console.log(p);
        if (this.problems.length > MAX_REPORTED) {
            console.log(`... and ${this.problems.length - MAX_REPORTED} more`);
        }
        return 1;
    }
}

function parseArgs(argv) {
    const [mode, ...rest] = argv;
    const options = { mode };
    for (let i = 0; i < rest.length; ++i) {
        const arg = rest[i];
        if (["--db", "--fixtures", "--password"].includes(arg)) {
            if (i + 1 >= rest.length) throw new Error(`${arg} needs a value`);
            options[arg.slice(2)] = rest[++i];
        } else if (arg === "--rewritten") {
            if (i + 1 >= rest.length) throw new Error(`${arg} needs a value`);
            options.rewritten = [...(options.rewritten ?? []), rest[++i]];
        } else if (options.fixture === undefined && !arg.startsWith("--")) {
            options.fixture = arg;
        } else {
            throw new Error(`unexpected argument ${arg}`);
        }
    }
    if (!["dump", "tables", "oracles"].includes(mode)) throw new Error(`unknown mode ${mode}`);
    if (!options.fixture || !options.fixtures) throw new Error("FIXTURE and --fixtures are needed");
    if (mode !== "oracles" && !options.db) throw new Error("--db is needed");
    options.file = path.join(options.fixtures, options.fixture);
    return options;
}

function runQuillfen(options, command) {
    const args = [command, options.file];
    if (options.password !== undefined) args.push("--password", options.password);
    const result = spawnSync(options.db, args, { maxBuffer: 1 << 30 });
    if (result.error) throw new Error(`cannot run ${options.db}: ${result.error.message}`);
    if (result.status !== 0) {
        throw new Error(`quillfen-db ${args.join(" ")} exited with ${result.status}: ` +
            result.stderr.toString().trim());
    }
    try {
        return new TextDecoder("utf-8", { fatal: true }).decode(result.stdout);
    } catch {
        throw new Error(`quillfen-db ${command} printed bytes that are not UTF-8`);
    }
}

// Dump lines into [{header, rows, lines}], checking the shape as it goes.
function parseDump(text, report) {
    const tables = [];
    const lines = text.split("\n");
    if (lines.at(-1) === "") lines.pop();
    lines.forEach((line, i) => {
        let value;
        try {
            value = JSON.parse(line);
        } catch {
            report.add(`quillfen-db line ${i + 1} is not JSON: ${line.slice(0, 200)}`);
            return;
        }
        if (Array.isArray(value)) {
            const table = tables.at(-1);
            if (!table) return report.add(`quillfen-db line ${i + 1}: a row before any table header`);
            if (value.length !== table.header.columns.length) {
                report.add(`quillfen-db line ${i + 1}: ${value.length} values for ` +
                    `${table.header.columns.length} columns in "${table.header.table}"`);
            }
            table.rows.push(value);
            table.lines.push(line);
        } else if (value && typeof value.table === "string" && Array.isArray(value.columns)) {
            tables.push({ header: value, rows: [], lines: [] });
        } else {
            report.add(`quillfen-db line ${i + 1} is neither a header nor a row: ${line.slice(0, 200)}`);
        }
    });
    return tables;
}

// `expected` in the dump notation against quillfen-db's `got`. Numbers compare as numbers (their
// spelling is checked by spellingProblem). A Single may also be printed as the float's exact
// whole value (134217728 where the shortest digits give 134217730): as long, and what C++'s
// plain to_chars gives.
//
// Jet 3 text in Windows-1252: mdb-reader reads the five bytes the code page leaves undefined
// (81, 8D, 8F, 90, 9D) as U+FFFD, where Windows, and so Access and quillfen-db, read the C1
// controls of the same number; each such U+FFFD matches one of them.
export function sameValue(type, expected, got) {
    if (typeof expected === "number" && typeof got === "number") {
        if (expected === got) return true;
        return type === "Single" && Math.fround(expected) === Math.fround(got) &&
            Number.isInteger(got) && Math.fround(got) === got;
    }
    if (typeof expected === "string" && typeof got === "string" && expected.includes("\uFFFD")) {
        return expected === got.replace(/[\u0081\u008D\u008F\u0090\u009D]/g, "\uFFFD");
    }
    return JSON.stringify(expected) === JSON.stringify(got);
}

// The number tokens of a JSON line, in order, as printed.
function numberTokens(line) {
    const tokens = [];
    for (let i = 0; i < line.length; ++i) {
        if (line[i] === '"') {
            for (++i; i < line.length && line[i] !== '"'; ++i) if (line[i] === "\\") ++i;
        } else if (/[-0-9]/.test(line[i])) {
            const start = i;
            while (i + 1 < line.length && /[-+.eE0-9]/.test(line[i + 1])) ++i;
            tokens.push(line.slice(start, i + 1));
        }
    }
    return tokens;
}

// The significant digits of a number's spelling: "0.00120" and "1.2e-3" both give "12".
function significantDigits(token) {
    const mantissa = token.replace(/^-/, "").split(/[eE]/)[0].replace(".", "");
    return mantissa.replace(/^0+/, "").replace(/0+$/, "") || "0";
}

// Whether a Double or Single is spelt with the fewest significant digits that read back as
// the same value: a numeric comparison alone would let 444.55500000000001 pass for 444.555.
export function spellingProblem(type, token, shortestSingle) {
    const value = Number(token);
    if (type === "Double") {
        const shortest = JSON.stringify(value);
        return significantDigits(token) === significantDigits(shortest) ? null : shortest;
    }
    if (type === "Single") {
        const shortest = String(shortestSingle(Math.fround(value)));
        const exactWhole = Number.isInteger(value) && Math.fround(value) === value && !/[.eE]/.test(token);
        return exactWhole || significantDigits(token) === significantDigits(shortest) ? null : shortest;
    }
    return null;
}

function checkSpelling(table, report, shortestSingle) {
    const columns = table.header.columns;
    table.lines.forEach((line, r) => {
        const tokens = numberTokens(line);
        let next = 0;
        table.rows[r].forEach((value, i) => {
            if (typeof value !== "number") return;
            const token = tokens[next++];
            const shortest = spellingProblem(columns[i]?.type, token, shortestSingle);
            if (shortest !== null) {
                report.add(`  table "${table.header.table}", row ${r + 1}, column "${columns[i].name}" ` +
                    `(${columns[i].type}): quillfen-db prints ${token}, the shortest spelling is ${shortest}`);
            }
        });
    });
}

function show(value) {
    return value === undefined ? "(nothing)" : JSON.stringify(value);
}

function cellProblem(where, column, expectedBy, expected, got, lines) {
    let text = `  ${where}, column "${column.name}" (${column.type}): ` +
        `${expectedBy} ${show(expected)}, quillfen-db ${show(got)}`;
    if (lines) text += `\n    ${expectedBy.padEnd(11)} ${lines[0]}\n    quillfen-db ${lines[1]}`;
    return text;
}

// Checks the listed columns of `rows` against mdb-export's reading of the table; `order`, when
// given, maps each of `rows` to mdb-export's row (which reads in mdb-reader's order).
function checkWithExport(file, table, columns, rows, indexes, report, who, order) {
    let exported;
    try {
        exported = mdbExport(file, table);
    } catch (error) {
        report.add(`  table "${table}": ${error.message}`);
        return;
    }
    if (order && order.length === exported.rows.length) {
        exported.rows = order.map((i) => exported.rows[i]);
    }
    if (exported.rows.length !== rows.length) {
        report.add(`  table "${table}": mdb-export has ${exported.rows.length} rows, ${who} ${rows.length}`);
        return;
    }
    for (const i of indexes) {
        const column = columns[i];
        if (MDBTOOLS_UNREADABLE.has(column.type)) {
            report.add(`  table "${table}", column "${column.name}": mdb-export cannot read ` +
                `${column.type}; give hand-checked values in exceptions.mjs`);
            continue;
        }
        const at = exported.columns.indexOf(column.name);
        if (at < 0) {
            report.add(`  table "${table}": mdb-export has no column "${column.name}"`);
            continue;
        }
        rows.forEach((row, r) => {
            const field = exported.rows[r][at] ?? null;
            if (!matchesExport(column.type, row[i], field)) {
                report.add(`  table "${table}", row ${r + 1}, column "${column.name}" (${column.type}): ` +
                    `mdb-export ${JSON.stringify(field)}, ${who} ${show(row[i])}`);
            }
        });
    }
}

function checkWithValues(table, column, index, rows, values, report) {
    if (values.length !== rows.length) {
        report.add(`  table "${table}", column "${column.name}": ${values.length} checked values, ` +
            `quillfen-db ${rows.length} rows`);
        return;
    }
    rows.forEach((row, r) => {
        if (!sameValue(column.type, values[r], row[index])) {
            report.add(cellProblem(`table "${table}", row ${r + 1}`, column, "checked", values[r], row[index]));
        }
    });
}

function compareTable(options, mine, theirs, report) {
    const name = mine.header.table;
    const order = options.rewritten?.includes(name) ? undefined : rowOrderException(options.fixture, name)?.order;
    if (order && theirs.error === undefined) {
        if (order.length !== theirs.rows.length) {
            report.add(`  table "${name}": the row order in exceptions.mjs lists ${order.length} rows, ` +
                `mdb-reader has ${theirs.rows.length}`);
            return;
        }
        theirs = { ...theirs, rows: order.map((i) => theirs.rows[i]) };
    }
    const columns = mine.header.columns;
    const expectedHeader = {
        ...theirs.header,
        columns: theirs.header.columns.map((c) => {
            const resultType = columnException(options.fixture, name, c)?.resultType;
            return resultType ? { ...c, type: resultType } : c;
        }),
    };
    if (JSON.stringify(mine.header) !== JSON.stringify(expectedHeader)) {
        report.add(`  table "${name}": headers differ\n    mdb-reader  ${JSON.stringify(expectedHeader)}` +
            `\n    quillfen-db ${JSON.stringify(mine.header)}`);
        return;
    }
    const exceptions = columns.map((c) => columnException(options.fixture, name, c));
    const plain = columns.map((_, i) => i).filter((i) => !exceptions[i]);

    if (plain.length && theirs.error !== undefined) {
        report.add(`  table "${name}": mdb-reader fails (${theirs.error}); ` +
            `if that is mdb-reader's fault, state it in exceptions.mjs`);
    } else if (plain.length && theirs.rows.length !== mine.rows.length) {
        report.add(`  table "${name}": mdb-reader has ${theirs.rows.length} rows, quillfen-db ${mine.rows.length}`);
    } else if (plain.length) {
        const compared = plain.filter((i) => {
            const unread = theirs.rows.find((row) => row[i] !== null && typeof row[i] === "object");
            if (unread) {
                report.add(`  table "${name}", column "${columns[i].name}": mdb-reader cannot read it ` +
                    `(${unread[i].unread}); state that in exceptions.mjs`);
            }
            return !unread;
        });
        mine.rows.forEach((row, r) => {
            for (const i of compared) {
                const expected = theirs.rows[r][i];
                if (!sameValue(columns[i].type, expected, row[i])) {
                    report.add(cellProblem(`table "${name}", row ${r + 1}`, columns[i], "mdb-reader",
                        expected, row[i], [JSON.stringify(theirs.rows[r]), mine.lines[r]]));
                }
            }
        });
    }

    const viaExport = exceptions.flatMap((e, i) => (e && e.check === "mdb-export" ? [i] : []));
    if (viaExport.length) {
        checkWithExport(options.file, name, columns, mine.rows, viaExport, report, "quillfen-db", order);
    }
    exceptions.forEach((e, i) => {
        if (e && e.check !== "mdb-export") checkWithValues(name, columns[i], i, mine.rows, e.check.values, report);
    });
}

function compareTableLists(mine, theirs, report) {
    const a = mine.map((t) => t.header.table);
    const b = theirs.map((t) => t.header.table);
    if (JSON.stringify(a) === JSON.stringify(b)) return true;
    const onlyMine = a.filter((n) => !b.includes(n));
    const onlyTheirs = b.filter((n) => !a.includes(n));
    if (onlyMine.length) report.add(`  tables only quillfen-db dumps: ${JSON.stringify(onlyMine)}`);
    if (onlyTheirs.length) report.add(`  tables only mdb-reader reads: ${JSON.stringify(onlyTheirs)}`);
    if (!onlyMine.length && !onlyTheirs.length) {
        report.add(`  table order differs\n    mdb-reader  ${JSON.stringify(b)}\n    quillfen-db ${JSON.stringify(a)}`);
    }
    return false;
}

async function loadOracle() {
    if (!existsSync(path.join(HERE, "node_modules", "mdb-reader"))) {
        throw new Error(`mdb-reader is not installed in ${HERE}/node_modules: ` +
            `run scripts/test (or "npm ci" in tests/oracle)`);
    }
    return import("./dump.mjs");
}

async function compareDump(options) {
    const report = new Report(`dump ${options.fixture}`);
    const { readDatabase, shortestSingle } = await loadOracle();
    const theirs = readDatabase(options.file, { password: options.password })
        .filter((t) => !isNotUserTable(options.fixture, t.header.table));
    const mine = parseDump(runQuillfen(options, "dump"), report);
    compareTableLists(mine, theirs, report);
    for (const table of mine) {
        checkSpelling(table, report, shortestSingle);
        const other = theirs.find((t) => t.header.table === table.header.table);
        if (other) compareTable(options, table, other, report);
    }
    return report.finish();
}

function sortIgnoringCase(names) {
    return [...names].sort((a, b) => {
        const la = a.toLowerCase();
        const lb = b.toLowerCase();
        return la < lb ? -1 : la > lb ? 1 : a < b ? -1 : a > b ? 1 : 0;
    });
}

function compareTables(options) {
    const report = new Report(`tables ${options.fixture}`);
    const mine = sortIgnoringCase(runQuillfen(options, "tables").split("\n").filter((l) => l !== ""));
    const theirs = sortIgnoringCase(mdbTables(options.file).filter((n) => !isNotUserTable(options.fixture, n)));
    if (JSON.stringify(mine) !== JSON.stringify(theirs)) {
        report.add(`    mdb-tables  ${JSON.stringify(theirs)}\n    quillfen-db ${JSON.stringify(mine)}`);
    }
    return report.finish();
}

async function compareOracles(options) {
    const report = new Report(`oracles ${options.fixture}`);
    const { readDatabase } = await loadOracle();
    for (const t of readDatabase(options.file, { password: options.password })) {
        if (t.error !== undefined) {
            report.add(`  table "${t.header.table}": mdb-reader fails (${t.error})`);
            continue;
        }
        const columns = t.header.columns;
        const readable = columns.map((c, i) => i).filter((i) => !MDBTOOLS_UNREADABLE.has(columns[i].type) &&
            !t.rows.some((row) => row[i] !== null && typeof row[i] === "object"));
        checkWithExport(options.file, t.header.table, columns, t.rows, readable, report, "mdb-reader");
    }
    return report.finish();
}

if (import.meta.url === pathToFileURL(process.argv[1] ?? "").href) {
    try {
        const options = parseArgs(process.argv.slice(2));
        const run = { dump: compareDump, tables: compareTables, oracles: compareOracles }[options.mode];
        process.exitCode = await run(options);
    } catch (error) {
        console.log(`FAIL ${process.argv.slice(2).join(" ")}\n  ${error?.message ?? error}`);
        process.exitCode = 1;
    }
}
