#include "json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kivo {

namespace {

// Console text may hold any byte: bytes that are not valid UTF-8 become
// U+FFFD so that the text stays valid JSON.
std::string ValidUtf8(const std::string &s)
{
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = len > 0 && i + std::size_t(len) <= s.size();
        for (int k = 1; ok && k < len; k++)
            ok = (static_cast<unsigned char>(s[i + std::size_t(k)]) >> 6) == 2;
        if (ok) {
            out.append(s, i, std::size_t(len));
            i += std::size_t(len);
        } else {
            out += "\xEF\xBF\xBD";
            i++;
        }
    }
    return out;
}

Json Number(double d)
{
    if (!std::isfinite(d))
        return nullptr;
    if (d == std::floor(d) && std::fabs(d) < 1e15)
        return static_cast<std::int64_t>(d);
    // Ten significant digits; the shortest form of the result is then those digits.
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", d);
    return std::strtod(buf, nullptr);
}

// A copy whose numbers and strings print in Kivo's form.
Json Normalized(const Json &v)
{
    switch (v.type()) {
    case Json::value_t::object: {
        Json o = Json::object();
        for (auto it = v.begin(); it != v.end(); ++it)
            o[it.key()] = Normalized(it.value());
        return o;
    }
    case Json::value_t::array: {
        Json a = Json::array();
        for (const auto &item : v)
            a.push_back(Normalized(item));
        return a;
    }
    case Json::value_t::string:
        return ValidUtf8(v.get_ref<const std::string &>());
    case Json::value_t::number_float:
        return Number(v.get<double>());
    case Json::value_t::number_integer: {
        const auto n = v.get<std::int64_t>();
        return n > -1000000000000000 && n < 1000000000000000 ? v : Number(double(n));
    }
    case Json::value_t::number_unsigned: {
        const auto n = v.get<std::uint64_t>();
        return n < 1000000000000000 ? v : Number(double(n));
    }
    default:
        return v;
    }
}

// nlohmann writes backspace and form feed as \b and \f, and DEL as it is;
// Kivo's JSON has them as \u0008, \u000c and \u007f. Backslashes and DEL
// occur only inside strings, so a pass over the text finds them all.
std::string KivoEscapes(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            const char e = text[++i];
            out += e == 'b' ? "\\u0008" : e == 'f' ? "\\u000c" : std::string{c, e};
        } else if (c == '\x7f') {
            out += "\\u007f";
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::string JsonText(const Json &value, int indent) { return KivoEscapes(Normalized(value).dump(indent)); }

std::string JsonLine(const Json &value)
{
    std::string out;
    if (value.is_object()) {
        out += '{';
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (it != value.begin())
                out += ", ";
            out += JsonText(it.key()) + ": " + JsonLine(it.value());
        }
        return out + '}';
    }
    if (value.is_array()) {
        out += '[';
        for (std::size_t i = 0; i < value.size(); ++i)
            out += (i ? ", " : "") + JsonLine(value[i]);
        return out + ']';
    }
    return JsonText(value);
}

} // namespace kivo
