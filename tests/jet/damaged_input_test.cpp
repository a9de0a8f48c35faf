// Damaged and foreign files: whatever the damage, opening and reading end in a jet::Error that
// says what is wrong and names the file; never a crash, a hang or a runaway allocation.
// Each case damages a copy of a real fixture at a structure found in that fixture; the bytes
// expected there are checked first, so a changed fixture fails loudly instead of testing
// nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/sql/execute.h"
#include "support/fixtures.h"
#include "support/statements.h"

namespace {

using jet::ErrorCode;

constexpr std::uint64_t kJet4Page = 4096;
constexpr std::uint64_t kJet3Page = 2048;

// --- editing a copy ---

std::vector<std::uint8_t> readBytes(const std::string& path, std::uint64_t offset,
                                    std::size_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::uint8_t> bytes(length);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    if (!in) throw std::runtime_error("cannot read " + path);
    return bytes;
}

void writeBytes(const std::string& path, std::uint64_t offset,
                const std::vector<std::uint8_t>& bytes) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::uint32_t getU32(const std::string& path, std::uint64_t offset) {
    const auto b = readBytes(path, offset, 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
}

std::uint16_t getU16(const std::string& path, std::uint64_t offset) {
    const auto b = readBytes(path, offset, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

void putU32(const std::string& path, std::uint64_t offset, std::uint32_t v) {
    writeBytes(path, offset,
               {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
}

void putU16(const std::string& path, std::uint64_t offset, std::uint16_t v) {
    writeBytes(path, offset, {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
}

// The fixture must hold `expected` where the case is about to damage it.
void requireU32(const std::string& path, std::uint64_t offset, std::uint32_t expected) {
    const std::uint32_t found = getU32(path, offset);
    if (found != expected) {
        throw std::runtime_error("the fixture changed: expected " + std::to_string(expected) +
                                 " at offset " + std::to_string(offset) + ", found " +
                                 std::to_string(found));
    }
}

void zeroPage(const std::string& path, std::uint64_t pageSize, std::uint32_t page) {
    writeBytes(path, page * pageSize, std::vector<std::uint8_t>(pageSize, 0));
}

void cutAt(const std::string& path, std::uint64_t size) {
    std::filesystem::resize_file(path, size);
}

// Replaces the whole file: `header` followed by pseudo-random bytes up to `size`.
void fillFile(const std::string& path, const std::vector<std::uint8_t>& header, std::size_t size) {
    std::vector<std::uint8_t> bytes = header;
    std::mt19937 random(20240611);
    while (bytes.size() < size) bytes.push_back(static_cast<std::uint8_t>(random()));
    bytes.resize(size);
    testsupport::writeBytes(path, bytes);
}

// --- where things are in the fixtures ---

// jet4/test2V2000.mdb: table MSP_PROJECTS has its definition on pages 15 and 19, its usage
// map in row 0 of page 16 and its one data page 60. A catalog row on page 14 holds, at offset
// 2742, a 12757-byte long value chained over rows 0 of pages 30, 31, 32 and 33.
const std::string kJet4 = "jet4/test2V2000.mdb";
constexpr std::uint32_t kProjectsTdef = 15;
constexpr std::uint32_t kProjectsTdefNext = 19;
constexpr std::uint32_t kProjectsUsageMapPage = 16;
constexpr std::uint32_t kProjectsDataPage = 60;
constexpr std::uint32_t kCatalogDataPage = 14;
constexpr std::uint64_t kLongValueReference = kCatalogDataPage * kJet4Page + 2742;
constexpr std::uint32_t kChainPage3 = 32;
constexpr std::uint64_t kLongValueRowOffset = 20;  // where row 0 of each chain page starts

// Jet 4 table definition fields.
constexpr std::uint64_t kTdefNextPage = 4;
constexpr std::uint64_t kTdefColumnCount = 45;
constexpr std::uint64_t kTdefRealIndexCount = 51;
constexpr std::uint64_t kTdefUsedPages = 55;
constexpr std::uint64_t kTdefBlockEnd = 63;
constexpr std::uint64_t kRealIndexEntry = 12;
constexpr std::uint64_t kColumnEntry = 25;

// jet3/test97.mdb: Table1's definition is page 29, its data page 31.
const std::string kJet3 = "jet3/test97.mdb";
constexpr std::uint32_t kJet3Table1Tdef = 29;
constexpr std::uint32_t kJet3Table1Data = 31;

// ace/testV2010.accdb: Table1's data page is 76.
const std::string kAce = "ace/testV2010.accdb";
constexpr std::uint32_t kAceTable1Data = 76;

std::uint32_t rowPointer(std::uint32_t page, std::uint8_t slot) { return page << 8 | slot; }

// --- the cases ---

struct Case {
    std::string name;
    std::string fixture;
    std::function<void(const std::string& path)> damage;
    ErrorCode code;
    std::string mentions;  // part of the description that says what is wrong
    std::string table;     // the damaged table, which the description must name too
};

std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.name; }

// Opens the database and reads every user table to its last row.
void readEverything(const std::string& path) {
    const auto db = jet::Database::open(path);
    for (const auto& name : db->userTableNames()) {
        auto cursor = db->scan(db->table(name));
        while (cursor.next()) {
        }
    }
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

class DamagedFile : public ::testing::TestWithParam<Case> {};

TEST_P(DamagedFile, ReadingEndsInAnErrorNamingTheFile) {
    const Case& c = GetParam();
    const testsupport::TempDir dir;
    const std::string path = dir.copyOf(c.fixture);
    // Each fixture reads cleanly before it is damaged, so the error below is the damage's.
    ASSERT_NO_THROW(readEverything(path));
    c.damage(path);
    try {
        readEverything(path);
        FAIL() << "the damaged file read without an error";
    } catch (const jet::Error& e) {
        const std::string what = e.what();
        EXPECT_EQ(e.code(), c.code) << what;
        EXPECT_NE(what.find(path), std::string::npos) << what;
        EXPECT_NE(what.find(c.mentions), std::string::npos) << what;
        if (!c.table.empty()) {
            EXPECT_NE(what.find("'" + c.table + "'"), std::string::npos) << what;
        }
    }
}

// The file and the table are parts of the error, not only words of its description: a caller
// can tell which file is damaged without reading the text.
TEST_P(DamagedFile, TheErrorCarriesTheFileAndTheTable) {
    const Case& c = GetParam();
    if (c.code != ErrorCode::Corrupt) return;  // refusals before the file is read, not damage
    const testsupport::TempDir dir;
    const std::string path = dir.copyOf(c.fixture);
    c.damage(path);
    try {
        readEverything(path);
        FAIL() << "the damaged file read without an error";
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.file(), path) << e.what();
        if (!c.table.empty()) {
            EXPECT_EQ(e.table(), c.table) << e.what();
        }
    }
}

// Damage an UPDATE meets while it reads the table is told as a read of that table, with the
// file and the table as parts of the error; the statement changes nothing.
TEST(DamagedFileUpdate, DamageMetWhileReadingNamesTheTableAndChangesNothing) {
    const testsupport::TempDir dir;
    const std::string path = dir.copyOf(kJet4);
    zeroPage(path, kJet4Page, kProjectsDataPage);
    const auto before = testsupport::bytesOf(path);
    const auto db = jet::Database::open(path);
    try {
        jet::sql::execute(*db, "UPDATE [MSP_PROJECTS] SET [PROJ_NAME] = 'x'");
        FAIL() << "the update of a damaged table succeeded";
    } catch (const jet::Error& e) {
        const std::string what = e.what();
        EXPECT_EQ(e.code(), ErrorCode::Corrupt) << what;
        EXPECT_EQ(what.rfind("Cannot read table 'MSP_PROJECTS' of '" + path + "'", 0), 0u) << what;
        EXPECT_EQ(e.file(), path);
        EXPECT_EQ(e.table(), "MSP_PROJECTS");
    }
    EXPECT_EQ(testsupport::bytesOf(path), before);
}

const Case kTruncated[] = {
    {"Empty", kJet4, [](auto& p) { cutAt(p, 0); }, ErrorCode::UnrecognizedFormat,
     "Unrecognized database format", ""},
    {"CutInsideTheHeader", kJet4, [](auto& p) { cutAt(p, 100); }, ErrorCode::UnrecognizedFormat,
     "Unrecognized database format", ""},
    {"CutAfterTheHeaderPage", kJet4, [](auto& p) { cutAt(p, kJet4Page + 10); },
     ErrorCode::UnrecognizedFormat, "Unrecognized database format", ""},
    // Half the file: the catalog's long value chain runs into the missing pages.
    {"CutMidFileUnderTheCatalog", kJet4, [](auto& p) { cutAt(p, 32 * kJet4Page + 1000); },
     ErrorCode::Corrupt, "beyond the end of the file", ""},
    // Just short of the last data page: the usage map marks a page that is gone.
    {"CutInsideADataPage", kJet4, [](auto& p) { cutAt(p, kProjectsDataPage * kJet4Page + 100); },
     ErrorCode::Corrupt, "beyond the end of the file", "MSP_PROJECTS"},
    // The catalog refers to pages near the end, so opening already fails.
    {"Jet3CutMidFile", kJet3, [](auto& p) { cutAt(p, kJet3Table1Data * kJet3Page + 7); },
     ErrorCode::Corrupt, "beyond the end of the file", ""},
};
INSTANTIATE_TEST_SUITE_P(Truncated, DamagedFile, ::testing::ValuesIn(kTruncated), caseName);

const Case kZeroed[] = {
    {"CatalogDefinition", kJet4, [](auto& p) { zeroPage(p, kJet4Page, 2); }, ErrorCode::Corrupt,
     "not a table definition page", ""},
    {"CatalogDataPage", kJet4, [](auto& p) { zeroPage(p, kJet4Page, kCatalogDataPage); },
     ErrorCode::Corrupt, "is blank", ""},
    {"TableDefinition", kJet4, [](auto& p) { zeroPage(p, kJet4Page, kProjectsTdef); },
     ErrorCode::Corrupt, "not a table definition page", "MSP_PROJECTS"},
    {"TableDefinitionContinuation", kJet4,
     [](auto& p) { zeroPage(p, kJet4Page, kProjectsTdefNext); }, ErrorCode::Corrupt,
     "not a table definition page", "MSP_PROJECTS"},
    {"UsageMapPage", kJet4, [](auto& p) { zeroPage(p, kJet4Page, kProjectsUsageMapPage); },
     ErrorCode::Corrupt, "names a row its page does not have", "MSP_PROJECTS"},
    {"DataPage", kJet4, [](auto& p) { zeroPage(p, kJet4Page, kProjectsDataPage); },
     ErrorCode::Corrupt, "is blank", "MSP_PROJECTS"},
    {"Jet3CatalogDefinition", kJet3, [](auto& p) { zeroPage(p, kJet3Page, 2); }, ErrorCode::Corrupt,
     "not a table definition page", ""},
    {"Jet3DataPage", kJet3, [](auto& p) { zeroPage(p, kJet3Page, kJet3Table1Data); },
     ErrorCode::Corrupt, "is blank", "Table1"},
    {"AceDataPage", kAce, [](auto& p) { zeroPage(p, kJet4Page, kAceTable1Data); },
     ErrorCode::Corrupt, "is blank", "Table1"},
};
INSTANTIATE_TEST_SUITE_P(Zeroed, DamagedFile, ::testing::ValuesIn(kZeroed), caseName);

const Case kBeyondTheEnd[] = {
    {"UsageMapPointer", kJet4,
     [](auto& p) {
         const std::uint64_t at = kProjectsTdef * kJet4Page + kTdefUsedPages;
         requireU32(p, at, rowPointer(kProjectsUsageMapPage, 0));
         putU32(p, at, rowPointer(0xFFFFFF, 0));
     },
     ErrorCode::Corrupt, "beyond the end of the file", "MSP_PROJECTS"},
    {"UsageMapStartPage", kJet4,
     [](auto& p) {
         const std::uint64_t page = kProjectsUsageMapPage * kJet4Page;
         const std::uint64_t row = page + (getU16(p, page + 14) & 0x1FFF);
         putU32(p, row + 1, 0x7FFFFFFF);  // the bitmap's first page
     },
     ErrorCode::Corrupt, "beyond the end of the file", "MSP_PROJECTS"},
    {"LongValuePointer", kJet4,
     [](auto& p) {
         requireU32(p, kLongValueReference + 4, rowPointer(30, 0));
         putU32(p, kLongValueReference + 4, rowPointer(0xFFFFFF, 0));
     },
     ErrorCode::Corrupt, "beyond the end of the file", ""},
    {"LongValueLength", kJet4,
     [](auto& p) {
         requireU32(p, kLongValueReference, 12757);
         putU32(p, kLongValueReference, 0x3FFFFFFF);
     },
     ErrorCode::Corrupt, "more than the file", ""},
};
INSTANTIATE_TEST_SUITE_P(BeyondTheEnd, DamagedFile, ::testing::ValuesIn(kBeyondTheEnd), caseName);

const Case kLoops[] = {
    {"DefinitionPointsToItself", kJet4,
     [](auto& p) {
         const std::uint64_t at = kProjectsTdef * kJet4Page + kTdefNextPage;
         requireU32(p, at, kProjectsTdefNext);
         putU32(p, at, kProjectsTdef);
     },
     ErrorCode::Corrupt, "loop", "MSP_PROJECTS"},
    {"DefinitionContinuationPointsBack", kJet4,
     [](auto& p) { putU32(p, kProjectsTdefNext * kJet4Page + kTdefNextPage, kProjectsTdef); },
     ErrorCode::Corrupt, "loop", "MSP_PROJECTS"},
    {"Jet3DefinitionPointsToItself", kJet3,
     [](auto& p) { putU32(p, kJet3Table1Tdef * kJet3Page + kTdefNextPage, kJet3Table1Tdef); },
     ErrorCode::Corrupt, "loop", "Table1"},
    // The third row of the chain leads back to the second.
    {"LongValueChain", kJet4,
     [](auto& p) {
         const std::uint64_t at = kChainPage3 * kJet4Page + kLongValueRowOffset;
         requireU32(p, at, rowPointer(kChainPage3 + 1, 0));
         putU32(p, at, rowPointer(kChainPage3 - 1, 0));
     },
     ErrorCode::Corrupt, "loops", ""},
};
INSTANTIATE_TEST_SUITE_P(Loops, DamagedFile, ::testing::ValuesIn(kLoops), caseName);

// Where the first column name's length is stored in MSP_PROJECTS's definition.
std::uint64_t firstColumnNameLength(const std::string& p) {
    const std::uint64_t tdef = kProjectsTdef * kJet4Page;
    return tdef + kTdefBlockEnd + getU32(p, tdef + kTdefRealIndexCount) * kRealIndexEntry +
           getU16(p, tdef + kTdefColumnCount) * kColumnEntry;
}

const Case kLyingDefinitions[] = {
    {"ColumnCountHuge", kJet4,
     [](auto& p) { putU16(p, kProjectsTdef * kJet4Page + kTdefColumnCount, 0xFFFF); },
     ErrorCode::Corrupt, "claims 65535 columns", "MSP_PROJECTS"},
    {"ColumnsPastTheEnd", kJet4,
     [](auto& p) { putU16(p, kProjectsTdef * kJet4Page + kTdefColumnCount, 1000); },
     ErrorCode::Corrupt, "a column definition lies outside", "MSP_PROJECTS"},
    {"ColumnNamePastTheEnd", kJet4, [](auto& p) { putU16(p, firstColumnNameLength(p), 0xFFFF); },
     ErrorCode::Corrupt, "a column name lies outside", "MSP_PROJECTS"},
    {"IndexCountHuge", kJet4,
     [](auto& p) { putU32(p, kProjectsTdef * kJet4Page + kTdefRealIndexCount, 0x7FFFFFFF); },
     ErrorCode::Corrupt, "indexes", "MSP_PROJECTS"},
};
INSTANTIATE_TEST_SUITE_P(LyingDefinition, DamagedFile, ::testing::ValuesIn(kLyingDefinitions),
                         caseName);

const std::vector<std::uint8_t> kPng = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const std::vector<std::uint8_t> kZip = {'P', 'K', 0x03, 0x04, 0x14, 0x00, 0x00, 0x00};

const Case kNotADatabase[] = {
    {"RandomBytes", kJet4, [](auto& p) { fillFile(p, {}, 64 * 1024); },
     ErrorCode::UnrecognizedFormat, "Unrecognized database format", ""},
    {"Png", kJet4, [](auto& p) { fillFile(p, kPng, 16 * 1024); }, ErrorCode::UnrecognizedFormat,
     "Unrecognized database format", ""},
    {"Zip", kJet4, [](auto& p) { fillFile(p, kZip, 16 * 1024); }, ErrorCode::UnrecognizedFormat,
     "Unrecognized database format", ""},
    // A real header in front of noise: the damage is found past the header.
    {"RandomBytesAfterARealHeader", kJet4,
     [](auto& p) { fillFile(p, readBytes(p, 0, kJet4Page), 64 * 1024); }, ErrorCode::Corrupt,
     "not a table definition page", ""},
};
INSTANTIATE_TEST_SUITE_P(NotADatabase, DamagedFile, ::testing::ValuesIn(kNotADatabase), caseName);

}  // namespace
