#pragma once
// A new project Blink.kivo in a temporary folder, with editor runs that set
// fields the way a user does and then press OK.
#include "generator/generator.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "testsupport.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kivo::test {

// What a user does in an opened editor before pressing OK.
using Setter = std::function<void(CEditorModel &)>;

// Runs the setter and presses OK once; a refusal is followed by Cancel.
EditorRunner PressOk(Setter set = {});

// Field values as a user enters them: text for text and integer fields,
// "0"/"1" for flags, the option index for choices.
using FieldValues = std::vector<std::pair<std::string, std::string>>;

void SetFields(CEditorModel &e, const FieldValues &values);

// Sets the fields and presses OK once; `snapshot`, when given, receives
// every field as "key=value" before OK.
EditorRunner Press(FieldValues values, std::vector<std::string> *snapshot = nullptr);

struct Project {
    TempDir dir;
    TestServices t;
    CKivoDoc doc;

    Project() { NewProject(doc, dir / "Blink.kivo"); }

    AddResult Add(int kind, Setter set = {});
    AddResult Add(int kind, FieldValues values);
    bool Edit(std::size_t index, Setter set = {});
    bool Edit(std::size_t index, FieldValues values);
    CCodeObject &Object(std::size_t index) { return *doc.m_objList.at(index); }

    // The messages shown since the last call, one "Caption: text" line each.
    std::string Said();
    // The messages shown since the last call.
    std::vector<ShownMessage> TakeMessages();

    // Generates into the folder; the messages shown before are dropped.
    void Generate();
    std::string Read(const std::string &name) const { return ReadFileBytes(dir / name); }
    std::string Header() const { return Read("Platform.h"); }
    std::string MainFile() const { return Read("Blink.c"); }
};

} // namespace kivo::test
