// The oracle's own translations: a fault here would make every comparison wrong the same way.
// Run with `node --test tests/oracle/oracle.test.mjs`.

import assert from "node:assert/strict";
import { test } from "node:test";
import { sameValue, spellingProblem } from "./compare.mjs";
import {
    compareTableNames, formatDateTime, formatDateTimeExtended, formatDecimal, shortestSingle,
} from "./dump.mjs";
import { matchesExport, parseExport } from "./mdbtools.mjs";

// A stored Date/Time value as mdb-reader hands it over.
const fromDays = (days) => new Date(Math.round((days - 25569) * 86400 * 1000));

test("Single prints the shortest digits that read back as the same float", () => {
    assert.equal(shortestSingle(Math.fround(0.1)), 0.1);
    assert.equal(shortestSingle(Math.fround(-1 / 3)), -0.33333334);
    assert.equal(shortestSingle(Math.fround(3.4028235e38)), 3.4028235e38);
    assert.equal(shortestSingle(Math.fround(1e-45)), 1e-45);   // smallest subnormal
    assert.equal(shortestSingle(2 ** 27), 134217730);           // fewer digits than the exact 134217728
    assert.equal(shortestSingle(Math.fround(2430344.25)), 2430344.2);  // tie: even last digit
    assert.equal(shortestSingle(Math.fround(1.5)), 1.5);
    assert.equal(shortestSingle(0), 0);
});

test("Single comparison accepts the exact whole value but not widened digits", () => {
    assert.ok(sameValue("Single", 134217730, 134217728));
    assert.ok(!sameValue("Single", 0.1, 0.10000000149011612));
    assert.ok(!sameValue("Double", 134217730, 134217728));
    assert.ok(sameValue("Currency", "1.5000", "1.5000"));
    assert.ok(!sameValue("Long", 1, "1"));
});

test("Double and Single must be spelt with the fewest digits", () => {
    assert.equal(spellingProblem("Double", "444.555", shortestSingle), null);
    assert.equal(spellingProblem("Double", "1e-05", shortestSingle), null);
    assert.equal(spellingProblem("Double", "0.00001", shortestSingle), null);
    assert.equal(spellingProblem("Double", "444.55500000000001", shortestSingle), "444.555");
    assert.equal(spellingProblem("Single", "0.1", shortestSingle), null);
    assert.equal(spellingProblem("Single", "134217728", shortestSingle), null);
    assert.equal(spellingProblem("Single", "0.10000000149011612", shortestSingle), "0.1");
    assert.equal(spellingProblem("Single", "2583.20922851562", shortestSingle), "2583.2092");
    assert.equal(spellingProblem("Long", "12", shortestSingle), null);
});

test("Date/Time rounds to the second and reads the fraction as time of day before 1899-12-30", () => {
    assert.equal(formatDateTime(fromDays(0)), "1899-12-30T00:00:00");
    assert.equal(formatDateTime(fromDays(-1.25)), "1899-12-29T06:00:00");
    assert.equal(formatDateTime(fromDays(-0.5)), "1899-12-30T12:00:00");
    assert.equal(formatDateTime(fromDays(-657434)), "0100-01-01T00:00:00");
    assert.equal(formatDateTime(fromDays(44361 + 0.5 / 86400)), "2021-06-14T00:00:01");
    assert.equal(formatDateTime(fromDays(44361 + 0.4 / 86400)), "2021-06-14T00:00:00");
    assert.equal(formatDateTime(fromDays(44361 + 86399.6 / 86400)), "2021-06-15T00:00:00");
});

test("Date/Time Extended keeps seven fraction digits", () => {
    assert.equal(formatDateTimeExtended("0100.06.14 12:45:00.123456700"), "0100-06-14T12:45:00.1234567");
    assert.throws(() => formatDateTimeExtended("6/14/2021"));
});

test("Decimal drops trailing fraction zeros and the sign of zero", () => {
    assert.equal(formatDecimal("4.5000"), "4.5");
    assert.equal(formatDecimal("100"), "100");
    assert.equal(formatDecimal("100.00"), "100");
    assert.equal(formatDecimal("-0.00"), "0");
    assert.equal(formatDecimal("-0.0120"), "-0.012");
});

test("tables sort by name ignoring case", () => {
    const names = ["b", "_x", "A", "a1", "Z"].sort(compareTableNames);
    assert.deepEqual(names, ["_x", "A", "a1", "b", "Z"]);
});

test("mdb-export output: Null is an unquoted empty field, quotes double", () => {
    const text = 'a\x1fb\x1fc\x1e1\x1f""\x1f\x1e2\x1f"say ""hi""\x1f\nx"\x1f3.5\x1e';
    assert.deepEqual(parseExport(text), [["a", "b", "c"], ["1", "", null], ["2", 'say "hi"\x1f\nx', "3.5"]]);
});

test("mdb-export values match the dump notation", () => {
    assert.ok(matchesExport("YesNo", true, "1"));
    assert.ok(matchesExport("Decimal", "4.5", "4.500000"));
    assert.ok(matchesExport("Decimal", "0", "-0.00"));
    assert.ok(matchesExport("Double", 444.555, "444.555"));
    assert.ok(!matchesExport("Double", 444.555, "444.556"));
    assert.ok(matchesExport("Double", 1 / 3, "0.333333333333333"));
    assert.ok(matchesExport("Binary", "0xab01", "AB01"));
    assert.ok(!matchesExport("Text", "", null));
    assert.ok(!matchesExport("Text", null, ""));
    // Access 97 text: mdbtools prints "?" for the bytes code page 1252 leaves undefined only.
    assert.ok(matchesExport("Text", "a\u0081\u00E9\u20AC-k.1", "a?\u00E9\u20AC-k.1", true));
    assert.ok(!matchesExport("Text", "a\u0081", "a?", false));
    assert.ok(!matchesExport("Text", "a\u00E9", "a?", true));
    assert.ok(!matchesExport("Text", "a\u00E9", "a!", true));
});
