// Finding web addresses in free text, as people copy it: a line of a chat or
// a web page with words and brackets around the address, several addresses
// on one line, a size or a note after a tab.
#pragma once

#include <stddef.h>

// The next "http://" or "https://" address (any letter case) in
// text[from, length): its start and byte count; false when there is none.
// An address ends before white space, a control character, a byte outside
// ASCII (the words of a Japanese sentence; addresses carry such characters
// percent-encoded), or one of " < > `. A closing bracket without its opener
// and sentence punctuation at its end are left out. The caller goes on from
// *start + *count.
bool NextAddress(const char* text, size_t length, size_t from, size_t* start, size_t* count);
