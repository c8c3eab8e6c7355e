// The WIFI page (model 3, dialog 107) and the dual-network page (model 7,
// dialog 117): what the record shows, the network radio buttons, closing and
// re-reading, the checks of "应用" in each page's order, the SSID rules and
// the write payloads byte for byte. What they share with the wired pages
// (eye, connect-mode switch, DHCP box) is covered there.
#include <gtest/gtest.h>

#include "setupRig.h"

namespace {

const Bytes kAdmin = bytesOf("admin");
const Bytes kDefaultPassword = bytesOf("314159");

std::string ipOf(FakeSetupView& v, int id) { return v.addresses[id]; }

// The SSID of n characters c.
std::string repeat(const char* c, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += c;
    return s;
}

}  // namespace

// ---- initialisation ----------------------------------------------------

TEST(WifiPageInit, ShowsTheRecordWithTheMacFromLevel2AndTheIdAtAnyLevel)
{
    for (uint8_t level : {1, 2}) {
        SCOPED_TRACE(level);
        SetupRig rig;
        rig.showPage(modelWifi, 0, level);
        FakeSetupView& v = rig.view107;
        EXPECT_EQ(rig.window.created.back(), IDD_PAGE_WIFI);
        EXPECT_EQ(v.texts[IDC_VERSION], "W3.1");
        EXPECT_EQ(v.texts[IDC_MAC], level >= 2 ? "02-03-04-05-06-07" : "未识别");
        EXPECT_EQ(v.texts[IDC_SSID], "plant-ap");
        EXPECT_EQ(v.texts[IDC_WIFI_PASSWORD], "ap-secret");
        EXPECT_TRUE(v.isEnabled(IDC_SSID) && v.isEnabled(IDC_WIFI_PASSWORD) && v.isEnabled(IDC_DHCP));
        EXPECT_EQ(ipOf(v, IDC_IP), "192.168.3.30");
        EXPECT_EQ(ipOf(v, IDC_MASK), "255.255.255.0");
        EXPECT_EQ(ipOf(v, IDC_GATEWAY), "192.168.3.1");
        EXPECT_TRUE(v.isEnabled(IDC_IP));
        // The antenna baud rate is shown but cannot be changed.
        EXPECT_EQ(v.selection(IDC_ANTENNA_BAUD), 3);
        EXPECT_EQ(v.itemsOf(IDC_ANTENNA_BAUD).size(), 5u);
        EXPECT_FALSE(v.isEnabled(IDC_ANTENNA_BAUD));
        EXPECT_EQ(v.texts[IDC_NAME_LABEL], "设备ID：");
        EXPECT_EQ(v.texts[IDC_NAME], "4242");
        EXPECT_TRUE(v.isEnabled(IDC_APPLY));
    }
}

TEST(WifiPageInit, DhcpOnShowsOnlyTheIpAndDisablesAllThree)
{
    for (int model : {modelWifi, modelDualNetwork}) {
        SCOPED_TRACE(model);
        SetupRig rig;
        RecordBuilder r = recordFor(model, 0);
        r.u8(model == modelWifi ? 88 : 107, 1);
        rig.showRecord(r);
        FakeSetupView& v = rig.viewFor(model);
        EXPECT_TRUE(v.checked(IDC_DHCP));
        EXPECT_EQ(ipOf(v, IDC_IP), model == modelWifi ? "192.168.3.30" : "172.16.2.20");
        EXPECT_EQ(ipOf(v, IDC_MASK), "");
        EXPECT_EQ(ipOf(v, IDC_GATEWAY), "");
        for (int id : {IDC_IP, IDC_MASK, IDC_GATEWAY})
            EXPECT_FALSE(v.isEnabled(id)) << id;
        EXPECT_TRUE(v.isEnabled(IDC_DHCP));
    }
}

TEST(WifiPageInit, AnSsidHeldInUtf8ShowsAsItsRawBytes)
{
    SetupRig rig;
    const std::string utf8 = "工厂";  // what a reader stores for a converted SSID
    rig.showRecord(wifiRecord(0).text(106, utf8 + std::string(32 - utf8.size(), '\0')));
    EXPECT_EQ(rig.view107.texts[IDC_SSID], systemTextCodec().gbkToUtf8(utf8));
}

TEST(DualPageInit, ShowsTheChosenNetwork)
{
    struct Case {
        uint8_t network;
        const char* mac;
        const char* ip;
        const char* ssid;
    };
    const Case cases[] = {
        {networkWifi, "1A-1B-1C-1D-1E-1F", "172.16.2.20", "dual-ap"},
        {networkWired, "0A-0B-0C-0D-0E-0F", "10.1.1.10", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.network));
        SetupRig rig;
        rig.showRecord(dualRecord(0, c.network), 1);
        FakeSetupView& v = rig.view117;
        const bool wifi = c.network == networkWifi;
        EXPECT_EQ(v.checked(IDC_WIFI), wifi);
        EXPECT_EQ(v.checked(IDC_WIRED), !wifi);
        EXPECT_EQ(v.texts[IDC_SSID], c.ssid);
        EXPECT_EQ(v.texts[IDC_WIFI_PASSWORD], wifi ? "dual-secret" : "");
        EXPECT_EQ(v.isEnabled(IDC_SSID), wifi);
        EXPECT_EQ(v.isEnabled(IDC_WIFI_PASSWORD), wifi);
        EXPECT_EQ(v.texts[IDC_MAC], c.mac);  // no level test
        EXPECT_EQ(ipOf(v, IDC_IP), c.ip);
        EXPECT_TRUE(v.isEnabled(IDC_DHCP));
        EXPECT_EQ(v.selection(IDC_ANTENNA_BAUD), 2);
        EXPECT_FALSE(v.isEnabled(IDC_ANTENNA_BAUD));
        EXPECT_EQ(v.texts[IDC_NAME], "777");
    }
}

TEST(DualPageInit, ActiveModeShowsTheIdentityOfItsOwnOffsets)
{
    SetupRig rig;
    rig.showPage(modelDualNetwork, 1);
    FakeSetupView& v = rig.view117;
    EXPECT_EQ(v.texts[IDC_NAME_LABEL], "设备名称：");
    EXPECT_EQ(v.texts[IDC_NAME], "dual-dev");
    EXPECT_EQ(v.texts[IDC_PASSWORD], "dpass");
    EXPECT_EQ(ipOf(v, IDC_PLATFORM_IP), "10.9.9.9");
    EXPECT_EQ(v.texts[IDC_PLATFORM_PORT], "7000");
    EXPECT_TRUE(v.isVisible(IDC_PLATFORM_IP));
    // The switch to wait mode shows the device ID of the same layout.
    v.pick(IDC_CONNECT_MODE, 0);
    rig.page117.onCommand(IDC_CONNECT_MODE);
    EXPECT_EQ(v.texts[IDC_NAME], "777");
}

// ---- the network radio buttons ------------------------------------------

TEST(DualPageNetwork, ASwitchPutsTheRecordsValuesOfThatNetworkIn)
{
    SetupRig rig;
    rig.showPage(modelDualNetwork, 0);
    FakeSetupView& v = rig.view117;
    v.type(IDC_SSID, "typed");
    v.typeAddress(IDC_IP, "1.2.3.4");

    v.checks[IDC_WIRED] = true;  // the auto radio button checks itself
    v.checks[IDC_WIFI] = false;
    rig.page117.onCommand(IDC_WIRED);
    EXPECT_EQ(v.texts[IDC_SSID], "");
    EXPECT_EQ(v.texts[IDC_WIFI_PASSWORD], "");
    EXPECT_FALSE(v.isEnabled(IDC_SSID));
    EXPECT_EQ(v.texts[IDC_MAC], "0A-0B-0C-0D-0E-0F");
    EXPECT_EQ(ipOf(v, IDC_IP), "10.1.1.10");
    EXPECT_EQ(ipOf(v, IDC_MASK), "255.255.0.0");

    v.checks[IDC_WIRED] = false;
    v.checks[IDC_WIFI] = true;
    rig.page117.onCommand(IDC_WIFI);
    EXPECT_EQ(v.texts[IDC_SSID], "dual-ap");
    EXPECT_EQ(v.texts[IDC_WIFI_PASSWORD], "dual-secret");
    EXPECT_TRUE(v.isEnabled(IDC_SSID));
    EXPECT_EQ(v.texts[IDC_MAC], "1A-1B-1C-1D-1E-1F");
    EXPECT_EQ(ipOf(v, IDC_IP), "172.16.2.20");

    // A click that leaves the button unchecked changes nothing.
    v.type(IDC_SSID, "kept");
    v.checks[IDC_WIRED] = false;
    rig.page117.onCommand(IDC_WIRED);
    EXPECT_EQ(v.texts[IDC_SSID], "kept");
}

// ---- close and re-read ---------------------------------------------------

TEST(WifiPageClose, DisablesTheWifiFieldsAndKeepsTheRadioButtons)
{
    for (int model : {modelWifi, modelDualNetwork}) {
        SCOPED_TRACE(model);
        SetupRig rig;
        rig.showPage(model, 0);
        FakeSetupView& v = rig.viewFor(model);
        rig.pageFor(model).onCommand(IDC_PORT_BUTTON);
        EXPECT_EQ(v.texts[IDC_PORT_BUTTON], "打开串口");
        for (int id : {IDC_SSID, IDC_WIFI_PASSWORD, IDC_DHCP, IDC_IP, IDC_ANTENNA_BAUD, IDC_APPLY})
            EXPECT_FALSE(v.isEnabled(id)) << id;
        EXPECT_TRUE(v.isEnabled(IDC_WIRED) && v.isEnabled(IDC_WIFI));

        rig.pageFor(model).onCommand(IDC_PORT_BUTTON);  // re-read
        EXPECT_EQ(v.texts[IDC_SSID], "");
        EXPECT_EQ(v.texts[IDC_WIFI_PASSWORD], "");
        EXPECT_EQ(v.texts[IDC_VERSION], "");
        EXPECT_EQ(rig.port.writes.back(), readRequestBytes());
        EXPECT_EQ(rig.shell.replyCountdown(), 3);
    }
}

// ---- apply -----------------------------------------------------------------

TEST(WifiPageApply, ChecksInEachPagesOrder)
{
    struct Case {
        const char* name;
        int model;
        uint8_t mode;
        std::vector<Edit> edits;
        const char* message;  // null: the write goes out
    };
    const Case cases[] = {
        {"3 active: platform IP before the SSID", 3, 1, {{IDC_SSID, ""}, {IDC_PLATFORM_IP, ""}},
         "平台IP格式不对"},
        {"3 active: password empty", 3, 1, {{IDC_PASSWORD, ""}}, "设备密码不能为空"},
        {"3 wait: addresses before the SSID", 3, 0, {{IDC_SSID, ""}, {IDC_MASK, ""}}, "IP格式不对"},
        {"3 wait: SSID empty", 3, 0, {{IDC_SSID, ""}}, "WIFI名称不能为空"},
        {"3 wait: SSID before the device ID", 3, 0, {{IDC_NAME, ""}, {IDC_SSID, ""}},
         "WIFI名称不能为空"},
        {"3 wait: device ID empty", 3, 0, {{IDC_NAME, ""}}, "设备ID不能为空"},
        {"3 wait: WIFI password may be empty", 3, 0, {{IDC_WIFI_PASSWORD, ""}}, nullptr},
        {"7 active: addresses first", 7, 1, {{IDC_NAME, ""}, {IDC_GATEWAY, ""}}, "IP格式不对"},
        {"7 active: SSID too long first", 7, 1,
         {{IDC_NAME, ""}, {IDC_SSID, "abcdefghijklmnopqrstuvwxyz0123456"}}, "WIFI名称过长"},
        {"7 active: name before the platform", 7, 1, {{IDC_PLATFORM_IP, ""}, {IDC_NAME, ""}},
         "设备名称不能为空"},
        {"7 active: password before the platform", 7, 1,
         {{IDC_PLATFORM_PORT, ""}, {IDC_PASSWORD, ""}}, "设备密码不能为空"},
        {"7 active: platform IP blank", 7, 1, {{IDC_PLATFORM_IP, ""}}, "平台IP格式不对"},
        {"7 active: port empty", 7, 1, {{IDC_PLATFORM_PORT, ""}}, "平台端口不能为空"},
        {"7 wait: device ID empty", 7, 0, {{IDC_NAME, ""}}, "设备ID不能为空"},
        {"7 wait: an empty SSID is accepted", 7, 0, {{IDC_SSID, ""}}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        rig.showPage(c.model, c.mode);
        FakeSetupView& v = rig.viewFor(c.model);
        typeEdits(v, c.edits);
        const size_t writes = rig.port.writes.size();
        rig.pageFor(c.model).onCommand(IDC_APPLY);
        if (c.message) {
            ASSERT_EQ(v.boxes.size(), 1u);
            EXPECT_EQ(v.boxes[0].text, c.message);
            EXPECT_EQ(v.boxes[0].kind, BoxKind::information);
            EXPECT_EQ(rig.port.writes.size(), writes);
        } else {
            EXPECT_TRUE(v.boxes.empty());
            EXPECT_EQ(rig.port.writes.size(), writes + 1);
            EXPECT_EQ(rig.shell.replyCountdown(), 3);
        }
    }
}

TEST(WifiPageApply, PayloadsByteForByte)
{
    const Bytes platform = {0xC0, 0xA8, 0x01, 0x64, 0x22, 0x60};  // 192.168.1.100:8800
    const Bytes wifiAddresses = {0x00, 0xC0, 0xA8, 0x03, 0x1E, 0xFF, 0xFF, 0xFF,
                                 0x00, 0xC0, 0xA8, 0x03, 0x01};  // DHCP 0, IP, mask, gateway
    const Bytes dualWifi = {0x00, 0xAC, 0x10, 0x02, 0x14, 0xFF, 0xFF, 0xFF,
                            0x00, 0xAC, 0x10, 0x02, 0x01};
    const Bytes dualWired = {0x00, 0x0A, 0x01, 0x01, 0x0A, 0xFF, 0xFF, 0x00,
                             0x00, 0x0A, 0x01, 0x00, 0x01};
    struct Case {
        const char* name;
        RecordBuilder record;
        Bytes payload;
    };
    const Case cases[] = {
        {"3 wait", wifiRecord(0),
         payloadWith(157, {{1, kAdmin},
                           {33, kDefaultPassword},
                           {71, wifiAddresses},
                           {85, {3}},
                           {89, bytesOf("plant-ap")},
                           {121, bytesOf("ap-secret")},
                           {153, {0x00, 0x00, 0x10, 0x92}}})},
        {"3 active", wifiRecord(1),
         payloadWith(157, {{0, {1}},
                           {1, bytesOf("wifi-dev")},
                           {33, bytesOf("wpass")},
                           {65, platform},
                           {71, wifiAddresses},
                           {85, {3}},
                           {89, bytesOf("plant-ap")},
                           {121, bytesOf("ap-secret")}})},
        {"7 WIFI, wait", dualRecord(0, networkWifi),
         payloadWith(164, {{0, {1}},
                           {1, bytesOf("dual-ap")},
                           {33, bytesOf("dual-secret")},
                           {78, dualWifi},
                           {92, kAdmin},
                           {124, kDefaultPassword},
                           {156, {0x00, 0x00, 0x03, 0x09}},
                           {162, {2, 0x5A}}})},
        // Wired chosen: 1 to 64 and 78 to 90 stay zero.
        {"7 wired, active", dualRecord(1, networkWired),
         payloadWith(164, {{65, dualWired},
                           {91, {1}},
                           {92, bytesOf("dual-dev")},
                           {124, bytesOf("dpass")},
                           {156, {0x0A, 0x09, 0x09, 0x09, 0x1B, 0x58}},
                           {162, {2, 0x5A}}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        rig.showRecord(c.record);
        const int model = c.record.bytes[16];
        rig.pageFor(model).onCommand(IDC_APPLY);
        EXPECT_TRUE(rig.viewFor(model).boxes.empty());
        EXPECT_EQ(lastWritePayload(rig.port), c.payload);
    }
}

TEST(WifiPageApply, SsidRules)
{
    struct Case {
        const char* name;
        int model;
        std::string ssid;  // as typed (UTF-8)
        const char* message;
        Bytes field;  // the 32 bytes sent, when no message
    };
    const std::string ascii32 = repeat("s", 32);
    const std::string chinese10 = repeat("工", 10);  // 20 GBK bytes, 30 of UTF-8
    Bytes ascii32Field(ascii32.begin(), ascii32.end());
    Bytes chinese10Field = bytesOf(chinese10);
    chinese10Field.resize(32, 0);  // a zero ends it inside the field
    const Case cases[] = {
        {"3: 32 ASCII bytes fill the field without a zero", 3, ascii32, nullptr, ascii32Field},
        {"3: 33 ASCII bytes", 3, repeat("s", 33), "WIFI名称过长", {}},
        {"3: 10 Chinese characters go as UTF-8 and a zero", 3, chinese10, nullptr, chinese10Field},
        // 22 GBK bytes pass the length test, but 33 bytes of UTF-8 and a
        // zero would run into the WIFI password.
        {"3: 11 Chinese characters do not fit as UTF-8", 3, repeat("工", 11), "WIFI名称过长", {}},
        {"3: 17 Chinese characters", 3, repeat("工", 17), "WIFI名称过长", {}},
        {"7: 10 Chinese characters", 7, chinese10, nullptr, chinese10Field},
        {"7: empty goes as zeros", 7, "", nullptr, Bytes(32, 0)},
        {"7: 33 ASCII bytes", 7, repeat("s", 33), "WIFI名称过长", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        rig.showPage(c.model, 0);
        FakeSetupView& v = rig.viewFor(c.model);
        v.type(IDC_SSID, c.ssid);
        const size_t writes = rig.port.writes.size();
        rig.pageFor(c.model).onCommand(IDC_APPLY);
        if (c.message) {
            EXPECT_EQ(v.boxTexts(), std::vector<std::string>{c.message});
            EXPECT_EQ(rig.port.writes.size(), writes);
            continue;
        }
        EXPECT_TRUE(v.boxes.empty());
        const Bytes p = lastWritePayload(rig.port);
        const size_t at = c.model == modelWifi ? 89 : 1;
        ASSERT_GE(p.size(), at + 32);
        EXPECT_EQ(Bytes(p.begin() + std::ptrdiff_t(at), p.begin() + std::ptrdiff_t(at + 32)), c.field);
        // The WIFI password behind the field is untouched.
        EXPECT_EQ(p[at + 32], c.model == modelWifi ? 'a' : 'd');
    }
}

// What goes out after the user changes the network or DHCP: only the chosen
// interface's fields, and none of the record's bytes that the page does not
// write.
TEST(WifiPageApply, EditedNetworkAndDhcpAreWritten)
{
    struct Case {
        const char* name;
        int model;
        int click;  // a radio button clicked first, 0 for none
        bool dhcp;
        std::vector<std::pair<size_t, Bytes>> expect;  // runs of the payload
    };
    const Bytes zeros12(12, 0);
    const Case cases[] = {
        {"3: DHCP on sends 1 and no addresses", modelWifi, 0, true, {{71, {1}}, {72, zeros12}}},
        {"3: the record's 103 and 105 are not written", modelWifi, 0, false, {{86, {0}}, {88, {0}}}},
        {"7: WIFI to wired", modelDualNetwork, IDC_WIRED, false,
         {{0, {0}}, {1, Bytes(64, 0)}, {65, {0, 10, 1, 1, 10}}, {78, Bytes(13, 0)}}},
        {"7: wired to WIFI with DHCP", modelDualNetwork, IDC_WIFI, true,
         {{0, {1}}, {1, bytesOf("dual-ap")}, {65, Bytes(13, 0)}, {78, {1}}, {79, zeros12}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        RecordBuilder r = c.model == modelWifi ? wifiRecord(0).u8(103, 2).u8(105, 1)
                                               : dualRecord(0, c.click == IDC_WIFI ? networkWired
                                                                                   : networkWifi);
        rig.showRecord(r);
        FakeSetupView& v = rig.viewFor(c.model);
        NetworkPage& page = rig.pageFor(c.model);
        if (c.click) {
            v.checks[IDC_WIRED] = c.click == IDC_WIRED;
            v.checks[IDC_WIFI] = c.click == IDC_WIFI;
            page.onCommand(c.click);
        }
        if (c.dhcp) {
            v.checks[IDC_DHCP] = true;
            page.onCommand(IDC_DHCP);
        }
        page.onCommand(IDC_APPLY);
        ASSERT_TRUE(v.boxes.empty());
        const Bytes p = lastWritePayload(rig.port);
        for (const auto& [at, bytes] : c.expect) {
            ASSERT_LE(at + bytes.size(), p.size());
            EXPECT_EQ(Bytes(p.begin() + std::ptrdiff_t(at), p.begin() + std::ptrdiff_t(at + bytes.size())),
                      bytes)
                << "at " << at;
        }
    }
}

