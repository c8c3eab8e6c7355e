// Where the software reader writes what it sees: one line per call, without
// the line end. Frame lines start with "rx " or "tx "; status lines start
// with "# " so the two kinds never mix up in a captured output.
#pragma once
#include <cstddef>

constexpr size_t simLineMax = 6144;  // longest line the reader writes, end included

class SimLog {
public:
    virtual ~SimLog() = default;
    virtual void line(const char* text) = 0;
};

// Writes "# " followed by the formatted text as one line.
void simStatus(SimLog& log, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
