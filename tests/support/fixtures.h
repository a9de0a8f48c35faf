// Where the tests find the real Access files, and a scratch copy for anything that writes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// shared/fixtures/<relative>, e.g. fixture("jet4/test2000.mdb"); an absolute path as it is.
std::string fixture(const std::string& relative);

// Every Access 97 file: shared/fixtures/jet3 and, where present, shared/fixtures-extra/jet3,
// as paths fixture() and TempDir::copyOf take ("jet3/test97.mdb",
// "../fixtures-extra/jet3/indexTestV1997.mdb"), sorted.
std::vector<std::string> jet3Fixtures();

// A fresh temporary folder, removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Copies a fixture into the folder (writable) and returns the copy's path.
    std::string copyOf(const std::string& relative) const;

private:
    std::filesystem::path path_;
};

}  // namespace testsupport
