#include "jet/database.h"

#include <algorithm>
#include <cassert>
#include <map>
#include <utility>

#include "jet/base/names.h"
#include "jet/file/header.h"
#include "jet/file/page_file.h"
#include "jet/store/catalog.h"
#include "jet/store/property_map.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_scan.h"
#include "jet/store/write_context.h"

namespace jet {
namespace {

// A calculated column's definition carries a provisional type; the type of the value it stores
// is its "ResultType" property.
void applyResultTypes(const format::Format& fmt, const CatalogEntry& entry, std::uint16_t codePage,
                      TableDef& def) {
    if (std::none_of(def.columns.begin(), def.columns.end(),
                     [](const ColumnDef& c) { return c.calculated; })) {
        return;
    }
    const store::PropertyMaps maps = store::parsePropertyMaps(fmt, entry.properties, codePage);
    for (auto& c : def.columns) {
        if (!c.calculated) continue;
        const auto map = maps.find(foldName(c.name));
        if (map == maps.end()) continue;
        const auto prop = map->second.find("ResultType");
        if (prop == map->second.end() || prop->second.data.empty()) continue;
        const std::uint8_t type = prop->second.data[0];
        if (!isKnownColumnType(type)) {
            throw Error(ErrorCode::Unsupported,
                        "Calculated column '" + c.name + "' of table '" + def.name +
                            "' has a result type this engine does not know (code " +
                            std::to_string(type) + ").");
        }
        c.type = static_cast<ColumnType>(type);
    }
}

}  // namespace

namespace {

// What reads of the catalog and of table definitions answer from: the database as it is, or
// one snapshot of it.
struct CatalogView {
    std::vector<CatalogEntry> catalog;
    std::map<std::uint32_t, std::shared_ptr<const TableDef>> definitions;  // by definition page
};

}  // namespace

struct Database::Impl {
    Impl(const std::string& path, bool writable)
        : file(path, writable ? file::AccessMode::ReadWrite : file::AccessMode::ReadOnly) {}
    CatalogView& view();

    file::PageFile file;
    file::Header header;
    CatalogView live;
    std::uint64_t catalogGeneration = 0;       // the page file's, when the live catalog was read
    const Snapshot::State* reading = nullptr;  // the innermost Snapshot::Reading's
};

struct Snapshot::State {
    explicit State(Database::Impl& d) : db(d) {}
    Database::Impl& db;
    std::shared_ptr<const file::PageSnapshot> pages;
    mutable CatalogView view;  // filled as it is read, under the snapshot's guards
};

CatalogView& Database::Impl::view() { return reading != nullptr ? reading->view : live; }

struct RowCursor::State {
    State(Database::Impl& db, std::shared_ptr<const TableDef> t)
        : path(db.file.path()),
          file(db.file),
          pages(db.reading != nullptr ? db.reading->pages : nullptr),
          table(std::move(t)),
          scan(db.file, *db.header.format, *table, db.header.codePage) {}
    std::string path;
    file::PageFile& file;  // not const: a view of the snapshot is set on it for each read
    std::shared_ptr<const file::PageSnapshot> pages;  // null: the database as it is
    std::shared_ptr<const TableDef> table;
    store::TableScan scan;
};

RowCursor::RowCursor(std::unique_ptr<State> state) : state_(std::move(state)) {}
RowCursor::~RowCursor() = default;
RowCursor::RowCursor(RowCursor&&) noexcept = default;
RowCursor& RowCursor::operator=(RowCursor&&) noexcept = default;

bool RowCursor::next() {
    try {
        const file::PageFile::ViewScope view(state_->file, state_->pages.get());
        const auto guard = state_->file.readGuard();
        return state_->scan.next();
    } catch (const Error& e) {
        throw placed(e, state_->path, state_->table->name, Activity::Reading);
    }
}
const std::vector<Value>& RowCursor::row() const { return state_->scan.row(); }
RowLocation RowCursor::location() const { return state_->scan.location(); }
void RowCursor::decodeOnly(std::vector<bool> columns) {
    state_->scan.decodeOnly(std::move(columns));
}

Database::Database(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Database::~Database() = default;

std::unique_ptr<Database> Database::open(const std::string& path, const OpenOptions& options) {
    auto impl = std::make_unique<Impl>(path, options.writable);
    if (options.faultSeam != nullptr) impl->file.setFaultSeam(options.faultSeam);
    if (options.dirtyPageLimit != 0) impl->file.setDirtyPageLimit(options.dirtyPageLimit);
    try {
        const auto guard = impl->file.readGuard();
        impl->header = file::openHeader(impl->file, options.password);
        impl->live.catalog =
            store::readCatalog(impl->file, *impl->header.format, impl->header.codePage);
        impl->catalogGeneration = impl->file.generation();
    } catch (const Error& e) {
        throw placed(e, path, {}, Activity::Reading);
    }
    return std::unique_ptr<Database>(new Database(std::move(impl)));
}

const std::string& Database::path() const { return impl_->file.path(); }
Version Database::version() const { return impl_->header.format->version; }
std::uint16_t Database::codePage() const { return impl_->header.codePage; }
const format::Format* Database::format() const { return impl_->header.format; }
bool Database::writable() const { return impl_->file.writable(); }
const std::vector<CatalogEntry>& Database::catalog() const { return impl_->view().catalog; }

void Database::write(const std::function<void(store::WriteContext&)>& work) {
    auto& file = impl_->file;
    file.beginWrite();
    try {
        // The statement was planned on the catalog and definitions as last read; another
        // program that committed since may have changed them.
        if (file.generation() != impl_->catalogGeneration) {
            throw Error(ErrorCode::DataChanged,
                        "'" + path() +
                            "' was changed by another program while the statement was being "
                            "prepared; nothing was changed. Run the statement again.");
        }
        store::WriteContext context{file, *impl_->header.format, impl_->header.codePage};
        work(context);
        file.commit();
        if (context.catalogChanged) {
            impl_->live.catalog =
                store::readCatalog(impl_->file, *impl_->header.format, impl_->header.codePage);
            impl_->catalogGeneration = file.generation();
        }
    } catch (const Error& e) {
        if (file.inWrite()) file.rollback();
        impl_->live.definitions.clear();
        // Damage met by the layers below is reported with the file it is in.
        throw placed(e, path(), {}, Activity::Changing);
    } catch (...) {
        if (file.inWrite()) file.rollback();
        impl_->live.definitions.clear();
        throw;
    }
    // Row counts and usage maps may have changed under the cached definitions.
    impl_->live.definitions.clear();
}

std::vector<TablesRowsetRow> Database::tablesRowset() const {
    return store::tablesRowset(impl_->view().catalog);
}

std::vector<std::string> Database::userTableNames() const {
    std::vector<std::string> names;
    for (auto& row : tablesRowset()) {
        if (row.type == "TABLE") names.push_back(row.name);
    }
    return names;
}

std::shared_ptr<const TableDef> Database::table(std::string_view name) const {
    CatalogView& view = impl_->view();
    const std::string folded = foldName(name);
    const CatalogEntry* found = nullptr;
    for (const auto& e : view.catalog) {
        if (e.type != store::kObjectLocalTable && e.type != store::kObjectLinkedTable &&
            e.type != store::kObjectOdbcLinkedTable) {
            continue;
        }
        if (foldName(e.name) == folded) {
            found = &e;
            break;
        }
    }
    if (found == nullptr) {
        throw Error(ErrorCode::TableNotFound,
                    "The database engine cannot find the input table or query '" +
                        std::string(name) +
                        "'. Make sure it exists and that its name is "
                        "spelled correctly.");
    }
    if (found->type != store::kObjectLocalTable) {
        throw Error(ErrorCode::Unsupported,
                    "Table '" + found->name + "' is linked to another database ('" +
                        (found->database.empty() ? found->connect : found->database) +
                        "'); linked tables cannot be opened.");
    }
    const auto page = static_cast<std::uint32_t>(found->id) & 0x00FFFFFF;
    auto& slot = view.definitions[page];
    if (!slot) {
        try {
            const auto guard = impl_->file.readGuard();
            TableDef def = store::readTableDefinition(impl_->file, *impl_->header.format, page,
                                                      found->name, impl_->header.codePage);
            applyResultTypes(*impl_->header.format, *found, impl_->header.codePage, def);
            slot = std::make_shared<const TableDef>(std::move(def));
        } catch (const Error& e) {
            throw placed(e, path(), found->name, Activity::Reading);
        }
    }
    return slot;
}

RowCursor Database::scan(std::shared_ptr<const TableDef> table) const {
    const std::string name = table->name;  // the table is moved into the cursor
    try {
        const auto guard = impl_->file.readGuard();
        return RowCursor(std::make_unique<RowCursor::State>(*impl_, std::move(table)));
    } catch (const Error& e) {
        throw placed(e, path(), name, Activity::Reading);
    }
}

std::vector<Value> Database::readRow(const TableDef& table, RowLocation where) const {
    try {
        const auto guard = impl_->file.readGuard();
        ByteSpan bytes;
        const auto holder = store::liveRowBytes(impl_->file, *impl_->header.format, where, bytes);
        std::vector<Value> values;
        store::RowDecoder(impl_->file, *impl_->header.format, table, impl_->header.codePage)
            .decode(bytes, values);
        return values;
    } catch (const Error& e) {
        throw placed(e, path(), table.name, Activity::Reading);
    }
}

// ---- snapshots ------------------------------------------------------------------------------

std::shared_ptr<Snapshot> Database::takeSnapshot() const {
    try {
        auto state = std::make_unique<Snapshot::State>(*impl_);
        state->pages = impl_->file.takeSnapshot();
        if (state->pages->generation() == impl_->catalogGeneration) {
            state->view.catalog = impl_->live.catalog;
        } else {
            // Another program changed the file since the catalog was read.
            const file::PageFile::ViewScope view(impl_->file, state->pages.get());
            const auto guard = impl_->file.readGuard();
            state->view.catalog =
                store::readCatalog(impl_->file, *impl_->header.format, impl_->header.codePage);
        }
        return std::make_shared<Snapshot>(std::move(state));
    } catch (const Error& e) {
        throw placed(e, path(), {}, Activity::Reading);
    }
}

struct Database::ReadTransaction::State {
    explicit State(file::PageFile::ReadGuard g) : guard(std::move(g)) {}
    file::PageFile::ReadGuard guard;
};

Database::ReadTransaction::ReadTransaction(std::unique_ptr<State> state)
    : state_(std::move(state)) {}
Database::ReadTransaction::ReadTransaction(ReadTransaction&&) noexcept = default;
Database::ReadTransaction::~ReadTransaction() = default;

Database::ReadTransaction Database::readTransaction() const {
    return ReadTransaction(std::make_unique<ReadTransaction::State>(impl_->file.readGuard()));
}

void Database::catchUp() const {
    if (impl_->reading != nullptr || impl_->file.inWrite()) return;
    try {
        // Touching the file under a guard notices another program's commit.
        const auto guard = impl_->file.readGuard();
        (void)impl_->file.pageCount();
        if (impl_->file.generation() == impl_->catalogGeneration) return;
        impl_->live.catalog =
            store::readCatalog(impl_->file, *impl_->header.format, impl_->header.codePage);
        impl_->live.definitions.clear();
        impl_->catalogGeneration = impl_->file.generation();
    } catch (const Error& e) {
        throw placed(e, path(), {}, Activity::Reading);
    }
}

void Database::setProgressHandler(std::function<void()> handler) {
    impl_->file.setProgressHandler(std::move(handler));
}

void Database::setSnapshotMemoryBudget(std::size_t bytes) {
    impl_->file.setSnapshotMemoryBudget(bytes);
}

SnapshotUsage Database::snapshotUsage() const {
    const file::ImageUsage usage = impl_->file.snapshotUsage();
    return SnapshotUsage{usage.images, usage.bytesInMemory, usage.bytesInTempFile};
}

Snapshot::Snapshot(std::unique_ptr<State> state) : state_(std::move(state)) {}
Snapshot::~Snapshot() = default;

Snapshot::Reading Snapshot::read() const { return Reading(*state_); }

Snapshot::Reading::Reading(const State& state)
    : state_(state),
      outer_(std::exchange(state.db.reading, &state)),
      outerPages_(state.db.file.setView(state.pages.get())) {}

Snapshot::Reading::~Reading() {
    assert(state_.db.reading == &state_ && "Snapshot::Reading guards end in reverse order");
    state_.db.file.setView(outerPages_);
    state_.db.reading = outer_;
}

}  // namespace jet
