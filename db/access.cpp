#include "db/access.h"

#include "core/error_trap.h"
#include "core/files.h"
#include "core/globals.h"
#include "db/ascii.h"
#include "db/objects.h"

namespace db {

std::string BuildConnectionString() {
    const app::WizardState& wizard = app::Globals::wizard();
    const std::string path = wizard.DatabasePath();
    const std::string password = wizard.DatabasePassword();
    // Five bytes stand for five characters here: UTF-8 ends in "accdb" exactly when its last
    // five characters are those ASCII letters.
    const std::string ending = path.size() <= 5 ? path : path.substr(path.size() - 5);
    if (lowerAscii(ending) == "accdb") {
        return "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + path +
               ";JET OLEDB:Database Password=" + password;
    }
    return "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
           ";JET OLEDB:Database Password=" + password;
}

std::optional<std::vector<std::string>> GetTableNames(const std::string& path) {
    auto connection = CreateObject<Connection>("ADODB.Connection");
    auto recordset = CreateObject<Recordset>("ADODB.RecordSet");
    if (!app::FileExists(path)) return std::nullopt;
    connection->Open(BuildConnectionString());
    recordset = connection->OpenSchema(adSchemaTables);
    std::vector<std::string> names;
    while (!recordset->Eof()) {
        const auto fields = recordset->Fields();
        const auto* type = std::get_if<std::string>(&fields["TABLE_TYPE"].Value());
        if (type != nullptr && *type == "TABLE") {
            names.push_back(std::get<std::string>(fields["TABLE_NAME"].Value()));
        }
        recordset->MoveNext();
    }
    recordset->Close();
    connection->Close();
    return names;
}

void AddTablesToAccessListbox(app::ListBoxControl& list, const std::string& /*path*/,
                              const std::string& /*password*/) {
    app::Trap trap("Access.AddTablesToAccessListbox");
    std::optional<std::vector<std::string>> names;
    trap(100, [&] { names.emplace(); });
    // A failure here leaves the empty list of line 100: the list is cleared and stays empty.
    trap.assign(102, names, [] { return GetTableNames(app::Globals::wizard().DatabasePath()); });
    if (trap.condition(104, [&] { return !names.has_value(); })) {
        trap(106, [&] { names.reset(); });
        return;
    }
    trap(108, [&] { list.Clear(); });
    // Every table is added. The loop's 16-bit counter would stop at 32767 tables (an Access
    // file holds at most 32768 objects, so only a damaged one could go past it); hiding tables
    // the user asked for, or an overflow message, would help nobody. The count (110) and Next
    // (114) cannot fail.
    for (const std::string& name : *names) {
        trap(112, [&] { list.AddItem(name); });
    }
    trap(116, [&] { names.reset(); });
    if (trap.condition(118, [&] { return list.ListCount() > 0; })) {
        trap(118, [&] { list.SetListIndex(0); });
    }
}

bool FieldExists(const std::string& table, const std::string& field) {
    // Access names never hold ']'. Placed between brackets unescaped, one would let the text
    // name other fields ("Price], [Qty" opens when both exist), and the caller drops the field
    // it was told exists.
    if (table.find(']') != std::string::npos || field.find(']') != std::string::npos) {
        return false;
    }
    try {
        auto connection = CreateObject<Connection>("ADODB.Connection");
        connection->SetMode(adModeReadWrite);
        connection->Open(BuildConnectionString());
        auto recordset = CreateObject<Recordset>("ADODB.recordset");
        recordset->Open("SELECT [" + field + "] FROM [" + table + "]", *connection, adOpenDynamic,
                        adLockUnspecified);
        return true;
    } catch (...) {
        return false;
    }
}

jet::Value NullToDefault(const jet::Value& value, const jet::Value& defaultValue) {
    return jet::isNull(value) ? defaultValue : value;
}

}  // namespace db
