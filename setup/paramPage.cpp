#include "setup/paramPage.h"

#include "serial/paramRecords.h"
#include "setup/resource.h"

const char* const pageBaudItems[5] = {"9600", "19200", "38400", "57600", "115200（默认）"};

int ParamPage::eyeBitmap() const { return passwordMasked_ ? IDB_EYE_CLOSED : IDB_EYE_OPEN; }

void ParamPage::initPortSteps()
{
    shell_.setCurrentPage(this);
    probePorts(!listsFilled_);
    view_.setButtonBitmap(IDC_EYE, eyeBitmap());
    const ModelReadyBlock& block = shell_.modelReady();
    view_.setSelection(IDC_PORT_LIST, block.portIndex);
    openSelectedPort();
    portOpen_ = true;
    view_.startTimer(IDT_REPLY, setupTimerMs);
    view_.enable(IDC_PORT_LIST, false);
    fields_.showGbk(IDC_VERSION, block.record.version().view());
    view_.setText(IDC_PORT_BUTTON, "关闭串口");
}

bool ParamPage::beginReread()
{
    if (!openSelectedPortOrComplain())
        return false;
    view_.setText(IDC_VERSION, std::string());
    return true;
}

void ParamPage::setMasked(bool masked)
{
    passwordMasked_ = masked;
    view_.setPasswordMasked(IDC_PASSWORD, masked);
    view_.setButtonBitmap(IDC_EYE, eyeBitmap());
}

void ParamPage::eyeClicked()
{
    setMasked(!passwordMasked_);
    fields_.showGbk(IDC_PASSWORD, fields_.gbk(IDC_PASSWORD, pageTextLimit));
}

void ParamPage::showBaudList(int control, int code)
{
    if (!listsFilled_) {
        for (const char* item : pageBaudItems)
            view_.addItem(control, item);
    }
    view_.setSelection(control, code);
}

uint8_t ParamPage::baudCode(int control) const
{
    const int selected = view_.selection(control);
    return selected < 0 ? baudCodeNone : uint8_t(selected);
}

bool ParamPage::required(int control, size_t limit, const char* emptyMessage, std::string& out)
{
    out = fields_.gbk(control, limit);
    if (!out.empty())
        return true;
    view_.message(emptyMessage, MessageStyle::information);
    return false;
}
