// What the Apply tests of the operation windows share: a database of our own, chosen as the
// wizard's state holds it, with Orders (Id, Price, Qty, Tax, Note) and Empty (Id, Price, Qty)
// without records; the table read back through a fresh connection, and the labels of the
// "Application Error" messages shown.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "app/controls/data_grid.h"
#include "app/controls/push_button.h"
#include "app/forms.h"
#include "core/globals.h"
#include "db/access.h"
#include "db/connection.h"
#include "db/db_support.h"
#include "db/objects.h"
#include "db/recordset.h"
#include "jet/database.h"
#include "support/fake_platform.h"
#include "support/fixtures.h"
#include "support/made_database.h"

namespace mathtest {

using Texts = std::vector<std::string>;

inline std::string makeShop(const testsupport::TempDir& dir) {
    return testsupport::madeDatabase(
        dir, {"CREATE TABLE [Orders] ([Id] LONG, [Price] LONG, [Qty] LONG, [Tax] LONG, "
              "[Note] TEXT(20))",
              "INSERT INTO [Orders] VALUES (1, 10, 2, 1, 'a')",
              "INSERT INTO [Orders] VALUES (2, 20, 3, 4, 'b')",
              "CREATE TABLE [Empty] ([Id] LONG, [Price] LONG, [Qty] LONG)"});
}

inline std::string textOf(const jet::Value& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return v;
            } else if constexpr (std::is_floating_point_v<T>) {
                return jet::formatDouble(v);
            } else if constexpr (std::is_integral_v<T>) {
                return std::to_string(v);
            } else if constexpr (std::is_same_v<T, jet::Null>) {
                return "Null";
            } else {
                return "?";
            }
        },
        value);
}

// The grid's column names and one column's texts, every row fetched.
inline Texts gridColumns(const app::DataGrid& grid) {
    Texts names;
    auto* model = grid.model();
    for (int c = 0; c < model->columnCount(); ++c) {
        names.push_back(model->headerData(c, Qt::Horizontal).toString().toStdString());
    }
    return names;
}
inline Texts gridColumn(const app::DataGrid& grid, int column) {
    auto* model = grid.model();
    while (model->canFetchMore({})) model->fetchMore({});
    Texts values;
    for (int r = 0; r < model->rowCount(); ++r) {
        values.push_back(model->index(r, column).data().toString().toStdString());
    }
    return values;
}

// Stands in front of the fake platform: at every message box it notes whether "Apply" can be
// clicked, and at the first it clicks it, as an impatient user would while the box is open.
class ClicksDuringMessages final : public app::Platform {
public:
    ClicksDuringMessages(testsupport::FakePlatform& fake, app::PushButton* apply)
        : fake_(fake), apply_(apply) {
        app::Globals::setPlatform(this);
    }
    ~ClicksDuringMessages() override { app::Globals::setPlatform(&fake_); }
    ClicksDuringMessages(const ClicksDuringMessages&) = delete;
    ClicksDuringMessages& operator=(const ClicksDuringMessages&) = delete;

    app::MessageAnswer messageBox(std::string_view text, app::MessageButtons buttons,
                                  app::MessageIcon icon, std::string_view title,
                                  app::MessageAnswer defaultButton) override {
        applyEnabled.push_back(apply_->isEnabled());
        if (applyEnabled.size() == 1) QTest::mouseClick(apply_, Qt::LeftButton);
        return fake_.messageBox(text, buttons, icon, title, defaultButton);
    }
    std::string openFile(const app::OpenFileRequest& r) override { return fake_.openFile(r); }
    void openAddress(std::string_view address) override { fake_.openAddress(address); }
    double timer() override { return fake_.timer(); }
    void randomize(double seed) override { fake_.randomize(seed); }
    double random() override { return fake_.random(); }

    std::vector<bool> applyEnabled;

private:
    testsupport::FakePlatform& fake_;
    app::PushButton* apply_;
};

class ApplyTest : public ::testing::Test {
protected:
    ApplyTest() : path(makeShop(dir)), chosen(path) { choose("Orders", "[Price]"); }
    ~ApplyTest() override {
        app::Globals::wizard().SelectedTable.clear();
        app::Globals::wizard().SelectedFieldsList.clear();
    }

    static void choose(const std::string& table, const std::string& fields) {
        app::Globals::wizard().SelectedTable = table;
        app::Globals::wizard().SelectedFieldsList = fields;
    }

    static std::shared_ptr<db::Connection> connect() {
        auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
        cn->Open(db::BuildConnectionString());
        return cn;
    }
    static void execute(const std::string& statement) { connect()->Execute(statement); }

    // One field of every record, in table order.
    static Texts column(const std::string& table, const std::string& field) {
        auto cn = connect();
        auto rs = db::CreateObject<db::Recordset>("ADODB.RecordSet");
        rs->Open("SELECT [" + field + "] FROM [" + table + "]", *cn, db::adOpenStatic,
                 db::adLockReadOnly);
        Texts values;
        for (; !rs->Eof(); rs->MoveNext()) values.push_back(textOf(rs->Fields()[0].Value()));
        return values;
    }

    // The labels of the "Application Error" messages of `location`, in order; a test failure
    // for any other message.
    Texts reported(const std::string& location) const {
        Texts labels;
        const std::string at = "in Brassloe2021/08/31." + location + " at line ";
        for (const auto& m : platform.messages) {
            const auto found = m.text.find(at);
            if (m.title != "Application Error" || found == std::string::npos) {
                ADD_FAILURE() << "unexpected message: " << m.text;
                continue;
            }
            labels.push_back(m.text.substr(found + at.size(), 3));
        }
        return labels;
    }

    testsupport::TempDir dir;
    std::string path;
    testsupport::ChosenDatabase chosen;
    testsupport::FakePlatform platform;
    app::Forms forms;
};

}  // namespace mathtest
