#include "jet/store/row_spill.h"

#include <cstring>
#include <type_traits>
#include <utility>

#include "jet/base/error.h"

namespace jet::store {
namespace {

constexpr std::size_t kBufferBytes = 1 << 20;

// A value holding the default of alternative `k`.
template <std::size_t... K>
Value defaultOf(std::size_t k, std::index_sequence<K...>) {
    Value v;
    static_cast<void>(((k == K ? (v.emplace<K>(), true) : false) || ...));
    return v;
}

Value variantOfIndex(std::size_t k, const std::string& folder) {
    if (k >= std::variant_size_v<Value>) {
        throw Error(ErrorCode::Io, "A temporary file in '" + folder +
                                       "' holding rows being rewritten was changed under it.");
    }
    return defaultOf(k, std::make_index_sequence<std::variant_size_v<Value>>{});
}

}  // namespace

RowSpill::RowSpill(const std::string& databasePath)
    : folder_(file::posix::directoryOf(databasePath)),
      fd_(file::posix::anonymousFileIn(folder_, ".quillfen-rows")) {
    buffer_.reserve(kBufferBytes);
}

// Each value: the index of its alternative, then its bytes as they lie in memory (the file is
// read back by the same process), or for text and bytes their length and contents. The row is
// measured first and then written through a pointer: a row is many small pieces.
void RowSpill::add(const std::vector<Value>& row) {
    if (reading_) throw std::logic_error("RowSpill::add() after rewind()");
    std::size_t size = sizeof(std::uint32_t);
    for (const Value& v : row) {
        size +=
            1 + std::visit(
                    [](const auto& x) -> std::size_t {
                        using T = std::decay_t<decltype(x)>;
                        if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Bytes>) {
                            return sizeof(std::uint64_t) + x.size();
                        } else {
                            return sizeof x;
                        }
                    },
                    v);
    }
    const std::size_t start = buffer_.size();
    buffer_.resize(start + size);
    std::uint8_t* out = buffer_.data() + start;
    const auto put = [&out](const void* p, std::size_t n) {
        if (n != 0) std::memcpy(out, p, n);
        out += n;
    };
    const auto count = static_cast<std::uint32_t>(row.size());
    put(&count, sizeof count);
    for (const Value& v : row) {
        *out++ = static_cast<std::uint8_t>(v.index());
        std::visit(
            [&](const auto& x) {
                using T = std::decay_t<decltype(x)>;
                static_assert(std::is_trivially_copyable_v<T> || std::is_same_v<T, std::string> ||
                              std::is_same_v<T, Bytes>);
                if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Bytes>) {
                    const auto n = static_cast<std::uint64_t>(x.size());
                    put(&n, sizeof n);
                    put(x.data(), x.size());
                } else {
                    put(&x, sizeof x);
                }
            },
            v);
    }
    ++rows_;
    if (buffer_.size() >= kBufferBytes) flush();
}

void RowSpill::flush() {
    if (buffer_.empty()) return;
    file::posix::writeAll(fd_.get(), buffer_.data(), buffer_.size(), written_,
                          "a temporary file in " + folder_);
    written_ += buffer_.size();
    buffer_.clear();
}

void RowSpill::rewind() {
    if (!reading_) flush();
    reading_ = true;
    buffer_.clear();
    at_ = 0;
    offset_ = 0;
    read_ = 0;
}

// Keeps the bytes not yet decoded and reads the next part of the file after them.
void RowSpill::fill() {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at_));
    at_ = 0;
    const std::size_t have = buffer_.size();
    const std::size_t want = std::max(kBufferBytes, have);
    buffer_.resize(have + want);
    const std::size_t got = file::posix::readUpTo(fd_.get(), buffer_.data() + have, want, offset_,
                                                  "a temporary file in " + folder_);
    offset_ += got;
    buffer_.resize(have + got);
}

bool RowSpill::next(std::vector<Value>& row) {
    if (!reading_) rewind();
    if (read_ == rows_) return false;
    // Makes sure `n` more bytes are at hand; a row longer than the buffer makes it grow.
    const auto need = [&](std::size_t n) {
        while (buffer_.size() - at_ < n) {
            const std::size_t before = buffer_.size() - at_;
            fill();
            if (buffer_.size() - at_ == before) {
                throw Error(ErrorCode::Io, "A temporary file in '" + folder_ +
                                               "' holding rows being rewritten ended early.");
            }
        }
    };
    const auto getRaw = [&](auto& v) {
        need(sizeof v);
        std::memcpy(&v, buffer_.data() + at_, sizeof v);
        at_ += sizeof v;
    };
    std::uint32_t count = 0;
    getRaw(count);
    row.resize(count);
    for (Value& v : row) {
        need(1);
        const std::size_t kind = buffer_[at_++];
        // A value of the same kind as the row held before keeps its buffer.
        if (v.index() != kind) v = variantOfIndex(kind, folder_);
        std::visit(
            [&](auto& x) {
                using T = std::decay_t<decltype(x)>;
                if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Bytes>) {
                    std::uint64_t n = 0;
                    getRaw(n);
                    need(n);
                    const auto* p = buffer_.data() + at_;
                    x.assign(reinterpret_cast<const typename T::value_type*>(p),
                             reinterpret_cast<const typename T::value_type*>(p + n));
                    at_ += n;
                } else {
                    getRaw(x);
                }
            },
            v);
    }
    ++read_;
    return true;
}

}  // namespace jet::store
