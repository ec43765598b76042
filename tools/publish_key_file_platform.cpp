#include "tools/publish_key_file_platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

// The file inherits the folder's permissions: a private key belongs in a
// folder only its owner can read.
bool WriteNewFile(const std::string& path, const std::string& text, bool /*ownerOnly*/)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool good =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(file);
    if (!good) DeleteFileA(path.c_str());
    return good;
}

#else

bool WriteNewFile(const std::string& path, const std::string& text, bool ownerOnly)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, ownerOnly ? 0600 : 0644);
    if (fd < 0) return false;
    bool good = !ownerOnly || fchmod(fd, 0600) == 0;  // whatever the umask says
    size_t done = 0;
    while (good && done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        good = n > 0;
        if (good) done += static_cast<size_t>(n);
    }
    good = close(fd) == 0 && good;
    if (!good) unlink(path.c_str());
    return good;
}

#endif
