#include "usbdriver.h"

#include <sstream>

namespace kivo::gen {

namespace {

std::string Trimmed(const std::string &s)
{
    auto a = s.find_first_not_of(" \t");
    if (a == std::string::npos)
        return "";
    auto b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

void ReplaceAll(std::string &s, const std::string &from, const std::string &to)
{
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

} // namespace

const std::vector<UsbDriverFile> &UsbDriverFiles()
{
    static const std::vector<UsbDriverFile> files = {{"1CogKbM_kqv3b.spin2", true},
                                                     {"1CogKbM_kqv3b_NoErrorLed.spin2", false}};
    return files;
}

std::string UsbDriverText(const std::string &source, const UsbDriverFile &file, std::string *error)
{
    std::string header = std::string("' ") + file.name + " - USB keyboard and mouse host driver in one cog" +
                         (file.errorLed ? "" : ", error LED pin left undriven");
    std::istringstream in(source);
    std::string line, out;
    bool inBlock = false;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string t = Trimmed(line);
        if (t == "' [error LED]" || t == "' [end error LED]") {
            bool opening = t == "' [error LED]";
            if (opening == inBlock) {
                if (error)
                    *error = "line " + std::to_string(lineNo) + ": unpaired error LED marker";
                return "";
            }
            inBlock = opening;
            continue;
        }
        if (inBlock && !file.errorLed)
            continue;
        if (t == "' [header]")
            line = header;
        ReplaceAll(line, "[errled-doc]",
                   file.errorLed ? "error LED, active low (lit when driven low, as the boards' LEDs on 56/57); -1 none"
                                 : "ignored: this variant never drives the error LED pin");
        ReplaceAll(line, "[errled-param]", file.errorLed ? "pin_or_none(err_led_pin)" : "-1");
        out += line;
        out += "\r\n";
    }
    if (inBlock) {
        if (error)
            *error = "unterminated error LED block";
        return "";
    }
    return out;
}

std::vector<std::uint8_t> EncodeUtf16Le(const std::string &text)
{
    std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
    for (unsigned char c : text) {
        bytes.push_back(c);
        bytes.push_back(0);
    }
    return bytes;
}

} // namespace kivo::gen
