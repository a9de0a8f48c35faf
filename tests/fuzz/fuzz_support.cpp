#include "fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

namespace fuzzsupport {

std::string fixture(const std::string& relative) {
    const char* dir = std::getenv("QUILLFEN_FIXTURES");
    return std::string(dir != nullptr && *dir != '\0' ? dir : QUILLFEN_FIXTURES) + "/" + relative;
}

Bytes readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "fuzz target: cannot read the fixture '%s' (set QUILLFEN_FIXTURES)\n",
                     path.c_str());
        std::abort();
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

MemoryFile::MemoryFile() {
    fd_ = ::memfd_create("quillfen-fuzz", MFD_CLOEXEC);
    if (fd_ < 0) {
        std::perror("fuzz target: memfd_create");
        std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() { ::close(fd_); }

void MemoryFile::assign(std::span<const std::uint8_t> bytes) {
    if (::ftruncate(fd_, 0) != 0) {
        std::perror("fuzz target: ftruncate");
        std::abort();
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) {
            std::perror("fuzz target: pwrite");
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
}

void addDefaultFlags(int* argc, char*** argv, std::initializer_list<const char*> extra) {
    // Kept for the life of the process: libFuzzer holds on to argv.
    static std::vector<char*> args;
    static const char* const kDefaults[] = {
        "-timeout=10",          // seconds per input: every input here is parsed in milliseconds
        "-rss_limit_mb=1024",   // ASan's shadow and quarantine need room, the inputs do not
        "-malloc_limit_mb=64",  // one allocation beyond this from a few KB of input is a finding
    };
    args.assign(*argv, *argv + 1);
    for (const char* flag : kDefaults) args.push_back(const_cast<char*>(flag));
    for (const char* flag : extra) args.push_back(const_cast<char*>(flag));
    args.insert(args.end(), *argv + 1, *argv + *argc);
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size()) - 1;
    *argv = args.data();
}

void checkError(const jet::Error& e, const std::string& path) {
    const std::string_view what = e.what();
    bool ok = !what.empty();
    const bool aboutTheFile = e.code() == jet::ErrorCode::Corrupt ||
                              e.code() == jet::ErrorCode::UnrecognizedFormat ||
                              e.code() == jet::ErrorCode::Io;
    if (!path.empty() && aboutTheFile && what.find(path) == std::string_view::npos) ok = false;
    if (!ok) {
        std::fprintf(stderr, "fuzz target: error %d does not say what is wrong with '%s': %s\n",
                     e.number(), path.c_str(), e.what());
        std::abort();
    }
}

std::size_t textLength(const jet::Value& v) {
    if (const auto* x = std::get_if<float>(&v)) return jet::formatSingle(*x).size();
    if (const auto* x = std::get_if<double>(&v)) return jet::formatDouble(*x).size();
    if (const auto* x = std::get_if<jet::Currency>(&v)) return jet::formatCurrency(*x).size();
    if (const auto* x = std::get_if<jet::Decimal>(&v)) return jet::formatDecimal(*x).size();
    if (const auto* x = std::get_if<jet::DateTime>(&v)) return jet::formatDateTime(*x).size();
    if (const auto* x = std::get_if<jet::DateTimeExtended>(&v)) {
        return jet::formatDateTimeExtended(*x).size();
    }
    if (const auto* x = std::get_if<jet::Guid>(&v)) return jet::formatGuid(*x).size();
    if (const auto* x = std::get_if<jet::Bytes>(&v)) return jet::formatHex(*x).size();
    if (const auto* x = std::get_if<std::string>(&v)) return x->size();
    return 0;
}

Bytes patched(const std::vector<Bytes>& bases, const std::uint8_t* data, std::size_t size) {
    Bytes file = bases[data[0] % bases.size()];
    std::size_t pos = 1;
    while (pos + 5 <= size && !file.empty()) {
        const std::uint32_t offset = data[pos] | (data[pos + 1] << 8) | (data[pos + 2] << 16) |
                                     (std::uint32_t{data[pos + 3]} << 24);
        const std::size_t length = data[pos + 4];
        pos += 5;
        const std::size_t at = offset % file.size();
        if (length == 0) {
            file.resize(at);
            continue;
        }
        const std::size_t n = std::min(length, size - pos);
        if (at + n > file.size()) file.resize(at + n);
        std::copy(data + pos, data + pos + n, file.begin() + static_cast<std::ptrdiff_t>(at));
        pos += n;
    }
    return file;
}

}  // namespace fuzzsupport
