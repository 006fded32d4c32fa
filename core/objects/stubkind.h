#pragma once
#include "objects/kind.h"

namespace kivo {

// A kind whose editor and text are not in yet.
class StubKind : public IKind
{
public:
    StubKind(int32_t code, const char *cliName) : m_code(code), m_cliName(cliName) {}
    int32_t Code() const override { return m_code; }
    const char *CliName() const override { return m_cliName; }
    std::unique_ptr<CEditorModel> CreateEditor(CCodeObject &, CKivoDoc &, int, IMessages &) const override
    {
        return nullptr;
    }

private:
    int32_t m_code;
    const char *m_cliName;
};

} // namespace kivo
