// The serial reader's frame lines, in the shape of the UDP frame lines
// (framePrint.h), one per configuration frame:
//
//   rx code=0xCC name=NAME level=L len=N payload=HEX [fields...]
//   rx bad=short|magic|length|crc size=N bytes=HEX
//
// "tx" lines have the same shape for the frames the reader sends. Every
// item is key=value without blanks; HEX is upper-case, two digits a byte,
// empty for no bytes. The fields of a write request 0x03 are decoded in the
// layout of the reader's model, which the frame does not name:
//
//   model=M [layout=none]
//   wired (1, 2, 52): mode user password platform=IP:PORT id dhcp ip mask gateway
//                     rs485 ant0 ant1 merge
//   WIFI (3):         mode user password platform id dhcp ip mask gateway ant ant1
//                     merge ssid wifi-password
//   compact (6):      mode user password platform id dhcp ip mask gateway reserved
//   domain (5):       user password domain-on domain platform ant reserved
//   dual (7):         network ssid wifi-password dhcp ip mask gateway wifi-dhcp
//                     wifi-ip wifi-mask wifi-gateway mode user password platform id
//                     ant reserved
//
// Texts end at their zero byte (or their field); bytes outside printable
// ASCII, the blank and '\' show as \xHH. The compact and the dual-network
// writes carry the device ID in the platform's place in wait mode: there
// the platform shows as 0.0.0.0 with the port as sent, and in active mode
// the ID as 0. The other layouts show both places as sent. A parameter
// reply 0x02 shows version= and model=; an RSSI threshold reply 0x08 and
// write 0x09 show threshold= (byte 0, signed). A payload shorter than its layout
// adds malformed=short (fields read as 0 where the bytes end), a longer one
// malformed=trailing.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tools/readersim/simLog.h"

// Name of a command code ("configCmdWriteRequest"), or nullptr.
const char* serialCommandName(uint8_t command);

// Formats one frame of total bytes into out (capacity cap, at least 1) and
// returns the line length; a line longer than cap is cut. simLineMax holds
// any frame the cutter hands over (up to 1024 bytes).
size_t formatSerialFrame(char* out, size_t cap, bool received, uint8_t model,
                         const uint8_t* frame, size_t total);

void printSerialFrame(SimLog& log, bool received, uint8_t model, const uint8_t* frame,
                      size_t total);
