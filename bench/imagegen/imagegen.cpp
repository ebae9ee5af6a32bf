// imagegen: writes a large device image for benchmarks.
//   imagegen DIR [--files N] [--folders M] [--tmp-every K] [--factory]
// An empty image (or the factory image with --factory) plus, under \Bench, M folders three
// levels deep holding N files in all; every K-th file is a .tmp, the others .dat, .txt, .log
// and .bak; every 50th folder is named Temp<n>. File sizes run from 16 to 4095 bytes.
#include "hostsupport.h"
#include "kernel/kernel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2 || !strcmp(argv[1], "--help")) {
        fprintf(stderr,
                "usage: imagegen DIR [--files N] [--folders M] [--tmp-every K] [--factory]\n");
        return argc < 2 ? 2 : 0;
    }
    std::filesystem::path dir = argv[1];
    long files = 100000, folders = 10000, tmpEvery = 10;
    bool factory = false;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        auto number = [&](long& out) {
            long long v = 0;
            if (i + 1 >= argc || !ce::host::parseNumber(argv[++i], 1, 100000000, v)) {
                fprintf(stderr, "imagegen: bad value for %s\n", a.c_str());
                exit(2);
            }
            out = static_cast<long>(v);
        };
        if (a == "--files")
            number(files);
        else if (a == "--folders")
            number(folders);
        else if (a == "--tmp-every")
            number(tmpEvery);
        else if (a == "--factory")
            factory = true;
        else {
            fprintf(stderr, "imagegen: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    try {
        ce::kernel::createImage(
            dir, factory ? ce::kernel::ImageContents::Factory : ce::kernel::ImageContents::Empty);
    } catch (const ce::DeviceError& e) {
        fprintf(stderr, "imagegen: %s\n", e.what());
        return 1;
    }
    // folders: 10 groups of 10 sets, the rest spread over the sets
    std::string base = (dir / "root" / "Bench").string();
    mkdir(base.c_str(), 0755);
    std::vector<std::string> leaves, sets;
    for (long a = 0; a < 10 && static_cast<long>(leaves.size()) < folders; ++a) {
        std::string group = base + "/Group" + std::to_string(a);
        mkdir(group.c_str(), 0755);
        leaves.push_back(group);
        for (long b = 0; b < 10 && static_cast<long>(leaves.size()) < folders; ++b) {
            std::string set = group + "/Set" + std::to_string(b);
            mkdir(set.c_str(), 0755);
            leaves.push_back(set);
            sets.push_back(set);
        }
    }
    for (long n = 0; static_cast<long>(leaves.size()) < folders; ++n) {
        std::string name =
            (n % 50 == 0) ? "Temp" + std::to_string(n) : "Folder" + std::to_string(n);
        std::string p = sets[static_cast<size_t>(n) % sets.size()] + "/" + name;
        mkdir(p.c_str(), 0755);
        leaves.push_back(p);
    }
    long made = static_cast<long>(leaves.size());
    static const char* const kinds[] = {".dat", ".txt", ".log", ".bak"};
    std::string content(4096, 'x');
    for (long f = 0; f < files; ++f) {
        const std::string& folder =
            leaves[static_cast<size_t>(f % static_cast<long>(leaves.size()))];
        std::string name =
            folder + "/file" + std::to_string(f) + ((f % tmpEvery == 0) ? ".tmp" : kinds[f % 4]);
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            fprintf(stderr, "imagegen: cannot write %s: %s\n", name.c_str(), strerror(errno));
            return 1;
        }
        size_t size = 16 + static_cast<size_t>((f * 7919) % 4080);
        if (write(fd, content.data(), size) != static_cast<ssize_t>(size)) {
            fprintf(stderr, "imagegen: cannot write %s\n", name.c_str());
            close(fd);
            return 1;
        }
        close(fd);
    }
    printf("%s: %ld folders, %ld files (%ld .tmp) under \\Bench\n", dir.c_str(), made, files,
           (files + tmpEvery - 1) / tmpEvery);
    return 0;
}
