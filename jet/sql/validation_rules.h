// The checks Access makes on every record it saves, whoever writes it (a datasheet, an update or
// append query, an import): each field's AllowZeroLength and ValidationRule, and the table's own
// ValidationRule, all kept in the table's properties. A statement checks the records it writes
// and fails at the first that breaks a rule; being one atomic write, it then changes nothing.
//
// A field's rule is a condition on the field with the field left out: "> 0", "<> 0",
// "Between 1 And 9", "In (1, 2, 3)", "Like 'A*'", "Is Null Or >= 0", "<= Date()", and And, Or and
// Not over such conditions; a bare value is compared for equality ("0 Or > 100", "'M' Or 'F'"),
// a bare Null means Is Null ("Not Null"), and a whole comparison that names the field itself
// stands as it is ("Len([Code]) < 5"). The table's rule is a condition over the record's fields
// ("[Start] <= [End]"). A rule passes when it comes out True or Null (so "> 0" accepts Null);
// only False breaks it. Like in a rule takes Access's wildcards ("*", "?", "#"), not the
// provider's.
//
// Decisions where Access leaves room:
// - UPDATE checks, in each record whose values it changes, AllowZeroLength and the rules of the
//   fields that change, then the table's rule: Access checks a field's rule when the field is
//   edited and the table's rule when the record is saved. A record the statement leaves as it was
//   is not checked. INSERT and import check every field of each new record, then the table's rule.
// - Date(), Now() and Time() in a rule read the clock once, when the statement starts.
// - A rule this engine cannot evaluate with certainty (a function it does not know, text it cannot
//   read, a field's rule that names another field, a table's rule that names another table, a
//   value the rule cannot compare) fails the statement with an error that quotes the rule and
//   says where it is set. It never passes unchecked; it only fails a statement that has a record
//   to check against it.
// - A Text or Memo field without an AllowZeroLength property accepts "": Access writes the
//   property for every text field it makes, so a field without it was never given the check.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/store/changed_columns.h"
#include "jet/store/property_map.h"

namespace jet::sql {

class ValidationRules {
public:
    // `properties`: the table's property maps (write_checks.h, propertiesOf).
    ValidationRules(const Database& db, const TableDef& table,
                    const store::PropertyMaps& properties);
    ~ValidationRules();
    ValidationRules(const ValidationRules&) = delete;
    ValidationRules& operator=(const ValidationRules&) = delete;

    // Whether the table has nothing to check.
    bool empty() const;
    // Whether a record in which column `column` (by order) changes has anything to check: the
    // field's own rule or AllowZeroLength, or the table's rule.
    bool checksChangeOf(std::size_t column) const;

    // Marks in `mask` (one flag per column, in the table's order) the columns the table's rule
    // reads, for a statement that decodes only the columns it needs.
    void addColumnsRead(std::vector<bool>& mask) const;

    // REQUIRES: `row` holds the record's values as stored, in the table's column order (at least
    // the changed columns and those addColumnsRead marks).
    // Throws jet::Error when the record breaks a rule: ZeroLengthString, FieldRuleBroken or
    // TableRuleBroken with the rule's ValidationText or Access's own message; for a rule that
    // cannot be checked, Unsupported (or the fault of evaluating it) naming the rule.
    void check(const std::vector<Value>& row, const store::ChangedColumns& changed) const;

private:
    struct Rule;
    static void apply(const Rule& rule, const std::vector<Value>& row);

    std::vector<std::unique_ptr<Rule>> fieldRules_;  // by column order; null for none
    std::unique_ptr<Rule> tableRule_;
    std::vector<bool> noZeroLength_;       // by column order
    std::vector<std::string> fieldNames_;  // "T.F", for messages
    bool empty_ = true;
};

}  // namespace jet::sql
