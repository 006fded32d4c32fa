#include "workspace/pinstab.h"

#include "app/commands.h"
#include "grid/pinsview.h"
#include "workspace/commandtarget.h"

namespace kivo {

namespace {

// The pin view as the ribbon sees it: clipboard and print commands act on
// its grid while its tab is the active one.
class CPinsTab : public CPinsView, public ICommandTarget
{
public:
    CPinsTab(CKivoDoc &doc, QWidget *parent) : CPinsView(doc, parent) {}

    bool IsCommandEnabled(int id) const override
    {
        if (IsPrintCommand(id))
            return true;
        bool enabled = false;
        const_cast<CPinsTab *>(this)->OfferCommand(id, false, &enabled);
        return enabled;
    }
    bool OnCommand(int id) override
    {
        switch (id) {
        case ID_FILE_PRINT:
            OnFilePrint();
            return true;
        case ID_FILE_PRINT_DIRECT:
            OnFilePrintDirect();
            return true;
        case ID_FILE_PRINT_PREVIEW:
            OnFilePrintPreview();
            return true;
        default:
            return OfferCommand(id, true);
        }
    }

private:
    static bool IsPrintCommand(int id)
    {
        return id == ID_FILE_PRINT || id == ID_FILE_PRINT_DIRECT || id == ID_FILE_PRINT_PREVIEW;
    }
};

} // namespace

QWidget *CreatePinsTab(CKivoDoc &doc, QWidget *parent)
{
    return new CPinsTab(doc, parent);
}

} // namespace kivo
