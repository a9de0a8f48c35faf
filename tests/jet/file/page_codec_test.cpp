// Encoded and encrypted databases: each scheme opens with its password, reads what Access wrote
// and writes with the file's own scheme and key, the rollback journal included; a wrong
// password and a descriptor the engine cannot follow are refused.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>

#include "jet/database.h"
#include "jet/file/fault_seam.h"
#include "jet/file/jet_rc4_codec.h"
#include "office_encrypting.h"
#include "support/fixtures.h"
#include "support/statements.h"

using jet::Database;
using jet::ErrorCode;
using jet::Value;
using testsupport::errorOf;
using testsupport::fixture;

namespace {

Value text(const char* s) { return Value{std::string(s)}; }
Value whole(std::int32_t n) { return Value{n}; }

// The fixtures' names and contents disagree: agile2010.accdb is RC4 CryptoAPI and
// rc4cryptoapi2007.accdb is agile with SHA-1 and AES-128. The header decides.
struct Protected {
    std::string name;  // under shared/fixtures, or an absolute path
    const char* password;
    const char* textColumn;                // of Table1
    std::vector<std::vector<Value>> rows;  // of Table1
};

const std::vector<std::vector<Value>> kOneTwoThree = {
    {whole(1), text("One")}, {whole(2), text("Two")}, {whole(3), text("Three")}};

// The CryptoAPI variants no file at hand has, each made from a plain copy of
// password/V2010_no-password.accdb by encryptWithCryptoApi.
struct MadeVariant {
    const char* label;
    std::uint32_t flags, algorithm, keyBits, providerType;
    const char* provider;
};
const std::vector<MadeVariant> kMadeVariants = {
    {"rc4-40-unstated", 0x04, 0, 0, 1, "Microsoft Base Cryptographic Provider v1.0"},
    {"rc4-56-strong", 0x04, 0x6801, 56, 1, "Microsoft Strong Cryptographic Provider"},
    {"rc4-128-aes-provider", 0x0C, 0x6801, 128, 24,
     "Microsoft Enhanced RSA and AES Cryptographic Provider"},
    {"aes-128", 0x24, 0x660E, 128, 24, "Microsoft Enhanced RSA and AES Cryptographic Provider"},
    {"aes-192", 0x24, 0x660F, 192, 24, "Microsoft Enhanced RSA and AES Cryptographic Provider"},
    {"aes-256", 0x24, 0x6610, 256, 24, "Microsoft Enhanced RSA and AES Cryptographic Provider"},
    {"aes-unstated", 0x24, 0, 0, 24, ""},
    {"binary-rc4", 0, 0, 0, 0, nullptr},  // info version 1.1, MD5 and a 40-bit key
};
constexpr const char* kMadePassword = "Kennwort ü 7";

// The made variants' files, once per run.
const std::string& madeFile(const MadeVariant& v) {
    static testsupport::TempDir dir;
    static std::map<std::string, std::string> made;
    auto& path = made[v.label];
    if (path.empty()) {
        path = dir.copyOf("password/V2010_no-password.accdb");
        const std::string renamed = (dir.path() / (std::string(v.label) + ".accdb")).string();
        std::filesystem::rename(path, renamed);
        path = renamed;
        if (v.provider == nullptr) {
            testsupport::encryptWithBinaryRc4(path, kMadePassword);
            return path;
        }
        jet::file::CryptoApiInfo info;
        info.flags = v.flags;
        info.algorithm = v.algorithm;
        info.hash = 0x8004;
        info.keyBits = v.keyBits;
        info.providerType = v.providerType;
        info.provider = v.provider;
        testsupport::encryptWithCryptoApi(path, info, kMadePassword);
    }
    return path;
}

const std::vector<Protected>& protectedFixtures() {
    static const std::vector<Protected> all = [] {
        std::vector<Protected> list = {
            {"encrypted/rc4jet4.mdb",
             "",
             "col1",
             {{whole(1), text("hello"), whole(0)}, {whole(2), text("world"), whole(42)}}},
            {"encrypted/agile2010.accdb",
             "password",
             "Data",
             {{whole(1), text("One")}, {whole(2), text("Two")}, {whole(3), text("Three")}}},
            {"encrypted/rc4cryptoapi2007.accdb", "Test123", "Field1", {{whole(1), text("foo")}}},
            {"password/V2010_with-password.accdb", "password", "Data", kOneTwoThree},
            // Written by Access: RC4 CryptoAPI with a 40-bit key of the base provider.
            {QUILLFEN_TEST_DATA "/jackcess-encrypt/db2007-oldenc.accdb",
             "Test123",
             "Field1",
             {{whole(1), text("foo")}}},
        };
        for (const auto& v : kMadeVariants) {
            list.push_back({madeFile(v), kMadePassword, "Data", kOneTwoThree});
        }
        return list;
    }();
    return all;
}

// Replaces `from` with `to` (as long) where it first stands in page 0 of the file.
void patch(const std::string& path, const std::string& from, const std::string& to) {
    ASSERT_EQ(from.size(), to.size());
    auto bytes = testsupport::bytesOf(path);
    const std::string head(bytes.begin(), bytes.begin() + 4096);
    const auto at = head.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    std::copy(to.begin(), to.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    testsupport::writeBytes(path, bytes);
}

// Whether `word` stands in `bytes` as a Text value can be stored: one byte a character
// (compressed Unicode, or a code page) or UTF-16LE.
bool standsInTheClear(const std::vector<std::uint8_t>& bytes, const std::string& word) {
    std::string wide;
    for (char c : word) wide += std::string{c, '\0'};
    const std::string all(bytes.begin(), bytes.end());
    return all.find(word) != std::string::npos || all.find(wide) != std::string::npos;
}

// Sets Table1's text field to `value` in every row.
void setEveryText(const Protected& p, const std::string& path, const std::string& value) {
    const auto db = Database::open(path, {p.password});
    testsupport::run(*db, std::string("UPDATE Table1 SET ") + p.textColumn + " = '" + value + "'");
}

void expectEveryText(const Database& db, const char* value, const std::string& context) {
    for (const auto& row : testsupport::rowsOf(db, "Table1")) {
        EXPECT_EQ(row[1], text(value)) << context;
    }
}

// Stops the process before its k-th page write, as a power cut would.
class StopBeforeWrite : public jet::file::FaultSeam {
public:
    explicit StopBeforeWrite(std::uint64_t k) : k_(k) {}
    void beforePageWrite(std::uint64_t count, std::uint32_t) override {
        if (count == k_) ::_exit(0);
    }
    void beforeSync(std::uint64_t, jet::file::SyncPoint) override {}

private:
    std::uint64_t k_;
};

}  // namespace

TEST(EncryptedDatabase, ReadsEverySchemeWithItsPassword) {
    for (const auto& p : protectedFixtures()) {
        const auto db = Database::open(fixture(p.name), {p.password, false});
        EXPECT_EQ(db->userTableNames(), std::vector<std::string>{"Table1"}) << p.name;
        EXPECT_EQ(testsupport::rowsOf(*db, "Table1"), p.rows) << p.name;
        testsupport::expectNoFaults(fixture(p.name), p.password);
    }
}

TEST(EncryptedDatabase, RefusesAWrongOrMissingPassword) {
    for (const auto& p : protectedFixtures()) {
        if (*p.password == '\0') continue;  // encoded only: nothing to check a password against
        const std::string right = p.password;
        for (const std::string& wrong :
             {std::string(), right + " ", right.substr(1), right + right}) {
            const auto e = errorOf([&] { Database::open(fixture(p.name), {wrong, false}); });
            EXPECT_EQ(e.code(), ErrorCode::NotValidPassword) << p.name << " / " << wrong;
            EXPECT_EQ(std::string(e.what()),
                      "Not a valid password. (file '" + fixture(p.name) + "')");
        }
    }
}

TEST(EncryptedDatabase, WritesEverySchemeAndLeavesNoTextInTheClear) {
    testsupport::TempDir dir;
    for (const auto& p : protectedFixtures()) {
        const std::string path = dir.copyOf(p.name);
        const std::string column = p.textColumn;
        {
            const auto db = Database::open(path, {p.password});
            testsupport::run(*db,
                             "UPDATE Table1 SET " + column + " = " + column + " & 'Zebragrown'");
            testsupport::run(*db, "ALTER TABLE Table1 ADD COLUMN Total INT");
            testsupport::run(*db, "UPDATE Table1 SET Total = ID * 7");
            testsupport::run(*db, "INSERT INTO Table1 (ID, " + column +
                                      ", Total) VALUES (1000, 'Quokkainserted', 99)");
        }
        const auto db = Database::open(path, {p.password, false});
        const auto rows = testsupport::rowsOf(*db, "Table1");
        ASSERT_EQ(rows.size(), p.rows.size() + 1) << p.name;
        for (std::size_t i = 0; i < p.rows.size(); ++i) {
            EXPECT_EQ(rows[i][1],
                      text((std::get<std::string>(p.rows[i][1]) + "Zebragrown").c_str()));
            EXPECT_EQ(rows[i].back(), whole(std::get<std::int32_t>(p.rows[i][0]) * 7));
        }
        EXPECT_EQ(rows.back()[1], text("Quokkainserted")) << p.name;
        testsupport::expectNoFaults(path, p.password);
        const auto bytes = testsupport::bytesOf(path);
        for (const auto& word : {"Zebragrown", "Quokkainserted"}) {
            EXPECT_FALSE(standsInTheClear(bytes, word)) << p.name << ": " << word;
        }
    }
}

TEST(EncryptedDatabase, TheJournalHoldsPagesAsTheFileDoes) {
    // A writer stopped in the middle of its write leaves its journal, which holds the pages it
    // changed as they were, taken from the file: encrypted. Reopening rolls the change back.
    testsupport::TempDir dir;
    for (const auto& p : protectedFixtures()) {
        const std::string path = dir.copyOf(p.name);
        setEveryText(p, path, "Zebrabefore");
        // Stopped before each page write in turn, until the write runs to its end.
        for (std::uint64_t stop = 1;; ++stop) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                StopBeforeWrite stopper(stop);
                jet::OpenOptions options{p.password};
                options.faultSeam = &stopper;
                options.dirtyPageLimit = 1;
                try {
                    const auto db = Database::open(path, options);
                    testsupport::run(
                        *db, std::string("UPDATE Table1 SET ") + p.textColumn + " = 'Quokkaafter'");
                } catch (...) {
                    ::_exit(3);
                }
                ::_exit(4);  // never stopped
            }
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFEXITED(status)) << p.name;
            if (WEXITSTATUS(status) == 4) {
                EXPECT_GT(stop, 1U) << p.name << ": the update wrote no page";
                break;
            }
            ASSERT_EQ(WEXITSTATUS(status), 0) << p.name << ", stopped at " << stop;
            const auto journal = testsupport::bytesOf(path + "-journal");
            const auto file = testsupport::bytesOf(path);
            for (const auto& word : {"Zebrabefore", "Quokkaafter"}) {
                EXPECT_FALSE(standsInTheClear(journal, word)) << p.name << ": " << word;
                EXPECT_FALSE(standsInTheClear(file, word)) << p.name << ": " << word;
            }
            expectEveryText(*Database::open(path, {p.password, false}), "Zebrabefore",
                            p.name + std::string(", stopped at ") + std::to_string(stop));
        }
        testsupport::expectNoFaults(path, p.password);
    }
}

TEST(EncryptedDatabase, ASnapshotSpillsItsPagesEncrypted) {
    // With no memory budget, the pages a snapshot keeps go to an unlinked temporary file at once;
    // they go there as the database holds them, and come back readable.
    testsupport::TempDir dir;
    for (const auto& p : protectedFixtures()) {
        const std::string path = dir.copyOf(p.name);
        setEveryText(p, path, "Zebrabefore");
        const auto db = Database::open(path, {p.password});
        db->setSnapshotMemoryBudget(0);
        const auto snapshot = db->takeSnapshot();
        testsupport::run(*db,
                         std::string("UPDATE Table1 SET ") + p.textColumn + " = 'Quokkaafter'");
        ASSERT_GT(db->snapshotUsage().bytesInTempFile, 0u) << p.name;
        {
            const auto reading = snapshot->read();
            expectEveryText(*db, "Zebrabefore", p.name);
        }
        // The temporary file is open in this process only, as a deleted file.
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            const auto target = std::filesystem::read_symlink(fd.path(), ec).string();
            if (ec || target.find("(deleted)") == std::string::npos) continue;
            EXPECT_FALSE(standsInTheClear(testsupport::bytesOf(fd.path().string()), "Zebrabefore"))
                << p.name << ": " << target;
        }
    }
}

TEST(EncryptedDatabase, RefusesWhatItCannotDecodeWithCertainty) {
    testsupport::TempDir dir;
    struct Case {
        std::string name;
        const char* password;
        std::string from, to;
        ErrorCode code;
        const char* named;
    };
    const std::vector<Case> cases = {
        {"password/V2010_with-password.accdb", "password", "ChainingModeCBC", "ChainingModeCFB",
         ErrorCode::Unsupported, "ChainingModeCFB"},
        {"password/V2010_with-password.accdb", "password", "hashAlgorithm=\"SHA512\"",
         "hashAlgorithm=\"SHA999\"", ErrorCode::Unsupported, "SHA999"},
        {"password/V2010_with-password.accdb", "password", "/password\"><p:encryptedKey",
         "/passwore\"><p:encryptedKey", ErrorCode::Unsupported, "password key encryptor"},
        // The spin count is part of the key: a changed one no longer unlocks it.
        {"encrypted/rc4cryptoapi2007.accdb", "Test123", "spinCount=\"100000\"",
         "spinCount=\"100001\"", ErrorCode::NotValidPassword, "password"},
        // A CryptoAPI info is refused naming what it holds. agile2010.accdb is RC4 (0x6801)
        // with SHA-1 (0x8004) and a 128-bit key, version 4.2, flags 0x0C.
        {"encrypted/agile2010.accdb", "password", std::string("\x01\x68\x00\x00", 4),
         std::string("\x02\x66\x00\x00", 4), ErrorCode::Unsupported, "algorithm 0x6602 (unknown)"},
        {"encrypted/agile2010.accdb", "password", std::string("\x04\x80\x00\x00\x80\x00", 6),
         std::string("\x0C\x80\x00\x00\x80\x00", 6), ErrorCode::Unsupported, "hash 0x800C"},
        {"encrypted/agile2010.accdb", "password", std::string("\x04\x80\x00\x00\x80\x00", 6),
         std::string("\x04\x80\x00\x00\x24\x00", 6), ErrorCode::Unsupported,
         "key 36 bits, provider 'Microsoft Enhanced Cryptographic Provider v1.0' (type 1)"},
        {"encrypted/agile2010.accdb", "password", std::string("\x04\x00\x02\x00\x0C\x00", 6),
         std::string("\x03\x00\x03\x00\x0C\x00", 6), ErrorCode::Unsupported, "version 3.3"},
        {madeFile(kMadeVariants[3]), kMadePassword,
         std::string("\x0E\x66\x00\x00\x04\x80\x00\x00\x80\x00", 10),
         std::string("\x0E\x66\x00\x00\x04\x80\x00\x00\x80\x01", 10), ErrorCode::Unsupported,
         "algorithm 0x660E (AES-128), hash 0x8004 (SHA-1), key 384 bits"},
    };
    for (const auto& c : cases) {
        const std::string path = dir.copyOf(c.name);
        patch(path, c.from, c.to);
        const auto e = errorOf([&] { Database::open(path, {c.password, false}); });
        EXPECT_EQ(e.code(), c.code) << c.to;
        EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        std::filesystem::remove(path);
    }
}

TEST(EncryptedDatabase, RefusesToChangeAFileWithAChecksumOfTheWhole) {
    // A descriptor with a dataIntegrity element (an HMAC of the whole file, which Access does not
    // write for databases) opens for reading; a change is refused and leaves the file as it was.
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("password/V2010_with-password.accdb");
    const std::string from =
        " xmlns:c=\"http://schemas.microsoft.com/office/2006/keyEncryptor/certificate\"";
    std::string to = "><dataIntegrity encryptedHmacKey=\"\"/";
    to.insert(to.size() - 3, from.size() - to.size(), 'A');
    patch(path, from, to);
    const auto before = testsupport::bytesOf(path);
    {
        const auto db = Database::open(path, {"password"});
        EXPECT_EQ(testsupport::rowsOf(*db, "Table1").size(), 3u);
        const auto e = errorOf(*db, "UPDATE Table1 SET Data = 'changed'");
        EXPECT_EQ(e.code(), ErrorCode::Unsupported);
        EXPECT_NE(std::string(e.what()).find("HMAC"), std::string::npos) << e.what();
    }
    EXPECT_EQ(testsupport::bytesOf(path), before);
}

// No encoded Access 97 file is at hand: one is made here from a plain one, with the scheme the
// public descriptions of the format give for Jet 3 and Jet 4 alike (RC4 over every page but the
// header, keyed with the database key XOR the page number), and mdbtools, which reads it so,
// checks it before and after the engine writes to it.
TEST(EncryptedDatabase, AnEncodedAccess97FileIsReadAndWrittenEncoded) {
    testsupport::TempDir dir;
    const std::string plain = fixture("jet3/test97.mdb");
    const std::string path = dir.copyOf("jet3/test97.mdb");
    const std::array<std::uint8_t, 4> key{0x5A, 0x17, 0xC3, 0x08};
    auto bytes = testsupport::bytesOf(path);
    // The key lies in the RC4-masked part of the header, where it was 0.
    for (std::size_t i = 0; i < key.size(); ++i) bytes[0x3E + i] ^= key[i];
    const jet::file::JetRc4Codec codec(key);
    for (std::size_t page = 1; page * 2048 < bytes.size(); ++page) {
        codec.encode(static_cast<std::uint32_t>(page), std::span(bytes).subspan(page * 2048, 2048));
    }
    testsupport::writeBytes(path, bytes);
    const auto exported = [](const std::string& file) {
        return testsupport::commandOutput("mdb-export '" + file + "' Table1");
    };
    ASSERT_EQ(exported(path), exported(plain));

    {
        auto db = Database::open(path);
        EXPECT_EQ(testsupport::rowsOf(*db, "Table1"),
                  testsupport::rowsOf(*Database::open(plain), "Table1"));
        EXPECT_EQ(testsupport::run(*db, "UPDATE [Table1] SET [E] = [E] + 1"), 2u);
        testsupport::run(*db, "ALTER TABLE [Table1] ADD COLUMN [Geheimnis] INT");
        EXPECT_EQ(testsupport::run(*db, "UPDATE [Table1] SET [Geheimnis] = [E] * 2"), 2u);
    }
    const std::string csv = exported(path);
    EXPECT_NE(csv.find(",2,222,333333334,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",666666668\n"), std::string::npos) << csv;
    testsupport::expectNoFaults(path);
    // Every page stays encoded: the new field's name is nowhere in the file as it stands.
    const auto after = testsupport::bytesOf(path);
    const std::string text = "Geheimnis";
    EXPECT_EQ(std::search(after.begin(), after.end(), text.begin(), text.end()), after.end());
}

namespace {

// tests/oracle/office_decrypt.py: a reading of the CryptoAPI schemes written apart from the
// engine. Decrypts `from` to `to`; false when the script cannot run here.
bool decryptApart(const std::string& from, const std::string& to, const std::string& password) {
    const std::string script = QUILLFEN_TEST_DATA "/../oracle/office_decrypt.py";
    const auto quoted = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    if (std::system("python3 -c 'import cryptography' 2>/dev/null") != 0) return false;
    const int status = std::system(("python3 " + quoted(script) + " " + quoted(from) + " " +
                                    quoted(to) + " " + quoted(password))
                                       .c_str());
    EXPECT_EQ(status, 0) << from;
    return true;
}

}  // namespace

TEST(EncryptedDatabase, AccessOwnStandardAesWithoutHashingRoundsReadsAndWrites) {
    // Access 2007 wrote this AES-256 file with its info's AES flag clear and no hashing rounds.
    const std::string file = QUILLFEN_TEST_DATA "/jackcess-encrypt/db-nonstandard.accdb";
    EXPECT_EQ(errorOf([&] {
                  Database::open(file, {"Password", false});
              }).code(),
              ErrorCode::NotValidPassword);
    testsupport::TempDir dir;
    const std::string path = dir.copyOf(file);
    {
        const auto db = Database::open(path, {"password"});
        EXPECT_EQ(testsupport::rowsOf(*db, "Table_One"),
                  (std::vector<std::vector<Value>>{{whole(1), text("test")}}));
        testsupport::run(*db, "UPDATE Table_One SET Field1 = 'Zebragrown' WHERE ID = 1");
    }
    const auto db = Database::open(path, {"password", false});
    EXPECT_EQ(testsupport::rowsOf(*db, "Table_One")[0][1], text("Zebragrown"));
    EXPECT_FALSE(standsInTheClear(testsupport::bytesOf(path), "Zebragrown"));
    testsupport::expectNoFaults(path, "password");
    const std::string plain = path + ".plain.accdb";
    if (!decryptApart(path, plain, "password")) GTEST_SKIP() << "python3 with cryptography";
    EXPECT_EQ(testsupport::rowsOf(*Database::open(plain, {"", false}), "Table_One"),
              testsupport::rowsOf(*db, "Table_One"));
}

TEST(EncryptedDatabase, AReadingWrittenApartAgreesOnEveryCryptoApiVariant) {
    // Each CryptoAPI file, Access's and the made ones, after a write of the engine: decrypted by
    // the script, it is the database the engine reads through its encryption, and sound.
    testsupport::TempDir dir;
    std::vector<Protected> files;
    for (const auto& p : protectedFixtures()) {
        if (p.name.find("jackcess-encrypt") != std::string::npos || p.name.front() == '/' ||
            p.name == "encrypted/agile2010.accdb") {
            files.push_back(p);
        }
    }
    ASSERT_EQ(files.size(), kMadeVariants.size() + 2);
    for (const auto& p : files) {
        const std::string path = dir.copyOf(p.name);
        setEveryText(p, path, "Zebrawritten");
        const std::string plain = path + ".plain.accdb";
        if (!decryptApart(path, plain, p.password)) GTEST_SKIP() << "python3 with cryptography";
        ASSERT_TRUE(std::filesystem::exists(plain)) << p.name;
        const auto encrypted = Database::open(path, {p.password, false});
        const auto decrypted = Database::open(plain, {"", false});
        EXPECT_EQ(testsupport::rowsOf(*decrypted, "Table1"),
                  testsupport::rowsOf(*encrypted, "Table1"))
            << p.name;
        expectEveryText(*decrypted, "Zebrawritten", p.name);
        testsupport::expectNoFaults(plain);
    }
    // A made file, fresh: every page but page 0 decrypts to the plain file it was made from.
    const std::string plain = dir.path() / "fresh.accdb";
    ASSERT_TRUE(decryptApart(madeFile(kMadeVariants[5]), plain, kMadePassword));
    const auto original =
        testsupport::bytesOf(testsupport::fixture("password/V2010_no-password.accdb"));
    const auto decrypted = testsupport::bytesOf(plain);
    ASSERT_EQ(decrypted.size(), original.size());
    EXPECT_TRUE(std::equal(original.begin() + 4096, original.end(), decrypted.begin() + 4096));
}
