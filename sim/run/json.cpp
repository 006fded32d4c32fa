#include "run/json.h"

#include <cmath>
#include <cstdio>

namespace kivo::sim {

namespace {
const std::string kEmptyString;
const Json::Array kEmptyArray;
const Json::Object kEmptyObject;
} // namespace

Json &Json::operator[](const std::string &key)
{
    if (isNull())
        m_v = Object{};
    auto &o = std::get<Object>(m_v);
    for (auto &kv : o)
        if (kv.first == key)
            return kv.second;
    o.emplace_back(key, Json());
    return o.back().second;
}

const Json *Json::find(const std::string &key) const
{
    if (!isObject())
        return nullptr;
    for (auto &kv : std::get<Object>(m_v))
        if (kv.first == key)
            return &kv.second;
    return nullptr;
}

void Json::push(Json v)
{
    if (isNull())
        m_v = Array{};
    std::get<Array>(m_v).push_back(std::move(v));
}

std::size_t Json::size() const
{
    if (isArray())
        return std::get<Array>(m_v).size();
    if (isObject())
        return std::get<Object>(m_v).size();
    return 0;
}

const std::string &Json::string() const
{
    return std::holds_alternative<std::string>(m_v) ? std::get<std::string>(m_v) : kEmptyString;
}
const Json::Array &Json::items() const { return isArray() ? std::get<Array>(m_v) : kEmptyArray; }
const Json::Object &Json::members() const { return isObject() ? std::get<Object>(m_v) : kEmptyObject; }

std::string JsonQuote(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

namespace {
// Console text may hold any byte: bytes that are not valid UTF-8 become
// U+FFFD so that the report stays valid JSON.
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
} // namespace

void Json::write(std::string &out, int indent, int depth) const
{
    auto newline = [&](int d) {
        if (indent < 0)
            return;
        out += '\n';
        out.append(std::size_t(indent * d), ' ');
    };
    if (isNull()) {
        out += "null";
    } else if (auto *b = std::get_if<bool>(&m_v)) {
        out += *b ? "true" : "false";
    } else if (auto *d = std::get_if<double>(&m_v)) {
        if (!std::isfinite(*d)) {
            out += "null";
        } else if (*d == std::floor(*d) && std::fabs(*d) < 1e15) {
            out += std::to_string(static_cast<long long>(*d));
        } else {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.10g", *d);
            out += buf;
        }
    } else if (auto *s = std::get_if<std::string>(&m_v)) {
        out += JsonQuote(ValidUtf8(*s));
    } else if (auto *a = std::get_if<Array>(&m_v)) {
        out += '[';
        for (std::size_t i = 0; i < a->size(); i++) {
            if (i)
                out += ',';
            newline(depth + 1);
            (*a)[i].write(out, indent, depth + 1);
        }
        if (!a->empty())
            newline(depth);
        out += ']';
    } else if (auto *o = std::get_if<Object>(&m_v)) {
        out += '{';
        for (std::size_t i = 0; i < o->size(); i++) {
            if (i)
                out += ',';
            newline(depth + 1);
            out += JsonQuote((*o)[i].first);
            out += indent < 0 ? ":" : ": ";
            (*o)[i].second.write(out, indent, depth + 1);
        }
        if (!o->empty())
            newline(depth);
        out += '}';
    }
}

std::string Json::dump(int indent) const
{
    std::string out;
    write(out, indent, 0);
    return out;
}

} // namespace kivo::sim
