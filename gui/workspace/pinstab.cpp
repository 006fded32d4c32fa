#include "workspace/pinstab.h"

#include "app/commands.h"
#include "grid/gridctrl.h"
#include "grid/pinsview.h"
#include "workspace/commandtarget.h"

namespace kivo {

namespace {

// The grid's part of the clipboard commands.
struct GridCommand {
    const char *id;
    EditCommand command;
};
constexpr GridCommand kGridCommands[] = {
    {cmd::kEditCopy, EditCommand::Copy},
    {cmd::kEditCut, EditCommand::Cut},
    {cmd::kEditPaste, EditCommand::Paste},
    {cmd::kEditSelectAll, EditCommand::SelectAll},
};

// The pin view as the ribbon sees it: clipboard and print commands act on
// its grid while its tab is the active one.
class CPinsTab : public CPinsView, public ICommandTarget
{
public:
    CPinsTab(CKivoDoc &doc, QWidget *parent) : CPinsView(doc, parent) {}

    bool IsCommandEnabled(const QString &id) const override
    {
        if (IsPrintCommand(id))
            return true;
        bool enabled = false;
        for (const GridCommand &c : kGridCommands)
            if (id == QLatin1String(c.id))
                const_cast<CPinsTab *>(this)->OfferCommand(int(c.command), false, &enabled);
        return enabled;
    }
    bool OnCommand(const QString &id) override
    {
        if (id == QLatin1String(cmd::kFilePrint)) {
            OnFilePrint();
            return true;
        }
        if (id == QLatin1String(cmd::kFileQuickPrint)) {
            OnFilePrintDirect();
            return true;
        }
        if (id == QLatin1String(cmd::kFilePrintPreview)) {
            OnFilePrintPreview();
            return true;
        }
        for (const GridCommand &c : kGridCommands)
            if (id == QLatin1String(c.id))
                return OfferCommand(int(c.command), true);
        return false;
    }

private:
    static bool IsPrintCommand(const QString &id)
    {
        return id == QLatin1String(cmd::kFilePrint) || id == QLatin1String(cmd::kFileQuickPrint) ||
               id == QLatin1String(cmd::kFilePrintPreview);
    }
};

} // namespace

QWidget *CreatePinsTab(CKivoDoc &doc, QWidget *parent) { return new CPinsTab(doc, parent); }

} // namespace kivo
