#include "model/projectfile.h"

#include "model/kivodoc.h"
#include "model/text.h"
#include "platform/files.h"
#include "platform/result.h"
#include "platform/services.h"

#include <new>
#include <stdexcept>

namespace kivo {

namespace {

void PutInt32(std::vector<uint8_t> &out, int32_t v)
{
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(u >> (8 * i)));
}

void PutUInt16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void PutUInt64(std::vector<uint8_t> &out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void PutFlag(std::vector<uint8_t> &out, bool v) { out.push_back(v ? 1 : 0); }

// Reads the little-endian stream. A read past the end marks the stream
// failed and yields zeros and empty strings from then on; no length is
// trusted beyond the bytes that remain.
class Reader
{
public:
    explicit Reader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    std::size_t Remaining() const { return m_bytes.size() - m_pos; }
    bool Failed() const { return m_failed; }
    void Fail()
    {
        m_failed = true;
        m_pos = m_bytes.size();
    }

    // nullptr once the stream has failed.
    const uint8_t *Take(std::size_t n)
    {
        if (m_failed || n > Remaining()) {
            Fail();
            return nullptr;
        }
        const uint8_t *p = m_bytes.data() + m_pos;
        m_pos += n;
        return p;
    }
    uint8_t Byte()
    {
        auto p = Take(1);
        return p ? *p : 0;
    }
    uint16_t UInt16()
    {
        auto p = Take(2);
        return p ? uint16_t(p[0] | (p[1] << 8)) : 0;
    }
    uint32_t UInt32()
    {
        auto p = Take(4);
        return p ? uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24) : 0;
    }
    uint64_t UInt64()
    {
        uint64_t lo = UInt32();
        uint64_t hi = UInt32();
        return lo | (hi << 32);
    }
    int32_t Int32() { return static_cast<int32_t>(UInt32()); }
    bool Flag() { return Byte() != 0; }

    std::string String()
    {
        bool wide = false;
        uint64_t length;
        uint8_t b = Byte();
        if (b < 0xFF) {
            length = b;
        } else {
            uint16_t w = UInt16();
            if (w == 0xFFFE) {
                wide = true;
                b = Byte();
                if (b < 0xFF) {
                    length = b;
                    return Characters(length, wide);
                }
                w = UInt16();
            }
            if (w < 0xFFFF) {
                length = w;
            } else {
                uint32_t d = UInt32();
                length = d < 0xFFFFFFFFu ? d : UInt64();
            }
        }
        return Characters(length, wide);
    }

private:
    std::string Characters(uint64_t length, bool wide)
    {
        uint64_t bytes = wide ? length * 2 : length;
        if (length > Remaining() || bytes > Remaining()) {
            Fail();
            return "";
        }
        auto p = Take(std::size_t(bytes));
        if (!p)
            return "";
        if (!wide)
            return Cp1252ToUtf8(std::string_view(reinterpret_cast<const char *>(p), std::size_t(bytes)));
        std::u16string units(std::size_t(length), u'\0');
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
        return Utf16ToUtf8(units);
    }

    std::span<const uint8_t> m_bytes;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

// The fewest bytes one object record can take: every string one length byte.
constexpr std::size_t kMinRecordSize = 4 + 1 + 1 + 1 + 4 + 7 * 1 + 4 + 1 + 64 * (1 + 4 + 1) + 1 + 1;

void ReadObject(Reader &r, CCodeObject &o)
{
    o.m_nKind = r.Int32();
    o.m_strName = r.String();
    o.m_bSpare1 = r.Flag();
    o.m_strPin = r.String();
    o.m_nPinCount = r.Int32();
    for (auto &s : o.m_strExtraPin)
        s = r.String();
    o.m_nPullUp = r.Int32();
    o.m_strSpeed = r.String();
    for (int i = 0; i < 64; ++i) {
        o.m_strText[i] = r.String();
        o.m_nValue[i] = r.Int32();
        o.m_bFlag[i] = r.Flag();
    }
    o.m_bValid = r.Flag();
    o.m_bSpare2 = r.Flag();
}

void WriteObject(std::vector<uint8_t> &out, const CCodeObject &o)
{
    PutInt32(out, o.m_nKind);
    AppendWideString(out, o.m_strName);
    PutFlag(out, o.m_bSpare1);
    AppendWideString(out, o.m_strPin);
    PutInt32(out, o.m_nPinCount);
    for (auto &s : o.m_strExtraPin)
        AppendWideString(out, s);
    PutInt32(out, o.m_nPullUp);
    AppendWideString(out, o.m_strSpeed);
    for (int i = 0; i < 64; ++i) {
        AppendWideString(out, o.m_strText[i]);
        PutInt32(out, o.m_nValue[i]);
        PutFlag(out, o.m_bFlag[i]);
    }
    PutFlag(out, o.m_bValid);
    PutFlag(out, o.m_bSpare2);
}

// Fields read into a scratch document first, so a failed load leaves the
// target untouched. False when the stream ended early.
bool ReadDocument(Reader &r, CKivoDoc &d)
{
    d.m_nHeaderValue = r.Int32();
    d.m_strClockFreq = r.String();
    d.m_strFlexSpinPath = r.String();
    d.m_strLibraryPath = r.String();
    d.m_strLoadP2Path = r.String();
    d.m_strOptLevel = r.String();
    d.m_strFlexOptions = r.String();
    d.m_bUseLibraryPath = r.Int32();
    d.m_bSetOptLevel = r.Int32();
    d.m_bUseFlexOptions = r.Int32();
    d.m_bShowTerminal = r.Int32();
    d.m_bWaitOnExit = r.Int32();
    d.m_bUsePlan9 = r.Int32();
    d.m_bSetBaud = r.Int32();
    d.m_bUseLoadP2Options = r.Int32();
    d.m_strPlan9Path = r.String();
    d.m_strBaud = r.String();
    d.m_strLoadP2Options = r.String();
    d.m_bMountSd = r.Int32();
    d.m_strSdClkPin = r.String();
    d.m_strSdCsPin = r.String();
    d.m_strSdMosiPin = r.String();
    d.m_strSdMisoPin = r.String();
    d.m_bSetHeapSize = r.Int32();
    d.m_strHeapSize = r.String();
    for (int i = 0; i < kPinCount; ++i) {
        d.m_bPinUsed[i] = r.Flag();
        d.m_strPinOwner[i] = r.String();
        d.m_strPinUsage[i] = r.String();
        d.m_strPinNote[i] = r.String();
    }
    auto count = static_cast<int64_t>(r.UInt64());
    if (count > 0) {
        // A count the rest of the file cannot hold is a truncated file; say so
        // before reserving anything for it.
        if (r.Failed() || uint64_t(count) > r.Remaining() / kMinRecordSize)
            return false;
        d.m_objList.reserve(std::size_t(count));
        for (int64_t i = 0; i < count && !r.Failed(); ++i) {
            auto o = std::make_unique<CCodeObject>();
            ReadObject(r, *o);
            d.m_objList.push_back(std::move(o));
        }
    }
    for (auto &c : d.m_nKindCount)
        c = r.Int32();
    return !r.Failed();
}

void CopyStoredFields(CKivoDoc &to, CKivoDoc &from)
{
    to.m_nHeaderValue = from.m_nHeaderValue;
    to.m_strClockFreq = std::move(from.m_strClockFreq);
    to.m_strFlexSpinPath = std::move(from.m_strFlexSpinPath);
    to.m_strLoadP2Path = std::move(from.m_strLoadP2Path);
    to.m_strLibraryPath = std::move(from.m_strLibraryPath);
    to.m_strOptLevel = std::move(from.m_strOptLevel);
    to.m_strFlexOptions = std::move(from.m_strFlexOptions);
    to.m_bUseLibraryPath = from.m_bUseLibraryPath;
    to.m_bSetOptLevel = from.m_bSetOptLevel;
    to.m_bUseFlexOptions = from.m_bUseFlexOptions;
    to.m_bSetHeapSize = from.m_bSetHeapSize;
    to.m_strHeapSize = std::move(from.m_strHeapSize);
    to.m_bShowTerminal = from.m_bShowTerminal;
    to.m_bUsePlan9 = from.m_bUsePlan9;
    to.m_bSetBaud = from.m_bSetBaud;
    to.m_bUseLoadP2Options = from.m_bUseLoadP2Options;
    to.m_bWaitOnExit = from.m_bWaitOnExit;
    to.m_strPlan9Path = std::move(from.m_strPlan9Path);
    to.m_strBaud = std::move(from.m_strBaud);
    to.m_strLoadP2Options = std::move(from.m_strLoadP2Options);
    to.m_bMountSd = from.m_bMountSd;
    to.m_strSdClkPin = std::move(from.m_strSdClkPin);
    to.m_strSdCsPin = std::move(from.m_strSdCsPin);
    to.m_strSdMosiPin = std::move(from.m_strSdMosiPin);
    to.m_strSdMisoPin = std::move(from.m_strSdMisoPin);
    to.m_bPinUsed = from.m_bPinUsed;
    to.m_strPinOwner = std::move(from.m_strPinOwner);
    to.m_strPinUsage = std::move(from.m_strPinUsage);
    to.m_strPinNote = std::move(from.m_strPinNote);
    to.m_nKindCount = from.m_nKindCount;
    to.m_objList = std::move(from.m_objList);
}

} // namespace

void AppendWideString(std::vector<uint8_t> &out, const std::string &text)
{
    std::u16string units = Utf8ToUtf16(text);
    uint64_t n = units.size();
    out.push_back(0xFF);
    out.push_back(0xFE);
    out.push_back(0xFF);
    if (n < 0xFF) {
        out.push_back(uint8_t(n));
    } else if (n < 0xFFFE) {
        out.push_back(0xFF);
        PutUInt16(out, uint16_t(n));
    } else if (n < 0xFFFFFFFFull) {
        out.push_back(0xFF);
        PutUInt16(out, 0xFFFF);
        PutInt32(out, static_cast<int32_t>(uint32_t(n)));
    } else {
        out.push_back(0xFF);
        PutUInt16(out, 0xFFFF);
        PutInt32(out, -1);
        PutUInt64(out, n);
    }
    for (char16_t u : units)
        PutUInt16(out, uint16_t(u));
}

std::vector<uint8_t> SerializeProject(const CKivoDoc &d)
{
    std::vector<uint8_t> out;
    out.reserve(8192 + d.m_objList.size() * 1024);
    PutInt32(out, d.m_nHeaderValue);
    AppendWideString(out, d.m_strClockFreq);
    AppendWideString(out, d.m_strFlexSpinPath);
    AppendWideString(out, d.m_strLibraryPath);
    AppendWideString(out, d.m_strLoadP2Path);
    AppendWideString(out, d.m_strOptLevel);
    AppendWideString(out, d.m_strFlexOptions);
    PutInt32(out, d.m_bUseLibraryPath);
    PutInt32(out, d.m_bSetOptLevel);
    PutInt32(out, d.m_bUseFlexOptions);
    PutInt32(out, d.m_bShowTerminal);
    PutInt32(out, d.m_bWaitOnExit);
    PutInt32(out, d.m_bUsePlan9);
    PutInt32(out, d.m_bSetBaud);
    PutInt32(out, d.m_bUseLoadP2Options);
    AppendWideString(out, d.m_strPlan9Path);
    AppendWideString(out, d.m_strBaud);
    AppendWideString(out, d.m_strLoadP2Options);
    PutInt32(out, d.m_bMountSd);
    AppendWideString(out, d.m_strSdClkPin);
    AppendWideString(out, d.m_strSdCsPin);
    AppendWideString(out, d.m_strSdMosiPin);
    AppendWideString(out, d.m_strSdMisoPin);
    PutInt32(out, d.m_bSetHeapSize);
    AppendWideString(out, d.m_strHeapSize);
    for (int i = 0; i < kPinCount; ++i) {
        PutFlag(out, d.m_bPinUsed[i]);
        AppendWideString(out, d.m_strPinOwner[i]);
        AppendWideString(out, d.m_strPinUsage[i]);
        AppendWideString(out, d.m_strPinNote[i]);
    }
    PutUInt64(out, d.m_objList.size());
    for (auto &o : d.m_objList)
        WriteObject(out, *o);
    for (auto c : d.m_nKindCount)
        PutInt32(out, c);
    return out;
}

bool DeserializeProject(std::span<const uint8_t> bytes, CKivoDoc &doc)
{
    // A zero-length file is an empty project.
    if (bytes.empty())
        return true;
    CKivoDoc scratch;
    Reader r(bytes);
    try {
        if (!ReadDocument(r, scratch))
            return false;
    } catch (const std::bad_alloc &) {
        return false;
    } catch (const std::length_error &) {
        return false;
    }
    CopyStoredFields(doc, scratch);
    return true;
}

std::unique_ptr<CKivoDoc> CopyProject(const CKivoDoc &doc)
{
    auto copy = std::make_unique<CKivoDoc>();
    if (!DeserializeProject(SerializeProject(doc), *copy))
        return nullptr;
    copy->m_strPathName = doc.m_strPathName;
    return copy;
}

Result OpenProject(const std::string &path, CKivoDoc &doc, Services &services)
{
    FileCause cause = FileCause::None;
    auto bytes = services.files.ReadAll(path, cause);
    if (!bytes)
        return Fail(Failure::ReadFile,
                    cause == FileCause::None || cause == FileCause::Generic ? std::string(kFailedToOpen)
                                                                            : ReasonText(cause, path),
                    cause);
    // The file's name on a line of its own, below the known text.
    if (!DeserializeProject(*bytes, doc))
        return Fail(Failure::FileFormat, std::string(kUnexpectedFileFormat) + "\n" + path);
    doc.m_strPathName = path;
    doc.m_diskBytes = std::move(*bytes);
    doc.History().MarkSaved(doc);
    return Succeed();
}

Result SaveProject(CKivoDoc &doc, const std::string &path, Services &services)
{
    doc.UpdateAllViews();
    std::vector<uint8_t> bytes;
    try {
        bytes = SerializeProject(doc);
    } catch (const std::bad_alloc &) {
        return Fail(Failure::WriteFile, kFailedToSave, FileCause::Generic);
    }
    FileCause cause = services.files.ReplaceAtomically(path, bytes);
    if (cause != FileCause::None)
        return Fail(Failure::WriteFile,
                    cause == FileCause::Generic ? std::string(kFailedToSave) : ReasonText(cause, path), cause);
    doc.m_strPathName = path;
    doc.m_diskBytes = std::move(bytes);
    doc.History().MarkSaved(doc);
    return Succeed();
}

bool ChangedOnDisk(const CKivoDoc &doc, Services &services)
{
    if (doc.m_strPathName.empty())
        return false;
    FileCause cause = FileCause::None;
    auto bytes = services.files.ReadAll(doc.m_strPathName, cause);
    return bytes && *bytes != doc.m_diskBytes;
}

} // namespace kivo
