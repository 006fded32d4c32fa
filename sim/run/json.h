#pragma once
// A small JSON value for the run report: objects keep their keys in the
// order they were added, numbers are doubles (whole numbers print without a
// fraction).
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace kivo::sim {

class Json {
public:
    using Array = std::vector<Json>;
    using Object = std::vector<std::pair<std::string, Json>>;

    Json() = default;
    Json(std::nullptr_t) {}
    Json(bool b) : m_v(b) {}
    Json(int v) : m_v(double(v)) {}
    Json(long v) : m_v(double(v)) {}
    Json(long long v) : m_v(double(v)) {}
    Json(unsigned v) : m_v(double(v)) {}
    Json(unsigned long v) : m_v(double(v)) {}
    Json(unsigned long long v) : m_v(double(v)) {}
    Json(double v) : m_v(v) {}
    Json(const char *s) : m_v(std::string(s)) {}
    Json(std::string s) : m_v(std::move(s)) {}
    Json(Array a) : m_v(std::move(a)) {}
    Json(Object o) : m_v(std::move(o)) {}

    static Json object() { return Json(Object{}); }
    static Json array() { return Json(Array{}); }

    bool isNull() const { return std::holds_alternative<std::monostate>(m_v); }
    bool isObject() const { return std::holds_alternative<Object>(m_v); }
    bool isArray() const { return std::holds_alternative<Array>(m_v); }

    // Object member, added (null) when missing; a null value becomes an object.
    Json &operator[](const std::string &key);
    // Object member or nullptr.
    const Json *find(const std::string &key) const;
    // Appends to an array; a null value becomes an array.
    void push(Json v);
    std::size_t size() const;

    double number() const { return std::holds_alternative<double>(m_v) ? std::get<double>(m_v) : 0.0; }
    bool boolean() const { return std::holds_alternative<bool>(m_v) && std::get<bool>(m_v); }
    const std::string &string() const;
    const Array &items() const;
    const Object &members() const;

    // Compact text when indent < 0, else pretty with that many blanks a level.
    std::string dump(int indent = -1) const;

private:
    void write(std::string &out, int indent, int depth) const;
    std::variant<std::monostate, bool, double, std::string, Array, Object> m_v;
};

// A JSON string literal for `s` (quotes included).
std::string JsonQuote(const std::string &s);

} // namespace kivo::sim
