#include "setup/setupShell.h"

#include <algorithm>

#include "common/textCodec.h"
#include "setup/resource.h"

const PageGrowth setupPagesV36[7] = {
    {modelWired, IDD_PAGE_WIRED, 263, 526},
    {modelWiredOneAntenna, IDD_PAGE_ONE_ANTENNA, 217, 435},
    {modelWifi, IDD_PAGE_WIFI, 246, 493},
    {modelDomain, IDD_PAGE_DOMAIN, 156, 312},
    {modelCompactWired, IDD_PAGE_COMPACT, 182, 364},
    {modelDualNetwork, IDD_PAGE_DUAL, 246, 493},
    {modelWiredActive, IDD_PAGE_ACTIVE, 149, 298},
};

namespace {

const char kTimeoutText[] = "不能和设备正常通信，请检查设备是否上电";
const char kLevelTooLowText[] = "网络读卡器版本低，请用旧版本的配置工具";
const char kWriteDoneText[] = "配置成功";
const char kOpenFailedText[] = "打开串口失败";

}  // namespace

SetupShell::SetupShell(ComPort& port, SetupWindow& window, const PageGrowth* pages,
                       size_t pageCount, bool sortedLists)
    : port_(port), window_(window), pages_(pages), pageCount_(pageCount), sortedLists_(sortedLists)
{
}

std::vector<std::string> SetupShell::listOrder(std::vector<std::string> items) const
{
    if (!sortedLists_)
        return items;
    const TextCodec& codec = systemTextCodec();
    std::vector<std::pair<std::string, std::string>> keyed;  // code-page bytes, item
    for (std::string& item : items)
        keyed.emplace_back(codec.utf8ToGbk(item), std::move(item));
    // std::string compares its bytes as unsigned char.
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (auto& entry : keyed)
        out.push_back(std::move(entry.second));
    return out;
}

WindowRect SetupShell::startRect()
{
    WindowRect r;
    r.left = 550;
    r.top = 180;
    r.width = setupWindowWidth;
    r.height = setupWindowHeight;
    return r;
}

WindowRect SetupShell::centred(const WindowRect& rect, int screenWidth, int screenHeight)
{
    WindowRect r = rect;
    r.left = (screenWidth - rect.width) / 2;
    r.top = (screenHeight - rect.height) / 2;
    return r;
}

void SetupShell::onCreate() { window_.createDialog(IDD_PORT_CHOICE); }

const PageGrowth* SetupShell::pageFor(int model) const
{
    for (size_t i = 0; i < pageCount_; ++i) {
        if (pages_[i].model == model)
            return &pages_[i];
    }
    return nullptr;
}

bool SetupShell::replyTick()
{
    int32_t left = countdown_.load(std::memory_order_acquire);
    while (left > 0) {
        const int32_t next = left == 1 ? replyExpiredMark : left - 1;
        if (countdown_.compare_exchange_weak(left, next, std::memory_order_acq_rel))
            return left == 1;
    }
    return false;
}

void SetupShell::onParameterReply(uint8_t level, const uint8_t* payload, size_t length)
{
    // After its deadline a reply counts as none. The time-out box may be
    // showing (its message loop hands frames on): its click closes the port
    // of the dialog that showed it, which must still be the one showing.
    if (replyExpired())
        return;
    // A write waiting for its acknowledgement: a record now is the late
    // answer of an earlier read, whose time-out has been shown. Taken as the
    // answer it would stop the write's countdown (a lost write would end in
    // no message at all), close the port under the write and put the old
    // record over what the user typed.
    if (replyCountdown() > 0 && awaited_.load(std::memory_order_acquire) == Awaited::writeAck)
        return;
    SetupPage* page = currentPage();
    if (!paramLevelSupported(level)) {
        // The refusal answers the request: no time-out while it shows.
        countdown_.store(0, std::memory_order_release);
        if (page) {
            page->view().notice(kLevelTooLowText);
            // The click closes the port and resets the dialog. A dialog
            // that has closed its port already would open it again with a
            // click, so the port is only closed then.
            if (page->portOpen())
                page->onCommand(IDC_PORT_BUTTON);
        }
        port_.closeComPort();
        return;
    }
    port_.closeComPort();
    countdown_.store(0, std::memory_order_release);
    block_.portIndex = page ? page->view().selection(IDC_PORT_LIST) : 0;
    block_.record.assign(payload, length);
    block_.modelCode = block_.record.modelCode();
    block_.level = level;
    window_.sendModelReady(block_);
}

void SetupShell::onWriteAcknowledged()
{
    if (replyExpired())
        return;  // too late: the time-out has been shown and closes the port
    // A read waiting for its record: this is the late acknowledgement of an
    // earlier write, whose time-out has been shown. Taken as the answer it
    // would stop the read's countdown and report a write nobody made.
    if (replyCountdown() > 0 && awaited_.load(std::memory_order_acquire) == Awaited::record)
        return;
    countdown_.store(0, std::memory_order_release);
    if (SetupPage* page = currentPage())
        page->view().notice(kWriteDoneText);
}

void SetupShell::onModelReady(const ModelReadyBlock& block)
{
    // Whether a page shows is what the shell did, not how high the window
    // is: minimised it is a caption high, maximised as high as the screen.
    const bool pageShowing = pageCreated_;
    const PageGrowth* row = pageFor(block.modelCode);
    if (block.modelCode != 0 && !row)
        return;  // a model without a page: the port is closed, nothing else changes
    if (!pageShowing) {
        if (SetupPage* page = currentPage()) {
            setCurrentPage(nullptr);
            window_.destroyDialog(page->dialogId());
        }
    }
    if (block.modelCode == 0) {
        // A new port-choice dialog; a page showing stays underneath it. The
        // reply closed the port that page had open: a click of its 1002
        // shows it closed and stops its timer 1, which would otherwise count
        // the port choice's requests down as well.
        if (SetupPage* page = pageShowing ? currentPage() : nullptr) {
            if (page->portOpen())
                page->onCommand(IDC_PORT_BUTTON);
        }
        window_.createDialog(IDD_PORT_CHOICE);
        return;
    }
    if (pageShowing) {
        // The page chosen by the first reply shows every later record,
        // whatever model it names.
        if (SetupPage* page = currentPage())
            page->onInit();
        return;
    }
    WindowRect r = window_.windowRect();
    r.top -= row->rise;
    r.height += row->growth;
    window_.setWindowRect(r);
    pageCreated_ = true;
    window_.createDialog(row->dialog);
}

void SetupDialog::probePorts(bool addItems)
{
    const uint32_t mask = shell_.port().probeComPorts();
    if (!addItems)
        return;
    int numbers[serialProbeCount];
    const size_t count = comPortNumbers(mask, numbers);
    std::vector<std::string> items;
    for (size_t i = 0; i < count; ++i)
        items.push_back(comPortItemText(numbers[i]));
    for (const std::string& item : shell_.listOrder(std::move(items)))
        view_.addItem(IDC_PORT_LIST, item);
}

bool SetupDialog::openSelectedPort()
{
    return openComPortItem(shell_.port(), view_.text(IDC_PORT_LIST));
}

bool SetupDialog::openSelectedPortOrComplain()
{
    if (openSelectedPort())
        return true;
    view_.message(kOpenFailedText, MessageStyle::information);
    return false;
}

void SetupDialog::closePortSteps()
{
    shell_.port().closeComPort();
    showPortClosed();
}

void SetupDialog::showPortClosed()
{
    portOpen_ = false;
    view_.killTimer(IDT_REPLY);
    view_.setText(IDC_PORT_BUTTON, "打开串口");
    view_.enable(IDC_PORT_LIST, true);
}

void SetupDialog::requestSteps()
{
    portOpen_ = true;
    shell_.armReply(SetupShell::Awaited::record);
    sendReadRequest(shell_.port());
    view_.startTimer(IDT_REPLY, setupTimerMs);
    view_.setText(IDC_PORT_BUTTON, "关闭串口");
    view_.enable(IDC_PORT_LIST, false);
}

void SetupDialog::replyTimer(int id)
{
    if (id != IDT_REPLY || !shell_.replyTick())
        return;
    view_.message(kTimeoutText, MessageStyle::information);
    onCommand(IDC_PORT_BUTTON);
}

PortChoiceDialog::PortChoiceDialog(SetupShell& shell, SetupView& view)
    : SetupDialog(shell, view, IDD_PORT_CHOICE)
{
}

void PortChoiceDialog::onInit()
{
    shell_.setCurrentPage(this);
    // The dialog starts with its port closed and its list filled afresh.
    // Refreshed by a reply that closed the port it had opened, it shows the
    // port closed as well: the button, the list and timer 1 agree with the
    // flag, and the next press opens. (A dialog whose flag is clear shows
    // so already, as its resource creates it.)
    if (portOpen_)
        showPortClosed();
    view_.clearItems(IDC_PORT_LIST);
    probePorts(true);
    view_.setSelection(IDC_PORT_LIST, 0);
}

void PortChoiceDialog::onCommand(int id)
{
    if (id != IDC_PORT_BUTTON)
        return;
    if (portOpen_)
        closePortSteps();
    else if (openSelectedPortOrComplain())
        requestSteps();
}
