// Setting up one DownloadJob the way the application does, for the console
// programs that drive jobs (tessaline-get, multi_get).
#pragma once

#include <stdint.h>

#include "marrowby/engine/download_job.h"

const char kProductAgent[] = "Marrowby/0.23 ( built on Tessaline )";

// What a job is given; the defaults are a plain download without proxy,
// login or referer.
struct JobSetup {
    const char* url = nullptr;
    int64_t offset = 0;
    const char* folder = nullptr;
    const char* lastName = "";
    const char* proxy = nullptr;
    uint16_t proxyDefaultPort = 0;
    const char* user = "";
    const char* password = "";
    const char* referer = nullptr;
    const char* userAgent = kProductAgent;
    uint32_t timeoutMs = 60000;
    int32_t segments = 1;
    int64_t itemLimit = 0;  // bytes per second; 0 none
};

// Prepare, the connection settings and Start, in the application's order.
// 0 when the connection attempt is under way, else the failing call's result.
inline int StartJob(DownloadJob& job, const JobCallbackRegistration& registration, const JobSetup& setup)
{
    int result = job.Prepare(&registration);
    if (result != 0) return result;
    job.SetProxy(setup.proxy, setup.proxyDefaultPort);
    job.SetCredentials(setup.user, setup.password);
    job.SetReferer(setup.referer);
    job.SetUserAgent(setup.userAgent);
    job.SetSegments(setup.segments);
    job.SetSpeedLimit(setup.itemLimit);
    return job.Start(setup.url, setup.offset, setup.folder, setup.lastName, setup.timeoutMs);
}
