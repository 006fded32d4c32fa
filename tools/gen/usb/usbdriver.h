#pragma once
// The two USB keyboard/mouse driver files come from one source,
// tools/gen/usb/1CogKbM.spin2, so that they cannot drift apart:
//   "' [header]"                  becomes the file's first line (name and role);
//   "[errled-doc]", "[errled-param]" become the variant's text;
//   lines between "' [error LED]" and "' [end error LED]" stay in the driver
//   that lights the error LED and are dropped from the other.
// The output is UTF-16LE with a byte-order mark and CR LF line ends.
#include <cstdint>
#include <string>
#include <vector>

namespace kivo::gen {

struct UsbDriverFile {
    const char *name;
    bool errorLed;
};

// 1CogKbM_kqv3b.spin2 (error LED) and 1CogKbM_kqv3b_NoErrorLed.spin2.
const std::vector<UsbDriverFile> &UsbDriverFiles();

// The driver text (8-bit, LF or CR LF) for one variant; empty with *error set
// when the source's markers do not pair up.
std::string UsbDriverText(const std::string &source, const UsbDriverFile &file, std::string *error = nullptr);

// The file's bytes: UTF-16LE, byte-order mark, CR LF.
std::vector<std::uint8_t> EncodeUtf16Le(const std::string &text);

} // namespace kivo::gen
