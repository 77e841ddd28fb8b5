#pragma once

#include "console/surfacepanel.h"

#include <QRect>
#include <QString>

// The drawn frame of the caller information editor: the title naming the
// selected line, the field labels and the small emoticon of the chosen mood.
// Owned by the InfoEdit, whose editors lie on top of it.
class InfoPanel : public SurfacePanel
{
    Q_OBJECT

public:
    InfoPanel(int width, int height, QGraphicsItem* parent = nullptr);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    QRect boundingRecti() const;

    void setLineNum(unsigned line);
    void setEmoticonIndex(unsigned index);

    unsigned lineNum() const { return m_lineNum; }
    bool noLine() const { return m_noLine; }
    unsigned emoticonIndex() const { return m_emoticonIndex; }
    // The title as drawn: "Select a Line" until a line is shown.
    QString title() const;

private:
    unsigned m_lineNum = 0;
    bool m_noLine = true;
    unsigned m_emoticonIndex = 0;
};
