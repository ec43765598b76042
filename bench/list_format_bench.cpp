// The list-file line format alone: parsing and writing 10,000 records in
// memory, without files or windows.
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <string>

#include "marrowby/app/list_format.h"

namespace {

struct Input {
    const std::string* text;
    size_t at;
};

size_t ReadInput(void* context, uint8_t* buffer, size_t capacity)
{
    Input* in = static_cast<Input*>(context);
    size_t n = in->text->size() - in->at;
    if (n > capacity) n = capacity;
    memcpy(buffer, in->text->data() + in->at, n);
    in->at += n;
    return n;
}

int CountBytes(void* context, const uint8_t*, size_t length)
{
    *static_cast<size_t*>(context) += length;
    return 0;
}

double Now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

int main()
{
    const int kItems = 10000;
    std::string text;
    for (int i = 0; i < kItems; ++i) {
        char record[512];
        snprintf(record, sizeof(record),
                 ";\r\nRefererStr=http://referrer.example/page/%d.html\r\nStoreIn=C:\\dl\\%d\\\r\n"
                 "_RemoteFileSize=%d\r\n_State=%d\r\nUrl=http://files.example/%d/file.zip\r\n",
                 i, i % 50, 1000 + i, i % 3, i);
        text += record;
    }
    static LineSource source;
    Input in = {&text, 0};
    InitLineSource(&source, ReadInput, &in);
    double t0 = Now();
    char line[kListLineSize];
    int records = 0;
    int64_t sizes = 0;
    while (ReadLinePiece(&source, line, sizeof(line))) {
        char* key;
        char* value;
        if (SplitSetting(line, &key, &value) != 0) continue;
        ListKey k = MatchListKey(key);
        if (k == kListKeyRemoteFileSize) sizes += ParseListNumber(value);
        if (k == kListKeyUrl) ++records;
    }
    double t1 = Now();
    static ListWriter writer;
    size_t written = 0;
    InitListWriter(&writer, CountBytes, &written);
    WriteListHeader(&writer, "Marrowby/0.23 ( built on Tessaline )");
    for (int i = 0; i < kItems; ++i) {
        ListRecordOut r = {"http://referrer.example/",      "C:\\dl\\", 1000 + i, i % 3, "C:\\dl\\", "file.zip",
                           "http://files.example/file.zip", nullptr,    "",       0,     nullptr};
        WriteListRecord(&writer, r);
    }
    FlushListWriter(&writer);
    double t2 = Now();
    printf("parse %d records (%zu bytes): %.2f ms (size sum %lld)\n", records, text.size(), (t1 - t0) * 1000,
           static_cast<long long>(sizes));
    printf("write %d records (%zu bytes): %.2f ms\n", kItems, written, (t2 - t1) * 1000);
    return 0;
}
