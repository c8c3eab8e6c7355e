#include "tests/unit/traceCapture.h"

#include "console/netPdu.h"

namespace {
void collect(void* context, const char* text)
{
    static_cast<TraceCapture*>(context)->lines.emplace_back(text);
}
}  // namespace

TraceCapture::TraceCapture() { netTraceSetSink(collect, this); }
TraceCapture::~TraceCapture() { netTraceSetSink(nullptr, nullptr); }

bool TraceCapture::contains(const std::string& text) const
{
    for (const auto& l : lines)
        if (l == text)
            return true;
    return false;
}
