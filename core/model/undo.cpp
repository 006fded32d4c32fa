#include "model/undo.h"

#include "model/kivodoc.h"

#include <memory>

namespace kivo {

namespace {

// The stored settings, in the order of the snapshot's vectors.
constexpr std::string CKivoDoc::*kTexts[] = {
    &CKivoDoc::m_strClockFreq, &CKivoDoc::m_strFlexSpinPath,  &CKivoDoc::m_strLoadP2Path, &CKivoDoc::m_strLibraryPath,
    &CKivoDoc::m_strOptLevel,  &CKivoDoc::m_strFlexOptions,   &CKivoDoc::m_strHeapSize,   &CKivoDoc::m_strPlan9Path,
    &CKivoDoc::m_strBaud,      &CKivoDoc::m_strLoadP2Options, &CKivoDoc::m_strSdClkPin,   &CKivoDoc::m_strSdCsPin,
    &CKivoDoc::m_strSdMosiPin, &CKivoDoc::m_strSdMisoPin,
};

constexpr int32_t CKivoDoc::*kNumbers[] = {
    &CKivoDoc::m_nHeaderValue,    &CKivoDoc::m_bUseLibraryPath, &CKivoDoc::m_bSetOptLevel,
    &CKivoDoc::m_bUseFlexOptions, &CKivoDoc::m_bSetHeapSize,    &CKivoDoc::m_bShowTerminal,
    &CKivoDoc::m_bUsePlan9,       &CKivoDoc::m_bSetBaud,        &CKivoDoc::m_bUseLoadP2Options,
    &CKivoDoc::m_bWaitOnExit,     &CKivoDoc::m_bMountSd,
};

} // namespace

DocSnapshot TakeSnapshot(const CKivoDoc &doc)
{
    DocSnapshot s;
    for (auto field : kTexts)
        s.texts.push_back(doc.*field);
    for (auto field : kNumbers)
        s.numbers.push_back(doc.*field);
    s.pinUsed = doc.m_bPinUsed;
    s.pinOwner = doc.m_strPinOwner;
    s.pinUsage = doc.m_strPinUsage;
    s.pinNote = doc.m_strPinNote;
    s.kindCount = doc.m_nKindCount;
    s.objects.reserve(doc.m_objList.size());
    for (auto &o : doc.m_objList)
        s.objects.push_back(*o);
    return s;
}

void RestoreSnapshot(CKivoDoc &doc, const DocSnapshot &s)
{
    std::size_t i = 0;
    for (auto field : kTexts)
        doc.*field = s.texts.at(i++);
    i = 0;
    for (auto field : kNumbers)
        doc.*field = s.numbers.at(i++);
    doc.m_bPinUsed = s.pinUsed;
    doc.m_strPinOwner = s.pinOwner;
    doc.m_strPinUsage = s.pinUsage;
    doc.m_strPinNote = s.pinNote;
    doc.m_nKindCount = s.kindCount;
    doc.m_objList.resize(s.objects.size());
    for (std::size_t k = 0; k < s.objects.size(); ++k) {
        if (doc.m_objList[k])
            *doc.m_objList[k] = s.objects[k];
        else
            doc.m_objList[k] = std::make_unique<CCodeObject>(s.objects[k]);
    }
}

bool CUndoHistory::Record(std::string label, DocSnapshot before, DocSnapshot after)
{
    if (before == after)
        return false;
    m_steps.resize(m_done);
    m_steps.push_back({std::move(label), std::move(before), std::move(after)});
    if (m_steps.size() > kMaxSteps)
        m_steps.erase(m_steps.begin());
    m_done = m_steps.size();
    return true;
}

std::string CUndoHistory::UndoLabel() const { return CanUndo() ? m_steps[m_done - 1].label : std::string(); }

std::string CUndoHistory::RedoLabel() const { return CanRedo() ? m_steps[m_done].label : std::string(); }

bool CUndoHistory::Undo(CKivoDoc &doc)
{
    if (!CanUndo())
        return false;
    --m_done;
    RestoreSnapshot(doc, m_steps[m_done].before);
    return true;
}

bool CUndoHistory::Redo(CKivoDoc &doc)
{
    if (!CanRedo())
        return false;
    RestoreSnapshot(doc, m_steps[m_done].after);
    ++m_done;
    return true;
}

void CUndoHistory::Clear()
{
    m_steps.clear();
    m_done = 0;
}

void CUndoHistory::MarkSaved(const CKivoDoc &doc) { m_saved = TakeSnapshot(doc); }

bool CUndoHistory::IsModified(const CKivoDoc &doc) const { return !m_saved || !(TakeSnapshot(doc) == *m_saved); }

CDocChange::CDocChange(CKivoDoc &doc, std::string label)
    : m_doc(doc), m_label(std::move(label)), m_before(TakeSnapshot(doc))
{
}

bool CDocChange::Commit() { return m_doc.History().Record(m_label, m_before, TakeSnapshot(m_doc)); }

void CDocChange::Revert() { RestoreSnapshot(m_doc, m_before); }

} // namespace kivo
