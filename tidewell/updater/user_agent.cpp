#include "tidewell/updater/user_agent.h"

#include <cstring>

#include "common/bounded_text.h"

namespace {

const char kAgentSuffix[] = "Tidewell/2.0";

}  // namespace

void BuildUserAgent(RecordView installed, char* out, size_t capacity)
{
    if (capacity == 0) return;
    if (!RecordPresent(installed) || installed.size < kRecord2FixedSize) {
        mw_text::Copy(out, capacity, kAgentSuffix);
        return;
    }
    // Room for the product name: everything but " Tidewell/2.0".
    size_t room = capacity > sizeof(kAgentSuffix) ? capacity - sizeof(kAgentSuffix) : 1;
    RecordText(installed, kRecord2ProductNameOffset, out, room);
    mw_text::Append(out, capacity, " ");
    mw_text::Append(out, capacity, kAgentSuffix);
}
