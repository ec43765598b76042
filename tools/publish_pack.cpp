#include "tools/publish_pack.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tidewell/lzh/lzh_archive_writer.h"
#include "tidewell/lzh/lzh_path.h"
#include "tools/publish_pack_platform.h"

namespace {

enum { kPathCapacity = 520, kMaxDepth = 64 };

const char kStoredSeparator = '\xFF';

// One entry to pack: where it is on disk and how the archive names it.
struct PackItem {
    std::string source;
    std::string directory;  // every component followed by 0xFF
    std::string name;       // empty for a directory entry
    PackFileInfo info;
};

struct Collection {
    std::vector<PackItem> items;
    std::set<std::string> stored;  // directory + name of every item, once each
};

int Fail(const char* what, const char* why)
{
    std::fprintf(stderr, "tidewell-publish: %s: %s\n", what, why);
    return 2;
}

// The components an argument keeps in the archive: no drive, no root and
// no "." components; ".." is refused (returns false). A separator never
// hides in the second byte of a double-byte character.
bool StoredComponents(const char* argument, std::vector<std::string>* components)
{
    const char* p = argument;
#ifdef _WIN32
    if (((p[0] | 0x20) >= 'a' && (p[0] | 0x20) <= 'z') && p[1] == ':') p += 2;
#endif
    std::string part;
    for (;; p++) {
        if (*p == '\0' || PackIsSeparator(*p)) {
            if (part == "..") return false;
            if (!part.empty() && part != ".") components->push_back(part);
            part.clear();
            if (*p == '\0') return true;
            continue;
        }
        if (LzhIsLeadByte((unsigned char)*p) && p[1] != '\0') part += *p++;
        part += *p;
    }
}

void AddItem(Collection* c, const PackItem& item)
{
    if (c->stored.insert(item.directory + item.name).second) c->items.push_back(item);
}

void AddName(void* context, const char* name)
{
    static_cast<std::vector<std::string>*>(context)->push_back(name);
}

// Adds the file or directory at `path` (a directory with everything below
// it, in name order) under the stored directory and name given.
int Collect(const std::string& path, const std::string& directory, const std::string& name, Collection* c, int depth)
{
    if (path.size() >= kPathCapacity) return Fail(path.c_str(), "path too long");
    PackItem item = {path, directory, name, {}};
    if (PackQuery(path.c_str(), &item.info) != 0) return Fail(path.c_str(), "cannot be found");
    if (!item.info.isDirectory) {
        AddItem(c, item);
        return 0;
    }
    if (depth > kMaxDepth) return Fail(path.c_str(), "directories nested too deeply");
    item.directory = name.empty() ? directory : directory + name + kStoredSeparator;
    item.name.clear();
    if (!item.directory.empty()) AddItem(c, item);
    std::vector<std::string> children;
    if (PackListDirectory(path.c_str(), AddName, &children) != 0) return Fail(path.c_str(), "cannot be listed");
    std::sort(children.begin(), children.end());
    const std::string prefix = PackIsSeparator(path.back()) ? path : path + kPackSeparator;
    for (const std::string& child : children) {
        int result = Collect(prefix + child, item.directory, child, c, depth + 1);
        if (result != 0) return result;
    }
    return 0;
}

int CollectArgument(const char* argument, Collection* c)
{
    std::vector<std::string> parts;
    if (!StoredComponents(argument, &parts)) return Fail(argument, "'..' would lead out of the archive");
    std::string directory, name;
    for (size_t i = 0; i < parts.size(); i++) {
        if (i + 1 < parts.size())
            directory += parts[i] + kStoredSeparator;
        else
            name = parts[i];
    }
    return Collect(argument, directory, name, c, 0);
}

// The stored path with '/' between components, for messages.
std::string Shown(const PackItem& item)
{
    std::string shown = item.directory + item.name;
    std::replace(shown.begin(), shown.end(), kStoredSeparator, '/');
    return shown;
}

// Refuses what the updater would refuse to extract: device names, drives,
// streams and names beyond a header's limits.
int CheckItem(const PackItem& item)
{
    std::string directory = item.directory;
    std::replace(directory.begin(), directory.end(), kStoredSeparator, '\\');
    LzhPathResult where = LzhCheckEntryPath(directory.c_str(), item.name.c_str());
    if (where != LZH_PATH_OK) return Fail(Shown(item).c_str(), LzhPathResultText(where));
    return 0;
}

bool SameFile(const PackFileInfo& a, const PackFileInfo& b)
{
    return a.volume == b.volume && a.index == b.index;
}

struct Totals {
    int entries;
    uint64_t original;
    uint64_t packed;
};

void Report(const LzhArchiveWriter& w, const PackItem& item, Totals* totals)
{
    std::printf("%s %10u %10u %s\n", w.lastMethod, unsigned(w.lastOriginalSize), unsigned(w.lastPackedSize),
                Shown(item).c_str());
    totals->entries++;
    totals->original += w.lastOriginalSize;
    totals->packed += w.lastPackedSize;
}

LzhArchiveWriter g_writer;

int PackItems(const char* archive, const Collection& c, unsigned dictionaryBits)
{
    LzhArchiveWriter* w = &g_writer;
    int result = LzhWriterOpen(w, archive);
    if (result != LZH_WRITE_OK) return Fail(archive, LzhWriteResultText(result));
    w->dictionaryBits = dictionaryBits;
    // Neither the archive nor its unfinished copy goes into itself.
    PackFileInfo self[2];
    const bool known[2] = {PackQuery(archive, &self[0]) == 0, PackQuery(w->partPath, &self[1]) == 0};
    Totals totals = {0, 0, 0};
    for (const PackItem& item : c.items) {
        if ((known[0] && SameFile(item.info, self[0])) || (known[1] && SameFile(item.info, self[1]))) continue;
        LzhPackEntry entry = {item.name.c_str(), item.directory.c_str(), item.info.creationTime,
                              item.info.lastAccessTime, item.info.lastWriteTime};
        result =
            item.info.isDirectory ? LzhWriterAddDirectory(w, &entry) : LzhWriterAddFile(w, &entry, item.source.c_str());
        if (result != LZH_WRITE_OK) {
            LzhWriterAbandon(w);
            return Fail(result == LZH_WRITE_OUTPUT ? archive : item.source.c_str(), LzhWriteResultText(result));
        }
        Report(*w, item, &totals);
    }
    // Only the archive itself was named: an empty archive in its place
    // would throw the old one away and apply as an update that does nothing.
    if (totals.entries == 0) {
        LzhWriterAbandon(w);
        return Fail(archive, "nothing to pack besides the archive itself");
    }
    if (LzhWriterClose(w) != LZH_WRITE_OK) return Fail(archive, LzhWriteResultText(LZH_WRITE_OUTPUT));
    std::printf("%d entries, %llu bytes packed into %llu (%.1f%%)\n", totals.entries,
                (unsigned long long)totals.original, (unsigned long long)totals.packed,
                totals.original ? 100.0 * double(totals.packed) / double(totals.original) : 100.0);
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: tidewell-publish pack [--method lh5|lh7] ARCHIVE FILE...\n");
    return 1;
}

}  // namespace

int RunPackCommand(int argc, char** argv)
{
    unsigned dictionaryBits = 13;  // -lh5-
    if (argc >= 2 && std::strcmp(argv[0], "--method") == 0) {
        if (std::strcmp(argv[1], "lh7") == 0)
            dictionaryBits = 16;
        else if (std::strcmp(argv[1], "lh5") != 0)
            return Usage();
        argc -= 2;
        argv += 2;
    }
    if (argc < 2) return Usage();
    Collection c;
    for (int i = 1; i < argc; i++) {
        int result = CollectArgument(argv[i], &c);
        if (result != 0) return result;
    }
    if (c.items.empty()) return Fail(argv[0], "nothing to pack");
    for (const PackItem& item : c.items) {
        int result = CheckItem(item);
        if (result != 0) return result;
    }
    return PackItems(argv[0], c, dictionaryBits);
}
