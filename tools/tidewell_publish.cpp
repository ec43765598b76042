// tidewell-publish: the update publisher's side. An update server is two
// files on any web server: the record this tool writes and the archive.
//
//   tidewell-publish pack [--method lh5|lh7] ARCHIVE FILE...
//   tidewell-publish write RECORD --id HEX32 --version A.B.C.D --product NAME
//                    --program FILE --info-url URL [--archive-url URL]
//                    [--archive FILE] [--notes FILE] [--start-program]
//                    [--temp-folder] [--sign PRIVATE-KEY]
//   tidewell-publish show RECORD [--key PUBLIC-KEY] [--archive FILE]
//                                         (also: --show RECORD ...)
//   tidewell-publish keygen PRIVATE-KEY PUBLIC-KEY
//
// Exit status 0 on success, 1 for a usage error, 2 when a file cannot be
// read or written (or a key file is damaged), 3 when show finds a record the
// updater refuses, or one that a given key or archive does not match.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tidewell/updater/crc16.h"
#include "tools/publish_pack.h"
#include "tools/publish_record.h"
#include "tools/publish_sign.h"

namespace {

enum { kUsage = 1, kFileError = 2, kRefused = 3 };

int Fail(int status, const std::string& message)
{
    std::fprintf(stderr, "tidewell-publish: %s\n", message.c_str());
    return status;
}

bool ReadFile(const std::string& path, std::string* bytes)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    bytes->clear();
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) bytes->append(chunk, n);
    bool ok = !std::ferror(file);
    (void)std::fclose(file);  // read only: nothing to lose
    return ok;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// The options of "write", as given.
struct WriteOptions {
    std::string output, id, version, product, program, infoUrl, archiveUrl, archive, notes, signKey;
    bool startProgram = false;
    bool tempFolder = false;
};

bool ParseWriteOptions(int argc, char** argv, WriteOptions* options, std::string* problem)
{
    struct Valued {
        const char* name;
        std::string WriteOptions::*field;
    } const kValued[] = {{"--id", &WriteOptions::id},
                         {"--version", &WriteOptions::version},
                         {"--product", &WriteOptions::product},
                         {"--program", &WriteOptions::program},
                         {"--info-url", &WriteOptions::infoUrl},
                         {"--archive-url", &WriteOptions::archiveUrl},
                         {"--archive", &WriteOptions::archive},
                         {"--notes", &WriteOptions::notes},
                         {"--sign", &WriteOptions::signKey}};
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--start-program") {
            options->startProgram = true;
            continue;
        }
        if (arg == "--temp-folder") {
            options->tempFolder = true;
            continue;
        }
        const Valued* match = nullptr;
        for (const Valued& valued : kValued)
            if (arg == valued.name) match = &valued;
        if (match && i + 1 < argc) {
            options->*(match->field) = argv[++i];
        } else if (!match && arg.compare(0, 2, "--") != 0 && options->output.empty()) {
            options->output = arg;
        } else {
            *problem = match ? arg + " needs a value" : "unknown argument " + arg;
            return false;
        }
    }
    const char* required[][2] = {{"RECORD", options->output.c_str()},
                                 {"--id", options->id.c_str()},
                                 {"--version", options->version.c_str()},
                                 {"--info-url", options->infoUrl.c_str()}};
    for (const auto& item : required) {
        if (item[1][0] == '\0') {
            *problem = std::string(item[0]) + " is missing";
            return false;
        }
    }
    return true;
}

// CRC-16 and SHA-256 of the whole archive file.
bool ArchiveSums(const std::string& path, uint16_t* crc, uint8_t digest[kSha256Size])
{
    std::string bytes;
    if (!ReadFile(path, &bytes)) return false;
    *crc = Crc16Update(bytes.data(), static_cast<int32_t>(bytes.size()), kCrc16Initial);
    return Sha256(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), digest);
}

int Write(int argc, char** argv)
{
    WriteOptions options;
    std::string problem;
    if (!ParseWriteOptions(argc, argv, &options, &problem)) return Fail(kUsage, problem);
    PublishRecord record = {};
    if (!ParseProductId(options.id, record.productId)) return Fail(kUsage, "--id needs 32 hexadecimal digits");
    if (!ParseVersion(options.version, &record.version))
        return Fail(kUsage, "--version needs four numbers 0-255 as a.b.c.d");
    record.productName = options.product;
    record.program = options.program;
    record.infoUrl = options.infoUrl;
    record.archiveUrl = options.archiveUrl;
    record.startProgram = options.startProgram;
    record.tempFolder = options.tempFolder;
    uint8_t archiveDigest[kSha256Size] = {};
    if (!options.archive.empty()) {
        if (!ArchiveSums(options.archive, &record.archiveCrc, archiveDigest))
            return Fail(kFileError, "cannot read the archive " + options.archive);
        record.checkCrc = true;
    }
    // The signature binds the archive by its SHA-256: it must be at hand.
    if (!options.signKey.empty() && !options.archiveUrl.empty() && options.archive.empty())
        return Fail(kUsage, "--sign with --archive-url needs --archive");
    EcPrivateKey key = {};
    if (!options.signKey.empty() && !ReadPrivateKeyFile(options.signKey, &key, &problem))
        return Fail(kFileError, problem);
    if (!options.notes.empty()) {
        std::string text;
        if (!ReadFile(options.notes, &text)) return Fail(kFileError, "cannot read the notes " + options.notes);
        if (!NotesFromUtf8(text, &record.notes))
            return Fail(kUsage, "the notes " + options.notes + " are not UTF-8 text");
    }
    problem = CheckPublishRecord(record);
    if (!problem.empty()) return Fail(kUsage, problem);
    std::vector<uint8_t> bytes = BuildRecordBytes(record);
    bool signedRecord = !options.signKey.empty();
    bool signedWell = !signedRecord || SignRecordBytes(&bytes, archiveDigest, key, &problem);
    std::memset(key.d, 0, sizeof(key.d));
    if (!signedWell) return Fail(kFileError, problem);
    if (!WriteFile(options.output, bytes)) return Fail(kFileError, "cannot write " + options.output);
    std::printf("%s: %zu bytes, format 2%s\n", options.output.c_str(), bytes.size(), signedRecord ? ", signed" : "");
    return 0;
}

int Show(int argc, char** argv)
{
    std::string recordPath, keyPath, archivePath;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--key" || arg == "--archive") && i + 1 < argc)
            (arg == "--key" ? keyPath : archivePath) = argv[++i];
        else if (arg.compare(0, 2, "--") != 0 && recordPath.empty())
            recordPath = arg;
        else
            return Fail(kUsage, "show takes one record file, and --key PUBLIC-KEY and --archive FILE");
    }
    if (recordPath.empty()) return Fail(kUsage, "show takes one record file");
    std::string bytes, archive, problem;
    if (!ReadFile(recordPath, &bytes)) return Fail(kFileError, "cannot read " + recordPath);
    EcPublicKey key;
    if (!keyPath.empty() && !ReadPublicKeyFile(keyPath, &key, &problem)) return Fail(kFileError, problem);
    if (!archivePath.empty() && !ReadFile(archivePath, &archive))
        return Fail(kFileError, "cannot read the archive " + archivePath);
    std::vector<uint8_t> record(bytes.begin(), bytes.end());
    bool usable = false;
    std::string text = DescribeRecord(record, &usable);
    bool trusted = true;
    if (usable)
        text += DescribeSignature(record, keyPath.empty() ? nullptr : &key, archivePath.empty() ? nullptr : &archive,
                                  &trusted);
    std::fputs(text.c_str(), stdout);
    return usable && trusted ? 0 : kRefused;
}

struct Subcommand {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};

const Subcommand kSubcommands[] = {
    {"pack", RunPackCommand, "pack [--method lh5|lh7] ARCHIVE FILE..."},
    {"write", Write,
     "write RECORD --id HEX32 --version A.B.C.D --product NAME --program FILE --info-url URL\n"
     "        [--archive-url URL] [--archive FILE] [--notes UTF8-FILE] [--start-program] [--temp-folder]\n"
     "        [--sign PRIVATE-KEY]"},
    {"show", Show, "show RECORD [--key PUBLIC-KEY] [--archive FILE]"},
    {"--show", Show, "--show RECORD [--key PUBLIC-KEY] [--archive FILE]"},
    {"keygen", RunKeygenCommand, "keygen PRIVATE-KEY PUBLIC-KEY"},
};

int Usage()
{
    std::fprintf(stderr, "usage:\n");
    for (const Subcommand& command : kSubcommands) std::fprintf(stderr, "  tidewell-publish %s\n", command.usage);
    return kUsage;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return Usage();
    for (const Subcommand& command : kSubcommands) {
        if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 2, argv + 2);
    }
    return Usage();
}
