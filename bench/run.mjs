#!/usr/bin/env node
// The benchmark run: quillfen-db against mdbtools and sqlite3 on one generated table of orders,
// the preview grid's first screen, and the constant window's Apply against its bare statement;
// medians of several runs, printed and written to bench/RESULTS.md. scripts/bench builds and
// then starts it.
//
//   node bench/run.mjs [--build DIR] [--rows N] [--runs N] [--small-rows N] [--no-grid]
//                      [--no-apply] [--keep]
//
//   --build       the build folder with cli/quillfen-db, bench/bench_grid and bench/bench_apply
//                 (default: build/)
//   --rows        rows of the table (1,000,000)
//   --runs        runs of each measurement; the medians are reported (5)
//   --small-rows  rows of the small table the grid's memory is compared with (10,000)
//   --no-grid     leave out the grid
//   --no-apply    leave out Apply
//   --keep        keep the work folder (os.tmpdir()/quillfen-bench-PID)
//
// Every timed command runs under /usr/bin/time -v, which gives its wall-clock time and peak
// resident memory, on a fresh copy of the database made (and synced) before the clock starts.
// Within each run the tools take turns: ours on the .mdb, ours on the .accdb, then the other
// tool. A command of ours that fails ends the run with its error output.

import { spawnSync } from "node:child_process";
import {
    closeSync, copyFileSync, existsSync, mkdirSync, openSync, readFileSync, rmSync, statSync,
    writeFileSync, writeSync,
} from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

const HERE = path.dirname(fileURLToPath(import.meta.url));
const ROOT = path.dirname(HERE);
const MiB = 1024 * 1024;

const FORMATS = [
    { name: ".mdb", ext: "mdb", version: "2000" },
    { name: ".accdb", ext: "accdb", version: "2016" },
];

const CREATE_OURS = "CREATE TABLE [Orders] ([ID] COUNTER PRIMARY KEY, [Price] CURRENCY, " +
    "[Qty] INT, [Amount] DOUBLE, [Name] TEXT(20))";
const CREATE_SQLITE = "CREATE TABLE Orders (ID INTEGER PRIMARY KEY, Price NUMERIC, " +
    "Qty INTEGER, Amount REAL, Name TEXT)";
const INDEX_OURS = "CREATE INDEX [QtyIndex] ON [Orders] ([Qty])";
const INDEX_SQLITE = "CREATE INDEX QtyIndex ON Orders(Qty)";
const UPDATE_OURS = "UPDATE [Orders] SET [Qty] = [Qty] + 10";
const UPDATE_SQLITE = "UPDATE Orders SET Qty = Qty + 10";
// The most the new field may grow the file by: its size after over its size before.
const NEW_FIELD_GROWTH = 1.2;
const ADD_OURS = "ALTER TABLE [Orders] ADD COLUMN [Total] INT";
const FILL_OURS = "update [Orders] set [Total]=[Price]* [Qty]";
const NEW_FIELD_SQLITE = "ALTER TABLE Orders ADD COLUMN Total INT; " +
    "UPDATE Orders SET Total = Price * Qty;";
// The anchor's durability is ours: a rollback journal, synced before the file is written and
// the file synced before the journal goes. sqlite3's default, said out loud. The WAL figures
// are told beside it.
const DURABLE_SQLITE = "PRAGMA synchronous = FULL; ";
const WAL_SQLITE = "PRAGMA journal_mode = WAL";

// The targets. Every command of ours also has to stay within OUR_PEAK_MIB.
const OUR_PEAK_MIB = 64;
const GRID_SECONDS = 0.1;
// How far the grid's peak on the large table may lie above the one on the small table.
const GRID_MEMORY_SLACK = 0.1;

function usage() {
    const text = readFileSync(fileURLToPath(import.meta.url), "utf8").split("\n");
    const end = text.findIndex((line) => !line.startsWith("//") && !line.startsWith("#!"));
    return text.slice(1, end).map((line) => line.replace(/^\/\/ ?/, "")).join("\n");
}

function parseArgs(argv) {
    const options = {
        build: path.join(ROOT, "build"), rows: 1000000, runs: 5, smallRows: 10000,
        grid: true, apply: true, keep: false,
    };
    const numbers = { "--rows": "rows", "--runs": "runs", "--small-rows": "smallRows" };
    for (let i = 0; i < argv.length; ++i) {
        const arg = argv[i];
        if (arg === "--build" || arg in numbers) {
            if (i + 1 >= argv.length) throw new Error(`${arg} needs a value`);
            const value = argv[++i];
            if (arg === "--build") {
                options.build = path.resolve(value);
            } else {
                const n = Number(value);
                if (!Number.isInteger(n) || n < 1) throw new Error(`${arg} ${value}: not a count`);
                options[numbers[arg]] = n;
            }
        } else if (arg === "--no-grid") {
            options.grid = false;
        } else if (arg === "--no-apply") {
            options.apply = false;
        } else if (arg === "--keep") {
            options.keep = true;
        } else if (arg === "--help" || arg === "-h") {
            console.log(usage());
            process.exit(0);
        } else {
            throw new Error(`unexpected argument ${arg} (--help lists the options)`);
        }
    }
    return options;
}

// ---- running commands

class CommandFailed extends Error {}
class Interrupted extends Error {}

// spawnSync, except that a child stopped by Ctrl-C (or a TERM) ends the run.
function spawn(argv, options) {
    const result = spawnSync(argv[0], argv.slice(1), options);
    if (result.signal === "SIGINT" || result.signal === "SIGTERM") {
        throw new Interrupted("interrupted");
    }
    return result;
}

function describe(argv) {
    return argv.map((a) => (/^[\w./:=+-]+$/.test(a) ? a : JSON.stringify(a))).join(" ");
}

// A binary of the build may be missing for a moment while it is being rebuilt.
function waitForBinary(file) {
    for (let waited = 0; !existsSync(file); waited += 2) {
        if (waited >= 120) throw new Error(`${file} is missing`);
        if (waited === 0) console.log(`   (waiting for ${file} to come back)`);
        spawn(["sleep", "2"]);
    }
}

// Runs a command untimed; its standard output, or an error with its standard error.
function run(argv, { env } = {}) {
    const result = spawn(argv, {
        encoding: "utf8", maxBuffer: 256 * MiB, env: env ?? process.env,
        stdio: ["ignore", "pipe", "pipe"],
    });
    if (result.error) throw new CommandFailed(`${describe(argv)}: ${result.error.message}`);
    if (result.status !== 0) {
        throw new CommandFailed(`${describe(argv)} exited with status ${result.status}:\n` +
            result.stderr.trimEnd());
    }
    return result.stdout;
}

// "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:01.23"
function wallClockSeconds(report) {
    const match = /Elapsed \(wall clock\) time.*: ([\d:.]+)$/m.exec(report);
    if (!match) throw new Error(`no wall-clock time in /usr/bin/time's report:\n${report}`);
    return match[1].split(":").reduce((total, part) => total * 60 + Number(part), 0);
}

function peakMiB(report) {
    const match = /Maximum resident set size \(kbytes\): (\d+)/.exec(report);
    if (!match) throw new Error(`no peak memory in /usr/bin/time's report:\n${report}`);
    return Number(match[1]) / 1024;
}

// Runs a command under /usr/bin/time -v, its output to /dev/null unless `output` asks for it.
// Returns { seconds, peak (MiB), status, stdout, stderr }.
function timed(work, argv, { env, output = false } = {}) {
    const report = path.join(work, "time.txt");
    rmSync(report, { force: true });
    const result = spawn(["/usr/bin/time", "-v", "-o", report, ...argv], {
        encoding: "utf8", maxBuffer: 256 * MiB, env: env ?? process.env,
        stdio: ["ignore", output ? "pipe" : "ignore", "pipe"],
    });
    if (result.error) throw new CommandFailed(`${describe(argv)}: ${result.error.message}`);
    if (!existsSync(report)) {
        throw new CommandFailed(`/usr/bin/time wrote no report for ${describe(argv)}:\n` +
            result.stderr.trimEnd());
    }
    const text = readFileSync(report, "utf8");
    // /usr/bin/time itself waits out a Ctrl-C; the command it runs does not.
    if (/Command terminated by signal (2|15)$/m.test(text)) throw new Interrupted("interrupted");
    return {
        seconds: wallClockSeconds(text), peak: peakMiB(text), status: result.status,
        stdout: result.stdout ?? "", stderr: result.stderr,
    };
}

function mustSucceed(argv, result) {
    if (result.status !== 0) {
        throw new CommandFailed(`${describe(argv)} exited with status ${result.status}:\n` +
            result.stderr.trimEnd());
    }
    return result;
}

// `parts` after `head`, separated by " | ", in lines of at most 100 columns.
function wrapped(head, parts) {
    const lines = [];
    let line = head;
    for (const part of parts) {
        if (line === head) {
            line += part;
        } else if (line.length + 3 + part.length > 100) {
            lines.push(`${line} |`);
            line = " ".repeat(head.length) + part;
        } else {
            line += ` | ${part}`;
        }
    }
    return [...lines, line].join("\n");
}

// ---- the data

function price(i) {
    return ((i * 37) % 50000) / 100;
}

function qty(i) {
    return ((i * 13) % 500) + 1;
}

function writeCsv(file, rows) {
    const fd = openSync(file, "w");
    try {
        writeSync(fd, "ID,Price,Qty,Amount,Name\n");
        let chunk = "";
        for (let i = 1; i <= rows; ++i) {
            const p = price(i);
            const q = qty(i);
            // A double's shortest text reads back as the same double.
            const name = `Item ${String(i).padStart(7, "0")}`;
            chunk += `${i},${p.toFixed(2)},${q},${p * q * 0.97},${name}\n`;
            if (i % 50000 === 0) {
                writeSync(fd, chunk);
                chunk = "";
            }
        }
        writeSync(fd, chunk);
    } finally {
        closeSync(fd);
    }
}

// The last line of a one-column SELECT's output (ours prints a header line first).
function lastLine(text) {
    const lines = text.trim().split("\n");
    return lines[lines.length - 1].trim();
}

class Bench {
    constructor(options) {
        this.options = options;
        this.work = path.join(os.tmpdir(), `quillfen-bench-${process.pid}`);
        this.runDir = path.join(this.work, "run");
        this.db = path.join(options.build, "cli", "quillfen-db");
        this.grid = path.join(options.build, "bench", "bench_grid");
        this.apply = path.join(options.build, "bench", "bench_apply");
        // The row the updates are checked on.
        this.probeId = Math.min(12345, options.rows);
        this.samples = new Map();
        this.growth = new Map();
        this.notes = [];
        this.mdbExportReads = new Map(FORMATS.map((f) => [f.ext, true]));
    }

    ours(...args) {
        waitForBinary(this.db);
        return [this.db, ...args];
    }

    file(name) {
        return path.join(this.work, name);
    }

    // A database of ours with the Orders table and the CSV's rows.
    buildOurs(file, format, csv, rows) {
        run(this.ours("create", file, "--format", format.version));
        run(this.ours("sql", file, CREATE_OURS));
        run(this.ours("import", file, "Orders", csv));
        const count = lastLine(run(this.ours("sql", file, "SELECT COUNT(*) AS N FROM [Orders]")));
        if (Number(count) !== rows) {
            throw new Error(`${file} holds ${count} rows after the import, not ${rows}`);
        }
    }

    buildSqlite(file, csv, rows) {
        run(["sqlite3", file, CREATE_SQLITE, `.import --csv --skip 1 ${csv} Orders`]);
        const count = lastLine(run(["sqlite3", file, "SELECT COUNT(*) FROM Orders"]));
        if (Number(count) !== rows) {
            throw new Error(`${file} holds ${count} rows after the import, not ${rows}`);
        }
    }

    prepare() {
        const { rows, smallRows, grid } = this.options;
        mkdirSync(this.work, { recursive: true });
        const started = Date.now();
        this.csv = this.file("orders.csv");
        writeCsv(this.csv, rows);
        for (const format of FORMATS) {
            const base = this.file(`orders.${format.ext}`);
            this.buildOurs(base, format, this.csv, rows);
            const indexed = this.file(`orders-indexed.${format.ext}`);
            copyFileSync(base, indexed);
            run(this.ours("sql", indexed, INDEX_OURS));
        }
        this.buildSqlite(this.file("orders.sqlite"), this.csv, rows);
        copyFileSync(this.file("orders.sqlite"), this.file("orders-indexed.sqlite"));
        run(["sqlite3", this.file("orders-indexed.sqlite"), INDEX_SQLITE]);
        // The same files in WAL mode, which the file itself remembers.
        for (const prefix of ["orders", "orders-indexed"]) {
            const wal = this.file(`${prefix}-wal.sqlite`);
            copyFileSync(this.file(`${prefix}.sqlite`), wal);
            run(["sqlite3", wal, WAL_SQLITE]);
        }
        if (grid && smallRows < rows) {
            const csv = this.file("small.csv");
            writeCsv(csv, smallRows);
            for (const format of FORMATS) {
                this.buildOurs(this.file(`small.${format.ext}`), format, csv, smallRows);
            }
        }
        const seconds = (Date.now() - started) / 1000;
        console.log(`== ${rows.toLocaleString("en")} rows in .mdb, .accdb and sqlite ` +
            `(and indexed copies) made in ${seconds.toFixed(1)} s, in ${this.work}`);
    }

    // A fresh copy of `base` in the run folder, on disk before the clock starts; with no base,
    // the name of a file to make there.
    freshCopy(base) {
        rmSync(this.runDir, { recursive: true, force: true });
        mkdirSync(this.runDir);
        if (base === null) return path.join(this.runDir, "new");
        const copy = path.join(this.runDir, path.basename(base));
        copyFileSync(base, copy);
        spawn(["sync"]);
        return copy;
    }

    record(key, result) {
        if (!this.samples.has(key)) this.samples.set(key, []);
        this.samples.get(key).push(result);
    }

    // Runs `tasks` options.runs times, each time in their order, and prints one line per run.
    // A task is { key, label, base, command(file) => argv, and optionally env, output (keep
    // the standard output for parse(result)), check(file, run) after the command, skip(), and
    // failed(result) for a command that may fail without ending the run }. `base` is copied
    // afresh before each timed command.
    measure(title, tasks) {
        const { runs } = this.options;
        console.log(`== ${title}`);
        for (let r = 0; r < runs; ++r) {
            const parts = [];
            for (const task of tasks) {
                if (task.skip?.()) continue;
                const file = this.freshCopy(task.base);
                const argv = task.command(file);
                let result = timed(this.work, argv, { env: task.env, output: task.output });
                if (task.failed && result.status !== 0) {
                    task.failed(result);
                    continue;
                }
                mustSucceed(argv, result);
                if (task.parse) result = { ...result, ...task.parse(result) };
                task.check?.(file, r);
                this.record(task.key, result);
                parts.push(`${task.label} ${showSeconds(result.seconds)} s ` +
                    `${Math.round(result.peak)} MiB`);
            }
            console.log(wrapped(`   ${r + 1}/${runs}  `, parts));
        }
    }

    exportRuns() {
        const tasks = [];
        for (const format of FORMATS) {
            tasks.push({
                key: `export ours ${format.ext}`, label: `ours ${format.name}`,
                base: this.file(`orders.${format.ext}`),
                command: (file) => this.ours("export", file, "Orders"),
            });
        }
        for (const format of FORMATS) {
            tasks.push({
                key: `export anchor ${format.ext}`, label: `mdb-export ${format.name}`,
                base: this.file(`orders.${format.ext}`),
                command: (file) => ["mdb-export", file, "Orders"],
                skip: () => !this.mdbExportReads.get(format.ext),
                // mdbtools may not read every format; that format then has no anchor.
                failed: (result) => {
                    this.mdbExportReads.set(format.ext, false);
                    const why = result.stderr.trim().split("\n")[0] || `status ${result.status}`;
                    this.notes.push(`mdb-export could not read the ${format.name} (${why}).`);
                    console.log(`   mdb-export cannot read the ${format.name}: ${why}`);
                },
            });
        }
        this.measure("export: quillfen-db export against mdb-export", tasks);
    }

    // After the first run, the probe row must read the same on every side (ours on each format
    // and sqlite3), and as worked out here.
    comparer(what, read, same, expected) {
        const seen = new Map([["expected", String(expected)]]);
        return (side) => (file, r) => {
            if (r !== 0) return;
            seen.set(side, read(side, file));
            if (seen.size < FORMATS.length + 2) return;
            const values = [...seen.values()];
            const shown = [...seen].map(([s, v]) => `${s} ${v}`).join(", ");
            if (!values.every((v) => same(v, values[0]))) {
                throw new Error(`after the ${what}, row ${this.probeId} differs: ${shown}`);
            }
            console.log(`   row ${this.probeId} after the ${what}: ${shown}`);
        };
    }

    readOurs(file, column) {
        return lastLine(run(this.ours("sql", file,
            `SELECT [${column}] FROM [Orders] WHERE [ID] = ${this.probeId}`)));
    }

    readSqlite(file, column) {
        return lastLine(run(["sqlite3", file,
            `SELECT ${column} FROM Orders WHERE ID = ${this.probeId}`]));
    }

    // The update, the indexed update and the new field: ours on both formats, sqlite3 after.
    statementRuns(name, prefix, oursCommand, sqliteCommand, column, same, expected) {
        const compare = this.comparer(name, (side, file) => (side === "sqlite3"
            ? this.readSqlite(file, column) : this.readOurs(file, column)), same, expected);
        const tasks = FORMATS.map((format) => {
            const base = this.file(`${prefix}.${format.ext}`);
            const check = compare(format.name);
            return {
                key: `${name} ours ${format.ext}`, label: `ours ${format.name}`, base,
                command: (file) => this.ours("sql", file, ...oursCommand),
                // What the statements leave the file at, over its size before.
                check: (file, r) => {
                    check(file, r);
                    this.growth.set(`${name} ${format.ext}`, statSync(file).size / statSync(base).size);
                },
            };
        });
        tasks.push({
            key: `${name} anchor`, label: "sqlite3", base: this.file(`${prefix}.sqlite`),
            command: (file) => ["sqlite3", file, DURABLE_SQLITE + sqliteCommand],
            check: compare("sqlite3"),
        });
        tasks.push({
            key: `${name} wal`, label: "sqlite3 WAL", base: this.file(`${prefix}-wal.sqlite`),
            command: (file) => ["sqlite3", file, DURABLE_SQLITE + sqliteCommand],
        });
        this.measure(`${name}: quillfen-db sql against sqlite3`, tasks);
    }

    importRuns() {
        const tasks = FORMATS.map((format) => ({
            key: `import ours ${format.ext}`, label: `ours ${format.name}`,
            base: null,
            command: (file) => {
                const db = `${file}.${format.ext}`;
                run(this.ours("create", db, "--format", format.version));
                run(this.ours("sql", db, CREATE_OURS));
                spawn(["sync"]);
                return this.ours("import", db, "Orders", this.csv);
            },
            check: (file, r) => {
                if (r !== 0) return;
                const db = `${file}.${format.ext}`;
                const count = lastLine(run(this.ours("sql", db, "SELECT COUNT(*) FROM [Orders]")));
                if (Number(count) !== this.options.rows) {
                    throw new Error(`the import into ${db} left ${count} rows`);
                }
            },
        }));
        tasks.push({
            key: "import anchor", label: "sqlite3", base: null,
            command: (file) => {
                const db = `${file}.sqlite`;
                run(["sqlite3", db, CREATE_SQLITE]);
                spawn(["sync"]);
                return ["sqlite3", db, `.import --csv --skip 1 ${this.csv} Orders`];
            },
        });
        this.measure("import: quillfen-db import against sqlite3 .import", tasks);
    }

    gridRuns() {
        const env = { ...process.env, QT_QPA_PLATFORM: "offscreen" };
        const tables = [["orders", this.options.rows]];
        if (this.options.smallRows < this.options.rows) {
            tables.push(["small", this.options.smallRows]);
        }
        const tasks = [];
        for (const [prefix, rows] of tables) {
            for (const format of FORMATS) {
                tasks.push({
                    key: `grid ${prefix} ${format.ext}`, env, output: true,
                    label: `${format.name} ${rows.toLocaleString("en")} rows`,
                    base: this.file(`${prefix}.${format.ext}`),
                    command: (file) => {
                        waitForBinary(this.grid);
                        return [this.grid, "--file", file, "--table", "Orders"];
                    },
                    // The time is the grid's own, from opening the connection to the painted
                    // screen; the peak is the whole process's.
                    parse: (result) => {
                        const match = /first-screen-ms ([\d.]+)/.exec(result.stdout);
                        if (!match) {
                            throw new Error(`bench_grid printed no first-screen-ms:\n` +
                                result.stdout + result.stderr);
                        }
                        return { seconds: Number(match[1]) / 1000 };
                    },
                });
            }
        }
        this.measure("grid: bench_grid --file, time to the first painted screen", tasks);
    }

    // Apply in the constant window (add 10 to Qty: the update's statement) through the
    // data-access component, up to the refreshed grid's first screen, and the statement alone
    // through the engine. bench_apply copies the file afresh for each and times inside itself,
    // from the click to the painted grid and from opening the file to closing it.
    applyRuns() {
        const env = { ...process.env, QT_QPA_PLATFORM: "offscreen" };
        const tasks = [];
        for (const format of FORMATS) {
            for (const [side, only, label] of [["ours", "apply", "Apply"],
                ["statement", "statement", "statement"]]) {
                tasks.push({
                    key: `apply ${side} ${format.ext}`, env, output: true,
                    label: `${label} ${format.name}`, base: null,
                    command: () => {
                        waitForBinary(this.apply);
                        return [this.apply, "--file", this.file(`orders.${format.ext}`),
                            "--table", "Orders", "--field", "Qty", "--constant", "10",
                            "--only", only];
                    },
                    parse: (result) => {
                        const match = new RegExp(`${only}-ms ([\\d.]+)`).exec(result.stdout);
                        if (!match) {
                            throw new Error(`bench_apply printed no ${only}-ms:\n` +
                                result.stdout + result.stderr);
                        }
                        return { seconds: Number(match[1]) / 1000 };
                    },
                });
            }
        }
        this.measure("apply: bench_apply, Apply through db/ against the bare statement", tasks);
    }

    runAll() {
        const id = this.probeId;
        const equal = (a, b) => Number(a) === Number(b);
        this.exportRuns();
        this.statementRuns("update", "orders", [UPDATE_OURS], UPDATE_SQLITE, "Qty", equal,
            qty(id) + 10);
        this.statementRuns("indexed update", "orders-indexed", [UPDATE_OURS], UPDATE_SQLITE,
            "Qty", equal, qty(id) + 10);
        // Ours stores the product in a whole-number field, rounded; sqlite3 keeps the fraction.
        this.statementRuns("new field", "orders", [ADD_OURS, FILL_OURS], NEW_FIELD_SQLITE,
            "Total", (a, b) => Math.abs(Number(a) - Number(b)) <= 0.5,
            Math.round(price(id) * qty(id) * 100) / 100);
        this.importRuns();
        if (this.options.grid) this.gridRuns();
        if (this.options.apply) this.applyRuns();
    }

    cleanUp() {
        if (this.options.keep) {
            console.log(`== the work folder stays: ${this.work}`);
        } else {
            rmSync(this.work, { recursive: true, force: true });
        }
    }
}

// ---- the results

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    const middle = Math.floor(sorted.length / 2);
    return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

function showSeconds(s) {
    if (s === undefined) return "—";
    if (s === 0) return "0.00";
    return s >= 0.1 ? s.toFixed(2) : String(Number(s.toPrecision(3)));
}

function showMiB(m) {
    return m === undefined ? "—" : m.toFixed(1);
}

// The medians of one key: { seconds, peak }, or undefined when it never ran.
function medians(samples, key) {
    const runs = samples.get(key);
    if (!runs?.length) return undefined;
    return { seconds: median(runs.map((r) => r.seconds)), peak: median(runs.map((r) => r.peak)) };
}

// "yes", or "no" with what missed; "n/a" when a figure needed is not there.
function verdict(checks) {
    if (checks.some((c) => c.ok === undefined)) return "n/a";
    const missed = checks.filter((c) => !c.ok).map((c) => c.what);
    return missed.length ? `no (${missed.join(", ")})` : "yes";
}

function resultRows(bench) {
    const { samples, options } = bench;
    const rows = [];
    const memory = (ours) => ({ what: "memory", ok: ours.peak <= OUR_PEAK_MIB });
    const against = (measurement, limit, oursKey, anchorKey, format) => {
        const ours = medians(samples, oursKey);
        const anchor = medians(samples, anchorKey);
        const ratio = anchor && anchor.seconds > 0 ? ours.seconds / anchor.seconds : undefined;
        rows.push({
            measurement, format, ours, anchor, ratio,
            target: `ratio ≤ ${limit.toFixed(2)}, ≤ ${OUR_PEAK_MIB} MiB`,
            met: verdict([{ what: "time", ok: ratio === undefined ? undefined : ratio <= limit },
                memory(ours)]),
        });
    };
    for (const f of FORMATS) {
        against("export", 0.25, `export ours ${f.ext}`, `export anchor ${f.ext}`, f.name);
    }
    for (const [name, limit] of [["update", 0.5], ["indexed update", 0.5], ["new field", 1.0]]) {
        for (const f of FORMATS) {
            against(name, limit, `${name} ours ${f.ext}`, `${name} anchor`, f.name);
        }
        // Beside the goal: sqlite3 in WAL mode, which syncs its log but not yet the file.
        const ours = medians(samples, `${name} ours ${FORMATS[0].ext}`);
        const wal = medians(samples, `${name} wal`);
        rows.push({
            measurement: `${name}, sqlite3 in WAL mode`, format: FORMATS[0].name, ours,
            anchor: wal, ratio: wal?.seconds > 0 ? ours.seconds / wal.seconds : undefined,
            target: "for comparison", met: "—",
        });
    }
    for (const f of FORMATS) {
        const growth = bench.growth.get(`new field ${f.ext}`);
        rows.push({
            measurement: "new field file size", format: f.name, ratio: growth,
            target: `size ≤ ${NEW_FIELD_GROWTH.toFixed(2)} × before`,
            met: verdict([{ what: "size", ok: growth === undefined ? undefined : growth <= NEW_FIELD_GROWTH }]),
        });
    }
    for (const f of FORMATS) {
        const ours = medians(samples, `import ours ${f.ext}`);
        const anchor = medians(samples, "import anchor");
        rows.push({
            measurement: "import", format: f.name, ours, anchor,
            ratio: anchor?.seconds > 0 ? ours.seconds / anchor.seconds : undefined,
            target: `ratio ≤ 1.00, ≤ ${OUR_PEAK_MIB} MiB`,
            met: verdict([{ what: "time", ok: anchor?.seconds > 0 ?
                ours.seconds / anchor.seconds <= 1.0 : undefined }, memory(ours)]),
        });
    }
    if (options.grid) {
        const small = options.smallRows < options.rows;
        for (const f of FORMATS) {
            const large = medians(samples, `grid orders ${f.ext}`);
            const base = small ? medians(samples, `grid small ${f.ext}`) : undefined;
            const checks = [{ what: "time", ok: large.seconds <= GRID_SECONDS }];
            let target = `≤ ${GRID_SECONDS} s`;
            if (small) {
                target += `, peak ≤ small's + ${GRID_MEMORY_SLACK * 100} %`;
                checks.push({
                    what: "memory", ok: large.peak <= base.peak * (1 + GRID_MEMORY_SLACK),
                });
            }
            rows.push({
                measurement: "grid first screen",
                format: `${f.name}, ${options.rows.toLocaleString("en")} rows`,
                ours: large, target, met: verdict(checks),
            });
            if (small) {
                rows.push({
                    measurement: "grid first screen",
                    format: `${f.name}, ${options.smallRows.toLocaleString("en")} rows`,
                    ours: base, target: `≤ ${GRID_SECONDS} s`,
                    met: verdict([{ what: "time", ok: base.seconds <= GRID_SECONDS }]),
                });
            }
        }
    }
    if (options.apply) {
        for (const f of FORMATS) {
            const ours = medians(samples, `apply ours ${f.ext}`);
            const anchor = medians(samples, `apply statement ${f.ext}`);
            rows.push({
                measurement: "Apply through db/ (statement + grid's first screen)", format: f.name,
                ours, anchor, ratio: anchor?.seconds > 0 ? ours.seconds / anchor.seconds : undefined,
                target: "against the bare statement", met: "—",
            });
        }
    }
    return rows;
}

const HEADINGS = [
    "measurement", "format", "ours (s)", "anchor (s)", "ours/anchor", "ours peak MiB",
    "anchor peak MiB", "target", "met",
];

function cells(row) {
    return [
        row.measurement, row.format, showSeconds(row.ours?.seconds),
        showSeconds(row.anchor?.seconds), row.ratio === undefined ? "—" : row.ratio.toFixed(2),
        showMiB(row.ours?.peak), showMiB(row.anchor?.peak), row.target, row.met,
    ];
}

// Numbers to the right, words to the left.
const RIGHT = [false, false, true, true, true, true, true, false, false];

function textTable(rows) {
    const table = [HEADINGS, ...rows.map(cells)];
    const widths = HEADINGS.map((_, c) => Math.max(...table.map((r) => r[c].length)));
    const line = (r) => r.map((cell, c) => (RIGHT[c] ? cell.padStart(widths[c])
        : cell.padEnd(widths[c]))).join("  ").trimEnd();
    return [line(HEADINGS), widths.map((w) => "-".repeat(w)).join("  "),
        ...rows.map((r) => line(cells(r)))].join("\n");
}

function markdownTable(rows) {
    const line = (r) => `| ${r.join(" | ")} |`;
    return [line(HEADINGS), line(RIGHT.map((right) => (right ? "---:" : "---"))),
        ...rows.map((r) => line(cells(r)))].join("\n");
}

function firstMatch(file, pattern) {
    try {
        return pattern.exec(readFileSync(file, "utf8"))?.[1]?.trim();
    } catch {
        return undefined;
    }
}

function quiet(argv) {
    const result = spawnSync(argv[0], argv.slice(1), { encoding: "utf8" });
    return result.status === 0 ? result.stdout.trim() : undefined;
}

// The commit the binaries were built from: the build's source folder, as CMake recorded it.
function sourceCommit(build) {
    const source = firstMatch(path.join(build, "CMakeCache.txt"),
        /^CMAKE_HOME_DIRECTORY:INTERNAL=(.*)$/m) ?? ROOT;
    const commit = quiet(["git", "-C", source, "rev-parse", "--short", "HEAD"]);
    if (!commit) return `unknown (${source})`;
    const changes = quiet(["git", "--no-optional-locks", "-C", source, "status", "--porcelain",
        "--untracked-files=no"]);
    return `${commit}${changes ? " with uncommitted changes" : ""} (${source})`;
}

function machine(options) {
    const kib = Number(firstMatch("/proc/meminfo", /^MemTotal:\s*(\d+)/m));
    return [
        ["CPU", firstMatch("/proc/cpuinfo", /^model name\s*:(.*)$/m) ?? os.cpus()[0]?.model],
        ["cores", String(os.cpus().length)],
        ["memory", kib ? `${(kib / MiB).toFixed(1)} GiB` : "unknown"],
        ["kernel", quiet(["uname", "-r"]) ?? os.release()],
        ["date", new Date().toISOString().replace("T", " ").replace(/:\d\d\.\d+Z$/, " UTC")],
        ["commit", sourceCommit(options.build)],
        ["sqlite3", quiet(["sqlite3", "--version"])?.split(" ")[0] ?? "unknown"],
        ["mdbtools", quiet(["mdb-export", "--version"])?.replace(/^mdbtools\s*v?/, "") ??
            "unknown"],
        ["rows", options.rows.toLocaleString("en") + (options.grid && options.smallRows <
            options.rows ? ` (the grid also on ${options.smallRows.toLocaleString("en")})` : "")],
        ["runs", `${options.runs} of each; medians`],
    ];
}

const LEGEND = [
    "Ours is `quillfen-db` (`bench_grid` for the grid, `bench_apply` for Apply); the anchor is `mdb-export` for the " +
        "export (on a file of the same format) and `sqlite3` for the rest. The ratio is ours " +
        "over the anchor's time. Every command of ours is to stay within " +
        `${OUR_PEAK_MIB} MiB.`,
    `export: \`quillfen-db export FILE Orders\` and \`mdb-export FILE Orders\`, output to ` +
        "/dev/null.",
    `update: \`quillfen-db sql FILE "${UPDATE_OURS}"\` and ` +
        `\`sqlite3 FILE "${DURABLE_SQLITE}${UPDATE_SQLITE}"\`: sqlite3 with a rollback journal ` +
        "and full syncs, the durability ours gives. The rows \"sqlite3 in WAL mode\" run the " +
        `same on a copy in WAL mode (\`${WAL_SQLITE}\`), for comparison.`,
    `indexed update: the same, with \`${INDEX_OURS}\` (\`${INDEX_SQLITE}\`) made beforehand.`,
    `new field: \`quillfen-db sql FILE "${ADD_OURS}" "${FILL_OURS}"\` and ` +
        `\`sqlite3 FILE "${NEW_FIELD_SQLITE}"\`.`,
    "new field file size: the file's size after the new field over its size before, in the " +
        "ours/anchor column.",
    "import: `quillfen-db import FILE Orders orders.csv` into a new, empty table, and " +
        "sqlite3's `.import --csv --skip 1` into one.",
    "grid first screen: `bench_grid --file FILE --table Orders`, from opening the connection " +
        "to the painted grid, as the grid measures it; the peak is the whole process's, and on " +
        "the large table it is to be about the one on the small table (at most " +
        `${GRID_MEMORY_SLACK * 100} % more).`,
    `Apply: \`bench_apply --file FILE --table Orders --field Qty --constant 10\`, the ` +
        "constant window's Apply (its statement is the update's) through db/ with the calls " +
        "the window makes, the preview grid bound, up to the refreshed grid's painted first " +
        "screen; the anchor is the bare statement through the engine, as `quillfen-db sql` " +
        "runs it, from opening the file to closing it. Both times are bench_apply's own, " +
        "without the process's start; the peaks are the whole process's (the statement's " +
        "counts the Qt libraries bench_apply loads; the update rows give quillfen-db's own).",
    "Times are wall-clock times and peaks the maximum resident set size, both from " +
        "`/usr/bin/time -v` (10 ms steps), each command on a fresh copy of the file.",
];

function markdown(bench, rows) {
    const facts = machine(bench.options);
    return [
        "# Benchmark results",
        "",
        "Written by `scripts/bench` (`bench/run.mjs`); the next run replaces this file.",
        "",
        "| machine and run | |",
        "|---|---|",
        ...facts.map(([k, v]) => `| ${k} | ${v} |`),
        "",
        markdownTable(rows),
        "",
        ...LEGEND.map((l) => `- ${l}`),
        ...bench.notes.map((n) => `- ${n}`),
        "",
    ].join("\n");
}

function checkTools(options) {
    const missing = [];
    for (const tool of ["sqlite3", "mdb-export"]) {
        if (spawnSync(tool, ["--version"]).error) missing.push(tool);
    }
    if (!existsSync("/usr/bin/time")) missing.push("/usr/bin/time (Debian package time)");
    const db = path.join(options.build, "cli", "quillfen-db");
    if (!existsSync(db)) missing.push(db);
    const grid = path.join(options.build, "bench", "bench_grid");
    if (options.grid && !existsSync(grid)) missing.push(`${grid} (or --no-grid)`);
    const apply = path.join(options.build, "bench", "bench_apply");
    if (options.apply && !existsSync(apply)) missing.push(`${apply} (or --no-apply)`);
    if (missing.length) throw new Error(`missing: ${missing.join(", ")}`);
}

function main() {
    let options;
    try {
        options = parseArgs(process.argv.slice(2));
        checkTools(options);
    } catch (e) {
        console.error(`run.mjs: ${e.message}`);
        return 2;
    }
    const bench = new Bench(options);
    // Ctrl-C stops the command running, which ends the run below; the handler, called once the
    // run has ended, keeps the exit status of an interruption.
    process.on("SIGINT", () => process.exit(130));
    try {
        bench.prepare();
        bench.runAll();
    } catch (e) {
        bench.cleanUp();
        if (e instanceof Interrupted) return 130;
        console.error(`\nrun.mjs: ${e instanceof CommandFailed ? "" : "failed: "}${e.message}`);
        if (!options.keep) console.error("(--keep keeps the work folder to look into)");
        return 1;
    }
    bench.cleanUp();
    const rows = resultRows(bench);
    console.log("");
    console.log(textTable(rows));
    for (const note of bench.notes) console.log(note);
    const results = path.join(HERE, "RESULTS.md");
    writeFileSync(results, markdown(bench, rows));
    console.log(`\n== written to ${path.relative(process.cwd(), results) || results}`);
    return 0;
}

process.exitCode = main();
