#include "objects/editor.h"

#include "check/check.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/pinrules.h"
#include "platform/messages.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace kivo {

CEditorModel::CEditorModel(int kind, CCodeObject &object, CKivoDoc &doc, int mode, IMessages &messages)
    : m_object(object), m_doc(doc), m_messages(messages), m_kind(kind), m_mode(mode)
{
}

const FieldSpec *CEditorModel::FindField(const std::string &key) const
{
    for (auto &f : Fields())
        if (f.key == key)
            return &f;
    return nullptr;
}

PinPlacer::PinPlacer(const CKivoDoc &doc) : m_used(PinsInUse(doc)) {}

int PinPlacer::Take(int preferred, int count, int align, int maxBase)
{
    align = std::max(align, 1);
    maxBase = std::min(maxBase, int(m_used.size()) - count);
    auto fits = [&](int base) {
        for (int p = base; p < base + count; ++p)
            if (!IsFree(p))
                return false;
        return true;
    };
    if (preferred < 0 || preferred > maxBase)
        return -1;
    // The preferred pin and those above it, then from 0 up to it.
    const int first = (preferred + align - 1) / align * align;
    for (int pass = 0; pass < 2; ++pass) {
        for (int base = pass ? 0 : first; base <= (pass ? std::min(first - 1, maxBase) : maxBase); base += align) {
            if (fits(base)) {
                for (int p = base; p < base + count; ++p)
                    m_used[std::size_t(p)] = true;
                return base;
            }
        }
    }
    return -1;
}

void CEditorModel::PlacePinField(PinPlacer &placer, const std::string &key, int count, int align, int maxBase)
{
    long long pin;
    if (!DigitsInRange(Text(key), 0, 63, pin))
        return;
    const int base = placer.Take(int(pin), count, align, maxBase);
    if (base >= 0)
        m_text[key] = std::to_string(base);
}

void CEditorModel::Open()
{
    InitBoth();
    if (m_mode == 0) {
        m_text["name"] = DefaultObjectName(m_doc, m_kind);
        InitNew();
        PinPlacer placer(m_doc);
        PlacePins(placer);
    } else {
        m_text["name"] = m_object.m_strName;
        InitExisting();
    }
    AfterInit();
}

void CEditorModel::OpenCopy()
{
    InitBoth();
    m_text["name"] = DefaultObjectName(m_doc, m_kind);
    InitExisting();
    PinPlacer placer(m_doc);
    PlacePins(placer);
    AfterInit();
}

OkResult CEditorModel::Ok()
{
    m_focusField.clear();
    if (m_sink)
        return OkKeepingMessages();
    if (!m_projectChecks)
        return OnOk();
    // The object must also pass the project checks of its own fields; their
    // refusal undoes the pin claims of the kind's own OK.
    const auto used = m_doc.m_bPinUsed;
    const auto owner = m_doc.m_strPinOwner;
    const auto usage = m_doc.m_strPinUsage;
    const auto note = m_doc.m_strPinNote;
    OkResult r = OnOk();
    if (r != OkResult::Accepted)
        return r;
    auto errors = CheckNewObject(m_doc, m_object);
    // An existing object may come from a file with other faults; its editor
    // refuses only what concerns its pins, which it can change.
    if (m_mode != 0)
        std::erase_if(errors, [](const Finding &f) { return f.pins.empty(); });
    if (errors.empty())
        return r;
    for (auto &f : errors)
        ShowError(f.text);
    m_doc.m_bPinUsed = used;
    m_doc.m_strPinOwner = owner;
    m_doc.m_strPinUsage = usage;
    m_doc.m_strPinNote = note;
    m_object.m_bValid = false;
    return OkResult::StayOpen;
}

OkResult CEditorModel::OkKeepingMessages()
{
    const std::size_t first = m_sink->size();
    // Every number field at once; the kind's OK would stop at the first.
    for (auto &f : Fields()) {
        int v;
        if (f.type == FieldType::Integer && !ParseToolkitInt(Text(f.key), v))
            m_sink->push_back({true, f.key, IntegerMessage(f)});
    }
    if (m_sink->size() > first) {
        m_focusField = (*m_sink)[first].field;
        KeepNameErrors(first);
        return OkResult::StayOpen;
    }
    const auto used = m_doc.m_bPinUsed;
    const auto owner = m_doc.m_strPinOwner;
    const auto usage = m_doc.m_strPinUsage;
    const auto note = m_doc.m_strPinNote;
    OkResult r = OnOk();
    if (r == OkResult::Accepted && m_projectChecks) {
        auto errors = CheckNewObject(m_doc, m_object);
        // As in Ok(): an existing object's editor refuses only what concerns its pins.
        if (m_mode != 0)
            std::erase_if(errors, [](const Finding &f) { return f.pins.empty(); });
        for (auto &f : errors)
            m_sink->push_back({true, f.field, f.text});
    }
    bool refused = r != OkResult::Accepted;
    if (refused)
        KeepNameErrors(first);
    for (std::size_t i = first; i < m_sink->size(); ++i) {
        if (!(*m_sink)[i].error)
            continue;
        if (!refused && m_focusField.empty())
            m_focusField = (*m_sink)[i].field;
        refused = true;
    }
    if (!refused)
        return OkResult::Accepted;
    // An error the kind's OK only reported (a step it went on past) refuses
    // as well, and takes back the pins it claimed.
    if (r == OkResult::Accepted) {
        m_doc.m_bPinUsed = used;
        m_doc.m_strPinOwner = owner;
        m_doc.m_strPinUsage = usage;
        m_doc.m_strPinNote = note;
        m_object.m_bValid = false;
    }
    if (m_focusField.empty())
        for (std::size_t i = first; i < m_sink->size() && m_focusField.empty(); ++i)
            m_focusField = (*m_sink)[i].field;
    return OkResult::StayOpen;
}

// The kind's OK stops before the project checks, which judge the name: the
// typed name is checked on its own, so that its errors show with the fields'.
void CEditorModel::KeepNameErrors(std::size_t first)
{
    if (!m_projectChecks || m_mode != 0)
        return;
    for (std::size_t i = first; i < m_sink->size(); ++i)
        if ((*m_sink)[i].field == "name")
            return;
    CCodeObject typed = m_object;
    typed.m_strName = Text("name");
    for (auto &f : CheckNewObject(m_doc, typed))
        if (f.field == "name")
            m_sink->push_back({true, f.field, f.text});
}

void CEditorModel::UserSetText(const std::string &key, const std::string &text) { m_text[key] = text; }

void CEditorModel::UserSetFlag(const std::string &key, bool on)
{
    m_flag[key] = on;
    OnFlag(key);
}

void CEditorModel::UserChoose(const std::string &key, int index)
{
    m_int[key] = index;
    OnChoice(key);
}

void CEditorModel::UserSlide(const std::string &key, int position)
{
    auto [lo, hi] = SliderRange(key);
    m_int[key] = std::clamp(position, std::min(lo, hi), std::max(lo, hi));
    OnSlider(key);
}

void CEditorModel::UserPress(const std::string &key) { OnButton(key); }

std::string CEditorModel::Text(const std::string &key) const
{
    auto it = m_text.find(key);
    return it == m_text.end() ? std::string() : it->second;
}

int CEditorModel::Int(const std::string &key) const
{
    auto it = m_int.find(key);
    return it == m_int.end() ? 0 : it->second;
}

bool CEditorModel::Flag(const std::string &key) const
{
    auto it = m_flag.find(key);
    return it != m_flag.end() && it->second;
}

bool CEditorModel::IsReadOnly(const std::string &key) const
{
    if (key == "name")
        return m_mode == 1;
    auto f = FindField(key);
    return f && f->type == FieldType::ReadOnly;
}

std::pair<int, int> CEditorModel::SliderRange(const std::string &key) const
{
    if (auto it = m_range.find(key); it != m_range.end())
        return it->second;
    if (auto f = FindField(key))
        return {f->min, f->max};
    return {0, 0};
}

std::vector<std::string> CEditorModel::Options(const std::string &key) const
{
    if (auto f = FindField(key))
        return f->options;
    return {};
}

bool ParseToolkitInt(const std::string &text, int &value)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i == digits)
        return false;
    std::size_t end = i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i != text.size())
        return false;
    errno = 0;
    long long v = std::strtoll(text.substr(start, end - start).c_str(), nullptr, 10);
    if (errno == ERANGE || v > 2147483647LL || v < -2147483648LL)
        return false;
    value = int(v);
    return true;
}

std::string CEditorModel::IntegerMessage(const FieldSpec &f) const
{
    std::string label = f.label;
    if (!label.empty() && label.back() == ':')
        label.pop_back();
    std::string name = f.group.empty() ? label : f.group + " " + label;
    return "Please enter an integer.\nThe field \"" + name + "\" holds \"" + Text(f.key) + "\".";
}

bool CEditorModel::ReadControls()
{
    for (auto &f : Fields()) {
        if (f.type != FieldType::Integer)
            continue;
        int v;
        if (!ParseToolkitInt(Text(f.key), v)) {
            m_focusField = f.key;
            ShowPlain(IntegerMessage(f), f.key);
            return false;
        }
    }
    return true;
}

std::string CEditorModel::RangeMessage(int pin, int maxPin)
{
    return Format("Pin %d is out of range, please set to between 0 and %d.", pin, maxPin);
}

bool CEditorModel::ClaimPinRange(int basePin, int count, int maxBase, const char *conflictPrefix,
                                 const char *conflictSuffix, const std::string &field)
{
    const std::string name = m_object.m_strName;
    if (basePin < 0 || basePin > maxBase) {
        ShowError(RangeMessage(basePin, maxBase), field);
        m_object.m_bValid = false;
        return false;
    }
    for (int p = basePin; p < basePin + count; ++p) {
        if (!IsPinFreeFor(m_doc, p, name)) {
            ShowError(Format(conflictPrefix, p) + m_doc.m_strPinOwner[p] + conflictSuffix, field);
            m_object.m_bValid = false;
            return false;
        }
    }
    ReleasePinsOf(m_doc, name);
    for (int p = basePin; p < basePin + count; ++p)
        ReservePin(m_doc, p, name);
    return true;
}

void CEditorModel::Say(bool error, MessageKind kind, const std::string &text, const std::string &field)
{
    if (m_sink)
        m_sink->push_back({error, field.empty() ? m_focusField : field, text});
    else
        m_messages.Show(kind, text);
}

void CEditorModel::ShowError(const std::string &text, const std::string &field)
{
    Say(true, MessageKind::Error, text, field);
}

void CEditorModel::ShowWarning(const std::string &text, const std::string &field)
{
    Say(false, MessageKind::Warning, text, field);
}

void CEditorModel::ShowPlain(const std::string &text, const std::string &field)
{
    Say(true, MessageKind::Plain, text, field);
}

} // namespace kivo
