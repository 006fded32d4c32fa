#include "objects/objectlist.h"

#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/undo.h"
#include "objects/pinrules.h"
#include "platform/messages.h"

namespace kivo {

std::string ObjectLine(const CCodeObject &o) { return o.m_strName + " - " + o.GetKindName(); }

std::vector<std::string> ObjectLines(const CKivoDoc &doc)
{
    std::vector<std::string> lines;
    for (auto &o : doc.m_objList)
        lines.push_back(ObjectLine(*o));
    return lines;
}

std::vector<std::string> WarningLines(const CKivoDoc &doc)
{
    std::vector<std::string> lines;
    for (auto &o : doc.m_objList)
        if (!o->m_bValid)
            lines.push_back("Invalid pin assignment in: " + ObjectLine(*o));
    return lines;
}

bool PickerAllowsKind(const CKivoDoc &doc, int kind, IMessages &messages)
{
    if (kind != kRTC)
        return true;
    for (auto &o : doc.m_objList)
        if (o->m_nKind == kI2CBus)
            return true;
    messages.Show(MessageKind::Plain, "Error.  No I2C busses found.  Please add I2C Bus object first.");
    return false;
}

// Ends an Add or Duplicate: the new object joins the project as one undo step,
// or everything it took (a refused OK may have taken pins) is given back.
static AddResult FinishAdd(CKivoDoc &doc, CDocChange &change, std::unique_ptr<CCodeObject> object, bool accepted)
{
    if (accepted) {
        doc.AppendObject(std::move(object));
        change.Commit();
    } else {
        change.Revert();
    }
    doc.UpdateAllViews();
    return accepted ? AddResult::Added : AddResult::Cancelled;
}

AddResult AddObject(CKivoDoc &doc, int kind, IMessages &messages, const EditorRunner &run)
{
    const IKind *k = FindKind(kind);
    if (!k || !PickerAllowsKind(doc, kind, messages))
        return AddResult::Refused;
    CDocChange change(doc, "Add Object");
    auto object = std::make_unique<CCodeObject>();
    bool accepted = false;
    if (auto editor = k->CreateEditor(*object, doc, 0, messages)) {
        editor->Open();
        accepted = run(*editor);
    }
    return FinishAdd(doc, change, std::move(object), accepted);
}

bool EditObject(CKivoDoc &doc, std::size_t index, IMessages &messages, const EditorRunner &run)
{
    if (index >= doc.m_objList.size())
        return false;
    CCodeObject &object = *doc.m_objList[index];
    CDocChange change(doc, "Edit Object");
    bool accepted = false;
    if (const IKind *k = FindKind(object.m_nKind)) {
        if (auto editor = k->CreateEditor(object, doc, 1, messages)) {
            editor->Open();
            accepted = run(*editor);
        }
    }
    // A Cancel after a refused OK puts back the object and its pins as they
    // were when the editor opened.
    if (accepted)
        change.Commit();
    else
        change.Revert();
    doc.UpdateAllViews();
    return accepted;
}

bool CanDuplicateObject(const CKivoDoc &doc, std::size_t index)
{
    if (index >= doc.m_objList.size())
        return false;
    const IKind *k = FindKind(doc.m_objList[index]->m_nKind);
    return k && !k->OnlyOne();
}

AddResult DuplicateObject(CKivoDoc &doc, std::size_t index, IMessages &messages, const EditorRunner &run)
{
    if (!CanDuplicateObject(doc, index))
        return AddResult::Refused;
    const IKind *k = FindKind(doc.m_objList[index]->m_nKind);
    CDocChange change(doc, "Duplicate Object");
    auto object = std::make_unique<CCodeObject>(*doc.m_objList[index]);
    bool accepted = false;
    RecordingMessages quiet;
    if (auto editor = k->CreateEditor(*object, doc, 0, quiet)) {
        editor->OpenCopy();
        accepted = editor->Ok() == OkResult::Accepted;
        if (!accepted) {
            change.Revert();
            if (auto shown = k->CreateEditor(*object, doc, 0, messages)) {
                shown->OpenCopy();
                accepted = run(*shown);
            }
        }
    }
    return FinishAdd(doc, change, std::move(object), accepted);
}

bool DeleteObject(CKivoDoc &doc, std::size_t index)
{
    if (index >= doc.m_objList.size())
        return false;
    CDocChange change(doc, "Delete Object");
    const CCodeObject &object = *doc.m_objList[index];
    const std::string &name = object.m_strName;
    bool nameShared = false;
    for (std::size_t i = 0; i < doc.m_objList.size(); ++i)
        if (i != index && doc.m_objList[i]->m_strName == name)
            nameShared = true;
    if (!nameShared) {
        for (int p = 0; p < kPinCount; ++p)
            if (doc.m_strPinOwner[p] == name)
                ClearPin(doc, p);
    } else if (const IKind *k = FindKind(object.m_nKind)) {
        for (int p : k->PinsOf(object))
            if (p >= 0 && p < kPinCount && doc.m_strPinOwner[p] == name)
                ClearPin(doc, p);
    }
    doc.m_objList.erase(doc.m_objList.begin() + std::ptrdiff_t(index));
    change.Commit();
    doc.UpdateAllViews();
    return true;
}

} // namespace kivo
