// The publisher's side of the update records: building a format-2 record
// from what the publisher gives, and describing any record in words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PublishRecord {
    uint8_t productId[16];
    uint32_t version;
    std::string productName;  // stored byte for byte
    std::string program;      // relative to the install folder
    std::string infoUrl;
    std::string archiveUrl;  // empty: no archive offered
    bool checkCrc;           // flag 0x08 with archiveCrc at offset 364
    uint16_t archiveCrc;
    bool startProgram;            // flag 0x40
    bool tempFolder;              // flag 0x80
    std::vector<uint16_t> notes;  // UTF-16 code units, without the terminator
};

// 32 hexadecimal digits, the 16 bytes in the order written.
bool ParseProductId(const std::string& text, uint8_t out[16]);
// "a.b.c.d", each part 0 to 255, packed a << 24 | b << 16 | c << 8 | d.
bool ParseVersion(const std::string& text, uint32_t* version);

// UTF-8 text (an initial byte-order mark dropped, every line end made CRLF
// for the dialog's edit control) as UTF-16 code units. False for text that
// is not valid UTF-8.
bool NotesFromUtf8(const std::string& text, std::vector<uint16_t>* units);
// UTF-16LE code units as UTF-8 (an unpaired surrogate becomes U+FFFD).
std::string Utf8FromUtf16Le(const uint8_t* bytes, uint32_t units);

// Why the record cannot be written as given, or empty when it can: texts
// that do not fit their fields, URLs that are neither http nor https, a
// record too large for the updater to fetch.
std::string CheckPublishRecord(const PublishRecord& record);
// The record's bytes: the fixed part of format 2 and the notes with their
// terminator.
std::vector<uint8_t> BuildRecordBytes(const PublishRecord& record);

// A description of the record in words, one field a line. *usable tells
// whether the updater would accept it as a server reply (a refusal is
// explained in the text).
std::string DescribeRecord(const std::vector<uint8_t>& bytes, bool* usable);
