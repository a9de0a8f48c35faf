// mdbtools (mdb-export, mdb-tables) as the second oracle: runs the tools and tells whether a
// value in the dump notation matches what mdb-export printed for it.

import { spawnSync } from "node:child_process";

const FIELD = "\x1f";
const RECORD = "\x1e";
const DATE_FORMAT = "%Y-%m-%dT%H:%M:%S";

function run(tool, args) {
    const result = spawnSync(tool, args, { encoding: "utf8", maxBuffer: 1 << 30 });
    if (result.error) throw new Error(`${tool}: ${result.error.message}`);
    if (result.status !== 0) throw new Error(`${tool} ${args.join(" ")} failed: ${result.stderr.trim()}`);
    return result.stdout;
}

// User tables as mdb-tables lists them.
export function mdbTables(file) {
    return run("mdb-tables", ["-1", file]).split("\n").filter((l) => l !== "");
}

// Splits mdb-export's output. Quoted fields keep their text; an unquoted empty field is Null,
// which is how a Null is told from an empty text.
export function parseExport(text) {
    const records = [];
    let record = [];
    let field = "";
    let quoted = false;
    let inQuotes = false;
    let fieldStarted = false;
    const endField = () => {
        record.push(quoted ? field : field === "" ? null : field);
        field = "";
        quoted = false;
        fieldStarted = false;
    };
    for (let i = 0; i < text.length; ++i) {
        const ch = text[i];
        if (inQuotes) {
            if (ch === '"') {
                if (text[i + 1] === '"') {
                    field += '"';
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                field += ch;
            }
        } else if (ch === '"' && !fieldStarted) {
            inQuotes = true;
            quoted = true;
            fieldStarted = true;
        } else if (ch === FIELD) {
            endField();
        } else if (ch === RECORD) {
            endField();
            records.push(record);
            record = [];
        } else {
            field += ch;
            fieldStarted = true;
        }
    }
    if (fieldStarted || record.length) {
        endField();
        records.push(record);
    }
    return records;
}

// mdb-export's reading of one table: {columns: [names], rows: [[string|null]]}.
export function mdbExport(file, table) {
    const text = run("mdb-export", [
        "-d", FIELD, "-R", RECORD, "-b", "hex", "-D", DATE_FORMAT, "-T", DATE_FORMAT, file, table,
    ]);
    const [columns, ...rows] = parseExport(text);
    return { columns: columns ?? [], rows };
}

function stripFractionZeros(text) {
    return text.includes(".") ? text.replace(/0+$/, "").replace(/\.$/, "") : text;
}

function closeEnough(a, b, relative) {
    if (a === b) return true;
    return Math.abs(a - b) <= relative * Math.max(Math.abs(a), Math.abs(b));
}

// Types mdbtools 1.0 prints nothing (or nothing usable) for.
export const MDBTOOLS_UNREADABLE = new Set(["BigInt", "DateTimeExtended"]);

// Whether `value` (dump notation, column type `type`) is what mdb-export printed as `field`.
// mdb-export prints floating point with 6 (Single) or 15 (Double) significant digits. `jet3`:
// the file is an Access 97 one, whose text mdbtools converts from code page 1252 and prints
// with "?" for the five bytes that code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D),
// which the engine reads as U+0081 and so on and mdb-reader as U+FFFD.
export function matchesExport(type, value, field, jet3 = false) {
    if (value === null || field === null) return value === null && field === null;
    switch (type) {
        case "YesNo":
            return field === (value ? "1" : "0");
        case "Byte":
        case "Integer":
        case "Long":
        case "Complex":
            return field === String(value);
        case "Currency":
            return field === value;
        case "Decimal":
            return stripFractionZeros(field).replace(/^-0$/, "0") === value;
        case "Single":
            return typeof value === "number" && closeEnough(value, Number(field), 5e-6);
        case "Double":
            return typeof value === "number" && closeEnough(value, Number(field), 5e-15);
        case "DateTime":
            return field === value;
        case "Text":
        case "Memo":
            // This mdbtools prints each half of a character past U+FFFF as "?" (it exports the
            // emoticons of Access's own testEmoticonsV2010.accdb as "a??a"); mdb-reader reads
            // such characters exactly.
            return field === value ||
                (typeof value === "string" && field === value.replace(/[\u{10000}-\u{10FFFF}]/gu, "??")) ||
                (jet3 && typeof value === "string" && field === value.replace(/[\u0081\u008D\u008F\u0090\u009D\uFFFD]/gu, "?"));
        case "Binary":
        case "OLE":
            return "0x" + field.toLowerCase() === value;
        case "GUID":
            return field.toUpperCase() === value;
        default:
            return false;
    }
}
