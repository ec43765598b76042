// tessaline-get: downloads one URL with a DownloadJob, driven exactly as the
// application drives it, and prints every callback as one line.
//
//   tessaline-get URL [--folder DIR] [--offset N] [--last-name NAME]
//                 [--proxy HOST[:PORT]] [--user U] [--password P]
//                 [--referer R] [--user-agent A] [--timeout MS]
//                 [--segments N] [--limit KBPS] [--item-limit KBPS]
//                 [--verbose] [--ticks]
//
// --segments fetches over up to N connections when the server takes
// ranges; --limit caps all connections together (the program-wide limit),
// --item-limit this download's own (KB/s, 1,000 bytes a second each).
// URL is http or https; --proxy may carry the proxy's login (u:p@host:port).
// A failed run prints "failed" and then "reason=NAME (why)".
//
// Exit status: 0 complete, 1 failed, 2 timed out, 3 file error, 4 closed
// short (or closed before a response was accepted).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "marrowby/engine/decimal.h"
#include "marrowby/engine/download_job.h"
#include "tools/job_setup.h"

namespace {

struct Options {
    JobSetup job;
    int64_t globalLimit = 0;
    bool verbose = false;
    bool ticks = false;
};

// What the callback saw; written by the worker, read after the end event.
struct Progress {
    const Options* options;
    const DownloadJob* job;
    HANDLE ended;
    bool accepted;
    int64_t totalSize;
    int64_t rangeFirst;
    volatile LONG64 received;  // the connections of a segmented run add at once
    volatile LONG endCode;     // first end code; set once
};

enum ExitCode { kComplete = 0, kFailed = 1, kTimedOut = 2, kFileError = 3, kClosedShort = 4 };

int Usage()
{
    fprintf(stderr,
            "usage: tessaline-get URL [--folder DIR] [--offset N] [--last-name NAME]\n"
            "       [--proxy [U:P@]HOST[:PORT]] [--user U] [--password P] [--referer R]\n"
            "       [--user-agent A] [--timeout MS] [--segments N] [--limit KBPS]\n"
            "       [--item-limit KBPS] [--verbose] [--ticks]\n");
    return 64;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (strcmp(arg, "--verbose") == 0) {
            options.verbose = true;
            continue;
        }
        if (strcmp(arg, "--ticks") == 0) {
            options.ticks = true;
            continue;
        }
        JobSetup& job = options.job;
        if (strncmp(arg, "--", 2) != 0) {
            if (job.url != nullptr) return false;
            job.url = arg;
            continue;
        }
        if (value == nullptr) return false;
        i++;
        if (strcmp(arg, "--folder") == 0) {
            job.folder = value;
        } else if (strcmp(arg, "--offset") == 0) {
            job.offset = ParseDecimal64(value);
        } else if (strcmp(arg, "--last-name") == 0) {
            job.lastName = value;
        } else if (strcmp(arg, "--proxy") == 0) {
            job.proxy = value;
            job.proxyDefaultPort = kDefaultProxyPort;
        } else if (strcmp(arg, "--user") == 0) {
            job.user = value;
        } else if (strcmp(arg, "--password") == 0) {
            job.password = value;
        } else if (strcmp(arg, "--referer") == 0) {
            job.referer = value;
        } else if (strcmp(arg, "--user-agent") == 0) {
            job.userAgent = value;
        } else if (strcmp(arg, "--segments") == 0) {
            job.segments = ParseDecimal(value);
        } else if (strcmp(arg, "--limit") == 0) {
            options.globalLimit = ParseDecimal64(value) * 1000;
        } else if (strcmp(arg, "--item-limit") == 0) {
            job.itemLimit = ParseDecimal64(value) * 1000;
        } else if (strcmp(arg, "--timeout") == 0) {
            job.timeoutMs = (uint32_t)strtoul(value, nullptr, 10);
        } else {
            return false;
        }
    }
    return options.job.url != nullptr;
}

void EndWith(Progress& progress, int32_t code, const char* line)
{
    if (InterlockedCompareExchange(&progress.endCode, code, 0) != 0) return;
    printf("%s\n", line);
    if (code == JobFailed && progress.job != nullptr) {
        int32_t failure = progress.job->LastFailure();
        printf("reason=%s (%s)\n", JobFailureName(failure), JobFailureText(failure));
        // The status, the system's error, or which kind of login failure.
        int32_t detail = progress.job->LastFailureDetail();
        if (detail != 0) printf("detail=%d\n", (int)detail);
    }
    fflush(stdout);
    SetEvent(progress.ended);
}

int32_t OnJobEvent(void* info, int32_t code, int32_t count, void* userValue)
{
    Progress& progress = *(Progress*)userValue;
    // The job counts as stopped at its first end; what the worker reports
    // until Stop returns is not part of the run.
    if (progress.endCode != 0) return 0;
    switch (code) {
    case JobAccepted: {
        const ResponseSummary& summary = *(const ResponseSummary*)info;
        progress.accepted = true;
        progress.totalSize = summary.totalSize;
        progress.rangeFirst = summary.rangeFirst;
        char total[kDecimal64TextSize];
        char first[kDecimal64TextSize];
        printf("accepted status=%d total=%s first=%s name=%s\n", (int)summary.status,
               FormatDecimal64(summary.totalSize, total, sizeof total),
               FormatDecimal64(summary.rangeFirst, first, sizeof first), summary.fileName);
        fflush(stdout);
        break;
    }
    case JobData:
        InterlockedExchangeAdd64(&progress.received, count);
        if (progress.options->verbose) {
            printf("data %d\n", (int)count);
            fflush(stdout);
        }
        break;
    case JobTick:
        if (progress.options->ticks) {
            printf("tick\n");
            fflush(stdout);
        }
        break;
    case JobClosed: EndWith(progress, code, "closed"); break;
    case JobFailed: EndWith(progress, code, "failed"); break;
    case JobTimedOut: EndWith(progress, code, "timed-out"); break;
    case JobFileError: EndWith(progress, code, "file-error"); break;
    default: break;
    }
    return 0;
}

int ExitCodeFor(const Progress& progress)
{
    switch (progress.endCode) {
    case JobFailed: return kFailed;
    case JobTimedOut: return kTimedOut;
    case JobFileError: return kFileError;
    default: break;
    }
    // Complete as the application judges it: everything the server announced
    // is present, or it announced no size.
    if (!progress.accepted) return kClosedShort;
    int64_t present = progress.rangeFirst + progress.received;
    return progress.totalSize == 0 || present == progress.totalSize ? kComplete : kClosedShort;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) return Usage();
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 0), &wsa) != 0) {
        fprintf(stderr, "tessaline-get: Winsock 2 is not available\n");
        return kFailed;
    }

    GlobalRateLimit().SetRate(options.globalLimit);
    Progress progress = {};
    progress.options = &options;
    progress.ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DownloadJob* job = new DownloadJob();
    progress.job = job;
    JobCallbackRegistration registration = {OnJobEvent, &progress};

    LARGE_INTEGER frequency, started, finished;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    int result = StartJob(*job, registration, options.job);
    if (result != 0 && progress.endCode == 0) EndWith(progress, JobFailed, "failed");
    WaitForSingleObject(progress.ended, INFINITE);
    QueryPerformanceCounter(&finished);
    job->Stop();
    delete job;

    double seconds = (double)(finished.QuadPart - started.QuadPart) / (double)frequency.QuadPart;
    double rate = seconds > 0 ? (double)progress.received / 1e6 / seconds : 0.0;
    char bytes[kDecimal64TextSize];
    printf("bytes=%s seconds=%.3f MB/s=%.2f\n", FormatDecimal64(progress.received, bytes, sizeof bytes), seconds, rate);
    fflush(stdout);
    CloseHandle(progress.ended);
    WSACleanup();
    return ExitCodeFor(progress);
}
