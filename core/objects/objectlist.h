#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace kivo {

class CCodeObject;
class CEditorModel;
class CKivoDoc;
class IMessages;

// "name - label".
std::string ObjectLine(const CCodeObject &object);
std::vector<std::string> ObjectLines(const CKivoDoc &doc);
// "Invalid pin assignment in: " + line, for every object not accepted.
std::vector<std::string> WarningLines(const CKivoDoc &doc);

// Runs an opened editor the way its front end does (a dialog, or the command
// line's field settings) and returns true when it closed as accepted. The
// runner presses OK through CEditorModel::Ok and decides what a refusal means.
using EditorRunner = std::function<bool(CEditorModel &editor)>;

// Whether the picker lets `kind` be chosen; the I2C clock needs a bus first
// and the refusal is shown.
bool PickerAllowsKind(const CKivoDoc &doc, int kind, IMessages &messages);

enum class AddResult {
    Added,     // appended, the kind's counter raised
    Cancelled, // the new object was destroyed; the project is unchanged
    Refused,   // the picker refused the kind (message shown)
};

// "Add Object" with the kind chosen in the picker. Views are refreshed after.
AddResult AddObject(CKivoDoc &doc, int kind, IMessages &messages, const EditorRunner &run);

// "Edit Object" on the object at `index` (its line in the list). Returns what
// the editor returned; views are refreshed whatever happens. An editor that
// closes without OK leaves the object and the pins as they were. Each
// accepted addition, edit and deletion is one step of the project's undo
// history.
bool EditObject(CKivoDoc &doc, std::size_t index, IMessages &messages, const EditorRunner &run);

// Whether "Duplicate Object" can copy the object at `index`: not when its
// kind allows one object only.
bool CanDuplicateObject(const CKivoDoc &doc, std::size_t index);

// "Duplicate Object": a copy of the object at `index` with the next free name
// and its settings, its pins moved to free ones where they are taken. When
// that copy passes OK it is added at once; else the editor runs on it as for
// Add Object (the refusal's messages held back for its own OK). One undo
// step when added.
AddResult DuplicateObject(CKivoDoc &doc, std::size_t index, IMessages &messages, const EditorRunner &run);

// "Delete Object": frees the pins that the object's name holds and removes
// it. When another object carries the same name only the pins that the
// kind's rule names are freed, and never a pin held by another name.
bool DeleteObject(CKivoDoc &doc, std::size_t index);

} // namespace kivo
