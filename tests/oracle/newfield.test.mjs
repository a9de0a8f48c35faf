// The new-field oracle's own rules: a fault here would make it send other statements than the
// wizard's, or demand wrong values from the engine.
// Run with `node --test tests/oracle/newfield.test.mjs`.

import assert from "node:assert/strict";
import { test } from "node:test";
import { expectedValues, expressionFor, newFieldName, numericFields, statements } from "./newfield.mjs";

const field = (name, type, extra = {}) => ({ name, type, autoNumber: false, calculated: false, ...extra });

test("the new field takes the first free name of Total, Total2, ..., ignoring case", () => {
    assert.equal(newFieldName(["ID", "Amount"]), "Total");
    assert.equal(newFieldName(["total"]), "Total2");
    assert.equal(newFieldName(["Total", "TOTAL2", "Total4"]), "Total3");
});

test("E reads the first numeric field, plus the next whole-number one that fits a Long", () => {
    const table = { columns: [
        field("Name", "Text"), field("Calc", "Long", { calculated: true }), field("Price", "Currency"),
        field("Big", "BigInt"), field("Rate", "Double"), field("Qty", "Integer"), field("N", "Byte"),
    ] };
    const numeric = numericFields(table);
    assert.deepEqual(numeric.map((c) => c.name), ["Price", "Big", "Rate", "Qty", "N"]);
    assert.equal(expressionFor(numeric).text, "[Price]+ [Qty]");
    assert.equal(expressionFor(numericFields({ columns: [field("Rate", "Double"), field("Big", "BigInt")] })).text,
        "[Rate]");
    assert.equal(expressionFor(numericFields({ columns: [field("Name", "Text")] })), null);
});

test("the statements are the wizard's, spacing included, with the DROP between the rounds", () => {
    assert.deepEqual(statements("Order Details", "Total", "[A]+ [B]").map((s) => s.sql), [
        "ALTER TABLE [Order Details] ADD COLUMN [Total] INT",
        "update [Order Details] set [Total]=[A]+ [B]",
        "ALTER TABLE [Order Details] DROP [Total]",
        "ALTER TABLE [Order Details] ADD COLUMN [Total] INT",
        "update [Order Details] set [Total]=[A]+ [B]",
        "ALTER TABLE [Order Details] DROP [Total]",
    ]);
});

test("expected values: Null propagates, fractions round half to even, a sum past Long fails", () => {
    const reading = (columns, rows) => ({ header: { columns }, rows });
    const a = field("A", "Double");
    const single = reading([a], [[2.5], [3.5], [-2.5], [0.49999999999999994], [null]]);
    assert.deepEqual(expectedValues(single, { a }), { values: [2, 4, -2, 0, null] });

    const money = field("M", "Currency");
    const b = field("B", "Integer");
    const sum = reading([money, b], [["1.5000", 1], ["0.5000", 0], ["-1.5000", 0], ["2.0000", null]]);
    assert.deepEqual(expectedValues(sum, { a: money, b }), { values: [2, 0, -2, null] });

    const long = field("L", "Long");
    const other = field("K", "Long");
    const edge = reading([long, other], [[2147483647, 0], [-2147483648, 0]]);
    assert.deepEqual(expectedValues(edge, { a: long, b: other }), { values: [2147483647, -2147483648] });
    const over = reading([long, other], [[1, 1], [2147483647, 1]]);
    assert.match(expectedValues(over, { a: long, b: other }).failure, /^row 2: /);

    const big = field("Big", "BigInt");
    assert.ok(expectedValues(reading([big], [["2147483648"]]), { a: big }).failure);
    const dec = field("D", "Decimal", { precision: 28, scale: 4 });
    assert.deepEqual(expectedValues(reading([dec], [["-0.5"], ["2147483647.4999"]]), { a: dec }),
        { values: [0, 2147483647] });
});
