// multi_get: many downloads at once in one process, each a DownloadJob driven
// exactly as the application's scheduler drives it. Job i fetches
// URL_PREFIX + "NN.bin" (NN = i, two digits) into FOLDER; when all have
// ended every file is checked for SIZE bytes.
//
//   multi_get URL_PREFIX COUNT SIZE FOLDER
//
// Prints one line per failed job and "jobs=N ok=K bytes=B seconds=S MB/s=R".
// Exit status 0 when every job completed with a file of the right size.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "marrowby/engine/download_job.h"
#include "tools/job_setup.h"

namespace {

const int kMaxJobs = 64;  // one wait covers them all
const size_t kTextCapacity = 512;

struct JobRun {
    DownloadJob* job;
    HANDLE ended;
    char url[kTextCapacity];
    char name[16];
    volatile LONG endCode;  // first end code; later ones are ignored
    int64_t received;       // written by the worker only
};

int32_t OnJobEvent(void* info, int32_t code, int32_t count, void* userValue)
{
    (void)info;
    JobRun& run = *(JobRun*)userValue;
    if (code == JobData) {
        run.received += count;
        return 0;
    }
    if (code == JobClosed || code == JobFailed || code == JobTimedOut || code == JobFileError) {
        if (InterlockedCompareExchange(&run.endCode, code, 0) == 0) SetEvent(run.ended);
    }
    return 0;
}

int StartRun(JobRun& run, const char* folder)
{
    run.job = new DownloadJob();
    JobSetup setup;
    setup.url = run.url;
    setup.folder = folder;
    return StartJob(*run.job, {OnJobEvent, &run}, setup);
}

int64_t FileSize(const char* folder, const char* name)
{
    char path[kTextCapacity];
    snprintf(path, sizeof path, "%s\\%s", folder, name);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return -1;
    return ((int64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: multi_get URL_PREFIX COUNT SIZE FOLDER\n");
        return 64;
    }
    const char* prefix = argv[1];
    int count = atoi(argv[2]);
    int64_t size = _atoi64(argv[3]);
    const char* folder = argv[4];
    if (count <= 0 || count > kMaxJobs || strlen(prefix) + 8 > kTextCapacity) {
        fprintf(stderr, "multi_get: COUNT must be 1 to %d\n", kMaxJobs);
        return 64;
    }
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 0), &wsa) != 0) return 1;

    static JobRun runs[kMaxJobs];
    HANDLE ended[kMaxJobs];
    for (int i = 0; i < count; i++) {
        snprintf(runs[i].name, sizeof runs[i].name, "%02d.bin", i);
        snprintf(runs[i].url, sizeof runs[i].url, "%s%s", prefix, runs[i].name);
        runs[i].ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ended[i] = runs[i].ended;
    }

    LARGE_INTEGER frequency, started, finished;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    for (int i = 0; i < count; i++) {
        if (StartRun(runs[i], folder) != 0 && InterlockedCompareExchange(&runs[i].endCode, JobFailed, 0) == 0)
            SetEvent(runs[i].ended);
    }
    WaitForMultipleObjects((DWORD)count, ended, TRUE, INFINITE);
    QueryPerformanceCounter(&finished);

    int ok = 0;
    int64_t total = 0;
    for (int i = 0; i < count; i++) {
        runs[i].job->Stop();
        delete runs[i].job;
        CloseHandle(runs[i].ended);
        total += runs[i].received;
        int64_t onDisk = FileSize(folder, runs[i].name);
        if (runs[i].endCode == JobClosed && runs[i].received == size && onDisk == size) {
            ok++;
            continue;
        }
        printf("job %d: end=%d received=%lld on-disk=%lld\n", i, (int)runs[i].endCode, (long long)runs[i].received,
               (long long)onDisk);
    }
    double seconds = (double)(finished.QuadPart - started.QuadPart) / (double)frequency.QuadPart;
    double rate = seconds > 0 ? (double)total / 1e6 / seconds : 0.0;
    printf("jobs=%d ok=%d bytes=%lld seconds=%.3f MB/s=%.2f\n", count, ok, (long long)total, seconds, rate);
    WSACleanup();
    return ok == count ? 0 : 1;
}
