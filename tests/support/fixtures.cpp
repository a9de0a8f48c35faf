#include "support/fixtures.h"

#include <stdlib.h>

#include <stdexcept>

namespace testsupport {

std::string fixture(const std::string& relative) {
    return std::string(QUILLFEN_FIXTURES) + "/" + relative;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillfen-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::copyOf(const std::string& relative) const {
    const std::filesystem::path from = fixture(relative);
    const std::filesystem::path to = path_ / from.filename();
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return to.string();
}

}  // namespace testsupport
