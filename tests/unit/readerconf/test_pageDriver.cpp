// readerconf's page driver against the configuration tool's pages over the
// recording fakes: for the same record and the same inputs both send the
// same write payload; what the driver reads out of a page at each level;
// the refusals, with the page's own messages where the page refuses.
#include <gtest/gtest.h>

#include <functional>

#include "setupRig.h"
#include "tools/readerconf/pageDriver.h"

namespace {

std::unique_ptr<PageDriver> driverFor(const Bytes& record, uint8_t level)
{
    std::string why;
    auto d = PageDriver::create(level, record.data(), record.size(), &why);
    EXPECT_TRUE(d) << why;
    return d;
}

Bytes payloadOf(const ApplyResult& a)
{
    return Bytes(a.payload.data(), a.payload.data() + a.payload.length);
}

Bytes toolPayload(const Bytes& record, uint8_t level, const Json& file)
{
    auto d = driverFor(record, level);
    if (!d)
        return {};
    const ApplyResult a = d->apply(file);
    EXPECT_EQ(a.outcome, ApplyResult::Outcome::written) << a.key << ": " << a.message;
    return payloadOf(a);
}

using PageActions = std::function<void(FakeSetupView&, SetupPage&)>;

void click(FakeSetupView& v, SetupPage& p, int id, bool on)
{
    v.checks[id] = on;
    p.onCommand(id);
}

SetupPage& shownPage(SetupRig& rig, int model)
{
    if (model == modelDomain)
        return rig.page114;
    return rig.pageFor(model);
}

}  // namespace

// Every model, both connect modes, levels 1 to 3: the file the driver reads
// out of the page, written back unchanged, is what the page sends when the
// user only presses "应用".
TEST(ReaderconfPayloads, UnchangedRecordSendsWhatThePageSends)
{
    for (int model : {1, 2, 3, 5, 6, 7, 52}) {
        for (uint8_t mode : {0, 1}) {
            for (uint8_t level : {1, 2, 3}) {
                SCOPED_TRACE("model " + std::to_string(model) + " mode " + std::to_string(mode) +
                             " level " + std::to_string(level));
                const Bytes record = recordFor(model, mode).bytes;
                SetupRig rig;
                rig.showRecord(recordFor(model, mode), level);
                shownPage(rig, model).onCommand(IDC_APPLY);
                auto d = driverFor(record, level);
                ASSERT_TRUE(d);
                ASSERT_FALSE(lastWritePayload(rig.port).empty());
                EXPECT_EQ(toolPayload(record, level, d->record()), lastWritePayload(rig.port));
            }
        }
    }
}

// The same edits typed into the page and given in a file.
TEST(ReaderconfPayloads, EditedFileSendsWhatThePageSends)
{
    struct Case {
        const char* name;
        int model;
        uint8_t mode;
        uint8_t level;
        Json file;
        PageActions onPage;
    };
    const Case cases[] = {
        {"model 1 wait: ID and IP", 1, 0, 3, {{"device_id", 42}, {"ip", "10.0.0.5"}},
         [](FakeSetupView& v, SetupPage&) {
             v.type(IDC_NAME, "42");
             v.typeAddress(IDC_IP, "10.0.0.5");
         }},
        {"model 1 active to wait, level 1", 1, 1, 1, {{"connect_mode", "wait"}, {"device_id", 7}},
         [](FakeSetupView& v, SetupPage& p) {
             v.pick(IDC_CONNECT_MODE, 0);
             p.onCommand(IDC_CONNECT_MODE);
             v.type(IDC_NAME, "7");
         }},
        {"model 1 active: DHCP on, baud rates", 1, 1, 3,
         {{"dhcp", true}, {"rs485_baud", 9600}, {"antenna1_baud", 57600}},
         [](FakeSetupView& v, SetupPage& p) {
             click(v, p, IDC_DHCP, true);
             v.pick(IDC_RS485_BAUD, 0);
             v.pick(IDC_ANTENNA1_BAUD, 3);
         }},
        {"model 2 wait: the one antenna", 2, 0, 2, {{"antenna1_baud", 19200}},
         [](FakeSetupView& v, SetupPage&) { v.pick(IDC_ANTENNA_BAUD, 1); }},
        {"model 6 active: name and port", 6, 1, 1, {{"device_name", "x6"}, {"platform_port", 70}},
         [](FakeSetupView& v, SetupPage&) {
             v.type(IDC_NAME, "x6");
             v.type(IDC_PLATFORM_PORT, "70");
         }},
        {"model 6 wait: device ID", 6, 0, 1, {{"device_id", -5}},
         [](FakeSetupView& v, SetupPage&) { v.type(IDC_NAME, "-5"); }},
        {"model 52: platform and password", 52, 1, 2,
         {{"platform_ip", "1.2.3.4"}, {"device_password", "pw"}},
         [](FakeSetupView& v, SetupPage&) {
             v.typeAddress(IDC_PLATFORM_IP, "1.2.3.4");
             v.type(IDC_PASSWORD, "pw");
         }},
        {"model 3 wait: Chinese SSID", 3, 0, 2, {{"ssid", "车间网络"}, {"wifi_password", ""}},
         [](FakeSetupView& v, SetupPage&) {
             v.type(IDC_SSID, "车间网络");
             v.type(IDC_WIFI_PASSWORD, "");
         }},
        {"model 7 active: WIFI to wired with DHCP", 7, 1, 3, {{"network", "wired"}, {"dhcp", true}},
         [](FakeSetupView& v, SetupPage& p) {
             v.checks[IDC_WIFI] = false;
             click(v, p, IDC_WIRED, true);
             click(v, p, IDC_DHCP, true);
         }},
        {"model 5: domain off, platform IP", 5, 1, 1,
         {{"domain_enabled", false}, {"platform_ip", "9.8.7.6"}},
         [](FakeSetupView& v, SetupPage& p) {
             click(v, p, IDC_DOMAIN_ENABLE, false);
             v.typeAddress(IDC_PLATFORM_IP, "9.8.7.6");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        rig.showRecord(recordFor(c.model, c.mode), c.level);
        SetupPage& page = shownPage(rig, c.model);
        c.onPage(rig.viewFor(c.model), page);
        page.onCommand(IDC_APPLY);
        const Bytes sent = lastWritePayload(rig.port);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(toolPayload(recordFor(c.model, c.mode).bytes, c.level, c.file), sent);
    }
}

// The keys a page shows at each level: the device ID of models 1 and 2 from
// level 2, their MAC from level 3; model 3's MAC from level 2.
TEST(ReaderconfRecord, KeysFollowWhatThePageShows)
{
    struct Case {
        int model;
        uint8_t mode;
        uint8_t level;
        std::vector<const char*> present;
        std::vector<const char*> absent;
    };
    const Case cases[] = {
        {1, 0, 1, {"connect_mode", "rs485_baud", "antenna_merge"}, {"device_id", "mac", "device_name"}},
        {1, 0, 2, {"device_id"}, {"mac"}},
        {1, 1, 3, {"mac", "device_name", "device_password", "platform_ip", "platform_port"}, {"device_id"}},
        {2, 0, 3, {"antenna1_baud", "mac", "device_id"}, {"antenna0_baud", "rs485_baud"}},
        {3, 0, 1, {"ssid", "wifi_password", "device_id", "antenna0_baud"}, {"mac"}},
        {3, 0, 2, {"mac"}, {}},
        {52, 0, 3, {"device_name", "platform_ip"}, {"connect_mode", "mac", "dhcp", "device_id"}},
        {6, 0, 1, {"mac", "device_id", "dhcp"}, {"rs485_baud"}},
        {7, 1, 1, {"network", "ssid", "mac", "device_name"}, {"device_id"}},
        {5, 1, 1, {"domain_enabled", "domain", "device_name", "antenna0_baud"}, {"platform_ip", "mac", "connect_mode"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("model " + std::to_string(c.model) + " level " + std::to_string(c.level));
        auto d = driverFor(recordFor(c.model, c.mode).bytes, c.level);
        ASSERT_TRUE(d);
        const Json j = d->record();
        EXPECT_EQ(j["model"], c.model);
        EXPECT_EQ(j["level"], c.level);
        for (const char* k : c.present)
            EXPECT_TRUE(j.contains(k)) << k;
        for (const char* k : c.absent)
            EXPECT_FALSE(j.contains(k)) << k;
    }
    auto d = driverFor(recordFor(1, 0).bytes, 3);
    EXPECT_EQ(d->record()["device_id"], -1294967296);
    EXPECT_EQ(d->record()["mac"], "00-1A-2B-3C-4D-5E");
}

// Each refused file names its field and writes nothing.
TEST(ReaderconfRefusals, NameTheFieldWithThePagesMessage)
{
    struct Case {
        int model;
        uint8_t mode;
        Json file;
        const char* expected;  // "key: message"
    };
    const Case cases[] = {
        {1, 0, {{"colour", "red"}}, "colour: 此型号没有这一项"},
        {52, 1, {{"connect_mode", "wait"}}, "connect_mode: 此型号没有这一项"},
        {1, 0, {{"device_id", "5"}}, "device_id: 类型不对，应为整数"},
        {1, 0, {{"dhcp", 1}}, "dhcp: 类型不对，应为true或false"},
        {1, 1, {{"platform_port", 70000}}, "platform_port: 端口应在0到65535之间"},
        {1, 1, {{"device_name", std::string(30, 'n')}}, "device_name: 过长，最多29字节"},
        {5, 1, {{"device_name", std::string(32, 'n')}}, "device_name: 过长，最多31字节"},
        {1, 0, {{"model", 3}}, "model: 与读卡器的型号（1）不同"},
        {1, 0, {{"ip", "300.1.1.1"}}, "ip: IP格式不对"},
        {1, 0, {{"mask", ""}}, "mask: IP格式不对"},
        {1, 1, {{"platform_ip", "x"}}, "platform_ip: 平台IP格式不对"},
        {1, 1, {{"device_name", ""}, {"ip", ""}}, "device_name: 设备名称不能为空"},  // the page's order
        {6, 0, {{"device_id", 1}, {"device_name", "x"}}, "device_name: 当前设置下不能修改此项"},
        {1, 0, {{"device_password", "x"}}, "device_password: 当前设置下不能修改此项"},
        {1, 0, {{"antenna_merge", 0}}, "antenna_merge: 当前设置下不能修改此项"},
        {3, 0, {{"antenna0_baud", 9600}}, "antenna0_baud: 当前设置下不能修改此项"},
        {1, 0, {{"dhcp", true}, {"ip", "1.1.1.1"}}, "ip: 当前设置下不能修改此项"},
        {3, 0, {{"ssid", std::string(33, 's')}}, "ssid: WIFI名称过长"},
        {3, 0, {{"ssid", ""}}, "ssid: WIFI名称不能为空"},
        {5, 1, {{"domain", ""}}, "domain: 域名不能为空"},
        {7, 1, {{"network", "cable"}}, "network: 类型不对，应为\"wired\"或\"wifi\""},
        {1, 0, {{"rs485_baud", 4800}}, "rs485_baud: 波特率应为9600、19200、38400、57600或115200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        auto d = driverFor(recordFor(c.model, c.mode).bytes, 3);
        ASSERT_TRUE(d);
        const ApplyResult a = d->apply(c.file);
        EXPECT_EQ(a.outcome, ApplyResult::Outcome::refused);
        EXPECT_EQ(a.key + ": " + a.message, c.expected);
        EXPECT_EQ(a.payload.length, 0u);
    }
    // The head of another reader's file is not written: version, level and
    // MAC are the reader's own.
    auto d = driverFor(recordFor(1, 0).bytes, 3);
    EXPECT_EQ(d->apply({{"version", "X"}, {"level", 1}, {"mac", "00-00-00-00-00-00"}}).outcome,
              ApplyResult::Outcome::written);
}

TEST(ReaderconfRecord, RefusesLevelZeroAndModelsWithoutAPage)
{
    std::string why;
    const Bytes wired = recordFor(1, 0).bytes;
    EXPECT_FALSE(PageDriver::create(0, wired.data(), wired.size(), &why));
    Bytes model4 = wired;
    model4[16] = 4;
    EXPECT_FALSE(PageDriver::create(3, model4.data(), model4.size(), &why));
    EXPECT_NE(why.find("model 4"), std::string::npos);
}

// The reader holds a Chinese SSID in UTF-8; the page shows those bytes as
// code-page text and would convert them again on "应用". The driver reads
// the SSID itself, so writing the record back sends the bytes unchanged.
TEST(ReaderconfRecord, ChineseSsidSurvivesWritingItBack)
{
    const std::string ssid = "车间网络";  // UTF-8 in the record, as the page wrote it
    for (int model : {3, 7}) {
        SCOPED_TRACE(model);
        RecordBuilder r = recordFor(model, 0);
        const size_t at = model == 3 ? 106 : 18;
        r.text(at, std::string(32, '\0')).text(at, ssid);
        auto d = driverFor(r.bytes, 3);
        ASSERT_TRUE(d);
        const Json j = d->record();
        EXPECT_EQ(j["ssid"], ssid);
        const Bytes sent = toolPayload(r.bytes, 3, j);
        const size_t field = model == 3 ? 89 : 1;
        ASSERT_GT(sent.size(), field + 32);
        EXPECT_EQ(std::string(sent.begin() + field, sent.begin() + field + ssid.size() + 1),
                  ssid + std::string(1, '\0'));
    }
}

// After a write the re-read is compared field by field; a field the
// reader's page does not show (a device ID below its level) cannot be
// compared and is not reported.
TEST(ReaderconfRecord, FieldsNotTakenAreTheDifferingShownOnes)
{
    const Json want = {{"ip", "10.0.0.9"}, {"device_id", 5}, {"dhcp", false}, {"ssid", "车间"}};
    const Json got = {{"ip", "10.0.0.8"}, {"dhcp", false}, {"ssid", "车间"}};
    EXPECT_EQ(fieldsNotTaken(want, got), std::vector<std::string>({"ip"}));
    EXPECT_TRUE(fieldsNotTaken(want, want).empty());
}
