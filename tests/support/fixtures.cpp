#include "support/fixtures.h"

#include <stdlib.h>

#include <algorithm>
#include <stdexcept>

namespace testsupport {

std::string fixture(const std::string& relative) {
    if (!relative.empty() && relative.front() == '/') return relative;  // a file made elsewhere
    return std::string(QUILLFEN_FIXTURES) + "/" + relative;
}

std::vector<std::string> jet3Fixtures() {
    std::vector<std::string> out;
    for (const std::string dir : {"jet3", "../fixtures-extra/jet3"}) {
        std::error_code absent;
        for (const auto& e : std::filesystem::directory_iterator(fixture(dir), absent)) {
            if (e.path().extension() == ".mdb")
                out.push_back(dir + "/" + e.path().filename().string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
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
