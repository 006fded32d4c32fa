#pragma once
#include <QColor>
#include <QMap>
#include <QTabBar>

namespace kivo {

// A flat tab bar with coloured tabs: a tab's own colour when one is set,
// otherwise one of a row of soft colours chosen by position; the current tab
// may have a colour of its own. Close buttons show on the current tab only.
class CColorTabBar : public QTabBar
{
    Q_OBJECT
public:
    explicit CColorTabBar(QWidget *parent = nullptr);

    void SetAutoColors(bool on);
    void SetTabBackground(int index, QColor colour);
    void SetActiveTabBackground(QColor colour);
    // The colour a tab is painted in, as the user sees it.
    QColor TabBackground(int index) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void tabInserted(int index) override;
    void tabRemoved(int index) override;
    QSize tabSizeHint(int index) const override;

private:
    void ShowCloseButtonOnCurrentOnly();
    bool m_autoColors = true;
    QMap<int, QColor> m_colours;
    QColor m_activeColour;
};

} // namespace kivo
