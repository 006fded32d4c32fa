#include "platform/profile.h"

#include "model/text.h"
#include "platform/files.h"

#include <cstdlib>
#include <filesystem>

namespace kivo {

namespace {

std::string Escape(const std::string &value)
{
    std::string out;
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string &value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char n = value[++i];
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += value[i];
        }
    }
    return out;
}

} // namespace

std::string MemoryProfile::GetString(const std::string &name, const std::string &fallback)
{
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
}

int MemoryProfile::GetInt(const std::string &name, int fallback)
{
    auto it = values.find(name);
    return it == values.end() ? fallback : TextToInt(it->second);
}

FileProfile::FileProfile(std::string path) : m_path(std::move(path)) { Load(); }

std::string FileProfile::DefaultPath()
{
    std::string base;
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char *home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".";
    return base + "/kivo/kivo.conf";
}

void FileProfile::Load()
{
    DiskFileSystem fs;
    FileCause cause;
    auto bytes = fs.ReadAll(m_path, cause);
    if (!bytes)
        return;
    std::string text(bytes->begin(), bytes->end());
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] == '#')
            continue;
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        m_values[line.substr(0, eq)] = Unescape(line.substr(eq + 1));
    }
}

void FileProfile::Store()
{
    std::string text = "# Kivo per-user settings\n";
    for (auto &[name, value] : m_values)
        text += name + "=" + Escape(value) + "\n";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ec);
    DiskFileSystem fs;
    m_writeOk = fs.ReplaceAtomically(m_path, std::vector<uint8_t>(text.begin(), text.end())) == FileCause::None;
}

std::string FileProfile::GetString(const std::string &name, const std::string &fallback)
{
    auto it = m_values.find(name);
    return it == m_values.end() ? fallback : it->second;
}

int FileProfile::GetInt(const std::string &name, int fallback)
{
    auto it = m_values.find(name);
    return it == m_values.end() ? fallback : TextToInt(it->second);
}

void FileProfile::SetString(const std::string &name, const std::string &value)
{
    auto it = m_values.find(name);
    if (it != m_values.end() && it->second == value)
        return;
    m_values[name] = value;
    Store();
}

void FileProfile::SetInt(const std::string &name, int value) { SetString(name, std::to_string(value)); }

} // namespace kivo
