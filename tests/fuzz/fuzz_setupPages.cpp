// Feeds arbitrary parameter replies to the configuration tool's controllers:
// dispatchFrame -> the shell -> the page of the reply's model (every model
// page), its initialisation, a second reply that refreshes the showing page
// with any record, and some of the page's commands. The views keep only
// what the controllers read back. Nothing may crash, a refused reply opens
// no page, and everything written to the port is a valid request.
//
// Input: level of the first reply, level of the second, model byte of the
// second, a mask of page actions, the build (its code modulo the builds),
// then the payload.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/textCodec.h"
#include "serial/configFrame.h"
#include "serial/frameCutter.h"
#include "serial/paramRecords.h"
#include "setup/resource.h"
#include "setup/setupShell.h"
#include "setup/domainPage.h"
#include "setup/networkPage.h"
#include "setup/setupBuild.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Keeps the state the controllers read back: texts, check boxes,
// addresses, list items and selections.
class StateView : public SetupView {
public:
    std::string text(int id) const override
    {
        auto list = items_.find(id);
        if (list != items_.end()) {
            const int sel = selection(id);
            return sel >= 0 ? list->second[size_t(sel)] : std::string();
        }
        return find(texts_, id);
    }
    void setText(int id, const std::string& utf8) override { texts_[id] = utf8; }
    void enable(int, bool) override {}
    bool checked(int id) const override { return checks_.count(id) && checks_.at(id); }
    void setChecked(int id, bool on) override { checks_[id] = on; }
    std::string address(int id) const override { return find(addresses_, id); }
    void setAddress(int id, const std::string& dotted) override { addresses_[id] = dotted; }
    void message(const std::string&, MessageStyle) override {}
    void startTimer(int, int) override {}
    void killTimer(int) override {}
    void show(int, bool) override {}
    void clearItems(int id) override
    {
        items_[id].clear();
        selections_[id] = -1;
    }
    void addItem(int id, const std::string& utf8) override { items_[id].push_back(utf8); }
    int selection(int id) const override
    {
        auto it = selections_.find(id);
        return it == selections_.end() ? -1 : it->second;
    }
    void setSelection(int id, int index) override
    {
        const int count = int(items_[id].size());
        selections_[id] = index >= 0 && index < count ? index : -1;
    }
    void setPasswordMasked(int, bool) override {}
    void setButtonBitmap(int, int) override {}
    void notice(const std::string&) override {}
    void postQuit(int) override {}

    // What the user does.
    void toggle(int id) { checks_[id] = !checked(id); }

private:
    static std::string find(const std::map<int, std::string>& m, int id)
    {
        auto it = m.find(id);
        return it == m.end() ? std::string() : it->second;
    }
    std::map<int, std::string> texts_;
    std::map<int, bool> checks_;
    std::map<int, std::string> addresses_;
    std::map<int, std::vector<std::string>> items_;
    std::map<int, int> selections_;
};

// COM1 only; every write must be a request the tool may send.
class CheckingPort : public ComPort {
public:
    uint32_t probeComPorts() override { return 1; }
    bool openComPort(int number) override
    {
        open_ = number == 1;
        return open_;
    }
    void closeComPort() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void writeComBytes(const uint8_t* bytes, size_t count) override
    {
        ConfigFrame f;
        check(configFrameCheck(bytes, count, &f) == ConfigCheck::ok && f.level == 0);
        if (f.command == configCmdReadRequest) {
            check(f.length == 0);
            return;
        }
        check(f.command == configCmdWriteRequest);
        bool known = false;  // the write of some layout
        for (const ParamModelInfo& m : paramModels)
            known = known || f.length == m.writeSize;
        check(known);
    }

private:
    bool open_ = false;
};

class PageWindow : public SetupWindow {
public:
    SetupShell* shell = nullptr;
    std::map<int, SetupPage*> pages;
    int created = 0;

    WindowRect windowRect() const override { return rect_; }
    void setWindowRect(const WindowRect& r) override { rect_ = r; }
    void createDialog(int id) override
    {
        ++created;
        auto it = pages.find(id);
        if (it != pages.end())
            it->second->onInit();
    }
    void destroyDialog(int id) override
    {
        auto it = pages.find(id);
        if (it != pages.end())
            it->second->onDestroy();
    }
    void sendModelReady(const ModelReadyBlock& block) override { shell->onModelReady(block); }

private:
    WindowRect rect_ = SetupShell::startRect();
};

void deliver(SetupShell& shell, uint8_t level, uint8_t command, const uint8_t* payload,
             size_t length)
{
    uint8_t frame[serialAssemblySize];
    const size_t total = buildConfigFrame(frame, sizeof frame, level, command, payload, length);
    check(total == length + configHeaderSize);
    check(dispatchFrame(frame, total, shell) ==
          (command == configCmdParamReply ? ConfigDispatch::parameterReply
                                          : ConfigDispatch::writeAcknowledged));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t head = 5;
    if (size < head)
        return 0;
    const uint8_t firstLevel = data[0], secondLevel = data[1], secondModel = data[2];
    const uint8_t actions = data[3];
    const SetupBuild& build = setupBuilds[data[4] % (sizeof setupBuilds / sizeof setupBuilds[0])];
    const uint8_t* payload = data + head;
    const size_t length = std::min(size - head, serialMaxPayload);

    // As the program of that build: its page table, its pages.
    CheckingPort port;
    PageWindow window;
    SetupShell shell(port, window, build.pages, build.pageCount, build.sortedLists);
    window.shell = &shell;
    const TextCodec& codec = systemTextCodec();
    StateView choiceView;
    PortChoiceDialog choice(shell, choiceView);
    window.pages[choice.dialogId()] = &choice;
    StateView pageViews[8];
    std::unique_ptr<SetupPage> pages[8];
    for (size_t i = 0; i < build.pageCount && i < 8; ++i) {
        if (const NetworkPageTraits* traits = build.networkPage(build.pages[i].model))
            pages[i] = std::make_unique<NetworkPage>(shell, pageViews[i], codec, *traits);
        else
            pages[i] = std::make_unique<DomainPage>(shell, pageViews[i], codec);
        window.pages[pages[i]->dialogId()] = pages[i].get();
    }

    shell.onCreate();
    choice.onCommand(IDC_PORT_BUTTON);  // opens COM1, sends the read request
    check(port.isOpen());
    const int before = window.created;
    deliver(shell, firstLevel, configCmdParamReply, payload, length);
    if (!paramLevelSupported(firstLevel)) {
        check(window.created == before && !port.isOpen());
        return 0;
    }
    check(shell.modelReady().record.replyLength == length);
    check(shell.modelReady().modelCode == (length > 16 ? payload[16] : 0));

    // A second record, of any model, for the page that shows.
    std::vector<uint8_t> second(payload, payload + length);
    if (second.size() > 16)
        second[16] = secondModel;
    deliver(shell, secondLevel, configCmdParamReply, second.data(), second.size());

    SetupPage* page = shell.currentPage();
    check(page != nullptr);
    StateView& view = static_cast<StateView&>(page->view());
    if (actions & 0x01) {
        view.setSelection(IDC_CONNECT_MODE, view.selection(IDC_CONNECT_MODE) == 0 ? 1 : 0);
        page->onCommand(IDC_CONNECT_MODE);
    }
    if (actions & 0x02) {
        view.toggle(IDC_DHCP);
        page->onCommand(IDC_DHCP);
    }
    if (actions & 0x04) {
        page->onCommand(IDC_EYE);
        // The radio buttons of the dual-network page, the domain box of the
        // domain page; the other pages ignore them.
        const int radio = view.checked(IDC_WIFI) ? IDC_WIRED : IDC_WIFI;
        view.setChecked(IDC_WIRED, radio == IDC_WIRED);
        view.setChecked(IDC_WIFI, radio == IDC_WIFI);
        page->onCommand(radio);
        view.toggle(IDC_DOMAIN_ENABLE);
        page->onCommand(IDC_DOMAIN_ENABLE);
    }
    if (actions & 0x08)
        page->onCommand(IDC_APPLY);
    if (actions & 0x10)
        deliver(shell, secondLevel, configCmdWriteAck, payload, length);
    if (actions & 0x20)
        page->onCommand(IDC_PORT_BUTTON);
    if (actions & 0x40)
        page->onCommand(IDC_PORT_BUTTON);
    if ((actions & 0x80) && page->portOpen()) {
        // Timer 1 runs while the dialog has its port open.
        shell.armReply(SetupShell::Awaited::record);
        for (int tick = 0; tick < setupReplyTicks; ++tick)
            page->onTimer(IDT_REPLY);
        check(shell.replyCountdown() == 0);
    }
    // The raw input as a frame: mostly refused, never a crash.
    dispatchFrame(data, size, shell);
    return 0;
}
