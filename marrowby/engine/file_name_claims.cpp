#include "marrowby/engine/file_name_claims.h"

#include <windows.h>

#include <string>
#include <unordered_map>

#include "common/bounded_text.h"
#include "marrowby/engine/path_helpers.h"
#include "marrowby/engine/received_name.h"
#include "common/safe_file_name.h"
#include "common/sjis.h"

namespace {

// Beyond this many numbered variants the last one is taken as it is.
const int kMaxNumberedVariant = 9999;

struct Claims {
    SRWLOCK lock = SRWLOCK_INIT;
    std::unordered_multimap<std::string, const void*> owners;  // folded path -> owner
    std::unordered_map<const void*, std::string> pathOf;       // owner -> folded path
};

Claims& TheClaims()
{
    static Claims claims;
    return claims;
}

class ExclusiveHold {
public:
    explicit ExclusiveHold(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveHold() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;

private:
    SRWLOCK& lock_;
};

// folder with one trailing separator, then name.
std::string JoinPath(const char* folder, const char* name)
{
    char separated[MAX_PATH + 8];
    mw_text::Copy(separated, folder != nullptr ? folder : "");
    if (separated[0] != '\0') AppendFolderSeparator(separated, sizeof separated);
    return std::string(separated) + name;
}

// The path as Windows compares it: ASCII letters folded, the trail byte of
// a double-byte character left alone, "/" read as "\".
std::string Folded(const std::string& path)
{
    std::string folded = path;
    for (size_t i = 0; i < folded.size();) {
        size_t length = SjisCharLength(folded.c_str() + i);
        char& c = folded[i];
        if (length == 1 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (length == 1 && c == '/') c = '\\';
        i += length;
    }
    return folded;
}

void ReleaseLocked(Claims& claims, const void* owner)
{
    auto held = claims.pathOf.find(owner);
    if (held == claims.pathOf.end()) return;
    auto range = claims.owners.equal_range(held->second);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == owner) {
            claims.owners.erase(it);
            break;
        }
    }
    claims.pathOf.erase(held);
}

void HoldLocked(Claims& claims, const void* owner, const std::string& folded)
{
    ReleaseLocked(claims, owner);
    claims.owners.emplace(folded, owner);
    claims.pathOf[owner] = folded;
}

bool HeldByAnother(const Claims& claims, const void* owner, const std::string& folded)
{
    auto range = claims.owners.equal_range(folded);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second != owner) return true;
    return false;
}

bool ExistsOnDisk(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void HoldFileName(const void* owner, const char* folder, const char* name)
{
    if (owner == nullptr || name == nullptr || name[0] == '\0') return;
    Claims& claims = TheClaims();
    ExclusiveHold hold(claims.lock);
    HoldLocked(claims, owner, Folded(JoinPath(folder, name)));
}

void ReleaseFileName(const void* owner)
{
    Claims& claims = TheClaims();
    ExclusiveHold hold(claims.lock);
    ReleaseLocked(claims, owner);
}

void ClaimFreeFileName(const void* owner, const char* folder, const char* proposed, char* out, size_t capacity)
{
    if (capacity == 0) return;
    Claims& claims = TheClaims();
    ExclusiveHold hold(claims.lock);
    char candidate[kLocalFileNameMax + 1];
    const size_t maxLength = capacity - 1 < kLocalFileNameMax ? capacity - 1 : kLocalFileNameMax;
    mw_text::Copy(candidate, proposed);
    for (int n = 2;; ++n) {
        std::string path = JoinPath(folder, candidate);
        std::string folded = Folded(path);
        if (n > kMaxNumberedVariant || (!HeldByAnother(claims, owner, folded) && !ExistsOnDisk(path))) {
            if (owner != nullptr) HoldLocked(claims, owner, folded);
            mw_text::Copy(out, capacity, candidate);
            return;
        }
        NumberedFileName(proposed, n, candidate, sizeof candidate, maxLength);
    }
}
