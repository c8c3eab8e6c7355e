#include "serial/comPort.h"

#include <cstdio>
#include <utility>

size_t comPortNumbers(uint32_t mask, int* out)
{
    size_t count = 0;
    for (int bit = 0; bit < serialProbeCount; ++bit) {
        if (mask & (uint32_t(1) << bit))
            out[count++] = bit + 1;
    }
    return count;
}

std::string comPortItemText(int number)
{
    char text[16];
    std::snprintf(text, sizeof text, "COM%d", number);
    return text;
}

int comPortNumberOf(const std::string& itemText)
{
    if (itemText.size() < 4 || itemText.size() > 6 || itemText.compare(0, 3, "COM") != 0)
        return 0;
    int number = 0;
    for (size_t i = 3; i < itemText.size(); ++i) {
        const char c = itemText[i];
        if (c < '0' || c > '9')
            return 0;
        number = number * 10 + (c - '0');
    }
    return number >= 1 && number <= 255 ? number : 0;
}

bool openComPortItem(ComPort& port, const std::string& itemText)
{
    const int number = comPortNumberOf(itemText);
    if (number == 0) {
        // Nothing to open; like a failed open, no port stays open.
        port.closeComPort();
        return false;
    }
    return port.openComPort(number);
}

std::thread startWorker(const ThreadStarter& starter, std::function<void()> body)
{
    if (starter)
        return starter(std::move(body));
    return std::thread(std::move(body));
}
