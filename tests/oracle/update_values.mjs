// The values an UPDATE should store, worked out independently of the engine from the rules of
// GUIDE.md §6, for the write oracle (update.mjs). Values come and go in the dump notation;
// in between a number is exact: whole numbers and Currency as BigInt, Decimal as a BigInt
// mantissa with a scale, Single and Double as the JS number they hold.
//
// Where the guide leaves room, these follow the choices the engine's arithmetic header writes
// down: Long and BigInt with Single give Double, Single overflows to Double, a Single becomes a
// Decimal or Currency through its shortest decimal digits, a Double becomes a Currency so too
// (0.1 is exactly 0.1) but a Decimal through its 15 significant digits, as Access converts it,
// and a Currency product keeps four places, half to even.

import { shortestSingle } from "./dump.mjs";

export class OutOfRange extends Error {}

export const NUMERIC_TYPES = ["Byte", "Integer", "Long", "BigInt", "Currency", "Single", "Double", "Decimal"];
const WHOLE = ["Byte", "Integer", "Long", "BigInt"];
const WHOLE_RANGE = {
    Byte: [0n, 255n],
    Integer: [-32768n, 32767n],
    Long: [-(2n ** 31n), 2n ** 31n - 1n],
    BigInt: [-(2n ** 63n), 2n ** 63n - 1n],
};
const INT64 = WHOLE_RANGE.BigInt;
const DECIMAL_MAX_SCALE = 28;
const DECIMAL_LIMIT = 2n ** 96n;
const FLOAT_MAX = 3.4028234663852886e38;

const abs = (v) => (v < 0n ? -v : v);
const pow10 = (n) => 10n ** BigInt(n);

// m / 10^k rounded half to even (k >= 0).
export function divideHalfEven(m, k) {
    if (k <= 0) return m * pow10(-k);
    const d = pow10(k);
    let q = m / d;
    const twice = abs(m % d) * 2n;
    if (twice > d || (twice === d && q % 2n !== 0n)) q += m < 0n ? -1n : 1n;
    return q;
}

// A double rounded half to even to a whole number, exactly.
export function wholeHalfEven(x) {
    if (!Number.isFinite(x)) throw new OutOfRange(`${x}`);
    const floor = Math.floor(x);
    const fraction = x - floor;  // exact for a double
    let r = floor;
    if (fraction > 0.5 || (fraction === 0.5 && floor % 2 !== 0)) r = floor + 1;
    return BigInt(r);
}

// "-12.5", "1e-7", "1.5e+21" into {m, s} with value m / 10^s, at most DECIMAL_MAX_SCALE places.
export function decimalFromText(text) {
    const match = /^([-+]?)(\d*)(?:\.(\d*))?(?:[eE]([-+]?\d+))?$/.exec(text);
    if (!match || (match[2] + (match[3] ?? "")) === "") throw new Error(`not a number: ${text}`);
    const [, sign, whole, fraction = "", exponent = "0"] = match;
    let m = BigInt((whole + fraction) || "0");
    let s = fraction.length - Number(exponent);
    if (s < 0) {
        m *= pow10(-s);
        s = 0;
    }
    if (sign === "-") m = -m;
    return normalizeDecimal({ m, s });
}

// Rounds off the fewest trailing digits (once, half to even) that bring the scale to 28 and the
// magnitude under 2^96, as the engine's Decimal does; beyond that the value is too large.
export function normalizeDecimal({ m, s }) {
    for (let k = Math.max(0, s - DECIMAL_MAX_SCALE); k <= s; ++k) {
        const r = divideHalfEven(m, k);
        if (abs(r) < DECIMAL_LIMIT) return { m: r, s: s - k };
    }
    throw new OutOfRange("too large for a Decimal");
}

export function decimalText({ m, s }) {
    const digits = abs(m).toString().padStart(s + 1, "0");
    let text = s ? `${digits.slice(0, -s)}.${digits.slice(-s)}` : digits;
    if (s) text = text.replace(/0+$/, "").replace(/\.$/, "");
    return m < 0n && text !== "0" ? `-${text}` : text;
}

export function currencyText(scaled) {
    const digits = abs(scaled).toString().padStart(5, "0");
    return `${scaled < 0n ? "-" : ""}${digits.slice(0, -4)}.${digits.slice(-4)}`;
}

// A cell of the dump as an exact number (null for Null).
export function fromDump(type, value) {
    if (value === null) return null;
    switch (type) {
        case "Byte": case "Integer": case "Long": case "BigInt":
            return { type, v: BigInt(value) };
        case "Currency": {
            const d = decimalFromText(value);
            return { type, v: d.m * pow10(4 - d.s) };
        }
        case "Decimal":
            return { type, ...decimalFromText(value) };
        case "Single":
            return { type, v: Math.fround(value) };
        case "Double":
            return { type, v: value };
        default:
            throw new Error(`not a numeric type: ${type}`);
    }
}

// A whole-number literal as Access types it: Long (the statements here use no larger ones).
export function longLiteral(n) {
    return { type: "Long", v: BigInt(n) };
}

function toDouble(x) {
    if (WHOLE.includes(x.type)) return Number(x.v);
    if (x.type === "Currency") return Number(x.v) / 10000;
    if (x.type === "Decimal") return Number(decimalText(x));
    return x.v;
}

// A double's exact binary value rounded once, half to even, to 15 significant digits.
export function decimalFromDouble(v) {
    if (!Number.isFinite(v)) throw new OutOfRange(`${v}`);
    const view = new DataView(new ArrayBuffer(8));
    view.setFloat64(0, v);
    const bits = view.getBigUint64(0);
    const biased = Number((bits >> 52n) & 0x7ffn);
    const fraction = bits & ((1n << 52n) - 1n);
    const mantissa = biased ? fraction | (1n << 52n) : fraction;
    const exponent = (biased || 1) - 1075;
    // v is exactly m / 10^s: 2^-k is 5^k / 10^k.
    let m = exponent >= 0 ? mantissa << BigInt(exponent) : mantissa * 5n ** BigInt(-exponent);
    let s = Math.max(0, -exponent);
    const excess = m.toString().length - 15;
    if (excess > 0) {
        m = divideHalfEven(m, excess);
        s -= excess;
    }
    if (s < 0) {
        m *= pow10(-s);
        s = 0;
    }
    return normalizeDecimal({ m: bits >> 63n ? -m : m, s });
}

// `shortest`: a Double through its shortest digits, as Currency takes it.
function toDecimal(x, shortest = false) {
    if (WHOLE.includes(x.type)) return { m: x.v, s: 0 };
    if (x.type === "Currency") return { m: x.v, s: 4 };
    if (x.type === "Decimal") return { m: x.m, s: x.s };
    if (!Number.isFinite(x.v)) throw new OutOfRange(`${x.v}`);
    if (x.type === "Double" && !shortest) return decimalFromDouble(x.v);
    return decimalFromText(String(x.type === "Single" ? shortestSingle(x.v) : x.v));
}

const apply = { "+": (a, b) => a + b, "-": (a, b) => a - b, "*": (a, b) => a * b };

function doubleResult(r) {
    if (!Number.isFinite(r)) throw new OutOfRange("too large for a Double");
    return { type: "Double", v: r + 0 };
}

// a op b for op in + - *, both numbers (not Null). Throws OutOfRange where Access fails.
export function arithmetic(op, a, b) {
    const f = apply[op];
    const has = (t) => a.type === t || b.type === t;
    if (has("Decimal")) {
        const x = toDecimal(a);
        const y = toDecimal(b);
        if (op === "*") return { type: "Decimal", ...normalizeDecimal({ m: x.m * y.m, s: x.s + y.s }) };
        const s = Math.max(x.s, y.s);
        return { type: "Decimal", ...normalizeDecimal({ m: f(x.m * pow10(s - x.s), y.m * pow10(s - y.s)), s }) };
    }
    if (has("Double") || (has("Single") && has("Currency"))) return doubleResult(f(toDouble(a), toDouble(b)));
    if (has("Currency")) {
        const scaled = (x) => (x.type === "Currency" ? x.v : x.v * 10000n);
        let r;
        if (op === "*") {
            r = a.v * b.v;  // at most one of them is scaled, unless both are
            if (a.type === "Currency" && b.type === "Currency") r = divideHalfEven(r, 4);
        } else {
            r = f(scaled(a), scaled(b));
        }
        if (r < INT64[0] || r > INT64[1]) throw new OutOfRange("too large for a Currency");
        return { type: "Currency", v: r };
    }
    if (has("Single")) {
        const r = f(toDouble(a), toDouble(b));
        const wide = (x) => x.type === "Long" || x.type === "BigInt";
        if (wide(a) || wide(b) || Math.abs(r) > FLOAT_MAX) return doubleResult(r);
        return { type: "Single", v: Math.fround(r) };
    }
    // Whole numbers: the wider type, widening further (Long and BigInt to Double) on overflow.
    let type = WHOLE[Math.max(WHOLE.indexOf(a.type), WHOLE.indexOf(b.type))];
    const r = f(a.v, b.v);
    while (r < WHOLE_RANGE[type][0] || r > WHOLE_RANGE[type][1]) {
        if (type === "Long" || type === "BigInt") return doubleResult(Number(r));
        type = WHOLE[WHOLE.indexOf(type) + 1];
    }
    return { type, v: r };
}

// The value a column of `column.type` (with precision and scale for Decimal) stores for x, in
// the dump notation. Throws OutOfRange when it does not fit.
export function store(x, column) {
    if (x === null) return null;
    const { type } = column;
    if (WHOLE.includes(type)) {
        let v;
        if (WHOLE.includes(x.type)) v = x.v;
        else if (x.type === "Currency") v = divideHalfEven(x.v, 4);
        else if (x.type === "Decimal") v = divideHalfEven(x.m, x.s);
        else v = wholeHalfEven(x.v);
        const [lo, hi] = WHOLE_RANGE[type];
        if (v < lo || v > hi) throw new OutOfRange(`${v} does not fit ${type}`);
        return type === "BigInt" ? v.toString() : Number(v);
    }
    if (type === "Currency") {
        const d = toDecimal(x, true);
        const v = divideHalfEven(d.m, d.s - 4);
        if (v < INT64[0] || v > INT64[1]) throw new OutOfRange(`${decimalText(d)} does not fit Currency`);
        return currencyText(v);
    }
    if (type === "Decimal") {
        const d = toDecimal(x);
        const m = divideHalfEven(d.m, d.s - column.scale);
        if (m !== 0n && abs(m).toString().length > column.precision) {
            throw new OutOfRange(`${decimalText(d)} does not fit Decimal(${column.precision},${column.scale})`);
        }
        return decimalText({ m, s: column.scale });
    }
    if (type === "Single") {
        const v = Math.fround(toDouble(x));
        if (!Number.isFinite(v)) throw new OutOfRange(`${toDouble(x)} does not fit Single`);
        return shortestSingle(v);
    }
    if (type === "Double") {
        const v = toDouble(x);
        if (!Number.isFinite(v)) throw new OutOfRange(`${v} does not fit Double`);
        return v + 0;
    }
    throw new Error(`not a numeric type: ${type}`);
}

// The stored value of `[C] op rhs` for one row; rhs is an exact number or null (Null).
export function updatedValue(column, current, op, rhs) {
    const c = fromDump(column.type, current);
    if (c === null || rhs === null) return null;
    return store(arithmetic(op, c, rhs), column);
}
