#!/usr/bin/env node
// mdb-reader's reading of an Access database, printed in the canonical dump form that
// `quillfen-db dump` prints: per user table a header line, then one JSON array per row.
//
//   node dump.mjs FILE [--password P] [--table T]
//
// mdb-reader is an independent reader; this script only translates its values into the dump
// notation. Where mdb-reader cannot give a value in that notation, the cell is printed as
// {"unread": reason}, and a table it fails to read is followed by {"error": message}; the
// comparison driver (compare.mjs) decides what to check instead.

import { readFileSync } from "node:fs";
import { pathToFileURL } from "node:url";
import MDBReader from "mdb-reader";

// mdb-reader builds extended date/time text with a local-time getter; UTC makes it exact.
process.env.TZ = "UTC";

const TYPE_NAMES = {
    boolean: "YesNo",
    byte: "Byte",
    integer: "Integer",
    long: "Long",
    bigint: "BigInt",
    currency: "Currency",
    float: "Single",
    double: "Double",
    datetime: "DateTime",
    datetimextended: "DateTimeExtended",
    binary: "Binary",
    ole: "OLE",
    text: "Text",
    memo: "Memo",
    repid: "GUID",
    numeric: "Decimal",
    complex: "Complex",
};

// mdb-reader turns a complex column into the decoded attachments (and throws for multi-value
// columns); the dump wants the row's complex id, which it does not expose.
const COMPLEX_UNREAD = "mdb-reader decodes complex columns instead of giving the complex id";

const MS_PER_DAY = 86400000;
const MS_1899_12_30 = Date.UTC(1899, 11, 30);

// Tables in the order of the tables rowset: all user tables share one type, so by name,
// ignoring case.
export function compareTableNames(a, b) {
    const la = a.toLowerCase();
    const lb = b.toLowerCase();
    if (la !== lb) return la < lb ? -1 : 1;
    return a < b ? -1 : a > b ? 1 : 0;
}

function pad(n, width) {
    return String(n).padStart(width, "0");
}

// mdb-reader maps the stored day count linearly onto the time line. Access reads the integer
// part as the day and the fraction as the time of day also before 1899-12-30 (-1.25 is
// 1899-12-29 06:00), so negative values with a time part are folded back here. mdb-reader
// has already rounded to the millisecond; rounding to the second follows.
export function formatDateTime(date) {
    let ms = date.getTime() - MS_1899_12_30;
    if (ms < 0) {
        const wholeDays = Math.trunc(ms / MS_PER_DAY);
        const timeOfDay = wholeDays * MS_PER_DAY - ms;
        ms = wholeDays * MS_PER_DAY + timeOfDay;
    }
    const seconds = Math.round(ms / 1000);
    const d = new Date(MS_1899_12_30 + seconds * 1000);
    return (
        `${pad(d.getUTCFullYear(), 4)}-${pad(d.getUTCMonth() + 1, 2)}-${pad(d.getUTCDate(), 2)}` +
        `T${pad(d.getUTCHours(), 2)}:${pad(d.getUTCMinutes(), 2)}:${pad(d.getUTCSeconds(), 2)}`
    );
}

// mdb-reader gives "YYYY.MM.DD HH:MM:SS.nnnnnnnnn" (nanoseconds, always a multiple of 100).
export function formatDateTimeExtended(text) {
    const m = /^(\d{4,})\.(\d{2})\.(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{9})$/.exec(text);
    if (!m) throw new Error(`unexpected extended date/time from mdb-reader: ${text}`);
    return `${m[1]}-${m[2]}-${m[3]}T${m[4]}:${m[5]}:${m[6]}.${m[7].slice(0, 7)}`;
}

// Decimal: mdb-reader pads the fraction to the column's scale; the dump drops trailing zeros.
export function formatDecimal(text) {
    let s = text;
    if (s.includes(".")) s = s.replace(/0+$/, "").replace(/\.$/, "");
    if (s === "-0") s = "0";
    return s;
}

// Currency: mdb-reader already prints four decimals; checked rather than trusted.
export function formatCurrency(text) {
    if (!/^-?\d+\.\d{4}$/.test(text)) throw new Error(`unexpected currency from mdb-reader: ${text}`);
    return text === "-0.0000" ? "0.0000" : text;
}

// The float x exactly, as integer * 2^exponent.
function exactBinary(x) {
    const view = new DataView(new ArrayBuffer(4));
    view.setFloat32(0, Math.abs(x));
    const bits = view.getUint32(0);
    const biased = bits >>> 23;
    const fraction = bits & 0x7fffff;
    return biased === 0
        ? { integer: BigInt(fraction), exponent: -149 }
        : { integer: BigInt(fraction | 0x800000), exponent: biased - 150 };
}

// |digits * 10^power - |x||, scaled by a positive factor that is the same for every candidate
// of one length, so distances compare exactly.
function scaledDistance(x, digits, power) {
    const { integer, exponent } = exactBinary(x);
    let a = digits;
    let b = integer;
    if (power >= 0) a *= 10n ** BigInt(power);
    else b *= 10n ** BigInt(-power);
    if (exponent >= 0) b *= 2n ** BigInt(exponent);
    else a *= 2n ** BigInt(-exponent);
    return a > b ? a - b : b - a;
}

// Single: the shortest decimal that reads back as the same 32-bit float; among several of
// that length the nearest, and on a tie the one with an even last digit (as C++ to_chars).
// mdb-reader gives the float widened to a double.
export function shortestSingle(x) {
    if (!Number.isFinite(x)) return String(x);
    if (x === 0) return 0;
    const sign = x < 0 ? "-" : "";
    for (let length = 1; length <= 9; ++length) {
        const [mantissa, exponent] = Math.abs(x).toExponential(length - 1).split("e");
        const nearest = BigInt(mantissa.replace(".", ""));
        const power = Number(exponent) - (length - 1);
        let best = null;
        for (const digits of [nearest - 1n, nearest, nearest + 1n]) {
            if (digits <= 0n) continue;
            const value = Number(`${sign}${digits}e${power}`);
            if (Math.fround(value) !== x) continue;
            const distance = scaledDistance(x, digits, power);
            if (best === null || distance < best.distance ||
                (distance === best.distance && digits % 2n === 0n)) {
                best = { value, distance };
            }
        }
        if (best !== null) return best.value;
    }
    throw new Error(`no 9-digit decimal reads back as the float ${x}`);
}

function formatDouble(x) {
    return Number.isFinite(x) ? x : String(x);
}

function formatGuid(text) {
    return `{${text.toUpperCase()}}`;
}

function formatValue(type, value) {
    if (value === null || value === undefined) return null;
    switch (type) {
        case "boolean":
            return value;
        case "byte":
        case "integer":
        case "long":
            return value;
        case "bigint":
            return value.toString();
        case "currency":
            return formatCurrency(value);
        case "numeric":
            return formatDecimal(value);
        case "float":
            return shortestSingle(value);
        case "double":
            return formatDouble(value);
        case "datetime":
            return formatDateTime(value);
        case "datetimextended":
            return formatDateTimeExtended(value);
        case "binary":
        case "ole":
            return "0x" + Buffer.from(value).toString("hex");
        case "text":
        case "memo":
            return value;
        case "repid":
            return formatGuid(value);
        default:
            throw new Error(`no dump form for mdb-reader type ${type}`);
    }
}

function readTable(reader, name) {
    const table = reader.getTable(name);
    const columns = table.getColumns();
    const header = {
        table: name,
        columns: columns.map((c) => ({ name: c.name, type: TYPE_NAMES[c.type] ?? `?${c.type}` })),
    };
    const readable = columns.filter((c) => c.type !== "complex").map((c) => c.name);
    let rows;
    try {
        const data = table.getData({ columns: readable });
        rows = data.map((record) =>
            columns.map((c) =>
                c.type === "complex" ? { unread: COMPLEX_UNREAD } : formatValue(c.type, record[c.name]),
            ),
        );
    } catch (error) {
        return { header, rows: [], error: String(error?.message ?? error) };
    }
    return { header, rows };
}

// The reading of one database: [{header, rows, error?}] in dump order.
export function readDatabase(file, { password, table } = {}) {
    const reader = new MDBReader(readFileSync(file), password ? { password } : {});
    let names = reader.getTableNames().slice().sort(compareTableNames);
    if (table !== undefined) {
        const exact = names.filter((n) => n === table);
        names = exact.length ? exact : names.filter((n) => n.toLowerCase() === table.toLowerCase());
        if (!names.length) throw new Error(`no table ${table} in ${file}`);
    }
    return names.map((name) => readTable(reader, name));
}

// mdb-reader's reading of MSysRelationships: one entry per column pair of each relationship,
// [{name, table, column, referencedTable, referencedColumn, flags, position}]; the referencing
// (many) side first. Empty when the file has no such table.
export function readRelationships(file, { password } = {}) {
    const reader = new MDBReader(readFileSync(file), password ? { password } : {});
    if (!reader.getTableNames({ normalTables: false, systemTables: true }).includes("MSysRelationships")) return [];
    return reader.getTable("MSysRelationships").getData().map((r) => ({
        name: r.szRelationship,
        table: r.szObject,
        column: r.szColumn,
        referencedTable: r.szReferencedObject,
        referencedColumn: r.szReferencedColumn,
        flags: r.grbit,
        position: r.icolumn,
    }));
}

export function dumpLines(tables) {
    const lines = [];
    for (const t of tables) {
        lines.push(JSON.stringify(t.header));
        for (const row of t.rows) lines.push(JSON.stringify(row));
        if (t.error !== undefined) lines.push(JSON.stringify({ error: t.error }));
    }
    return lines;
}

function parseArgs(argv) {
    const options = {};
    let file;
    for (let i = 0; i < argv.length; ++i) {
        const arg = argv[i];
        if (arg === "--password" || arg === "--table") {
            if (i + 1 >= argv.length) throw new Error(`${arg} needs a value`);
            options[arg.slice(2)] = argv[++i];
        } else if (file === undefined && !arg.startsWith("--")) {
            file = arg;
        } else {
            throw new Error(`unexpected argument ${arg}`);
        }
    }
    if (file === undefined) throw new Error("usage: node dump.mjs FILE [--password P] [--table T]");
    return { file, options };
}

if (import.meta.url === pathToFileURL(process.argv[1] ?? "").href) {
    try {
        const { file, options } = parseArgs(process.argv.slice(2));
        const tables = readDatabase(file, options);
        process.stdout.write(dumpLines(tables).map((l) => l + "\n").join(""));
        if (tables.some((t) => t.error !== undefined)) process.exitCode = 1;
    } catch (error) {
        process.stderr.write(`dump.mjs: ${error?.message ?? error}\n`);
        process.exitCode = 2;
    }
}
