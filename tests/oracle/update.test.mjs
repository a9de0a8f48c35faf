// The write oracle's own rules: a fault here would make it demand wrong values from the engine.
// Run with `node --test tests/oracle/update.test.mjs`.

import assert from "node:assert/strict";
import { test } from "node:test";
import { enforcedRelationships, parseSchema, reach, settle } from "./update.mjs";
import {
    OutOfRange, arithmetic, decimalFromDouble, decimalFromText, decimalText, fromDump, longLiteral, store, updatedValue,
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

test("a Double becomes a Decimal with 15 significant digits, rounded once from its exact value", () => {
    const d = col("Decimal", { precision: 28, scale: 20 });
    assert.equal(store(fromDump("Double", 0.1 + 0.2), d), "0.3");
    assert.equal(store(fromDump("Double", 1.234567890123455), d), "1.23456789012345");
    assert.equal(store(fromDump("Double", -2 / 3), d), "-0.666666666666667");
    assert.equal(store(fromDump("Double", 123456789012345.5), col("Decimal", { precision: 28, scale: 0 })),
        "123456789012346");
    assert.equal(decimalText(decimalFromDouble(1e20 / 3)), "33333333333333300000");
    assert.equal(decimalText(decimalFromDouble(5e-324)), "0");
    assert.equal(updatedValue(d, "1", "+", fromDump("Double", 2 / 3)), "1.666666666666667");
    // Currency still takes the Double's shortest digits.
    assert.equal(store(fromDump("Double", 123456789012.34567), col("Currency")), "123456789012.3457");
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

test("schema lines give types, markers, indexed columns and each index's columns and markers", () => {
    const [t] = parseSchema([
        "TABLE Orders (3 rows)",
        "  ID\tLong\tAUTONUMBER",
        "  Price\tDecimal(18,6)",
        "  Name\tText(100)\tNOT NULL",
        "  Total\tCurrency\tCALCULATED",
        "  INDEX Name, Price (Name, Price) UNIQUE",
        "  INDEX .rC (ID) FOREIGN KEY UNIQUE REQUIRED",
        "  INDEX Recent (Total DESC) IGNORE NULLS",
        "  INDEX PrimaryKey (ID) PRIMARY KEY UNIQUE REQUIRED",
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
    const markers = (ix) => ["primaryKey", "foreignKey", "unique", "ignoreNulls", "required"].filter((k) => ix[k]);
    assert.deepEqual(t.indexes.map((ix) => [ix.name, ix.columns, markers(ix)]), [
        ["Name, Price", ["Name", "Price"], ["unique"]],
        [".rC", ["ID"], ["foreignKey", "unique", "required"]],
        ["Recent", ["Total"], ["ignoreNulls"]],
        ["PrimaryKey", ["ID"], ["primaryKey", "unique", "required"]],
    ]);
});

// A database for settle(): tables given as schema text and rows.
function database(schemaText, rows, relationships = []) {
    const tables = new Map(parseSchema(schemaText.join("\n")).map((s) => [s.name, {
        schema: s, columns: s.columns.map((c) => c.name), rows: rows[s.name],
    }]));
    return { tables, relationships: enforcedRelationships(relationships) };
}

const ITEMS = [
    "TABLE Items (3 rows)",
    "  Id\tLong",
    "  Code\tInteger",
    "  A\tLong",
    "  B\tLong",
    "  Label\tText(50)",
    "  Qty\tLong",
    "  INDEX PrimaryKey (Id) PRIMARY KEY UNIQUE REQUIRED",
    "  INDEX Code (Code) UNIQUE",
    "  INDEX Pair (A, B) UNIQUE",
    "  INDEX LabelQty (Label, Qty)",
];
const items = () => database(ITEMS, {
    Items: [[1, 7, null, 1, "x", 1], [2, 8, null, 2, "y", 2], [3, 9, 2, 1, "z", 3]],
});
// The Items rows with column `name` set to `values`.
const withColumn = (db, name, values) => {
    const t = db.tables.get("Items");
    const c = t.columns.indexOf(name);
    return t.rows.map((row, r) => row.map((v, k) => (k === c ? values[r] : v)));
};
const outcome = (db, name, values) => settle(db, "Items", withColumn(db, name, values), [name]);

test("unique indexes are judged on the whole result; keys that are all Null may repeat", () => {
    const db = items();
    // [Id] + 1 passes through 2 and 3 while those rows still hold them.
    assert.deepEqual(outcome(db, "Id", [2, 3, 4]).failures, []);
    assert.deepEqual(outcome(db, "Id", [2, 3, 3]).failures, ["would create duplicate values in the index 'PrimaryKey'"]);
    assert.deepEqual(outcome(db, "Code", [null, null, 9]).failures, []);
    assert.deepEqual(outcome(db, "Code", [5, 5, 9]).failures, ["would create duplicate values in the index 'Code'"]);
    // Two columns (A is Null in the first two rows): a key is a duplicate only when every column
    // is equal, and one Null does not exempt it; all-Null keys may repeat.
    assert.deepEqual(outcome(db, "B", [2, 1, 1]).failures, []);
    assert.deepEqual(outcome(db, "B", [2, 2, 1]).failures, ["would create duplicate values in the index 'Pair'"]);
    assert.deepEqual(outcome(db, "B", [null, null, 1]).failures, []);
});

test("a primary key or a required index holds no Null, unique or not", () => {
    const db = items();
    assert.deepEqual(outcome(db, "Id", [null, 2, 3]).failures, ["cannot contain a Null value"]);
    const required = database(["TABLE T (2 rows)", "  K\tLong", "  INDEX K (K) REQUIRED"], { T: [[1], [1]] });
    assert.deepEqual(settle(required, "T", [[2], [2]], ["K"]).failures, []);
    assert.deepEqual(settle(required, "T", [[2], [null]], ["K"]).failures, ["cannot contain a Null value"]);
});

const SHOP = [
    "TABLE Customers (3 rows)",
    "  Id\tLong",
    "  INDEX PrimaryKey (Id) PRIMARY KEY UNIQUE REQUIRED",
    "TABLE Orders (3 rows)",
    "  No\tLong",
    "  CustomerId\tLong",
    "  INDEX CustomersOrders (CustomerId) FOREIGN KEY",
];
const shop = (flags) => database(SHOP, { Customers: [[1], [2], [3]], Orders: [[10, 1], [11, 2], [12, 2]] }, [{
    name: "CustomersOrders", table: "Orders", column: "CustomerId", referencedTable: "Customers",
    referencedColumn: "Id", flags, position: 0,
}]);

test("relationships: a changed referencing key must be held afterwards, Null needs nothing", () => {
    const db = shop(0);
    const orders = (keys) => settle(db, "Orders", [[10, keys[0]], [11, keys[1]], [12, keys[2]]], ["CustomerId"]);
    assert.deepEqual(orders([3, 3, null]).failures, []);
    assert.deepEqual(orders([1, 4, 2]).failures, ["a related record is required in table 'Customers'"]);
    // Not enforced: nothing is judged.
    assert.deepEqual(settle(shop(0x2), "Orders", [[10, 4], [11, 4], [12, 4]], ["CustomerId"]).failures, []);
});

test("relationships: a referenced key that changes under referencing rows cascades or fails", () => {
    const customers = (db, ids) => settle(db, "Customers", ids.map((id) => [id]), ["Id"]);
    // Customer 3 has no orders: changing it alone needs no cascade.
    assert.deepEqual(customers(shop(0x1000), [1, 2, 30]).failures, []);
    assert.deepEqual(customers(shop(0x1000), [1, 20, 3]).failures, ["includes related records"]);
    // Cascading updates: each order follows its own customer's old key (2 -> 4, not 2 -> 4 -> 8).
    const cascaded = customers(shop(0x100), [2, 4, 6]);
    assert.deepEqual(cascaded.failures, []);
    assert.deepEqual(cascaded.tables.get("Orders"), [[10, 2], [11, 4], [12, 4]]);
    assert.deepEqual(customers(shop(0x100), [1, 2, 4]).tables.has("Orders"), false);
});

test("relationship rows of several columns make one relationship, columns in order", () => {
    const row = (column, referencedColumn, position, flags = 0) => ({ name: "R", table: "Lines",
        column, referencedTable: "Heads", referencedColumn, flags, position });
    const notEnforced = { ...row("C", "Z", 0, 0x2), name: "S" };
    assert.deepEqual(enforcedRelationships([row("B", "Y", 1), row("A", "X", 0), notEnforced]), [
        { name: "R", table: "Lines", columns: ["A", "B"], referencedTable: "Heads",
            referencedColumns: ["X", "Y"], cascadeUpdates: false },
    ]);
});

test("what a statement reaches: an index pairing its column with another type, relationships either side", () => {
    assert.equal(reach(items(), "Items", ["Qty"]).mixedIndex, true);
    assert.equal(reach(items(), "Items", ["Code"]).mixedIndex, false);
    assert.deepEqual(reach(shop(0), "Customers", ["Id"]).relationships, ["CustomersOrders"]);
    assert.deepEqual(reach(shop(0), "Orders", ["CustomerId"]).relationships, ["CustomersOrders"]);
    assert.deepEqual(reach(shop(0), "Orders", ["No"]).relationships, []);
    assert.deepEqual(reach(shop(0x2), "Orders", ["CustomerId"]).relationships, []);
});
