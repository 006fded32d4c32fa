#pragma once
#include <map>
#include <string>

namespace kivo {

// Per-user settings: text and integer values by name.
class IProfile
{
public:
    virtual ~IProfile() = default;
    virtual std::string GetString(const std::string &name, const std::string &fallback) = 0;
    virtual int GetInt(const std::string &name, int fallback) = 0;
    virtual void SetString(const std::string &name, const std::string &value) = 0;
    virtual void SetInt(const std::string &name, int value) = 0;
};

class MemoryProfile : public IProfile
{
public:
    std::string GetString(const std::string &name, const std::string &fallback) override;
    int GetInt(const std::string &name, int fallback) override;
    void SetString(const std::string &name, const std::string &value) override { values[name] = value; }
    void SetInt(const std::string &name, int value) override { values[name] = std::to_string(value); }
    std::map<std::string, std::string> values;
};

// The profile kept in one small file ("Name=Value" lines) that kivo-cli and
// the desktop application share. Every change is written back at once,
// atomically; a file that cannot be read counts as empty.
class FileProfile : public IProfile
{
public:
    explicit FileProfile(std::string path);
    // $XDG_CONFIG_HOME/kivo/kivo.conf, or ~/.config/kivo/kivo.conf.
    static std::string DefaultPath();

    std::string GetString(const std::string &name, const std::string &fallback) override;
    int GetInt(const std::string &name, int fallback) override;
    void SetString(const std::string &name, const std::string &value) override;
    void SetInt(const std::string &name, int value) override;

    const std::string &Path() const { return m_path; }
    // False when the last write-back failed.
    bool LastWriteOk() const { return m_writeOk; }

private:
    void Load();
    void Store();
    std::string m_path;
    std::map<std::string, std::string> m_values;
    bool m_writeOk = true;
};

} // namespace kivo
