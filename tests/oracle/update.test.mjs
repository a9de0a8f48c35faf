// The write oracle's own rules: a fault here would make it demand wrong values from the engine.
// Run with `node --test tests/oracle/update.test.mjs`.

import assert from "node:assert/strict";
import { test } from "node:test";
import { parseSchema } from "./update.mjs";
import {
    OutOfRange, arithmetic, decimalFromText, decimalText, fromDump, longLiteral, store, updatedValue,
} from "./update_values.mjs";

const col = (type, extra = {}) => ({ type, ...extra });
const fails = (fn) => assert.throws(fn, OutOfRange);

test("whole-number columns round half to even and refuse what does not fit", () => {
    assert.equal(updatedValue(col("Long"), 333333333, "*", fromDump("Currency", "3.5000")), 1166666666);
    assert.equal(updatedValue(col("Long"), 5, "*", fromDump("Currency", "0.5000")), 2);
    assert.equal(updatedValue(col("Integer"), 7, "*", fromDump("Double", 0.5)), 4);
    assert.equal(updatedValue(col("Integer"), -5, "*", fromDump("Double", 0.5)), -2);
    assert.equal(updatedValue(col("Byte"), 250, "-", longLiteral(-2)), 252);
    fails(() => updatedValue(col("Byte"), 250, "+", longLiteral(10)));
    fails(() => updatedValue(col("Byte"), 0, "+", longLiteral(-1)));
    fails(() => updatedValue(col("Integer"), 32767, "+", longLiteral(10)));
    fails(() => updatedValue(col("Long"), 2147483647, "*", longLiteral(2)));
    assert.equal(updatedValue(col("BigInt"), "9223372036854775797", "+", longLiteral(10)), "9223372036854775807");
    fails(() => updatedValue(col("BigInt"), "9223372036854775798", "+", longLiteral(10)));
    assert.equal(updatedValue(col("Long"), null, "+", longLiteral(10)), null);
    assert.equal(updatedValue(col("Long"), 3, "*", null), null);
});

test("result types widen: Byte * Byte beyond 255 is an Integer, Long * Long beyond 2^31 a Double", () => {
    assert.deepEqual(arithmetic("*", fromDump("Byte", 200), fromDump("Byte", 2)), { type: "Integer", v: 400n });
    assert.deepEqual(arithmetic("*", fromDump("Long", 2 ** 30), longLiteral(4)), { type: "Double", v: 2 ** 32 });
    assert.equal(arithmetic("*", fromDump("Single", 1.5), fromDump("Integer", 3)).type, "Single");
    assert.equal(arithmetic("*", fromDump("Single", 1.5), longLiteral(3)).type, "Double");
    assert.equal(arithmetic("*", fromDump("Currency", "1.0000"), fromDump("Single", 2)).type, "Double");
    assert.equal(arithmetic("+", fromDump("Currency", "1.0000"), fromDump("BigInt", "2")).type, "Currency");
    assert.equal(arithmetic("*", fromDump("Decimal", "1.5"), fromDump("Double", 2)).type, "Decimal");
});

test("Currency keeps four places, half to even, and the digits a Double shows", () => {
    assert.equal(updatedValue(col("Currency"), "3.5000", "*", fromDump("Double", 444.555)), "1555.9425");
    assert.equal(updatedValue(col("Currency"), "0.0001", "*", fromDump("Currency", "0.5000")), "0.0000");
    assert.equal(updatedValue(col("Currency"), "0.0003", "*", fromDump("Currency", "0.5000")), "0.0002");
    assert.equal(updatedValue(col("Currency"), "-12.3400", "+", longLiteral(10)), "-2.3400");
    // 1.00005 is a tie in the digits shown, though the nearest double lies just below it.
    assert.equal(store(fromDump("Double", 1.00005), col("Currency")), "1.0000");
    fails(() => updatedValue(col("Currency"), "922337203685477.5807", "+", longLiteral(10)));
});

test("Decimal rounds to the column's scale, half to even, within its precision", () => {
    const d = col("Decimal", { precision: 18, scale: 2 });
    assert.equal(updatedValue(d, "1.125", "*", longLiteral(1)), "1.12");
    assert.equal(updatedValue(d, "1.135", "*", longLiteral(1)), "1.14");
    assert.equal(updatedValue(d, "0.1", "*", fromDump("Double", 0.1)), "0.01");
    assert.equal(updatedValue(d, "-36.2222", "*", longLiteral(2)), "-72.44");
    assert.equal(updatedValue(d, "9999999999999999.99", "+", longLiteral(0)), "9999999999999999.99");
    fails(() => updatedValue(d, "9999999999999999.99", "+", longLiteral(1)));
    const whole = col("Decimal", { precision: 18, scale: 0 });
    assert.equal(updatedValue(whole, "-1", "*", fromDump("Decimal", "2.5")), "-2");
    assert.equal(store(longLiteral(5), whole), "5");
});

test("Single stores the float nearest the result", () => {
    assert.equal(updatedValue(col("Single"), 0.1, "+", longLiteral(10)), 10.1);
    assert.equal(updatedValue(col("Single"), 16777216, "+", longLiteral(1)), 16777216);
    fails(() => updatedValue(col("Single"), 3.4028235e38, "*", longLiteral(2)));
    assert.equal(updatedValue(col("Double"), 444.555, "*", longLiteral(2)), 889.11);
});

test("Decimal text: exponents read, trailing zeros and the sign of zero dropped", () => {
    assert.equal(decimalText(decimalFromText("1e-7")), "0.0000001");
    assert.equal(decimalText(decimalFromText("1.5e+3")), "1500");
    assert.equal(decimalText(decimalFromText("-0.000")), "0");
    assert.equal(decimalText(decimalFromText("0.00000000000000000000000000001")), "0");  // 29 places
});

test("schema lines give types, markers and indexed columns", () => {
    const [t] = parseSchema([
        "TABLE Orders (3 rows)",
        "  ID\tLong\tAUTONUMBER",
        "  Price\tDecimal(18,6)",
        "  Name\tText(100)\tNOT NULL",
        "  Total\tCurrency\tCALCULATED",
        "  INDEX Name, Price (Name, Price) UNIQUE",
        "  INDEX .rC (ID) FOREIGN KEY UNIQUE REQUIRED",
        "  INDEX Recent (Total DESC)",
        "",
    ].join("\n"));
    assert.equal(t.name, "Orders");
    assert.deepEqual(t.columns.map((c) => [c.name, c.type, c.autoNumber, c.calculated]), [
        ["ID", "Long", true, false], ["Price", "Decimal", false, false],
        ["Name", "Text", false, false], ["Total", "Currency", false, true],
    ]);
    assert.equal(t.columns[1].scale, 6);
    assert.equal(t.columns[2].size, 100);
    assert.deepEqual([...t.indexed].sort(), ["ID", "Name", "Price", "Total"]);
});
