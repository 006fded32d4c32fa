#pragma once
#include <QColor>
#include <QString>
#include <vector>

namespace kivo {

// The application looks (command ids 205..219) as our own Qt style and
// palette choices.
struct Look {
    int id;
    const char *name;    // the menu text, with its access key
    const char *style;   // Qt style: "Fusion" or "Windows"
    QColor window;       // window and button face
    QColor highlight;    // selection
    QColor ribbonTop;    // the tab row of the ribbon
    QColor ribbonBody;   // the panels
    QColor ribbonText;   // category and panel captions
    QColor topText;      // texts on the tab row
    bool windows7Ribbon; // the application button as a "File" tab
};

constexpr int kDefaultLook = 217;

// The looks of the Style menu (215..219).
const std::vector<Look> &OfferedLooks();
// The command id of an offered look ("view.look.windows7"); empty for the
// others, which only a stored profile names.
QString LookCommand(int id);
// What a stored value means: 205..210 and 215..219 as listed, any other
// value the Office 2007 look in its current colour (`current`).
const Look &LookFor(int id, int current = kDefaultLook);

// Restyles the whole application: style and palette.
void ApplyLookToApplication(const Look &look);
// The ribbon's colours, as the style sheet of the ribbon alone: a sheet on
// the whole application would put every widget through the style sheet's
// matching, which takes a third of the time to the first window.
QString RibbonStyleSheet(const Look &look);
// The Qt style the last look put in place ("Fusion", "Windows").
QString AppliedStyle();

} // namespace kivo
