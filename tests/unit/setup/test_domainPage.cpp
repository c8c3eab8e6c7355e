// The domain page (model 5, dialog 114): what the record shows, the domain
// box, closing and re-reading, the checks of "应用" in order and the
// 133-byte payload.
#include <gtest/gtest.h>

#include "setupRig.h"

namespace {

const int kInputs[] = {IDC_ANTENNA_BAUD, IDC_NAME,          IDC_PASSWORD, IDC_EYE,
                       IDC_DOMAIN_ENABLE, IDC_PLATFORM_PORT, IDC_APPLY};

}  // namespace

TEST(DomainPageInit, ShowsTheRecordWithTheDomainOrThePlatformIp)
{
    for (bool domain : {true, false}) {
        SCOPED_TRACE(domain);
        SetupRig rig;
        rig.showRecord(domainRecord(domain));
        FakeSetupView& v = rig.view114;
        EXPECT_EQ(rig.window.created.back(), IDD_PAGE_DOMAIN);
        EXPECT_EQ(rig.window.rect.height, 190 + 312);
        EXPECT_EQ(v.texts[IDC_VERSION], "N5.0");
        EXPECT_EQ(v.texts[IDC_PORT_BUTTON], "关闭串口");
        EXPECT_EQ(rig.port.current, 1);  // re-opened for the page
        EXPECT_EQ(v.selection(IDC_ANTENNA_BAUD), 1);
        EXPECT_EQ(v.texts[IDC_NAME], "dom-dev");
        EXPECT_EQ(v.texts[IDC_PASSWORD], "dom-pass");
        EXPECT_TRUE(v.masked[IDC_PASSWORD]);
        EXPECT_EQ(v.checked(IDC_DOMAIN_ENABLE), domain);
        EXPECT_EQ(v.texts[IDC_DOMAIN], domain ? "reader.example.net" : "");
        EXPECT_EQ(v.addresses[IDC_PLATFORM_IP], domain ? "" : "10.20.30.40");
        EXPECT_EQ(v.isEnabled(IDC_DOMAIN), domain);
        EXPECT_EQ(v.isEnabled(IDC_PLATFORM_IP), !domain);
        EXPECT_EQ(v.texts[IDC_PLATFORM_PORT], "6000");
        for (int id : kInputs)
            EXPECT_TRUE(v.isEnabled(id)) << id;
    }
}

TEST(DomainPageDomainBox, SwitchesWhatCanBeEditedAndClearsNothing)
{
    SetupRig rig;
    rig.showRecord(domainRecord(false));
    FakeSetupView& v = rig.view114;
    v.type(IDC_DOMAIN, "typed.example");
    v.toggle(IDC_DOMAIN_ENABLE);
    rig.page114.onCommand(IDC_DOMAIN_ENABLE);
    EXPECT_TRUE(v.isEnabled(IDC_DOMAIN));
    EXPECT_FALSE(v.isEnabled(IDC_PLATFORM_IP));
    EXPECT_EQ(v.addresses[IDC_PLATFORM_IP], "10.20.30.40");
    v.toggle(IDC_DOMAIN_ENABLE);
    rig.page114.onCommand(IDC_DOMAIN_ENABLE);
    EXPECT_FALSE(v.isEnabled(IDC_DOMAIN));
    EXPECT_TRUE(v.isEnabled(IDC_PLATFORM_IP));
    EXPECT_EQ(v.texts[IDC_DOMAIN], "typed.example");
}

TEST(DomainPageEye, TogglesTheMask)
{
    SetupRig rig;
    rig.showRecord(domainRecord(true));
    FakeSetupView& v = rig.view114;
    rig.page114.onCommand(IDC_EYE);
    EXPECT_FALSE(v.masked[IDC_PASSWORD]);
    EXPECT_EQ(v.bitmaps[IDC_EYE], IDB_EYE_OPEN);
    EXPECT_EQ(v.texts[IDC_PASSWORD], "dom-pass");
}

TEST(DomainPageClose, DisablesTheInputsAndTheRereadClearsThem)
{
    SetupRig rig;
    rig.showRecord(domainRecord(true));
    FakeSetupView& v = rig.view114;
    rig.page114.onCommand(IDC_PORT_BUTTON);
    EXPECT_EQ(v.texts[IDC_PORT_BUTTON], "打开串口");
    EXPECT_TRUE(v.isEnabled(IDC_PORT_LIST));
    EXPECT_EQ(rig.port.current, 0);
    for (int id : kInputs)
        EXPECT_FALSE(v.isEnabled(id)) << id;
    EXPECT_FALSE(v.isEnabled(IDC_DOMAIN));
    EXPECT_FALSE(v.isEnabled(IDC_PLATFORM_IP));

    rig.page114.onCommand(IDC_PORT_BUTTON);
    for (int id : {IDC_VERSION, IDC_NAME, IDC_PASSWORD, IDC_PLATFORM_PORT, IDC_DOMAIN})
        EXPECT_EQ(v.texts[id], "") << id;
    EXPECT_EQ(v.addresses[IDC_PLATFORM_IP], "");
    EXPECT_EQ(v.selection(IDC_ANTENNA_BAUD), -1);
    EXPECT_EQ(rig.port.writes.back(), readRequestBytes());
    EXPECT_EQ(rig.shell.replyCountdown(), 3);
    EXPECT_EQ(v.texts[IDC_PORT_BUTTON], "关闭串口");

    // The reader answers: the page shows it again, the list items once.
    rig.reply(3, domainRecord(false).bytes);
    EXPECT_EQ(v.addresses[IDC_PLATFORM_IP], "10.20.30.40");
    EXPECT_EQ(v.itemsOf(IDC_ANTENNA_BAUD).size(), 5u);
}

TEST(DomainPageApply, ChecksInOrder)
{
    struct Case {
        const char* name;
        bool domain;
        std::vector<Edit> edits;
        const char* message;
    };
    const Case cases[] = {
        {"name empty first", true, {{IDC_PLATFORM_PORT, ""}, {IDC_NAME, ""}}, "设备名称不能为空"},
        {"password empty", true, {{IDC_PLATFORM_PORT, ""}, {IDC_PASSWORD, ""}}, "设备密码不能为空"},
        {"domain empty", true, {{IDC_PLATFORM_PORT, ""}, {IDC_DOMAIN, ""}}, "域名不能为空"},
        {"domain on: the platform IP is not checked", true, {{IDC_PLATFORM_IP, ""}}, nullptr},
        {"platform IP blank", false, {{IDC_PLATFORM_PORT, ""}, {IDC_PLATFORM_IP, ""}},
         "平台IP格式不对"},
        {"domain off: the domain is not checked", false, {{IDC_DOMAIN, ""}}, nullptr},
        {"port empty", false, {{IDC_PLATFORM_PORT, ""}}, "平台端口不能为空"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        rig.showRecord(domainRecord(c.domain));
        FakeSetupView& v = rig.view114;
        typeEdits(v, c.edits);
        const size_t writes = rig.port.writes.size();
        rig.page114.onCommand(IDC_APPLY);
        if (c.message) {
            EXPECT_EQ(v.boxTexts(), std::vector<std::string>{c.message});
            EXPECT_EQ(v.boxes[0].kind, BoxKind::information);
            EXPECT_EQ(rig.port.writes.size(), writes);
        } else {
            EXPECT_TRUE(v.boxes.empty());
            EXPECT_EQ(rig.port.writes.size(), writes + 1);
            EXPECT_EQ(rig.shell.replyCountdown(), 3);
        }
    }
}

TEST(DomainPageApply, PayloadsByteForByte)
{
    const Bytes tail = {0x17, 0x70, 1, 0xC3};  // port 6000, baud code, the echoed byte
    struct Case {
        const char* name;
        bool domain;
        Bytes payload;
    };
    const Case cases[] = {
        // The domain goes, and 125 to 128 stay zero whatever 1022 shows.
        {"domain", true,
         payloadWith(133, {{0, bytesOf("dom-dev")},
                           {32, bytesOf("dom-pass")},
                           {64, {1}},
                           {65, bytesOf("reader.example.net")},
                           {129, tail}})},
        {"platform IP", false,
         payloadWith(133, {{0, bytesOf("dom-dev")},
                           {32, bytesOf("dom-pass")},
                           {125, {10, 20, 30, 40}},
                           {129, tail}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRig rig;
        rig.showRecord(domainRecord(c.domain));
        FakeSetupView& v = rig.view114;
        v.typeAddress(IDC_PLATFORM_IP, "10.20.30.40");
        rig.page114.onCommand(IDC_APPLY);
        EXPECT_TRUE(v.boxes.empty());
        EXPECT_EQ(lastWritePayload(rig.port), c.payload);
    }
}

TEST(DomainPageApply, TextLimitsAndThePortWrap)
{
    SetupRig rig;
    rig.showRecord(domainRecord(true));
    FakeSetupView& v = rig.view114;
    v.type(IDC_NAME, std::string(40, 'n'));  // 31 bytes are read
    v.type(IDC_DOMAIN, std::string(70, 'd'));  // 59 bytes are read
    v.type(IDC_PLATFORM_PORT, "70000");
    rig.page114.onCommand(IDC_APPLY);
    const Bytes p = lastWritePayload(rig.port);
    ASSERT_EQ(p.size(), 133u);
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 32), payloadWith(32, {{0, Bytes(31, 'n')}}));
    EXPECT_EQ(Bytes(p.begin() + 65, p.begin() + 125), payloadWith(60, {{0, Bytes(59, 'd')}}));
    EXPECT_EQ(p[129], 0x11);  // 70000 keeps its low 16 bits: 4464
    EXPECT_EQ(p[130], 0x70);
}
