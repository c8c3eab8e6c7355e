#include "setup/domainPage.h"

#include "common/decimal.h"
#include "serial/configFrame.h"
#include "setup/resource.h"

namespace {

// The inputs that the page enables while its port is open.
const int kInputs[] = {IDC_ANTENNA_BAUD, IDC_NAME,          IDC_PASSWORD, IDC_EYE,
                       IDC_DOMAIN_ENABLE, IDC_PLATFORM_IP, IDC_PLATFORM_PORT, IDC_DOMAIN,
                       IDC_APPLY};

}  // namespace

DomainPage::DomainPage(SetupShell& shell, SetupView& view, const TextCodec& codec)
    : ParamPage(shell, view, codec, IDD_PAGE_DOMAIN)
{
}

void DomainPage::showDomainChoice(bool domain)
{
    view_.enable(IDC_DOMAIN, domain);
    view_.enable(IDC_PLATFORM_IP, !domain);
}

void DomainPage::onInit()
{
    initPortSteps();
    const DomainParams rec = decodeDomain(shell_.modelReady().record);

    showBaudList(IDC_ANTENNA_BAUD, rec.antennaBaud);
    listsFilled_ = true;
    view_.enable(IDC_ANTENNA_BAUD, true);
    view_.enable(IDC_NAME, true);
    fields_.showGbk(IDC_NAME, rec.name.view());
    setMasked(true);
    fields_.showGbk(IDC_PASSWORD, rec.password.view());

    const bool domain = rec.domainEnabled != 0;
    view_.setChecked(IDC_DOMAIN_ENABLE, domain);
    showDomainChoice(domain);
    if (domain)
        fields_.showGbk(IDC_DOMAIN, rec.domain.view());
    else
        fields_.showAddress(IDC_PLATFORM_IP, rec.platformIp);
    view_.setText(IDC_PLATFORM_PORT, decimalText(rec.platformPort));
    for (int id : {IDC_PASSWORD, IDC_EYE, IDC_DOMAIN_ENABLE, IDC_PLATFORM_PORT, IDC_APPLY})
        view_.enable(id, true);
}

void DomainPage::onCommand(int id)
{
    switch (id) {
    case IDC_PORT_BUTTON:
        portOpen_ ? closePort() : reread();
        break;
    case IDC_DOMAIN_ENABLE:
        showDomainChoice(view_.checked(IDC_DOMAIN_ENABLE));
        break;
    case IDC_EYE:
        eyeClicked();
        break;
    case IDC_APPLY:
        apply();
        break;
    default:
        break;
    }
}

void DomainPage::closePort()
{
    closePortSteps();
    for (int control : kInputs)
        view_.enable(control, false);
}

void DomainPage::reread()
{
    if (!beginReread())
        return;
    view_.setSelection(IDC_ANTENNA_BAUD, -1);
    for (int control : {IDC_NAME, IDC_PASSWORD, IDC_PLATFORM_PORT, IDC_DOMAIN})
        view_.setText(control, std::string());
    fields_.clearAddress(IDC_PLATFORM_IP);
    requestSteps();
}

void DomainPage::apply()
{
    DomainParams out;
    std::string text;
    if (!required(IDC_NAME, pageLongTextLimit, "设备名称不能为空", text))
        return;
    out.name.assign(text);
    if (!required(IDC_PASSWORD, pageLongTextLimit, "设备密码不能为空", text))
        return;
    out.password.assign(text);
    if (view_.checked(IDC_DOMAIN_ENABLE)) {
        out.domainEnabled = 1;
        if (!required(IDC_DOMAIN, pageDomainLimit, "域名不能为空", text))
            return;
        out.domain.assign(text);
    } else if (!fields_.address(IDC_PLATFORM_IP, &out.platformIp)) {
        view_.message("平台IP格式不对", MessageStyle::information);
        return;
    }
    if (!required(IDC_PLATFORM_PORT, pageTextLimit, "平台端口不能为空", text))
        return;
    out.platformPort = uint16_t(uint32_t(parseSigned(text.c_str())));
    out.antennaBaud = baudCode(IDC_ANTENNA_BAUD);
    out.reserved = decodeDomain(shell_.modelReady().record).reserved;  // echoed from the record
    const WritePayload payload = encodeDomainWrite(out);
    sendWriteRequest(shell_.port(), payload.data(), payload.length);
    shell_.armReply(SetupShell::Awaited::writeAck);
}
