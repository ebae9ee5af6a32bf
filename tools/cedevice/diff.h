// What changed on a device between two snapshots: files and folders deleted, added and
// changed, folders and files moved (one move, not a deletion and an addition for each file),
// registry keys added and removed, and values added, removed and changed, old -> new.
#pragma once

#include "snapshot.h"

#include <string>
#include <vector>

namespace ce::snapshot {

struct FileRecord {
    std::u16string path;  // device path, "\Temp\a.tmp"
    bool folder = false;
    uint64_t size = 0, written = 0, created = 0;
    uint32_t attributes = 0;
};

struct FileChange {
    FileRecord before, after;
};

struct Move {
    std::u16string from, to;
    bool folder = false;
    uint64_t files = 0;  // files moved (1 for a file)
    uint64_t bytes = 0;
};

struct ValueRecord {
    std::u16string key;  // "HKEY_LOCAL_MACHINE\System\GWE"
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

struct ValueChange {
    ValueRecord before, after;
};

// Each list is sorted by path (case-insensitively, as the device compares them). A moved folder's
// files are neither deleted nor added; the files of a deleted folder are listed as deleted, and
// the values of a removed key as removed.
struct Diff {
    std::vector<FileRecord> filesDeleted, filesAdded, foldersDeleted, foldersAdded;
    std::vector<FileChange> filesChanged, foldersChanged;
    std::vector<Move> moves;
    std::vector<std::u16string> keysAdded, keysRemoved;
    std::vector<ValueRecord> valuesAdded, valuesRemoved;
    std::vector<ValueChange> valuesChanged;
    bool empty() const;
};

Diff compare(const Snapshot& before, const Snapshot& after);

// What the diff is measured from, for its heading.
struct Since {
    std::string snapshot;  // its name; empty for the factory image
    std::string taken;
};

std::string formatText(const Diff& diff, const Since& since);
std::string formatJson(const Diff& diff, const Since& since);

}  // namespace ce::snapshot
