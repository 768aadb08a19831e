// Runs a fuzz target's harness once over every input kept in the folders it is given, so that the
// ordinary test build (any compiler, with the sanitizers) replays them without libFuzzer: every
// input that once found a fault stays a regression test.
//
// Usage: fuzz-replay-<target> FOLDER... ; fails when a folder holds no input at all.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> files;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return files;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string path = folder + "/" + entry->d_name;
        struct stat info;
        if (entry->d_name[0] != '.' && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            files.push_back(path);
        }
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

bool ReadAll(const std::string& path, std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    bytes.clear();
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    size_t replayed = 0;
    std::vector<uint8_t> bytes;
    for (int i = 1; i < argc; ++i) {
        for (const std::string& path : FilesIn(argv[i])) {
            if (!ReadAll(path, bytes)) {
                std::fprintf(stderr, "cannot read %s\n", path.c_str());
                return 1;
            }
            // Named first, so that the input behind a crash is the last one listed.
            std::printf("%s\n", path.c_str());
            std::fflush(stdout);
            // A copy of exactly the input's size, so that a read past it is seen.
            std::vector<uint8_t> input(bytes);
            static uint8_t none;
            LLVMFuzzerTestOneInput(input.empty() ? &none : input.data(), input.size());
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
