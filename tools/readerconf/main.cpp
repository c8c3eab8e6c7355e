// readerconf: the reader's parameter record as JSON over the serial port,
// with the configuration tool's page rules (pageDriver.h), and the RSSI
// threshold with the signal filter tool's commands. See docs/readerconf.md.
//
// Exit status: 0 done, 1 refused input (nothing written), 2 usage, 3 no
// reply or a reader the configuration tool refuses, 4 written but a field
// did not take.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/dialogFields.h"
#include "platform/consoleText.h"
#include "platform/serialPort.h"
#include "rssifilter/rssiFilter.h"
#include "serial/configFrame.h"
#include "tools/readerconf/pageDriver.h"
#include "tools/readerconf/readerLink.h"

namespace {

enum Exit { exitDone = 0, exitRefused = 1, exitUsage = 2, exitNoReader = 3, exitNotTaken = 4 };

struct Options {
    std::string port;
    std::string file;
    std::string threshold;  // empty: read it
    std::string nextIp;
    long long nextId = 0;
    bool hasNextId = false;
    bool repeat = false;
    bool json = false;
    bool dryRun = false;
    int tickMs = 1000;
};

// "COMn" (1 to 32) by number, anything else as a device path.
bool openPort(SerialPort& port, const std::string& name)
{
    const int n = comPortNumberOf(name);
    if (n >= 1 && n <= serialProbeCount)
        return port.openComPort(n);
    return port.openDevice(name.c_str());
}

// Collects what a serial tool's sender writes, to send it as one request.
struct FrameCapture : SerialWriter {
    std::vector<uint8_t> bytes;
    void writeComBytes(const uint8_t* b, size_t n) override { bytes.assign(b, b + n); }
};

void printJson(const Json& j) { std::cout << j.dump(2) << std::endl; }

// Reads the reader's record into a page; null after the message.
std::unique_ptr<PageDriver> readReader(ReaderLink& link, const Options& o, int* status)
{
    LinkReply reply;
    if (!link.readRecord(&reply)) {
        std::cerr << o.port << ": no reply from the reader\n";
        *status = exitNoReader;
        return nullptr;
    }
    std::string why;
    auto page = PageDriver::create(reply.level, reply.payload.data(), reply.payload.size(), &why);
    if (!page) {
        std::cerr << o.port << ": " << why << "\n";
        *status = exitNoReader;
    }
    return page;
}

int runRead(ReaderLink& link, const Options& o)
{
    int status = exitDone;
    auto page = readReader(link, o, &status);
    if (page)
        printJson(page->record());
    return status;
}

bool loadFile(const std::string& path, Json* out, std::string* why)
{
    try {
        if (path == "-") {
            *out = Json::parse(std::cin);
        } else {
            std::ifstream in(path, std::ios::binary);
            if (!in) {
                *why = "不能打开文件";
                return false;
            }
            *out = Json::parse(in);
        }
        return true;
    } catch (const Json::exception& e) {
        *why = std::string("JSON格式不对（") + e.what() + "）";
        return false;
    }
}

// One reader done: what the table and --json show of it.
struct WriteRun {
    int status = exitDone;
    std::string mac = "-";
    std::string ip = "-";
    std::string deviceId = "-";
    std::string result;
    Json report;
};

WriteRun writeOne(ReaderLink& link, const Options& o, const Json& file)
{
    WriteRun run;
    auto page = readReader(link, o, &run.status);
    if (!page) {
        run.result = "no reply";
        run.report = {{"result", "no-reply"}};
        return run;
    }
    const Json before = page->record();
    if (before.contains("mac"))
        run.mac = before["mac"].get<std::string>();
    ApplyResult a = page->apply(file);
    if (a.outcome == ApplyResult::Outcome::refused) {
        const std::string line = a.key.empty() ? a.message : a.key + ": " + a.message;
        run.status = exitRefused;
        run.result = "refused: " + line;
        run.report = {{"result", "refused"}, {"key", a.key}, {"message", a.message}};
        if (!o.json)
            std::cerr << line << "\n";
        return run;
    }
    if (a.intended.contains("ip"))
        run.ip = a.intended["ip"].get<std::string>();
    if (a.intended.contains("device_id"))
        run.deviceId = std::to_string(a.intended["device_id"].get<long long>());
    const std::string hex = hexBytes(a.payload.data(), a.payload.length);
    if (o.dryRun) {
        run.result = "dry run";
        run.report = {{"result", "dry-run"}, {"length", a.payload.length}, {"payload", hex},
                      {"fields", a.intended}};
        if (!o.json) {
            std::cout << "write payload (" << a.payload.length << " bytes): " << hex << "\n";
            printJson(a.intended);
        }
        return run;
    }
    if (!link.writeRecord(a.payload.data(), a.payload.length)) {
        std::cerr << o.port << ": the reader did not acknowledge the write\n";
        run.status = exitNoReader;
        run.result = "no acknowledgement";
        run.report = {{"result", "no-reply"}, {"payload", hex}};
        return run;
    }
    int status = exitDone;
    auto after = readReader(link, o, &status);
    if (!after) {
        run.status = status;
        run.result = "written, no reply to the re-read";
        run.report = {{"result", "no-reply"}, {"payload", hex}};
        return run;
    }
    const Json got = after->record();
    const std::vector<std::string> missed = fieldsNotTaken(a.intended, got);
    Json notTaken = Json::array();
    std::string keys;
    for (const std::string& k : missed) {
        notTaken.push_back({{"key", k}, {"written", a.intended[k]}, {"reader", got[k]}});
        keys += (keys.empty() ? "" : ",") + k;
        if (!o.json)
            std::cerr << k << ": did not take (written " << a.intended[k].dump() << ", reader has "
                      << got[k].dump() << ")\n";
    }
    run.status = missed.empty() ? exitDone : exitNotTaken;
    run.result = missed.empty() ? "ok" : "not taken: " + keys;
    run.report = {{"result", missed.empty() ? "written" : "not-taken"}, {"payload", hex},
                  {"not_taken", notTaken}, {"record", got}};
    if (!o.json && missed.empty())
        (o.repeat ? std::cerr : std::cout)
            << "written (" << a.payload.length << " bytes), re-read matches" << std::endl;
    return run;
}

int runWrite(SerialPort& port, ReaderLink& link, const Options& o)
{
    Json file;
    std::string why;
    if (!loadFile(o.file, &file, &why)) {
        std::cerr << o.file << ": " << why << "\n";
        return exitRefused;
    }
    uint32_t firstIp = 0;
    if (!o.nextIp.empty() && !parseDottedQuad(o.nextIp, &firstIp)) {
        std::cerr << "--next-ip: not an IPv4 address: " << o.nextIp << "\n";
        return exitUsage;
    }
    std::vector<WriteRun> runs;
    // A reader that was not written leaves its numbers to the next one.
    for (uint32_t i = 0;; i += runs.back().status == exitDone || runs.back().status == exitNotTaken) {
        Json one = file;
        if (!o.nextIp.empty() && one.is_object())
            one["ip"] = dottedQuad(firstIp + i);
        if (o.hasNextId && one.is_object())
            one["device_id"] = o.nextId + i;
        if (!port.isOpen() && !openPort(port, o.port)) {
            std::cerr << o.port << ": cannot open the port\n";
            WriteRun r;
            r.status = exitNoReader;
            r.result = "cannot open the port";
            r.report = {{"result", "no-port"}};
            runs.push_back(r);
        } else {
            runs.push_back(writeOne(link, o, one));
        }
        if (!o.repeat)
            break;
        std::cerr << "接下一台读卡器后按回车" << std::endl;
        std::string line;
        if (!std::getline(std::cin, line) || line.substr(0, line.find_last_not_of("\r ") + 1) == "q")
            break;
    }

    int status = exitDone;
    for (const WriteRun& r : runs)
        status = std::max(status, r.status);
    if (o.json) {
        if (!o.repeat) {
            printJson(runs[0].report);
        } else {
            Json all = Json::array();
            for (const WriteRun& r : runs) {
                Json row = {{"mac", r.mac}, {"ip", r.ip}, {"device_id", r.deviceId}};
                row.update(r.report);
                all.push_back(row);
            }
            printJson(all);
        }
    } else if (o.repeat) {
        std::printf("%-4s %-17s %-15s %-11s %s\n", "#", "MAC", "IP", "device ID", "result");
        for (size_t i = 0; i < runs.size(); ++i)
            std::printf("%-4zu %-17s %-15s %-11s %s\n", i + 1, runs[i].mac.c_str(),
                        runs[i].ip.c_str(), runs[i].deviceId.c_str(), runs[i].result.c_str());
    }
    return status;
}

int runThreshold(ReaderLink& link, const Options& o)
{
    int8_t value = 0;
    if (!o.threshold.empty()) {
        if (const char* refusal = rssiInputMessage(checkRssiInput(o.threshold, &value))) {
            std::cerr << "threshold: " << refusal << "\n";
            return exitRefused;
        }
    }
    // As the signal filter tool opens: the record first, then the threshold.
    LinkReply reply;
    if (!link.readRecord(&reply)) {
        std::cerr << o.port << ": no reply from the reader\n";
        return exitNoReader;
    }
    FrameCapture frame;
    if (!o.threshold.empty()) {
        if (o.dryRun) {
            sendRssiWriteRequest(frame, value);
            std::cout << "write request: " << hexBytes(frame.bytes.data(), frame.bytes.size()) << "\n";
            return exitDone;
        }
        sendRssiWriteRequest(frame, value);
        if (!link.request(frame.bytes.data(), frame.bytes.size(),
                          {configCmdRssiWriteAck, configCmdWriteAck}, nullptr)) {
            std::cerr << o.port << ": the reader did not acknowledge the threshold\n";
            return exitNoReader;
        }
    }
    sendRssiReadRequest(frame);
    if (!link.request(frame.bytes.data(), frame.bytes.size(), {configCmdRssiReply}, &reply) ||
        reply.payload.empty()) {
        std::cerr << o.port << ": no threshold from the reader\n";
        return exitNoReader;
    }
    const int got = int8_t(reply.payload[0]);
    if (o.json)
        printJson(Json{{"threshold", got}});
    else
        std::cout << got << "\n";
    if (!o.threshold.empty() && got != value) {
        std::cerr << "threshold: did not take (written " << int(value) << ", reader has " << got << ")\n";
        return exitNotTaken;
    }
    return exitDone;
}

// A negative number after "threshold" is its VALUE, not an option: it is
// moved behind "--", where the parser takes everything as positional.
std::vector<std::string> argumentsOf(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] != "threshold")
        return args;
    const auto negative = [](const std::string& a) {
        return a.size() > 1 && a[0] == '-' &&
               a.find_first_not_of("0123456789", 1) == std::string::npos;
    };
    std::vector<std::string> out, values;
    for (const std::string& a : args)
        (negative(a) ? values : out).push_back(a);
    if (!values.empty()) {
        out.push_back("--");
        out.insert(out.end(), values.begin(), values.end());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    consoleUseUtf8();
    Options o;
    CLI::App app{"readerconf: read and write a reader's parameters as JSON, with the rules of "
                 "the configuration tool V3.6's pages; read or set the RSSI threshold.\n"
                 "Exit status: 0 done, 1 refused input (nothing written), 2 usage, 3 no reply or "
                 "a reader the configuration tool refuses, 4 written but a field did not take.",
                 "readerconf"};
    app.require_subcommand(1);
    app.add_flag("--json", o.json, "machine-readable results");
    app.add_option("--tick-ms", o.tickMs, "length of one tick of the reply timer (3 ticks per reply)")
        ->check(CLI::Range(1, 60000));

    CLI::App* read = app.add_subcommand("read", "print the reader's record as JSON");
    read->add_option("PORT", o.port, "serial port: COMn, or a device path such as /dev/ttyUSB0")->required();

    CLI::App* write = app.add_subcommand("write", "write a JSON file into the reader");
    write->add_option("PORT", o.port, "serial port")->required();
    write->add_option("FILE", o.file, "JSON file, - for standard input")->required();
    write->add_flag("--dry-run", o.dryRun, "show the payload, write nothing");
    write->add_option("--next-ip", o.nextIp, "the IP address of the first reader (A.B.C.D)");
    CLI::Option* nextId = write->add_option("--next-id", o.nextId, "the device ID of the first reader");
    write->add_flag("--repeat", o.repeat, "after each reader, wait for the next one (one more in IP and ID)");

    CLI::App* threshold = app.add_subcommand("threshold", "read the RSSI threshold, or set it (-127 to 0)");
    threshold->add_option("PORT", o.port, "serial port")->required();
    threshold->add_option("VALUE", o.threshold, "the new threshold, -127 to 0");
    threshold->add_flag("--dry-run", o.dryRun, "show the write request, write nothing");
    // Options are accepted after the command too.
    for (CLI::App* sub : {read, write, threshold}) {
        sub->fallthrough();
    }

    std::vector<std::string> args = argumentsOf(argc, argv);
    std::reverse(args.begin(), args.end());  // CLI11 takes the vector backwards
    try {
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? exitDone : exitUsage;
    }
    o.hasNextId = nextId->count() > 0;
    if (o.repeat && o.file == "-") {
        std::cerr << "--repeat reads its answers from standard input: give the file by name\n";
        return exitUsage;
    }

    SerialPort port;
    if (!openPort(port, o.port)) {
        std::cerr << o.port << ": cannot open the port\n";
        return exitNoReader;
    }
    ReaderLink link(port, o.tickMs);
    if (*read)
        return runRead(link, o);
    if (*write)
        return runWrite(port, link, o);
    return runThreshold(link, o);
}
