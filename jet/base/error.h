// Every failure of the engine is a jet::Error: a number, as Jet reports it, and a description
// that names the file, table, field or value at fault. The engine never prints.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace jet {

// The numbers are Jet's own where Jet has one, so that callers written against Jet's error
// numbers keep working.
enum class ErrorCode : int {
    FileNotFound = 3024,        // "Could not find file '...'."
    NotValidPassword = 3031,    // "Not a valid password."
    TableNotFound = 3078,       // input table or query not found
    FieldNotFound = 3265,       // item not found in this collection
    SyntaxError = 3075,         // syntax error in an expression or statement
    UnrecognizedFormat = 3343,  // "Unrecognized database format '...'."
    Corrupt = 3049,             // the file is damaged or its structure is not understood
    Unsupported = 3251,         // operation is not supported for this kind of object
    Io = 3043,                  // disk or network error
    Overflow = 6,               // a value outside the range of its type
    DivisionByZero = 11,
    TypeMismatch = 13,             // e.g. text that is not a number in arithmetic
    ReadOnly = 3027,               // the database or object is read-only
    NotUpdatable = 3113,           // "Cannot update 'ID'; field not updateable."
    ValueTooLong = 3163,           // text longer than its column
    Locked = 3260,                 // another process holds the database
    DuplicateKey = 3022,           // a unique index or primary key would hold a value twice
    DuplicateField = 3191,         // "Cannot define field more than once."
    TooManyFields = 3190,          // "Too many fields defined."
    TableExists = 3010,            // "Table 'X' already exists."
    IndexExists = 3375,            // "Table 'X' already has an index named 'Y'."
    PrimaryKeyExists = 3283,       // "Primary key already exists."
    FileExists = 3204,             // "Database already exists."
    NullKey = 3058,                // Null in a primary key or an index that requires values
    RelatedRecordsExist = 3200,    // a referenced record has related records
    RelatedRecordRequired = 3201,  // a referencing record lacks its related record
    ZeroLengthString = 3315,       // "" in a field whose AllowZeroLength is No
    TableRuleBroken = 3316,        // a record breaks its table's validation rule
    FieldRuleBroken = 3317,        // a value breaks its field's validation rule
    TooLarge = 3001,               // the file would pass the most Access opens ("Invalid argument")

    // Another program changed the file under an open view of it.
    DataChanged = 3197,
};

class Error : public std::runtime_error {
public:
    Error(ErrorCode code, const std::string& description)
        : std::runtime_error(description), code_(code) {}
    ErrorCode code() const { return code_; }
    int number() const { return static_cast<int>(code_); }

    // What the error concerns, as far as it is known: the file, the table and the field. The
    // layer that raises an error sets what it knows and names it in the description; the
    // engine's face sets the rest on the way out (see placed()). Empty where nobody knew.
    const std::string& file() const { return file_; }
    const std::string& table() const { return table_; }
    const std::string& field() const { return field_; }
    // Records what the description already names. Empty arguments leave a part as it was.
    Error& about(const std::string& file, const std::string& table = {},
                 const std::string& field = {}) & {
        if (!file.empty()) file_ = file;
        if (!table.empty()) table_ = table;
        if (!field.empty()) field_ = field;
        return *this;
    }
    Error&& about(const std::string& file, const std::string& table = {},
                  const std::string& field = {}) && {
        return std::move(about(file, table, field));
    }

private:
    ErrorCode code_;
    std::string file_;
    std::string table_;
    std::string field_;
};

// What the engine was doing when a layer below met damage, for the words of the description.
enum class Activity { Reading, Changing };

// Damage a layer found without knowing the file (and table) it is in, told with them: "Cannot
// read table 'Orders' of 'C:/db.mdb': the file is damaged (<the description>)." for a read,
// "Cannot change '<file>': the file is damaged (<the description>); nothing was changed." for a
// change. Every other error, and damage whose file is already known, stays as it is.
inline Error placed(const Error& e, const std::string& file, const std::string& table,
                    Activity activity) {
    if (e.code() != ErrorCode::Corrupt || !e.file().empty()) return e;
    const std::string where =
        table.empty() ? "'" + file + "'" : "table '" + table + "' of '" + file + "'";
    const std::string description =
        activity == Activity::Reading
            ? "Cannot read " + where + ": the file is damaged (" + e.what() + ")."
            : "Cannot change " + where + ": the file is damaged (" + e.what() +
                  "); nothing was changed.";
    return Error(e.code(), description).about(file, table, e.field());
}

}  // namespace jet
