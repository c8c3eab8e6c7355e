// Runs tshark with the plugin (tools/wireshark/tagdesk.lua) over a capture
// and hands back the fields of every packet, for the tests that check what
// the dissectors show. The including target defines TSHARK and TAGDESK_LUA.
#pragma once
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

// One packet: field name to tshark's text for it ("" when absent; several
// occurrences joined with commas).
using Fields = std::map<std::string, std::string>;

struct Dissection {
    std::vector<Fields> packets;  // packets[i] is frame number i + 1
    std::string errors;           // tshark's standard error
};

inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// tshark -T fields over pcap with the given fields (and _ws.col.Info),
// options such as "-o udp.try_heuristic_first:TRUE" in front.
inline Dissection dissect(const std::string& pcap, std::vector<std::string> fields,
                          const std::string& options = "")
{
    fields.insert(fields.begin(), "_ws.col.Info");
    std::string cmd = std::string("\"") + TSHARK + "\" -n -X lua_script:\"" + TAGDESK_LUA +
                      "\" " + options + " -r \"" + pcap +
                      "\" -T fields -E occurrence=a -E aggregator=,";
    for (const std::string& f : fields)
        cmd += " -e " + f;
    cmd += " >\"" + pcap + ".fields\" 2>\"" + pcap + ".err\"";
    Dissection d;
    if (std::system(cmd.c_str()) != 0)
        d.errors = "tshark failed: " + cmd + "\n";
    d.errors += readText(pcap + ".err");
    std::istringstream lines(readText(pcap + ".fields"));
    std::string line;
    while (std::getline(lines, line)) {
        Fields row;
        size_t start = 0;
        for (const std::string& f : fields) {
            const size_t tab = line.find('\t', start);
            row[f] = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
            start = tab == std::string::npos ? line.size() : tab + 1;
        }
        d.packets.push_back(row);
    }
    return d;
}

// Lua errors, not tshark's warning about running as root.
inline bool luaFailed(const Dissection& d)
{
    return d.errors.find("Lua") != std::string::npos || d.errors.find("tshark failed") != std::string::npos;
}

// An expectation: the field's text, or with a leading '~' a part of it.
struct Expect {
    const char* field;
    std::string value;
};

inline bool matches(const std::string& actual, const std::string& expected)
{
    if (!expected.empty() && expected[0] == '~')
        return actual.find(expected.substr(1)) != std::string::npos;
    return actual == expected;
}
