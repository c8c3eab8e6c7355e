// The legacy settings tool's one dialog (129) as a portable controller over
// the humble view: the port choice, the read of the whole parameter record
// when the port opens, the fields it fills, and the write of the whole
// record with "应用".
//
// Every call comes on the window's thread: the dialog's init, its commands,
// its 10 ms timer. The receive thread only fills the R7aReceiveBuffer; at
// every tenth tick the dialog drains it into its assembler and handles each
// whole frame: 0x02 fills the fields, 0x04 shows "参数设定成功！".
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/textCodec.h"
#include "r7a-setup/r7aFrame.h"
#include "r7a-setup/r7aReceive.h"
#include "serial/comPort.h"
#include "setup/setupView.h"

// A message box with an OK button, no icon and no owner window.
class PlainMessageBox {
public:
    virtual ~PlainMessageBox() = default;
    virtual void show(const std::string& utf8, const std::string& captionUtf8) = 0;
};

// Texts of the dialog.
inline constexpr char r7aOpenText[] = "打开串口";
inline constexpr char r7aCloseText[] = "关闭串口";
inline constexpr char r7aWrittenText[] = "参数设定成功！";
inline constexpr char r7aWrittenCaption[] = "标题";

constexpr int r7aParseTimerMs = 10;
constexpr int r7aTicksPerParse = 10;
constexpr size_t r7aThresholdChars = 11;  // characters of the threshold text read

class R7aSetupDialog {
public:
    R7aSetupDialog(SetupView& view, ComPort& port, R7aReceiveBuffer& incoming,
                   PlainMessageBox& box, const TextCodec& codec);

    void onInit();
    void onCommand(int id);
    void onTimer(int id);
    void onDestroy();

    bool portOpen() const { return open_; }
    bool loaded() const { return loaded_; }

private:
    void openPort();
    void closePort();
    void apply();
    void parse();
    void handleFrame(const uint8_t* frame, size_t total);
    void showRecord(const R7aRecord& rec);
    // The fields read back into a record, as "应用" sends them.
    R7aRecord readFields();

    SetupView& view_;
    ComPort& port_;
    R7aReceiveBuffer& incoming_;
    PlainMessageBox& box_;
    const TextCodec& codec_;
    R7aAssembler assembler_;
    bool open_ = false;
    bool loaded_ = false;
    bool handling_ = false;  // a frame's handler (its message box) is running
    unsigned session_ = 0;   // counts opens and closes, seen across a message box
    int ticks_ = 0;
};
