#include "damage.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "jet/base/bytes.h"
#include "jet/check/map_reading.h"
#include "jet/database.h"
#include "jet/file/header.h"
#include "jet/store/data_page.h"
#include "jet/store/row_codec.h"

namespace checktest {

using jet::check::Fault;

DamagedCopy::DamagedCopy(const std::string& fixture) : path_(dir_.copyOf(fixture)) {
    std::ifstream in(path_, std::ios::binary);
    in.seekg(0x14);
    version_ = static_cast<std::uint8_t>(in.get());
    pageSize_ = format().pageSize;
}

std::uint32_t DamagedCopy::pageCount() const {
    return static_cast<std::uint32_t>(std::filesystem::file_size(path_) / pageSize_);
}

std::vector<std::uint8_t> DamagedCopy::page(std::uint32_t number) const {
    std::ifstream in(path_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(std::uint64_t{number} * pageSize_));
    std::vector<std::uint8_t> bytes(pageSize_);
    in.read(reinterpret_cast<char*>(bytes.data()), pageSize_);
    if (!in) throw std::runtime_error("cannot read page " + std::to_string(number));
    return bytes;
}

void DamagedCopy::writePage(std::uint32_t number, const std::vector<std::uint8_t>& bytes) {
    std::fstream out(path_, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(std::uint64_t{number} * pageSize_));
    out.write(reinterpret_cast<const char*>(bytes.data()), pageSize_);
    if (!out) throw std::runtime_error("cannot write page " + std::to_string(number));
}

std::uint16_t DamagedCopy::u16(std::uint32_t p, std::size_t offset) const {
    return jet::u16(page(p), offset);
}

void DamagedCopy::putU16(std::uint32_t p, std::size_t offset, std::uint16_t value) {
    auto bytes = page(p);
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    writePage(p, bytes);
}

void DamagedCopy::putU32(std::uint32_t p, std::size_t offset, std::uint32_t value) {
    putU16(p, offset, static_cast<std::uint16_t>(value));
    putU16(p, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint32_t DamagedCopy::definitionPage(const std::string& table) const {
    const auto db = jet::Database::open(path_);
    return db->table(table)->definitionPage;
}

jet::check::TableLayout DamagedCopy::layout(const std::string& table) const {
    jet::file::PageFile file(path_);
    const auto header = jet::file::openHeader(file, "");
    return jet::check::readTableLayout(file, *header.format, definitionPage(table));
}

std::uint32_t DamagedCopy::indexRoot(const std::string& table, const std::string& index) const {
    const auto db = jet::Database::open(path_);
    for (const auto& ix : db->table(table)->indexes) {
        if (ix.name == index) return layout(table).indexes.at(ix.dataNumber).rootPage;
    }
    throw std::runtime_error("no index " + index);
}

std::vector<std::uint32_t> DamagedCopy::dataPages(const std::string& table) const {
    jet::file::PageFile file(path_);
    const auto header = jet::file::openHeader(file, "");
    const auto rows = layout(table).usedPagesRow;
    return jet::check::readMap(file, *header.format, jet::RowPointer::from(rows)).pages;
}

void DamagedCopy::setMapBit(std::uint32_t rowPointer, std::uint32_t target, bool on) {
    const auto where = jet::RowPointer::from(rowPointer);
    auto bytes = page(where.page);
    const auto row = jet::store::rowAt(format(), bytes, where.slot);
    if (row[0] != 0) throw std::runtime_error("not an inline usage map");
    const std::uint32_t first = jet::u32(row, 1);
    const std::size_t offset =
        static_cast<std::size_t>(row.data() - bytes.data()) + 5 + (target - first) / 8;
    const auto bit = static_cast<std::uint8_t>(1u << ((target - first) % 8));
    bytes[offset] = on ? (bytes[offset] | bit) : (bytes[offset] & ~bit);
    writePage(where.page, bytes);
}

std::size_t DamagedCopy::slotOffset(std::uint16_t slot) const {
    return format().dataRowCountOffset + 2 + std::size_t{slot} * 2;
}

std::size_t DamagedCopy::rowStart(std::uint32_t p, std::uint16_t slot) const {
    return u16(p, slotOffset(slot)) & 0x1FFF;
}

std::vector<DamagedCopy::LongValueField> DamagedCopy::longValueFields(
    const std::string& table) const {
    const auto db = jet::Database::open(path_);
    jet::file::PageFile file(path_);
    const auto header = jet::file::openHeader(file, "");
    const auto def = db->table(table);
    const jet::store::RowDecoder decoder(file, format(), *def, header.codePage);
    std::vector<LongValueField> found;
    for (const std::uint32_t p : dataPages(table)) {
        const auto bytes = page(p);
        const jet::store::DataPage dataPage(format(), bytes);
        for (std::uint16_t slot = 0; slot < dataPage.slotCount(); ++slot) {
            const auto s = dataPage.slot(slot);
            if (s.deleted || s.forwarded) continue;
            std::vector<std::optional<jet::ByteSpan>> fields;
            decoder.locate(s.bytes, fields);
            for (std::size_t i = 0; i < fields.size(); ++i) {
                const auto type = def->columns[i].type;
                if (!fields[i] || (type != jet::ColumnType::Memo && type != jet::ColumnType::OLE)) {
                    continue;
                }
                found.push_back(LongValueField{
                    p, static_cast<std::size_t>(fields[i]->data() - bytes.data()),
                    jet::u32(*fields[i], 0), jet::RowPointer::from(jet::u32(*fields[i], 4))});
            }
        }
    }
    return found;
}

std::optional<DamagedCopy::ChainStart> DamagedCopy::firstChainedLongValue(
    const std::vector<std::string>& tables) const {
    for (const auto& name : tables) {
        for (const auto& f : longValueFields(name)) {
            // A chain: neither of the two top bits of the length set.
            if ((f.header & 0xC0000000) != 0) continue;
            return ChainStart{name, f.first.page, f.first.slot,
                              rowStart(f.first.page, f.first.slot)};
        }
    }
    return std::nullopt;
}

std::vector<Fault> DamagedCopy::check() const { return jet::check::checkDatabase(path_); }

bool hasFault(const std::vector<Fault>& found, jet::check::FaultKind kind,
              const std::vector<std::string>& parts) {
    for (const auto& f : found) {
        if (f.kind != kind || f.severity != jet::check::Severity::Fault) continue;
        bool all = true;
        for (const auto& part : parts) all = all && f.description.find(part) != std::string::npos;
        if (all) return true;
    }
    return false;
}

std::size_t countFaults(const std::vector<Fault>& found) {
    std::size_t n = 0;
    for (const auto& f : found) n += f.severity == jet::check::Severity::Fault ? 1 : 0;
    return n;
}

std::string describe(const std::vector<Fault>& found) {
    std::string text;
    for (const auto& f : found) {
        text += std::string(f.severity == jet::check::Severity::Warning ? "warning, " : "") +
                jet::check::faultKindName(f.kind) + ": " + f.description + "\n";
    }
    return text;
}

}  // namespace checktest
