#pragma once

#include "console/surfacebutton.h"

#include <QRect>
#include <QString>

// A dark round labelled button of the top bar (NEXT, BUSY, PRIO).
class MiscButton : public SurfaceButton
{
    Q_OBJECT

public:
    MiscButton(int width, int height, QGraphicsItem* parent = nullptr);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    QRect boundingRecti() const;

    void setLabel(QString label);
    void setBaseSize(int diameter);
    const QString& label() const { return m_label; }
    int diameter() const { return m_diameter; }

private:
    QString m_label;
    int m_diameter;
};
