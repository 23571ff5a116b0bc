// Replays every file of a seed folder through a fuzz target once: the fuzz targets' regular
// test run in the host build (the long runs use libFuzzer's own driver).
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    int files = 0;
    for (int a = 1; a < argc; ++a) {
        DIR* dir = opendir(argv[a]);
        if (dir == nullptr) {
            fprintf(stderr, "replay: cannot open %s\n", argv[a]);
            return 1;
        }
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            std::string path = std::string(argv[a]) + "/" + entry->d_name;
            FILE* f = fopen(path.c_str(), "rb");
            if (f == nullptr) continue;
            std::vector<uint8_t> bytes;
            int c;
            while ((c = fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
            fclose(f);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++files;
        }
        closedir(dir);
    }
    printf("replay: %d inputs\n", files);
    return files > 0 ? 0 : 1;
}
