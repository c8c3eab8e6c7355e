// The configuration tool's model page run without a window: the page
// controller of the reader's model (V3.6) over an in-memory view, fed the
// reader's parameter reply as the tool's shell feeds it. What the page shows
// becomes the JSON record; a JSON file is typed into the page as a user
// would, and "应用" gives either the page's own refusal or the very write
// payload the page sends. The command-line tool validates and encodes
// through nothing else, so it cannot drift from the pages.
//
// Keys (see docs/readerconf.md): the head "model", "level", "version" and,
// where the page shows one, "mac" are read-only; the others are the page's
// inputs. A key appears only where the model's page shows its field at the
// reader's level.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/textCodec.h"
#include "serial/paramRecords.h"
#include "setup/setupShell.h"
#include "setup/setupView.h"

using Json = nlohmann::ordered_json;

// A dialog's controls in memory, as the Win32 controls keep them. It notes
// the last input the page read, which names the field of a refusal.
class MemoryView : public SetupView {
public:
    std::string text(int id) const override;
    void setText(int id, const std::string& utf8) override { texts_[id] = utf8; }
    void enable(int id, bool on) override;
    bool checked(int id) const override;
    void setChecked(int id, bool on) override { checks_[id] = on; }
    std::string address(int id) const override;
    void setAddress(int id, const std::string& dotted) override { addresses_[id] = dotted; }
    void message(const std::string& utf8, MessageStyle) override;
    void startTimer(int, int) override {}
    void killTimer(int) override {}
    void show(int id, bool visible) override;
    void clearItems(int id) override;
    void addItem(int id, const std::string& utf8) override { items_[id].push_back(utf8); }
    int selection(int id) const override;
    void setSelection(int id, int index) override;
    void setPasswordMasked(int, bool) override {}
    void setButtonBitmap(int, int) override {}
    void notice(const std::string& utf8) override { message(utf8, MessageStyle::notice); }
    void postQuit(int) override {}

    bool isEnabled(int id) const { return disabled_.count(id) == 0; }
    bool isVisible(int id) const { return hidden_.count(id) == 0; }
    // The page's refusals since the last call, and the input read last before each.
    struct Refusal {
        std::string message;
        int control;
    };
    const std::vector<Refusal>& refusals() const { return refusals_; }

private:
    std::map<int, std::string> texts_;
    std::map<int, std::string> addresses_;
    std::map<int, bool> checks_;
    std::map<int, std::vector<std::string>> items_;
    std::map<int, int> selections_;
    std::set<int> disabled_;
    std::set<int> hidden_;
    std::vector<Refusal> refusals_;
    mutable int lastRead_ = 0;
};

// How a file was taken.
struct ApplyResult {
    enum class Outcome { written, refused };
    Outcome outcome = Outcome::refused;
    std::string key;      // refused: the field
    std::string message;  // refused: the page's text, or the tool's own for a key the page cannot hold
    WritePayload payload; // written: the payload of the write request
    Json intended;        // written: the editable fields as the page held them at "应用"
};

class PageDriver {
public:
    // Null with why (English, for the command line) when the tool refuses
    // the reader: level 0, or a model without a page.
    static std::unique_ptr<PageDriver> create(uint8_t level, const uint8_t* payload, size_t length,
                                              std::string* why);
    ~PageDriver();

    int model() const;
    // The record as the page shows it.
    Json record() const;
    // Types the file's keys into the page and presses "应用". The file is
    // checked first: an object of known keys with values of their kinds;
    // "model" must be the reader's; "level", "version" and "mac" are
    // ignored; any other field the page shows but cannot change here must
    // keep the reader's value.
    ApplyResult apply(const Json& file);

private:
    PageDriver();
    struct Rig;
    std::unique_ptr<Rig> rig_;
};

// The keys that a model's page can show (for docs, usage and unknown-key checks).
std::vector<std::string> pageKeys(int model);
// The fields of want that differ in got (a missing one counts): the keys, in want's order.
std::vector<std::string> fieldsNotTaken(const Json& want, const Json& got);
// Two-digit upper-case hex, bytes separated by blanks.
std::string hexBytes(const uint8_t* bytes, size_t count);
