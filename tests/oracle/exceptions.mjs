// Where the pinned mdb-reader (or mdbtools) does not read what the dump defines, each case with
// its reason and the check made instead. Keep each reason precise: an entry needs a cause in
// the oracle, never in quillfen-db. "*" matches anything.

// Columns, matched by fixture (path under the fixtures folder), table, and column name or type.
//   check: "mdb-export"       the column is compared with mdbtools' mdb-export instead;
//          { values: [...] }  the column holds these values (dump notation), one per row in
//                             the dump's row order, each checked by hand against the stored bytes.
//   resultType: the column's type in the dump where mdb-reader reports another one.
export const COLUMN_EXCEPTIONS = [
    {
        fixture: "*",
        table: "*",
        type: "Complex",
        reason: "mdb-reader decodes the attachments of a complex column (and throws for " +
            "multi-value ones) instead of giving the row's complex id",
        check: "mdb-export",
    },
    ...calculated("ace/extDateTestV2019.accdb", "Table1", {
        // [DateNormal]; row 5 stores a result of length 0.
        DateNormalCalc: ["DateTime", ["DateNormal"], [
            "2020-06-17T00:00:00", "2021-06-14T00:00:00", "2021-06-14T12:45:00",
            "2021-06-14T01:45:00", null, "2021-06-14T22:45:12", "1765-06-14T12:45:00",
            "0100-06-14T12:45:00", "1265-06-14T12:45:00",
        ]],
    }),
    // Rows: Bruce Wayne (Salary 1000000), Bart Simpson (-1), John Doe (0), Test User (100);
    // each value agrees with the column's expression over the row.
    ...calculated("ace/calcFieldTestV2010.accdb", "Table1", {
        LastFirst: ["Text", ["LastName", "FirstName"],
            ["Wayne, Bruce", "Simpson, Bart", "Doe, John", "User, Test"]],
        LastFirstLen: ["Long", ["LastName", "FirstName"], [12, 13, 9, 10]],
        // [Salary]/12, stored as Currency in a column defined as Double.
        MonthlySalary: ["Currency", ["Salary"], ["83333.3333", "-0.0833", "0.0000", "8.3333"]],
        // [Salary]>100000: one byte, 0xFF or 0x00, in a column defined as Integer.
        IsRich: ["YesNo", ["Salary"], [true, false, false, false]],
        // A Memo result: the row holds a long-value reference, the header sits in the value.
        AllNames: ["Memo", ["LastName", "FirstName"], ["Wayne, Bruce=Wayne, Bruce",
            "Simpson, Bart=Simpson, Bart", "Doe, John=Doe, John", "User, Test=User, Test"]],
        // [Salary]/52, stored as a 16-byte decimal (scale, sign, 96-bit magnitude).
        WeeklySalary: ["Decimal", ["Salary"],
            ["19230.7692307692", "-0.0192307692307692", "0", "1.92307692307692"]],
        SalaryTest: ["Currency", ["Salary"], ["1000000.0000", "-1.0000", "0.0000", "100.0000"]],
        BoolTest: ["YesNo", [], [true, true, true, true]],
        // [Popularity].
        DecimalTest: ["Decimal", ["Popularity"],
            ["50.325", "-36.2222", "0.0123", "102030405060.654321"]],
        // [Salary]*0.13/[DecimalTest], a 4-byte float in a column defined as Decimal.
        FloatTest: ["Single", ["Salary", "Popularity"], [2583.2092, 0.0035889593, 0, 1.27413e-10]],
        // ([Salary]*[MonthlySalary]/[DecimalTest])*34.12342134.
        BigNumTest: ["Decimal", ["Salary", "Popularity"], ["56505085819.42479129657228018",
            "-0.0784734499180612994241100748", "0", "0.000000278701928982421698083"]],
    }),
];

// Tables whose rows mdb-reader gives in another order. A row an update made too long for its
// page moves to another page; its own slot keeps a pointer (slot flag 0x4000) and the moved row
// is flagged 0x8000 so that scans skip it. mdb-reader takes 0x4000 for "deleted" and ignores
// 0x8000, so it reads a moved row where it now lies, after the rows of the home page, instead
// of at its slot. `order` maps each dump row to mdb-reader's row index (read off the slot tables
// of the pages named); the values are then compared as usual.
export const ROW_ORDER_EXCEPTIONS = [
    {
        fixture: "jet4/overflowTestV2000.mdb",
        table: "Table1",
        // Page 27 slots 2 and 4 point to the rows on pages 28 and 31.
        order: [0, 1, 5, 2, 6, 3, 4],
    },
    {
        fixture: "ace/extDateTestV2019.accdb",
        table: "Table1",
        // Page 92 slots 6 and 7 (ID 7 and 8) point to page 113; slot 8 (ID 9) stayed.
        order: [0, 1, 2, 3, 4, 5, 7, 8, 6],
    },
];

// Tables both oracles list as user tables that the tables rowset does not: the rowset also
// counts a table whose name starts with "MSys" as an Access system table ("ACCESS TABLE"),
// while mdb-reader and mdb-tables look only at the system flags of the catalog entry.
export const NOT_USER_TABLES = [
    { fixture: "ace/numeric2007.accdb", table: "MSysCompactError" },
];

// Calculated columns. Access stores a calculated result behind 16 bytes of its own and a 4-byte
// length, in the result type of the column's ResultType property; the table definition carries
// a provisional type. mdb-reader (and mdbtools) decode the header's zeros with the provisional
// type. `columns` maps a column name to [result type, the fields its expression reads (through
// other calculated columns too), values checked by hand against the stored bytes and the
// column's expression]. An update of a field it reads recomputes the column: its stated values
// then hold only in the rows the update left as they were.
function calculated(fixture, table, columns) {
    return Object.entries(columns).map(([column, [resultType, reads, values]]) => ({
        fixture,
        table,
        column,
        resultType,
        reason: "calculated column: mdb-reader reads the result's header with the provisional type",
        check: { values, reads },
    }));
}

function matches(pattern, value) {
    return pattern === "*" || pattern === value;
}

// The entry for one column (or undefined): column is {name, type}.
export function columnException(fixture, table, column) {
    return COLUMN_EXCEPTIONS.find(
        (e) =>
            matches(e.fixture, fixture) &&
            matches(e.table, table) &&
            (e.type !== undefined ? e.type === column.type : matches(e.column, column.name)),
    );
}

export function rowOrderException(fixture, table) {
    return ROW_ORDER_EXCEPTIONS.find((e) => matches(e.fixture, fixture) && matches(e.table, table));
}

export function isNotUserTable(fixture, table) {
    return NOT_USER_TABLES.some((e) => matches(e.fixture, fixture) && e.table === table);
}
