#include "console/mainPanel.h"

#include <cstdio>

#include "common/decimal.h"
#include "console/panelIds.h"

const int gridCellIds[gridRows][gridColumns] = {
    {1046, 1047, 1083, 1084, 1085, 1086, 1087}, {1088, 1089, 1107, 1108, 1109, 1110, 1111},
    {1112, 1182, 1113, 1114, 1115, 1116, 1117}, {1118, 1183, 1119, 1120, 1121, 1122, 1123},
    {1124, 1184, 1125, 1126, 1127, 1128, 1129}, {1130, 1185, 1131, 1132, 1133, 1134, 1135},
    {1136, 1186, 1137, 1138, 1139, 1140, 1141}, {1142, 1187, 1143, 1144, 1145, 1146, 1147},
    {1148, 1188, 1149, 1150, 1151, 1152, 1153}, {1154, 1189, 1155, 1156, 1157, 1158, 1159},
    {1160, 1190, 1161, 1162, 1163, 1164, 1165}, {1166, 1191, 1167, 1168, 1169, 1170, 1171},
    {1172, 1192, 1173, 1174, 1175, 1176, 1177},
};

namespace {

const int kCallInputs[] = {IDC_CALL_SUBSTATION, IDC_CALL_TAG, IDC_LAMP_GREEN, IDC_LAMP_RED,
                           IDC_BUZZER};
const int kMessageInputs[] = {IDC_SMS_SUBSTATION, IDC_SMS_TAG, IDC_SMS_NUMBER, IDC_SMS_TEXT};

std::string decimal(long long v)
{
    char s[24];
    std::snprintf(s, sizeof s, "%lld", v);
    return s;
}

}  // namespace

void formatRow(const RowSnapshot& row, int index, std::string cells[gridColumns])
{
    cells[0] = decimal(index + 1);
    cells[1] = decimal(row.substation);
    cells[2] = decimal(row.tagId);
    cells[3] = (row.status & 1) ? "欠压" : "正常";
    cells[4].clear();
    const int n = row.status >> 5;
    for (int k = 0; k < n; ++k) {
        char hex[4];
        std::snprintf(hex, sizeof hex, k + 1 < n ? "%02x " : "%02x", row.extra[k]);
        cells[4] += hex;
    }
    cells[5] = row.dropped ? std::string() : decimal(row.rssi) + " / " + decimal(row.distance);
    cells[6] = decimal(row.activeCount);
}

int lampModeFor(bool green, bool red, bool buzzer)
{
    // Bit 0 is the buzzer; the rest picks green (0), red (2) or both (4).
    if (!green && !red)
        return -1;
    const int lamps = green && red ? 4 : red ? 2 : 0;
    return lamps | (buzzer ? 1 : 0);
}

MainPanel::MainPanel(PanelView& view, ConsoleLink& link, TagStore& store, const TextCodec& codec,
                     const Clock& clock, PanelFlavor flavor)
    : view_(view), link_(link), store_(store), codec_(codec), clock_(clock), flavor_(flavor)
{
}

void MainPanel::onInit()
{
    for (int row = 1; row < gridRows; ++row)
        for (int col = 0; col < gridColumns; ++col)
            view_.setCell(row * gridColumns + col, std::string(), false);
    link_.initInputs(view_);
    view_.setChecked(IDC_LAMP_GREEN, true);
    view_.setChecked(IDC_LAMP_RED, false);
    view_.setChecked(IDC_BUZZER, true);
    if (flavor_.inputsFollowServer) {
        enableCallInputs(false);
        enableMessageInputs(false);
    }
    view_.setText(IDC_CALL, flavor_.firstCallCaption);
    view_.enable(IDC_CALL, false);
    view_.enable(IDC_SMS_SEND, false);
    view_.enable(IDC_DETAILS, false);
    callActive_ = false;
}

void MainPanel::onCommand(int id)
{
    switch (id) {
    case IDC_START:
        serverStarted_ ? stop() : start();
        break;
    case IDC_NEXT_PAGE:
        if (store_.nextPage())
            refresh();
        break;
    case IDC_PREV_PAGE:
        if (store_.previousPage())
            refresh();
        break;
    case IDC_CALL:
        if (serverStarted_)
            callActive_ ? stopCall() : startCall();
        break;
    case IDC_SMS_SEND:
        if (serverStarted_)
            sendSms();
        break;
    case IDC_DETAILS:
        if (serverStarted_)
            view_.openDetails();
        break;
    default:
        break;
    }
}

void MainPanel::onTimer(int id)
{
    if (id == IDT_TICK && serverStarted_)
        tick();
}

void MainPanel::enableCallInputs(bool enabled)
{
    for (int id : kCallInputs)
        view_.enable(id, enabled);
}

void MainPanel::enableMessageInputs(bool enabled)
{
    for (int id : kMessageInputs)
        view_.enable(id, enabled);
}

void MainPanel::start()
{
    if (!link_.open(view_))
        return;  // the link has told the user why; inputs stay as they were
    serverStarted_ = true;
    int count = 0;
    const int* modeInputs = link_.modeInputs(&count);
    for (int i = 0; i < count; ++i)
        view_.enable(modeInputs[i], false);
    callActive_ = false;
    if (flavor_.inputsFollowServer) {
        enableCallInputs(true);
        enableMessageInputs(true);
    } else {
        view_.enable(IDC_CALL_TAG, true);
    }
    view_.enable(IDC_CALL, true);
    view_.setText(IDC_CALL, "启动");
    view_.setText(IDC_START, "停止");
    view_.enable(IDC_SMS_SEND, true);
    view_.enable(IDC_DETAILS, true);
    store_.clear();
    refresh();
    view_.startTimer(IDT_TICK, 1000);
}

void MainPanel::stop()
{
    serverStarted_ = false;
    store_.deactivate();
    refresh();
    link_.close();
    view_.killTimer(IDT_TICK);
    if (flavor_.inputsFollowServer) {
        enableCallInputs(false);
        enableMessageInputs(false);
    } else {
        view_.enable(IDC_CALL_TAG, true);
    }
    view_.enable(IDC_CALL, false);
    view_.enable(IDC_SMS_SEND, false);
    view_.enable(IDC_DETAILS, false);
    callActive_ = false;
    view_.setText(IDC_CALL, "启动");
    int count = 0;
    const int* modeInputs = link_.modeInputs(&count);
    for (int i = 0; i < count; ++i)
        view_.enable(modeInputs[i], true);
    view_.setText(IDC_STATUS, "未连接");
    view_.setText(IDC_START, "开始");
}

void MainPanel::tick()
{
    store_.ageTick();
    refresh();
    link_.tick();
    if (callActive_)
        link_.sendCall(call_);
}

void MainPanel::refresh()
{
    RowSnapshot rows[storeRowsPerPage];
    int first = 0, total = 0, dropped = 0;
    const int shown = store_.snapshotPage(rows, &first, &total, &dropped);
    // Formatting and drawing happen after the store's lock is released.
    view_.setText(IDC_STATUS, serverStarted_ && link_.linkUp() ? "已连接" : "未连接");
    view_.setText(IDC_TAG_COUNT, decimal(total));
    view_.setText(IDC_DROPPED_COUNT, decimal(dropped));
    std::string cells[gridColumns];
    for (int row = 0; row < storeRowsPerPage; ++row) {
        const int base = (row + 1) * gridColumns;
        if (row < shown) {
            formatRow(rows[row], first + row, cells);
            for (int col = 0; col < gridColumns; ++col)
                view_.setCell(base + col, cells[col], rows[row].dropped);
        } else {
            for (int col = 0; col < gridColumns; ++col)
                view_.setCell(base + col, std::string(), false);
        }
    }
}

std::string MainPanel::readGbk(int id, size_t maxBytes) const
{
    return gbkTruncate(codec_.utf8ToGbk(view_.text(id)), maxBytes);
}

bool MainPanel::readSubstation(int id, int32_t* substation)
{
    const std::string text = readGbk(id, 19);
    if (text.empty()) {
        view_.message("请输入分站号", MessageStyle::notice);
        return false;
    }
    *substation = parseSigned(text.c_str());
    if (*substation < 0) {
        view_.message("分站号不能小于0", MessageStyle::notice);
        return false;
    }
    if (*substation > 33) {
        view_.message("分站号不能大于33", MessageStyle::notice);
        return false;
    }
    return true;
}

void MainPanel::startCall()
{
    const std::string tag = readGbk(IDC_CALL_TAG, 19);
    if (tag.empty()) {
        view_.message("请输入要呼叫的标签ID", MessageStyle::notice);
        return;
    }
    const uint32_t tagId = parseUnsigned(tag.c_str());
    int32_t substation = 0;
    if (!readSubstation(IDC_CALL_SUBSTATION, &substation))
        return;
    const int mode = lampModeFor(view_.checked(IDC_LAMP_GREEN), view_.checked(IDC_LAMP_RED),
                                 view_.checked(IDC_BUZZER));
    if (mode < 0) {
        view_.message("请选择一种灯模式", MessageStyle::information);
        return;
    }
    call_ = CallFrame{substation, tagId, 5, uint8_t(mode)};
    callActive_ = true;
    view_.setText(IDC_CALL, "停止");
    if (flavor_.inputsFollowServer)
        enableCallInputs(false);
    else
        view_.enable(IDC_CALL_TAG, false);
    link_.sendCall(call_);
}

void MainPanel::stopCall()
{
    CallFrame stopFrame = call_;
    stopFrame.action = 1;
    stopFrame.mode = 0xFF;
    link_.sendCall(stopFrame);
    callActive_ = false;
    view_.setText(IDC_CALL, "启动");
    if (flavor_.inputsFollowServer)
        enableCallInputs(true);
    else
        view_.enable(IDC_CALL_TAG, true);
}

void MainPanel::sendSms()
{
    const std::string tag = readGbk(IDC_SMS_TAG, 19);
    if (tag.empty()) {
        view_.message("请输入要接收短消息的标签ID", MessageStyle::notice);
        return;
    }
    SmsFrame sms;
    sms.tagId = parseUnsigned(tag.c_str());
    if (!readSubstation(IDC_SMS_SUBSTATION, &sms.substation))
        return;
    const std::string number = readGbk(IDC_SMS_NUMBER, 19);
    if (number.empty()) {
        view_.message("请输入短信编号", MessageStyle::notice);
        return;
    }
    sms.number = parseSigned(number.c_str());
    if (sms.number < 0) {
        view_.message("短信编号不能小于0", MessageStyle::notice);
        return;
    }
    if (sms.number > 40000) {
        view_.message("短信编号不能大于40000", MessageStyle::notice);
        return;
    }
    sms.gbkText = readGbk(IDC_SMS_TEXT, 109);
    if (!link_.linkUp())
        return;
    sms.time = clock_.now();
    link_.sendSms(sms);
}
