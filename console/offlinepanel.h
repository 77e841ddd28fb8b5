#pragma once

#include "console/surfacepanel.h"

#include <QRect>
#include <QString>

// The connection screen: a box with the logos, the connection state and the
// last error, shown while the unit is not ready. Owned by the console window.
class OfflinePanel : public SurfacePanel
{
    Q_OBJECT

public:
    OfflinePanel(int width, int height, QGraphicsItem* parent = nullptr);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    QRect boundingRecti() const;

    void setStatus(QString status);
    void setError(QString error);
    const QString& status() const { return m_status; }
    const QString& error() const { return m_error; }

private:
    QString m_status;
    QString m_error;
};
