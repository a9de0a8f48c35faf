#include "jet/new_database.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <span>

#include "jet/base/error.h"

// The templates are linked in as they are, byte for byte (see templates/README.md). `symbol`
// names a declaration, which cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define QUILLFEN_EMBED(symbol, file)                \
    __asm__(                                        \
        ".section .rodata\n"                        \
        ".global " #symbol                          \
        "\n"                                        \
        ".balign 16\n" #symbol                      \
        ":\n"                                       \
        ".incbin \"" QUILLFEN_TEMPLATE_DIR "/" file \
        "\"\n"                                      \
        ".global " #symbol "_end\n" #symbol         \
        "_end:\n"                                   \
        ".previous\n");                             \
    extern "C" const unsigned char symbol[];        \
    extern "C" const unsigned char symbol##_end[];
// NOLINTEND(bugprone-macro-parentheses)

QUILLFEN_EMBED(quillfen_template_2000, "access2000.mdb")
QUILLFEN_EMBED(quillfen_template_2007, "access2007.accdb")
QUILLFEN_EMBED(quillfen_template_2010, "access2010.accdb")
QUILLFEN_EMBED(quillfen_template_2016, "access2016.accdb")

namespace jet {
namespace {

std::span<const unsigned char> templateOf(NewDatabaseFormat format) {
    switch (format) {
        case NewDatabaseFormat::Access2000:
            return {quillfen_template_2000, quillfen_template_2000_end};
        case NewDatabaseFormat::Access2007:
            return {quillfen_template_2007, quillfen_template_2007_end};
        case NewDatabaseFormat::Access2010:
            return {quillfen_template_2010, quillfen_template_2010_end};
        case NewDatabaseFormat::Access2016:
            return {quillfen_template_2016, quillfen_template_2016_end};
    }
    return {};
}

std::string lowerExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

[[noreturn]] void failIo(const std::string& path, const char* what, int err) {
    throw Error(ErrorCode::Io,
                "Cannot create '" + path + "': " + what + " (" + std::strerror(err) + ").");
}

}  // namespace

std::optional<NewDatabaseFormat> newDatabaseFormatNamed(const std::string& name) {
    if (name == "2000") return NewDatabaseFormat::Access2000;
    if (name == "2007") return NewDatabaseFormat::Access2007;
    if (name == "2010") return NewDatabaseFormat::Access2010;
    if (name == "2016") return NewDatabaseFormat::Access2016;
    return std::nullopt;
}

std::optional<NewDatabaseFormat> newDatabaseFormatFor(const std::string& path) {
    const auto ext = lowerExtension(path);
    if (ext == ".mdb") return NewDatabaseFormat::Access2000;
    if (ext == ".accdb") return NewDatabaseFormat::Access2007;
    return std::nullopt;
}

void createDatabase(const std::string& path, NewDatabaseFormat format) {
    const auto ext = lowerExtension(path);
    const bool mdb = format == NewDatabaseFormat::Access2000;
    if (ext != (mdb ? ".mdb" : ".accdb")) {
        throw Error(ErrorCode::Unsupported,
                    "Cannot create '" + path + "': " +
                        (mdb ? "an Access 2000 database is a .mdb file."
                             : "an Access 2007 or later database is a .accdb file."));
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) {
            throw Error(ErrorCode::FileExists,
                        "Cannot create '" + path + "': the file already exists.");
        }
        failIo(path, "the file cannot be opened for writing", errno);
    }
    const auto bytes = templateOf(format);
    std::size_t done = 0;
    int err = 0;
    while (done < bytes.size() && !err) {
        const auto n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            err = errno;
        }
    }
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (err) {
        ::unlink(path.c_str());
        failIo(path, "writing failed", err);
    }
}

}  // namespace jet
