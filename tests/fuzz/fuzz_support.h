// What the libFuzzer targets share: where the real Access files are, an in-memory file the
// engine can open by path, and the run limits every target starts with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/base/value.h"

namespace fuzzsupport {

using Bytes = std::vector<std::uint8_t>;

// shared/fixtures/<relative>; the folder comes from $QUILLFEN_FIXTURES or the build.
std::string fixture(const std::string& relative);

// The whole file; aborts with a message when it cannot be read, since a target without its
// fixtures would fuzz nothing.
Bytes readWholeFile(const std::string& path);

// One of `bases`, patched: the input is one byte that picks the base, then records of a 4-byte
// little-endian offset and a length byte. A record with length 0 cuts the file at the offset;
// otherwise the length's bytes that follow are written at the offset (both taken modulo the
// file size), extending the file when they run past its end.
Bytes patched(const std::vector<Bytes>& bases, const std::uint8_t* data, std::size_t size);

// A file that lives in memory (memfd) but has a path, because the engine opens files by path.
// Nothing touches the disk, so parallel fuzzing jobs never share a file.
class MemoryFile {
public:
    MemoryFile();
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void assign(std::span<const std::uint8_t> bytes);  // replaces the whole content
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

// Puts the targets' defaults in front of the command line, so that flags given there win.
// The limits matter for CI, which passes none: libFuzzer's own timeout (20 minutes) would let
// a hang outlast the run, and its memory limit is far above what any small input may need.
void addDefaultFlags(int* argc, char*** argv, std::initializer_list<const char*> extra = {});

// Damage must end in a jet::Error that speaks to people: a description, and for a damaged or
// foreign file, the file's name. Aborts (a finding) otherwise.
void checkError(const jet::Error& e, const std::string& path);

// The length of the value's text form as the dump prints it, so that damaged values meet the
// formatting too.
std::size_t textLength(const jet::Value& v);

}  // namespace fuzzsupport
