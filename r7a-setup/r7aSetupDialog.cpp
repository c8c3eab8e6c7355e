#include "r7a-setup/r7aSetupDialog.h"

#include <algorithm>

#include "common/decimal.h"
#include "r7a-setup/resource.h"
#include "serial/paramRecords.h"
#include "common/dialogFields.h"

namespace {

// The three baud-rate lists; the item index is the code.
constexpr int kBaudLists[] = {IDC_R7A_RS485_BAUD, IDC_R7A_ANTENNA0_BAUD, IDC_R7A_ANTENNA1_BAUD};
constexpr int kAddressFields[] = {IDC_R7A_IP, IDC_R7A_MASK, IDC_R7A_GATEWAY};

// The first maxChars characters of a UTF-8 text.
std::string firstChars(const std::string& utf8, size_t maxChars)
{
    size_t chars = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if ((uint8_t(utf8[i]) & 0xC0) != 0x80 && chars++ == maxChars)
            return utf8.substr(0, i);
    }
    return utf8;
}

uint8_t selectedCode(const SetupView& view, int list)
{
    const int index = view.selection(list);
    return index < 0 ? baudCodeNone : uint8_t(index);
}

}  // namespace

R7aSetupDialog::R7aSetupDialog(SetupView& view, ComPort& port, R7aReceiveBuffer& incoming,
                               PlainMessageBox& box, const TextCodec& codec)
    : view_(view), port_(port), incoming_(incoming), box_(box), codec_(codec)
{
}

void R7aSetupDialog::onInit()
{
    int numbers[serialProbeCount];
    const size_t count = comPortNumbers(port_.probeComPorts(), numbers);
    view_.clearItems(IDC_R7A_PORT_LIST);
    for (size_t i = 0; i < count; ++i)
        view_.addItem(IDC_R7A_PORT_LIST, comPortItemText(numbers[i]));
    view_.setSelection(IDC_R7A_PORT_LIST, 0);
    for (int list : kBaudLists) {
        view_.clearItems(list);
        for (uint32_t rate : baudRates)
            view_.addItem(list, decimalText(rate));
    }
    view_.enable(IDC_R7A_APPLY, false);
}

void R7aSetupDialog::onCommand(int id)
{
    if (id == IDC_R7A_PORT_BUTTON) {
        if (open_)
            closePort();
        else
            openPort();
    } else if (id == IDC_R7A_APPLY && open_) {
        apply();
    }
}

void R7aSetupDialog::onTimer(int id)
{
    // While a frame's message box is open its modal loop still delivers the
    // ticks; the bytes wait in the buffer until the box is answered.
    if (id != IDT_R7A_PARSE || !open_ || handling_)
        return;
    if (++ticks_ < r7aTicksPerParse)
        return;
    ticks_ = 0;
    parse();
}

void R7aSetupDialog::onDestroy()
{
    view_.killTimer(IDT_R7A_PARSE);
}

void R7aSetupDialog::openPort()
{
    if (!openComPortItem(port_, view_.text(IDC_R7A_PORT_LIST)))
        return;  // no message: the tool stays closed
    // Nothing of an earlier session is parsed with this one's reply.
    incoming_.clear();
    assembler_.clear();
    open_ = true;
    ++session_;
    ticks_ = 0;
    port_.writeComBytes(r7aReadRequest, sizeof r7aReadRequest);
    view_.startTimer(IDT_R7A_PARSE, r7aParseTimerMs);
    view_.setText(IDC_R7A_PORT_BUTTON, r7aCloseText);
}

void R7aSetupDialog::closePort()
{
    view_.enable(IDC_R7A_APPLY, false);
    port_.closeComPort();
    open_ = false;
    loaded_ = false;
    ++session_;
    incoming_.clear();
    assembler_.clear();
    view_.setText(IDC_R7A_VERSION, std::string());
    DialogFields fields(view_, codec_);
    for (int id : kAddressFields)
        fields.clearAddress(id);
    for (int list : kBaudLists)
        view_.setSelection(list, -1);
    view_.killTimer(IDT_R7A_PARSE);
    view_.setText(IDC_R7A_PORT_BUTTON, r7aOpenText);
}

R7aRecord R7aSetupDialog::readFields()
{
    R7aRecord rec;
    const std::string threshold = firstChars(view_.text(IDC_R7A_THRESHOLD), r7aThresholdChars);
    rec.threshold = int8_t(uint8_t(parseSigned(threshold.c_str())));
    rec.rs485Baud = selectedCode(view_, IDC_R7A_RS485_BAUD);
    rec.antenna0Baud = selectedCode(view_, IDC_R7A_ANTENNA0_BAUD);
    rec.antenna1Baud = selectedCode(view_, IDC_R7A_ANTENNA1_BAUD);
    // A blank address control is sent as 0.0.0.0.
    const DialogFields fields(view_, codec_);
    fields.address(IDC_R7A_IP, &rec.ip);
    fields.address(IDC_R7A_MASK, &rec.mask);
    fields.address(IDC_R7A_GATEWAY, &rec.gateway);
    rec.flag = view_.checked(IDC_R7A_ANT1_AS_ANT0) ? 1 : 0;
    return rec;
}

void R7aSetupDialog::apply()
{
    uint8_t payload[r7aWriteSize];
    encodeR7aWrite(readFields(), payload);
    uint8_t frame[r7aWriteFrameSize];
    const size_t total = buildR7aFrame(frame, sizeof frame, r7aRequestLevel, configCmdWriteRequest,
                                       payload, sizeof payload);
    port_.writeComBytes(frame, total);
    ticks_ = 0;
}

void R7aSetupDialog::parse()
{
    const size_t got = incoming_.take(assembler_.tail(), assembler_.room());
    assembler_.added(got);
    const unsigned session = session_;
    while (const size_t total = assembler_.next(got > 0)) {
        // The frame is copied out: a handler's message box lets the user
        // close the port, which empties the assembler under it.
        uint8_t frame[r7aBufferSize];
        std::copy(assembler_.front(), assembler_.front() + total, frame);
        assembler_.pop(total);
        handleFrame(frame, total);
        if (session != session_)
            return;
    }
}

void R7aSetupDialog::handleFrame(const uint8_t* frame, size_t total)
{
    switch (frame[5]) {
    case configCmdParamReply: {
        R7aRecord rec;
        rec.threshold = 0;
        if (decodeR7aReply(frame + r7aHeaderSize, total - r7aHeaderSize, &rec))
            showRecord(rec);
        break;  // a reply too short for its fields is dropped
    }
    case configCmdWriteAck:
        handling_ = true;
        box_.show(r7aWrittenText, r7aWrittenCaption);
        handling_ = false;
        break;
    default:
        break;
    }
}

void R7aSetupDialog::showRecord(const R7aRecord& rec)
{
    view_.setSelection(IDC_R7A_RS485_BAUD, rec.rs485Baud);  // a code above 4 selects nothing
    view_.setSelection(IDC_R7A_ANTENNA0_BAUD, rec.antenna0Baud);
    view_.setSelection(IDC_R7A_ANTENNA1_BAUD, rec.antenna1Baud);
    DialogFields fields(view_, codec_);
    fields.showAddress(IDC_R7A_IP, rec.ip);
    fields.showAddress(IDC_R7A_MASK, rec.mask);
    fields.showAddress(IDC_R7A_GATEWAY, rec.gateway);
    fields.showGbk(IDC_R7A_VERSION, rec.version);
    view_.enable(IDC_R7A_APPLY, true);
    if (rec.hasThreshold)
        view_.setText(IDC_R7A_THRESHOLD, decimalText(rec.threshold));
    if (rec.hasFlag)
        view_.setChecked(IDC_R7A_ANT1_AS_ANT0, rec.flag != 0);
    loaded_ = true;
}
