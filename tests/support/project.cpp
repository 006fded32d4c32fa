#include "project.h"

#include "generator/generator.h"
#include "model/text.h"

namespace kivo::test {

EditorRunner PressOk(Setter set)
{
    return [set = std::move(set)](CEditorModel &e) {
        if (set)
            set(e);
        return e.Ok() == OkResult::Accepted;
    };
}

void SetFields(CEditorModel &e, const FieldValues &values)
{
    for (auto &[key, value] : values) {
        const FieldSpec *f = e.FindField(key);
        if (key == "name" || !f) {
            e.UserSetText(key, value);
            continue;
        }
        switch (f->type) {
        case FieldType::Flag:
            e.UserSetFlag(key, value == "1");
            break;
        case FieldType::Choice:
            e.UserChoose(key, std::stoi(value));
            break;
        default:
            e.UserSetText(key, value);
        }
    }
}

EditorRunner Press(FieldValues values, std::vector<std::string> *snapshot)
{
    return [values = std::move(values), snapshot](CEditorModel &e) {
        SetFields(e, values);
        if (snapshot)
            for (auto &f : e.Fields())
                snapshot->push_back(f.key + "=" +
                                    (f.type == FieldType::Flag     ? std::string(e.Flag(f.key) ? "1" : "0")
                                     : f.type == FieldType::Choice ? std::to_string(e.Int(f.key))
                                                                   : e.Text(f.key)));
        return e.Ok() == OkResult::Accepted;
    };
}

AddResult Project::Add(int kind, Setter set) { return AddObject(doc, kind, t.messages, PressOk(std::move(set))); }

AddResult Project::Add(int kind, FieldValues values)
{
    return AddObject(doc, kind, t.messages, Press(std::move(values)));
}

bool Project::Edit(std::size_t index, Setter set)
{
    return EditObject(doc, index, t.messages, PressOk(std::move(set)));
}

bool Project::Edit(std::size_t index, FieldValues values)
{
    return EditObject(doc, index, t.messages, Press(std::move(values)));
}

std::string Project::Said()
{
    std::string lines;
    for (auto &m : t.messages.shown)
        lines += std::string(CaptionOf(m.kind)) + ": " + m.text + "\n";
    t.messages.shown.clear();
    return lines;
}

std::vector<ShownMessage> Project::TakeMessages()
{
    auto m = std::move(t.messages.shown);
    t.messages.shown.clear();
    return m;
}

void Project::Generate()
{
    t.messages.shown.clear();
    ASSERT_TRUE(t.Show(GenerateProject(doc, t.services)));
}

} // namespace kivo::test
