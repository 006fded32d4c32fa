#include "app/looks.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace kivo {

namespace {

const std::vector<Look> &AllLooks()
{
    static const std::vector<Look> looks = {
        {205, "Windows &2000", "Windows", QColor(212, 208, 200), QColor(10, 36, 106), QColor(212, 208, 200),
         QColor(212, 208, 200), QColor(0, 0, 0), QColor(0, 0, 0), false},
        {206, "Office &XP", "Fusion", QColor(236, 233, 230), QColor(49, 106, 197), QColor(219, 216, 209),
         QColor(246, 245, 243), QColor(40, 40, 40), QColor(20, 20, 20), false},
        {207, "&Windows XP", "Fusion", QColor(236, 233, 216), QColor(49, 106, 197), QColor(0, 84, 227),
         QColor(236, 233, 216), QColor(30, 30, 30), QColor(255, 255, 255), false},
        {208, "Office 200&3", "Fusion", QColor(227, 239, 255), QColor(251, 200, 79), QColor(89, 135, 214),
         QColor(196, 218, 250), QColor(0, 45, 150), QColor(255, 255, 255), false},
        {209, "Visual Studio 200&5", "Fusion", QColor(236, 233, 216), QColor(49, 106, 197), QColor(216, 210, 189),
         QColor(245, 244, 236), QColor(60, 50, 30), QColor(30, 30, 30), false},
        {210, "Visual Studio 200&8", "Fusion", QColor(233, 236, 238), QColor(51, 153, 255), QColor(188, 199, 216),
         QColor(238, 241, 246), QColor(30, 50, 80), QColor(20, 30, 50), false},
        {215, "Office 2007 (&Blue Style)", "Fusion", QColor(214, 228, 245), QColor(255, 213, 85), QColor(191, 219, 255),
         QColor(222, 236, 252), QColor(21, 66, 139), QColor(21, 66, 139), false},
        {216, "Office 2007 (B&lack Style)", "Fusion", QColor(200, 202, 205), QColor(255, 213, 85), QColor(60, 60, 62),
         QColor(222, 224, 226), QColor(50, 50, 50), QColor(255, 255, 255), false},
        {217, "Office 2007 (&Silver Style)", "Fusion", QColor(232, 234, 238), QColor(255, 213, 85),
         QColor(224, 228, 235), QColor(245, 246, 248), QColor(76, 83, 92), QColor(60, 66, 74), false},
        {218, "Office 2007 (&Aqua Style)", "Fusion", QColor(222, 237, 240), QColor(255, 213, 85), QColor(196, 226, 233),
         QColor(233, 244, 246), QColor(31, 74, 89), QColor(31, 74, 89), false},
        {219, "Win&dows 7", "Fusion", QColor(240, 240, 240), QColor(51, 153, 255), QColor(255, 255, 255),
         QColor(245, 246, 247), QColor(30, 57, 91), QColor(30, 57, 91), true},
    };
    return looks;
}

QString Css(const QColor &c) { return c.name(QColor::HexRgb); }

} // namespace

const std::vector<Look> &OfferedLooks()
{
    static const std::vector<Look> offered(AllLooks().end() - 5, AllLooks().end());
    return offered;
}

QString LookCommand(int id)
{
    switch (id) {
    case 215:
        return "view.look.office2007-blue";
    case 216:
        return "view.look.office2007-black";
    case 217:
        return "view.look.office2007-silver";
    case 218:
        return "view.look.office2007-aqua";
    case 219:
        return "view.look.windows7";
    default:
        return QString();
    }
}

const Look &LookFor(int id, int current)
{
    for (const Look &l : AllLooks())
        if (l.id == id)
            return l;
    // Office 2007 in its current colour, silver when none is current.
    for (const Look &l : AllLooks())
        if (l.id == current && current >= 215 && current <= 218)
            return l;
    return LookFor(kDefaultLook);
}

namespace {
QString g_appliedStyle;
}

QString AppliedStyle() { return g_appliedStyle; }

void ApplyLookToApplication(const Look &look)
{
    // Under a style sheet a widget's style is a proxy; what we set is
    // remembered here.
    if (g_appliedStyle != look.style) {
        QApplication::setStyle(QStyleFactory::create(look.style));
        g_appliedStyle = look.style;
    }

    QPalette pal(look.window.darker(102), look.window);
    pal.setColor(QPalette::Highlight, look.highlight);
    pal.setColor(QPalette::HighlightedText, look.highlight.lightness() > 150 ? Qt::black : Qt::white);
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::AlternateBase, look.window.lighter(104));
    pal.setColor(QPalette::Text, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::ButtonText, Qt::black);
    pal.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    pal.setColor(QPalette::ToolTipText, Qt::black);
    // setColor above set every group; disabled texts must stay grey.
    for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, QColor(128, 128, 128));
    pal.setColor(QPalette::Disabled, QPalette::Base, look.window);
    // Set again, the same palette would still be sent to every widget.
    if (pal != QApplication::palette())
        QApplication::setPalette(pal);
}

QString RibbonStyleSheet(const Look &look)
{
    QColor bodyLow = look.ribbonBody.darker(108);
    return QString(R"(
#ribbonTop { background: %1; }
#ribbonTop QLabel, #ribbonTop QToolButton { color: %2; }
#ribbonCategories::tab { color: %2; background: transparent; padding: 4px 14px; border: 1px solid transparent;
  border-top-left-radius: 3px; border-top-right-radius: 3px; margin-top: 2px; }
#ribbonCategories::tab:selected { background: %3; color: %4; border: 1px solid %5; border-bottom-color: %3; }
#ribbonCategories::tab:hover:!selected { background: %6; }
#ribbonBody { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %3, stop:1 %7);
  border-top: 1px solid %5; border-bottom: 1px solid %5; }
#ribbonPanel { border-right: 1px solid %5; }
#ribbonPanelCaption { color: %4; }
#ribbonBody QToolButton { border: 1px solid transparent; border-radius: 3px; padding: 1px; }
#ribbonBody QToolButton:hover { background: %8; border-color: %9; }
#ribbonBody QToolButton:pressed, #ribbonBody QToolButton:checked { background: %9; }
#ribbonBody QToolButton:disabled { color: %10; }
#appButton { border: none; }
#styleButton { color: %2; padding: 2px 6px; border: 1px solid transparent; border-radius: 3px; }
#styleButton:hover, #styleButton:pressed { background: %6; border-color: %5; color: %2; }
)")
        .arg(Css(look.ribbonTop), Css(look.topText), Css(look.ribbonBody), Css(look.ribbonText),
             Css(look.ribbonBody.darker(125)), Css(look.ribbonTop.lighter(115)), Css(bodyLow),
             Css(look.highlight.lighter(150)), Css(look.highlight))
        .arg(Css(QColor(150, 150, 150)));
}

} // namespace kivo
