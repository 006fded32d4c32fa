#include "generator/scripts.h"

#include "model/kivodoc.h"

namespace kivo {

namespace {

bool IsScriptMeta(char c)
{
    switch (c) {
    case ';':
    case '|':
    case '&':
    case '<':
    case '>':
    case '$':
    case '`':
    case '%':
    case '^':
        return true;
    default:
        return false;
    }
}

} // namespace

OptionWords SplitOptionWords(std::string_view text)
{
    OptionWords r;
    std::string word;
    bool inWord = false;
    char quote = 0;
    auto note = [&r](char c) {
        if (!r.unsafe)
            r.unsafe = c;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\n' || c == '\r')
            note(c);
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
            continue;
        }
        switch (c) {
        case ' ':
        case '\t':
            if (inWord)
                r.words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        case '\'':
        case '"':
            quote = c;
            inWord = true;
            continue;
        case '\\':
            inWord = true;
            // The escaped character is taken as it is, but the Windows
            // scripts carry the text unchanged, so it still counts.
            if (i + 1 < text.size()) {
                c = text[++i];
                if (c == '\n' || c == '\r' || IsScriptMeta(c))
                    note(c);
                word += c;
                continue;
            }
            break;
        default:
            if (IsScriptMeta(c))
                note(c);
            break;
        }
        if (c == '\n' || c == '\r') {
            // A line break outside quotes ends the word as a blank would.
            if (inWord)
                r.words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        word += c;
        inWord = true;
    }
    r.unclosedQuote = quote != 0;
    if (inWord)
        r.words.push_back(word);
    return r;
}

std::string ShellQuote(const std::string &text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

namespace {

// Characters cmd.exe acts on outside double quotes (a double quote turns
// quoting on or off), and % that it expands even inside them.
bool HasCmdMeta(const std::string &text, bool quoteToo)
{
    return text.find_first_of(quoteToo ? "&|<>^%\"" : "&|<>^%") != std::string::npos;
}

// In double quotes for a batch file: & | < > ^ are plain there, % is
// doubled, and a double quote is doubled so that the quoting stays on.
std::string CmdQuote(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '%')
            out += "%%";
        else if (c == '"')
            out += "\"\"";
        else
            out += c;
    }
    return out + "\"";
}

// A path or file name as it stands, quoted only when cmd.exe would act on it.
std::string BatPath(const std::string &path)
{
    std::string p = !path.empty() && path[0] == '-' ? ".\\" + path : path;
    return HasCmdMeta(p, true) ? CmdQuote(p) : p;
}

// An options field as it stands; with characters cmd.exe acts on, as its
// words, each quoted.
std::string BatOptions(const std::string &options)
{
    if (!HasCmdMeta(options, false))
        return options;
    std::string s;
    for (auto &w : SplitOptionWords(options).words)
        s += (s.empty() ? "" : " ") + CmdQuote(w);
    return s;
}

} // namespace

std::string BuildBat(const CKivoDoc &d, const std::string &mainFileName)
{
    std::string s = "REM Kivo Generated Batch file\r\n";
    s += BatPath(d.m_strFlexSpinPath + "\\FlexSpin.exe") + " -2" + " -L " + BatPath(d.m_strFlexSpinPath + "\\include") +
         " " + " ";
    if (d.m_bUseLibraryPath)
        s += "-L " + BatPath(d.m_strLibraryPath);
    if (d.m_bSetOptLevel)
        s += " -O" + BatOptions(d.m_strOptLevel);
    if (d.m_bUseFlexOptions)
        s += " " + BatOptions(d.m_strFlexOptions);
    s += " " + BatPath(mainFileName) + "\r\n";
    s += "Pause \r\n";
    return s;
}

std::string LoadBat(const CKivoDoc &d, const std::string &imageName)
{
    std::string s = "REM Kivo Generated Batch file\r\n";
    s += BatPath(d.m_strLoadP2Path + "\\loadp2.exe") + " " + " ";
    if (d.m_bShowTerminal)
        s += "-t ";
    if (d.m_bWaitOnExit)
        s += "-k ";
    if (d.m_bUsePlan9)
        s += "-9 " + BatPath(d.m_strPlan9Path) + " ";
    if (d.m_bSetBaud)
        s += "-b " + BatOptions(d.m_strBaud) + " ";
    else
        s += "-b 230400 ";
    if (d.m_bUseLoadP2Options)
        s += BatOptions(d.m_strLoadP2Options);
    s += " " + BatPath(imageName) + "\r\n";
    s += "Pause \r\n";
    return s;
}

namespace {

// A folder setting joined with a program name; an empty folder means PATH.
std::string ToolPath(const std::string &folder, const char *program)
{
    if (folder.empty())
        return ShellQuote(program);
    std::string f = folder;
    if (f.back() == '/')
        f.pop_back();
    return ShellQuote(f + "/" + program);
}

// A file in the project folder, never taken for an option.
std::string FileArgument(const std::string &name) { return !name.empty() && name[0] == '-' ? "./" + name : name; }

// Each word of an options field, single-quoted, with a blank before it.
std::string QuotedWords(const std::string &options)
{
    std::string s;
    for (auto &w : SplitOptionWords(options).words)
        s += " " + ShellQuote(w);
    return s;
}

// `include` beside the folder `bin` (either separator; "include" for a
// folder named alone).
std::string IncludeBesideBin(std::string bin)
{
    while (bin.size() > 1 && (bin.back() == '/' || bin.back() == '\\'))
        bin.pop_back();
    const auto cut = bin.find_last_of("/\\");
    if (cut == std::string::npos)
        return "include";
    return bin.substr(0, cut == 0 ? 1 : cut) + (cut == 0 ? "" : "/") + "include";
}

// The tool's status outlives the pause: it is the script's own, so that a
// failed compile or load is seen by whoever ran the script.
const char *kPause = "kivo_status=$?\n"
                     "printf 'Press Enter to continue . . . '\n"
                     "read kivo_pause || true\n"
                     "exit $kivo_status\n";

} // namespace

std::string BuildSh(const CKivoDoc &d, const std::string &mainFileName)
{
    std::string s = "#!/bin/sh\n# Kivo Generated shell script\n";
    s += ToolPath(d.m_strFlexSpinPath, "flexspin") + " -2";
    // FlexProp keeps its include folder beside bin, the FlexSpin folder; a
    // flexspin found on PATH finds its own.
    if (!d.m_strFlexSpinPath.empty())
        s += " -L " + ShellQuote(IncludeBesideBin(d.m_strFlexSpinPath));
    if (d.m_bUseLibraryPath)
        s += " -L " + ShellQuote(d.m_strLibraryPath);
    if (d.m_bSetOptLevel)
        s += " " + ShellQuote("-O" + d.m_strOptLevel);
    // The additional options are passed as words, each quoted, so that no
    // shell syntax in them can take effect.
    if (d.m_bUseFlexOptions)
        s += QuotedWords(d.m_strFlexOptions);
    s += " " + ShellQuote(FileArgument(mainFileName)) + "\n";
    s += kPause;
    return s;
}

std::string LoadSh(const CKivoDoc &d, const std::string &imageName)
{
    std::string s = "#!/bin/sh\n# Kivo Generated shell script\n";
    s += ToolPath(d.m_strLoadP2Path, "loadp2");
    if (d.m_bShowTerminal)
        s += " -t";
    if (d.m_bWaitOnExit)
        s += " -k";
    if (d.m_bUsePlan9)
        s += " -9 " + ShellQuote(d.m_strPlan9Path);
    // Unticked, the terminal keeps loadp2's own baud.
    if (d.m_bSetBaud)
        s += " -b " + ShellQuote(d.m_strBaud);
    if (d.m_bUseLoadP2Options)
        s += QuotedWords(d.m_strLoadP2Options);
    s += " " + ShellQuote(FileArgument(imageName)) + "\n";
    s += kPause;
    return s;
}

} // namespace kivo
