// Collects the protocol traces of the code under test, one entry per call.
#pragma once
#include <string>
#include <vector>

class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    std::vector<std::string> lines;
    bool contains(const std::string& text) const;
    void clear() { lines.clear(); }
};
