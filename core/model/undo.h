#pragma once
#include "model/codeobject.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

class CKivoDoc;

// Everything of a project that its file stores: the settings, the pin table,
// the per-kind counters and the objects. Two snapshots are equal exactly when
// the project would be saved to the same bytes.
struct DocSnapshot {
    std::vector<std::string> texts; // the settings texts, in a fixed order
    std::vector<int32_t> numbers;   // the header value and the settings flags
    std::array<bool, 64> pinUsed{};
    std::array<std::string, 64> pinOwner;
    std::array<std::string, 64> pinUsage;
    std::array<std::string, 64> pinNote;
    std::array<int32_t, 100> kindCount{};
    std::vector<CCodeObject> objects;

    bool operator==(const DocSnapshot &) const = default;
};

DocSnapshot TakeSnapshot(const CKivoDoc &doc);
// Puts the project back as the snapshot holds it. Objects that stay in the
// list keep their place in memory; views are not refreshed.
void RestoreSnapshot(CKivoDoc &doc, const DocSnapshot &snapshot);

// The project's undo and redo steps, and the state it was last saved in.
class CUndoHistory
{
public:
    static constexpr std::size_t kMaxSteps = 200;

    // A finished change from `before` to `after`; drops the redo steps. A
    // change that changed nothing is not recorded (returns false).
    bool Record(std::string label, DocSnapshot before, DocSnapshot after);

    bool CanUndo() const { return m_done > 0; }
    bool CanRedo() const { return m_done < m_steps.size(); }
    // The label of the step that Undo or Redo would take back ("" if none).
    std::string UndoLabel() const;
    std::string RedoLabel() const;
    // Puts the document as it was before the last step (after the next one).
    // Views are not refreshed.
    bool Undo(CKivoDoc &doc);
    bool Redo(CKivoDoc &doc);
    void Clear();
    std::size_t StepCount() const { return m_steps.size(); }

    // The document was opened, made or saved as it is now.
    void MarkSaved(const CKivoDoc &doc);
    // True when the document differs from what was last saved (a document
    // never marked counts as changed).
    bool IsModified(const CKivoDoc &doc) const;

private:
    struct Step {
        std::string label;
        DocSnapshot before;
        DocSnapshot after;
    };
    std::vector<Step> m_steps;
    std::size_t m_done = 0; // steps [0, m_done) are in effect
    std::optional<DocSnapshot> m_saved;
};

// One change to a project, made by a front end or a core operation: taken
// when the change begins; Commit records the step in the project's history,
// Revert puts the project back as it was.
class CDocChange
{
public:
    CDocChange(CKivoDoc &doc, std::string label);
    CDocChange(const CDocChange &) = delete;
    CDocChange &operator=(const CDocChange &) = delete;

    // True when the project changed and the step was recorded.
    bool Commit();
    void Revert();
    const DocSnapshot &Before() const { return m_before; }

private:
    CKivoDoc &m_doc;
    std::string m_label;
    DocSnapshot m_before;
};

} // namespace kivo
