// The write path over damaged files: UPDATE, DELETE, INSERT, ALTER, CREATE and DROP statements
// that move index entries, split and empty index pages, follow relationships, change table
// definitions and the catalog, run on patched copies of real files.
// Damage must end in a jet::Error, never in a crash, a hang or a sanitizer report; a statement
// that fails leaves the file as it was.
//
// Input: the patches of fuzzsupport::patched, after one byte that picks the statement.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "fuzz_support.h"
#include "jet/database.h"
#include "jet/sql/execute.h"

namespace {

const std::vector<fuzzsupport::Bytes>& bases() {
    static const std::vector<fuzzsupport::Bytes> all = [] {
        std::vector<fuzzsupport::Bytes> result;
        for (const char* name : {"jet4/compIndexTestV2000.mdb", "jet4/indexTestV2000.mdb",
                                 "ace/compIndexTestV2010.accdb", "jet3/test97.mdb"}) {
            result.push_back(fuzzsupport::readWholeFile(fuzzsupport::fixture(name)));
        }
        // Access 97's counterparts, where the further Access files lie beside the fixtures.
        for (const char* name : {"../fixtures-extra/jet3/compIndexTestV1997.mdb",
                                 "../fixtures-extra/jet3/indexTestV1997.mdb"}) {
            if (std::ifstream(fuzzsupport::fixture(name))) {
                result.push_back(fuzzsupport::readWholeFile(fuzzsupport::fixture(name)));
            }
        }
        return result;
    }();
    return all;
}

constexpr const char* kStatements[] = {
    "UPDATE [Table1] SET [CD_AGENTE] = -[CD_AGENTE] * 3 + 7",
    "UPDATE [Table1] SET [CD_AGENTE] = [CD_AGENTE] + 1 WHERE [CD_AGENTE] > 100",
    "DELETE FROM [Table1] WHERE [CD_AGENTE] < 500",
    "UPDATE [Table1] SET [id] = [id] + 1",
    "UPDATE [Table3] SET [id] = [id] * 10",
    "DELETE FROM [Table2] WHERE [id] = 1",
    "UPDATE [Table1] SET [otherfk1] = 2 - [otherfk1]",
    "INSERT INTO [Table1] SELECT [CD_AGENTE] + 100000, [RS_AGENTE], [DC_AGENTE] FROM [Table1]",
    "INSERT INTO [Table2] ([id], [data]) VALUES (7, 'x')",
    "ALTER TABLE [Table1] ADD COLUMN [Total] INT",
    "CREATE INDEX [Again] ON [Table1] ([CD_AGENTE])",
    "CREATE UNIQUE INDEX [Twice] ON [Table1] ([id] DESC, [otherfk1])",
    "DROP INDEX [CD_AGENTE] ON [Table1]",
    "DROP TABLE [Table1]",
    "CREATE TABLE [Fresh] (Id COUNTER PRIMARY KEY, Label TEXT(20) NOT NULL, Amount CURRENCY)",
};

// A real file (a journal goes beside it), in a folder of this process's own, removed at exit;
// in memory (/dev/shm) where there is one, since every statement syncs.
class Scratch {
public:
    Scratch() {
        const char* tmp = std::getenv("TMPDIR");
        dir_ = std::string(
                   tmp != nullptr ? tmp : (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp")) +
               "/quillfen-fuzz-XXXXXX";
        if (::mkdtemp(dir_.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = dir_ + "/db.mdb";
    }
    ~Scratch() {
        ::unlink(path_.c_str());
        ::unlink((path_ + "-journal").c_str());
        ::rmdir(dir_.c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string dir_, path_;
};

const std::string& scratchPath() {
    static const Scratch scratch;
    return scratch.path();
}

fuzzsupport::Bytes contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::addDefaultFlags(argc, argv, {"-max_len=1024"});
    bases();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const char* statement = kStatements[data[0] % std::size(kStatements)];
    const fuzzsupport::Bytes file = fuzzsupport::patched(bases(), data + 1, size - 1);
    const std::string& path = scratchPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
    }
    ::unlink((path + "-journal").c_str());
    try {
        auto db = jet::Database::open(path);
        try {
            jet::sql::execute(*db, statement);
        } catch (const jet::Error& e) {
            fuzzsupport::checkError(e, path);
            // A refused statement leaves every byte in place.
            if (contents(path) != file) __builtin_trap();
        }
    } catch (const jet::Error& e) {
        fuzzsupport::checkError(e, path);
    }
    return 0;
}
